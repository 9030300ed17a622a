// The loader's single pass over a DXF file held in memory, text or binary:
// it checks every group (codes and numeric values), finds the file's
// structure and reports each object it meets to a sink as byte ranges into
// the file, so that the drawing can keep the bytes themselves and nothing
// is copied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dxf/dxf_values.h"
#include "runtime/host_result.h"

namespace corvane {

struct DxfRange {
  size_t begin = 0;
  size_t end = 0;
};

enum class DxfObjectRole : uint8_t {
  kEntity,      // a drawing object in ENTITIES or inside a block definition
  kBlockMarker, // BLOCK or ENDBLK
  kTable,       // a TABLE header (up to its first record)
  kTableRecord, // a record of a table (LAYER, APPID, ...)
  kObject,      // an object of the OBJECTS section
};

// One object as the scanner found it. Offsets are into the whole text;
// views point into it. VERTEX, ATTRIB and SEQEND belong to the entity
// before them: its range runs to the end of its SEQEND.
struct DxfObjectInfo {
  DxfObjectRole role = DxfObjectRole::kEntity;
  bool inBlock = false;    // inside a BLOCK definition
  bool paperSpace = false; // group 67 = 1
  size_t begin = 0;        // the object's 0 group
  size_t afterType = 0;    // just after the 0 group: where a handle would go
  size_t ownEnd = 0;       // end of its own groups (before its first VERTEX/ATTRIB/SEQEND)
  size_t end = 0;          // end of everything that belongs to it
  size_t xdataBegin = 0;   // its first 1001 group, or ownEnd when it has none
  size_t xdataEnd = 0;     // end of the extended data that follows xdataBegin
  std::string_view type;   // value of the 0 group, blanks trimmed
  std::string_view handle; // group 5 (105 in DIMSTYLE records), trimmed; empty if none
  std::string_view name;   // group 8 of an entity; group 2 of a table or table record
  std::string_view table;  // the table a table record belongs to ("LAYER")
  std::optional<int> color;  // group 62
  int polylineFlags = 0;     // group 70 of a POLYLINE
  // The VERTEX records of a POLYLINE: all, those with flag 16 (control
  // vertices), those with flag 8 and not 16 (vertices a smoothing added).
  uint32_t vertices = 0, controlVertices = 0, surfaceVertices = 0;
  uint32_t line = 0;         // line of the 0 group, from 1; in a binary file its offset
};

// Receives the objects in file order. An object's ordinal is the number of
// objects reported before it.
class DxfObjectSink {
public:
  virtual ~DxfObjectSink() = default;
  virtual void object(const DxfObjectInfo& info) = 0;
  // An object that reads but does not add up (a polyface face that names a
  // vertex the mesh lacks, a polygon mesh whose vertex count is not M x N).
  virtual void inconsistency(uint32_t ordinal, uint32_t line, std::string message) = 0;
  // The scan has read everything before OFFSET, and reports it every few
  // MiB: a sink may let those bytes' memory go. Views into them must stay
  // valid (the scan keeps some), so that memory must be one that can be
  // read back.
  virtual void passed(size_t offset) { (void)offset; }
};

struct DxfAppIdTable {
  size_t endTab = 0;      // the table's ENDTAB group: new records go before it
  DxfRange count;         // value bytes of the table's 70 group (empty range if none)
  long long countValue = 0; // and its value
  std::string handle;       // the table's own handle (owner of its records)
};

struct DxfAcdsRecord {
  uint64_t owner = 0; // handle of the entity the record belongs to (group 320)
  DxfRange range;     // the ACDSRECORD's groups
};

// What saving needs to know about the file besides its objects.
struct DxfLayout {
  std::string version;               // $ACADVER ("AC1015"); empty when absent
  std::string codePage;              // $DWGCODEPAGE ("ANSI_1252"); empty when absent
  DxfStyle style;                    // how the file writes groups
  std::optional<DxfRange> handSeed;  // value bytes of $HANDSEED (a string in either form)
  bool handlesOn = false;            // R13+ or $HANDLING 1
  std::optional<DxfAppIdTable> appIds;
  std::optional<size_t> tablesEnd;   // the ENDSEC group of TABLES
  size_t newTablesAt = 0;            // where a TABLES section would go
  std::optional<size_t> entitiesEnd; // the ENDSEC group of ENTITIES
  size_t newEntitiesAt = 0;          // where an ENTITIES section would go
  std::optional<size_t> acdsEnd;     // the ENDSEC group of ACDSDATA
  std::vector<DxfAcdsRecord> acdsRecords;
};

// A scan: the file's layout, or "LOCATION: what was wrong" (see
// dxfLocation).
struct DxfScanResult : HostResult {
  DxfLayout layout;
};

// Scans TEXT (a text or binary DXF file), naming it FILENAME in messages.
// Refuses DWG, UTF-16 text, CR-only line ends, an empty or truncated file,
// a code or numeric value that is not a number, a non-finite number and a
// file whose sections don't nest; what was sent to the sink before a
// refusal must then be dropped.
DxfScanResult scanDxf(std::string_view text, std::string_view fileName, DxfObjectSink& sink);

// Where a message points: "NAME:LINE" in a text file, "NAME: byte OFFSET"
// in a binary one.
std::string dxfLocation(std::string_view fileName, DxfEncoding encoding, uint64_t where);

} // namespace corvane
