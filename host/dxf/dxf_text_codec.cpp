#include "dxf/dxf_text_codec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>

#include "runtime/text.h"

namespace corvane {
namespace {

// The code pages a drawing names, as iconv knows them: "ANSI_1252" is
// CP1252, "DOS850" CP850; anything else (or nothing) is ANSI_1252, as CAD
// programs read it.
std::string iconvName(std::string_view codePage) {
  const std::string upper = asciiUpper(codePage);
  for (std::string_view prefix : {"ANSI_", "DOS"}) {
    if (!upper.starts_with(prefix)) continue;
    const std::string number = upper.substr(prefix.size());
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) break;
    const std::string name = "CP" + number;
    iconv_t probe = iconv_open("UTF-8", name.c_str());
    if (probe == reinterpret_cast<iconv_t>(-1)) break;
    iconv_close(probe);
    return name;
  }
  return "CP1252";
}

// One conversion descriptor per direction and code page, opened once and
// kept: text is converted per value, often. Guarded, for the worker that
// may read ahead of an export.
class Converters {
public:
  // Converts IN whole; false at the first sequence it can't (then OUT holds
  // what came before it, and *STOPPED where it stopped).
  bool convert(const std::string& from, const std::string& to, std::string_view in, std::string& out,
               size_t* stopped = nullptr) {
    std::lock_guard<std::mutex> lock(mutex_);
    iconv_t cd = descriptor(from, to);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    iconv(cd, nullptr, nullptr, nullptr, nullptr); // a fresh shift state
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char buffer[256];
    while (inLeft > 0) {
      char* outPtr = buffer;
      size_t outLeft = sizeof buffer;
      const size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
      out.append(buffer, static_cast<size_t>(outPtr - buffer));
      if (done == static_cast<size_t>(-1) && errno != E2BIG) {
        if (stopped != nullptr) *stopped = in.size() - inLeft;
        return false;
      }
    }
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    return true;
  }

private:
  iconv_t descriptor(const std::string& from, const std::string& to) {
    auto [it, fresh] = open_.try_emplace(from + ">" + to, reinterpret_cast<iconv_t>(-1));
    if (fresh) it->second = iconv_open(to.c_str(), from.c_str());
    return it->second;
  }
  std::mutex mutex_;
  std::map<std::string, iconv_t> open_; // kept for the program's life
};

Converters& converters() {
  static auto* c = new Converters;
  return *c;
}

bool isAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The character of a "\U+XXXX" at TEXT[AT] (four hexadecimal digits, as
// CAD programs write them); 0 when none stands there.
char32_t escapeAt(std::string_view text, size_t at) {
  if (text.size() < at + 7 || text[at] != '\\' || (text[at + 1] != 'U' && text[at + 1] != 'u') || text[at + 2] != '+')
    return 0;
  char32_t code = 0;
  for (size_t i = at + 3; i < at + 7; ++i) {
    const int d = hexDigit(text[i]);
    if (d < 0) return 0;
    code = code * 16 + static_cast<char32_t>(d);
  }
  return code;
}

// TEXT (UTF-8) with every "\U+XXXX" made its character.
std::string unescaped(std::string_view text) {
  if (text.find('\\') == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (char32_t code = escapeAt(text, i); code != 0) {
      i += 7;
      // A character past U+FFFF comes as its two UTF-16 halves.
      if (const char32_t low = escapeAt(text, i); code >= 0xD800 && code < 0xDC00 && low >= 0xDC00 && low < 0xE000) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        i += 7;
      }
      appendUtf8(out, code);
    } else {
      out += text[i++];
    }
  }
  return out;
}

} // namespace

DxfTextCodec::DxfTextCodec(std::string_view version, std::string_view codePage) {
  // $ACADVER AC1021 is R2007; empty or older is a code-page drawing.
  const bool utf8 = version.size() == 6 && version.starts_with("AC") && version.substr(2) >= "1021";
  if (!utf8) codePage_ = iconvName(codePage);
}

std::string DxfTextCodec::toUtf8(std::string_view stored) const {
  if (isAscii(stored) || utf8()) return unescaped(stored);
  std::string out;
  for (size_t at = 0; at < stored.size();) {
    size_t stopped = 0;
    std::string piece;
    const bool whole = converters().convert(codePage_, "UTF-8", stored.substr(at), piece, &stopped);
    out += piece;
    if (whole) break;
    // A byte the code page leaves undefined: shown as such, and the rest
    // goes on.
    out += "\xEF\xBF\xBD";
    at += stopped + 1;
  }
  return unescaped(out);
}

std::string DxfTextCodec::fromUtf8(std::string_view text) const {
  if (utf8() || isAscii(text)) return std::string(text);
  std::string out;
  for (size_t at = 0; at < text.size();) {
    size_t length = utf8SequenceLength(text, at);
    if (length <= 1) {
      out += text[at++]; // ASCII, or a byte that is no UTF-8
      continue;
    }
    const std::string_view character = text.substr(at, length);
    std::string piece;
    if (converters().convert("UTF-8", codePage_, character, piece)) {
      out += piece;
    } else {
      // Four digits each: a character past U+FFFF as its two UTF-16 halves.
      const char32_t code = utf8CodePoint(text, at);
      char escape[32];
      if (code > 0xFFFF)
        std::snprintf(escape, sizeof escape, "\\U+%04X\\U+%04X",
                      static_cast<unsigned>(0xD800 + ((code - 0x10000) >> 10)),
                      static_cast<unsigned>(0xDC00 + ((code - 0x10000) & 0x3FF)));
      else
        std::snprintf(escape, sizeof escape, "\\U+%04X", static_cast<unsigned>(code));
      out += escape;
    }
    at += length;
  }
  return out;
}

} // namespace corvane
