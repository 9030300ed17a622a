// A drawing read from a mapped file, and that file changing under it: cut
// short (reads past the cut find zeros, never a fault), or rewritten in
// place. The drawing then says so, an export of it gets no faces and
// stops, and saving it writes nothing.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "ads.h"
#include "drawing/drawing.h"
#include "drawing/record_geometry.h"
#include "drawing/drawing_bytes.h"
#include "drawing/entity_names.h"
#include "drawing/selection_sets.h"
#include "dxf/dxf_text_builder.h"
#include "faces/face_file_directory.h"
#include "runtime/host_services.h"
#include "support/run_process.h"

namespace corvane {
namespace {

// A drawing of COUNT 3D faces, handles 100 on, long enough to span many
// pages.
std::string facesDrawing(int count) {
  testing::Groups groups{{0, "SECTION"}, {2, "ENTITIES"}};
  for (int i = 0; i < count; ++i) {
    char handle[16];
    std::snprintf(handle, sizeof handle, "%X", 0x100 + i);
    groups.insert(groups.end(), {{0, "3DFACE"}, {5, handle}, {8, "0"}, {10, "0.0"}, {20, "0.0"}, {30, "0.0"},
                                 {11, "1.0"}, {21, "0.0"}, {31, "0.0"}, {12, "1.0"}, {22, "1.0"}, {32, "0.0"},
                                 {13, "0.0"}, {23, "1.0"}, {33, "0.0"}});
  }
  groups.insert(groups.end(), {{0, "ENDSEC"}, {0, "EOF"}});
  return testing::dxfText(groups);
}

class MappedDrawing : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = testing::makeTempDir();
    path_ = dir_ + "/house.dxf";
    text_ = facesDrawing(2000);
    testing::writeFile(path_, text_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string dir_, path_, text_;
};

TEST_F(MappedDrawing, ReadsAsTheCopyDoes) {
  DrawingLoadResult mapped = Drawing::load(path_, DrawingBytes::Kind::kMapped);
  DrawingLoadResult copied = Drawing::load(path_, DrawingBytes::Kind::kCopy);
  ASSERT_TRUE(mapped.drawing && copied.drawing) << mapped.error << copied.error;
  EXPECT_EQ(mapped.drawing->records().count(), copied.drawing->records().count());
  EXPECT_EQ(mapped.drawing->savedText(), text_);
  EXPECT_FALSE(mapped.drawing->file().changed());
  AcDbObjectRecord* last = mapped.drawing->records().findByHandle("8CF");
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(faceGeometry(*mapped.drawing, *last)->corners[2].y, 1.0);

  // A copy does not care what happens to the file.
  ASSERT_EQ(::truncate(path_.c_str(), 0), 0);
  EXPECT_FALSE(copied.drawing->file().changed());
  EXPECT_TRUE(mapped.drawing->file().changed());
  EXPECT_EQ(copied.drawing->savedText(), text_);
}

TEST_F(MappedDrawing, CutShortReadsZerosAndSaysSo) {
  DrawingBytes bytes;
  ASSERT_EQ(bytes.open(path_, DrawingBytes::Kind::kMapped).error, "");
  ASSERT_TRUE(bytes.mapped());
  bytes.release(0, text_.size()); // nothing resident: every read goes to the file
  EXPECT_FALSE(bytes.cutShort());
  ASSERT_EQ(::truncate(path_.c_str(), 4096), 0);
  const std::string_view view = bytes.view();
  EXPECT_EQ(view[100], text_[100]);
  EXPECT_EQ(view[view.size() - 1], '\0'); // past the cut
  EXPECT_EQ(view[20000], '\0');
  EXPECT_TRUE(bytes.cutShort());
  EXPECT_TRUE(bytes.changed());
}

// The module is answered with a file that holds the entity without faces
// (an error would make it abort and keep the groups it wrote), and told to
// stop, so that no world replaces the one that was there.
TEST_F(MappedDrawing, CutShortDuringAnExportGivesNoFacesAndStopsTheCommand) {
  DrawingLoadResult loaded = Drawing::load(path_, DrawingBytes::Kind::kMapped);
  ASSERT_TRUE(loaded.drawing) << loaded.error;
  Drawing& d = *loaded.drawing;
  ads_name set, entity;
  newSelectionSet(set);
  makeEntityName(*d.records().findByHandle("8CF"), entity);
  ASSERT_TRUE(addToSelectionSet(set, entity));
  ASSERT_EQ(::truncate(path_.c_str(), 4096), 0);
  const char* name = "stale";
  clearCommandFailure();
  EXPECT_EQ(ads_usrbrk(), 0);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(adsi_ent2face(set, &name, 1), RTNORM);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "corvane: " + path_ + ": the file changed during the export\n");
  EXPECT_EQ(ads_usrbrk(), 1);
  ASSERT_NE(name, nullptr);
  const std::string faces = testing::readFile(name);
  ASSERT_GE(faces.size(), 28u);
  EXPECT_EQ(faces.substr(0, 8), std::string("CVFACES\1", 8));
  EXPECT_EQ(faces[20], 1);               // one entity
  EXPECT_EQ(faces.substr(24, 4), std::string(4, '\0')); // and no vertices
  EXPECT_NE(faces.find("drawing=" + path_), std::string::npos);
  clearCommandFailure();
  EXPECT_EQ(ads_usrbrk(), 0);
  const std::string faceDir = FaceFileDirectory::forProcess().path();
  if (!faceDir.empty()) {
    EXPECT_TRUE(std::filesystem::is_empty(faceDir));
  }
  freeSelectionSet(set);

  HostResult saved = d.saveAs(dir_ + "/copy.dxf");
  EXPECT_FALSE(saved.ok());
  EXPECT_EQ(saved.error, path_ + ": the file changed since it was read; the drawing is not saved");
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/copy.dxf"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1); // no temporary left
}

TEST_F(MappedDrawing, RewrittenInPlaceCountsAsChanged) {
  DrawingLoadResult loaded = Drawing::load(path_, DrawingBytes::Kind::kMapped);
  ASSERT_TRUE(loaded.drawing) << loaded.error;
  EXPECT_FALSE(loaded.drawing->file().changed());
  // The same size, other bytes, a later modification time.
  std::string other = text_;
  other[other.find("1.0")] = '2';
  struct timespec later[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
  testing::writeFile(path_, other);
  ::utimensat(AT_FDCWD, path_.c_str(), later, 0);
  EXPECT_TRUE(loaded.drawing->file().changed());
  EXPECT_FALSE(loaded.drawing->file().cutShort());
}

TEST_F(MappedDrawing, FilesThatAreNoDrawingAreRefusedAlike) {
  for (auto kind : {DrawingBytes::Kind::kCopy, DrawingBytes::Kind::kMapped}) {
    EXPECT_EQ(Drawing::load(dir_ + "/missing.dxf", kind).error,
              dir_ + "/missing.dxf: cannot open: No such file or directory");
    EXPECT_EQ(Drawing::load(dir_, kind).error, dir_ + ": not a regular file");
    testing::writeFile(dir_ + "/empty.dxf", "");
    EXPECT_EQ(Drawing::load(dir_ + "/empty.dxf", kind).error, dir_ + "/empty.dxf:1: the file is empty");
  }
}

} // namespace
} // namespace corvane
