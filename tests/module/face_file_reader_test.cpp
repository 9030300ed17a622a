#include "export/face_file_reader.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include <gtest/gtest.h>

#include "face_file_builder.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Reads BYTES from a stream over a fresh heap copy of exactly their size, so
// that the sanitizer sees any read past them.
int readBytes(const std::vector<unsigned char>& bytes, std::unique_ptr<Mesh>& mesh) {
  if (bytes.empty()) {
    std::unique_ptr<std::FILE, FileCloser> file(std::tmpfile());
    return readFaceFile(file.get(), mesh);
  }
  auto copy = std::make_unique<unsigned char[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), copy.get());
  std::unique_ptr<std::FILE, FileCloser> file(fmemopen(copy.get(), bytes.size(), "rb"));
  return readFaceFile(file.get(), mesh);
}

// Every corner of every meaningful face indexes a vertex of the mesh.
void expectFacesIndexVertices(const Mesh& mesh) {
  ASSERT_TRUE(mesh.vertices.has_value());
  if (!mesh.faces) {
    return;
  }
  for (const MeshFace& face : *mesh.faces) {
    for (int k = 0; k < face.cornerCount; ++k) {
      EXPECT_GE(face.corners[k], 0);
      EXPECT_LT(static_cast<std::size_t>(face.corners[k]), mesh.vertices->size());
    }
  }
}

// A small file written out byte by byte: no entries, one E block of three
// vertices and one triangle.
TEST(FaceFileReader, ReadsInlineGoldenBytes) {
  std::vector<unsigned char> bytes = {
      0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, // blockCount 1
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,             // entryCount 0
  };
  bytes.insert(bytes.end(), 32, 0xFF); // skipped
  const unsigned char record[32] = {0x45, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                    1, 0, 0, 0,  // faceCount 1
                                    3, 0, 0, 0}; // vertexCount 3
  bytes.insert(bytes.end(), record, record + 32);
  bytes.push_back(0); // skipped byte
  const unsigned char one[8] = {0, 0, 0, 0, 0, 0, 0xF0, 0x3F};  // 1.0
  const unsigned char half[8] = {0, 0, 0, 0, 0, 0, 0xE0, 0x3F}; // 0.5
  const unsigned char zero[8] = {};
  const unsigned char* points[3][3] = {{zero, zero, zero}, {one, zero, zero}, {half, one, zero}};
  for (auto& point : points) {
    for (const unsigned char* coord : point) {
      bytes.insert(bytes.end(), coord, coord + 8);
    }
  }
  bytes.insert(bytes.end(), 18, 0);
  bytes.push_back(3); // cornerCount 3
  bytes.push_back(0);
  for (unsigned char index : {2, 1, 0}) {
    const unsigned char entry[8] = {9, 9, 9, 9, index, 0, 0, 0};
    bytes.insert(bytes.end(), entry, entry + 8);
  }

  std::unique_ptr<Mesh> mesh;
  ASSERT_EQ(readBytes(bytes, mesh), 1);
  ASSERT_TRUE(mesh && mesh->vertices && mesh->faces);
  ASSERT_EQ(mesh->vertices->size(), 3u);
  EXPECT_EQ((*mesh->vertices)[1].x, 1.0);
  EXPECT_EQ((*mesh->vertices)[2].x, 0.5);
  EXPECT_EQ((*mesh->vertices)[2].y, 1.0);
  ASSERT_EQ(mesh->faces->size(), 1u);
  const MeshFace& face = (*mesh->faces)[0];
  EXPECT_EQ(face.cornerCount, 3);
  EXPECT_EQ(face.corners[0], 2);
  EXPECT_EQ(face.corners[1], 1);
  EXPECT_EQ(face.corners[2], 0);
  EXPECT_EQ(face.corners[3], 0);
}

TEST(FaceFileReader, EmptyFileOfCountsZeroIsAnEmptyMesh) {
  FaceFileBuilder file;
  file.header(0, 0);
  std::unique_ptr<Mesh> mesh;
  ASSERT_EQ(readBytes(file.bytes(), mesh), 1);
  EXPECT_TRUE(mesh->vertices && mesh->vertices->empty());
  EXPECT_FALSE(mesh->faces);

  // The 32 skipped bytes may be missing: a skip past the end is no failure.
  std::vector<unsigned char> headerOnly(file.bytes().begin(), file.bytes().begin() + 28);
  ASSERT_EQ(readBytes(headerOnly, mesh), 1);
  EXPECT_FALSE(mesh->faces);
}

