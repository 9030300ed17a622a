#include "faces/face_file_writer.h"

#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>

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
  std::string error;
  EXPECT_TRUE(encodeFaceFile(c, bytes, error)) << error;
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
    std::string error;
    return !encodeFaceFile(c, bytes, error) && bytes == std::vector<uint8_t>{7} && !error.empty();
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

} // namespace
} // namespace corvane
