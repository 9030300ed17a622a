#include "faces/vertex_normals.h"

#include <cmath>

namespace corvane {

std::vector<Vec3> vertexNormals(const FaceBlock& block) {
  std::vector<Vec3> sums(block.vertices.size());
  for (const BlockFace& face : block.faces) {
    // Newell's method: twice the area vector, robust for non-planar quads.
    Vec3 n;
    for (int k = 0; k < face.cornerCount; ++k) {
      const Vec3& a = block.vertices[face.corners[k]];
      const Vec3& b = block.vertices[face.corners[(k + 1) % face.cornerCount]];
      n.x += (a.y - b.y) * (a.z + b.z);
      n.y += (a.z - b.z) * (a.x + b.x);
      n.z += (a.x - b.x) * (a.y + b.y);
    }
    for (int k = 0; k < face.cornerCount; ++k) {
      Vec3& s = sums[face.corners[k]];
      s.x += n.x;
      s.y += n.y;
      s.z += n.z;
    }
  }
  for (Vec3& s : sums) {
    const double len = std::sqrt(s.x * s.x + s.y * s.y + s.z * s.z);
    if (len > 0 && std::isfinite(len)) {
      s = {s.x / len, s.y / len, s.z / len};
    } else {
      s = {};
    }
  }
  return sums;
}

} // namespace corvane
