#include "faces/face_file_writer.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include "drawing/drawing.h"
#include "drawing/record_geometry.h"
#include "face_file_test_reader.h"
#include "faces/face_builder.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

// Expected bytes written by hand: hex pairs and runs of zeros.
struct Bytes {
  std::vector<uint8_t> v;
  Bytes& hex(std::string_view s) {
    for (size_t i = 0; i + 1 < s.size(); i += (s[i] == ' ') ? 1 : 2)
      if (s[i] != ' ') v.push_back(static_cast<uint8_t>(std::stoi(std::string(s.substr(i, 2)), nullptr, 16)));
    return *this;
  }
  Bytes& zeros(size_t n) {
    v.insert(v.end(), n, 0);
    return *this;
  }
};

::testing::AssertionResult sameBytes(const std::vector<uint8_t>& got, const std::vector<uint8_t>& want) {
  for (size_t i = 0; i < std::min(got.size(), want.size()); ++i)
    if (got[i] != want[i])
      return ::testing::AssertionFailure() << "byte " << i << ": " << int(got[i]) << ", want " << int(want[i]);
  if (got.size() != want.size()) return ::testing::AssertionFailure() << "size " << got.size() << ", want " << want.size();
  return ::testing::AssertionSuccess();
}

FaceBlock triangle() {
  FaceBlock b;
  b.vertices = {{0, 0, 0}, {1, 0, 0}, {0, -2.5, 0}};
  b.faces.push_back({3, {0, 1, 2, 0}, 2});
  return b;
}

std::vector<uint8_t> encode(const FaceFileContent& c) {
  std::vector<uint8_t> bytes;
  const HostResult encoded = encodeFaceFile(c, bytes);
  EXPECT_TRUE(encoded) << encoded.error;
  return bytes;
}

test::ParsedFaceFile parse(const std::vector<uint8_t>& bytes) {
  std::string error;
  auto parsed = test::parseFaceFile(bytes, error);
  EXPECT_TRUE(parsed) << error;
  return parsed.value_or(test::ParsedFaceFile{});
}

TEST(FaceFileWriter, OneTriangleGoldenBytes) {
  FaceFileContent c;
  c.entries.push_back({"handle", "2F"});
  c.entities.push_back({kIdentityMatrix, triangle()});
  Bytes want;
  want.hex("43 56 46 41 43 45 53 01")                      // magic, version
      .hex("05000000 01000000 01000000 01000000 03000000")  // blocks flags entries entities vertices
      .zeros(32)
      .hex("53 0900 68616E646C653D3246 00")                 // 'S', 9, "handle=2F", 0
      .hex("55 57 00 00 01000000").zeros(24)                // U frame, flags 1
      .hex("4F 42 00 00 00000000").zeros(24)                // O begin, entity 0
      .hex("55 54 02 00 00000000").zeros(24);               // U transform with payload
  for (int i = 0; i < 16; ++i) i % 5 == 0 ? want.hex("000000000000F03F") : want.zeros(8);
  want.zeros(8)                                             // ordinal 0, 4 zero bytes
      .hex("45 00 00 00 00000000").zeros(8).hex("01000000 03000000").zeros(8)  // E: 1 face, 3 vertices
      .zeros(1)
      .zeros(24)
      .hex("000000000000F03F").zeros(16)
      .zeros(8).hex("00000000000004C0").zeros(8)            // -2.5
      .hex("02000000").zeros(14).hex("0300")                // head: edge bits, 3 corners at 18
      .hex("00000000 00000000 01000000 01000000 00000000 02000000")
      .hex("4F 45 00 00 00000000").zeros(24);               // O end
  EXPECT_TRUE(sameBytes(encode(c), want.v));
}

