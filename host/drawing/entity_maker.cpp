#include "drawing/entity_maker.h"

#include <algorithm>

#include "drawing/drawing.h"
#include "runtime/text.h"

namespace corvane {
namespace {

// Where a type's groups go: after its subclass marker (R13 and later), in
// this order; a second marker and its groups for types that have one.
struct TypeLayout {
  std::string_view type;
  std::string_view subclass;
  std::vector<int> codes;
  std::vector<int> required;
  std::string_view subclass2 = {};
  std::vector<int> codes2 = {};
};

const std::vector<TypeLayout>& layouts() {
  static const std::vector<TypeLayout> kLayouts = {
      {"3DFACE", "AcDbFace", {10, 11, 12, 13, 70}, {10, 11, 12}},
      {"SOLID", "AcDbTrace", {10, 11, 12, 13, 39, 210}, {10, 11, 12}},
      {"TRACE", "AcDbTrace", {10, 11, 12, 13, 39, 210}, {10, 11, 12}},
      {"LINE", "AcDbLine", {39, 10, 11, 210}, {10, 11}},
      {"POINT", "AcDbPoint", {10, 39, 210, 50}, {10}},
      {"CIRCLE", "AcDbCircle", {39, 10, 40, 210}, {10, 40}},
      {"ARC", "AcDbCircle", {39, 10, 40, 210}, {10, 40, 50, 51}, "AcDbArc", {50, 51}},
      {"TEXT", "AcDbText", {39, 10, 40, 1, 50, 41, 51, 7, 71, 72, 11, 210}, {10, 40, 1}, "AcDbText", {73}},
      {"INSERT", "AcDbBlockReference", {66, 2, 10, 41, 42, 43, 50, 70, 71, 44, 45, 210}, {2, 10}},
      {"POLYLINE", "", {66, 10, 39, 70, 40, 41, 71, 72, 73, 74, 75, 210}, {}},
      {"VERTEX", "", {10, 40, 41, 42, 70, 50, 71, 72, 73, 74}, {}},
      {"SEQEND", "", {}, {}},
  };
  return kLayouts;
}

// The groups every entity may carry, after the AcDbEntity marker.
const int kEntityCodes[] = {8, 6, 62, 370, 48, 60, 420, 430, 440, 347, 284, 390};

bool isPointCode(int code) { return (code >= 10 && code <= 18) || code == 210; }

NewGroup::Kind kindOf(int code) {
  if (isPointCode(code)) return NewGroup::kPoint;
  const DxfValueKind k = dxfValueKind(code);
  return k == DxfValueKind::kReal ? NewGroup::kReal : k == DxfValueKind::kInt ? NewGroup::kInteger : NewGroup::kText;
}

// The subclass markers of a POLYLINE and of its VERTEX records, by the
// polyline's flags (and, for a polyface mesh, the vertex's own).
std::string_view polylineMarker(int flags) {
  if (flags & 64) return "AcDbPolyFaceMesh";
  if (flags & 16) return "AcDbPolygonMesh";
  if (flags & 8) return "AcDb3dPolyline";
  return "AcDb2dPolyline";
}

std::string_view vertexMarker(int polylineFlags, int vertexFlags) {
  if (polylineFlags & 64) return (vertexFlags & 64) ? "AcDbPolyFaceMeshVertex" : "";
  if (polylineFlags & 16) return "AcDbPolygonMeshVertex";
  if (polylineFlags & 8) return "AcDb3dPolylineVertex";
  return "AcDb2dVertex";
}

bool blockDefined(const Drawing& d, std::string_view name) {
  for (size_t i = 0; i < d.records().count(); ++i) {
    const AcDbObjectRecord* r = d.records().at(i);
    if (r->role != RecordRole::kBlockMarker || d.typeName(*r) != "BLOCK") continue;
    for (const DxfGroupView& g : d.groups(*r))
      if (g.code == 2 && equalsIgnoreCase(trimBlanks(g.text()), name)) return true;
  }
  return false;
}

class Writer {
public:
  Writer(const Drawing& d, const std::vector<NewGroup>& groups) : d_(d), style_(d.file().style()), groups_(groups) {}

