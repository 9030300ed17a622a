#include "drawing/drawing.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <limits>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

#include "drawing/entity_names.h"
#include "dwg/dwg_reader.h"
#include "drawing/extended_data.h"
#include "dxf/entity_views.h"
#include "runtime/background_work.h"
#include "runtime/class_registry.h"

namespace corvane {

namespace {

Drawing* gCurrent = nullptr;

AcRxClass* entityClass(std::string_view type, int polylineFlags) {
  struct Known {
    std::string_view type;
    AcRxClass* (*desc)();
  };
  static const Known kKnown[] = {
      {"3DFACE", &AcDbFace::desc},         {"SOLID", &AcDbSolid::desc},
      {"LWPOLYLINE", &AcDbPolyline::desc}, {"3DSOLID", &AcDb3dSolid::desc},
      {"BODY", &AcDbBody::desc},           {"REGION", &AcDbRegion::desc},
      {"LINE", &AcDbLine::desc},           {"CIRCLE", &AcDbCircle::desc},
      {"ARC", &AcDbArc::desc},             {"ELLIPSE", &AcDbEllipse::desc},
      {"SPLINE", &AcDbSpline::desc},       {"INSERT", &AcDbBlockReference::desc},
      {"TEXT", &AcDbText::desc},           {"MTEXT", &AcDbMText::desc},
      {"POINT", &AcDbPoint::desc},         {"HATCH", &AcDbHatch::desc},
      {"DIMENSION", &AcDbDimension::desc}, {"VIEWPORT", &AcDbViewport::desc},
  };
  if (type == "POLYLINE") {
    if (polylineFlags & 64) return AcDbPolyFaceMesh::desc();
    if (polylineFlags & 16) return AcDbPolygonMesh::desc();
    if (polylineFlags & 8) return AcDb3dPolyline::desc();
    return AcDb2dPolyline::desc();
  }
  for (const Known& k : kKnown)
    if (type == k.type) return k.desc();
  return nullptr;
}

// A class named after an unknown DXF type. If that name is already taken by
// a class of another family, the family's base stands in.
AcRxClass* genericClass(std::string_view type, AcRxClass* base) {
  static std::map<std::string, AcRxClass*, std::less<>> cache;
  auto it = cache.find(type);
  if (it != cache.end() && it->second->isDerivedFrom(base)) return it->second;
  std::string name(type);
  if (name.empty()) return base;
  AcRxClass* c = registerClass(name.c_str(), base);
  if (!c->isDerivedFrom(base)) return base;
  cache[name] = c;
  return c;
}

} // namespace

// Turns what the scanner reports into records.
class Drawing::Loader : public DxfObjectSink {
public:
  explicit Loader(Drawing& drawing) : d_(drawing) {}

  void object(const DxfObjectInfo& info) override {
    AcDbObjectRecord& r = d_.addRecord();
    r.begin = info.begin;
    r.length = static_cast<uint32_t>(info.end - info.begin);
    RecordLayout layout;
    layout.ownLength = static_cast<uint32_t>(info.ownEnd - info.begin);
    layout.xdataBegin = static_cast<uint32_t>(info.xdataBegin - info.begin);
    layout.xdataEnd = static_cast<uint32_t>(info.xdataEnd - info.begin);
    if (!info.name.empty()) {
      layout.nameOffset = static_cast<uint32_t>(info.name.data() - d_.text_.data() - info.begin);
      layout.nameLength = static_cast<uint32_t>(std::min<size_t>(info.name.size(), 0xFFFF));
    }
    d_.setLayout(r, layout);
    if (info.color) r.color = static_cast<int16_t>(*info.color);
    r.set(record_flags::kPaperSpace, info.paperSpace);
    r.set(record_flags::kInBlock, info.inBlock);
    // The handle stays in the text, where handleOf reads it.
    const std::optional<uint64_t> handle = parseHandle(info.handle);
    if (handle) {
      r.set(record_flags::kHandleInFile, true);
      maxHandle_ = std::max(maxHandle_, *handle);
      if (*handle != 0 && !firstUse(*handle)) duplicates_.push_back({r.serial, info.line, {}});
    }
    switch (info.role) {
    case DxfObjectRole::kEntity:
      r.role = RecordRole::kEntity;
      r.cls = entityClass(info.type, info.polylineFlags);
      if (r.cls == nullptr) r.cls = genericClass(info.type, AcDbEntity::desc());
      if (r.cls == AcDbPolygonMesh::desc())
        d_.meshCounts_[r.serial] = {info.vertices, info.controlVertices, info.surfaceVertices};
      break;
    case DxfObjectRole::kBlockMarker:
      r.role = RecordRole::kBlockMarker;
      r.cls = genericClass(info.type, AcDbEntity::desc());
      break;
    case DxfObjectRole::kTable:
      r.role = RecordRole::kTable;
      if (info.name == "LAYER") {
        r.cls = AcDbLayerTable::desc();
        if (d_.layerTable_ == nullptr) d_.layerTable_ = &r;
      } else {
        r.cls = AcDbSymbolTable::desc();
      }
      break;
    case DxfObjectRole::kTableRecord:
      r.role = RecordRole::kTableRecord;
      if (info.table == "LAYER") {
        r.cls = AcDbLayerTableRecord::desc();
        d_.layers_.emplace(dxfNameKey(info.name), &r);
      } else {
        r.cls = genericClass(info.type, AcDbSymbolTableRecord::desc());
        if (info.table == "APPID" && !info.name.empty())
          d_.apps_.emplace(dxfNameKey(info.name), std::string(info.name));
      }
      break;
    case DxfObjectRole::kObject:
      r.role = RecordRole::kObject;
      r.cls = genericClass(info.type, AcDbObject::desc());
      break;
    }
    // A table record's handle group depends on its table (105 in DIMSTYLE),
    // not on its own type: it is kept aside where the two disagree.
    if (handle && r.role == RecordRole::kTableRecord) d_.setHandle(r, *handle);
  }

