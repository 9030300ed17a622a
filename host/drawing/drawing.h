// A drawing loaded from DXF, as the host's database (AcDbDatabase): the
// properties of its objects, their extended data, the registered
// applications, the layers, open and close, objects added and erased, and
// saving. It stands on two parts of its own:
// * file(): the file behind it, its bytes as read and how to write them
//   back (drawing_file.h);
// * records(): the index of its objects, their texts, handles and drawing
//   order (record_index.h).
// Saving writes the file's bytes back with only the changed parts replaced
// (save_patches.h), so an unchanged drawing saves byte-identical. The
// geometry of its entities is read by record_geometry.h. All of it runs on
// the host's command thread.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "acdb.h"
#include "drawing/drawing_bytes.h"
#include "drawing/drawing_file.h"
#include "drawing/object_record.h"
#include "drawing/record_index.h"
#include "drawing/save_patches.h"
#include "dxf/dxf_cursor.h"
#include "dxf/dxf_scanner.h"

namespace corvane {

class Drawing;

// A load: the drawing, or the one line "FILE:LINE: what" (or "FILE: why")
// that refuses the file.
struct DrawingLoadResult : HostResult {
  std::unique_ptr<Drawing> drawing;  // null when the file was refused
  std::vector<std::string> warnings; // one line each; the drawing loaded anyway
};

class Drawing : public AcDbDatabase {
public:
  // Loads the DXF file PATH. Refusals (and their one-line error) leave
  // nothing loaded; readable inconsistencies load with one warning each.
  // BYTES says how the file's bytes are held (see DrawingBytes): a drawing
  // that may be saved needs its own copy; one that is only read (an
  // export) maps the file, and is refused when the file changes while it
  // is being read.
  static DrawingLoadResult load(const std::string& path, DrawingBytes::Kind bytes = DrawingBytes::Kind::kCopy);
  // The same for TEXT already in memory, named NAME in messages; the file's
  // path is NAME, so save() writes there.
  static DrawingLoadResult loadText(std::string text, const std::string& name);

  ~Drawing() override;
  Drawing(const Drawing&) = delete;
  Drawing& operator=(const Drawing&) = delete;

  // The file behind the drawing (its path, version, style, encoding, and
  // whether a mapped file changed), and the index of its objects (records
  // by serial and by handle, their texts, model space in drawing order).
  const DrawingFile& file() const { return file_; }
  const RecordIndex& records() const { return index_; }
  const std::vector<std::string>& warnings() const { return warnings_; }
  // The ads_name tag of this drawing (see entity_names.h).
  long tag() const { return tag_; }

  // ---- saving ----------------------------------------------------------------
  // True after a change that save() would write (extended data, a new
  // registered application, an object added or erased); false again after a
  // successful save.
  bool modified() const { return changes_ != savedChanges_; }
  // Counts every such change since the drawing was loaded: equal counts
  // mean nothing changed in between.
  uint64_t changeCount() const { return changes_; }
  // Writes the drawing to its file's path / PATH (DrawingFile::write);
  // saveAs makes PATH the drawing's path. A drawing read from a mapped file
  // that has changed since is not saved: its bytes are no longer the ones
  // that were read.
  HostResult save();
  HostResult saveAs(const std::string& path);
  // Writes what save() would write to PATH, the same way, and leaves the
  // drawing's path and its unsaved state alone. A new file at PATH gets the
  // drawing file's permissions (read and write bits), within MAXMODE.
  // TARGET says how PATH is taken (FileReplacer::Target).
  SaveResult saveCopy(const std::string& path, unsigned maxMode = 0666,
                      FileReplacer::Target target = FileReplacer::Target::kFollowLinks) const;
  // The bytes save() would write.
  std::string savedText() const;

