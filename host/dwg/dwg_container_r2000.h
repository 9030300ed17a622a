// The container of R13, R14 and R2000 drawings: a file header at the start
// of the file with a locator (record number, offset, size) for each
// section, a CRC over the header and a sentinel after it. The sections lie
// in the file as they are; objects lie at file offsets.
#pragma once

#include <cstdint>
#include <span>

#include "dwg/dwg_sections.h"

namespace corvane::dwg {

// Reads FILE, a drawing of VERSION (kR13, kR14 or kR2000), into its
// sections: checks the file header's CRC and sentinel and that each
// section the reader needs (header variables, classes, object map) lies in
// the file. `objects` is FILE itself. Throws DwgError ("file header" and the
// byte offset) for anything else.
DwgSections readR2000Container(std::span<const uint8_t> file, DwgVersion version);

} // namespace corvane::dwg