  const NewGroup* find(int code) const {
    for (const NewGroup& g : groups_)
      if (g.code == code) return &g;
    return nullptr;
  }
  void write(std::string& out, const NewGroup& g) const {
    switch (g.kind) {
    case NewGroup::kText: out += style_.group(g.code, g.text); break;
    case NewGroup::kInteger: out += style_.intGroup(g.code, g.integer); break;
    case NewGroup::kReal: out += style_.realGroup(g.code, g.real); break;
    case NewGroup::kPoint:
      out += style_.realGroup(g.code, g.point.x);
      out += style_.realGroup(g.code + 10, g.point.y);
      out += style_.realGroup(g.code + 20, g.point.z);
      break;
    }
  }
  void writeCodes(std::string& out, const std::vector<int>& codes) const {
    for (int c : codes)
      if (const NewGroup* g = find(c)) write(out, *g);
  }
  // The 0 group, handle, owner, the entity's common groups (layer "0" when
  // none is given).
  void head(std::string& out, std::string_view type, uint64_t handle, std::string_view owner) const {
    out += style_.group(0, type);
    if (d_.handlesOn()) out += style_.group(5, formatHandle(handle));
    if (d_.hasSubclassMarkers()) {
      out += style_.group(330, owner);
      out += style_.group(100, "AcDbEntity");
    }
    if (!find(8)) out += style_.group(8, "0");
    for (int c : kEntityCodes)
      if (const NewGroup* g = find(c)) write(out, *g);
  }
  void marker(std::string& out, std::string_view subclass) const {
    if (d_.hasSubclassMarkers() && !subclass.empty()) out += style_.group(100, subclass);
  }

private:
  const Drawing& d_;
  const DxfStyle& style_;
  const std::vector<NewGroup>& groups_;
};

} // namespace

EntityMaker::Result EntityMaker::make(Drawing& d, const std::vector<NewGroup>& given) {
  Result result;
  auto refuse = [&](std::string reason) {
    pending_.clear();
    pendingDrawing_ = nullptr;
    result.reason = std::move(reason);
    return result;
  };
  if (given.empty() || given.front().code != 0 || given.front().kind != NewGroup::kText)
    return refuse("the list does not start with the object's type (0 . \"TYPE\")");
  const std::string type = asciiUpper(trimBlanks(given.front().text));
  const TypeLayout* layout = nullptr;
  for (const TypeLayout& l : layouts())
    if (l.type == type) layout = &l;
  if (layout == nullptr) return refuse("objects of type " + type + " can't be made");
  if (pendingDrawing_ != &d) pending_.clear();
  const bool sub = type == "VERTEX" || type == "SEQEND";
  if (sub && pending_.empty()) return refuse(type + " without a POLYLINE before it");
  if (!sub && !pending_.empty()) return refuse(type + " before the open POLYLINE's SEQEND");

  // Every group must be one the type has, of the kind its code carries.
  std::vector<NewGroup> groups;
  for (size_t i = 1; i < given.size(); ++i) {
    const NewGroup& g = given[i];
    if (g.code == -1 || g.code == -2 || g.code == 5 || g.code == 100 || g.code == 330 || g.code == 410) continue;
    if (g.code == 67) {
      if (g.integer != 0) return refuse("objects can only be made in model space");
      continue;
    }
    const bool known = std::find(layout->codes.begin(), layout->codes.end(), g.code) != layout->codes.end() ||
                       std::find(layout->codes2.begin(), layout->codes2.end(), g.code) != layout->codes2.end() ||
                       std::find(std::begin(kEntityCodes), std::end(kEntityCodes), g.code) != std::end(kEntityCodes);
    if (!known) return refuse("a " + type + " has no group " + std::to_string(g.code));
    if (g.kind != kindOf(g.code) && !(g.kind == NewGroup::kInteger && kindOf(g.code) == NewGroup::kReal))
      return refuse("group " + std::to_string(g.code) + " has a value of the wrong kind");
    if (g.kind == NewGroup::kText && g.text.find_first_of("\r\n") != std::string::npos)
      return refuse("group " + std::to_string(g.code) + " holds a line end");
    NewGroup copy = g;
    if (copy.kind == NewGroup::kInteger && kindOf(g.code) == NewGroup::kReal) {
      copy.kind = NewGroup::kReal;
      copy.real = static_cast<double>(g.integer);
    }
    groups.erase(std::remove_if(groups.begin(), groups.end(), [&](const NewGroup& o) { return o.code == g.code; }),
                 groups.end());
    groups.push_back(copy);
  }
  for (int code : layout->required)
    if (std::none_of(groups.begin(), groups.end(), [code](const NewGroup& g) { return g.code == code; }))
      return refuse("a " + type + " needs group " + std::to_string(code));
  Writer w(d, groups);
  if (const NewGroup* layer = w.find(8)) {
    if (trimBlanks(layer->text) != "0" && d.findLayer(trimBlanks(layer->text)) == nullptr)
      return refuse("layer " + layer->text + " does not exist");
  }
  if (type == "INSERT" && !blockDefined(d, trimBlanks(w.find(2)->text)))
    return refuse("block " + w.find(2)->text + " is not defined");

  // A face or solid given three corners repeats the third.
  if ((type == "3DFACE" || type == "SOLID" || type == "TRACE") && !w.find(13)) {
    NewGroup fourth = *w.find(12);
    fourth.code = 13;
    groups.push_back(fourth);
  }
  const uint64_t handle = d.takeHandle();
  std::string text;
  if (type == "POLYLINE") {
    const NewGroup* flags = w.find(70);
    pendingFlags_ = flags ? static_cast<int>(flags->integer) : 0;
    w.head(text, type, handle, d.modelSpaceOwner());
    w.marker(text, polylineMarker(pendingFlags_));
    text += d.file().style().intGroup(66, 1);
    if (!w.find(10)) text += d.file().style().realGroup(10, 0) + d.file().style().realGroup(20, 0) + d.file().style().realGroup(30, 0);
    std::vector<int> codes = layout->codes;
    codes.erase(codes.begin()); // 66 is written above
    w.writeCodes(text, codes);
    pending_ = std::move(text);
    pendingHandle_ = handle;
    pendingDrawing_ = &d;
    result.status = kPending;
    return result;
  }
  if (sub) {
    w.head(text, type, handle, formatHandle(pendingHandle_));
    if (type == "VERTEX") {
      const NewGroup* flags = w.find(70);
      const int vertexFlags = flags ? static_cast<int>(flags->integer) : 0;
      const bool faceRecord = (pendingFlags_ & 64) && !(vertexFlags & 64);
      w.marker(text, faceRecord ? "AcDbFaceRecord" : "AcDbVertex");
      w.marker(text, vertexMarker(pendingFlags_, vertexFlags));
      if (!w.find(10)) text += d.file().style().realGroup(10, 0) + d.file().style().realGroup(20, 0) + d.file().style().realGroup(30, 0);
      w.writeCodes(text, layout->codes);
      pending_ += text;
      result.status = kPending;
      return result;
    }
    pending_ += text;
    result.record = d.addEntity(pending_, pendingHandle_, nullptr);
    pending_.clear();
    pendingDrawing_ = nullptr;
    result.status = result.record ? kAdded : kRefused;
    return result;
  }
  w.head(text, type, handle, d.modelSpaceOwner());
  w.marker(text, layout->subclass);
  w.writeCodes(text, layout->codes);
  w.marker(text, layout->subclass2);
  w.writeCodes(text, layout->codes2);
  result.record = d.addEntity(text, handle, nullptr);
  result.status = result.record ? kAdded : kRefused;
  return result;
}

} // namespace corvane
