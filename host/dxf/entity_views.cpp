#include "dxf/entity_views.h"

#include "dxf/dxf_cursor.h"
#include "dxf/dxf_values.h"

namespace corvane {

namespace {

int integer(const DxfGroupView& g) {
  long long v = g.integer();
  return v < -2147483647 ? -2147483647 : v > 2147483647 ? 2147483647 : static_cast<int>(v);
}

// Sets a coordinate of POINTS[n] for codes BASE+n (x), BASE+10+n (y) and
// BASE+20+n (z), n < COUNT. True when the group was one of them.
bool setCorner(const DxfGroupView& g, int base, Vec3* points, int count, bool* seen) {
  int offset = g.code - base;
  if (offset < 0 || offset >= 30) return false;
  int n = offset % 10, axis = offset / 10;
  if (n >= count) return false;
  double v = g.real();
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

FaceGeometry readFaceGeometry(std::string_view own, DxfEncoding encoding) {
  FaceGeometry face;
  bool seen[4] = {false, false, false, false};
  DxfGroupCursor cursor(own, encoding);
  DxfGroupView g;
  while (cursor.next(g)) {
    if (setCorner(g, 10, face.corners, 4, seen)) continue;
    if (g.code == 70) face.invisibleEdges = integer(g);
  }
  if (!seen[3]) face.corners[3] = face.corners[2];
  return face;
}

SolidGeometry readSolidGeometry(std::string_view own, DxfEncoding encoding) {
  SolidGeometry solid;
  bool seen[4] = {false, false, false, false};
  DxfGroupCursor cursor(own, encoding);
  DxfGroupView g;
  while (cursor.next(g)) {
    if (setCorner(g, 10, solid.corners, 4, seen)) continue;
    switch (g.code) {
    case 39: solid.thickness = g.real(); break;
    case 38: solid.elevation = g.real(); break;
    case 210: solid.extrusion.x = g.real(); break;
    case 220: solid.extrusion.y = g.real(); break;
    case 230: solid.extrusion.z = g.real(); break;
    default: break;
    }
  }
  if (!seen[3]) solid.corners[3] = solid.corners[2];
  return solid;
}

namespace {

// The offset of the first 0 group after the first in ALL (a POLYLINE's first
// VERTEX), handing the groups before it to ONGROUP; ALL's size when there
// is none.
template <typename OnGroup> size_t readHeader(std::string_view all, DxfEncoding encoding, OnGroup onGroup) {
  DxfGroupCursor cursor(all, encoding);
  DxfGroupView g;
  bool first = true;
  while (true) {
    const size_t before = cursor.position();
    if (!cursor.next(g)) break;
    if (g.code == 0 && !first) return before;
    first = false;
    onGroup(g);
  }
  return all.size();
}

} // namespace

VertexRecordReader::VertexRecordReader(std::string_view all, DxfEncoding encoding)
    : cursor_(std::string_view{}, encoding) {
  offset_ = readHeader(all, encoding, [](const DxfGroupView&) {});
  cursor_ = DxfGroupCursor(all.substr(offset_), encoding);
}

bool VertexRecordReader::next(VertexRecord& vertex) {
  DxfGroupView g;
  while (cursor_.next(g)) {
    if (g.code == 0) {
      // A 0 group ends the record before it and starts the next.
      const bool ended = inVertex_;
      if (ended) vertex = current_;
      inVertex_ = trimBlanks(g.text()) == "VERTEX";
      current_ = VertexRecord{};
      if (ended) return true;
      continue;
    }
    if (!inVertex_) continue;
    switch (g.code) {
    case 10: current_.point.x = g.real(); break;
    case 20: current_.point.y = g.real(); break;
    case 30: current_.point.z = g.real(); break;
    case 70: current_.flags = integer(g); break;
    case 71: case 72: case 73: case 74: current_.index[g.code - 71] = integer(g); break;
    default: break;
    }
  }
  if (!inVertex_) return false;
  inVertex_ = false;
  vertex = current_;
  return true;
}

PolyfaceGeometry readPolyfaceGeometry(std::string_view all, DxfEncoding encoding) {
  PolyfaceGeometry mesh;
  VertexRecordReader reader(all, encoding);
  VertexRecord v;
  while (reader.next(v)) {
    if ((v.flags & 128) && (v.flags & 64)) {
      mesh.vertices.push_back(v.point);
    } else if (v.flags & 128) {
      PolyfaceGeometry::FaceRecord face;
      for (int i = 0; i < 4; ++i) face.index[i] = v.index[i];
      mesh.faces.push_back(face);
    }
  }
  return mesh;
}

PolygonMeshGeometry readPolygonMeshHeader(std::string_view all, DxfEncoding encoding) {
  PolygonMeshGeometry mesh;
  int flags = 0;
  readHeader(all, encoding, [&](const DxfGroupView& g) {
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
  return mesh;
}

PolygonMeshGeometry readPolygonMeshGeometry(std::string_view all, DxfEncoding encoding) {
  PolygonMeshGeometry mesh = readPolygonMeshHeader(all, encoding);
  VertexRecordReader reader(all, encoding);
  VertexRecord v;
  while (reader.next(v)) {
    if (!mesh.smoothed || (v.flags & 16))
      mesh.vertices.push_back(v.point);
    else if (v.flags & 8)
      mesh.surfaceVertices.push_back(v.point);
  }
  return mesh;
}

void readSolidModelText(std::string_view own, DxfEncoding encoding, SolidModelData& data) {
  DxfGroupCursor cursor(own, encoding);
  DxfGroupView g;
  bool first = true;
  while (cursor.next(g)) {
    if (first) {
      first = false;
      continue; // the 0 group
    }
    if (g.code == 1 || g.code == 3) {
      data.textGroups.emplace_back(g.text());
      data.textGroupCodes.push_back(g.code);
    } else if (g.code == 70) {
      data.modelerVersion = integer(g);
    } else if (g.code >= 1000) {
      break; // extended data
    }
  }
}

bool readAcdsBinary(std::string_view record, DxfEncoding encoding, std::vector<uint8_t>& out) {
  out.clear();
  DxfGroupCursor cursor(record, encoding);
  DxfGroupView g;
  std::string chunk;
  while (cursor.next(g)) {
    if (g.code != 310) continue;
    if (!g.bytes(chunk)) {
      out.clear();
      return false;
    }
    out.insert(out.end(), chunk.begin(), chunk.end());
  }
  return true;
}

namespace {

class GridVertexReader : public MeshVertexReader {
public:
  GridVertexReader(std::string_view all, DxfEncoding encoding, GridVertices kind, size_t count,
                   std::function<void(std::string_view)> done)
      : all_(all), encoding_(encoding), records_(all, encoding), kind_(kind), count_(count), left_(count),
        done_(std::move(done)) {}

  size_t read(Vec3* out, size_t max) override {
    size_t n = 0;
    VertexRecord v;
    while (n < max && left_ > 0 && records_.next(v)) {
      const bool control = (v.flags & 16) != 0;
      const bool surface = !control && (v.flags & 8) != 0;
      if (kind_ == GridVertices::kControl && !control) continue;
      if (kind_ == GridVertices::kSurface && !surface) continue;
      out[n++] = v.point;
      --left_;
    }
    const size_t at = records_.position();
    if (at - passed_ >= (size_t{1} << 20) || n == 0) {
      done_(all_.substr(passed_, at - passed_));
      passed_ = at;
    }
    return n;
  }

  void rewind() override {
    records_ = VertexRecordReader(all_, encoding_);
    left_ = count_;
    passed_ = 0;
  }

private:
  std::string_view all_;
  DxfEncoding encoding_;
  VertexRecordReader records_;
  GridVertices kind_;
  size_t count_, left_;
  size_t passed_ = 0;
  std::function<void(std::string_view)> done_;
};

} // namespace

std::unique_ptr<MeshVertexReader> readGridVertices(std::string_view all, DxfEncoding encoding, GridVertices kind,
                                                   size_t count, std::function<void(std::string_view)> done) {
  return std::make_unique<GridVertexReader>(all, encoding, kind, count, std::move(done));
}

} // namespace corvane
