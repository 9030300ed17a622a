// A drawing loaded from DXF: the file's bytes kept as read, an index of its
// objects (AcDbObjectRecord), the layer and registered-application tables,
// extended data and open state. Saving writes the loaded bytes back with
// only the changed parts replaced, so an unchanged drawing saves
// byte-identical. All of it runs on the host's command thread.
#pragma once

#include <algorithm>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "acdb.h"
#include "drawing/drawing_bytes.h"
#include "drawing/object_record.h"
#include "dxf/dxf_cursor.h"
#include "dxf/dxf_output.h"
#include "dxf/dxf_scanner.h"
#include "geometry/entity_geometry.h"

namespace corvane {

class Drawing;

struct DrawingLoadResult {
  std::unique_ptr<Drawing> drawing; // null when the file was refused
  std::string error;                // one line "FILE:LINE: what" when refused
  std::vector<std::string> warnings; // one line each; the drawing loaded anyway
};

struct SaveResult {
  bool ok = false;
  std::string error; // one line naming the file when !ok
  explicit operator bool() const { return ok; }
};

class Drawing : public AcDbDatabase {
public:
  // Loads the DXF file PATH. Refusals (and their one-line error) leave
  // nothing loaded; readable inconsistencies load with one warning each.
  // BYTES says how the file's bytes are held (see DrawingBytes): a drawing
  // that may be saved needs its own copy; one that is only read (an
  // export) maps the file, and is refused when the file changes while it
  // is being read.
  static DrawingLoadResult load(const std::string& path,
                                DrawingBytes::Kind bytes = DrawingBytes::Kind::kCopy);
  // The same for TEXT already in memory, named NAME in messages; path() is
  // NAME, so save() writes there.
  static DrawingLoadResult loadText(std::string text, const std::string& name);

  ~Drawing() override;
  Drawing(const Drawing&) = delete;
  Drawing& operator=(const Drawing&) = delete;

  // ---- file ----------------------------------------------------------------
  const std::string& path() const { return path_; }
  // True after a change that save() would write (extended data, a new
  // registered application, an object added or erased); false again after a
  // successful save.
  bool modified() const { return changes_ != savedChanges_; }
  // Counts every such change since the drawing was loaded: equal counts
  // mean nothing changed in between.
  uint64_t changeCount() const { return changes_; }
  // Writes the drawing to path() / PATH through a temporary file beside it;
  // the target is replaced only when every write and the close succeeded.
  // saveAs makes PATH the drawing's path. A drawing read from a mapped file
  // that has changed since is not saved: its bytes are no longer the ones
  // that were read.
  SaveResult save();
  SaveResult saveAs(const std::string& path);
  // Writes what save() would write to PATH, the same way, and leaves the
  // drawing's path and its unsaved state alone. A new file at PATH gets the
  // drawing file's permissions (read and write bits), within MAXMODE.
  SaveResult saveCopy(const std::string& path, unsigned maxMode = 0666) const;
  // True when PATH names the file the drawing was loaded from or last saved
  // to, by any name (a link, another hard link): the same device and inode.
  // While loaded, that file is held with a shared lock, so that a writer
  // that takes an exclusive one (the module's world file) is refused.
  bool isOwnFile(const std::string& path) const;
  // The bytes save() would write.
  std::string savedText() const;
  const std::string& version() const { return layout_.version; } // $ACADVER, "" if none
  // How the file writes its groups: text or binary, and new groups in its
  // form. Everything that adds groups to the drawing encodes them with it.
  const DxfStyle& style() const { return layout_.style; }
  DxfEncoding encoding() const { return layout_.style.encoding; }
  const std::vector<std::string>& warnings() const { return warnings_; }
  // Whether the file behind a mapped drawing changed since it was read
  // (DrawingBytes::changed, one fstat); false for a drawing with its own
  // copy. fileCutShort() is the part of it that needs no system call.
  bool fileChanged() const { return bytes_.changed(); }
  bool fileCutShort() const { return bytes_.cutShort(); }

