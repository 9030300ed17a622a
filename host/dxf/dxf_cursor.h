// Walks the groups of a stretch of a DXF file held in memory, in either of
// the file's forms: text (a code line, then a value line, each ended by
// "\n" or "\r\n"; the last line may lack its end) or binary (a one- or
// two-byte code, then the value in its code's binary type). The cursor only
// reads; views point into the bytes it was given.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "dxf/dxf_values.h"

namespace corvane {

struct DxfGroupView {
  int code = 0;
  DxfEncoding encoding = DxfEncoding::kText;
  std::string_view value; // the value as stored: a text file's value line
                          // without its line end (blanks kept); in a binary
                          // file a string without its NUL, a number's bytes
                          // or a chunk's bytes without their length
  size_t begin = 0;       // offset of the group in the cursor's bytes
  size_t end = 0;         // offset just after the group

  // The value read as what its code carries, whatever form the file stores
  // it in. Everything outside the cursor reads values through these.
  double real() const {       // 0 when the value is not a number
    double v;
    return encoding == DxfEncoding::kText && readPlainDxfReal(value, v) ? v : realSlow();
  }
  long long integer() const { // 0 when the value is not an integer
    long long v;
    return encoding == DxfEncoding::kText && readPlainDxfInt(value, v) ? v : integerSlow();
  }
  // A text value (names, handles, strings), blanks kept. A number or chunk
  // stored in binary has no text: empty (read it with real(), integer() or
  // bytes()).
  std::string_view text() const {
    if (encoding == DxfEncoding::kText || dxfBinaryType(code) == DxfBinaryType::kString) return value;
    return {};
  }
  // A binary chunk (codes 310..319, 1004): the bytes it holds, which a text
  // file writes in hex. False (OUT empty) for malformed hex.
  bool bytes(std::string& out) const;

private:
  double realSlow() const;
  long long integerSlow() const;
};

class DxfGroupCursor {
public:
  // BYTES is a run of whole groups of a file stored in ENCODING.
  DxfGroupCursor(std::string_view bytes, DxfEncoding encoding) : bytes_(bytes), encoding_(encoding) {}
  // The next group, or false at the end of the bytes. A group that can't be
  // read (a code line that is not a number, a code without a value, a
  // binary group cut short) also ends the walk and sets failed(); bytes the
  // loader accepted never do.
  inline bool next(DxfGroupView& group);
  bool failed() const { return failed_; }
  size_t position() const { return pos_; }

private:
  bool nextSlow(DxfGroupView& group);

