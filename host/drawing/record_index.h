// The index of a drawing's objects: one AcDbObjectRecord per object, in
// chunks that never move; side tables for what few records need (where the
// parts of a record's text lie, handles other than the one in its text,
// extended data replaced since load, the VERTEX counts of polygon meshes);
// the index by handle; and drawing order, which objects added since load
// change. A record's text lies in the file's bytes (DrawingFile::text) or,
// for an added object, in the index's own store, which never moves either.
// Changes run on the host's command thread, and stop the work that reads
// beside it first (add() calls beforeHostChange(); the owner does for the
// rest). The const calls that read texts, layouts and handles may run on
// such a thread meanwhile; those that build an index on first use
// (findByHandle, the model-space walk) run on the command thread only.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "drawing/drawing_file.h"
#include "drawing/object_record.h"

namespace corvane {

class Drawing;

// Where the parts of a record's text lie, relative to its start.
struct RecordLayout {
  uint32_t ownLength = 0;  // its own groups; VERTEX/ATTRIB/SEQEND records follow
  uint32_t xdataBegin = 0; // the stored extended data: [xdataBegin, xdataEnd)
  uint32_t xdataEnd = 0;
  uint32_t nameOffset = 0; // value of group 8 (entities) or 2 (tables, records)
  uint32_t nameLength = 0;
};

// The VERTEX records of a polygon mesh of the file, counted at load (see
// DxfObjectInfo): all of them, the control points, the surface points.
struct MeshCounts {
  uint32_t all = 0, control = 0, surface = 0;
};

class RecordIndex {
public:
  // The records of OWNER (each record's drawing), whose texts lie in FILE's
  // bytes; both outlive the index.
  RecordIndex(Drawing& owner, const DrawingFile& file) : owner_(owner), file_(file) {}
  RecordIndex(const RecordIndex&) = delete;
  RecordIndex& operator=(const RecordIndex&) = delete;

  // ---- records ----------------------------------------------------------------
  size_t count() const { return count_; }
  // The record at SERIAL (file order, then the order added), or null past
  // the end.
  AcDbObjectRecord* at(size_t serial) const;
  // True when RECORD is one of this index's records; compares addresses
  // only, so a forged pointer is safe to ask about.
  bool owns(const AcDbObjectRecord* record) const;
  // A new record at the end, of the owner, serial count() - 1; everything
  // else about it is the caller's to fill in.
  AcDbObjectRecord& add();

  // ---- texts and where their parts lie ---------------------------------------
  // The text of a record as stored (empty for one the host made without
  // text): with the VERTEX/ATTRIB/SEQEND records that belong to it, or its
  // own groups only.
  std::string_view fullText(const AcDbObjectRecord& record) const;
  std::string_view ownText(const AcDbObjectRecord& record) const;
  RecordLayout layoutOf(const AcDbObjectRecord& record) const;
  // Sets where RECORD's parts lie: in the record when it has no extended
  // data, no VERTEX/ATTRIB/SEQEND records and a short name, aside otherwise.
  void setLayout(AcDbObjectRecord& record, const RecordLayout& layout);

  // ---- extended data -----------------------------------------------------------
  // The record's extended data as it stands now (in the file's form, 1001
  // groups and their items), and as stored.
  std::string_view xdataText(const AcDbObjectRecord& record) const;
  std::string_view storedXData(const AcDbObjectRecord& record) const;
  // The extended data that replaced the stored one since load; null while
  // the stored stands.
  const std::string* newXData(const AcDbObjectRecord& record) const { return newXData_.find(record.serial); }
  // Replaces the record's extended data with XDATA, or brings the stored
  // one back when XDATA is the stored text.
  void replaceXData(const AcDbObjectRecord& record, std::string xdata);

  // ---- handles ------------------------------------------------------------------
  // The record's handle: the one in its text, or the one it was given in
  // memory (assigned at load to an object without one, or in place of
  // another object's); 0 for none.
  uint64_t handleOf(const AcDbObjectRecord& record) const;
  // Gives RECORD the handle HANDLE (kept aside unless it is the one in its
  // text); GIVEN gives many at once, (serial, handle) pairs.
  void setHandle(AcDbObjectRecord& record, uint64_t handle);
  void giveHandles(std::vector<std::pair<uint32_t, uint64_t>> given);
  // The object with handle HEX (case-insensitive, leading zeros allowed),
  // erased ones included; null when there is none. The first call builds
  // the index by handle.
  AcDbObjectRecord* findByHandle(std::string_view hex) const;
  // The handle the next new object gets (takeHandle), and the handle after
  // the last one taken. startHandlesAt sets it (at load, past every handle
  // in the file and its $HANDSEED).
  uint64_t takeHandle() { return nextHandle_++; }
  uint64_t nextHandle() const { return nextHandle_; }
  void startHandlesAt(uint64_t handle) { nextHandle_ = handle; }

  // ---- polygon meshes -------------------------------------------------------------
  void setMeshCounts(const AcDbObjectRecord& record, MeshCounts counts) { meshCounts_[record.serial] = counts; }
  // The counts noted at load; null for a record that is no polygon mesh of
  // the file.
  const MeshCounts* meshCounts(const AcDbObjectRecord& record) const;

