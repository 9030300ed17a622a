// The DWG reader's entry: a DWG file (R13 to R2018) turned into the DXF
// text of the same drawing, of the DWG's own release, which the host then
// loads as it loads a DXF file, so that nothing above the drawing database
// knows which format a drawing came from. The DWG is only read.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dwg/dwg_sections.h"
#include "dwg/dxf_object_recorder.h"
#include "dxf/dxf_scanner.h"

namespace corvane::dwg {

// What a read is for. The whole drawing: everything the reader can decode,
// for a drawing that is listed, edited and saved. An export: a drawing
// only read, which needs every entity of the two spaces listed with its
// kind, layer and colour, but the data of its own only of the entities an
// export converts or places (3D faces, 2D solids, meshes, 3D solids and
// bodies, block references and blocks); the rest are written as listed
// ones are. Left out: the vertices of other polylines, the attributes of
// block references, the pictures of blocks and entities, the OBJECTS and
// CLASSES sections, the tables but those of linetypes, layers,
// applications and block records, the header variables but the three the
// loader takes ($ACADVER, $DWGCODEPAGE, $HANDSEED), and of the blocks what
// the export's explode doesn't place (other kinds; everything in a block
// no reference reaches). The binary models of the spaces' solids stay
// beside the text (DwgAsDxf::models).
enum class DwgReadScope : uint8_t { kWholeDrawing, kExport };

// A solid's binary model: the entity it belongs to and its bytes (kept in
// the data-storage section from R2013 on, in the entity before).
struct DwgStoredModel {
  uint64_t entity = 0;
  std::string data;
};

struct DwgAsDxf {
  DwgVersion version = DwgVersion::kR2000;
  std::string text; // the DXF: HEADER, CLASSES, TABLES, BLOCKS, ENTITIES, OBJECTS (and ACDSDATA)
  // What the DXF loader's scan would find in the text: its objects, the
  // inconsistencies it reports and the file's layout (reportDxfObjects
  // hands them to the loader).
  std::vector<DwgDxfObject> objects;
  std::vector<DwgDxfInconsistency> inconsistencies;
  DxfLayout layout;
  // Objects the reader could only list (handle, kind and common data, none
  // of their own data): their handles, and their kinds with how many of
  // each, by kind. Empty for an export.
  std::vector<uint64_t> listedHandles;
  std::vector<std::pair<std::string, uint32_t>> listedKinds;
  // An export's binary models of the solids of model and paper space, as
  // read, by entity handle (ascending): their ACDSDATA records hold no 310
  // groups, so that no model is written as hex only to be read back. A
  // solid in a block keeps its bytes in its record, which the explode
  // copies.
  std::vector<DwgStoredModel> models;
};

// Whether FILE starts as a DWG of any version ("AC1012" ... "AC1032" and
// the versions before and after them): readDwgAsDxf reads R13 to R2018 and
// refuses the others by name.
bool isDwgFile(std::string_view file);
// Whether PATH names a DWG by its extension (".dwg", any case): no DXF
// text is ever written under such a name.
bool isDwgName(std::string_view path);

// Reads FILE, a DWG of R13 to R2018, into the DXF text of its drawing, all
// of it or what an export needs (SCOPE). Throws DwgError ("SECTION at byte
// OFFSET: WHAT") for a file that can't be trusted: cut, damaged, hostile,
// password-protected, of another version. Every size the file states is
// checked against the bytes behind it before it is used, so memory stays
// within a small multiple of the file's size. Objects an export doesn't
// read are not read, nor checked.
DwgAsDxf readDwgAsDxf(std::span<const uint8_t> file, DwgReadScope scope = DwgReadScope::kWholeDrawing);

} // namespace corvane::dwg
