#include "drawing/save_patches.h"

#include <algorithm>
#include <unordered_set>

#include "dxf/dxf_cursor.h"
#include "dxf/dxf_values.h"

namespace corvane {

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

// The owner an object's text names: its first 330 group outside a 102
// group's braces, before its first subclass marker; 0 for none.
uint64_t ownerNamed(std::string_view own, DxfEncoding encoding) {
  DxfGroupCursor cursor(own, encoding);
  DxfGroupView g;
  bool inBraces = false;
  cursor.next(g); // its 0 group
  while (cursor.next(g)) {
    if (g.code == 100) break;
    if (g.code == 102) inBraces = g.text().starts_with("{");
    else if (g.code == 330 && !inBraces) return parseHandle(g.text()).value_or(0);
  }
  return 0;
}

class PatchMaker {
public:
  PatchMaker(const DrawingFile& file, const RecordIndex& index, const std::vector<uint32_t>& leftOut)
      : file_(file), index_(index), layout_(file.layout()), style_(layout_.style), leftOut_(leftOut) {}

  std::vector<DxfPatch> make(const std::vector<NewApplication>& newApps) {
    closeLeftOut();
    recordPatches();
    if (index_.addedCount() != 0) addedAtEnd();
    if (!newApps.empty()) appPatches(newApps);
    raiseHandSeed();
    return std::move(out_);
  }

private:
  void closeLeftOut();
  void cutEntriesOfDropped(const AcDbObjectRecord& dictionary);
  void recordPatches();
  void addedAtEnd();
  void appPatches(const std::vector<NewApplication>& newApps);
  void raiseHandSeed();
  std::string addedText(const AcDbObjectRecord& added) const;
  std::string addedTextAfter(uint32_t serial);

