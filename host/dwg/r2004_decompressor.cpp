#include "dwg/r2004_decompressor.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "dwg/back_reference.h"
#include "dwg/dwg_error.h"

namespace corvane::dwg {
namespace {

class Decompressor {
public:
  Decompressor(std::span<const uint8_t> in, std::span<uint8_t> out, size_t limit, std::string_view section,
               uint64_t base)
      : in_(in), out_(out), limit_(limit), section_(section), base_(base) {}

  size_t run() {
    uint8_t op = next();
    if (op < 0x10) {
      copyLiterals(literalLength(op));
      if (full_) return out_.size() + 1;
      op = next();
    }
    while (op != 0x11) {
      size_t count = 0, offset = 0, literals = 0;
      if (op >= 0x40) {
        count = (op >> 4) - 1;
        offset = ((op >> 2) & 3) | (size_t(next()) << 2);
        literals = op & 3;
      } else if (op >= 0x21) {
        count = op - 0x1E;
        offset = twoByteOffset(literals);
      } else if (op == 0x20) {
        count = longLength() + 0x21;
        offset = twoByteOffset(literals);
      } else if (op >= 0x10) {
        // 0x10 and 0x12 to 0x1F: far references, 0x4000 back and more; bit
        // 3 of the opcode is bit 14 of the distance.
        count = (op & 7) == 0 ? longLength() + 9 : (op & 7) + 2;
        offset = twoByteOffset(literals) + 0x3FFF + (size_t(op & 8) << 11);
      } else {
        fail(at_ - 1, "an opcode the compression doesn't have (" + std::to_string(op) + ")");
      }
      copyMatch(count, offset + 1);
      if (full_) return out_.size() + 1;
      if (literals == 0) {
        op = next();
        if (op >= 0x10) continue;
        literals = literalLength(op);
      }
      copyLiterals(literals);
      if (full_) return out_.size() + 1;
      op = next();
    }
    return written_;
  }

private:
  [[noreturn]] void fail(size_t at, const std::string& what) const {
    throw DwgError(std::string(section_), base_ + at, what);
  }

  uint8_t next() {
    if (at_ >= in_.size()) fail(at_, "the compressed data ends before its closing opcode");
    return in_[at_++];
  }

  // A literal run's length from its first byte (0x01..0x0F: 3 more than
  // it; 0x00: 0x0F, 0xFF for each further 0x00, then the first other byte).
  size_t literalLength(uint8_t first) {
    if (first != 0) return size_t(first) + 3;
    size_t total = 0x0F;
    uint8_t b;
    while ((b = next()) == 0) total += 0xFF;
    return total + b + 3;
  }

  size_t longLength() {
    size_t total = 0;
    uint8_t b;
    while ((b = next()) == 0) total += 0xFF;
    return total + b;
  }

  size_t twoByteOffset(size_t& literals) {
    uint8_t first = next();
    uint8_t second = next();
    literals = first & 3;
    return (first >> 2) | (size_t(second) << 6);
  }

  // How much of a copy of N bytes goes out: all of it, or, where the page
  // may hold more than the output wants, what fits (and the page is left).
  size_t fit(size_t n) {
    if (n <= out_.size() - written_) return n;
    if (n > limit_ - written_)
      fail(at_, "the page decompresses past its stated size of " + std::to_string(limit_) + " bytes");
    full_ = true;
    return out_.size() - written_;
  }

  void copyLiterals(size_t n) {
    if (n > in_.size() - at_) fail(at_, "a literal run of " + std::to_string(n) + " bytes runs past the page");
    const size_t m = fit(n);
    // A short run, where both sides have room, as one copy of a fixed
    // width: the bytes past the run are written over by what follows.
    if (m <= 16 && in_.size() - at_ >= 16 && out_.size() - written_ >= 16)
      std::memcpy(out_.data() + written_, in_.data() + at_, 16);
    else
      std::memcpy(out_.data() + written_, in_.data() + at_, m);
    at_ += n;
    written_ += m;
  }

  void copyMatch(size_t count, size_t distance) {
    if (distance > written_)
      fail(at_, "a back reference " + std::to_string(distance) + " bytes back, before the page's start");
    const size_t m = fit(count);
    copyBackReference(out_.data() + written_, distance, m, out_.size() - written_);
    written_ += m;
  }

  std::span<const uint8_t> in_;
  std::span<uint8_t> out_;
  size_t limit_; // the most the page may hold: OUT's size or more
  std::string_view section_;
  uint64_t base_;
  size_t at_ = 0;
  size_t written_ = 0;
  bool full_ = false; // OUT is full and the page holds more
};

} // namespace

size_t decompressR2004(std::span<const uint8_t> in, std::span<uint8_t> out, size_t limit, std::string_view section,
                       uint64_t base) {
  return Decompressor(in, out.first(std::min(out.size(), limit)), limit, section, base).run();
}

} // namespace corvane::dwg
