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

namespace corvane::dwg {

struct DwgAsDxf {
  DwgVersion version = DwgVersion::kR2000;
  std::string text; // the DXF: HEADER, CLASSES, TABLES, BLOCKS, ENTITIES, OBJECTS (and ACDSDATA)
  // Objects the reader could only list (handle, kind and common data, none
  // of their own data): their handles, and their kinds with how many of
  // each, by kind.
  std::vector<uint64_t> listedHandles;
  std::vector<std::pair<std::string, uint32_t>> listedKinds;
};

// Whether FILE starts as a DWG of any version ("AC1012" ... "AC1032" and
// the versions before and after them): readDwgAsDxf reads R13 to R2018 and
// refuses the others by name.
bool isDwgFile(std::string_view file);
// Whether PATH names a DWG by its extension (".dwg", any case): no DXF
// text is ever written under such a name.
bool isDwgName(std::string_view path);

// Reads FILE, a DWG of R13 to R2018, into the DXF text of its drawing.
// Throws DwgError ("SECTION at byte OFFSET: WHAT") for a file that can't be
// trusted: cut, damaged, hostile, password-protected, of another version.
// Every size the file states is checked against the bytes behind it before
// it is used, so memory stays within a small multiple of the file's size.
DwgAsDxf readDwgAsDxf(std::span<const uint8_t> file);

} // namespace corvane::dwg