  // ---- objects ---------------------------------------------------------------
  size_t recordCount() const { return count_; }
  // The record at SERIAL (file order), or null past the end.
  AcDbObjectRecord* recordAt(size_t serial) const;
  // True when RECORD is one of this drawing's records; compares addresses
  // only, so a forged pointer is safe to ask about.
  bool owns(const AcDbObjectRecord* record) const;
  // Model space: entities of the ENTITIES section outside paper space, and
  // those added since, in drawing order, erased ones left out.
  std::vector<AcDbObjectRecord*> modelSpace() const;
  AcDbObjectRecord* firstModelSpace() const;
  AcDbObjectRecord* nextModelSpace(const AcDbObjectRecord* after) const; // null at the end
  AcDbObjectRecord* lastModelSpace() const;
  static bool isModelSpace(const AcDbObjectRecord& record);
  // The object with handle HEX (case-insensitive, leading zeros allowed),
  // erased ones included; null when there is none.
  AcDbObjectRecord* findByHandle(std::string_view hex) const;

  // ---- properties of a record (one of this drawing's) ------------------------
  std::string_view typeName(const AcDbObjectRecord& record) const; // "3DFACE"
  std::string handleText(const AcDbObjectRecord& record) const;     // "2F"
  // Group 8 as stored ("0" when absent); for table records group 2.
  std::string_view layerName(const AcDbObjectRecord& record) const;
  // 0 by block, 256 by layer (also when absent or out of range), else 1..255.
  int colorIndex(const AcDbObjectRecord& record) const;
  // The object's own groups as they stand now (current extended data
  // included; VERTEX/ATTRIB/SEQEND records not). Views stay valid until the
  // record's extended data changes or the drawing is destroyed.
  std::vector<DxfGroupView> groups(const AcDbObjectRecord& record) const;
  // The VERTEX/ATTRIB/SEQEND groups that follow the object, as stored.
  std::vector<DxfGroupView> subEntityGroups(const AcDbObjectRecord& record) const;
  // Names of the applications whose extended data the object holds, in order.
  std::vector<std::string> xdataApplications(const AcDbObjectRecord& record) const;

  // Geometry views; nullopt when the record is not of that class.
  std::optional<FaceGeometry> faceGeometry(const AcDbObjectRecord& record) const;
  std::optional<SolidGeometry> solidGeometry(const AcDbObjectRecord& record) const;
  std::optional<PolyfaceGeometry> polyfaceGeometry(const AcDbObjectRecord& record) const;
  std::optional<PolygonMeshGeometry> polygonMeshGeometry(const AcDbObjectRecord& record) const;
  // A polygon mesh of the file whose grid has more than MORETHAN vertices,
  // as its grid and a reader of its vertices straight from the drawing's
  // bytes (no list of them is made); nullopt for any other record. The
  // reader reads the drawing: it must not outlive it.
  std::optional<PolygonMeshStream> polygonMeshStream(const AcDbObjectRecord& record, size_t moreThan) const;
  // 3DSOLID, BODY and REGION: groups 1/3 as stored, and for R2013+ files
  // the binary model of the ACDSRECORD linked to the entity's handle.
  std::optional<SolidModelData> solidModelData(const AcDbObjectRecord& record) const;

  // ---- registered applications ----------------------------------------------
  // 1 to 255 letters, digits, '$', '-' and '_'.
  static bool isValidAppName(std::string_view name);
  // Adds NAME to the APPID table unless present (case-insensitive); the new
  // record is saved with the drawing. False only for an invalid name.
  bool registerApp(std::string_view name);
  bool isAppRegistered(std::string_view name) const;

  // ---- extended data (see AcDbObject::xData / setXData) ---------------------
  // A new chain (ads_newrb, texts by acad__strdup) for APP (null: all
  // applications), starting with its 1001 item; null when there is none.
  // Caller releases with ads_relrb.
  resbuf* xData(const AcDbObjectRecord& record, const char* app) const;
  // Replaces the data of each application the chain names (a 1001 item
  // starts an application's items); other applications stay in place, new
  // ones are appended. A chain naming an application with no items removes
  // that application's data, so reading it back gives null. Items whose
  // value did not change keep their text as the file had it. eOk, or
  // eInvalidInput (chain empty or not starting with 1001, an application
  // not registered or named twice, an item extended data can't hold:
  // unknown type, text with a line end or over 255 bytes, a brace other
  // than "{"/"}" or unbalanced, a non-finite real, a 1071 outside 32 bits,
  // binary over 127 bytes, a 1005 that is not a handle). Does not check the
  // open state (AcDbObject::setXData does). Nothing changes on refusal.
  Acad::ErrorStatus setXData(AcDbObjectRecord& record, const resbuf* chain);

