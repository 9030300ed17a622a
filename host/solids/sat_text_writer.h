// Writes a solid-model document as model text of the document's own
// version: what a drawing of R2007 or R2010 saved as DXF keeps in the
// groups 1 and 3 of a 3DSOLID, REGION or BODY (encodeModelText stores it
// there), when the drawing itself held the model as binary data.
//
// The text is the header line (version, record count, body count, flags),
// from version 2 on the product line (product, modeller version and save
// date, each as its length and text) and the units line (millimetres per
// unit, then the two tolerances), then one line per record: its kind, its
// values and " #". Values are written as text has them: a reference as
// "$n", a whole number as it is, any other number with 19 significant
// digits (as the CAD program writes them, so that it reads back exactly),
// a position or vector as its two or three numbers, a string as "@n text"
// ("n text" before version 7), a binary true or false as the word its
// field has in text (forward/reversed, single/double, out/in, I/F for an
// interval end, forward_v/reverse_v, rotate, reflect, shear, ...; "T"/"F"
// where the field is not one we know), an enumeration's number as its word
// where the field is known (the closure of a B-spline: open, closed,
// periodic) and as its number otherwise. A history section that follows a
// binary model is not carried.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "solids/sat_document.h"

namespace corvane::solids {

enum class SatTextStyle : uint8_t {
  kFile, // a .sat file: the save date kept, the end marker closing the text
  kDxf,  // as the CAD program stores model text in a DXF of R2000 and later:
         // the save date left empty, no end marker after the last record
};

// Writes DOC (read from text or binary) as model text into TEXT, each line
// ended by '\n'. False with a one-line REASON, TEXT then unspecified, when
// a value has no text form: a string holding a line break or another
// control character, a keyword that is empty or holds a blank.
bool writeSatText(const SatDocument& doc, SatTextStyle style, std::string& text, std::string& reason);

// Whether writeSatText would write DOC in STYLE: false with the REASON it
// would give where it would refuse. Walks the names and strings alone, so
// a reader that keeps a model binary can refuse what the text would.
bool hasSatTextForm(const SatDocument& doc, SatTextStyle style, std::string& reason);
// The same check in its two parts: the header's strings, and one record
// (for a reader that scans records without keeping them, scanSab).
bool satHeaderHasTextForm(const SatDocument& doc, SatTextStyle style, std::string& reason);
bool satRecordHasTextForm(const SatRecord& rec, std::string& reason);

// Reads binary model data (readSab) and writes it as model text. False with
// REASON when the data can't be read or written.
bool sabToSatText(const uint8_t* data, size_t size, SatTextStyle style, std::string& text, std::string& reason);

} // namespace corvane::solids
