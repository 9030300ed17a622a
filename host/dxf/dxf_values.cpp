#include "dxf/dxf_values.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <type_traits>

#include "runtime/text.h"

namespace corvane {

namespace {

// Checked against binary files written by CAD programs (R12 to R2018):
// with these widths each walks group by group to its last byte. In R12
// files too 1071 is 32 bits wide, and 280..289 are 16 bits wide although
// they hold 8-bit values.
constexpr std::array<DxfBinaryType, kMaxDxfCode + 1> makeBinaryTypes() {
  std::array<DxfBinaryType, kMaxDxfCode + 1> types{};
  auto set = [&types](int from, int to, DxfBinaryType type) {
    for (int c = from; c <= to; ++c) types[c] = type;
  };
  using T = DxfBinaryType;
  set(10, 59, T::kReal);
  set(60, 79, T::kInt16);
  set(90, 99, T::kInt32);
  set(110, 149, T::kReal);
  set(160, 169, T::kInt64);
  set(170, 179, T::kInt16);
  set(210, 239, T::kReal);
  set(270, 289, T::kInt16);
  set(290, 299, T::kBool);
  set(310, 319, T::kChunk);
  set(370, 389, T::kInt16);
  set(400, 409, T::kInt16);
  set(420, 429, T::kInt32);
  set(440, 459, T::kInt32);
  set(460, 469, T::kReal);
  set(1004, 1004, T::kChunk);
  set(1010, 1059, T::kReal);
  set(1060, 1070, T::kInt16);
  set(1071, 1071, T::kInt32);
  return types;
}


bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

constexpr int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

} // namespace

constinit const std::array<DxfBinaryType, kMaxDxfCode + 1> kDxfBinaryTypes = makeBinaryTypes();

std::optional<int> parseGroupCode(std::string_view line) {
  std::string_view t = trimBlanks(line);
  if (t.empty()) return std::nullopt;
  size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
  if (i == t.size()) return std::nullopt;
  // Fast path for the usual one to four digits.
  if (t.size() - i <= 4) {
    int v = 0;
    for (size_t k = i; k < t.size(); ++k) {
      if (!isDigit(t[k])) return std::nullopt;
      v = v * 10 + (t[k] - '0');
    }
    return t[0] == '-' ? -v : v;
  }
  int v = 0;
  const char* first = t.data() + (t[0] == '+' ? 1 : 0);
  auto [ptr, ec] = std::from_chars(first, t.data() + t.size(), v);
  if (ec != std::errc() || ptr != t.data() + t.size()) return std::nullopt;
  return v;
}

namespace {

// Syntax of a decimal real and an estimate of its decimal exponent (the
// number of integer digits, or minus the leading zeros of the fraction).
struct RealScan {
  bool valid = false;
  bool zero = true;
  long magnitude = 0;
};

RealScan scanReal(std::string_view text) {
  RealScan scan;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end && isBlank(*p)) ++p;
  while (end > p && isBlank(end[-1])) --end;
  if (p < end && (*p == '-' || *p == '+')) ++p;
  long intDigits = 0, leadingFractionZeros = 0;
  bool anyDigit = false;
  while (p < end && isDigit(*p)) {
    if (*p != '0' || !scan.zero) {
      scan.zero = false;
      ++intDigits;
    }
    anyDigit = true;
    ++p;
  }
  if (p < end && *p == '.') {
    ++p;
    while (p < end && isDigit(*p)) {
      if (scan.zero) {
        if (*p == '0')
          ++leadingFractionZeros;
        else
          scan.zero = false;
      }
      anyDigit = true;
      ++p;
    }
  }
  if (!anyDigit) return scan;
  long exponent = 0;
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
    if (p == end || !isDigit(*p)) return scan;
    while (p < end && isDigit(*p)) {
      if (exponent < 100000) exponent = exponent * 10 + (*p - '0');
      ++p;
    }
    if (negative) exponent = -exponent;
  }
  if (p != end) return scan;
  scan.valid = true;
  scan.magnitude = intDigits > 0 ? intDigits + exponent : exponent - leadingFractionZeros;
  return scan;
}

} // namespace

