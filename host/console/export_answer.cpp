#include "console/export_answer.h"

#include <algorithm>
#include <map>

#include "console/interrupts.h"
#include "drawing/drawing.h"
#include "drawing/entity_names.h"
#include "drawing/selection_sets.h"
#include "explode/explode.h"

namespace corvane {
namespace {

struct Noun {
  const char* type;
  const char* one;
  const char* many;
};

// The words a person uses for the kinds drawings hold most; any other kind
// is named by its DXF type ("2 WIPEOUT objects").
const Noun kNouns[] = {
    {"INSERT", "block reference", "block references"},
    {"MESH", "MESH object", "MESH objects"},
    {"LINE", "line", "lines"},
    {"TEXT", "text", "texts"},
    {"MTEXT", "multiline text", "multiline texts"},
    {"CIRCLE", "circle", "circles"},
    {"ARC", "arc", "arcs"},
    {"ELLIPSE", "ellipse", "ellipses"},
    {"LWPOLYLINE", "polyline", "polylines"},
    {"POLYLINE", "polyline", "polylines"},
    {"SPLINE", "spline", "splines"},
    {"POINT", "point", "points"},
    {"HATCH", "hatch", "hatches"},
    {"DIMENSION", "dimension", "dimensions"},
    {"LEADER", "leader", "leaders"},
    {"MULTILEADER", "multileader", "multileaders"},
    {"ATTDEF", "attribute definition", "attribute definitions"},
    {"REGION", "region", "regions"},
    {"RAY", "ray", "rays"},
    {"XLINE", "construction line", "construction lines"},
    {"VIEWPORT", "viewport", "viewports"},
    {"IMAGE", "image", "images"},
    {"SURFACE", "surface", "surfaces"},
    {"3DFACE", "3D face", "3D faces"},
    {"SOLID", "2D solid", "2D solids"},
    {"3DSOLID", "3D solid", "3D solids"},
    {"BODY", "body", "bodies"},
};

std::string counted(size_t n, const std::string& type) {
  for (const Noun& noun : kNouns)
    if (type == noun.type) return std::to_string(n) + " " + (n == 1 ? noun.one : noun.many);
  return std::to_string(n) + " " + type + (n == 1 ? " object" : " objects");
}

// "a", "a and b", "a, b and c".
std::string joined(const std::vector<std::string>& parts, const char* last) {
  std::string text;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) text += i + 1 == parts.size() ? last : ", ";
    text += parts[i];
  }
  return text;
}

// The ignored kinds as a person counts them: kinds that share a word
// (LWPOLYLINE and POLYLINE) together, the most numerous first.
std::vector<std::string> countedKinds(const std::vector<std::pair<std::string, size_t>>& kinds) {
  std::vector<std::pair<std::string, size_t>> byWord; // a representative type, the count
  for (const auto& [type, n] : kinds) {
    std::string word = counted(2, type);
    auto same = std::find_if(byWord.begin(), byWord.end(),
                             [&](const auto& seen) { return counted(2, seen.first) == word; });
    if (same == byWord.end()) byWord.emplace_back(type, n);
    else same->second += n;
  }
  std::stable_sort(byWord.begin(), byWord.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  std::vector<std::string> parts;
  for (const auto& [type, n] : byWord) parts.push_back(counted(n, type));
  return parts;
}

// The set being walked in the module call in progress.
struct Walk {
  ads_name set = {0, 0};
  long length = 0;
  // The entities read in order from position 0, as names: looked up only
  // when the walk is done and something is to be said.
  std::vector<std::pair<long, long>> entities;
  bool inOrder = false;
};

Walk& walk() {
  static auto* w = new Walk;
  return *w;
}

// The entity a module's "Select object: " picked in the call in progress.
ads_name gPicked = {0, 0};

} // namespace

size_t ExportTally::ignoredCount() const {
  size_t n = 0;
  for (const auto& kind : ignored) n += kind.second;
  return n;
}