  // ---- properties of a record (one of this drawing's) ------------------------
  std::string_view typeName(const AcDbObjectRecord& record) const; // "3DFACE"
  std::string handleText(const AcDbObjectRecord& record) const;    // "2F"
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
  Acad::ErrorStatus openObject(AcDbObjectRecord& record, AcDb::OpenMode mode, bool openErased, bool entityOnly,
                               AcDbObject*& object);
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
  // How new objects are written (besides file().style()): whether the
  // file's objects carry handles (R13 and later, or $HANDLING 1), and
  // whether they carry subclass markers and owner handles (R13 and later).
  bool handlesOn() const { return file_.layout().handlesOn; }
  bool hasSubclassMarkers() const { return file_.version() >= "AC1012"; }
  // A new handle for an object about to be added (its VERTEX and SEQEND
  // records take theirs too); $HANDSEED is raised past it on save.
  uint64_t takeHandle() { return index_.takeHandle(); }
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

  // ---- layers ---------------------------------------------------------------
  AcDbObjectRecord* layerTable() const { return layerTable_; }
  // The LAYER record named NAME (case-insensitive); null when none.
  AcDbObjectRecord* findLayer(std::string_view name) const;
  // A layer's colour: |group 62| (a layer that is off stores it negative),
  // 7 when absent.
  int layerColor(const AcDbObjectRecord& layer) const;

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
    // An export's binary models of the solids of model and paper space,
    // as the reader found them, by entity handle (ascending): their model
    // records in the text hold none of their bytes.
    std::vector<std::pair<uint64_t, std::string>> models;
    // The model of the solid with HANDLE kept here; null for none.
    const std::string* model(uint64_t handle) const;
  };
  const DwgOrigin* dwgOrigin() const { return dwg_.get(); }

protected:
  Acad::ErrorStatus openLayerTable(AcDbLayerTable*& table, AcDb::OpenMode mode) override;

private:
  class Loader; // drawing_load.cpp
  friend class Loader;

  explicit Drawing(std::string path);
  // What finds a file's objects: scanDxf, or what the DWG reader recorded
  // of the text it made. It reports them to the sink and gives the file's
  // layout (or why the file is refused).
  using ObjectFinder = std::function<DxfScanResult(std::string_view text, DxfObjectSink& sink)>;
  // Loads the objects of D's file into its records, found by FIND (null:
  // scanDxf, the file named NAME in messages).
  static DrawingLoadResult scan(std::unique_ptr<Drawing> drawing, const std::string& name,
                                const ObjectFinder& find = {});
  // The DWG held in D's file, read into DXF text and loaded from what its
  // reader recorded (drawing_dwg.cpp): all of it for a drawing that is
  // kept (BYTES kCopy), what an export needs for one only read (kMapped).
  static DrawingLoadResult loadDwg(std::unique_ptr<Drawing> d, const std::string& path, DrawingBytes::Kind bytes);

  DrawingFile file_;
  RecordIndex index_{*this, file_};
  std::vector<std::string> warnings_;
  std::map<std::string, AcDbObjectRecord*> layers_; // upper-case name -> first record
  AcDbObjectRecord* layerTable_ = nullptr;
  std::map<std::string, std::string> apps_; // upper-case -> name, file and new
  std::vector<NewApplication> newApps_;
  uint64_t changes_ = 0;
  uint64_t savedChanges_ = 0; // changes_ at the last successful save
  long tag_ = 0;
  // The object handed out for each record opened so far, by serial: one
  // look-up per open.
  std::vector<std::unique_ptr<AcDbObject>> objects_;
  // A drawing read from a DWG: where it came from, and the serials (in
  // order) of the records the reader could only list, which saves leave out.
  std::unique_ptr<DwgOrigin> dwg_;
  std::vector<uint32_t> listedSerials_;
};

// The drawing acdbCurDwg() returns; null for none. The caller keeps the
// drawing alive while it is current (a drawing that is destroyed stops
// being current).
void setCurrentDrawing(Drawing* drawing);
Drawing* currentDrawing();

} // namespace corvane
