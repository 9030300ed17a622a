// The compression of R2004-family pages (R2004, R2010, R2013, R2018): an
// LZ77 variant of literal runs and back references, ended by opcode 0x11.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace corvane::dwg {

// Decompresses IN, a page that may hold up to LIMIT bytes, into OUT (at
// most LIMIT bytes), and returns how many bytes were written (the bytes of
// OUT after them may be written over: short copies are made a fixed width
// at a time). A page that holds more than OUT wants is left once OUT is
// full, and the result is then OUT's size plus one: a page padded to its
// full size for a section of a few hundred bytes costs those bytes, not
// the padding. Throws DwgError (SECTION, at byte BASE plus the input
// offset) when the output would pass LIMIT ("the page decompresses past
// its stated size"), when IN ends before the closing opcode, when a back
// reference reaches before the output's start, or on an opcode the
// compression doesn't have. Every step consumes input, so a hostile page
// ends in time proportional to IN and OUT.
size_t decompressR2004(std::span<const uint8_t> in, std::span<uint8_t> out, size_t limit, std::string_view section,
                       uint64_t base);

} // namespace corvane::dwg
