#include "dwg/dxf_text_writer.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "dxf/dxf_cursor.h"
#include "dxf/dxf_values.h"

namespace corvane::dwg {

namespace {

// Every group code's line, made when the host is compiled: the writer
// appends one per group.
struct CodeLines {
  std::array<char, 6> text[kMaxDxfCode + 1] = {};
  uint8_t length[kMaxDxfCode + 1] = {};
  constexpr CodeLines() {
    for (int c = 0; c <= kMaxDxfCode; ++c) {
      char digits[4] = {};
      size_t n = 0;
      for (int v = c; n == 0 || v > 0; v /= 10) digits[n++] = static_cast<char>('0' + v % 10);
      size_t at = 0;
      for (size_t pad = n; pad < 3; ++pad) text[c][at++] = ' ';
      while (n > 0) text[c][at++] = digits[--n];
      text[c][at++] = '\n';
      length[c] = static_cast<uint8_t>(at);
    }
  }
};
constexpr CodeLines kCodeLines;

// How many bytes VALUE starts with that need no escape (no control
// character, no caret): eight at a time while they last.
size_t plainPrefix(std::string_view value) {
  constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
  size_t at = 0;
  for (; at + 8 <= value.size(); at += 8) {
    uint64_t w;
    std::memcpy(&w, value.data() + at, 8);
    const uint64_t carets = w ^ (kOnes * '^');
    // A byte below 32, or a caret (a zero byte after the XOR), sets its high bit.
    if ((((w - kOnes * 32) & ~w) | ((carets - kOnes) & ~carets)) & kHighs) break;
  }
  while (at < value.size() && static_cast<unsigned char>(value[at]) >= 32 && value[at] != '^') ++at;
  return at;
}

// Appends the first N bytes at GROUP (N <= kWidth, kWidth bytes there): a
// copy of a width the compiler knows, cut back to N. A short group is
// appended without a copy of variable length.
template <size_t kWidth> void appendGroup(std::string& out, const char* group, size_t n) {
  const size_t at = out.size();
  out.append(group, kWidth);
  out.resize(at + n);
}

} // namespace

// What the scan's ownGroup and subGroup note, group by group (see
// dxf_scanner.cpp); values are read back from the text as the scan reads
// them.
void DxfGroupNotes::noteSlow(int code, size_t groupBegin, std::string_view text, size_t valueBegin,
                             size_t valueEnd) {
  if (code == 0 && groups > 1) ++laterZeroGroups;
  const auto at = [&](size_t offset) { return static_cast<uint32_t>(offset - base); };
  const std::string_view value = text.substr(valueBegin, valueEnd - valueBegin);
  const auto integer = [&] {
    DxfGroupView g;
    g.code = code;
    g.value = value;
    return g.integer();
  };
  const auto clamped = [](long long v) {
    return static_cast<int>(v < -2000000000 ? -2000000000 : v > 2000000000 ? 2000000000 : v);
  };
  // A VERTEX is counted by its last 70 and 71 to 74, extended data or not.
  if (code == 70) vertexFlags = static_cast<int>(integer());
  else if (code >= 71 && code <= 74) faceIndex[code - 71] = clamped(integer());
  if (code >= 1000) {
    if (!inXData && !xdataClosed && code == 1001) {
      inXData = true;
      xdataBegin = at(groupBegin);
    }
    return;
  }
  if (inXData) {
    inXData = false;
    xdataClosed = true;
    xdataEnd = at(groupBegin);
  }
  if (xdataClosed) return;
  const auto trimmed = [&](Span& span) {
    if (span.found()) return;
    const std::string_view t = trimBlanks(value);
    if (t.empty()) return;
    span.begin = at(static_cast<size_t>(t.data() - text.data()));
    span.end = span.begin + static_cast<uint32_t>(t.size());
  };
  switch (code) {
  case 5: trimmed(handle); break;
  case 105: trimmed(handle105); break;
  case 2: trimmed(name); break;
  case 8:
    if (!layer.found() && !value.empty()) layer = Span{at(valueBegin), at(valueEnd)};
    break;
  case 62:
    if (!hasColor) {
      hasColor = true;
      const long long c = integer();
      color = static_cast<int16_t>(c < -32768 ? -32768 : c > 32767 ? 32767 : c);
    }
    break;
  case 67:
    if (integer() == 1) paperSpace = true;
    break;
  case 70:
    if (!has70) {
      has70 = true;
      flags = integer();
      flagsValue = Span{at(valueBegin), at(valueEnd)};
    }
    break;
  case 71: meshM = static_cast<int>(integer()); break;
  case 72: meshN = static_cast<int>(integer()); break;
  default: break;
  }
}

size_t DxfTextWriter::codeLine(int code, char* line) {
  if (code >= 0 && code <= kMaxDxfCode) {
    std::memcpy(line, kCodeLines.text[code].data(), 6);
    return kCodeLines.length[code];
  }
  char* end = std::to_chars(line, line + 12, code).ptr;
  *end++ = '\n';
  return static_cast<size_t>(end - line);
}

size_t DxfTextWriter::code(int code) {
  const size_t begin = out_.size();
  char line[16];
  out_.append(line, codeLine(code, line));
  return begin;
}

void DxfTextWriter::text(int c, std::string_view value) {
  const size_t begin = out_.size();
  // Most texts are short and need no escape: the group in one append.
  char group[256];
  const size_t valueAt = codeLine(c, group);
  const size_t plain = plainPrefix(value);
  if (plain == value.size() && value.size() < sizeof group - valueAt - 1) {
    std::memcpy(group + valueAt, value.data(), value.size());
    group[valueAt + value.size()] = '\n';
    const size_t n = valueAt + value.size() + 1;
    if (n <= 64)
      appendGroup<64>(out_, group, n);
    else
      out_.append(group, n);
    done(c, begin, begin + valueAt);
    return;
  }
  out_.append(group, valueAt);
  out_.append(value.substr(0, plain));
  for (char ch : value.substr(plain)) {
    const auto u = static_cast<unsigned char>(ch);
    if (u < 32) {
      out_.push_back('^');
      out_.push_back(static_cast<char>(u + 64));
    } else if (ch == '^') {
      out_.append("^ ");
    } else {
      out_.push_back(ch);
    }
  }
  out_.push_back('\n');
  done(c, begin, begin + valueAt);
}

void DxfTextWriter::raw(int c, std::string_view value) {
  const size_t begin = code(c);
  const size_t valueBegin = out_.size();
  out_.append(value).push_back('\n');
  done(c, begin, valueBegin);
}

void DxfTextWriter::integer(int c, long long value) {
  const size_t begin = out_.size();
  // The code, then the value padded to six columns, in one append.
  char group[40];
  const size_t valueAt = codeLine(c, group);
  char digits[20];
  const size_t n = static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
  size_t at = valueAt;
  for (size_t pad = n; pad < 6; ++pad) group[at++] = ' ';
  std::memcpy(group + at, digits, n);
  at += n;
  group[at++] = '\n';
  appendGroup<sizeof group>(out_, group, at);
  done(c, begin, begin + valueAt);
}

void DxfTextWriter::real(int c, double value) {
  const size_t begin = out_.size();
  char group[16 + kDxfRealChars];
  const size_t valueAt = codeLine(c, group);
  char* end = writeDxfReal(group + valueAt, value);
  *end++ = '\n';
  appendGroup<sizeof group>(out_, group, static_cast<size_t>(end - group));
  done(c, begin, begin + valueAt);
}

void DxfTextWriter::point(int c, const Vec3& p) {
  real(c, p.x);
  real(c + 10, p.y);
  real(c + 20, p.z);
}

void DxfTextWriter::point2(int c, double x, double y) {
  real(c, x);
  real(c + 10, y);
}

void DxfTextWriter::handle(int c, uint64_t value) {
  const size_t begin = out_.size();
  static const char kHex[] = "0123456789ABCDEF";
  char digits[17];
  char* p = digits + 16;
  *p = '\n';
  do {
    *--p = kHex[value & 15];
    value >>= 4;
  } while (value != 0);
  char group[32];
  const size_t valueAt = codeLine(c, group);
  const size_t n = static_cast<size_t>(digits + 17 - p);
  std::memcpy(group + valueAt, p, n);
  appendGroup<sizeof group>(out_, group, valueAt + n);
  done(c, begin, begin + valueAt);
}

void DxfTextWriter::binary(int c, std::string_view bytes) {
  // Each byte's two digits, looked up at once.
  static const std::array<std::array<char, 2>, 256> kPairs = [] {
    std::array<std::array<char, 2>, 256> pairs{};
    const char* hex = "0123456789ABCDEF";
    for (size_t b = 0; b < 256; ++b) pairs[b] = {hex[b >> 4], hex[b & 15]};
    return pairs;
  }();
  constexpr size_t kPiece = 127;
  for (size_t at = 0; at < bytes.size(); at += kPiece) {
    const size_t begin = code(c);
    const std::string_view piece = bytes.substr(at, kPiece);
    const size_t start = out_.size();
    out_.resize(start + 2 * piece.size() + 1);
    char* p = out_.data() + start;
    for (char ch : piece) {
      std::memcpy(p, kPairs[static_cast<unsigned char>(ch)].data(), 2);
      p += 2;
    }
    *p = '\n';
    done(c, begin, start);
  }
}

std::string dxfUnicodeEscapes(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    size_t length = b >= 0xF0 && b < 0xF8 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    if (b < 0x80 || length == 1 || i + length > utf8.size()) {
      out.push_back(utf8[i++]);
      continue;
    }
    uint32_t c = b & (0x7F >> length);
    bool valid = true;
    for (size_t k = 1; k < length; ++k) {
      const auto t = static_cast<unsigned char>(utf8[i + k]);
      if ((t & 0xC0) != 0x80) valid = false;
      c = (c << 6) | (t & 0x3F);
    }
    if (!valid) {
      out.push_back(utf8[i++]);
      continue;
    }
    char hex[16];
    const int n = std::snprintf(hex, sizeof hex, "\\U+%04X", static_cast<unsigned>(c));
    out.append(hex, static_cast<size_t>(n));
    i += length;
  }
  return out;
}

} // namespace corvane::dwg
