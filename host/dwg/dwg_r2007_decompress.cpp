#include "dwg/dwg_r2007_decompress.h"

#include <array>
#include <cstring>
#include <string>

#include "dwg/back_reference.h"
#include "dwg/dwg_error.h"

namespace corvane::dwg {
namespace {

// How a literal run is shuffled: a run is taken in chunks of 32 bytes, and
// each chunk is cut into pieces of 1, 4 or 8 bytes, written out last piece
// first (a piece keeps its own byte order). kPieces[n] lists the pieces of
// a chunk of n bytes from its start; a whole chunk is four pieces of 8.
constexpr std::array<std::string_view, 33> kPieces = {
    "",      "1",      "11",     "111",    "4",      "41",      "141",     "1411",   "8",
    "81",    "181",    "1811",   "84",     "841",    "1841",    "18411",   "88",     "818",
    "1881",  "88111",  "884",    "8841",   "88411",  "884111",  "888",     "8818",   "88181",
    "881811", "8884",  "88841",  "888411", "1188841", "8888"};

constexpr bool piecesAddUp() {
  for (size_t n = 0; n < kPieces.size(); ++n) {
    size_t sum = 0;
    for (char c : kPieces[n]) sum += size_t(c - '0');
    if (sum != n) return false;
  }
  return true;
}
static_assert(piecesAddUp(), "every chunk's pieces must cover the chunk");

// The same shuffle as a table: byte i of a chunk of n bytes comes from byte
// kFrom[n][i] of its source. A short chunk is copied byte by byte through
// it, with no branch on its pieces.
constexpr std::array<std::array<uint8_t, 32>, 33> shuffleTable() {
  std::array<std::array<uint8_t, 32>, 33> from{};
  for (size_t n = 0; n < kPieces.size(); ++n) {
    size_t end = n, at = 0;
    for (size_t k = kPieces[n].size(); k-- > 0;) {
      const size_t piece = size_t(kPieces[n][k] - '0');
      end -= piece;
      for (size_t b = 0; b < piece; ++b) from[n][at++] = uint8_t(end + b);
    }
  }
  return from;
}
constexpr auto kFrom = shuffleTable();

class Decoder {
public:
  Decoder(std::span<const uint8_t> src, std::span<uint8_t> out, std::string_view section, uint64_t offset)
      : src_(src), out_(out), section_(section), offset_(offset) {}

  void run() {
    uint8_t op = next();
    size_t length = 0;
    if ((op & 0xF0) == 0x20) {
      // A stream may open with three bytes whose last gives a short run.
      next();
      next();
      length = next() & 7;
      if (length == 0) fail("compressed data opens with an empty literal run");
    }
    while (pos_ < src_.size()) {
      if (length == 0) length = literalLength(op);
      literal(length);
      length = 0;
      if (pos_ >= src_.size()) break;
      op = next();
      size_t back = 0;
      instruction(op, back, length);
      while (true) {
        copy(back, length);
        length = op & 7;
        if (length != 0 || pos_ >= src_.size()) break;
        op = next();
        if ((op >> 4) == 0) break;
        if ((op >> 4) == 0x0F) op &= 0x0F;
        instruction(op, back, length);
      }
    }
    if (written_ != out_.size())
      fail("page decompresses to " + std::to_string(written_) + " bytes, " + std::to_string(out_.size()) +
           " stated");
  }

private:
  [[noreturn]] void fail(const std::string& what) const { throw DwgError(std::string(section_), offset_ + written_, what); }

  uint8_t next() {
    if (pos_ >= src_.size()) fail("compressed data ends inside an opcode");
    return src_[pos_++];
  }

  size_t literalLength(uint8_t op) {
    size_t n = size_t(op) + 8;
    if (n == 0x17) {
      uint8_t b = next();
      n += b;
      if (b == 0xFF) {
        unsigned w = 0;
        do {
          w = next();
          w |= unsigned(next()) << 8;
          n += w;
        } while (w == 0xFFFF);
      }
    }
    return n;
  }

  // Reads the rest of a copy instruction whose first byte is OP: where it
  // copies from (BACK bytes before the end of the output) and how much;
  // OP becomes the instruction's last byte.
  void instruction(uint8_t& op, size_t& back, size_t& length) {
    switch (op >> 4) {
    case 0: {
      length = size_t(op & 0x0F) + 0x13;
      size_t low = next();
      op = next();
      length += (op >> 3) & 0x10;
      back = (size_t(op & 0x78) << 5) + 1 + low;
      break;
    }
    case 1: {
      length = size_t(op & 0x0F) + 3;
      size_t low = next();
      op = next();
      back = (size_t(op & 0xF8) << 5) + 1 + low;
      break;
    }
    case 2: {
      back = next();
      back |= size_t(next()) << 8;
      length = op & 7;
      if ((op & 8) == 0) {
        op = next();
        length += op & 0xF8;
      } else {
        ++back;
        length += size_t(next()) << 3;
        op = next();
        length += (size_t(op & 0xF8) << 8) + 0x100;
      }
      break;
    }
    default: {
      length = op >> 4;
      size_t low = op & 0x0F;
      op = next();
      back = (size_t(op & 0xF8) << 1) + low + 1;
      break;
    }
    }
  }

  void literal(size_t n) {
    if (n > src_.size() - pos_) fail("compressed data ends inside a literal run");
    if (n > out_.size() - written_) fail("page decompresses past its stated size");
    uint8_t* d = out_.data() + written_;
    const uint8_t* s = src_.data() + pos_;
    written_ += n;
    pos_ += n;
    // Whole chunks: four pieces of 8, last first.
    for (; n >= 32; n -= 32, s += 32, d += 32) {
      std::memcpy(d, s + 24, 8);
      std::memcpy(d + 8, s + 16, 8);
      std::memcpy(d + 16, s + 8, 8);
      std::memcpy(d + 24, s, 8);
    }
    const std::array<uint8_t, 32>& from = kFrom[n];
    for (size_t i = 0; i < n; ++i) d[i] = s[from[i]];
  }

  void copy(size_t back, size_t length) {
    if (back == 0 || back > written_) fail("compressed data copies from before the start of the page");
    if (length > out_.size() - written_) fail("page decompresses past its stated size");
    copyBackReference(out_.data() + written_, back, length, out_.size() - written_);
    written_ += length;
  }

  std::span<const uint8_t> src_;
  std::span<uint8_t> out_;
  std::string_view section_;
  uint64_t offset_;
  size_t pos_ = 0;
  size_t written_ = 0;
};

} // namespace

void decompressR2007(std::span<const uint8_t> src, std::span<uint8_t> out, std::string_view section,
                     uint64_t offset) {
  Decoder(src, out, section, offset).run();
}

} // namespace corvane::dwg
