// Every corpus drawing loads, copied or mapped, and saving it unchanged gives
// its bytes back.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <map>
#include <unistd.h>

#include "drawing/drawing.h"
#include "support/corpus.h"

namespace corvane {
namespace {

TEST(Corpus, EveryDrawingLoadsAndSavesByteIdentical) {
  auto files = testing::corpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus at " << testing::corpusDir();
  for (const auto& binary : testing::binaryCorpusFiles()) files.push_back(binary);
  auto dir = std::filesystem::temp_directory_path() / ("corvane-corpus-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  for (const auto& file : files) {
    for (auto kind : {DrawingBytes::Kind::kCopy, DrawingBytes::Kind::kMapped}) {
      SCOPED_TRACE(file.filename().string() + (kind == DrawingBytes::Kind::kMapped ? ", mapped" : ""));
      DrawingLoadResult loaded = Drawing::load(file.string(), kind);
      ASSERT_TRUE(loaded.drawing) << loaded.error;
      EXPECT_TRUE(loaded.warnings.empty()) << loaded.warnings.front();
      Drawing& d = *loaded.drawing;
      EXPECT_FALSE(d.modified());
      EXPECT_GT(d.records().count(), 0u);
      auto out = dir / file.filename();
      HostResult saved = d.saveAs(out.string());
      ASSERT_TRUE(saved.ok()) << saved.error;
      EXPECT_EQ(d.file().path(), out.string());
      EXPECT_TRUE(testing::readBytes(out) == testing::readBytes(file)) << "saved bytes differ";
    }
  }
  std::filesystem::remove_all(dir);
}

// A record keeps its handle and layout in its text or aside; either way
// they read back as the scanner found them.
TEST(Corpus, RecordsReadBackWhatTheScannerFound) {
  struct Found : DxfObjectSink {
    std::vector<DxfObjectInfo> objects;
    void object(const DxfObjectInfo& info) override { objects.push_back(info); }
    void inconsistency(uint32_t, uint32_t, std::string) override {}
  };
  auto files = testing::corpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus at " << testing::corpusDir();
  for (const auto& binary : testing::binaryCorpusFiles()) files.push_back(binary);
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    const std::string bytes = testing::readBytes(file);
    Found found;
    ASSERT_TRUE(scanDxf(bytes, "x.dxf", found).ok());
    DrawingLoadResult loaded = Drawing::loadText(bytes, file.string());
    ASSERT_TRUE(loaded.drawing) << loaded.error;
    const Drawing& d = *loaded.drawing;
    ASSERT_GE(d.records().count(), found.objects.size());
    for (size_t i = 0; i < found.objects.size(); ++i) {
      const DxfObjectInfo& info = found.objects[i];
      const AcDbObjectRecord& r = *d.records().at(i);
      SCOPED_TRACE(std::string(info.type) + " at " + std::to_string(info.line));
      if (std::optional<uint64_t> handle = parseHandle(info.handle)) {
        EXPECT_EQ(d.handleText(r), formatHandle(*handle));
        EXPECT_EQ(d.records().findByHandle(info.handle), &r);
      }
      const RecordLayout layout = d.records().layoutOf(r);
      EXPECT_EQ(r.begin + layout.ownLength, info.ownEnd);
      EXPECT_EQ(r.begin + layout.xdataBegin, info.xdataBegin);
      EXPECT_EQ(r.begin + layout.xdataEnd, info.xdataEnd);
      if (!info.name.empty()) {
        EXPECT_EQ(d.layerName(r), info.name);
      }
    }
  }
}

// The corpus's own figures (SOURCES.md): 3D objects in model space.
TEST(Corpus, ModelSpaceHoldsTheExpectedObjects) {
  auto files = testing::corpusFiles();
  if (files.empty()) GTEST_SKIP() << "no corpus at " << testing::corpusDir();
  for (const auto& file : files) {
    DrawingLoadResult loaded = Drawing::load(file.string());
    ASSERT_TRUE(loaded.drawing) << loaded.error;
    size_t faces = 0, meshes = 0, solids = 0;
    for (AcDbObjectRecord* r : loaded.drawing->records().modelSpace()) {
      if (r->cls == AcDbFace::desc()) ++faces;
      if (r->cls == AcDbPolyFaceMesh::desc() || r->cls == AcDbPolygonMesh::desc()) ++meshes;
      if (r->cls == AcDb3dSolid::desc() || r->cls == AcDbBody::desc()) ++solids;
    }
    std::string name = file.filename().string();
    if (name == "noheader_assimp_pinkegg.dxf") {
      EXPECT_EQ(faces, 288u);
      EXPECT_EQ(loaded.drawing->findLayer("0"), nullptr);
    }
    if (name == "r2018_ezdxf_3dface.dxf") {
      EXPECT_GE(faces, 1u);
    }
    if (name == "r2000_assimp_pface.dxf") {
      EXPECT_EQ(meshes, 4u);
    }
    if (name == "r2013_netdxf_3dsolid_body.dxf") {
      EXPECT_EQ(solids, 2u);
    }
  }
}

// The binary drawings hold what SOURCES.md counts in their model space.
TEST(Corpus, BinaryDrawingsHoldTheirObjects) {
  const std::map<std::string, std::array<size_t, 4>> expected = {
      // all, 3D faces, meshes, 3D solids and bodies
      {"r12bin_acadsharp_sample.dxf", {157, 1, 1, 0}},
      {"r2004bin_acadsharp_sample.dxf", {163, 1, 1, 2}},
      {"r2013bin_netdxf_written.dxf", {53, 1, 1, 0}},
      {"r2018bin_acadsharp_sample_sab.dxf", {163, 1, 1, 2}},
      {"r2018bin_netdxf_sample.dxf", {59, 1, 2, 0}},
  };
  auto files = testing::binaryCorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no binary corpus at " << testing::binaryCorpusDir();
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    DrawingLoadResult loaded = Drawing::load(file.string());
    ASSERT_TRUE(loaded.drawing) << loaded.error;
    std::array<size_t, 4> counts{};
    for (AcDbObjectRecord* r : loaded.drawing->records().modelSpace()) {
      ++counts[0];
      if (r->cls == AcDbFace::desc()) ++counts[1];
      if (r->cls == AcDbPolyFaceMesh::desc() || r->cls == AcDbPolygonMesh::desc()) ++counts[2];
      if (r->cls == AcDb3dSolid::desc() || r->cls == AcDbBody::desc()) ++counts[3];
    }
    auto it = expected.find(file.filename().string());
    ASSERT_NE(it, expected.end()) << "a binary drawing the test does not know";
    EXPECT_EQ(counts, it->second);
  }
}

} // namespace
} // namespace corvane
