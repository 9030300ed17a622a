#include "faces/face_builder.h"

#include <algorithm>
#include <cstdint>

#include "drawing/drawing.h"
#include "drawing/record_geometry.h"
#include "faces/object_coordinates.h"
#include "faces/vertex_normals.h"
#include "runtime/host_services.h"

namespace corvane {
namespace {

bool operator==(const Vec3& a, const Vec3& b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

BlockFace makeFace(std::initializer_list<int> corners, int invisibleEdges = 0) {
  BlockFace face;
  for (int c : corners) face.corners[face.cornerCount++] = c;
  face.invisibleEdges = invisibleEdges;
  return face;
}

EntityFaces withNormals(FaceBlock block) {
  EntityFaces out;
  if (block.vertices.empty()) return out;
  if (block.vertices.size() <= kMaxNormalVertices) block.normals = vertexNormals(block);
  out.block = std::move(block);
  return out;
}

// Twice the signed area of RING's projection on the xy plane.
double signedArea(const std::vector<Vec3>& ring) {
  double a = 0;
  for (size_t i = 0; i < ring.size(); ++i) {
    const Vec3& p = ring[i];
    const Vec3& q = ring[(i + 1) % ring.size()];
    a += p.x * q.y - q.x * p.y;
  }
  return a;
}

} // namespace

double chordTolerance() {
  static SysVar* const v = sysVars().find("FACETCHORD");
  return v != nullptr && v->type == SysVar::kReal && v->realValue > 0 ? v->realValue : 0.0;
}

EntityFaces buildFaces(const Drawing& drawing, const AcDbObjectRecord& record, double chordTolerance,
                       std::string& note) {
  if (auto g = faceGeometry(drawing, record)) return buildFaces(*g);
  if (auto g = solidGeometry(drawing, record)) return buildFaces(*g);
  if (auto g = polyfaceGeometry(drawing, record)) return buildFaces(std::move(*g));
  // A big polygon mesh goes from the drawing straight into the face file.
  if (auto g = polygonMeshStream(drawing, record, kMaxNormalVertices)) return buildFaces(std::move(*g));
  if (auto g = polygonMeshGeometry(drawing, record)) return buildFaces(std::move(*g));
  if (auto g = solidModelData(drawing, record)) return buildFaces(*g, chordTolerance, &note);
  return {};
}

EntityFaces buildFaces(const FaceGeometry& face) {
  FaceBlock block;
  const bool triangle = face.corners[2] == face.corners[3];
  const int count = triangle ? 3 : 4;
  block.vertices.assign(face.corners, face.corners + count);
  // A triangle's third edge runs from corner 3 back to corner 1; the 3DFACE
  // keeps its visibility in the fourth edge's bit.
  int invisible = face.invisibleEdges & 0xF;
  if (triangle) invisible = (invisible & 0x3) | ((invisible & 0x8) ? 0x4 : 0);
  block.faces.push_back(triangle ? makeFace({0, 1, 2}, invisible) : makeFace({0, 1, 2, 3}, invisible));
  EntityFaces out;
  out.block = std::move(block);
  return out;
}

EntityFaces buildFaces(const SolidGeometry& solid) {
  const ObjectFrame frame = objectFrame(solid.extrusion);
  const bool triangle = solid.corners[2] == solid.corners[3];
  // The solid's corners 3 and 4 are stored crosswise: the outline runs
  // 1, 2, 4, 3.
  std::vector<Vec3> ring{solid.corners[0], solid.corners[1]};
  if (triangle) {
    ring.push_back(solid.corners[2]);
  } else {
    ring.push_back(solid.corners[3]);
    ring.push_back(solid.corners[2]);
  }
  for (Vec3& p : ring) p.z += solid.elevation;

  EntityFaces out;
  out.transform = frameMatrix(frame);
  FaceBlock block;
  const int k = static_cast<int>(ring.size());
  if (solid.thickness == 0) {
    for (const Vec3& p : ring) block.vertices.push_back(toWorld(frame, p));
    block.faces.push_back(triangle ? makeFace({0, 1, 2}) : makeFace({0, 1, 2, 3}));
    out.block = std::move(block);
    return out;
  }

  // Orient the outline counter-clockwise seen from +z of the OCS, then name
  // "lower" the ring at the smaller OCS z: its cap faces -z, the other +z,
  // and each side runs lower i, lower i+1, upper i+1, upper i.
  if (signedArea(ring) < 0) std::reverse(ring.begin(), ring.end());
  for (const Vec3& p : ring) block.vertices.push_back(toWorld(frame, p));
  for (Vec3 p : ring) {
    p.z += solid.thickness;
    block.vertices.push_back(toWorld(frame, p));
  }
  const int lower = solid.thickness > 0 ? 0 : k;
  const int upper = solid.thickness > 0 ? k : 0;
  if (triangle) {
    block.faces.push_back(makeFace({lower + 2, lower + 1, lower + 0}));
    block.faces.push_back(makeFace({upper + 0, upper + 1, upper + 2}));
  } else {
    block.faces.push_back(makeFace({lower + 3, lower + 2, lower + 1, lower + 0}));
    block.faces.push_back(makeFace({upper + 0, upper + 1, upper + 2, upper + 3}));
  }
  for (int i = 0; i < k; ++i) {
    const int j = (i + 1) % k;
    block.faces.push_back(makeFace({lower + i, lower + j, upper + j, upper + i}));
  }
  out.block = std::move(block);
  return out;
}

EntityFaces buildFaces(PolyfaceGeometry mesh) {
  FaceBlock block;
  const int64_t count = static_cast<int64_t>(mesh.vertices.size());
  block.vertices = std::move(mesh.vertices);
  for (const PolyfaceGeometry::FaceRecord& record : mesh.faces) {
    BlockFace face;
    bool inside = true;
    for (int k = 0; k < 4; ++k) {
      const int64_t number = record.index[k];
      if (number == 0) break;
      const int64_t index = (number < 0 ? -number : number) - 1;
      if (index >= count) {
        inside = false;
        break;
      }
      if (number < 0) face.invisibleEdges |= 1 << k;
      face.corners[face.cornerCount++] = static_cast<int>(index);
    }
    if (inside && face.cornerCount >= 3) block.faces.push_back(face);
  }
  return withNormals(std::move(block));
}

EntityFaces buildFaces(PolygonMeshGeometry mesh) {
  std::vector<Vec3>* grid = &mesh.vertices;
  int64_t m = mesh.m, n = mesh.n;
  if (mesh.usesSurfaceGrid(mesh.surfaceVertices.size())) {
    grid = &mesh.surfaceVertices;
    m = mesh.surfaceM;
    n = mesh.surfaceN;
  }
  FaceBlock block;
  if (m <= 0 || n <= 0) return {};
  const int64_t count = std::min<int64_t>(m * n, static_cast<int64_t>(grid->size()));
  if (count == static_cast<int64_t>(grid->size())) block.vertices = std::move(*grid);
  else block.vertices.assign(grid->begin(), grid->begin() + count);
  size_t quads = 0;
  forEachGridQuad(m, n, mesh.closedM, mesh.closedN, count, [&quads](int, int, int, int) { ++quads; });
  block.faces.reserve(quads);
  forEachGridQuad(m, n, mesh.closedM, mesh.closedN, count,
                  [&block](int a, int b, int c, int d) { block.faces.push_back(makeFace({a, b, c, d})); });
  return withNormals(std::move(block));
}

EntityFaces buildFaces(PolygonMeshStream mesh) {
  EntityFaces out;
  if (mesh.vertexCount == 0 || !mesh.vertices) return out;
  size_t quads = 0;
  forEachGridQuad(mesh.m, mesh.n, mesh.closedM, mesh.closedN, static_cast<int64_t>(mesh.vertexCount),
                  [&quads](int, int, int, int) { ++quads; });
  out.grid = GridFaces{mesh.m,           mesh.n, mesh.closedM, mesh.closedN, mesh.vertexCount,
                       quads, std::move(mesh.vertices)};
  return out;
}

EntityFaces buildFaces(const SolidModelData& model, double chordTolerance, std::string* reason) {
  SolidMesh mesh;
  std::string why;
  if (!tessellateSolidModel(model, chordTolerance, mesh, why)) {
    if (reason) *reason = why;
    return {};
  }
  if (reason) *reason = why;  // warnings only: the mesh is usable
  return buildFaces(mesh);
}

EntityFaces buildFaces(const SolidMesh& mesh) {
  FaceBlock block;
  block.vertices = mesh.points;
  const int64_t count = static_cast<int64_t>(mesh.points.size());
  auto inside = [&](int c) { return c >= 0 && c < count; };
  for (const std::array<int, 4>& corners : mesh.faces) {
    const int n = corners[3] == -1 ? 3 : 4;
    if (!std::all_of(corners.begin(), corners.begin() + n, inside)) continue;
    BlockFace face;
    for (int k = 0; k < n; ++k) face.corners[face.cornerCount++] = corners[k];
    block.faces.push_back(face);
  }
  return withNormals(std::move(block));
}

} // namespace corvane
