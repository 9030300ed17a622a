// Smooth vertex normals of a block: each vertex gets the normalised sum of
// the area-weighted normals of the faces that use it.
#pragma once

#include <vector>

#include "faces/face_block.h"

namespace corvane {

// One normal per vertex of BLOCK, in vertex order. A vertex that no face uses,
// or whose faces cancel or have no area, gets (0, 0, 0). Corner indices must
// lie inside the vertex list (the builders guarantee it).
std::vector<Vec3> vertexNormals(const FaceBlock& block);

} // namespace corvane