TEST(FaceFileReader, OnlyUAndOBlocksGiveNoFaceList) {
  FaceFileBuilder file;
  file.header(3, 0).record('U', 2, 0, 0).record('O', 0, 0, 0).record('Z', 0, 0, 0);
  std::unique_ptr<Mesh> mesh;
  ASSERT_EQ(readBytes(file.bytes(), mesh), 1);
  EXPECT_TRUE(mesh->vertices->empty());
  EXPECT_FALSE(mesh->faces);
}

TEST(FaceFileReader, BlocksShareOneVertexListThroughTheBase) {
  FaceFileBuilder file;
  file.header(2, 0)
      .eBlock({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}})
      .eBlock({{5, 0, 0}, {6, 0, 0}, {6, 1, 0}}, {{0, 1, 2}});
  std::unique_ptr<Mesh> mesh;
  ASSERT_EQ(readBytes(file.bytes(), mesh), 1);
  ASSERT_EQ(mesh->vertices->size(), 7u);
  EXPECT_EQ((*mesh->vertices)[4].x, 5.0);
  ASSERT_EQ(mesh->faces->size(), 2u);
  EXPECT_EQ((*mesh->faces)[1].corners[0], 4);
  EXPECT_EQ((*mesh->faces)[1].corners[2], 6);
  EXPECT_EQ((*mesh->faces)[1].cornerCount, 3);
}

TEST(FaceFileReader, VertexCountOfOtherRecordsMovesTheBase) {
  FaceFileBuilder file;
  file.header(2, 0).record('O', 0, 0, 10).eBlock({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 2}});
  std::unique_ptr<Mesh> mesh;
  ASSERT_EQ(readBytes(file.bytes(), mesh), 1);
  EXPECT_EQ(mesh->vertices->size(), 3u);
  EXPECT_EQ((*mesh->faces)[0].corners[0], 10); // not checked against the list
}

TEST(FaceFileReader, UPayloadAndEntriesAreConsumed) {
  FaceFileBuilder file;
  file.header(2, 2).entry(4).entry(0).record('U', 2, 0, 0).eBlock({{1, 2, 3}}, {});
  ASSERT_EQ(file.bytes().size(), 60u + (1 + 2 + 5) + (1 + 2 + 1) + 32 + 136 + 32 + 1 + 24);
  std::unique_ptr<Mesh> mesh;
  ASSERT_EQ(readBytes(file.bytes(), mesh), 1);
  ASSERT_EQ(mesh->vertices->size(), 1u);
  EXPECT_EQ((*mesh->vertices)[0].z, 3.0);
  EXPECT_FALSE(mesh->faces);
}

TEST(FaceFileReader, SecondTriplesAreSkipped) {
  FaceFileBuilder file;
  file.header(1, 0).eBlock({{1, 2, 3}, {4, 5, 6}}, {{0, 1, 0}}, /*secondTriple=*/true);
  std::unique_ptr<Mesh> mesh;
  ASSERT_EQ(readBytes(file.bytes(), mesh), 1);
  ASSERT_EQ(mesh->vertices->size(), 2u);
  EXPECT_EQ((*mesh->vertices)[1].x, 4.0);
  EXPECT_EQ((*mesh->vertices)[1].z, 6.0);
}

TEST(FaceFileReader, OddCornerCountsGiveEmptyFaces) {
  FaceFileBuilder file;
  file.header(1, 0).eBlock({{0, 0, 0}}, {{0, 0, 0, 0, 0}, {0}, {0, 0}, {}, {0, 0, 0, 0}});
  std::unique_ptr<Mesh> mesh;
  ASSERT_EQ(readBytes(file.bytes(), mesh), 1);
  ASSERT_EQ(mesh->faces->size(), 5u);
  EXPECT_EQ((*mesh->faces)[0].cornerCount, 0);
  EXPECT_EQ((*mesh->faces)[1].cornerCount, 0);
  EXPECT_EQ((*mesh->faces)[2].cornerCount, 0);
  EXPECT_EQ((*mesh->faces)[3].cornerCount, 0);
  EXPECT_EQ((*mesh->faces)[4].cornerCount, 4);
}

