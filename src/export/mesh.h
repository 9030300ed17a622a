// The geometry of one exported object: vertices and the faces that index
// them, built by readFaceFile and printed by writeMesh.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

class OutputFile;

struct Point3 {
  double x, y, z;
};

// A triangle or quadrilateral. cornerCount is 3 or 4, or 0 for a face that
// had any other number of corners; only the first cornerCount corners mean
// anything. Corners are zero-based positions in the mesh's vertex list.
struct MeshFace {
  std::int32_t cornerCount = 0;
  std::int32_t corners[4] = {0, 0, 0, 0};
};

// The mesh owns both lists. vertices is present (possibly empty) after every
// successful read; faces stays absent until a first face has been read.
struct Mesh {
  std::optional<std::vector<Point3>> vertices;
  std::optional<std::vector<MeshFace>> faces;

  // Writes the Coordinate3 and IndexedFaceSet nodes when both lists are
  // present and a file is given; nothing otherwise. Indices are written as
  // they stand, not checked against the vertex list. Defined with the rest
  // of the world file format in vrml_writer.cpp; a failed write shows in
  // file->failed().
  void writeMesh(OutputFile* file) const;
};