  void inconsistency(uint32_t ordinal, uint32_t line, std::string message) override {
    pending_.push_back({ordinal, line, std::move(message)});
  }

  // A mapped file need not stay resident behind the scan.
  void passed(size_t offset) override { d_.bytes_.release(0, offset); }

  void finish(const std::string& fileName) {
    uint64_t seed = 0;
    if (d_.layout_.handSeed) {
      std::string_view v(d_.text_.data() + d_.layout_.handSeed->begin,
                         d_.layout_.handSeed->end - d_.layout_.handSeed->begin);
      seed = parseHandle(v).value_or(0);
    }
    // A seed at or below a handle in use would hand that handle out again.
    d_.nextHandle_ = std::max<uint64_t>({seed, maxHandle_ + 1, 1});
    // Handles given in memory, none of them the one in its object's text,
    // go aside in one merge: a file may need one for every object.
    std::vector<std::pair<uint32_t, uint64_t>> given;
    for (size_t i = 0; i < d_.count_; ++i)
      if (!d_.recordAt(i)->has(record_flags::kHandleInFile)) given.emplace_back(i, d_.nextHandle_++);
    renumberDuplicates(fileName, given);
    d_.handles_.merge(std::move(given));
    for (const Pending& p : pending_) {
      AcDbObjectRecord* r = d_.recordAt(p.ordinal);
      std::string what = r ? std::string(d_.typeName(*r)) + " " + d_.handleText(*r) : "object";
      d_.warnings_.push_back(where(fileName, p.line) + ": " + what + ": " + p.message);
    }
    if (d_.layerTable_ == nullptr) {
      // No LAYER table (a file with only entities): an empty one, so that
      // every lookup simply finds no layer.
      AcDbObjectRecord& r = d_.addRecord();
      r.role = RecordRole::kTable;
      r.cls = AcDbLayerTable::desc();
      r.set(record_flags::kNoText, true);
      d_.setHandle(r, d_.nextHandle_++);
      d_.layerTable_ = &r;
    }
  }

private:
  struct Pending {
    uint32_t ordinal;
    uint32_t line;
    std::string message;
  };
  // Handles up to this many are marked in a bit set; real drawings number
  // their objects densely from 1, so the set stays small and the test cheap.
  static constexpr uint64_t kDenseHandles = uint64_t{1} << 24;

  std::string where(const std::string& fileName, uint32_t line) const {
    return dxfLocation(fileName, d_.encoding(), line);
  }

  // False when HANDLE was met before.
  bool firstUse(uint64_t handle) {
    if (handle >= kDenseHandles) return sparseHandles_.insert(handle).second;
    size_t word = static_cast<size_t>(handle >> 6);
    if (word >= denseHandles_.size()) denseHandles_.resize(std::max(word + 1, denseHandles_.size() * 2));
    uint64_t bit = uint64_t{1} << (handle & 63);
    bool seen = (denseHandles_[word] & bit) != 0;
    denseHandles_[word] |= bit;
    return !seen;
  }

  // An object whose handle an earlier object has gets a handle of its own
  // in memory, so that both can be reached; its groups, and so the saved
  // file, keep the handle it was read with. One warning per handle.
  // GIVEN collects the new handles.
  void renumberDuplicates(const std::string& fileName, std::vector<std::pair<uint32_t, uint64_t>>& given) {
    constexpr size_t kNamed = 8; // new handles named in one warning
    std::map<uint64_t, size_t> byHandle; // handle -> index in warnings
    struct Warning {
      uint64_t handle;
      uint32_t line;
      std::vector<std::string> newHandles;
      size_t count = 0;
    };
    std::vector<Warning> warnings;
    for (const Pending& dup : duplicates_) {
      AcDbObjectRecord* r = d_.recordAt(dup.ordinal);
      const uint64_t handle = d_.handleOf(*r);
      auto [it, added] = byHandle.emplace(handle, warnings.size());
      if (added) warnings.push_back({handle, dup.line, {}, 0});
      Warning& w = warnings[it->second];
      given.emplace_back(dup.ordinal, d_.nextHandle_);
      if (w.newHandles.size() < kNamed) w.newHandles.push_back(formatHandle(d_.nextHandle_));
      ++d_.nextHandle_;
      ++w.count;
    }
    for (const Warning& w : warnings) {
      std::string line = where(fileName, w.line) + ": handle " + formatHandle(w.handle) + " is used by " +
                         std::to_string(w.count + 1) + " objects; the later ones are reached as ";
      for (size_t i = 0; i < w.newHandles.size(); ++i) line += (i ? ", " : "") + w.newHandles[i];
      if (w.count > w.newHandles.size()) line += ", ...";
      d_.warnings_.push_back(line + " until the drawing is closed (the file keeps its handles)");
    }
  }

