// Walks the groups of a stretch of DXF text: a code line, then a value
// line, each ended by "\n" or "\r\n" (the last line may lack its end).
// The cursor only reads; views point into the text it was given.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace corvane {

struct DxfGroupView {
  int code = 0;
  std::string_view value; // the value as stored (a text file: the value line
                          // without its line end, blanks kept)
  size_t begin = 0;       // offset of the code line in the cursor's text
  size_t end = 0;         // offset just after the value line's line end

  // The value read as what its code carries, whatever form the file stores
  // it in. Everything outside the cursor reads values through these.
  double real() const;        // 0 when the value is not a number
  long long integer() const;  // 0 when the value is not a number
  std::string_view text() const { return value; } // blanks kept
};

class DxfGroupCursor {
public:
  explicit DxfGroupCursor(std::string_view text) : text_(text) {}
  // The next group, or false at the end of the text. A code line that is
  // not a number, or a code without a value line, also ends the walk and
  // sets failed(); text the loader accepted never does.
  bool next(DxfGroupView& group);
  bool failed() const { return failed_; }
  size_t position() const { return pos_; }

private:
  std::string_view text_;
  size_t pos_ = 0;
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

} // namespace corvane