  std::string_view bytes_;
  size_t pos_ = 0;
  DxfEncoding encoding_;
  bool failed_ = false;
};

// One line of TEXT starting at POS: sets LINE (without its end) and returns
// the offset after the line end (TEXT's size for a last line without one).
inline size_t readDxfLine(std::string_view text, size_t pos, std::string_view& line) {
  const char* base = text.data();
  size_t size = text.size();
  size_t i = pos;
  // Eight bytes at a time: a byte equal to '\n' becomes zero after the xor,
  // and the lowest flagged byte of the classic zero-byte test is exact.
  if constexpr (std::endian::native == std::endian::little) {
    while (i + 8 <= size) {
      uint64_t w;
      std::memcpy(&w, base + i, 8);
      uint64_t x = w ^ 0x0A0A0A0A0A0A0A0AULL;
      uint64_t t = (x - 0x0101010101010101ULL) & ~x & 0x8080808080808080ULL;
      if (t != 0) {
        i += static_cast<size_t>(__builtin_ctzll(t) >> 3);
        break;
      }
      i += 8;
    }
  }
  while (i < size && base[i] != '\n') ++i;
  size_t next = i < size ? i + 1 : size;
  size_t lineEnd = i;
  if (lineEnd > pos && base[lineEnd - 1] == '\r') --lineEnd;
  line = std::string_view(base + pos, lineEnd - pos);
  return next;
}

// The usual code line at P: up to three blanks, one to four digits, then
// "\n" or "\r\n". Sets CODE and returns where the next line starts, or null
// for any other line (which the general parser then reads). Looks at no
// more than the 10 bytes from P, which the caller guarantees are there.
[[gnu::always_inline]] inline const char* readUsualCodeLine(const char* p, int& code) {
  if constexpr (std::endian::native == std::endian::little) {
    // Most files pad codes to three columns ("  0", " 10", "330"): those
    // are read from one word, no byte waiting for the one before it.
    uint64_t w;
    std::memcpy(&w, p, 8);
    const auto byte = [w](int i) { return static_cast<unsigned>(w >> (8 * i)) & 0xFF; };
    const unsigned b0 = byte(0), b1 = byte(1), b2 = byte(2), b3 = byte(3);
    const unsigned d0 = b0 - '0', d1 = b1 - '0', d2 = b2 - '0';
    if (d2 <= 9 && (d1 <= 9 || (b1 == ' ' && b0 == ' ')) && (d0 <= 9 || b0 == ' ')) {
      const int v = static_cast<int>((d0 <= 9 ? d0 * 100 : 0) + (d1 <= 9 ? d1 * 10 : 0) + d2);
      if (b3 == '\n') {
        code = v;
        return p + 4;
      }
      if (b3 == '\r' && byte(4) == '\n') {
        code = v;
        return p + 5;
      }
    }
  }
  // Up to three leading blanks, without a branch per blank.
  p += *p == ' ';
  p += *p == ' ';
  p += *p == ' ';
  auto digit = [](char c) { return static_cast<unsigned>(static_cast<unsigned char>(c) - '0'); };
  if (digit(*p) > 9) return nullptr;
  int v = static_cast<int>(digit(*p++));
  for (int more = 0; more < 3 && digit(*p) <= 9; ++more) v = v * 10 + static_cast<int>(digit(*p++));
  if (*p == '\n') {
    ++p;
  } else if (*p == '\r' && p[1] == '\n') {
    p += 2;
  } else {
    return nullptr;
  }
  code = v;
  return p;
}

// The usual text group is read here, inline; everything else by nextSlow.
bool DxfGroupCursor::next(DxfGroupView& group) {
  int code;
  const char* after;
  if (encoding_ != DxfEncoding::kText || failed_ || bytes_.size() - pos_ < 16 ||
      (after = readUsualCodeLine(bytes_.data() + pos_, code)) == nullptr)
    return nextSlow(group);
  std::string_view value;
  group.begin = pos_;
  pos_ = readDxfLine(bytes_, static_cast<size_t>(after - bytes_.data()), value);
  group.code = code;
  group.encoding = DxfEncoding::kText;
  group.value = value;
  group.end = pos_;
  return true;
}

// Bytes of a binary value of each fixed-width type (DxfBinaryType order).
inline constexpr uint8_t kDxfBinaryWidths[] = {0, 8, 2, 4, 8, 1, 0};
static_assert(kDxfBinaryWidths[static_cast<int>(DxfBinaryType::kInt16)] == 2 &&
              kDxfBinaryWidths[static_cast<int>(DxfBinaryType::kBool)] == 1);

// Why a binary group could not be read.
enum class DxfBinaryProblem : uint8_t {
  kNone,
  kCutInCode,   // the bytes end inside the group code
  kCodeRange,   // the code lies outside kMinDxfCode..kMaxDxfCode
  kCutInValue,  // the bytes end inside the value (a string without its NUL)
};

// Reads the binary group at POS of BYTES (ENCODING one of the binary
// forms) into GROUP, offsets relative to BYTES. Returns kNone, or what
// was wrong; GROUP.code is set from kCodeRange on.
inline DxfBinaryProblem readBinaryGroup(std::string_view bytes, size_t pos, DxfEncoding encoding,
                                        DxfGroupView& group) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t size = bytes.size();
  size_t at = pos;
  int code;
  if (encoding == DxfEncoding::kBinaryByteCodes && at < size && p[at] != 255) {
    code = p[at++];
  } else {
    if (encoding == DxfEncoding::kBinaryByteCodes) ++at; // the 255 escape
    if (at + 2 > size) return DxfBinaryProblem::kCutInCode;
    code = static_cast<int16_t>(static_cast<uint16_t>(p[at] | (p[at + 1] << 8)));
    at += 2;
  }
  group.code = code;
  if (code < kMinDxfCode || code > kMaxDxfCode) return DxfBinaryProblem::kCodeRange;
  size_t length;
  size_t valueAt = at;
  DxfBinaryType type = kDxfBinaryTypes[static_cast<size_t>(code)];
  if (type == DxfBinaryType::kString) {
    // Strings are short (names, handles): eight bytes at a time, as
    // readDxfLine looks for its line end.
    size_t i = at;
    if constexpr (std::endian::native == std::endian::little) {
      while (i + 8 <= size) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        uint64_t t = (w - 0x0101010101010101ULL) & ~w & 0x8080808080808080ULL;
        if (t != 0) {
          i += static_cast<size_t>(__builtin_ctzll(t) >> 3);
          break;
        }
        i += 8;
      }
    }
    while (i < size && p[i] != 0) ++i;
    if (i >= size) return DxfBinaryProblem::kCutInValue;
    length = i - at;
    at = i + 1;
  } else {
    if (type == DxfBinaryType::kChunk) {
      if (at >= size) return DxfBinaryProblem::kCutInValue;
      length = p[at];
      valueAt = ++at;
    } else {
      length = kDxfBinaryWidths[static_cast<size_t>(type)];
    }
    if (length > size - at) return DxfBinaryProblem::kCutInValue;
    at += length;
  }
  group.encoding = encoding;
  group.value = std::string_view(bytes.data() + valueAt, length);
  group.begin = pos;
  group.end = at;
  return DxfBinaryProblem::kNone;
}

} // namespace corvane
