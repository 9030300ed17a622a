#include "dxf/entity_views.h"

#include "dxf/dxf_cursor.h"
#include "dxf/dxf_values.h"

namespace corvane {

namespace {

double real(const DxfGroupView& g) { return parseDxfReal(g.value); }
int integer(const DxfGroupView& g) {
  long long v = parseDxfInt(g.value);
  return v < -2147483647 ? -2147483647 : v > 2147483647 ? 2147483647 : static_cast<int>(v);
}

// Sets a coordinate of POINTS[n] for codes BASE+n (x), BASE+10+n (y) and
// BASE+20+n (z), n < COUNT. True when the group was one of them.
bool setCorner(const DxfGroupView& g, int base, Vec3* points, int count, bool* seen) {
  int offset = g.code - base;
  if (offset < 0 || offset >= 30) return false;
  int n = offset % 10, axis = offset / 10;
  if (n >= count) return false;
  double v = real(g);
  if (axis == 0)
    points[n].x = v;
  else if (axis == 1)
    points[n].y = v;
  else
    points[n].z = v;
  if (seen) seen[n] = true;
  return true;
}

} // namespace

FaceGeometry readFaceGeometry(std::string_view own) {
  FaceGeometry face;
  bool seen[4] = {false, false, false, false};
  DxfGroupCursor cursor(own);
  DxfGroupView g;
  while (cursor.next(g)) {
    if (setCorner(g, 10, face.corners, 4, seen)) continue;
    if (g.code == 70) face.invisibleEdges = integer(g);
  }
  if (!seen[3]) face.corners[3] = face.corners[2];
  return face;
}

SolidGeometry readSolidGeometry(std::string_view own) {
  SolidGeometry solid;
  bool seen[4] = {false, false, false, false};
  DxfGroupCursor cursor(own);
  DxfGroupView g;
  while (cursor.next(g)) {
    if (setCorner(g, 10, solid.corners, 4, seen)) continue;
    switch (g.code) {
    case 39: solid.thickness = real(g); break;
    case 38: solid.elevation = real(g); break;
    case 210: solid.extrusion.x = real(g); break;
    case 220: solid.extrusion.y = real(g); break;
    case 230: solid.extrusion.z = real(g); break;
    default: break;
    }
  }
  if (!seen[3]) solid.corners[3] = solid.corners[2];
  return solid;
}

namespace {

// The VERTEX records of a POLYLINE's text, one call per vertex.
template <typename OnVertex>
void forEachVertex(std::string_view all, OnVertex onVertex, DxfGroupCursor& cursor) {
  DxfGroupView g;
  bool inVertex = false;
  Vec3 point;
  int flags = 0;
  int index[4] = {0, 0, 0, 0};
  auto flush = [&] {
    if (inVertex) onVertex(point, flags, index);
  };
  while (cursor.next(g)) {
    if (g.code == 0) {
      flush();
      inVertex = trimBlanks(g.value) == "VERTEX";
      point = Vec3{};
      flags = 0;
      index[0] = index[1] = index[2] = index[3] = 0;
      continue;
    }
    if (!inVertex) continue;
    switch (g.code) {
    case 10: point.x = real(g); break;
    case 20: point.y = real(g); break;
    case 30: point.z = real(g); break;
    case 70: flags = integer(g); break;
    case 71: case 72: case 73: case 74: index[g.code - 71] = integer(g); break;
    default: break;
    }
  }
  flush();
  (void)all;
}

// Reads the POLYLINE's own groups up to its first VERTEX with ONGROUP; the
// cursor is left at that VERTEX.
template <typename OnGroup>
DxfGroupCursor readHeader(std::string_view all, OnGroup onGroup) {
  DxfGroupCursor cursor(all);
  DxfGroupView g;
  bool first = true;
  while (true) {
    size_t before = cursor.position();
    if (!cursor.next(g)) break;
    if (g.code == 0 && !first) {
      return DxfGroupCursor(all.substr(before));
    }
    first = false;
    onGroup(g);
  }
  return DxfGroupCursor(std::string_view{});
}

} // namespace

PolyfaceGeometry readPolyfaceGeometry(std::string_view all) {
  PolyfaceGeometry mesh;
  DxfGroupCursor vertices = readHeader(all, [](const DxfGroupView&) {});
  forEachVertex(
      all,
      [&mesh](const Vec3& p, int flags, const int* index) {
        if ((flags & 128) && (flags & 64)) {
          mesh.vertices.push_back(p);
        } else if (flags & 128) {
          PolyfaceGeometry::FaceRecord face;
          for (int i = 0; i < 4; ++i) face.index[i] = index[i];
          mesh.faces.push_back(face);
        }
      },
      vertices);
  return mesh;
}

PolygonMeshGeometry readPolygonMeshGeometry(std::string_view all) {
  PolygonMeshGeometry mesh;
  int flags = 0;
  DxfGroupCursor vertices = readHeader(all, [&](const DxfGroupView& g) {
    switch (g.code) {
    case 70: flags = integer(g); break;
    case 71: mesh.m = integer(g); break;
    case 72: mesh.n = integer(g); break;
    case 73: mesh.surfaceM = integer(g); break;
    case 74: mesh.surfaceN = integer(g); break;
    case 75: mesh.surfaceType = integer(g); break;
    default: break;
    }
  });
  mesh.closedM = (flags & 1) != 0;
  mesh.closedN = (flags & 32) != 0;
  mesh.smoothed = (flags & 4) != 0;
  forEachVertex(
      all,
      [&mesh](const Vec3& p, int vertexFlags, const int*) {
        if (!mesh.smoothed)
          mesh.vertices.push_back(p);
        else if (vertexFlags & 16)
          mesh.vertices.push_back(p);
        else if (vertexFlags & 8)
          mesh.surfaceVertices.push_back(p);
      },
      vertices);
  return mesh;
}

void readSolidModelText(std::string_view own, SolidModelData& data) {
  DxfGroupCursor cursor(own);
  DxfGroupView g;
  bool first = true;
  while (cursor.next(g)) {
    if (first) {
      first = false;
      continue; // the 0 group
    }
    if (g.code == 1 || g.code == 3) {
      data.textGroups.emplace_back(g.value);
      data.textGroupCodes.push_back(g.code);
    } else if (g.code == 70) {
      data.modelerVersion = integer(g);
    } else if (g.code >= 1000) {
      break; // extended data
    }
  }
}

bool readAcdsBinary(std::string_view record, std::vector<uint8_t>& out) {
  out.clear();
  DxfGroupCursor cursor(record);
  DxfGroupView g;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
  };
  while (cursor.next(g)) {
    if (g.code != 310) continue;
    std::string_view hex = trimBlanks(g.value);
    if (hex.size() % 2 != 0) {
      out.clear();
      return false;
    }
    for (size_t i = 0; i < hex.size(); i += 2) {
      int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
      if (hi < 0 || lo < 0) {
        out.clear();
        return false;
      }
      out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
  }
  return true;
}

} // namespace corvane
