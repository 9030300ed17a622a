// New polyface meshes: the form a MESH takes when it is exploded, and the
// form of any placed object whose kind can't hold its transform (the faces
// the export would have made, placed).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "explode/entity_copy.h"
#include "faces/face_block.h"

namespace corvane {

// One new object, ready for Drawing::addEntity.
struct PlacedObject {
  std::string text;
  uint64_t handle = 0;
  std::string solidRecord; // its ACDSDATA record, for a solid model kept there
};

// The most vertices, and faces, one polyface mesh holds.
constexpr size_t kMaxPolyfaceCount = 32767;

// Writes FACES over VERTICES as polyface meshes on LAYER with COLOR (256 by
// layer) and the extended data XDATA (as stored): one mesh, or several when
// one can't hold them all. Faces with fewer than three corners or a corner
// outside VERTICES are left out; nothing is written when no face remains.
void writePolyfaces(const CopyWriter& writer, std::string_view layer, int color, std::string_view xdata,
                    const std::vector<Vec3>& vertices, const std::vector<BlockFace>& faces,
                    std::vector<PlacedObject>& out);

// A MESH entity's base level: its vertices and faces (each a list of
// zero-based vertex indices).
struct MeshGeometry {
  std::vector<Vec3> vertices;
  std::vector<std::vector<int>> faces;
};
MeshGeometry readMeshGeometry(const SourceEntity& mesh);

// One face of any number of corners as faces of three or four: as it is up
// to four, split into triangles over the face's own plane beyond.
void splitFace(const std::vector<int>& corners, const std::vector<Vec3>& vertices,
               std::vector<BlockFace>& out);

} // namespace corvane
