#include "drawing/drawing.h"

#include <algorithm>

#include "drawing/entity_names.h"
#include "drawing/extended_data.h"
#include "drawing/object_classes.h"
#include "dwg/dwg_reader.h"
#include "dxf/dxf_values.h"
#include "runtime/background_work.h"
#include "runtime/text.h"

namespace corvane {

namespace {

Drawing* gCurrent = nullptr;

} // namespace

Drawing::Drawing(std::string path) : file_(std::move(path)) { tag_ = rememberDrawing(this); }

Drawing::~Drawing() {
  beforeHostChange();
  forgetDrawing(tag_);
  if (gCurrent == this) gCurrent = nullptr;
}

// ---- saving -------------------------------------------------------------------

std::string Drawing::savedText() const { return file_.patched(savePatches(file_, index_, newApps_, listedSerials_)); }

HostResult Drawing::save() {
  if (dwg_) {
    HostResult refused;
    refused.error = file_.path() + ": a DWG drawing is read, never written; SAVEAS NAME.dxf saves it as DXF";
    return refused;
  }
  HostResult result = file_.write(file_.path(), savePatches(file_, index_, newApps_, listedSerials_));
  if (result) {
    savedChanges_ = changes_;
    file_.holdFile(); // the saved file is a new one
  }
  return result;
}

HostResult Drawing::saveAs(const std::string& path) {
  if (dwg_ && (file_.isOwnFile(path) || dwg::isDwgName(path))) {
    HostResult refused;
    refused.error = path + ": a DWG drawing is read, never written; SAVEAS NAME.dxf saves it as DXF";
    return refused;
  }
  HostResult result = file_.write(path, savePatches(file_, index_, newApps_, listedSerials_));
  if (result) {
    beforeHostChange();
    file_.moveTo(path);
    // From now on the drawing is the DXF just written (which leaves out
    // what the DWG reader could only list, now and in later saves).
    dwg_.reset();
    savedChanges_ = changes_;
  }
  return result;
}

SaveResult Drawing::saveCopy(const std::string& path, unsigned maxMode, FileReplacer::Target target) const {
  return file_.write(path, savePatches(file_, index_, newApps_, listedSerials_), file_.mode() & maxMode, target);
}

// ---- properties of a record ------------------------------------------------------

std::string_view Drawing::typeName(const AcDbObjectRecord& r) const {
  if (r.has(record_flags::kNoText)) return r.role == RecordRole::kTable ? "TABLE" : "";
  DxfGroupCursor cursor(index_.ownText(r), file_.encoding());
  DxfGroupView g;
  if (!cursor.next(g)) return {};
  return trimBlanks(g.text());
}

std::string Drawing::handleText(const AcDbObjectRecord& r) const { return formatHandle(index_.handleOf(r)); }

std::string_view Drawing::layerName(const AcDbObjectRecord& r) const {
  const RecordLayout layout = index_.layoutOf(r);
  if (layout.nameLength == 0) return r.role == RecordRole::kEntity ? "0" : "";
  return index_.fullText(r).substr(layout.nameOffset, layout.nameLength);
}

int Drawing::colorIndex(const AcDbObjectRecord& r) const {
  if (r.color == kNoColor || r.color < 0 || r.color > 256) return 256;
  return r.color;
}

std::vector<DxfGroupView> Drawing::groups(const AcDbObjectRecord& r) const {
  std::vector<DxfGroupView> out;
  auto collect = [&out, this](std::string_view part) {
    DxfGroupCursor cursor(part, file_.encoding());
    DxfGroupView g;
    while (cursor.next(g)) out.push_back(g);
  };
  const RecordLayout layout = index_.layoutOf(r);
  std::string_view own = index_.ownText(r);
  collect(own.substr(0, layout.xdataBegin));
  collect(index_.xdataText(r));
  collect(own.substr(std::min<size_t>(layout.xdataEnd, own.size())));
  return out;
}

std::vector<DxfGroupView> Drawing::subEntityGroups(const AcDbObjectRecord& r) const {
  std::vector<DxfGroupView> out;
  DxfGroupCursor cursor(index_.fullText(r).substr(index_.layoutOf(r).ownLength), file_.encoding());
  DxfGroupView g;
  while (cursor.next(g)) out.push_back(g);
  return out;
}

std::vector<std::string> Drawing::xdataApplications(const AcDbObjectRecord& r) const {
  std::vector<std::string> names;
  for (const XDataBlock& b : splitXData(index_.xdataText(r), file_.encoding())) names.emplace_back(b.name);
  return names;
}

// ---- registered applications, extended data, layers, objects ------------------------

bool Drawing::isValidAppName(std::string_view name) {
  if (name.empty() || name.size() > 255) return false;
  for (char c : name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '$' || c == '-' ||
              c == '_';
    if (!ok) return false;
  }
  return true;
}

bool Drawing::registerApp(std::string_view name) {
  if (!isValidAppName(name)) return false;
  std::string key = asciiUpper(name);
  if (apps_.count(key) != 0) return true;
  beforeHostChange();
  apps_.emplace(key, std::string(name));
  NewApplication app;
  app.name = std::string(name);
  if (file_.version() >= "AC1012") app.handle = index_.takeHandle();
  newApps_.push_back(app);
  ++changes_;
  return true;
}

bool Drawing::isAppRegistered(std::string_view name) const {
  return isValidAppName(name) && apps_.count(asciiUpper(name)) != 0;
}

resbuf* Drawing::xData(const AcDbObjectRecord& r, const char* app) const {
  resbuf* head = nullptr;
  resbuf** tail = &head;
  for (const XDataBlock& b : splitXData(index_.xdataText(r), file_.encoding())) {
    if (app != nullptr && !equalsIgnoreCase(b.name, app)) continue;
    if (!appendXDataChain(b.text, file_.encoding(), file_.textCodec(), tail)) {
      ads_relrb(head);
      return nullptr;
    }
    if (app != nullptr) break;
  }
  return head;
}

Acad::ErrorStatus Drawing::setXData(AcDbObjectRecord& r, const resbuf* chain) {
  if (r.has(record_flags::kNoText)) return Acad::eNotImplemented;
  std::vector<ChainApplication> apps;
  Acad::ErrorStatus es = splitChain(chain, apps);
  if (es != Acad::eOk) return es;
  for (size_t i = 0; i < apps.size(); ++i) {
    if (!isAppRegistered(apps[i].name)) return Acad::eInvalidInput;
    for (size_t j = 0; j < i; ++j)
      if (equalsIgnoreCase(apps[i].name, apps[j].name)) return Acad::eInvalidInput;
  }
  std::string_view current = index_.xdataText(r);
  std::vector<XDataBlock> blocks = splitXData(current, file_.encoding());
  std::vector<bool> used(apps.size(), false);
  std::string region;
  for (const XDataBlock& b : blocks) {
    size_t k = 0;
    while (k < apps.size() && !equalsIgnoreCase(apps[k].name, b.name)) ++k;
    if (k == apps.size()) {
      region.append(b.text);
    } else if (!used[k]) {
      used[k] = true;
      if (!apps[k].items.empty()) region += composeXDataBlock(apps[k], b.text, file_.style(), file_.textCodec());
    }
  }
  for (size_t k = 0; k < apps.size(); ++k)
    if (!used[k] && !apps[k].items.empty()) region += composeXDataBlock(apps[k], {}, file_.style(), file_.textCodec());
  if (region == current) return Acad::eOk;
  beforeHostChange();
  index_.replaceXData(r, std::move(region));
  ++changes_;
  return Acad::eOk;
}

AcDbObjectRecord* Drawing::findLayer(std::string_view name) const {
  auto it = layers_.find(asciiUpper(name));
  return it == layers_.end() ? nullptr : it->second;
}

int Drawing::layerColor(const AcDbObjectRecord& layer) const {
  if (layer.color == kNoColor) return 7;
  return layer.color < 0 ? -layer.color : layer.color;
}

void Drawing::setErased(AcDbObjectRecord& r, bool erased) {
  if (r.has(record_flags::kErased) == erased) return;
  beforeHostChange();
  r.set(record_flags::kErased, erased);
  ++changes_;
}

std::string Drawing::modelSpaceOwner() const {
  for (size_t i = 0; i < index_.count(); ++i) {
    const AcDbObjectRecord* r = index_.at(i);
    if (r->role == RecordRole::kTableRecord && typeName(*r) == "BLOCK_RECORD" &&
        equalsIgnoreCase(layerName(*r), "*Model_Space"))
      return handleText(*r);
  }
  return "0";
}

AcDbObjectRecord* Drawing::addEntity(std::string_view text, uint64_t handle, const AcDbObjectRecord* after,
                                     std::string_view solidRecord) {
  if (text.size() >= (1ULL << 32)) return nullptr;
  DxfGroupCursor cursor(text, file_.encoding());
  DxfGroupView g;
  if (!cursor.next(g) || g.code != 0) return nullptr;
  std::string_view type = trimBlanks(g.text());
  if (type.empty() || type == "VERTEX" || type == "SEQEND" || type == "ATTRIB") return nullptr;
  std::string_view kept = index_.keep(text);
  cursor = DxfGroupCursor(kept, file_.encoding());
  cursor.next(g);
  AcDbObjectRecord& r = index_.add();
  r.begin = reinterpret_cast<uintptr_t>(kept.data());
  r.length = static_cast<uint32_t>(kept.size());
  RecordLayout layout;
  layout.ownLength = r.length;
  r.role = RecordRole::kEntity;
  r.set(record_flags::kAdded, true);
  r.set(record_flags::kHandleInFile, handlesOn());
  // The same reading the loader gives a loaded object: the first 8 and 62,
  // the extended data up to the first ordinary group after it, the own
  // groups up to the first VERTEX, ATTRIB or SEQEND.
  bool haveName = false, haveColor = false, haveFlags = false, inXData = false, xdataSeen = false;
  int polylineFlags = 0;
  layout.xdataBegin = layout.xdataEnd = UINT32_MAX;
  while (cursor.next(g)) {
    auto at = static_cast<uint32_t>(g.begin);
    if (g.code == 0) {
      layout.ownLength = at;
      break;
    }
    if (g.code >= 1000) {
      if (g.code == 1001 && !xdataSeen) {
        xdataSeen = inXData = true;
        layout.xdataBegin = at;
      }
      continue;
    }
    if (inXData) {
      inXData = false;
      layout.xdataEnd = at;
    }
    if (xdataSeen) continue;
    if (g.code == 8 && !haveName) {
      haveName = true;
      std::string_view v = g.text();
      layout.nameOffset = static_cast<uint32_t>(v.data() - kept.data());
      layout.nameLength = static_cast<uint32_t>(std::min<size_t>(v.size(), 0xFFFF));
    } else if (g.code == 62 && !haveColor) {
      haveColor = true;
      r.color = static_cast<int16_t>(std::clamp<long long>(g.integer(), -32768, 32767));
    } else if (g.code == 70 && !haveFlags) {
      haveFlags = true;
      polylineFlags = static_cast<int>(g.integer() & 0xFFFF);
    }
  }
  if (layout.xdataBegin == UINT32_MAX) layout.xdataBegin = layout.xdataEnd = layout.ownLength;
  if (layout.xdataEnd == UINT32_MAX) layout.xdataEnd = layout.ownLength;
  index_.setLayout(r, layout);
  index_.setHandle(r, handle);
  r.cls = entityClass(type, type == "POLYLINE" ? polylineFlags : 0);
  index_.placeAdded(r, handle, after, solidRecord);
  ++changes_;
  return &r;
}

Acad::ErrorStatus Drawing::holdOpen(AcDbObjectRecord& r, AcDb::OpenMode mode) {
  AcDbObject* object = nullptr;
  return openObject(r, mode, true, false, object);
}

void setCurrentDrawing(Drawing* drawing) { gCurrent = drawing; }
Drawing* currentDrawing() { return gCurrent; }

} // namespace corvane