  // ---- open and close ------------------------------------------------------
  // The statuses of acdbOpenAcDbObject; ENTITYONLY adds eNotThatKindOfClass.
  Acad::ErrorStatus openObject(AcDbObjectRecord& record, AcDb::OpenMode mode, bool openErased,
                               bool entityOnly, AcDbObject*& object);
  // Ends one open: eOk or eWasNotOpenForRead.
  Acad::ErrorStatus closeObject(AcDbObjectRecord& record);
  // Erases a record (or brings it back). An erased entity of model space is
  // left out of model space and of the saved file (with its VERTEX, ATTRIB
  // and SEQEND records, and its solid-model record); objects added after it
  // keep their place.
  void setErased(AcDbObjectRecord& record, bool erased);
  // Test hook, so that scripts can meet "cannot open": holds a record open
  // as another reader or writer would. Returns the open status; release
  // with closeObject.
  Acad::ErrorStatus holdOpen(AcDbObjectRecord& record, AcDb::OpenMode mode);

  // ---- adding objects --------------------------------------------------------
  // How new objects are written (besides style()): whether the file's
  // objects carry handles (R13 and later, or $HANDLING 1), and whether they
  // carry subclass markers and owner handles (R13 and later).
  bool handlesOn() const { return layout_.handlesOn; }
  bool hasSubclassMarkers() const { return layout_.version >= "AC1012"; }
  // A new handle for an object about to be added (its VERTEX and SEQEND
  // records take theirs too); $HANDSEED is raised past it on save.
  uint64_t takeHandle() { return nextHandle_++; }
  // The handle of the model-space block record (the owner of model-space
  // entities), "0" when the drawing has none.
  std::string modelSpaceOwner() const;
  // Adds an entity to model space. TEXT is its whole DXF text in the
  // drawing's own form: its groups (handle HANDLE from takeHandle when
  // handlesOn(), owner and subclass markers when hasSubclassMarkers()), its
  // extended data, and the VERTEX, ATTRIB and SEQEND records that belong to
  // it. It goes after AFTER in drawing order (after the objects already
  // added after AFTER), or at the end of model space when AFTER is null.
  // SOLIDRECORD is the whole ACDSDATA record of a solid model stored there
  // (R2013 and later), empty otherwise. Returns the new record, or null when
  // TEXT does not start with an entity's 0 group.
  AcDbObjectRecord* addEntity(std::string_view text, uint64_t handle, const AcDbObjectRecord* after,
                              std::string_view solidRecord = {});
  // The ACDSDATA record holding RECORD's solid model, empty when none.
  std::string_view solidModelRecord(const AcDbObjectRecord& record) const;

  // ---- layers ---------------------------------------------------------------
  AcDbObjectRecord* layerTable() const { return layerTable_; }
  // The LAYER record named NAME (case-insensitive); null when none.
  AcDbObjectRecord* findLayer(std::string_view name) const;
  // A layer's colour: |group 62| (a layer that is off stores it negative),
  // 7 when absent.
  int layerColor(const AcDbObjectRecord& layer) const;

  // The text of a record, as stored (empty for one the host made without
  // text): its own groups, and with the records that belong to it.
  std::string_view ownText(const AcDbObjectRecord& record) const;
  std::string_view fullText(const AcDbObjectRecord& record) const;

