// What the DXF loader's scan (dxf/dxf_scanner.h) would find in the DXF
// text the DWG reader writes, recorded while it is written: each object's
// place and what the loader notes of it, the inconsistencies it reports,
// and the file's layout. The loader then takes the objects from here
// instead of scanning the text again. The scan's rules are followed object
// by object, so that a drawing read from a DWG is the drawing its text
// would give; a test scans the text and compares.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dwg/dwg_objects.h"
#include "dwg/dxf_text_writer.h"
#include "dxf/dxf_polyline_tally.h"
#include "dxf/dxf_scanner.h"

namespace corvane::dwg {

// One object of the text as the scan reports it (DxfObjectInfo), its
// places as offsets: BEGIN into the text, the others from BEGIN.
struct DwgDxfObject {
  static constexpr uint32_t kNone = UINT32_MAX;
  uint64_t begin = 0;
  uint32_t afterType = 0, ownEnd = 0, end = 0, xdataBegin = 0, xdataEnd = 0;
  uint32_t handle = kNone, handleEnd = 0; // the handle's value, kNone for none
  uint32_t name = kNone, nameEnd = 0;     // the name's value (8 or 2), kNone for none
  uint32_t table = kNone;                 // a table record: its table's object (an index)
  uint32_t line = 0;
  int polylineFlags = 0;
  uint32_t vertices = 0, controlVertices = 0, surfaceVertices = 0;
  int16_t color = 0;
  bool hasColor = false;
  bool paperSpace = false;
  bool inBlock = false;
  DxfObjectRole role = DxfObjectRole::kEntity;
};

struct DwgDxfInconsistency {
  uint32_t ordinal = 0; // the object's, as DxfObjectSink counts them
  uint32_t line = 0;
  std::string message;
};

// Follows the writing of a DXF text section by section. The writer tells
// it of every 0 group it writes itself (sections, ENDTAB, EOF) before
// writing it, and of every object's text (a piece) just after appending
// it; all other groups it writes itself are counted on W, pieces' groups
// by their notes.
class DxfObjectRecorder {
public:
  enum class Section : uint8_t { kHeader, kClasses, kTables, kBlocks, kEntities, kObjects, kAcdsData };

  // TEXT is the text being written through W; the results go to OBJECTS,
  // INCONSISTENCIES and LAYOUT. All must outlive the recorder.
  DxfObjectRecorder(const std::string& text, const DxfTextWriter& w, std::vector<DwgDxfObject>& objects,
                    std::vector<DwgDxfInconsistency>& inconsistencies, DxfLayout& layout);

  // A section's 0 SECTION group is about to be written at BEGIN.
  void section(Section section, size_t begin);
  // Its ENDSEC, a table's ENDTAB, the file's EOF is about to be written at
  // BEGIN.
  void endSection(size_t begin);
  void endTable(size_t begin);
  void endOfFile(size_t begin);
  // PIECE's text has just been appended, from BEGIN to the text's end;
  // its notes count from BEGIN.
  void piece(const DxfGroupNotes& notes, size_t begin);
  // HEADER's $ACADVER is VERSION, its $HANDSEED value lies at [BEGIN, END).
  void header(std::string_view version, size_t handSeedBegin, size_t handSeedEnd);
  // An ACDSRECORD of ACDSDATA at [BEGIN, END) for the entity OWNER.
  void acdsRecord(size_t begin, size_t end, uint64_t owner);

private:
  // A piece that is one object for the scan.
  void onePiece(const DxfGroupNotes& notes, size_t begin);
  // The line of a group starting now: two lines a group before it.
  uint32_t line() const;
  std::string_view typeAt(size_t begin, uint32_t& afterType) const;
  void start(DxfObjectRole role, const DxfGroupNotes& notes, size_t begin, std::string_view type,
             uint32_t afterType);
  void sub(const DxfGroupNotes& notes, size_t begin, std::string_view type);
  void finishSub();
  void finish(size_t end);
  bool inAppIdTable() const;

  const std::string& text_;
  const DxfTextWriter& w_;
  std::vector<DwgDxfObject>& objects_;
  std::vector<DwgDxfInconsistency>& inconsistencies_;
  DxfLayout& layout_;
  uint32_t pieceGroups_ = 0; // groups of the pieces so far
  Section section_ = Section::kHeader;
  bool firstSectionPlaced_ = false, entitiesPlaced_ = false;

  // The object being recorded.
  bool have_ = false;
  bool inOwn_ = false;
  DwgDxfObject cur_;
  bool isPolyline_ = false;
  int meshM_ = 0, meshN_ = 0;
  uint32_t table_ = DwgDxfObject::kNone; // the open table's object
  bool inTable_ = false;
  std::optional<DxfAppIdTable> appIdTable_; // the APPID table being recorded
  // Its VERTEX, ATTRIB and SEQEND records: the one being read, and the
  // vertices counted.
  std::string_view subType_;
  int subFlags_ = 0;
  int subIndex_[4] = {0, 0, 0, 0};
  DxfPolylineTally tally_;
};

// The objects of DXF reported to SINK as the scan of its text would report
// them: TEXT is DXF.text where the drawing now holds it (offsets hold).
void reportDxfObjects(const std::vector<DwgDxfObject>& objects, const std::vector<DwgDxfInconsistency>& inconsistencies,
                      std::string_view text, DxfObjectSink& sink);

} // namespace corvane::dwg