NumberCheck checkDxfReal(std::string_view text) {
  RealScan scan = scanReal(text);
  if (!scan.valid) return NumberCheck::kNotNumber;
  if (scan.zero || scan.magnitude < 300) return NumberCheck::kOk;
  double v = parseDxfReal(text, std::numeric_limits<double>::infinity());
  return std::isfinite(v) ? NumberCheck::kOk : NumberCheck::kNotFinite;
}

NumberCheck checkDxfInt(std::string_view text) {
  std::string_view t = trimBlanks(text);
  size_t i = (!t.empty() && (t[0] == '-' || t[0] == '+')) ? 1 : 0;
  if (i == t.size()) return NumberCheck::kNotNumber;
  for (size_t k = i; k < t.size(); ++k)
    if (!isDigit(t[k])) return NumberCheck::kNotNumber;
  if (t.size() - i > 18) {
    long long v = 0;
    const char* first = t.data() + (t[0] == '+' ? 1 : 0);
    auto [ptr, ec] = std::from_chars(first, t.data() + t.size(), v);
    if (ec != std::errc() || ptr != t.data() + t.size()) return NumberCheck::kNotNumber;
  }
  return NumberCheck::kOk;
}

double parseDxfReal(std::string_view text, double fallback) {
  double plain;
  if (readPlainDxfReal(text, plain)) return plain;
  std::string_view t = trimBlanks(text);
  if (!t.empty() && t[0] == '+') t.remove_prefix(1);
  double v = 0;
  auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ptr != t.data() + t.size()) return fallback;
  if (ec == std::errc::result_out_of_range) {
    // Underflow reads as zero; overflow has no finite value.
    return scanReal(t).magnitude <= 0 ? 0.0 : fallback;
  }
  if (ec != std::errc()) return fallback;
  return v;
}

long long parseDxfInt(std::string_view text, long long fallback) {
  long long plain;
  if (readPlainDxfInt(text, plain)) return plain;
  std::string_view t = trimBlanks(text);
  if (!t.empty() && t[0] == '+') t.remove_prefix(1);
  long long v = 0;
  auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || ptr != t.data() + t.size() || t.empty()) return fallback;
  return v;
}

std::optional<uint64_t> parseHandle(std::string_view text) {
  // Every object of a drawing has one: a table, not three comparisons a digit.
  static constexpr auto kHexValues = [] {
    std::array<int8_t, 256> values{};
    for (int c = 0; c < 256; ++c) values[static_cast<size_t>(c)] = static_cast<int8_t>(hexDigit(static_cast<char>(c)));
    return values;
  }();
  std::string_view t = trimBlanks(text);
  if (t.empty() || t.size() > 16) return std::nullopt;
  uint64_t v = 0;
  for (char c : t) {
    const int d = kHexValues[static_cast<unsigned char>(c)];
    if (d < 0) return std::nullopt;
    v = (v << 4) | static_cast<uint64_t>(d);
  }
  return v;
}

std::string formatHandle(uint64_t handle) {
  char buf[24];
  char* end = std::to_chars(buf, buf + sizeof buf, handle, 16).ptr;
  return asciiUpper(std::string_view(buf, static_cast<size_t>(end - buf)));
}

std::string formatDxfReal(double value) {
  std::string s;
  appendDxfReal(s, value);
  return s;
}

char* writeDxfReal(char* out, double value) {
  // A whole number below 1e5 (not -0) is its digits in any shortest form:
  // no exponent is shorter. Drawings hold many (0, 1, whole coordinates).
  if (std::fabs(value) < 1e5 && value == static_cast<double>(static_cast<int32_t>(value)) &&
      (value != 0 || !std::signbit(value))) {
    char* end = std::to_chars(out, out + kDxfRealChars, static_cast<int32_t>(value)).ptr;
    *end++ = '.';
    *end++ = '0';
    return end;
  }
  auto [ptr, ec] = std::to_chars(out, out + kDxfRealChars - 2, value);
  if (ec != std::errc()) {
    std::memcpy(out, "0.0", 3);
    return out + 3;
  }
  if (std::string_view(out, static_cast<size_t>(ptr - out)).find_first_of(".eE") == std::string_view::npos) {
    *ptr++ = '.';
    *ptr++ = '0';
  }
  return ptr;
}

void appendDxfReal(std::string& out, double value) {
  char buf[kDxfRealChars];
  out.append(buf, static_cast<size_t>(writeDxfReal(buf, value) - buf));
}