  // Where the parts of a record's text lie, relative to its start.
  struct RecordLayout {
    uint32_t ownLength = 0;  // its own groups; VERTEX/ATTRIB/SEQEND records follow
    uint32_t xdataBegin = 0; // the stored extended data: [xdataBegin, xdataEnd)
    uint32_t xdataEnd = 0;
    uint32_t nameOffset = 0; // value of group 8 (entities) or 2 (tables, records)
    uint32_t nameLength = 0;
  };
  RecordLayout layoutOf(const AcDbObjectRecord& record) const;
  // The record's handle: the one in its text, or the one it was given in
  // memory (assigned at load to an object without one, or in place of
  // another object's).
  uint64_t handleOf(const AcDbObjectRecord& record) const;
  // The extended data that replaced the stored one since load (in the
  // file's form, 1001 groups and their items); null while the stored stands.
  const std::string* newXData(const AcDbObjectRecord& record) const { return newXData_.find(record.serial); }

  // The ads_name tag of this drawing (see entity_names.h).
  long tag() const { return tag_; }

  // ---- a drawing read from a DWG (see dwg/dwg_reader.h) ----------------------
  // Its text is the DXF the reader made of the DWG. save() refuses it (the
  // DWG is never written), and so does saveAs to the DWG itself or to a
  // ".dwg" name; saveAs writes that DXF with the user's changes, less the
  // objects the reader could only list, and makes the drawing a DXF drawing
  // of the new path (whose later saves leave them out too). Null for a
  // drawing read from DXF.
  struct DwgOrigin {
    std::string version; // the DWG's $ACADVER ("AC1015")
    // What a DXF written from it can't carry: the kinds the reader could
    // only list, and how many of each, by kind.
    std::vector<std::pair<std::string, uint32_t>> listedKinds;
  };
  const DwgOrigin* dwgOrigin() const { return dwg_.get(); }

protected:
  Acad::ErrorStatus openLayerTable(AcDbLayerTable*& table, AcDb::OpenMode mode) override;

private:
  class Loader;
  friend class Loader;
  struct NewApp {
    std::string name;
    uint64_t handle = 0;
  };
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
      auto it = std::lower_bound(entries_.begin(), entries_.end(), serial,
                                 [](const auto& entry, uint32_t s) { return entry.first < s; });
      return it != entries_.end() && it->first == serial ? &it->second : nullptr;
    }
    void set(uint32_t serial, T value) {
      if (entries_.empty() || entries_.back().first < serial) {
        entries_.emplace_back(serial, std::move(value));
        return;
      }
      auto it = std::lower_bound(entries_.begin(), entries_.end(), serial,
                                 [](const auto& entry, uint32_t s) { return entry.first < s; });
      if (it != entries_.end() && it->first == serial) it->second = std::move(value);
      else entries_.emplace(it, serial, std::move(value));
    }
    // Sets every value of MORE at once (MORE's win over those set before).
    void merge(std::vector<std::pair<uint32_t, T>> more) {
      if (more.empty()) return;
      const size_t before = entries_.size();
      entries_.insert(entries_.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
      auto bySerial = [](const auto& a, const auto& b) { return a.first < b.first; };
      std::stable_sort(entries_.begin() + static_cast<ptrdiff_t>(before), entries_.end(), bySerial);
      std::inplace_merge(entries_.begin(), entries_.begin() + static_cast<ptrdiff_t>(before), entries_.end(),
                         bySerial);
      // Of equal serials the later stands.
      size_t kept = 0;
      for (size_t i = 0; i < entries_.size(); ++i) {
        if (i + 1 < entries_.size() && entries_[i + 1].first == entries_[i].first) continue;
        if (kept != i) entries_[kept] = std::move(entries_[i]);
        ++kept;
      }
      entries_.resize(kept);
    }
    void erase(uint32_t serial) {
      auto it = std::lower_bound(entries_.begin(), entries_.end(), serial,
                                 [](const auto& entry, uint32_t s) { return entry.first < s; });
      if (it != entries_.end() && it->first == serial) entries_.erase(it);
    }

  private:
    std::vector<std::pair<uint32_t, T>> entries_;
  };

