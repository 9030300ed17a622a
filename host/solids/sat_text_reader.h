// Reads the text form of a solid model (versions 1.06 to 7.0 and the later
// numbered versions): the header line (version, record count, body count,
// flags), the product and units lines where the version has them, then
// records ending with "#" up to "End-of-ACIS-data" (or the ASM equivalent,
// or the start of a history section; text ending after a whole record is
// accepted with `missingEndMarker` set). Returns false with a one-line reason
// on malformed or truncated text; `doc` is then unspecified.
#pragma once

#include <string>
#include <string_view>

#include "solids/sat_document.h"

namespace corvane::solids {

bool readSatText(std::string_view text, SatDocument& doc, std::string& reason);

} // namespace corvane::solids