TEST(FaceFileReader, NegativeCornerCountReadsNoEntries) {
  FaceFileBuilder file;
  file.header(1, 0).record('E', 0, 1, 0).u8(0).pad(18).i16(-3);
  std::unique_ptr<Mesh> mesh;
  ASSERT_EQ(readBytes(file.bytes(), mesh), 1);
  ASSERT_EQ(mesh->faces->size(), 1u);
  EXPECT_EQ((*mesh->faces)[0].cornerCount, 0);
}

TEST(FaceFileReader, EmptyEBlockIsAccepted) {
  // Zero vertices without the second-triple flag: a read of nothing is not
  // a short read.
  FaceFileBuilder file;
  file.header(2, 0).eBlock({}, {}).eBlock({{7, 8, 9}}, {});
  std::unique_ptr<Mesh> mesh;
  ASSERT_EQ(readBytes(file.bytes(), mesh), 1);
  ASSERT_EQ(mesh->vertices->size(), 1u);
}

TEST(FaceFileReader, EndInsideCornerEntriesKeepsTheBlocksVertices) {
  FaceFileBuilder file;
  file.header(2, 0)
      .eBlock({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}, {{0, 1, 2}})
      .eBlock({{2, 0, 0}, {3, 0, 0}, {3, 1, 0}, {2, 1, 0}}, {{0, 1, 2, 3}, {3, 2, 1, 0}});
  std::vector<unsigned char> bytes = file.bytes();
  bytes.resize(bytes.size() - 5); // inside the last face's last corner entry
  std::unique_ptr<Mesh> mesh;
  ASSERT_EQ(readBytes(bytes, mesh), 1);
  ASSERT_EQ(mesh->faces->size(), 2u); // the face in progress is dropped
  EXPECT_EQ(mesh->vertices->size(), 7u);
  EXPECT_EQ((*mesh->faces)[1].corners[3], 6);
  expectFacesIndexVertices(*mesh);
}

TEST(FaceFileReader, EveryPrefixOfAGoodFileFailsCleanlyOrReadsWhatItHolds) {
  FaceFileBuilder file;
  file.header(4, 2)
      .entry(4)
      .entry(1)
      .record('U', 2, 0, 0)
      .eBlock({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 2, 3}, {0, 1, 2}}, true)
      .record('O', 0, 0, 0)
      .eBlock({{5, 0, 0}, {6, 0, 0}, {6, 1, 0}}, {{}, {0, 1, 2}, {2, 1, 0, 1, 2}});
  const std::vector<unsigned char>& full = file.bytes();
  for (std::size_t n = 0; n <= full.size(); ++n) {
    std::vector<unsigned char> prefix(full.begin(), full.begin() + static_cast<long>(n));
    std::unique_ptr<Mesh> mesh;
    const int result = readBytes(prefix, mesh);
    const FaceFileBuilder::CornerRange* inCorners = nullptr;
    for (const auto& range : file.cornerRanges()) {
      if (n >= range.begin && n < range.end) {
        inCorners = &range;
      }
    }
    if (n == full.size()) {
      ASSERT_EQ(result, 1);
      EXPECT_EQ(mesh->vertices->size(), 7u);
      EXPECT_EQ(mesh->faces->size(), 5u);
    } else if (inCorners != nullptr) {
      ASSERT_EQ(result, 1) << "prefix " << n;
      ASSERT_TRUE(mesh);
      EXPECT_EQ(mesh->faces->size(), inCorners->facesBefore) << "prefix " << n;
      EXPECT_EQ(mesh->vertices->size(), inCorners->verticesWithBlock) << "prefix " << n;
      expectFacesIndexVertices(*mesh);
    } else {
      EXPECT_EQ(result, 0) << "prefix " << n;
      EXPECT_FALSE(mesh) << "prefix " << n;
    }
  }
}