  Drawing& d_;
  uint64_t maxHandle_ = 0;
  std::vector<Pending> pending_;
  std::vector<Pending> duplicates_;
  std::vector<uint64_t> denseHandles_;
  std::unordered_set<uint64_t> sparseHandles_;
};

Drawing::Drawing(std::string path) : path_(std::move(path)) { tag_ = rememberDrawing(this); }

Drawing::~Drawing() {
  beforeHostChange();
  if (heldFd_ >= 0) ::close(heldFd_);
  forgetDrawing(tag_);
  if (gCurrent == this) gCurrent = nullptr;
}

DrawingLoadResult Drawing::load(const std::string& path, DrawingBytes::Kind bytes) {
  std::unique_ptr<Drawing> d(new Drawing(path));
  std::string error = d->bytes_.open(path, bytes);
  if (!error.empty()) {
    DrawingLoadResult result;
    result.error = error;
    return result;
  }
  DrawingLoadResult result = dwg::isDwgFile(d->bytes_.view()) ? loadDwg(std::move(d), path)
                                                                    : scan(std::move(d), path);
  if (result.drawing) result.drawing->holdFile();
  return result;
}

void Drawing::holdFile() {
  if (heldFd_ >= 0) ::close(heldFd_);
  heldFd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  // Held even when another holder's lock refuses ours: the identity alone
  // still serves isOwnFile.
  if (heldFd_ >= 0) ::flock(heldFd_, LOCK_SH | LOCK_NB);
}

bool Drawing::isOwnFile(const std::string& path) const {
  struct stat own, other;
  return heldFd_ >= 0 && ::fstat(heldFd_, &own) == 0 && ::stat(path.c_str(), &other) == 0 &&
         own.st_dev == other.st_dev && own.st_ino == other.st_ino;
}

DrawingLoadResult Drawing::loadText(std::string text, const std::string& name) {
  if (text.size() >= (1ULL << 32)) {
    DrawingLoadResult result;
    result.error = name + ": the file is larger than 4 GiB";
    return result;
  }
  std::unique_ptr<Drawing> d(new Drawing(name));
  d->bytes_.hold(std::move(text));
  return scan(std::move(d), name);
}

DrawingLoadResult Drawing::scan(std::unique_ptr<Drawing> d, const std::string& name) {
  DrawingLoadResult result;
  d->text_ = d->bytes_.view();
  Loader loader(*d);
  DxfScanResult scan = scanDxf(d->text_, name, loader);
  // What was read from a file that changed meanwhile is no drawing, whatever
  // the scan made of it. A copy read beside the scan takes the place of
  // the mapping scanned: offsets hold, views are taken again.
  result.error = d->bytes_.settle();
  if (!result.error.empty()) return result;
  d->text_ = d->bytes_.view();
  if (!scan.ok) {
    result.error = scan.error;
    return result;
  }
  d->bytes_.release(0, d->text_.size());
  d->layout_ = std::move(scan.layout);
  loader.finish(name);
  result.warnings = d->warnings_;
  result.drawing = std::move(d);
  return result;
}

AcDbObjectRecord& Drawing::addRecord() {
  beforeHostChange();
  if (count_ == chunks_.size() * kChunk) {
    chunks_.push_back(std::make_unique<AcDbObjectRecord[]>(kChunk));
    auto address = reinterpret_cast<uintptr_t>(chunks_.back().get());
    auto at = std::lower_bound(chunkAddresses_.begin(), chunkAddresses_.end(),
                               std::make_pair(address, size_t{0}));
    chunkAddresses_.insert(at, {address, chunks_.size() - 1});
  }
  AcDbObjectRecord& r = chunks_[count_ / kChunk][count_ % kChunk];
  r.drawing = this;
  r.serial = static_cast<uint32_t>(count_);
  ++count_;
  return r;
}

AcDbObjectRecord* Drawing::recordAt(size_t serial) const {
  if (serial >= count_) return nullptr;
  return &chunks_[serial / kChunk][serial % kChunk];
}

bool Drawing::owns(const AcDbObjectRecord* record) const {
  auto address = reinterpret_cast<uintptr_t>(record);
  auto it = std::upper_bound(chunkAddresses_.begin(), chunkAddresses_.end(),
                             std::make_pair(address, std::numeric_limits<size_t>::max()));
  if (it == chunkAddresses_.begin()) return false;
  --it;
  uintptr_t offset = address - it->first;
  if (offset >= kChunk * sizeof(AcDbObjectRecord) || offset % sizeof(AcDbObjectRecord) != 0)
    return false;
  size_t serial = it->second * kChunk + offset / sizeof(AcDbObjectRecord);
  return serial < count_;
}

bool Drawing::isModelSpace(const AcDbObjectRecord& r) {
  return r.role == RecordRole::kEntity && !r.has(record_flags::kInBlock) &&
         !r.has(record_flags::kPaperSpace) && !r.has(record_flags::kErased);
}

void Drawing::buildOrder() const {
  order_.clear();
  order_.reserve(count_);
  position_.assign(count_, 0);
  std::vector<uint32_t> stack;
  auto visit = [&](uint32_t serial) {
    // Depth first: an object, then what was added after it, in the order added.
    stack.push_back(serial);
    while (!stack.empty()) {
      uint32_t s = stack.back();
      stack.pop_back();
      if (s != kAtEnd) {
        position_[s] = static_cast<uint32_t>(order_.size());
        order_.push_back(s);
      }
      auto it = followers_.find(s);
      if (it != followers_.end()) stack.insert(stack.end(), it->second.rbegin(), it->second.rend());
    }
  };
  for (size_t i = 0; i < count_; ++i)
    if (!recordAt(i)->has(record_flags::kAdded)) visit(static_cast<uint32_t>(i));
  visit(kAtEnd);
  orderBuilt_ = true;
}

std::vector<AcDbObjectRecord*> Drawing::modelSpace() const {
  std::vector<AcDbObjectRecord*> out;
  if (addedCount_ == 0) {
    for (size_t i = 0; i < count_; ++i) {
      AcDbObjectRecord* r = recordAt(i);
      if (isModelSpace(*r)) out.push_back(r);
    }
    return out;
  }
  if (!orderBuilt_) buildOrder();
  for (uint32_t serial : order_) {
    AcDbObjectRecord* r = recordAt(serial);
    if (isModelSpace(*r)) out.push_back(r);
  }
  return out;
}

AcDbObjectRecord* Drawing::firstModelSpace() const {
  if (addedCount_ != 0) {
    if (!orderBuilt_) buildOrder();
    for (uint32_t serial : order_)
      if (isModelSpace(*recordAt(serial))) return recordAt(serial);
    return nullptr;
  }
  for (size_t i = 0; i < count_; ++i)
    if (isModelSpace(*recordAt(i))) return recordAt(i);
  return nullptr;
}

AcDbObjectRecord* Drawing::nextModelSpace(const AcDbObjectRecord* after) const {
  if (!owns(after)) return nullptr;
  if (addedCount_ != 0) {
    if (!orderBuilt_) buildOrder();
    for (size_t i = position_[after->serial] + 1; i < order_.size(); ++i)
      if (isModelSpace(*recordAt(order_[i]))) return recordAt(order_[i]);
    return nullptr;
  }
  for (size_t i = after->serial + 1; i < count_; ++i)
    if (isModelSpace(*recordAt(i))) return recordAt(i);
  return nullptr;
}

AcDbObjectRecord* Drawing::lastModelSpace() const {
  if (addedCount_ != 0) {
    if (!orderBuilt_) buildOrder();
    for (size_t i = order_.size(); i-- > 0;)
      if (isModelSpace(*recordAt(order_[i]))) return recordAt(order_[i]);
    return nullptr;
  }
  for (size_t i = count_; i-- > 0;)
    if (isModelSpace(*recordAt(i))) return recordAt(i);
  return nullptr;
}

void Drawing::buildHandleIndex() const {
  handleIndex_.clear();
  handleIndex_.reserve(count_);
  // Most handles are read from their objects' text, one object a few
  // hundred bytes after the other: asking for the text well ahead hides
  // most of the wait for memory.
  constexpr size_t kAhead = 16;
  for (size_t i = 0; i < count_; ++i) {
    if (i + kAhead < count_) __builtin_prefetch(fullText(*recordAt(i + kAhead)).data());
    handleIndex_.emplace_back(handleOf(*recordAt(i)), static_cast<uint32_t>(i));
  }
  std::sort(handleIndex_.begin(), handleIndex_.end());
  handleIndexBuilt_ = true;
}

AcDbObjectRecord* Drawing::findByHandle(std::string_view hex) const {
  std::optional<uint64_t> h = parseHandle(hex);
  if (!h || *h == 0) return nullptr;
  if (!handleIndexBuilt_) buildHandleIndex();
  auto it = std::lower_bound(handleIndex_.begin(), handleIndex_.end(), std::make_pair(*h, uint32_t{0}));
  if (it == handleIndex_.end() || it->first != *h) return nullptr;
  return recordAt(it->second);
}

std::string_view Drawing::fullText(const AcDbObjectRecord& r) const {
  if (r.has(record_flags::kNoText)) return {};
  if (r.has(record_flags::kAdded)) return {reinterpret_cast<const char*>(r.begin), r.length};
  return std::string_view(text_).substr(r.begin, r.length);
}

std::string_view Drawing::ownText(const AcDbObjectRecord& r) const {
  return fullText(r).substr(0, layoutOf(r).ownLength);
}

Drawing::RecordLayout Drawing::layoutOf(const AcDbObjectRecord& r) const {
  if (r.has(record_flags::kLayoutAside)) return *layouts_.find(r.serial);
  return {r.length, r.length, r.length, r.nameOffset, r.nameLength};
}

void Drawing::setLayout(AcDbObjectRecord& r, const RecordLayout& layout) {
  const bool plain = layout.ownLength == r.length && layout.xdataBegin == r.length && layout.xdataEnd == r.length &&
                     layout.nameOffset <= UINT16_MAX && layout.nameLength <= UINT8_MAX;
  r.set(record_flags::kLayoutAside, !plain);
  if (plain) {
    r.nameOffset = static_cast<uint16_t>(layout.nameOffset);
    r.nameLength = static_cast<uint8_t>(layout.nameLength);
  } else {
    layouts_.set(r.serial, layout);
  }
}

std::optional<uint64_t> Drawing::textHandle(const AcDbObjectRecord& r) const {
  // The scanner's rule: the first handle group with a value among the
  // object's own groups, up to the first ordinary group after its extended
  // data (other groups of 1000 and above are passed over).
  DxfGroupCursor cursor(ownText(r), encoding());
  DxfGroupView g;
  if (!cursor.next(g)) return std::nullopt;
  const int code = r.role == RecordRole::kTableRecord && trimBlanks(g.text()) == "DIMSTYLE" ? 105 : 5;
  bool inXData = false;
  while (cursor.next(g)) {
    if (g.code >= 1000) {
      inXData = inXData || g.code == 1001;
    } else if (inXData) {
      break;
    } else if (g.code == code && !trimBlanks(g.text()).empty()) {
      return parseHandle(g.text());
    }
  }
  return std::nullopt;
}

uint64_t Drawing::handleOf(const AcDbObjectRecord& r) const {
  if (const uint64_t* given = handles_.find(r.serial)) return *given;
  return r.has(record_flags::kHandleInFile) ? textHandle(r).value_or(0) : 0;
}

void Drawing::setHandle(AcDbObjectRecord& r, uint64_t handle) {
  if (r.has(record_flags::kHandleInFile) && textHandle(r) == handle)
    handles_.erase(r.serial);
  else
    handles_.set(r.serial, handle);
}

std::string_view Drawing::typeName(const AcDbObjectRecord& r) const {
  if (r.has(record_flags::kNoText)) return r.role == RecordRole::kTable ? "TABLE" : "";
  DxfGroupCursor cursor(ownText(r), encoding());
  DxfGroupView g;
  if (!cursor.next(g)) return {};
  return trimBlanks(g.text());
}

std::string Drawing::handleText(const AcDbObjectRecord& r) const { return formatHandle(handleOf(r)); }

std::string_view Drawing::layerName(const AcDbObjectRecord& r) const {
  const RecordLayout layout = layoutOf(r);
  if (layout.nameLength == 0) return r.role == RecordRole::kEntity ? "0" : "";
  return fullText(r).substr(layout.nameOffset, layout.nameLength);
}

int Drawing::colorIndex(const AcDbObjectRecord& r) const {
  if (r.color == kNoColor || r.color < 0 || r.color > 256) return 256;
  return r.color;
}

std::string_view Drawing::xdataText(const AcDbObjectRecord& r) const {
  if (const std::string* replaced = newXData(r)) return *replaced;
  return storedXData(r);
}

std::string_view Drawing::storedXData(const AcDbObjectRecord& r) const {
  const RecordLayout layout = layoutOf(r);
  return fullText(r).substr(layout.xdataBegin, layout.xdataEnd - layout.xdataBegin);
}

std::vector<DxfGroupView> Drawing::groups(const AcDbObjectRecord& r) const {
  std::vector<DxfGroupView> out;
  auto collect = [&out, this](std::string_view part) {
    DxfGroupCursor cursor(part, encoding());
    DxfGroupView g;
    while (cursor.next(g)) out.push_back(g);
  };
  const RecordLayout layout = layoutOf(r);
  std::string_view own = ownText(r);
  collect(own.substr(0, layout.xdataBegin));
  collect(xdataText(r));
  collect(own.substr(std::min<size_t>(layout.xdataEnd, own.size())));
  return out;
}

std::vector<DxfGroupView> Drawing::subEntityGroups(const AcDbObjectRecord& r) const {
  std::vector<DxfGroupView> out;
  DxfGroupCursor cursor(fullText(r).substr(layoutOf(r).ownLength), encoding());
  DxfGroupView g;
  while (cursor.next(g)) out.push_back(g);
  return out;
}

std::vector<std::string> Drawing::xdataApplications(const AcDbObjectRecord& r) const {
  std::vector<std::string> names;
  for (const XDataBlock& b : splitXData(xdataText(r), encoding())) names.emplace_back(b.name);
  return names;
}

void Drawing::doneWith(std::string_view part) const {
  const auto at = reinterpret_cast<uintptr_t>(part.data());
  const auto base = reinterpret_cast<uintptr_t>(text_.data());
  if (at < base || at - base > text_.size()) return; // not the file's bytes
  bytes_.doneWith(at - base, at - base + part.size());
}

std::optional<FaceGeometry> Drawing::faceGeometry(const AcDbObjectRecord& r) const {
  if (r.cls != AcDbFace::desc()) return std::nullopt;
  FaceGeometry g = readFaceGeometry(ownText(r), encoding());
  doneWith(ownText(r));
  return g;
}

std::optional<SolidGeometry> Drawing::solidGeometry(const AcDbObjectRecord& r) const {
  if (r.cls != AcDbSolid::desc()) return std::nullopt;
  SolidGeometry g = readSolidGeometry(ownText(r), encoding());
  doneWith(ownText(r));
  return g;
}

std::optional<PolyfaceGeometry> Drawing::polyfaceGeometry(const AcDbObjectRecord& r) const {
  if (r.cls != AcDbPolyFaceMesh::desc()) return std::nullopt;
  PolyfaceGeometry g = readPolyfaceGeometry(fullText(r), encoding());
  doneWith(fullText(r));
  return g;
}

std::optional<PolygonMeshGeometry> Drawing::polygonMeshGeometry(const AcDbObjectRecord& r) const {
  if (r.cls != AcDbPolygonMesh::desc()) return std::nullopt;
  PolygonMeshGeometry g = readPolygonMeshGeometry(fullText(r), encoding());
  doneWith(fullText(r));
  return g;
}

namespace {

// The vertices of a polygon mesh's grid read from its text as they are
// asked for: those of the grid's kind only, COUNT at most. What has been
// read is handed to DONE every MiB, so that a mapped drawing need not keep
// a big mesh's text resident.
class GridVertexReader : public MeshVertexReader {
public:
  enum class Kind { kAll, kControl, kSurface };
  GridVertexReader(std::string_view all, DxfEncoding encoding, Kind kind, size_t count,
                   std::function<void(std::string_view)> done)
      : all_(all), encoding_(encoding), records_(all, encoding), kind_(kind), count_(count), left_(count),
        done_(std::move(done)) {}