ExportTally tallyForExport(const Drawing& drawing, std::span<AcDbObjectRecord* const> objects) {
  ExportTally tally;
  std::map<std::string, size_t, std::less<>> ignored;
  for (const AcDbObjectRecord* r : objects) {
    if (isExportable(*r)) ++tally.convertible;
    else ++ignored[std::string(drawing.typeName(*r))];
  }
  tally.ignored.assign(ignored.begin(), ignored.end());
  std::stable_sort(tally.ignored.begin(), tally.ignored.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  return tally;
}

std::string countedKindsText(const std::vector<std::pair<std::string, size_t>>& kinds) {
  return joined(countedKinds(kinds), " and ");
}

std::string nothingConvertedLine(const ExportTally& tally, BlockReferences blocks,
                                 const std::vector<std::string>& layers) {
  if (tally.convertible > 0) return {};
  if (tally.ignored.empty()) {
    if (layers.empty()) return "nothing converted: model space holds no objects";
    return std::string("nothing converted: no object is on ") + (layers.size() == 1 ? "layer " : "layers ") +
           joined(layers, " or ");
  }
  // Block references (and, where EXPLODE would take them, MESH objects)
  // come first: what to do about them differs from the other kinds.
  std::vector<std::pair<std::string, size_t>> others;
  size_t references = 0, meshes = 0;
  for (const auto& kind : tally.ignored) {
    if (kind.first == "INSERT") references = kind.second;
    else if (kind.first == "MESH" && blocks != BlockReferences::kExploded) meshes = kind.second;
    else others.push_back(kind);
  }
  std::vector<std::string> blockParts;
  if (references > 0) blockParts.push_back(counted(references, "INSERT"));
  if (meshes > 0) blockParts.push_back(counted(meshes, "MESH"));
  std::string line = "nothing converted: ";
  if (!blockParts.empty()) {
    line += joined(blockParts, " and ");
    switch (blocks) {
    case BlockReferences::kAsDrawn: line += references + meshes == 1 ? " (EXPLODE it first)" : " (EXPLODE them first)"; break;
    case BlockReferences::kKept: line += " kept by --keep-blocks"; break;
    case BlockReferences::kExploded:
      line += references == 1 ? " that shows nothing it converts or can't be placed"
                              : " that show nothing it converts or can't be placed";
      break;
    }
    if (!others.empty()) line += ", ";
  }
  if (!others.empty()) line += countedKindsText(others) + ", which the export does not convert";
  return line;
}

void noteSetWalked(const ads_name set, long position, const ads_name entity) {
  Walk& w = walk();
  if (position == 0) {
    w.set[0] = set[0];
    w.set[1] = set[1];
    w.entities.clear();
    w.inOrder = selectionSetLength(set, w.length);
  } else if (!w.inOrder || set[0] != w.set[0] || set[1] != w.set[1] ||
             position != static_cast<long>(w.entities.size())) {
    w.inOrder = false;
    return;
  }
  w.entities.emplace_back(entity[0], entity[1]);
}

void forgetSetWalk() {
  Walk& w = walk();
  w.inOrder = false;
  w.entities.clear();
  gPicked[0] = gPicked[1] = 0;
}

void notePicked(const AcDbObjectRecord& record) { makeEntityName(record, gPicked); }

std::string takeRefusedPick() {
  const AcDbObjectRecord* picked = gPicked[0] != 0 ? recordFromEntityName(gPicked) : nullptr;
  gPicked[0] = gPicked[1] = 0;
  const Drawing* drawing = drawingOwning(picked);
  if (picked == nullptr || drawing == nullptr || isExportable(*picked)) return {};
  return std::string(drawing->typeName(*picked)) + " " + drawing->handleText(*picked) +
         " is not an object the export converts; pick a 3D face, 2D solid, polyface or polygon mesh, 3D solid "
         "or body (Enter ends)";
}

std::string takeWalkAnswer() {
  Walk& w = walk();
  std::string line;
  const Drawing* drawing = currentDrawing();
  if (w.inOrder && !w.entities.empty() && static_cast<long>(w.entities.size()) == w.length && !breakRequested() &&
      drawing != nullptr) {
    std::vector<AcDbObjectRecord*> objects;
    for (const auto& [first, second] : w.entities) {
      const ads_name name = {first, second};
      if (AcDbObjectRecord* record = recordFromEntityName(name)) objects.push_back(record);
    }
    if (objects.size() == w.entities.size())
      line = nothingConvertedLine(tallyForExport(*drawing, objects), BlockReferences::kAsDrawn);
  }
  forgetSetWalk();
  return line;
}

} // namespace corvane
