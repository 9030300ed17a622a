// The neutral form of one entity's faces, between tessellation and the face
// file: a vertex list and faces that index it. Builders produce it, the face
// file writer checks and encodes it.
#pragma once

#include <array>
#include <optional>
#include <vector>

#include "drawing/entity_geometry.h"

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

// The faces of one entity as the face file holds them: its transform (written
// as the entity's U record) and its block, absent for an entity that has no
// faces to give (a solid model not yet tessellated, a degenerate mesh).
struct EntityFaces {
  Matrix4 transform = kIdentityMatrix;
  std::optional<FaceBlock> block;
};

} // namespace corvane
