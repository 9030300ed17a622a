// The header variables section (AcDb:Header), read whole and in order: the
// drawing's settings ($LTSCALE, $EXTMIN, ...), the seed of new handles, and
// the handles of the objects everything else hangs from (the tables'
// control objects, the model- and paper-space block records, the root
// dictionary). Which variables a file holds, and where, depends on its
// version; R2007 and later keep the texts in a string stream and the
// handles in a stream after the data.
#pragma once

#include <cstdint>
#include <string_view>
#include <variant>
#include <vector>

#include "dwg/bit_reader.h"
#include "dwg/dwg_sections.h"

namespace corvane::dwg {

// A variable's value: an integer (flags, bits, counts, colour-free enums),
// a real (lengths, angles; dates as Julian days with the day's fraction), a
// 2D or 3D point, a text (readT's form), a handle reference or a colour.
using DwgHeaderValue = std::variant<int64_t, double, Vec2, Vec3, std::string, DwgHandleRef, DwgColor>;

struct DwgHeaderVariable {
  // "$LTSCALE" for a variable DXF writes in its HEADER section; a plain
  // name ("BLOCK_CONTROL_OBJECT", "UNIT1_NAME", "FLAGS") for the ones it
  // doesn't. The name is a string literal.
  std::string_view name;
  // The group code DXF writes the value with (10 for a point's x), 0 for a
  // variable DXF doesn't write.
  int16_t group = 0;
  DwgHeaderValue value;
};

struct DwgHeaderVariables {
  // Every variable the file's version keeps, in the file's order. Values
  // the format stores that nothing is known of are read past and not kept.
  std::vector<DwgHeaderVariable> variables;
  // $HANDSEED: above every handle in the drawing.
  uint64_t handSeed = 0;

  // The variable NAME; null when the file's version doesn't keep it.
  const DwgHeaderVariable* find(std::string_view name) const;
  // The handle a handle variable names ("BLOCK_RECORD_MSPACE",
  // "DICTIONARY_NAMED_OBJECT", "$CLAYER", ...); 0 when absent.
  uint64_t handle(std::string_view name) const;
};

// What a read keeps of the variables: all of them, or only those that name
// objects (and the seed of handles), which is all an export needs.
enum class DwgHeaderKeeping : uint8_t { kAll, kHandles };

// Reads SECTIONS.header (its frame checked as frameSection does) from the
// first variable to the last, keeping what KEEPING says, and checks that the data ends where the last
// one does. The handle variables, among them:
//   BLOCK_CONTROL_OBJECT LAYER_CONTROL_OBJECT STYLE_CONTROL_OBJECT
//   LTYPE_CONTROL_OBJECT VIEW_CONTROL_OBJECT UCS_CONTROL_OBJECT
//   VPORT_CONTROL_OBJECT APPID_CONTROL_OBJECT DIMSTYLE_CONTROL_OBJECT
//   VX_CONTROL_OBJECT (R13 to R2000)
//   DICTIONARY_NAMED_OBJECT (the root dictionary) DICTIONARY_ACAD_GROUP
//   DICTIONARY_ACAD_MLINESTYLE DICTIONARY_LAYOUT DICTIONARY_PLOTSETTINGS
//   DICTIONARY_PLOTSTYLENAME (R2000+) DICTIONARY_MATERIAL DICTIONARY_COLOR
//   (R2004+) DICTIONARY_VISUALSTYLE (R2007+)
//   BLOCK_RECORD_MSPACE BLOCK_RECORD_PSPACE LTYPE_BYLAYER LTYPE_BYBLOCK
//   LTYPE_CONTINUOUS
// Throws DwgError ("AcDb:Header" and the byte) for data that runs short or
// doesn't end where the variables do.
DwgHeaderVariables readHeaderVariables(const DwgSections& sections,
                                       DwgHeaderKeeping keeping = DwgHeaderKeeping::kAll);

} // namespace corvane::dwg
