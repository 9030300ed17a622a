// The streams of a run of bit-packed data. Before R2007 an object, or the
// header variables, is one stream: data, text and handles in turn. From
// R2007 on text is kept apart, at the end of the data: its last bit says
// whether any is there; before that bit a 16-bit size in bits (its high bit
// set: a second word before it holds the size's higher bits), and before
// the size the text itself. Handles follow the data (R2007 and later, and
// the objects of R2000 and R2004).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "dwg/bit_reader.h"
#include "dwg/dwg_sections.h"

namespace corvane::dwg {

// Where the text of data that ends at bit END lies (bits of IN's bytes).
struct DwgStringStream {
  bool present = false; // the flag bit
  uint64_t begin = 0;   // the first bit of the text
  uint64_t end = 0;     // the bit after it (where its size is stored)
  uint64_t dataEnd = 0; // where the data before the text ends: BEGIN, or
                        // the flag bit when there is no text
};
// Reads the flag and size that end at bit END of IN's bytes. The text must
// lie between bit START and them; throws DwgError (IN's section) otherwise.
DwgStringStream findStringStream(const BitReader& in, uint64_t start, uint64_t end);

// The readers of a header or classes section. `data` is positioned after
// the section's sizes (from R2007 on, after its size in bits too) and ends
// where the data ends; text() is where its strings are read, handles() its
// handles.
struct DwgSectionStreams {
  BitReader data;
  BitReader strings;
  BitReader handleStream;
  bool separate = false; // R2007 and later
  BitReader& text() { return separate ? strings : data; }
  BitReader& handles() { return separate ? handleStream : data; }
};
// Frames SECTION as frameSection does (sentinels, size, CRC) and finds its
// streams. NAME names it in errors.
DwgSectionStreams sectionStreams(std::span<const uint8_t> section, std::span<const uint8_t, 16> begin,
                                 std::string_view name, const DwgSections& sections);

} // namespace corvane::dwg