TEST(FaceFileWriter, EveryKindReadsBackAsBuilt) {
  PolyfaceGeometry polyface{{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 1}}, {{{1, 2, 3, 4}}, {{1, 3, 0, 0}}}};
  SolidGeometry solid{{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, 1, 2, {1, 0, 0}};
  FaceFileContent c;
  c.entries = {{"drawing", "house.dxf"}, {"handle", "2F"}};
  c.entities = {buildFaces(FaceGeometry{{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 0}}, 0}), buildFaces(polyface),
                buildFaces(SolidModelData{}, 0), buildFaces(solid), {kIdentityMatrix, FaceBlock{}}};
  FaceFileDirectory dir({fs::temp_directory_path().string()});
  const FaceFileResult r = writeFaceFile(c, dir);
  ASSERT_NE(r.fileName, nullptr) << r.error;
  const test::ParsedFaceFile file = parse(test::fileBytes(r.fileName));
  EXPECT_EQ(file.entries, (std::vector<std::string>{"drawing=house.dxf", "handle=2F"}));

  std::string kinds;
  for (const auto& rec : file.records) kinds += rec.kind;
  EXPECT_EQ(kinds, "U" "OUEO" "OUEO" "OUO" "OUEO" "OUO");
  EXPECT_EQ(file.records[3].flags, 0);  // flat face: no normals
  EXPECT_EQ(file.records[7].flags, 8);  // mesh: normals
  EXPECT_EQ(file.records[7].normals.size(), 4u);
  EXPECT_EQ(file.records[13].matrix[2], 1);  // the solid's frame: z axis along world x

  // Every face of the whole file, offset as a module reads it.
  test::ReaderMesh mesh = test::readerMesh(file);
  std::vector<std::vector<int>> want;
  int base = 0;
  for (const EntityFaces& e : c.entities) {
    if (!e.block) continue;
    for (const BlockFace& f : e.block->faces) {
      want.emplace_back();
      for (int k = 0; k < f.cornerCount; ++k) want.back().push_back(f.corners[k] + base);
    }
    base += static_cast<int>(e.block->vertices.size());
  }
  EXPECT_EQ(mesh.faces, want);
  EXPECT_EQ(mesh.vertices.size(), 3u + 4u + 8u);
  EXPECT_EQ(file.vertexTotal, 15);
  dir.discard(r.fileName);
}

TEST(FaceFileWriter, RefusesWhatItCannotWriteFaithfully) {
  auto refused = [](FaceFileContent c) {
    std::vector<uint8_t> bytes{7};
    return !encodeFaceFile(c, bytes) && bytes == std::vector<uint8_t>{7};
  };
  auto with = [](auto change) {
    FaceFileContent c;
    FaceBlock b = triangle();
    change(b);
    c.entities.push_back({kIdentityMatrix, b});
    return c;
  };
  EXPECT_TRUE(refused(with([](FaceBlock& b) { b.faces[0].corners[2] = 3; })));
  EXPECT_TRUE(refused(with([](FaceBlock& b) { b.faces[0].corners[0] = -1; })));
  EXPECT_TRUE(refused(with([](FaceBlock& b) { b.faces[0].cornerCount = 2; })));
  EXPECT_TRUE(refused(with([](FaceBlock& b) { b.faces[0].cornerCount = 5; })));
  EXPECT_TRUE(refused(with([](FaceBlock& b) { b.normals.resize(2); })));

  FaceFileContent longest;
  longest.entries.push_back({"n", std::string(32765, 'x')});  // "n=..." is 32767 bytes
  EXPECT_EQ(parse(encode(longest)).entries.at(0).size(), 32767u);
  longest.entries[0].value += 'x';
  EXPECT_TRUE(refused(longest));
}

TEST(FaceFileWriter, FailedWriteReportsAndLeavesNoFile) {
  const fs::path base = fs::temp_directory_path() / ("faces-writer-test-" + std::to_string(getpid()));
  fs::create_directories(base);
  FaceFileDirectory dir({base.string()});
  FaceFileContent c;
  c.entities.push_back({kIdentityMatrix, triangle()});
  FaceFileResult r;
  {
    // The file system refuses the file part-way through, as a full one does.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 100;
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    r = writeFaceFile(c, dir);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
  }
  EXPECT_EQ(r.fileName, nullptr);
  EXPECT_NE(r.error.find("cannot write face file"), std::string::npos) << r.error;
  EXPECT_TRUE(fs::is_empty(dir.path()));

  const FaceFileResult again = writeFaceFile(c, dir);
  ASSERT_NE(again.fileName, nullptr) << again.error;
  EXPECT_TRUE(sameBytes(test::fileBytes(again.fileName), encode(c)));
  fs::remove_all(base);
}

