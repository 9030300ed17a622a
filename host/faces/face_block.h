// The neutral form of one entity's faces, between tessellation and the face
// file: a vertex list and faces that index it. Builders produce it, the face
// file writer checks and encodes it.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "geometry/entity_geometry.h"

namespace corvane {

// One face: 3 or 4 zero-based indices into its block's vertices.
// invisibleEdges bit k hides the edge that starts at corner k (k = 0..3).
struct BlockFace {
  int cornerCount = 0;
  std::array<int, 4> corners{0, 0, 0, 0};
  int invisibleEdges = 0;
};

// One block of faces. `normals` is empty, or holds one unit normal per vertex
// (a zero vector for a vertex no face uses); the writer sets bit value 8 on
// blocks that carry them.
struct FaceBlock {
  std::vector<Vec3> vertices;
  std::vector<Vec3> normals;
  std::vector<BlockFace> faces;
};

// Row-major 4x4 matrix taking the entity's own coordinates to world
// coordinates (a point is the column (x, y, z, 1)).
using Matrix4 = std::array<double, 16>;
inline constexpr Matrix4 kIdentityMatrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

// The quadrilaterals of a polygon mesh's M x N grid whose first COUNT
// vertices exist, in row order, each handed to QUAD(a, b, c, d) as indices
// into the grid's vertices. A closed direction wraps when it has three rows
// or more (with two, each quad would repeat back to back); a quad with a
// corner beyond COUNT is left out. Rows past the vertices are never
// visited, so a huge M or N over a short list costs nothing.
template <typename Quad>
void forEachGridQuad(int64_t m, int64_t n, bool closedM, bool closedN, int64_t count, Quad quad) {
  if (m <= 0 || n <= 0 || count <= 0) return;
  const int64_t rowQuads = (closedM && m >= 3) ? m : m - 1;
  const int64_t colQuads = (closedN && n >= 3) ? n : n - 1;
  const int64_t rows = std::min(rowQuads, (count + n - 1) / n);
  const int64_t cols = std::min(colQuads, count);
  for (int64_t i = 0; i < rows; ++i) {
    const int64_t i1 = (i + 1) % m;
    for (int64_t j = 0; j < cols; ++j) {
      const int64_t j1 = (j + 1) % n;
      const int64_t a = i * n + j, b = i * n + j1, c = i1 * n + j1, d = i1 * n + j;
      if (a < count && b < count && c < count && d < count)
        quad(static_cast<int>(a), static_cast<int>(b), static_cast<int>(c), static_cast<int>(d));
    }
  }
}

// A polygon mesh too big to hold twice, written to the face file as it is
// read: its vertices come from the drawing's reader, its faces are the
// quads of its grid (forEachGridQuad). It goes without normals. Copies
// share the reader, which the writer rewinds: one copy is written at a time.
struct GridFaces {
  int64_t m = 0, n = 0;
  bool closedM = false, closedN = false;
  size_t vertexCount = 0; // what `vertices` gives in all
  size_t faceCount = 0;   // the quads forEachGridQuad gives
  std::shared_ptr<MeshVertexReader> vertices;
};

// The faces of one entity as the face file holds them: its transform (written
// as the entity's U record) and its block, absent for an entity that has no
// faces to give (a solid model not yet tessellated, a degenerate mesh). A
// big polygon mesh has its grid in place of a block.
struct EntityFaces {
  EntityFaces() = default;
  EntityFaces(const Matrix4& t, std::optional<FaceBlock> b) : transform(t), block(std::move(b)) {}

  Matrix4 transform = kIdentityMatrix;
  std::optional<FaceBlock> block;
  std::optional<GridFaces> grid;
};

} // namespace corvane
