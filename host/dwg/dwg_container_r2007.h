// R2007's own container (AC1021): the file header, page map, section map
// and data pages, each protected by an interleaved Reed-Solomon code and
// compressed by R2007's own method. Reads them into the sections the object
// reader needs.
#pragma once

#include <cstdint>
#include <span>

#include "dwg/dwg_sections.h"

namespace corvane::dwg {

// Reads FILE, an AC1021 drawing, into its sections (its objects all at once
// or as asked for: READING). Throws DwgError naming
// the structure and byte offset of the first thing that can't be trusted
// (a size past the file, a checksum, a page that decompresses past its
// stated size); every size the file states is checked before it is used.
DwgSections readR2007Container(std::span<const uint8_t> file, DwgObjectReading reading = DwgObjectReading::kAll);

} // namespace corvane::dwg