  const DrawingFile& file_;
  const RecordIndex& index_;
  const DxfLayout& layout_;
  const DxfStyle& style_;
  const std::vector<uint32_t>& leftOut_;
  // The records that leave the file with LEFTOUT (closeLeftOut), by
  // serial (empty for none), and their handles.
  std::vector<bool> dropped_;
  std::unordered_set<uint64_t> droppedHandles_;
  std::vector<DxfPatch> out_;
  uint64_t highestWritten_ = 0;
};

// An added object's text as it stands now: as added, or with its
// extended data replaced since (and then with its handle).
std::string PatchMaker::addedText(const AcDbObjectRecord& r) const {
  std::string_view full = index_.fullText(r);
  const std::string* xdata = index_.newXData(r);
  if (xdata == nullptr) return std::string(full);
  const RecordLayout layout = index_.layoutOf(r);
  const bool handle = r.has(record_flags::kHandleInFile);
  const size_t head = handle ? layout.xdataBegin : afterTypeGroup(full.substr(0, layout.ownLength), file_.encoding());
  std::string out(full.substr(0, head));
  if (!handle) out.append(style_.group(5, formatHandle(index_.handleOf(r))));
  out.append(full.substr(head, layout.xdataBegin - head)).append(*xdata).append(full.substr(layout.xdataEnd));
  return out;
}

// The saved text of the objects added after SERIAL (or at the end, for
// kAtEnd), with what was added after them in turn.
std::string PatchMaker::addedTextAfter(uint32_t serial) {
  std::string out;
  const std::vector<uint32_t>* added = index_.addedAfter(serial);
  if (added == nullptr) return out;
  for (uint32_t s : *added) {
    const AcDbObjectRecord* r = index_.at(s);
    if (!r->has(record_flags::kErased)) out += addedText(*r);
    out += addedTextAfter(s);
  }
  // Every handle taken so far may be in what was added (VERTEX and SEQEND
  // records take theirs too).
  if (!out.empty()) highestWritten_ = std::max(highestWritten_, index_.nextHandle() - 1);
  return out;
}

// The records left out, and with them what they own through every level
// (an extension dictionary and its records): no saved file names an owner
// it doesn't hold.
void PatchMaker::closeLeftOut() {
  if (leftOut_.empty()) return;
  dropped_.assign(index_.count(), false);
  for (uint32_t serial : leftOut_) {
    dropped_[serial] = true;
    droppedHandles_.insert(index_.handleOf(*index_.at(serial)));
  }
  // Owners may follow what they own: passes until one drops nothing.
  for (bool grew = true; grew;) {
    grew = false;
    for (size_t i = 0; i < index_.count(); ++i) {
      const AcDbObjectRecord* r = index_.at(i);
      if (dropped_[i] || r->has(record_flags::kAdded)) continue;
      const uint64_t owner = ownerNamed(index_.ownText(*r), file_.encoding());
      if (owner == 0 || !droppedHandles_.contains(owner)) continue;
      dropped_[i] = true;
      droppedHandles_.insert(index_.handleOf(*r));
      grew = true;
    }
  }
  droppedHandles_.erase(0); // a record without a handle names none
}

// A dictionary's entries (a 3 group, then its 350 or 360) naming a record
// that leaves the file leave with it.
void PatchMaker::cutEntriesOfDropped(const AcDbObjectRecord& dictionary) {
  DxfGroupCursor cursor(index_.ownText(dictionary), file_.encoding());
  DxfGroupView g;
  if (!cursor.next(g) || (g.text() != "DICTIONARY" && g.text() != "ACDBDICTIONARYWDFLT")) return;
  constexpr size_t kNoKey = SIZE_MAX;
  size_t keyBegin = kNoKey;
  while (cursor.next(g)) {
    if (g.code == 3) {
      keyBegin = g.begin;
    } else if ((g.code == 350 || g.code == 360) && keyBegin != kNoKey) {
      if (droppedHandles_.contains(parseHandle(g.text()).value_or(0)))
        out_.push_back({dictionary.begin + keyBegin, dictionary.begin + g.end, {}});
      keyBegin = kNoKey;
    }
  }
}

void PatchMaker::recordPatches() {
  for (size_t i = 0; i < index_.count(); ++i) {
    const AcDbObjectRecord* r = index_.at(i);
    if (r->has(record_flags::kAdded)) continue;
    uint64_t end = r->begin + r->length;
    if (!dropped_.empty() && dropped_[r->serial]) {
      // What the DWG reader could only list is no object a DXF can hold.
      out_.push_back({r->begin, end, addedTextAfter(r->serial)});
      continue;
    }
    if (!dropped_.empty() && r->role == RecordRole::kObject) cutEntriesOfDropped(*r);
    if (r->has(record_flags::kErased) && r->role == RecordRole::kEntity && !r->has(record_flags::kInBlock)) {
      // An erased entity leaves the file, its solid-model record too; what
      // was added after it takes its place.
      out_.push_back({r->begin, end, addedTextAfter(r->serial)});
      if (r->has(record_flags::kHandleInFile)) {
        const uint64_t handle = index_.handleOf(*r);
        for (const DxfAcdsRecord& a : layout_.acdsRecords)
          if (a.owner == handle) out_.push_back({a.range.begin, a.range.end, {}});
      }
      continue;
    }
    if (const std::string* xdata = index_.newXData(*r)) {
      if (!r->has(record_flags::kHandleInFile)) {
        size_t at = r->begin + afterTypeGroup(index_.ownText(*r), file_.encoding());
        out_.push_back({at, at, style_.group(5, formatHandle(index_.handleOf(*r)))});
        highestWritten_ = std::max(highestWritten_, index_.handleOf(*r));
      }
      const RecordLayout layout = index_.layoutOf(*r);
      out_.push_back({r->begin + layout.xdataBegin, r->begin + layout.xdataEnd, *xdata});
    }
    if (index_.addedCount() != 0) {
      std::string added = addedTextAfter(r->serial);
      if (!added.empty()) out_.push_back({end, end, std::move(added)});
    }
  }
}

void PatchMaker::addedAtEnd() {
  std::string atEnd = addedTextAfter(RecordIndex::kAtEnd);
  if (!atEnd.empty()) {
    if (layout_.entitiesEnd) {
      out_.push_back({*layout_.entitiesEnd, *layout_.entitiesEnd, std::move(atEnd)});
    } else {
      std::string section = style_.group(0, "SECTION") + style_.group(2, "ENTITIES") + atEnd +
                            style_.group(0, "ENDSEC");
      out_.push_back({layout_.newEntitiesAt, layout_.newEntitiesAt, std::move(section)});
    }
  }
  std::string solidRecords;
  for (const auto& [serial, text] : index_.addedSolidRecords())
    if (!index_.at(serial)->has(record_flags::kErased)) solidRecords.append(text);
  if (!solidRecords.empty() && layout_.acdsEnd)
    out_.push_back({*layout_.acdsEnd, *layout_.acdsEnd, std::move(solidRecords)});
}

void PatchMaker::appPatches(const std::vector<NewApplication>& newApps) {
  const bool modern = layout_.version >= "AC1012";
  std::string ownerHandle = "0";
  if (layout_.appIds && !layout_.appIds->handle.empty()) ownerHandle = layout_.appIds->handle;
  if (modern && !layout_.appIds) {
    // A drawing of this version without an APPID table gets one of its own.
    const uint64_t tableHandle = index_.nextHandle();
    ownerHandle = formatHandle(tableHandle);
    highestWritten_ = std::max(highestWritten_, tableHandle);
  }
  std::string records;
  for (const NewApplication& app : newApps) {
    records += style_.group(0, "APPID");
    if (modern) {
      records += style_.group(5, formatHandle(app.handle));
      records += style_.group(330, ownerHandle);
      records += style_.group(100, "AcDbSymbolTableRecord");
      records += style_.group(100, "AcDbRegAppTableRecord");
      highestWritten_ = std::max(highestWritten_, app.handle);
    }
    records += style_.group(2, app.name);
    records += style_.intGroup(70, 0);
  }
  if (layout_.appIds) {
    out_.push_back({layout_.appIds->endTab, layout_.appIds->endTab, records});
    const DxfRange& c = layout_.appIds->count;
    if (c.end > c.begin) {
      std::string_view old = file_.text().substr(c.begin, c.end - c.begin);
      long long n = layout_.appIds->countValue + static_cast<long long>(newApps.size());
      out_.push_back({c.begin, c.end, sameWidth(style_, old, n)});
    }
    return;
  }
  std::string table = style_.group(0, "TABLE") + style_.group(2, "APPID");
  if (modern) table += style_.group(5, ownerHandle) + style_.group(330, "0") + style_.group(100, "AcDbSymbolTable");
  table += style_.intGroup(70, static_cast<long long>(newApps.size()));
  table += records + style_.group(0, "ENDTAB");
  if (layout_.tablesEnd) {
    out_.push_back({*layout_.tablesEnd, *layout_.tablesEnd, table});
  } else {
    std::string section = style_.group(0, "SECTION") + style_.group(2, "TABLES") + table + style_.group(0, "ENDSEC");
    out_.push_back({layout_.newTablesAt, layout_.newTablesAt, section});
  }
}

void PatchMaker::raiseHandSeed() {
  if (highestWritten_ == 0 || !layout_.handSeed) return;
  const DxfRange& s = *layout_.handSeed;
  std::string_view old = file_.text().substr(s.begin, s.end - s.begin);
  uint64_t seed = parseHandle(old).value_or(0);
  // The seed must stay above every handle in the file.
  if (seed <= highestWritten_)
    out_.push_back({s.begin, s.end, formatHandle(std::max(index_.nextHandle(), highestWritten_ + 1))});
}

} // namespace

std::vector<DxfPatch> savePatches(const DrawingFile& file, const RecordIndex& index,
                                  const std::vector<NewApplication>& newApps,
                                  const std::vector<uint32_t>& leftOut) {
  return PatchMaker(file, index, leftOut).make(newApps);
}

} // namespace corvane