TEST(FaceFileReader, AbsurdCountsFailWithoutReservingMemory) {
  struct Case {
    const char* what;
    FaceFileBuilder file;
  };
  std::vector<Case> cases(5);
  cases[0].what = "vertex count";
  cases[0].file.header(1, 0).record('E', 0, 0, 0x7FFFFFFF).u8(0).pad(48);
  cases[1].what = "vertex count with second triples";
  cases[1].file.header(1, 0).record('E', 8, 0, 0x40000000).u8(0).pad(96);
  cases[2].what = "face count";
  cases[2].file.header(1, 0).record('E', 0, 0x7FFFFFFF, 0).u8(0).pad(40);
  cases[3].what = "negative vertex count";
  cases[3].file.header(1, 0).record('E', 0, 0, -1).u8(0);
  cases[4].what = "negative entry length";
  cases[4].file.header(0, 1).u8(0).i16(-5).pad(8);
  for (const Case& c : cases) {
    std::unique_ptr<Mesh> mesh;
    EXPECT_EQ(readBytes(c.file.bytes(), mesh), 0) << c.what;
    EXPECT_FALSE(mesh) << c.what;
  }
}

TEST(FaceFileReader, HugeBlockAndEntryCountsEndAtTheFilesEnd) {
  FaceFileBuilder blocks;
  blocks.header(0x7FFFFFFF, 0).eBlock({{1, 1, 1}}, {});
  std::unique_ptr<Mesh> mesh;
  EXPECT_EQ(readBytes(blocks.bytes(), mesh), 0);
  FaceFileBuilder entries;
  entries.header(0, 0x7FFFFFFF).entry(2);
  EXPECT_EQ(readBytes(entries.bytes(), mesh), 0);
  EXPECT_FALSE(mesh);
}

TEST(FaceFileReader, IndexBeyondThirtyTwoBitsFails) {
  FaceFileBuilder file;
  file.header(3, 0)
      .record('O', 0, 0, 0x7FFFFFFF)
      .record('O', 0, 0, 0x7FFFFFFF)
      .eBlock({{0, 0, 0}}, {{0, 0, 0}});
  std::unique_ptr<Mesh> mesh;
  EXPECT_EQ(readBytes(file.bytes(), mesh), 0);
}

// A pipe can't tell its size or seek: skips read through, and memory follows
// the bytes that actually arrive.
int readThroughPipe(const std::vector<unsigned char>& bytes, std::unique_ptr<Mesh>& mesh) {
  int fds[2];
  if (pipe(fds) != 0) {
    return -1;
  }
  const ssize_t written = write(fds[1], bytes.data(), bytes.size());
  close(fds[1]);
  std::unique_ptr<std::FILE, FileCloser> stream(fdopen(fds[0], "rb"));
  if (written != static_cast<ssize_t>(bytes.size()) || !stream) {
    return -1;
  }
  return readFaceFile(stream.get(), mesh);
}

TEST(FaceFileReader, AStreamThatCannotSeekIsReadThrough) {
  FaceFileBuilder file;
  file.header(1, 1).entry(3).eBlock({{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {{0, 1, 2}});
  std::unique_ptr<Mesh> mesh;
  ASSERT_EQ(readThroughPipe(file.bytes(), mesh), 1);
  EXPECT_EQ(mesh->vertices->size(), 3u);
  EXPECT_EQ(mesh->faces->size(), 1u);

  FaceFileBuilder absurd;
  absurd.header(1, 0).record('E', 0, 0x7FFFFFFF, 0x7FFFFFFF).u8(0).pad(24 * 3);
  EXPECT_EQ(readThroughPipe(absurd.bytes(), mesh), 0);
  EXPECT_FALSE(mesh);
}

} // namespace

namespace {

// The fuzz target's seeds (scripts/make-fuzz-seeds.py lays them out from
// host/include/face_file.h) are face files the reader takes whole: a seed
// the reader refused would start the fuzzer off the format.
TEST(FaceFileReader, TheFuzzSeedsReadAsTheyWereMade) {
  struct Seed {
    const char* name;
    std::size_t vertices, faces;
  };
  for (const Seed& seed : {Seed{"square", 4, 1}, Seed{"two_with_normals", 8, 4}, Seed{"without_faces", 0, 0},
                           Seed{"mixed", 8, 4}}) {
    SCOPED_TRACE(seed.name);
    const std::string path = std::string(CORVANE_SOURCE_DIR) + "/tests/module/fuzz_seeds/" + seed.name;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::unique_ptr<Mesh> mesh;
    EXPECT_EQ(readFaceFile(file, mesh), 1);
    std::fclose(file);
    ASSERT_TRUE(mesh && mesh->vertices);
    EXPECT_EQ(mesh->vertices->size(), seed.vertices);
    EXPECT_EQ(mesh->faces ? mesh->faces->size() : 0u, seed.faces);
  }
}

} // namespace
