// Group codes and their values: what kind of value a code carries, strict
// locale-free number checks and parsing, and the formatting of new groups in
// a file's own style. Everything here works on bytes; nothing allocates
// except the formatting functions, which return new strings.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane {

// Smallest and largest group code a DXF file may hold.
constexpr int kMinDxfCode = 0;
constexpr int kMaxDxfCode = 1071;

// How a value is stored in a binary file: a NUL-terminated string, a
// little-endian number of the given width, or a chunk of bytes after a
// one-byte length. A text file writes the numbers in decimal and the
// chunks in hexadecimal.
enum class DxfBinaryType : uint8_t { kString, kReal, kInt16, kInt32, kInt64, kBool, kChunk };

// The binary type of CODE (kMinDxfCode..kMaxDxfCode; kString outside).
extern const std::array<DxfBinaryType, kMaxDxfCode + 1> kDxfBinaryTypes;
inline DxfBinaryType dxfBinaryType(int code) {
  if (code < kMinDxfCode || code > kMaxDxfCode) return DxfBinaryType::kString;
  return kDxfBinaryTypes[static_cast<size_t>(code)];
}

enum class DxfValueKind : uint8_t { kText, kReal, kInt };

// The kind of value CODE carries; kText for codes whose value is kept as
// bytes (names, handles, binary chunks).
inline DxfValueKind dxfValueKind(int code) {
  switch (dxfBinaryType(code)) {
  case DxfBinaryType::kReal: return DxfValueKind::kReal;
  case DxfBinaryType::kInt16:
  case DxfBinaryType::kInt32:
  case DxfBinaryType::kInt64:
  case DxfBinaryType::kBool: return DxfValueKind::kInt;
  default: return DxfValueKind::kText;
  }
}

// How a file stores its groups.
enum class DxfEncoding : uint8_t {
  kText,              // a code line and a value line per group
  kBinaryByteCodes,   // binary, one-byte codes (255 and two bytes above 254): R12
  kBinaryWordCodes,   // binary, two-byte codes: R13 and later
};

// The 22 bytes that open a binary DXF file.
constexpr std::string_view kDxfBinarySentinel{"AutoCAD Binary DXF\r\n\x1a\0", 22};

// Blank-trimmed view (spaces and tabs; a line's '\r' is already gone).
inline std::string_view trimBlanks(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  return text.substr(b, e - b);
}

// A group code line: digits with optional sign and surrounding blanks.
// nullopt when it is not a number or lies outside int range.
std::optional<int> parseGroupCode(std::string_view line);

enum class NumberCheck : uint8_t { kOk, kNotNumber, kNotFinite };
// Decimal real: [blanks][sign]digits[.digits][e[sign]digits][blanks], at
// least one digit in the mantissa. No "nan", "inf", hex or commas.
NumberCheck checkDxfReal(std::string_view text);
// Decimal integer: [blanks][sign]digits[blanks] that fits in 64 bits.
NumberCheck checkDxfInt(std::string_view text);

// Values of checked text. On text that fails the check they return
// FALLBACK, so callers that work on loaded (already checked) bytes may
// ignore the case.
double parseDxfReal(std::string_view text, double fallback = 0.0);
long long parseDxfInt(std::string_view text, long long fallback = 0);

// The usual real, "[-]digits[.digits]" with at most 19 digits in all, read
// exactly without the general conversion: when the digits as an integer M
// are below 2^53 and there are at most 22 after the point, M and the power
// of ten are exact doubles and one correctly rounded division gives the
// correctly rounded value, the very double the general conversion gives.
// False for any other text (parseDxfReal reads it).
inline bool readPlainDxfReal(std::string_view text, double& out) {
  static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                       1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const char* p = text.data();
  const char* end = p + text.size();
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  uint64_t m = 0;
  int digits = 0, fraction = 0;
  auto digit = [](char c) { return static_cast<unsigned>(static_cast<unsigned char>(c) - '0'); };
  for (; p < end && digit(*p) <= 9 && digits < 19; ++p, ++digits) m = m * 10 + digit(*p);
  if (p < end && *p == '.') {
    ++p;
    for (; p < end && digit(*p) <= 9 && digits < 19; ++p, ++digits, ++fraction) m = m * 10 + digit(*p);
  }
  if (p != end || digits == 0 || m > (uint64_t{1} << 53)) return false;
  const double v = static_cast<double>(m) / kPowers[fraction];
  out = negative ? -v : v;
  return true;
}

// The usual integer, blanks then "[-]digits" (at most 18), read directly;
// false for any other text (parseDxfInt reads it).
inline bool readPlainDxfInt(std::string_view text, long long& out) {
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end && *p == ' ') ++p;
  const bool negative = p < end && *p == '-';
  if (negative) ++p;
  const char* digits = p;
  long long v = 0;
  for (; p < end && static_cast<unsigned char>(*p - '0') < 10 && p - digits < 18; ++p) v = v * 10 + (*p - '0');
  if (p != end || p == digits) return false;
  out = negative ? -v : v;
  return true;
}

// A handle: 1 to 16 hex digits (blanks trimmed). nullopt otherwise.
std::optional<uint64_t> parseHandle(std::string_view text);
// Upper-case hex without leading zeros, as DXF writes handles.
std::string formatHandle(uint64_t handle);

// Binary chunks as text files write them: two hex digits a byte (blanks
// around them allowed when reading). decodeDxfHex is false (OUT empty) for
// an odd count or a character that is no hex digit.
bool decodeDxfHex(std::string_view hex, std::string& out);
std::string encodeDxfHex(std::string_view bytes); // upper case

// The shortest decimal text that reads back as exactly VALUE, with a
// decimal point or exponent ("0.3", "1.0", "1e-07"). VALUE must be finite.
std::string formatDxfReal(double value);
// The same text appended to OUT, with no string of its own.
void appendDxfReal(std::string& out, double value);
// The same text written at OUT (room for kDxfRealChars bytes); returns
// where it ends.
constexpr size_t kDxfRealChars = 40;
char* writeDxfReal(char* out, double value);

// How a file writes its groups, taken from the file itself so that new
// groups look like their neighbours.
struct DxfStyle {
  bool padCodes = true;       // text: "  0", " 70", "1001"; otherwise "0", "70"
  bool padIntegers = true;    // text: integer values right-aligned to 6 columns
  std::string lineEnd = "\n"; // text: "\n" or "\r\n"
  DxfEncoding encoding = DxfEncoding::kText;

  bool binary() const { return encoding != DxfEncoding::kText; }

  // One group in the file's form. VALUE is given as a text file holds it
  // (numbers in decimal, chunks in hexadecimal) and must not contain a line
  // end or a NUL. A binary file gets the value in its code's binary type:
  // numbers are read from VALUE (integers clamped to their width), a chunk
  // is decoded from hex and keeps at most 255 bytes.
  std::string group(int code, std::string_view value) const;
  std::string intGroup(int code, long long value) const;
  std::string realGroup(int code, double value) const;
  // An integer value alone, as the file stores one of CODE's: padded as a
  // text file pads them, or in the width of CODE's binary type.
  std::string intValue(long long value, int code = 70) const;
};

} // namespace corvane
