// The paged container of R2004, R2010, R2013 and R2018 drawings: a file
// header whose second half is encrypted, a page map (where each page lies),
// a section map (which pages make each section, in order), and data pages
// whose headers are encrypted and whose data is compressed (see
// r2004_decompressor.h). Every page keeps checksums over its header and
// its data.
#pragma once

#include <cstdint>
#include <span>

#include "dwg/dwg_sections.h"

namespace corvane::dwg {

// Reads FILE, a drawing of VERSION (kR2004, kR2010, kR2013 or kR2018), into
// its sections: AcDb:Header, AcDb:Classes, AcDb:Handles and AcDb:AcDbObjects
// (held in ownedObjects, or in objectPages to be read as asked for:
// READING), and AcDb:AcDsPrototype_1b when present. Checks the
// file header's CRC-32, every page's checksums and every size against the
// bytes behind it. Throws DwgError naming the structure ("file header",
// "page map", "section map", or the section a data page belongs to) and the
// file offset; a drawing whose data or sections are encrypted (password
// protection) is refused by name.
DwgSections readR2004Container(std::span<const uint8_t> file, DwgVersion version,
                               DwgObjectReading reading = DwgObjectReading::kAll);

// The 0x6C bytes at 0x80 as they are in the file are XORed with this
// sequence (from a linear congruential generator seeded with 1); exposed
// for tests that write file headers.
void r2004HeaderMask(std::span<uint8_t, 0x6C> mask);

} // namespace corvane::dwg