  // ---- added objects and drawing order ---------------------------------------------
  // Keeps TEXT in the index's store; the view stays valid as long as the
  // index.
  std::string_view keep(std::string_view text);
  // Places ADDED (a record just made by add() for an added object with
  // handle HANDLE) in drawing order after AFTER (after the objects already
  // added after AFTER), or at the end of model space when AFTER is null or
  // not one of the index's. SOLIDRECORD is the ACDSDATA record of its solid
  // model, or empty.
  void placeAdded(AcDbObjectRecord& added, uint64_t handle, const AcDbObjectRecord* after,
                  std::string_view solidRecord);
  size_t addedCount() const { return addedCount_; }
  // What stands for "at the end of model space" in addedAfter.
  static constexpr uint32_t kAtEnd = UINT32_MAX;
  // The serials of the objects added right after SERIAL (or kAtEnd), in the
  // order added; null when none.
  const std::vector<uint32_t>* addedAfter(uint32_t serial) const;
  // Each added object's ACDSDATA record, (serial, text), in the order added.
  const std::vector<std::pair<uint32_t, std::string_view>>& addedSolidRecords() const { return addedSolidRecords_; }
  // The ACDSDATA record holding RECORD's solid model, empty when none.
  std::string_view solidModelRecord(const AcDbObjectRecord& record) const;

  // Model space: entities of the ENTITIES section outside paper space, and
  // those added since, in drawing order, erased ones left out.
  static bool isModelSpace(const AcDbObjectRecord& record);
  std::vector<AcDbObjectRecord*> modelSpace() const;
  AcDbObjectRecord* firstModelSpace() const;
  AcDbObjectRecord* nextModelSpace(const AcDbObjectRecord* after) const; // null at the end
  AcDbObjectRecord* lastModelSpace() const;

private:
  static constexpr size_t kChunk = 1024;

  // Text of objects added since load, in chunks that never move.
  class TextStore {
  public:
    std::string_view keep(std::string_view text);

  private:
    static constexpr size_t kChunkBytes = 1 << 20;
    std::vector<std::unique_ptr<char[]>> chunks_;
    size_t used_ = 0, capacity_ = 0;
  };

  // Values for the few records that need one, by serial. Serials are given
  // out in order, so entries mostly arrive at the end.
  template <typename T> class BySerial {
  public:
    const T* find(uint32_t serial) const {
      auto it = lowerBound(serial);
      return it != entries_.end() && it->first == serial ? &it->second : nullptr;
    }
    void set(uint32_t serial, T value) {
      if (entries_.empty() || entries_.back().first < serial) {
        entries_.emplace_back(serial, std::move(value));
        return;
      }
      auto it = lowerBound(serial);
      if (it != entries_.end() && it->first == serial) it->second = std::move(value);
      else entries_.emplace(it, serial, std::move(value));
    }
    // Sets every value of MORE at once (MORE's win over those set before).
    void merge(std::vector<std::pair<uint32_t, T>> more);
    void erase(uint32_t serial) {
      auto it = lowerBound(serial);
      if (it != entries_.end() && it->first == serial) entries_.erase(it);
    }

  private:
    using Entries = std::vector<std::pair<uint32_t, T>>;
    typename Entries::const_iterator lowerBound(uint32_t serial) const {
      return std::lower_bound(entries_.begin(), entries_.end(), serial,
                              [](const auto& entry, uint32_t s) { return entry.first < s; });
    }
    typename Entries::iterator lowerBound(uint32_t serial) {
      return std::lower_bound(entries_.begin(), entries_.end(), serial,
                              [](const auto& entry, uint32_t s) { return entry.first < s; });
    }
    Entries entries_;
  };

  // The handle in RECORD's own groups (group 5, 105 in a DIMSTYLE record).
  std::optional<uint64_t> textHandle(const AcDbObjectRecord& record) const;
  void buildHandleIndex() const;
  void buildOrder() const;

  Drawing& owner_;
  const DrawingFile& file_;
  std::vector<std::unique_ptr<AcDbObjectRecord[]>> chunks_;
  std::vector<std::pair<uintptr_t, size_t>> chunkAddresses_; // sorted: address -> chunk
  size_t count_ = 0;
  BySerial<RecordLayout> layouts_; // records with kLayoutAside
  BySerial<uint64_t> handles_;     // handles other than the text's
  BySerial<std::string> newXData_; // extended data replaced since load
  std::unordered_map<uint32_t, MeshCounts> meshCounts_;
  uint64_t nextHandle_ = 1;
  mutable std::vector<std::pair<uint64_t, uint32_t>> handleIndex_;
  mutable bool handleIndexBuilt_ = false;
  // Added objects: their text, and where they stand in drawing order. An
  // added object follows the record it was added after (followers_, by
  // serial) or the end of model space (kAtEnd).
  TextStore store_;
  std::unordered_map<uint32_t, std::vector<uint32_t>> followers_;
  std::vector<std::pair<uint32_t, std::string_view>> addedSolidRecords_; // serial -> ACDSRECORD
  size_t addedCount_ = 0;
  mutable std::vector<uint32_t> order_;    // serials in drawing order, while objects were added
  mutable std::vector<uint32_t> position_; // serial -> index into order_
  mutable bool orderBuilt_ = false;
};

} // namespace corvane
