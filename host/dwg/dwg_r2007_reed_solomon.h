// R2007 keeps its file header and every page as Reed-Solomon code words of
// 255 bytes, interleaved: byte j of word i of a run of N words is stored at
// i + j * N. Each word holds its data bytes first and its parity after them.
// Two codes are used, each over its own field GF(256):
//   system code (file header, page map, section map): 239 data + 16 parity
//     bytes, field x^8+x^6+x^5+x^3+1;
//   data code (the pages of the sections): 251 data + 4 parity bytes, field
//     x^8+x^4+x^3+x^2+1.
// (Both were checked against real files: the parity of every word is zero
// at the code's roots.) Only checking is done here, no correction: a word
// whose parity disagrees is reported, and the reader refuses the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace corvane::dwg {

enum class R2007Code : uint8_t { kSystem, kData };

constexpr size_t kR2007WordBytes = 255;

// Data bytes per code word: 239 for the system code, 251 for the data code.
size_t r2007DataBytes(R2007Code code);

// Number of code words that carry DATABYTES bytes of data (at least one).
size_t r2007WordCount(R2007Code code, uint64_t dataBytes);

// Takes WORDS interleaved code words from ENCODED (at least words * 255
// bytes; the caller checks) and returns their data bytes, word after word
// (words * r2007DataBytes(code) bytes). FIRSTBADWORD gets the index of the
// first word whose parity disagrees with its data, nullopt when all agree.
std::vector<uint8_t> deinterleaveR2007(std::span<const uint8_t> encoded, size_t words, R2007Code code,
                                       std::optional<size_t>& firstBadWord);

// The inverse: DATA (padded with zeros to whole words) as interleaved code
// words with their parity, words * 255 bytes. The reader never writes a
// file; this is how tests build R2007 structures of their own.
std::vector<uint8_t> interleaveR2007(std::span<const uint8_t> data, R2007Code code);

} // namespace corvane::dwg
