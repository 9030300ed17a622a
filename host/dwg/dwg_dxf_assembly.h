// The drawing's DXF, put together from its objects in the order DXF keeps
// them: HEADER, CLASSES, TABLES (each table's control object, then its
// records), BLOCKS (each block record's BLOCK, its entities and ENDBLK),
// ENTITIES (model space, then the current paper space), OBJECTS (the named
// objects dictionary first), and ACDSDATA for R2013 and later (and for an
// export's binary models of R2004 to R2010; an export's records of the
// spaces' solids name their models, kept beside the text). Table
// records and dictionaries are decoded first, so that every other object
// can name the layers, linetypes, styles and blocks it refers to; every
// other object is decoded where its text goes, and recorded as the DXF
// loader's scan would find it (dxf_object_recorder.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dwg/dwg_file.h"
#include "dwg/dwg_reader.h"

namespace corvane::dwg {

// The header variables the DXF needs; those left 0 are found among the
// objects.
struct DwgHeaderValues {
  uint64_t handSeed = 0;
  uint64_t namedObjects = 0; // the root dictionary
  uint64_t modelSpace = 0;   // *Model_Space and *Paper_Space block records
  uint64_t paperSpace = 0;
  // The tables' control objects, in DXF's order: VPORT, LTYPE, LAYER,
  // STYLE, VIEW, UCS, APPID, DIMSTYLE, BLOCK_RECORD (0 where unknown).
  uint64_t controls[9] = {};
  // Every header variable the file keeps: those DXF writes go to the
  // HEADER section, in the file's order. Null for none.
  const DwgHeaderVariables* variables = nullptr;
};

// Decodes the objects of DWG that SCOPE needs and writes the drawing's DXF
// into OUT (text, its objects and layout, listed handles and kinds).
// Throws DwgError where an object can't be trusted.
void assembleDxf(const DwgFile& dwg, const DwgHeaderValues& header, std::vector<DwgStoredModel> models,
                 DwgReadScope scope, DwgAsDxf& out);

// $DWGCODEPAGE's name for a code page number ("ANSI_1252" for 30).
std::string codePageName(uint16_t codePage);

} // namespace corvane::dwg