// A polygon mesh of M x N grid vertices (flag FLAGS) plus EXTRA vertices
// with flag EXTRAFLAGS, as drawing text.
std::string polygonMeshText(int m, int n, int meshFlags, int vertexFlags, int extra = 0, int extraFlags = 64,
                            int surfaceM = 0, int surfaceN = 0) {
  std::string text = "0\nSECTION\n2\nENTITIES\n0\nPOLYLINE\n8\n0\n70\n" + std::to_string(meshFlags) +
                     "\n71\n" + std::to_string(m) + "\n72\n" + std::to_string(n) + "\n73\n" +
                     std::to_string(surfaceM) + "\n74\n" + std::to_string(surfaceN) + "\n";
  auto vertex = [&text](int i, int flags) {
    text += "0\nVERTEX\n8\n0\n10\n" + std::to_string(i % 977) + ".5\n20\n" + std::to_string(i / 977) +
            "\n30\n0.0" + std::to_string(i % 13) + "\n70\n" + std::to_string(flags) + "\n";
  };
  for (int i = 0; i < m * n; ++i) vertex(i, vertexFlags);
  for (int i = 0; i < extra; ++i) vertex(100000 + i, extraFlags);
  return text + "0\nSEQEND\n0\nENDSEC\n0\nEOF\n";
}

// A big polygon mesh goes from the drawing's bytes straight into the face
// file, and the file is byte for byte the one its vertex list would give.
TEST(FaceFileWriter, BigPolygonMeshesStreamTheBytesTheirListsGive) {
  struct Case {
    const char* what;
    std::string text;
    int dropped = 0; // vertices left out at the end of the list
  };
  const Case cases[] = {
      {"open", polygonMeshText(300, 250, 16, 64)},
      {"closed both ways", polygonMeshText(250, 300, 16 | 1 | 32, 64)},
      // The loader warns; the grid keeps the quads whose corners exist.
      {"short of M x N", polygonMeshText(300, 251, 16 | 1, 64), 30},
      {"smoothed, control grid", polygonMeshText(300, 250, 16 | 4, 16, 5, 8, 3, 3)},
      {"smoothed, surface grid", polygonMeshText(2, 2, 16 | 4, 16, 90000, 8, 300, 300)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = c.text;
    size_t at = text.rfind("0\nSEQEND");
    for (int i = 0; i < c.dropped; ++i) at = text.rfind("0\nVERTEX\n", at - 1);
    text.erase(at, text.rfind("0\nSEQEND") - at);
    DrawingLoadResult loaded = Drawing::loadText(text, "mesh.dxf");
    ASSERT_TRUE(loaded.drawing) << loaded.error;
    const Drawing& d = *loaded.drawing;
    const AcDbObjectRecord& mesh = *d.records().firstModelSpace();
    auto stream = polygonMeshStream(d, mesh, kMaxNormalVertices);
    ASSERT_TRUE(stream);
    EXPECT_GT(stream->vertexCount, kMaxNormalVertices);
    FaceFileContent streamed, listed;
    streamed.entities.push_back(buildFaces(std::move(*stream)));
    listed.entities.push_back(buildFaces(*polygonMeshGeometry(d, mesh)));
    ASSERT_TRUE(streamed.entities[0].grid);
    ASSERT_TRUE(listed.entities[0].block);
    EXPECT_TRUE(sameBytes(encode(streamed), encode(listed)));
    // Written again, as when the file moves to another base: the same bytes.
    EXPECT_TRUE(sameBytes(encode(streamed), encode(listed)));
  }
  // Small meshes keep their list, and their normals.
  DrawingLoadResult small = Drawing::loadText(polygonMeshText(20, 20, 16, 64), "small.dxf");
  ASSERT_TRUE(small.drawing) << small.error;
  EXPECT_FALSE(polygonMeshStream(*small.drawing, *small.drawing->records().firstModelSpace(), kMaxNormalVertices));
}

TEST(FaceFileWriter, AStreamThatEndsEarlyGivesNoFile) {
  struct Short : MeshVertexReader {
    size_t read(Vec3* out, size_t max) override {
      const size_t n = std::min(max, left);
      for (size_t i = 0; i < n; ++i) out[i] = {double(i), 0, 0};
      left -= n;
      return n;
    }
    void rewind() override { left = 5000; }
    size_t left = 5000;
  };
  PolygonMeshStream mesh;
  mesh.m = mesh.n = 100;
  mesh.vertexCount = 10000;
  mesh.vertices = std::make_unique<Short>();
  FaceFileContent c;
  c.entities.push_back(buildFaces(std::move(mesh)));
  std::vector<uint8_t> bytes{1, 2, 3};
  EXPECT_EQ(encodeFaceFile(c, bytes).error, "a mesh's vertices ended before its count: the drawing changed");
  EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 3}));
}

} // namespace
} // namespace corvane
