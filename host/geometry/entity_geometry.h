// Geometry of the exportable entity kinds as the drawing stores it, read
// from the entity's DXF groups (dxf/entity_views fills these). The face-file
// writer turns them into faces; nothing here is transformed or checked
// beyond what each field's comment says.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "geometry/vec_math.h"

namespace corvane {

// 3DFACE: corners 10..13 in world coordinates; group 70 invisible-edge bits
// (1 first edge, 2 second, 4 third, 8 fourth).
struct FaceGeometry {
  Vec3 corners[4];
  int invisibleEdges = 0;
};

// SOLID (2D solid): corners 10..13 in the object coordinate system given by
// the extrusion direction 210 (default 0,0,1); thickness 39; elevation 38
// (R12 files keep it in the corners' z instead; both are added as stored).
struct SolidGeometry {
  Vec3 corners[4];
  double thickness = 0;
  double elevation = 0;
  Vec3 extrusion{0, 0, 1};
};

// POLYLINE with flag 64: vertices (VERTEX with flag 64 | 128) and face
// records (VERTEX with flag 128 only, groups 71..74: 1-based vertex numbers,
// negative for an invisible edge, 0 for none).
struct PolyfaceGeometry {
  struct FaceRecord {
    int index[4] = {0, 0, 0, 0};
  };
  std::vector<Vec3> vertices;
  std::vector<FaceRecord> faces;
};

// POLYLINE with flag 16: M (71) by N (72) vertices in row order; flag 1
// closed in M, flag 32 closed in N; flag 4 smoothed with surface type 75
// (5, 6 or 8) and surface density 73 x 74. `vertices` are the control
// vertices (VERTEX flag 16 when smoothed, else all); `surfaceVertices` the
// vertices the smoothing added (VERTEX flag 8), in file order.
struct PolygonMeshGeometry {
  int m = 0, n = 0;
  bool closedM = false, closedN = false;
  bool smoothed = false;
  int surfaceType = 0;
  int surfaceM = 0, surfaceN = 0;
  std::vector<Vec3> vertices;
  std::vector<Vec3> surfaceVertices;

  // Whether the faces span the surface grid: a smoothed mesh whose surface
  // vertices (SURFACECOUNT of them) number surfaceM x surfaceN. Otherwise
  // they span the M x N grid of `vertices`.
  bool usesSurfaceGrid(size_t surfaceCount) const {
    return smoothed && surfaceM > 0 && surfaceN > 0 &&
           static_cast<int64_t>(surfaceM) * surfaceN == static_cast<int64_t>(surfaceCount);
  }
};

// The vertices of a mesh read in file order straight from the drawing's
// bytes, for a mesh too big to be worth a list of its own.
class MeshVertexReader {
public:
  virtual ~MeshVertexReader() = default;
  // The next vertices, up to MAX of them, into OUT; how many (0 at the end).
  virtual size_t read(Vec3* out, size_t max) = 0;
  // Back to the first vertex.
  virtual void rewind() = 0;
};

// A polygon mesh as its grid, with the vertices still to be read: the
// grid's size (the surface grid's when the mesh uses it, see
// PolygonMeshGeometry), and a reader of its first vertexCount vertices.
struct PolygonMeshStream {
  int64_t m = 0, n = 0;
  bool closedM = false, closedN = false;
  size_t vertexCount = 0;
  std::unique_ptr<MeshVertexReader> vertices;
};

// 3DSOLID / BODY / REGION model data as stored. R13 to R2010 keep the model
// text in the entity's groups 1 and 3, each character encoded; the lines are
// kept here as stored (a group 3 continues the line of the group before it),
// and host/solids decodes them. R2013 and later keep binary model data in the
// ACDSDATA section, linked to the entity by its handle.
struct SolidModelData {
  std::vector<std::string> textGroups;  // values of groups 1 and 3, in order
  std::vector<int> textGroupCodes;      // 1 or 3 for each entry of textGroups
  std::vector<uint8_t> binary;          // SAB bytes (R2013+), empty otherwise
  int modelerVersion = 0;               // group 70 of the entity
  std::string handle;                   // the entity's handle, for messages
};

} // namespace corvane
