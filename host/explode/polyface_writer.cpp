#include "explode/polyface_writer.h"

#include <algorithm>

#include "drawing/drawing.h"
#include "solids/planar_triangulation.h"

namespace corvane {
namespace {

struct Part {
  std::vector<int> vertices;             // indices into the whole vertex list
  std::vector<const BlockFace*> faces;
};

void writePart(const CopyWriter& w, std::string_view layer, int color, std::string_view xdata,
               const std::vector<Vec3>& vertices, const std::vector<int>& local, const Part& part,
               std::vector<PlacedObject>& out) {
  PlacedObject placed;
  placed.handle = w.drawing().takeHandle();
  const std::string polyline = formatHandle(placed.handle);
  std::string& t = placed.text;
  w.head(t, "POLYLINE", placed.handle, w.owner());
  w.layerAndColor(t, layer, color);
  if (w.markers()) w.group(t, 100, "AcDbPolyFaceMesh");
  w.integer(t, 66, 1);
  w.point(t, 10, {0, 0, 0});
  w.integer(t, 70, 64);
  w.integer(t, 71, static_cast<long long>(part.vertices.size()));
  w.integer(t, 72, static_cast<long long>(part.faces.size()));
  t.append(xdata);
  auto record = [&](const char* subclass) {
    w.head(t, "VERTEX", w.drawing().takeHandle(), polyline);
    w.layerAndColor(t, layer, color);
    if (w.markers()) w.group(t, 100, subclass);
  };
  for (int v : part.vertices) {
    record("AcDbVertex");
    if (w.markers()) w.group(t, 100, "AcDbPolyFaceMeshVertex");
    w.point(t, 10, vertices[static_cast<size_t>(v)]);
    w.integer(t, 70, 192);
  }
  for (const BlockFace* f : part.faces) {
    record("AcDbFaceRecord");
    w.point(t, 10, {0, 0, 0});
    w.integer(t, 70, 128);
    for (int k = 0; k < f->cornerCount; ++k) {
      long long number = local[static_cast<size_t>(f->corners[static_cast<size_t>(k)])] + 1;
      w.integer(t, 71 + k, (f->invisibleEdges >> k) & 1 ? -number : number);
    }
  }
  w.head(t, "SEQEND", w.drawing().takeHandle(), polyline);
  w.layerAndColor(t, layer, color);
  out.push_back(std::move(placed));
}

} // namespace

void writePolyfaces(const CopyWriter& w, std::string_view layer, int color, std::string_view xdata,
                    const std::vector<Vec3>& vertices, const std::vector<BlockFace>& faces,
                    std::vector<PlacedObject>& out) {
  // Faces go into the current part until one would take it past what a
  // polyface mesh holds; its vertices are numbered in order of first use.
  std::vector<int> local(vertices.size(), -1);
  Part part;
  auto flush = [&] {
    if (!part.faces.empty()) writePart(w, layer, color, xdata, vertices, local, part, out);
    for (int v : part.vertices) local[static_cast<size_t>(v)] = -1;
    part = Part{};
  };
  for (const BlockFace& f : faces) {
    if (f.cornerCount < 3 || f.cornerCount > 4) continue;
    bool inside = true;
    size_t fresh = 0;
    for (int k = 0; k < f.cornerCount; ++k) {
      int c = f.corners[static_cast<size_t>(k)];
      if (c < 0 || static_cast<size_t>(c) >= vertices.size()) inside = false;
      else if (local[static_cast<size_t>(c)] < 0) ++fresh;
    }
    if (!inside) continue;
    if (part.vertices.size() + fresh > kMaxPolyfaceCount || part.faces.size() + 1 > kMaxPolyfaceCount) {
      flush();
      fresh = static_cast<size_t>(f.cornerCount);
    }
    for (int k = 0; k < f.cornerCount; ++k) {
      int c = f.corners[static_cast<size_t>(k)];
      if (local[static_cast<size_t>(c)] < 0) {
        local[static_cast<size_t>(c)] = static_cast<int>(part.vertices.size());
        part.vertices.push_back(c);
      }
    }
    part.faces.push_back(&f);
  }
  flush();
}

MeshGeometry readMeshGeometry(const SourceEntity& mesh) {
  // After group 92 come that many vertices; after 93 the face list of that
  // many 90 values: per face its corner count, then its vertex indices.
  MeshGeometry g;
  enum { kBefore, kVertices, kFaceList, kAfter } state = kBefore;
  long long vertexCount = 0, listLeft = 0, cornersLeft = 0;
  for (size_t i = 1; i < mesh.ownCount && state != kAfter; ++i) {
    const DxfGroupView& v = mesh.groups[i];
    if (v.code >= 1000) break;
    if (v.code == 92 && state == kBefore) {
      vertexCount = v.integer();
      state = kVertices;
    } else if (v.code == 93 && state != kFaceList) {
      listLeft = v.integer();
      state = listLeft > 0 ? kFaceList : kAfter;
    } else if (state == kVertices && v.code == 10) {
      if (static_cast<long long>(g.vertices.size()) < vertexCount) g.vertices.push_back({v.real(), 0, 0});
    } else if (state == kVertices && (v.code == 20 || v.code == 30) && !g.vertices.empty()) {
      (v.code == 20 ? g.vertices.back().y : g.vertices.back().z) = v.real();
    } else if (state == kFaceList && v.code == 90) {
      long long n = v.integer();
      if (cornersLeft == 0) {
        cornersLeft = n;
        if (n > 0) g.faces.emplace_back();
      } else {
        g.faces.back().push_back(n >= 0 && n < static_cast<long long>(g.vertices.size()) ? static_cast<int>(n) : -1);
        --cornersLeft;
      }
      if (--listLeft <= 0) state = kAfter;
    }
  }
  std::erase_if(g.faces, [](const std::vector<int>& f) {
    return f.size() < 3 || std::find(f.begin(), f.end(), -1) != f.end();
  });
  return g;
}

void splitFace(const std::vector<int>& corners, const std::vector<Vec3>& vertices, std::vector<BlockFace>& out) {
  const size_t n = corners.size();
  if (n < 3) return;
  if (n <= 4) {
    BlockFace f;
    f.cornerCount = static_cast<int>(n);
    for (size_t k = 0; k < n; ++k) f.corners[k] = corners[k];
    out.push_back(f);
    return;
  }
  // The face's plane by Newell's rule; triangles counter-clockwise in it
  // keep the face's orientation.
  Vec3 normal{};
  for (size_t k = 0; k < n; ++k) {
    const Vec3& p = vertices[static_cast<size_t>(corners[k])];
    const Vec3& q = vertices[static_cast<size_t>(corners[(k + 1) % n])];
    normal.x += (p.y - q.y) * (p.z + q.z);
    normal.y += (p.z - q.z) * (p.x + q.x);
    normal.z += (p.x - q.x) * (p.y + q.y);
  }
  normal = normalized(normal);
  const Vec3 u = anyPerpendicular(normal);
  const Vec3 v = cross(normal, u);
  std::vector<Vec2> points;
  std::vector<int> ring;
  for (size_t k = 0; k < n; ++k) {
    const Vec3& p = vertices[static_cast<size_t>(corners[k])];
    points.push_back({dot(p, u), dot(p, v)});
    ring.push_back(static_cast<int>(k));
  }
  solids::PlanarTriangulation triangulation;
  if (length(normal) > 0 && triangulation.build(points, {ring})) {
    for (const auto& t : triangulation.triangles()) {
      BlockFace f;
      f.cornerCount = 3;
      for (size_t k = 0; k < 3; ++k) f.corners[k] = corners[static_cast<size_t>(t[k])];
      out.push_back(f);
    }
    return;
  }
  // A face with no area: a fan keeps its corners.
  for (size_t k = 1; k + 1 < n; ++k) {
    BlockFace f;
    f.cornerCount = 3;
    f.corners = {corners[0], corners[k], corners[k + 1], 0};
    out.push_back(f);
  }
}

} // namespace corvane
