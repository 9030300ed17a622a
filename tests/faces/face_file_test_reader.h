// Test-only reader of the face file, written from the layout alone (not
// from the writer) so that tests check the bytes independently. It reads
// every field the host writes, including the ones a module skips, and
// rejects a file that is short, has bytes after its last block, or has a
// non-zero byte where the layout reserves one.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "geometry/entity_geometry.h"

namespace corvane::test {

struct ParsedFace {
  int invisibleEdges = 0;           // face head, offset 0
  std::vector<int> corners;         // vertexIndex of each corner entry
  std::vector<int> cornerEdgeFlags; // offset 0 of each corner entry
};

struct ParsedRecord {
  char kind = 0, part = 0;
  uint8_t flags = 0;
  int32_t ordinal = 0;
  int32_t faceCount = 0, vertexCount = 0;
  std::vector<double> matrix;   // U with payload: the 16 doubles
  int32_t payloadOrdinal = -1;  // U with payload
  std::vector<Vec3> vertices, normals;
  std::vector<ParsedFace> faces;
};

struct ParsedFaceFile {
  int32_t blockCount = 0, flags = 0, entryCount = 0, entityCount = 0, vertexTotal = 0;
  std::vector<std::string> entries;
  std::vector<ParsedRecord> records;
};

// The mesh a module's reader builds: vertices of all E blocks in order, face
// corners offset by the vertex counts of the records before.
struct ReaderMesh {
  std::vector<Vec3> vertices;
  std::vector<std::vector<int>> faces;
};

std::optional<ParsedFaceFile> parseFaceFile(std::span<const uint8_t> bytes, std::string& error);
ReaderMesh readerMesh(const ParsedFaceFile& file);
std::vector<uint8_t> fileBytes(const char* path);

} // namespace corvane::test