  explicit Drawing(std::string path);
  static DrawingLoadResult scan(std::unique_ptr<Drawing> drawing, const std::string& name);
  // The DWG held in D's bytes, read into DXF text and scanned (drawing_dwg.cpp).
  static DrawingLoadResult loadDwg(std::unique_ptr<Drawing> d, const std::string& path);
  AcDbObjectRecord& addRecord();
  // Sets where RECORD's parts lie (in the record when it has no extended
  // data and no VERTEX/ATTRIB/SEQEND records, aside otherwise), and which
  // handle it has (aside unless it is the one in its text).
  void setLayout(AcDbObjectRecord& record, const RecordLayout& layout);
  void setHandle(AcDbObjectRecord& record, uint64_t handle);
  // The handle in RECORD's own groups (group 5, 105 in a DIMSTYLE record).
  std::optional<uint64_t> textHandle(const AcDbObjectRecord& record) const;
  std::string_view xdataText(const AcDbObjectRecord& record) const;
  std::string_view storedXData(const AcDbObjectRecord& record) const;
  // PART of the file's bytes has been read for an export and won't be
  // needed again soon (see DrawingBytes::doneWith).
  void doneWith(std::string_view part) const;
  std::vector<DxfPatch> patches() const;
  // The saved text of the objects added after SERIAL (or at the end, for
  // kAtEnd), with what was added after them in turn; the highest handle
  // written goes to HIGHEST.
  std::string addedTextAfter(uint32_t serial, uint64_t& highest) const;
  std::string addedText(const AcDbObjectRecord& added) const;
  void buildOrder() const;
  SaveResult writeTo(const std::string& path, unsigned newFileMode = 0666) const;
  void holdFile();
  void buildHandleIndex() const;

  std::string path_;
  int heldFd_ = -1; // path_'s file, locked shared
  DrawingBytes bytes_;
  std::string_view text_; // bytes_.view()
  DxfLayout layout_;
  std::vector<std::unique_ptr<AcDbObjectRecord[]>> chunks_;
  std::vector<std::pair<uintptr_t, size_t>> chunkAddresses_; // sorted: address -> chunk
  size_t count_ = 0;
  std::vector<std::string> warnings_;
  std::map<std::string, AcDbObjectRecord*> layers_; // upper-case name -> first record
  AcDbObjectRecord* layerTable_ = nullptr;
  std::map<std::string, std::string> apps_;        // upper-case -> name, file and new
  std::vector<NewApp> newApps_;
  uint64_t nextHandle_ = 1;
  uint64_t changes_ = 0;
  uint64_t savedChanges_ = 0; // changes_ at the last successful save
  long tag_ = 0;
  // The VERTEX records of each polygon mesh of the file, counted at load
  // (see DxfObjectInfo), by serial.
  struct MeshCounts {
    uint32_t all = 0, control = 0, surface = 0;
  };
  std::unordered_map<uint32_t, MeshCounts> meshCounts_;
  BySerial<RecordLayout> layouts_;     // records with kLayoutAside
  BySerial<uint64_t> handles_;         // handles other than the text's
  BySerial<std::string> newXData_;     // extended data replaced since load
  mutable std::vector<std::pair<uint64_t, uint32_t>> handleIndex_;
  mutable bool handleIndexBuilt_ = false;
  // Added objects: their text, and where they stand in drawing order. An
  // added object follows the record it was added after (followers_, by
  // serial) or the end of model space (kAtEnd).
  static constexpr uint32_t kAtEnd = UINT32_MAX;
  TextStore store_;
  std::unordered_map<uint32_t, std::vector<uint32_t>> followers_;
  std::vector<std::pair<uint32_t, std::string_view>> addedSolidRecords_; // serial -> ACDSRECORD
  size_t addedCount_ = 0;
  mutable std::vector<uint32_t> order_;    // serials in drawing order, while objects were added
  mutable std::vector<uint32_t> position_; // serial -> index into order_
  mutable bool orderBuilt_ = false;
  // The object handed out for each record opened so far, by serial: one
  // look-up per open.
  std::vector<std::unique_ptr<AcDbObject>> objects_;
  // A drawing read from a DWG: where it came from, and the serials (in
  // order) of the records the reader could only list.
  std::unique_ptr<DwgOrigin> dwg_;
  std::vector<uint32_t> listedSerials_;
};

// The drawing acdbCurDwg() returns; null for none. The caller keeps the
// drawing alive while it is current (a drawing that is destroyed stops
// being current).
void setCurrentDrawing(Drawing* drawing);
Drawing* currentDrawing();

} // namespace corvane
