#include "dwg/dxf_text_writer.h"

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "dxf/dxf_values.h"

namespace corvane::dwg {

namespace {

// Every group code's line, made once: the writer appends one per group.
struct CodeLines {
  std::array<char, 6> text[kMaxDxfCode + 1];
  uint8_t length[kMaxDxfCode + 1];
  CodeLines() {
    for (int c = 0; c <= kMaxDxfCode; ++c) {
      char digits[8];
      const size_t n = static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, c).ptr - digits);
      size_t at = 0;
      for (size_t pad = n; pad < 3; ++pad) text[c][at++] = ' ';
      for (size_t i = 0; i < n; ++i) text[c][at++] = digits[i];
      text[c][at++] = '\n';
      length[c] = static_cast<uint8_t>(at);
    }
  }
};
const CodeLines kCodeLines;

} // namespace

void DxfTextWriter::code(int code) {
  if (code >= 0 && code <= kMaxDxfCode) {
    out_.append(kCodeLines.text[code].data(), kCodeLines.length[code]);
    return;
  }
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, code).ptr;
  out_.append(digits, static_cast<size_t>(end - digits)).push_back('\n');
}

void DxfTextWriter::text(int c, std::string_view value) {
  code(c);
  // Most texts need no escape: one append.
  size_t plain = 0;
  while (plain < value.size() && static_cast<unsigned char>(value[plain]) >= 32 && value[plain] != '^') ++plain;
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
}

void DxfTextWriter::raw(int c, std::string_view value) {
  code(c);
  out_.append(value).push_back('\n');
}

void DxfTextWriter::integer(int c, long long value) {
  code(c);
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const size_t n = static_cast<size_t>(end - digits);
  if (n < 6) out_.append(6 - n, ' ');
  out_.append(digits, n).push_back('\n');
}

void DxfTextWriter::real(int c, double value) {
  code(c);
  appendDxfReal(out_, value);
  out_.push_back('\n');
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
  code(c);
  static const char kHex[] = "0123456789ABCDEF";
  char digits[16];
  size_t n = 0;
  do {
    digits[n++] = kHex[value & 15];
    value >>= 4;
  } while (value != 0);
  while (n > 0) out_.push_back(digits[--n]);
  out_.push_back('\n');
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
    code(c);
    const std::string_view piece = bytes.substr(at, kPiece);
    const size_t start = out_.size();
    out_.resize(start + 2 * piece.size() + 1);
    char* p = out_.data() + start;
    for (char ch : piece) {
      std::memcpy(p, kPairs[static_cast<unsigned char>(ch)].data(), 2);
      p += 2;
    }
    *p = '\n';
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
