// R2007's own compression, an LZ77 variant: runs of literal bytes (stored
// in a shuffled order, pieces of 1, 4 and 8 bytes taken from the end of
// each 32-byte chunk first) alternate with copies of bytes already written,
// each opcode giving an offset back and a length; the low three bits of a
// copy's last opcode byte are the length of the literal run that follows.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace corvane::dwg {

// Decompresses SRC into OUT, which must come out exactly full: OUT's size is
// the length the file states. Throws DwgError naming SECTION, at byte
// OFFSET + the output written so far, when the data runs past OUT (the page
// decompresses past its stated size), ends inside an opcode or a literal
// run, copies from before OUT's start, or leaves OUT short. Never reads
// outside SRC nor writes outside OUT.
void decompressR2007(std::span<const uint8_t> src, std::span<uint8_t> out, std::string_view section,
                     uint64_t offset);

} // namespace corvane::dwg
