// Loading a drawing: the scan of its file (dxf/dxf_scanner.h) reported
// object by object into the drawing's records, tables and warnings.
#include <algorithm>
#include <map>
#include <unordered_set>

#include "drawing/drawing.h"
#include "dwg/dwg_reader.h"
#include "drawing/object_classes.h"
#include "dxf/dxf_values.h"
#include "runtime/text.h"

namespace corvane {

// Turns what the scanner reports into records.
class Drawing::Loader : public DxfObjectSink {
public:
  explicit Loader(Drawing& drawing) : d_(drawing) {}

  void object(const DxfObjectInfo& info) override {
    AcDbObjectRecord& r = d_.index_.add();
    r.begin = info.begin;
    r.length = static_cast<uint32_t>(info.end - info.begin);
    RecordLayout layout;
    layout.ownLength = static_cast<uint32_t>(info.ownEnd - info.begin);
    layout.xdataBegin = static_cast<uint32_t>(info.xdataBegin - info.begin);
    layout.xdataEnd = static_cast<uint32_t>(info.xdataEnd - info.begin);
    if (!info.name.empty()) {
      layout.nameOffset = static_cast<uint32_t>(info.name.data() - d_.file_.text().data() - info.begin);
      layout.nameLength = static_cast<uint32_t>(std::min<size_t>(info.name.size(), 0xFFFF));
    }
    d_.index_.setLayout(r, layout);
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
      if (r.cls == AcDbPolygonMesh::desc())
        d_.index_.setMeshCounts(r, {info.vertices, info.controlVertices, info.surfaceVertices});
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
        d_.layers_.emplace(asciiUpper(info.name), &r);
      } else {
        r.cls = genericClass(info.type, AcDbSymbolTableRecord::desc());
        if (info.table == "APPID" && !info.name.empty())
          d_.apps_.emplace(asciiUpper(info.name), std::string(info.name));
      }
      break;
    case DxfObjectRole::kObject:
      r.role = RecordRole::kObject;
      r.cls = genericClass(info.type, AcDbObject::desc());
      break;
    }
    // A table record's handle group depends on its table (105 in DIMSTYLE),
    // not on its own type: it is kept aside where the two disagree.
    if (handle && r.role == RecordRole::kTableRecord) d_.index_.setHandle(r, *handle);
  }

  void inconsistency(uint32_t ordinal, uint32_t line, std::string message) override {
    pending_.push_back({ordinal, line, std::move(message)});
  }

  // A mapped file need not stay resident behind the scan.
  void passed(size_t offset) override { d_.file_.passed(offset); }

  void finish(const std::string& fileName) {
    RecordIndex& index = d_.index_;
    uint64_t seed = 0;
    if (const std::optional<DxfRange>& s = d_.file_.layout().handSeed)
      seed = parseHandle(d_.file_.text().substr(s->begin, s->end - s->begin)).value_or(0);
    // A seed at or below a handle in use would hand that handle out again.
    index.startHandlesAt(std::max<uint64_t>({seed, maxHandle_ + 1, 1}));
    // Handles given in memory, none of them the one in its object's text,
    // go aside in one merge: a file may need one for every object.
    std::vector<std::pair<uint32_t, uint64_t>> given;
    for (size_t i = 0; i < index.count(); ++i)
      if (!index.at(i)->has(record_flags::kHandleInFile)) given.emplace_back(i, index.takeHandle());
    renumberDuplicates(fileName, given);
    index.giveHandles(std::move(given));
    for (const Pending& p : pending_) {
      AcDbObjectRecord* r = index.at(p.ordinal);
      std::string what = r ? std::string(d_.typeName(*r)) + " " + d_.handleText(*r) : "object";
      d_.warnings_.push_back(where(fileName, p.line) + ": " + what + ": " + p.message);
    }
    if (d_.layerTable_ == nullptr) {
      // No LAYER table (a file with only entities): an empty one, so that
      // every lookup simply finds no layer.
      AcDbObjectRecord& r = index.add();
      r.role = RecordRole::kTable;
      r.cls = AcDbLayerTable::desc();
      r.set(record_flags::kNoText, true);
      index.setHandle(r, index.takeHandle());
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
    return dxfLocation(fileName, d_.file_.encoding(), line);
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
    constexpr size_t kNamed = 8;         // new handles named in one warning
    std::map<uint64_t, size_t> byHandle; // handle -> index in warnings
    struct Warning {
      uint64_t handle;
      uint32_t line;
      std::vector<std::string> newHandles;
      size_t count = 0;
    };
    std::vector<Warning> warnings;
    for (const Pending& dup : duplicates_) {
      AcDbObjectRecord* r = d_.index_.at(dup.ordinal);
      const uint64_t handle = d_.index_.handleOf(*r);
      auto [it, added] = byHandle.emplace(handle, warnings.size());
      if (added) warnings.push_back({handle, dup.line, {}, 0});
      Warning& w = warnings[it->second];
      const uint64_t newHandle = d_.index_.takeHandle();
      given.emplace_back(dup.ordinal, newHandle);
      if (w.newHandles.size() < kNamed) w.newHandles.push_back(formatHandle(newHandle));
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

DrawingLoadResult Drawing::load(const std::string& path, DrawingBytes::Kind bytes) {
  std::unique_ptr<Drawing> d(new Drawing(path));
  HostResult opened = d->file_.open(bytes);
  if (!opened) {
    DrawingLoadResult result;
    result.error = opened.error;
    return result;
  }
  DrawingLoadResult result = dwg::isDwgFile(d->file_.text()) ? loadDwg(std::move(d), path, bytes)
                                                               : scan(std::move(d), path);
  if (result.drawing) result.drawing->file_.holdFile();
  return result;
}

DrawingLoadResult Drawing::loadText(std::string text, const std::string& name) {
  if (text.size() >= (1ULL << 32)) {
    DrawingLoadResult result;
    result.error = name + ": the file is larger than 4 GiB";
    return result;
  }
  std::unique_ptr<Drawing> d(new Drawing(name));
  d->file_.hold(std::move(text));
  return scan(std::move(d), name);
}

DrawingLoadResult Drawing::scan(std::unique_ptr<Drawing> d, const std::string& name, const ObjectFinder& find) {
  DrawingLoadResult result;
  Loader loader(*d);
  DxfScanResult scan = find ? find(d->file_.text(), loader) : scanDxf(d->file_.text(), name, loader);
  // What was read from a file that changed meanwhile is no drawing, whatever
  // the scan made of it. A copy read beside the scan takes the place of
  // the mapping scanned: offsets hold, views are taken again.
  result.error = d->file_.settle().error;
  if (!result.ok()) return result;
  if (!scan.ok()) {
    result.error = scan.error;
    return result;
  }
  d->file_.passed(d->file_.text().size());
  d->file_.setLayout(std::move(scan.layout));
  loader.finish(name);
  result.warnings = d->warnings_;
  result.drawing = std::move(d);
  return result;
}

} // namespace corvane
