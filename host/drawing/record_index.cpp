#include "drawing/record_index.h"

#include <cstring>
#include <limits>

#include "dxf/dxf_cursor.h"
#include "dxf/dxf_values.h"
#include "runtime/background_work.h"

namespace corvane {

// ---- records ------------------------------------------------------------------

AcDbObjectRecord& RecordIndex::add() {
  beforeHostChange();
  if (count_ == chunks_.size() * kChunk) {
    chunks_.push_back(std::make_unique<AcDbObjectRecord[]>(kChunk));
    auto address = reinterpret_cast<uintptr_t>(chunks_.back().get());
    auto at = std::lower_bound(chunkAddresses_.begin(), chunkAddresses_.end(), std::make_pair(address, size_t{0}));
    chunkAddresses_.insert(at, {address, chunks_.size() - 1});
  }
  AcDbObjectRecord& r = chunks_[count_ / kChunk][count_ % kChunk];
  r.drawing = &owner_;
  r.serial = static_cast<uint32_t>(count_);
  ++count_;
  return r;
}

AcDbObjectRecord* RecordIndex::at(size_t serial) const {
  if (serial >= count_) return nullptr;
  return &chunks_[serial / kChunk][serial % kChunk];
}

bool RecordIndex::owns(const AcDbObjectRecord* record) const {
  auto address = reinterpret_cast<uintptr_t>(record);
  auto it = std::upper_bound(chunkAddresses_.begin(), chunkAddresses_.end(),
                             std::make_pair(address, std::numeric_limits<size_t>::max()));
  if (it == chunkAddresses_.begin()) return false;
  --it;
  uintptr_t offset = address - it->first;
  if (offset >= kChunk * sizeof(AcDbObjectRecord) || offset % sizeof(AcDbObjectRecord) != 0) return false;
  size_t serial = it->second * kChunk + offset / sizeof(AcDbObjectRecord);
  return serial < count_;
}

// ---- texts and where their parts lie ---------------------------------------------

std::string_view RecordIndex::fullText(const AcDbObjectRecord& r) const {
  if (r.has(record_flags::kNoText)) return {};
  if (r.has(record_flags::kAdded)) return {reinterpret_cast<const char*>(r.begin), r.length};
  return file_.text().substr(r.begin, r.length);
}

std::string_view RecordIndex::ownText(const AcDbObjectRecord& r) const {
  return fullText(r).substr(0, layoutOf(r).ownLength);
}

RecordLayout RecordIndex::layoutOf(const AcDbObjectRecord& r) const {
  if (r.has(record_flags::kLayoutAside)) return *layouts_.find(r.serial);
  return {r.length, r.length, r.length, r.nameOffset, r.nameLength};
}

void RecordIndex::setLayout(AcDbObjectRecord& r, const RecordLayout& layout) {
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

// ---- extended data -------------------------------------------------------------------

std::string_view RecordIndex::xdataText(const AcDbObjectRecord& r) const {
  if (const std::string* replaced = newXData(r)) return *replaced;
  return storedXData(r);
}

std::string_view RecordIndex::storedXData(const AcDbObjectRecord& r) const {
  const RecordLayout layout = layoutOf(r);
  return fullText(r).substr(layout.xdataBegin, layout.xdataEnd - layout.xdataBegin);
}

void RecordIndex::replaceXData(const AcDbObjectRecord& r, std::string xdata) {
  if (xdata == storedXData(r)) newXData_.erase(r.serial);
  else newXData_.set(r.serial, std::move(xdata));
}

// ---- handles ----------------------------------------------------------------------------

std::optional<uint64_t> RecordIndex::textHandle(const AcDbObjectRecord& r) const {
  // The scanner's rule: the first handle group with a value among the
  // object's own groups, up to the first ordinary group after its extended
  // data (other groups of 1000 and above are passed over).
  DxfGroupCursor cursor(ownText(r), file_.encoding());
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

uint64_t RecordIndex::handleOf(const AcDbObjectRecord& r) const {
  if (const uint64_t* given = handles_.find(r.serial)) return *given;
  return r.has(record_flags::kHandleInFile) ? textHandle(r).value_or(0) : 0;
}

void RecordIndex::setHandle(AcDbObjectRecord& r, uint64_t handle) {
  if (r.has(record_flags::kHandleInFile) && textHandle(r) == handle) handles_.erase(r.serial);
  else handles_.set(r.serial, handle);
}

void RecordIndex::buildHandleIndex() const {
  handleIndex_.clear();
  handleIndex_.reserve(count_);
  // Most handles are read from their objects' text, one object a few
  // hundred bytes after the other: asking for the text well ahead hides
  // most of the wait for memory.
  constexpr size_t kAhead = 16;
  for (size_t i = 0; i < count_; ++i) {
    if (i + kAhead < count_) __builtin_prefetch(fullText(*at(i + kAhead)).data());
    handleIndex_.emplace_back(handleOf(*at(i)), static_cast<uint32_t>(i));
  }
  std::sort(handleIndex_.begin(), handleIndex_.end());
  handleIndexBuilt_ = true;
}

AcDbObjectRecord* RecordIndex::findByHandle(std::string_view hex) const {
  std::optional<uint64_t> h = parseHandle(hex);
  if (!h || *h == 0) return nullptr;
  if (!handleIndexBuilt_) buildHandleIndex();
  auto it = std::lower_bound(handleIndex_.begin(), handleIndex_.end(), std::make_pair(*h, uint32_t{0}));
  if (it == handleIndex_.end() || it->first != *h) return nullptr;
  return at(it->second);
}

template <typename T> void RecordIndex::BySerial<T>::merge(std::vector<std::pair<uint32_t, T>> more) {
  if (more.empty()) return;
  const size_t before = entries_.size();
  entries_.insert(entries_.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
  auto bySerial = [](const auto& a, const auto& b) { return a.first < b.first; };
  std::stable_sort(entries_.begin() + static_cast<ptrdiff_t>(before), entries_.end(), bySerial);
  std::inplace_merge(entries_.begin(), entries_.begin() + static_cast<ptrdiff_t>(before), entries_.end(), bySerial);
  // Of equal serials the later stands.
  size_t kept = 0;
  for (size_t i = 0; i < entries_.size(); ++i) {
    if (i + 1 < entries_.size() && entries_[i + 1].first == entries_[i].first) continue;
    if (kept != i) entries_[kept] = std::move(entries_[i]);
    ++kept;
  }
  entries_.resize(kept);
}

void RecordIndex::giveHandles(std::vector<std::pair<uint32_t, uint64_t>> given) { handles_.merge(std::move(given)); }

// ---- polygon meshes ---------------------------------------------------------------------

const MeshCounts* RecordIndex::meshCounts(const AcDbObjectRecord& r) const {
  const auto it = meshCounts_.find(r.serial);
  return it == meshCounts_.end() ? nullptr : &it->second;
}

// ---- added objects and drawing order --------------------------------------------------

std::string_view RecordIndex::TextStore::keep(std::string_view text) {
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

std::string_view RecordIndex::keep(std::string_view text) { return store_.keep(text); }

void RecordIndex::placeAdded(AcDbObjectRecord& r, uint64_t handle, const AcDbObjectRecord* after,
                             std::string_view solidRecord) {
  bool anchored = after != nullptr && owns(after);
  followers_[anchored ? after->serial : kAtEnd].push_back(r.serial);
  if (!solidRecord.empty()) addedSolidRecords_.emplace_back(r.serial, store_.keep(solidRecord));
  nextHandle_ = std::max(nextHandle_, handle + 1);
  if (handleIndexBuilt_) {
    if (handleIndex_.empty() || handleIndex_.back().first < handle) handleIndex_.emplace_back(handle, r.serial);
    else handleIndexBuilt_ = false;
  }
  ++addedCount_;
  orderBuilt_ = false;
}

const std::vector<uint32_t>* RecordIndex::addedAfter(uint32_t serial) const {
  auto it = followers_.find(serial);
  return it == followers_.end() ? nullptr : &it->second;
}

std::string_view RecordIndex::solidModelRecord(const AcDbObjectRecord& r) const {
  if (r.has(record_flags::kAdded)) {
    for (const auto& [serial, text] : addedSolidRecords_)
      if (serial == r.serial) return text;
    return {};
  }
  if (!r.has(record_flags::kHandleInFile)) return {};
  const uint64_t handle = handleOf(r);
  for (const DxfAcdsRecord& a : file_.layout().acdsRecords)
    if (a.owner == handle) return file_.text().substr(a.range.begin, a.range.end - a.range.begin);
  return {};
}

bool RecordIndex::isModelSpace(const AcDbObjectRecord& r) {
  return r.role == RecordRole::kEntity && !r.has(record_flags::kInBlock) && !r.has(record_flags::kPaperSpace) &&
         !r.has(record_flags::kErased);
}

void RecordIndex::buildOrder() const {
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
    if (!at(i)->has(record_flags::kAdded)) visit(static_cast<uint32_t>(i));
  visit(kAtEnd);
  orderBuilt_ = true;
}

std::vector<AcDbObjectRecord*> RecordIndex::modelSpace() const {
  std::vector<AcDbObjectRecord*> out;
  if (addedCount_ == 0) {
    for (size_t i = 0; i < count_; ++i) {
      AcDbObjectRecord* r = at(i);
      if (isModelSpace(*r)) out.push_back(r);
    }
    return out;
  }
  if (!orderBuilt_) buildOrder();
  for (uint32_t serial : order_) {
    AcDbObjectRecord* r = at(serial);
    if (isModelSpace(*r)) out.push_back(r);
  }
  return out;
}

AcDbObjectRecord* RecordIndex::firstModelSpace() const {
  if (addedCount_ != 0) {
    if (!orderBuilt_) buildOrder();
    for (uint32_t serial : order_)
      if (isModelSpace(*at(serial))) return at(serial);
    return nullptr;
  }
  for (size_t i = 0; i < count_; ++i)
    if (isModelSpace(*at(i))) return at(i);
  return nullptr;
}

AcDbObjectRecord* RecordIndex::nextModelSpace(const AcDbObjectRecord* after) const {
  if (!owns(after)) return nullptr;
  if (addedCount_ != 0) {
    if (!orderBuilt_) buildOrder();
    for (size_t i = position_[after->serial] + 1; i < order_.size(); ++i)
      if (isModelSpace(*at(order_[i]))) return at(order_[i]);
    return nullptr;
  }
  for (size_t i = after->serial + 1; i < count_; ++i)
    if (isModelSpace(*at(i))) return at(i);
  return nullptr;
}

AcDbObjectRecord* RecordIndex::lastModelSpace() const {
  if (addedCount_ != 0) {
    if (!orderBuilt_) buildOrder();
    for (size_t i = order_.size(); i-- > 0;)
      if (isModelSpace(*at(order_[i]))) return at(order_[i]);
    return nullptr;
  }
  for (size_t i = count_; i-- > 0;)
    if (isModelSpace(*at(i))) return at(i);
  return nullptr;
}

} // namespace corvane
