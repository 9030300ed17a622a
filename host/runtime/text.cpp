#include "runtime/text.h"

#include <langinfo.h>

#include <algorithm>
#include <clocale>
#include <cstring>

namespace corvane {
namespace {
char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
} // namespace

std::string asciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = upperAscii(c);
  return out;
}

std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = lowerAscii(c);
  return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upperAscii(a[i]) != upperAscii(b[i])) return false;
  return true;
}

std::string shownLabel(std::string_view label, bool underline) {
  std::string out;
  for (size_t i = 0; i < label.size(); ++i) {
    if (label[i] != '&' || i + 1 == label.size()) {
      out += label[i];
    } else if (label[++i] == '&' || !underline) {
      out += label[i];
    } else {
      out += "\033[4m";
      out += label[i];
      out += "\033[24m";
    }
  }
  return out;
}

size_t utf8SequenceLength(std::string_view text, size_t at) {
  if (at >= text.size()) return 0;
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  const size_t length = (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
  if (length == 0 || at + length > text.size()) return 0;
  char32_t code = lead & (0x7F >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(at + i) & 0x3F);
  }
  // The shortest form only, and no surrogates: what any reader accepts.
  static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

char32_t utf8CodePoint(std::string_view text, size_t at, size_t* length) {
  const size_t n = utf8SequenceLength(text, at);
  if (length != nullptr) *length = n > 0 ? n : at < text.size() ? 1 : 0;
  if (n == 0) return 0xFFFD;
  const auto lead = static_cast<unsigned char>(text[at]);
  char32_t code = n == 1 ? lead : lead & (0x7F >> n);
  for (size_t i = 1; i < n; ++i) code = (code << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
  return code;
}

void appendUtf8(std::string& out, char32_t code) {
  if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

size_t utf8Next(std::string_view text, size_t at) {
  if (at >= text.size()) return text.size();
  const size_t n = utf8SequenceLength(text, at);
  return at + (n > 0 ? n : 1);
}

size_t utf8Previous(std::string_view text, size_t at) {
  if (at == 0) return 0;
  at = std::min(at, text.size());
  // A sequence is at most four bytes: the nearest start whose sequence
  // ends exactly at AT, else the single byte before it.
  for (size_t back = 2; back <= 4 && back <= at; ++back)
    if (utf8SequenceLength(text, at - back) == back) return at - back;
  return at - 1;
}

size_t utf8Characters(std::string_view text) {
  size_t n = 0;
  for (size_t i = 0; i < text.size(); i = utf8Next(text, i)) ++n;
  return n;
}

void useUtf8Characters() {
  static const bool done = [] {
    const char* chosen = std::setlocale(LC_CTYPE, "");
    if (chosen == nullptr || std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0)
      std::setlocale(LC_CTYPE, "C.UTF-8");
    return true;
  }();
  (void)done;
}

size_t utf8Prefix(std::string_view text, size_t count) {
  size_t i = 0;
  for (; i < text.size() && count > 0; --count) i = utf8Next(text, i);
  return i;
}

} // namespace corvane
