#include "explode/placement.h"

#include <algorithm>
#include <cmath>

#include "drawing/drawing.h"
#include "drawing/record_geometry.h"
#include "dxf/entity_views.h"
#include "explode/kind_edits.h"
#include "faces/face_builder.h"
#include "geometry/vec_math.h"
#include "solids/dxf_model_text.h"
#include "solids/model_transform.h"

namespace corvane {
namespace {

// The ACDSDATA record of a copy: the source's, naming HANDLE and holding BYTES.
std::string solidRecordFor(const CopyWriter& w, std::string_view source, uint64_t handle,
                           const std::vector<uint8_t>& bytes) {
  std::string out;
  DxfGroupCursor cursor(source, w.style().encoding);
  DxfGroupView g;
  bool written = false;
  size_t chunk = 127;
  std::string bytesOfChunk;
  while (cursor.next(g)) {
    if (g.code == 320) {
      w.group(out, 320, formatHandle(handle));
    } else if (g.code == 94) {
      w.integer(out, 94, static_cast<long long>(bytes.size()));
    } else if (g.code == 310) {
      if (written) continue;
      written = true;
      // The copy's chunks are as long as the source's first.
      if (g.bytes(bytesOfChunk) && !bytesOfChunk.empty()) chunk = bytesOfChunk.size();
      for (size_t at = 0; at < bytes.size(); at += chunk) {
        const size_t n = std::min(chunk, bytes.size() - at);
        w.group(out, 310, encodeDxfHex({reinterpret_cast<const char*>(bytes.data()) + at, n}));
      }
    } else {
      out.append(source.substr(g.begin, g.end - g.begin));
    }
  }
  return out;
}

} // namespace

Placer::Placer(Drawing& drawing, std::string owner) : writer_(drawing, std::move(owner)) {}

SourceEntity& Placer::source(const AcDbObjectRecord& record) {
  auto& slot = sources_[&record];
  if (!slot) slot = readSourceEntity(writer_.drawing(), record);
  return *slot;
}

bool Placer::place(const AcDbObjectRecord& record, const Affine& a, const Appearance& app,
                   std::vector<PlacedObject>& out, std::string& why) {
  SourceEntity& s = source(record);
  const Drawing& d = writer_.drawing();
  const std::string_view type = s.type;
  auto copy = [&](GroupEdit& edit) {
    PlacedObject placed;
    placed.handle = writer_.drawing().takeHandle();
    copyRecord(writer_, s, 0, s.ownCount, placed.handle, writer_.owner(), app, edit, placed.text);
    out.push_back(std::move(placed));
  };
  auto cannot = [&](const char* reason) {
    why = reason;
    return false;
  };
  const Vec3 extrusion = pointOf(s, 210, {0, 0, 1});

  if (type == "3DFACE") {
    if (!s.face) s.face = faceGeometry(d, record);
    FaceEdit edit(writer_, a, s.face.value_or(FaceGeometry{}));
    copy(edit);
    return true;
  }
  if (type == "SOLID" || type == "TRACE") {
    auto pm = planeMap(a, extrusion);
    SolidGeometry g = solidGeometry(d, record).value_or(SolidGeometry{});
    if (type == "TRACE") g = readSolidGeometry(d.records().ownText(record), d.file().encoding());
    if (!pm || (g.thickness != 0 && !pm->keepsThickness)) {
      if (type == "TRACE") return cannot("can't be sheared");
      placeFaces(s, a, app, out);
      return true;
    }
    SolidEdit edit(writer_, *pm, g);
    edit.prepare(s);
    copy(edit);
    return true;
  }
  if (type == "LINE" || type == "POINT") {
    WorldEdit edit(writer_, a, {10, 11}, type == "LINE" ? 11 : 10);
    edit.prepare(s);
    copy(edit);
    return true;
  }
  if (type == "SPLINE") {
    SplineEdit edit(writer_, a);
    edit.prepare(s);
    copy(edit);
    return true;
  }
  if (type == "CIRCLE" || type == "ARC" || type == "TEXT" || type == "ATTDEF" || type == "LWPOLYLINE") {
    auto pm = planeMap(a, extrusion);
    if (!pm) return cannot("can't be flattened");
    if (realOf(s, 39) != 0 && !pm->keepsThickness) return cannot("has a thickness that can't be sheared");
    bool curved = type != "LWPOLYLINE";
    if (!curved)
      for (size_t i = 1; i < s.ownCount && !curved; ++i) {
        int c = s.groups[i].code;
        curved = (c == 40 || c == 41 || c == 42 || c == 43) && s.groups[i].real() != 0;
      }
    if (curved && !pm->inPlaneScale) return cannot("can't be scaled unevenly");
    if (type == "LWPOLYLINE") {
      LwPolylineEdit edit(writer_, *pm, s);
      copy(edit);
    } else if (type == "CIRCLE" || type == "ARC") {
      ArcEdit edit(writer_, *pm, realOf(s, 50), realOf(s, 51));
      edit.prepare(s);
      copy(edit);
    } else {
      TextEdit edit(writer_, *pm, s);
      copy(edit);
    }
    return true;
  }
  if (type == "ELLIPSE" || type == "MTEXT") {
    auto scale = similarityScale(a);
    if (!scale) return cannot("can't be scaled unevenly");
    if (type == "ELLIPSE") {
      EllipseEdit edit(writer_, a, s);
      copy(edit);
      return true;
    }
    if (a.mirrors()) return cannot("can't be mirrored");
    if (!s.has(11) && realOf(s, 50) != 0) return cannot("has a rotation but no direction");
    MTextEdit edit(writer_, a, *scale, s);
    copy(edit);
    return true;
  }
  if (type == "MESH") {
    MeshEdit edit(writer_, a);
    copy(edit);
    return true;
  }
  if (type == "POLYLINE") return placePolyline(s, a, app, out, why);
  if (type == "3DSOLID" || type == "BODY" || type == "REGION") {
    if (!placeSolidModel(s, a, app, out)) placeFaces(s, a, app, out);
    return true;
  }
  if (type == "INSERT") {
    if (!placeReference(record, a, app, out)) return cannot("can't be placed as one reference");
    return true;
  }
  return cannot("is of a kind EXPLODE can't place");
}

bool Placer::placePolyline(const SourceEntity& s, const Affine& a, const Appearance& app,
                           std::vector<PlacedObject>& out, std::string& why) {
  const int flags = static_cast<int>(s.find(70) ? s.find(70)->integer() : 0);
  const bool polyface = (flags & 64) != 0, mesh = !polyface && (flags & 16) != 0;
  const bool world = polyface || mesh || (flags & 8) != 0;
  PlacedObject placed;
  placed.handle = writer_.drawing().takeHandle();
  const std::string owner = formatHandle(placed.handle);
  auto vertexFlags = [&](size_t first, size_t last) {
    for (size_t i = first + 1; i < last; ++i)
      if (s.groups[i].code == 70) return static_cast<int>(s.groups[i].integer());
    return 0;
  };
  std::vector<std::string> records; // the VERTEX and SEQEND records, in order
  if (world) {
    NoEdit own;
    copyRecord(writer_, s, 0, s.ownCount, placed.handle, writer_.owner(), app, own, placed.text);
    PolyfaceVertexEdit edit(writer_, a);
    for (const auto& [first, last] : s.subRecords) {
      const int vf = vertexFlags(first, last);
      edit.setFaceRecord(s, first, last, polyface && (vf & 128) && !(vf & 64));
      records.emplace_back();
      copyRecord(writer_, s, first, last, writer_.drawing().takeHandle(), owner, app, edit, records.back());
    }
    if (mesh && a.mirrors()) {
      // A mirrored grid faces the other way unless each row runs backwards:
      // vertices of each kind (control, surface, plain) reversed within
      // their rows.
      const auto* n = s.find(72);
      const auto* sn = s.find(74);
      const bool smoothed = (flags & 4) != 0;
      std::vector<size_t> kinds[3];
      for (size_t k = 0; k < s.subRecords.size(); ++k) {
        if (trimBlanks(s.groups[s.subRecords[k].first].text()) != "VERTEX") continue;
        const int vf = vertexFlags(s.subRecords[k].first, s.subRecords[k].second);
        kinds[!smoothed ? 0 : (vf & 16) ? 1 : (vf & 8) ? 2 : 0].push_back(k);
      }
      const long long widths[3] = {n ? n->integer() : 0, n ? n->integer() : 0, sn ? sn->integer() : 0};
      std::vector<std::string> reordered = records;
      for (int kind = 0; kind < 3; ++kind) {
        const std::vector<size_t>& slots = kinds[kind];
        const long long w = widths[kind];
        if (slots.empty()) continue;
        if (w <= 0 || slots.size() % static_cast<size_t>(w) != 0) {
          placeFaces(s, a, app, out);
          return true;
        }
        for (size_t k = 0; k < slots.size(); ++k) {
          size_t row = k / static_cast<size_t>(w), col = k % static_cast<size_t>(w);
          reordered[slots[k]] = records[slots[row * static_cast<size_t>(w) + static_cast<size_t>(w) - 1 - col]];
        }
      }
      records = std::move(reordered);
    }
  } else {
    // A 2D polyline lies in its object coordinate system at the elevation
    // its own point gives.
    const Vec3 extrusion = pointOf(s, 210, {0, 0, 1});
    auto pm = planeMap(a, extrusion);
    if (!pm) {
      why = "can't be flattened";
      return false;
    }
    bool curved = false;
    for (size_t i = 1; i < s.groups.size() && !curved; ++i) {
      int c = s.groups[i].code;
      curved = (c == 40 || c == 41 || c == 42 || c == 50) && s.groups[i].real() != 0;
    }
    if ((curved && !pm->inPlaneScale) || (realOf(s, 39) != 0 && !pm->keepsThickness)) {
      why = "can't be scaled unevenly";
      return false;
    }
    const double elevation = pointOf(s, 10, {}).z;
    Polyline2dEdit own(writer_, *pm, elevation);
    own.prepare(s);
    copyRecord(writer_, s, 0, s.ownCount, placed.handle, writer_.owner(), app, own, placed.text);
    Vertex2dEdit edit(writer_, *pm, elevation);
    for (const auto& [first, last] : s.subRecords) {
      records.emplace_back();
      copyRecord(writer_, s, first, last, writer_.drawing().takeHandle(), owner, app, edit, records.back());
    }
  }
  for (const std::string& r : records) placed.text += r;
  out.push_back(std::move(placed));
  return true;
}

bool Placer::placeReference(const AcDbObjectRecord& reference, const Affine& a, const Appearance& app,
                            std::vector<PlacedObject>& out) {
  const SourceEntity& s = source(reference);
  InsertPlacement inner;
  inner.insertion = pointOf(s, 10, {});
  inner.scale = {realOf(s, 41, 1), realOf(s, 42, 1), realOf(s, 43, 1)};
  inner.rotation = realOf(s, 50) / kDegrees;
  inner.extrusion = pointOf(s, 210, {0, 0, 1});
  // The base point cancels out: any will do for the composition.
  auto p = insertPlacementOf(a * insertTransform(inner, {}), {});
  if (!p) return false;
  // Grid spacing follows the image of the grid's directions.
  const Affine innerFrame = objectToWorld(inner.extrusion) * rotationZ(inner.rotation);
  const Affine outerFrame = objectToWorld(p->extrusion) * rotationZ(p->rotation);
  const double columns = realOf(s, 44) *
                         dot(a.applyLinear(innerFrame.applyLinear({1, 0, 0})), outerFrame.applyLinear({1, 0, 0}));
  const double rows = realOf(s, 45) *
                      dot(a.applyLinear(innerFrame.applyLinear({0, 1, 0})), outerFrame.applyLinear({0, 1, 0}));
  PlacedObject placed;
  placed.handle = writer_.drawing().takeHandle();
  InsertEdit edit(writer_, *p, columns, rows, s.has(210));
  copyRecord(writer_, s, 0, s.ownCount, placed.handle, writer_.owner(), app, edit, placed.text);
  const std::string owner = formatHandle(placed.handle);
  for (const auto& [first, last] : s.subRecords) {
    std::string record;
    if (trimBlanks(s.groups[first].text()) == "ATTRIB") {
      Vec3 extrusion{0, 0, 1};
      for (size_t i = first + 1; i < last; ++i)
        if (s.groups[i].code == 210) extrusion = readPoint(s, i);
      auto pm = planeMap(a, extrusion);
      if (!pm || !pm->inPlaneScale) return false;
      // TextEdit reads the attribute's own groups.
      SourceEntity attrib;
      attrib.groups.assign(s.groups.begin() + static_cast<std::ptrdiff_t>(first),
                           s.groups.begin() + static_cast<std::ptrdiff_t>(last));
      attrib.ownCount = attrib.groups.size();
      attrib.text = s.text;
      TextEdit text(writer_, *pm, attrib);
      copyRecord(writer_, s, first, last, writer_.drawing().takeHandle(), owner, app, text, record);
    } else {
      NoEdit none;
      copyRecord(writer_, s, first, last, writer_.drawing().takeHandle(), owner, app, none, record);
    }
    placed.text += record;
  }
  out.push_back(std::move(placed));
  return true;
}

void Placer::placeMeshAsPolyfaces(const AcDbObjectRecord& record, const Affine& a, const Appearance& app,
                                  std::vector<PlacedObject>& out) {
  const SourceEntity& s = source(record);
  MeshGeometry mesh = readMeshGeometry(s);
  for (Vec3& v : mesh.vertices) v = a.apply(v);
  std::vector<BlockFace> faces;
  for (std::vector<int>& f : mesh.faces) {
    if (a.mirrors()) std::reverse(f.begin() + 1, f.end());
    splitFace(f, mesh.vertices, faces);
  }
  const Drawing& d = writer_.drawing();
  writePolyfaces(writer_, placedLayer(d.layerName(record), app), placedColor(d.colorIndex(record), app), s.xdata(),
                 mesh.vertices, faces, out);
}

void Placer::placeFaces(const SourceEntity& s, const Affine& a, const Appearance& app, std::vector<PlacedObject>& out) {
  const Drawing& d = writer_.drawing();
  std::string note;
  EntityFaces faces = buildFaces(d, *s.record, chordTolerance(), note);
  if (!faces.block) return;
  // Face blocks hold world coordinates (the transform beside them only
  // tells the object's frame).
  FaceBlock& block = *faces.block;
  for (Vec3& v : block.vertices) v = a.apply(v);
  if (a.mirrors())
    for (BlockFace& f : block.faces) {
      std::reverse(f.corners.begin() + 1, f.corners.begin() + f.cornerCount);
      int bits = 0;
      for (int k = 0; k < f.cornerCount; ++k) {
        // The reversed face's edge from corner k is the old edge that ended there.
        int old = k == 0 ? f.cornerCount - 1 : f.cornerCount - 1 - k;
        if ((f.invisibleEdges >> old) & 1) bits |= 1 << k;
      }
      f.invisibleEdges = bits;
    }
  writePolyfaces(writer_, placedLayer(d.layerName(*s.record), app), placedColor(d.colorIndex(*s.record), app),
                 s.xdata(), block.vertices, block.faces, out);
}

bool Placer::placeSolidModel(const SourceEntity& s, const Affine& a, const Appearance& app,
                             std::vector<PlacedObject>& out) {
  auto scale = similarityScale(a);
  if (!scale) return false;
  solids::ModelMap map;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) map.q[i][j] = a.m[i][j] / *scale;
  map.scale = *scale;
  map.translation = a.t;
  const Drawing& d = writer_.drawing();
  SolidModelData data = solidModelData(d, *s.record).value_or(SolidModelData{});
  PlacedObject placed;
  std::string reason;
  if (!data.binary.empty()) {
    if (!solids::transformModelBinary(data.binary, map, reason)) return false;
    placed.handle = writer_.drawing().takeHandle();
    placed.solidRecord = solidRecordFor(writer_, d.records().solidModelRecord(*s.record), placed.handle, data.binary);
    NoEdit none;
    copyRecord(writer_, s, 0, s.ownCount, placed.handle, writer_.owner(), app, none, placed.text);
  } else {
    std::string text;
    std::vector<std::pair<int, std::string>> groups;
    if (data.textGroups.empty() || !solids::decodeModelText(data, text, reason) ||
        !solids::transformModelText(text, map, reason) || !solids::encodeModelText(text, groups))
      return false;
    placed.handle = writer_.drawing().takeHandle();
    ModelTextEdit edit(writer_, groups);
    copyRecord(writer_, s, 0, s.ownCount, placed.handle, writer_.owner(), app, edit, placed.text);
  }
  out.push_back(std::move(placed));
  return true;
}

} // namespace corvane