  size_t read(Vec3* out, size_t max) override {
    size_t n = 0;
    VertexRecord v;
    while (n < max && left_ > 0 && records_.next(v)) {
      const bool control = (v.flags & 16) != 0;
      const bool surface = !control && (v.flags & 8) != 0;
      if (kind_ == Kind::kControl && !control) continue;
      if (kind_ == Kind::kSurface && !surface) continue;
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
  Kind kind_;
  size_t count_, left_;
  size_t passed_ = 0;
  std::function<void(std::string_view)> done_;
};

} // namespace

std::optional<PolygonMeshStream> Drawing::polygonMeshStream(const AcDbObjectRecord& r, size_t moreThan) const {
  if (r.cls != AcDbPolygonMesh::desc()) return std::nullopt;
  const auto counts = meshCounts_.find(r.serial);
  if (counts == meshCounts_.end()) return std::nullopt;
  const std::string_view all = fullText(r);
  const PolygonMeshGeometry header = readPolygonMeshHeader(all, encoding());
  PolygonMeshStream stream;
  GridVertexReader::Kind kind = GridVertexReader::Kind::kAll;
  size_t listed = counts->second.all;
  stream.m = header.m;
  stream.n = header.n;
  if (header.usesSurfaceGrid(counts->second.surface)) {
    kind = GridVertexReader::Kind::kSurface;
    listed = counts->second.surface;
    stream.m = header.surfaceM;
    stream.n = header.surfaceN;
  } else if (header.smoothed) {
    kind = GridVertexReader::Kind::kControl;
    listed = counts->second.control;
  }
  if (stream.m <= 0 || stream.n <= 0) return std::nullopt;
  stream.vertexCount = static_cast<size_t>(std::min<int64_t>(stream.m * stream.n, static_cast<int64_t>(listed)));
  if (stream.vertexCount <= moreThan) return std::nullopt;
  stream.closedM = header.closedM;
  stream.closedN = header.closedN;
  stream.vertices = std::make_unique<GridVertexReader>(all, encoding(), kind, stream.vertexCount,
                                                       [this](std::string_view part) { doneWith(part); });
  return stream;
}

std::optional<SolidModelData> Drawing::solidModelData(const AcDbObjectRecord& r) const {
  if (r.cls != AcDb3dSolid::desc() && r.cls != AcDbBody::desc() && r.cls != AcDbRegion::desc())
    return std::nullopt;
  SolidModelData data;
  readSolidModelText(ownText(r), encoding(), data);
  doneWith(ownText(r));
  data.handle = handleText(r);
  std::string_view record = solidModelRecord(r);
  if (!record.empty()) {
    readAcdsBinary(record, encoding(), data.binary);
    doneWith(record);
  }
  return data;
}

std::string_view Drawing::solidModelRecord(const AcDbObjectRecord& r) const {
  if (r.has(record_flags::kAdded)) {
    for (const auto& [serial, text] : addedSolidRecords_)
      if (serial == r.serial) return text;
    return {};
  }
  if (!r.has(record_flags::kHandleInFile)) return {};
  const uint64_t handle = handleOf(r);
  for (const DxfAcdsRecord& a : layout_.acdsRecords)
    if (a.owner == handle) return std::string_view(text_).substr(a.range.begin, a.range.end - a.range.begin);
  return {};
}

bool Drawing::isValidAppName(std::string_view name) {
  if (name.empty() || name.size() > 255) return false;
  for (char c : name) {
    bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '$' ||
              c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

bool Drawing::registerApp(std::string_view name) {
  if (!isValidAppName(name)) return false;
  std::string key = dxfNameKey(name);
  if (apps_.count(key) != 0) return true;
  beforeHostChange();
  apps_.emplace(key, std::string(name));
  NewApp app;
  app.name = std::string(name);
  if (layout_.version >= "AC1012") app.handle = nextHandle_++;
  newApps_.push_back(app);
  ++changes_;
  return true;
}

bool Drawing::isAppRegistered(std::string_view name) const {
  return isValidAppName(name) && apps_.count(dxfNameKey(name)) != 0;
}

resbuf* Drawing::xData(const AcDbObjectRecord& r, const char* app) const {
  resbuf* head = nullptr;
  resbuf** tail = &head;
  for (const XDataBlock& b : splitXData(xdataText(r), encoding())) {
    if (app != nullptr && !dxfNameEquals(b.name, app)) continue;
    if (!appendXDataChain(b.text, encoding(), tail)) {
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
      if (dxfNameEquals(apps[i].name, apps[j].name)) return Acad::eInvalidInput;
  }
  std::string_view current = xdataText(r);
  std::vector<XDataBlock> blocks = splitXData(current, encoding());
  std::vector<bool> used(apps.size(), false);
  std::string region;
  for (const XDataBlock& b : blocks) {
    size_t k = 0;
    while (k < apps.size() && !dxfNameEquals(apps[k].name, b.name)) ++k;
    if (k == apps.size()) {
      region.append(b.text);
    } else if (!used[k]) {
      used[k] = true;
      if (!apps[k].items.empty()) region += composeXDataBlock(apps[k], b.text, layout_.style);
    }
  }
  for (size_t k = 0; k < apps.size(); ++k)
    if (!used[k] && !apps[k].items.empty()) region += composeXDataBlock(apps[k], {}, layout_.style);
  if (region == current) return Acad::eOk;
  beforeHostChange();
  if (region == storedXData(r))
    newXData_.erase(r.serial);
  else
    newXData_.set(r.serial, std::move(region));
  ++changes_;
  return Acad::eOk;
}

AcDbObjectRecord* Drawing::findLayer(std::string_view name) const {
  auto it = layers_.find(dxfNameKey(name));
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

std::string_view Drawing::TextStore::keep(std::string_view text) {
  if (capacity_ - used_ < text.size()) {
    // A text larger than a chunk gets a chunk of its own.
    size_t size = std::max(kChunkBytes, text.size());
    chunks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    used_ = 0;
    capacity_ = size;
  }
  char* at = chunks_.back().get() + used_;
  if (!text.empty()) std::memcpy(at, text.data(), text.size());
  used_ += text.size();
  return {at, text.size()};
}

std::string Drawing::modelSpaceOwner() const {
  for (size_t i = 0; i < count_; ++i) {
    const AcDbObjectRecord* r = recordAt(i);
    if (r->role == RecordRole::kTableRecord && typeName(*r) == "BLOCK_RECORD" &&
        dxfNameEquals(layerName(*r), "*Model_Space"))
      return handleText(*r);
  }
  return "0";
}

AcDbObjectRecord* Drawing::addEntity(std::string_view text, uint64_t handle, const AcDbObjectRecord* after,
                                     std::string_view solidRecord) {
  if (text.size() >= (1ULL << 32)) return nullptr;
  DxfGroupCursor cursor(text, encoding());
  DxfGroupView g;
  if (!cursor.next(g) || g.code != 0) return nullptr;
  std::string_view type = trimBlanks(g.text());
  if (type.empty() || type == "VERTEX" || type == "SEQEND" || type == "ATTRIB") return nullptr;
  std::string_view kept = store_.keep(text);
  cursor = DxfGroupCursor(kept, encoding());
  cursor.next(g);
  AcDbObjectRecord& r = addRecord();
  r.begin = reinterpret_cast<uintptr_t>(kept.data());
  r.length = static_cast<uint32_t>(kept.size());
  RecordLayout layout;
  layout.ownLength = r.length;
  r.role = RecordRole::kEntity;
  r.set(record_flags::kAdded, true);
  r.set(record_flags::kHandleInFile, layout_.handlesOn);
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
  setLayout(r, layout);
  setHandle(r, handle);
  r.cls = entityClass(type, type == "POLYLINE" ? polylineFlags : 0);
  if (r.cls == nullptr) r.cls = genericClass(type, AcDbEntity::desc());

  bool anchored = after != nullptr && owns(after);
  followers_[anchored ? after->serial : kAtEnd].push_back(r.serial);
  if (!solidRecord.empty()) addedSolidRecords_.emplace_back(r.serial, store_.keep(solidRecord));
  nextHandle_ = std::max(nextHandle_, handle + 1);
  if (handleIndexBuilt_) {
    if (handleIndex_.empty() || handleIndex_.back().first < handle)
      handleIndex_.emplace_back(handle, r.serial);
    else
      handleIndexBuilt_ = false;
  }
  ++addedCount_;
  orderBuilt_ = false;
  ++changes_;
  return &r;
}

Acad::ErrorStatus Drawing::holdOpen(AcDbObjectRecord& r, AcDb::OpenMode mode) {
  AcDbObject* object = nullptr;
  return openObject(r, mode, true, false, object);
}

// ---- saving -------------------------------------------------------------------

namespace {

// Where a handle goes in an object's text that has none: just after its 0
// group (written when the object's extended data changes).
size_t afterTypeGroup(std::string_view own, DxfEncoding encoding) {
  DxfGroupCursor cursor(own, encoding);
  DxfGroupView g;
  cursor.next(g);
  return g.end;
}

// NUMBER as a 70 group's value in STYLE; in a text file as wide as OLD
// when OLD was padded.
std::string sameWidth(const DxfStyle& style, std::string_view old, long long number) {
  if (style.binary()) return style.intValue(number, 70);
  std::string digits = std::to_string(number);
  if (!old.empty() && old[0] == ' ' && digits.size() < old.size())
    return std::string(old.size() - digits.size(), ' ') + digits;
  return digits;
}

} // namespace

std::string Drawing::addedText(const AcDbObjectRecord& r) const {
  std::string_view full = fullText(r);
  const std::string* xdata = newXData(r);
  if (xdata == nullptr) return std::string(full);
  const RecordLayout layout = layoutOf(r);
  const bool handle = r.has(record_flags::kHandleInFile);
  const size_t head = handle ? layout.xdataBegin : afterTypeGroup(full.substr(0, layout.ownLength), encoding());
  std::string out(full.substr(0, head));
  if (!handle) out.append(layout_.style.group(5, handleText(r)));
  out.append(full.substr(head, layout.xdataBegin - head)).append(*xdata).append(full.substr(layout.xdataEnd));
  return out;
}

std::string Drawing::addedTextAfter(uint32_t serial, uint64_t& highest) const {
  std::string out;
  auto it = followers_.find(serial);
  if (it == followers_.end()) return out;
  for (uint32_t s : it->second) {
    const AcDbObjectRecord* r = recordAt(s);
    if (!r->has(record_flags::kErased)) out += addedText(*r);
    out += addedTextAfter(s, highest);
  }
  // Every handle taken so far may be in what was added (VERTEX and SEQEND
  // records take theirs too).
  if (!out.empty()) highest = std::max(highest, nextHandle_ - 1);
  return out;
}

std::vector<DxfPatch> Drawing::patches() const {
  std::vector<DxfPatch> out;
  const DxfStyle& style = layout_.style;
  uint64_t highestWritten = 0;
  for (size_t i = 0; i < count_; ++i) {
    const AcDbObjectRecord* r = recordAt(i);
    if (r->has(record_flags::kAdded)) continue;
    uint64_t end = r->begin + r->length;
    if (!listedSerials_.empty() && std::binary_search(listedSerials_.begin(), listedSerials_.end(), r->serial)) {
      // What the DWG reader could only list is no object a DXF can hold.
      out.push_back({r->begin, end, addedTextAfter(r->serial, highestWritten)});
      continue;
    }
    if (r->has(record_flags::kErased) && r->role == RecordRole::kEntity && !r->has(record_flags::kInBlock)) {
      // An erased entity leaves the file, its solid-model record too; what
      // was added after it takes its place.
      out.push_back({r->begin, end, addedTextAfter(r->serial, highestWritten)});
      if (r->has(record_flags::kHandleInFile)) {
        const uint64_t handle = handleOf(*r);
        for (const DxfAcdsRecord& a : layout_.acdsRecords)
          if (a.owner == handle) out.push_back({a.range.begin, a.range.end, {}});
      }
      continue;
    }
    if (const std::string* xdata = newXData(*r)) {
      if (!r->has(record_flags::kHandleInFile)) {
        size_t at = r->begin + afterTypeGroup(ownText(*r), encoding());
        out.push_back({at, at, style.group(5, handleText(*r))});
        highestWritten = std::max(highestWritten, handleOf(*r));
      }
      const RecordLayout layout = layoutOf(*r);
      out.push_back({r->begin + layout.xdataBegin, r->begin + layout.xdataEnd, *xdata});
    }
    if (addedCount_ != 0) {
      std::string added = addedTextAfter(r->serial, highestWritten);
      if (!added.empty()) out.push_back({end, end, std::move(added)});
    }
  }
  if (addedCount_ != 0) {
    std::string atEnd = addedTextAfter(kAtEnd, highestWritten);
    if (!atEnd.empty()) {
      if (layout_.entitiesEnd) {
        out.push_back({*layout_.entitiesEnd, *layout_.entitiesEnd, std::move(atEnd)});
      } else {
        std::string section = style.group(0, "SECTION") + style.group(2, "ENTITIES") + atEnd +
                              style.group(0, "ENDSEC");
        out.push_back({layout_.newEntitiesAt, layout_.newEntitiesAt, std::move(section)});
      }
    }
    std::string solidRecords;
    for (const auto& [serial, text] : addedSolidRecords_)
      if (!recordAt(serial)->has(record_flags::kErased)) solidRecords.append(text);
    if (!solidRecords.empty() && layout_.acdsEnd)
      out.push_back({*layout_.acdsEnd, *layout_.acdsEnd, std::move(solidRecords)});
  }
  if (!newApps_.empty()) {
    bool modern = layout_.version >= "AC1012";
    std::string ownerHandle = "0";
    if (layout_.appIds && !layout_.appIds->handle.empty()) ownerHandle = layout_.appIds->handle;
    uint64_t tableHandle = 0;
    if (modern && !layout_.appIds) {
      // A drawing of this version without an APPID table gets one of its own.
      tableHandle = nextHandle_;
      ownerHandle = formatHandle(tableHandle);
      highestWritten = std::max(highestWritten, tableHandle);
    }
    std::string records;
    for (const NewApp& app : newApps_) {
      records += style.group(0, "APPID");
      if (modern) {
        records += style.group(5, formatHandle(app.handle));
        records += style.group(330, ownerHandle);
        records += style.group(100, "AcDbSymbolTableRecord");
        records += style.group(100, "AcDbRegAppTableRecord");
        highestWritten = std::max(highestWritten, app.handle);
      }
      records += style.group(2, app.name);
      records += style.intGroup(70, 0);
    }
    if (layout_.appIds) {
      out.push_back({layout_.appIds->endTab, layout_.appIds->endTab, records});
      const DxfRange& c = layout_.appIds->count;
      if (c.end > c.begin) {
        std::string_view old(text_.data() + c.begin, c.end - c.begin);
        long long n = layout_.appIds->countValue + static_cast<long long>(newApps_.size());
        out.push_back({c.begin, c.end, sameWidth(style, old, n)});
      }
    } else {
      std::string table = style.group(0, "TABLE") + style.group(2, "APPID");
      if (modern)
        table += style.group(5, ownerHandle) + style.group(330, "0") + style.group(100, "AcDbSymbolTable");
      table += style.intGroup(70, static_cast<long long>(newApps_.size()));
      table += records + style.group(0, "ENDTAB");
      if (layout_.tablesEnd) {
        out.push_back({*layout_.tablesEnd, *layout_.tablesEnd, table});
      } else {
        std::string section = style.group(0, "SECTION") + style.group(2, "TABLES") + table +
                              style.group(0, "ENDSEC");
        out.push_back({layout_.newTablesAt, layout_.newTablesAt, section});
      }
    }
  }
  if (highestWritten != 0 && layout_.handSeed) {
    const DxfRange& s = *layout_.handSeed;
    std::string_view old(text_.data() + s.begin, s.end - s.begin);
    uint64_t seed = parseHandle(old).value_or(0);
    // The seed must stay above every handle in the file.
    if (seed <= highestWritten)
      out.push_back({s.begin, s.end, formatHandle(std::max(nextHandle_, highestWritten + 1))});
  }
  return out;
}

std::string Drawing::savedText() const {
  std::string out;
  out.reserve(text_.size());
  emitPatched(text_, patches(), [&out](std::string_view piece) {
    out.append(piece);
    return true;
  });
  return out;
}

SaveResult Drawing::writeTo(const std::string& path, unsigned newFileMode) const {
  SaveResult result;
  FileReplacer writer;
  std::string error = writer.open(path, newFileMode);
  if (error.empty()) {
    emitPatched(text_, patches(), [&writer](std::string_view piece) { return writer.write(piece); });
    // A mapped file that changed since it was read no longer holds the
    // drawing's bytes; the temporary file goes with the writer.
    if (bytes_.changed())
      error = path_ + ": the file changed since it was read; the drawing is not saved";
    else
      error = writer.commit();
  }
  result.ok = error.empty();
  result.error = error;
  return result;
}

SaveResult Drawing::save() {
  if (dwg_) {
    SaveResult refused;
    refused.error = path_ + ": a DWG drawing is read, never written; SAVEAS NAME.dxf saves it as DXF";
    return refused;
  }
  SaveResult result = writeTo(path_);
  if (result.ok) {
    savedChanges_ = changes_;
    holdFile(); // the saved file is a new one
  }
  return result;
}

SaveResult Drawing::saveAs(const std::string& path) {
  if (dwg_ && (isOwnFile(path) || dwg::isDwgName(path))) {
    SaveResult refused;
    refused.error = path + ": a DWG drawing is read, never written; SAVEAS NAME.dxf saves it as DXF";
    return refused;
  }
  SaveResult result = writeTo(path);
  if (result.ok) {
    beforeHostChange();
    path_ = path;
    // From now on the drawing is the DXF just written (which leaves out
    // what the DWG reader could only list, now and in later saves).
    dwg_.reset();
    savedChanges_ = changes_;
    holdFile();
  }
  return result;
}

SaveResult Drawing::saveCopy(const std::string& path, unsigned maxMode) const {
  struct stat own;
  unsigned mode = heldFd_ >= 0 && ::fstat(heldFd_, &own) == 0 ? own.st_mode & 0666 : 0666;
  return writeTo(path, mode & maxMode);
}

void setCurrentDrawing(Drawing* drawing) { gCurrent = drawing; }
Drawing* currentDrawing() { return gCurrent; }

} // namespace corvane