namespace {

template <typename T> void appendLittleEndian(std::string& out, T value) {
  auto bits = static_cast<std::make_unsigned_t<T>>(value);
  for (size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

template <typename T> T clampTo(long long v) {
  if (v < std::numeric_limits<T>::min()) return std::numeric_limits<T>::min();
  if (v > std::numeric_limits<T>::max()) return std::numeric_limits<T>::max();
  return static_cast<T>(v);
}

void appendBinaryCode(std::string& out, int code, DxfEncoding encoding) {
  if (encoding == DxfEncoding::kBinaryByteCodes && code >= 0 && code < 255) {
    out.push_back(static_cast<char>(code));
    return;
  }
  if (encoding == DxfEncoding::kBinaryByteCodes) out.push_back('\xFF');
  appendLittleEndian(out, static_cast<int16_t>(code));
}

// A number in the width of TYPE; false for the string and chunk types.
bool appendBinaryNumber(std::string& out, DxfBinaryType type, long long integer, double real) {
  switch (type) {
  case DxfBinaryType::kReal: {
    uint64_t bits;
    std::memcpy(&bits, &real, sizeof bits);
    appendLittleEndian(out, bits);
    return true;
  }
  case DxfBinaryType::kInt16: appendLittleEndian(out, clampTo<int16_t>(integer)); return true;
  case DxfBinaryType::kInt32: appendLittleEndian(out, clampTo<int32_t>(integer)); return true;
  case DxfBinaryType::kInt64: appendLittleEndian(out, static_cast<int64_t>(integer)); return true;
  case DxfBinaryType::kBool: out.push_back(static_cast<char>(clampTo<uint8_t>(integer))); return true;
  default: return false;
  }
}

} // namespace

bool decodeDxfHex(std::string_view hex, std::string& out) {
  hex = trimBlanks(hex);
  out.clear();
  if (hex.size() % 2 != 0) return false;
  out.reserve(hex.size() / 2);
  for (size_t i = 0; i < hex.size(); i += 2) {
    int hi = hexDigit(hex[i]), lo = hexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) {
      out.clear();
      return false;
    }
    out.push_back(static_cast<char>(hi * 16 + lo));
  }
  return true;
}

std::string encodeDxfHex(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (char c : bytes) {
    auto b = static_cast<unsigned char>(c);
    hex += kHex[b >> 4];
    hex += kHex[b & 15];
  }
  return hex;
}

std::string DxfStyle::group(int code, std::string_view value) const {
  std::string out;
  if (binary()) {
    appendBinaryCode(out, code, encoding);
    DxfBinaryType type = dxfBinaryType(code);
    if (type == DxfBinaryType::kString) {
      out.append(value).push_back('\0');
    } else if (type == DxfBinaryType::kChunk) {
      std::string bytes;
      decodeDxfHex(value, bytes);
      if (bytes.size() > 255) bytes.resize(255);
      out.push_back(static_cast<char>(bytes.size()));
      out.append(bytes);
    } else {
      appendBinaryNumber(out, type, parseDxfInt(value), parseDxfReal(value));
    }
    return out;
  }
  // Explodes write groups by the million: no formatted printing here.
  char codeText[16];
  const size_t n = static_cast<size_t>(std::to_chars(codeText, codeText + sizeof codeText, code).ptr - codeText);
  const size_t pad = padCodes && n < 3 ? 3 - n : 0;
  out.reserve(pad + n + value.size() + 2 * lineEnd.size());
  out.append(pad, ' ').append(codeText, n).append(lineEnd).append(value).append(lineEnd);
  return out;
}

std::string DxfStyle::intValue(long long value, int code) const {
  std::string out;
  if (binary() && appendBinaryNumber(out, dxfBinaryType(code), value, static_cast<double>(value)))
    return out;
  char digits[32];
  const size_t n = static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits);
  if (padIntegers && !binary() && n < 6) out.assign(6 - n, ' ');
  out.append(digits, n);
  return out;
}

std::string DxfStyle::intGroup(int code, long long value) const {
  if (binary()) return group(code, std::to_string(value));
  return group(code, intValue(value, code));
}

std::string DxfStyle::realGroup(int code, double value) const {
  return group(code, formatDxfReal(value));
}

} // namespace corvane
