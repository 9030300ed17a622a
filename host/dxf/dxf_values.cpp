#include "dxf/dxf_values.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

namespace corvane {

namespace {

constexpr std::array<DxfValueKind, kMaxDxfCode + 1> makeKinds() {
  std::array<DxfValueKind, kMaxDxfCode + 1> kinds{};
  auto set = [&kinds](int from, int to, DxfValueKind kind) {
    for (int c = from; c <= to; ++c) kinds[c] = kind;
  };
  using K = DxfValueKind;
  set(10, 59, K::kReal);
  set(60, 79, K::kInt);
  set(90, 99, K::kInt);
  set(110, 149, K::kReal);
  set(160, 179, K::kInt);
  set(210, 239, K::kReal);
  set(270, 299, K::kInt);
  set(370, 389, K::kInt);
  set(400, 409, K::kInt);
  set(420, 429, K::kInt);
  set(440, 459, K::kInt);
  set(460, 469, K::kReal);
  set(1010, 1059, K::kReal);
  set(1060, 1071, K::kInt);
  return kinds;
}


bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

} // namespace

constinit const std::array<DxfValueKind, kMaxDxfCode + 1> kDxfValueKinds = makeKinds();

std::string_view trimBlanks(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && isBlank(text[b])) ++b;
  while (e > b && isBlank(text[e - 1])) --e;
  return text.substr(b, e - b);
}

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
  std::string_view t = trimBlanks(text);
  if (!t.empty() && t[0] == '+') t.remove_prefix(1);
  long long v = 0;
  auto [ptr, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
  if (ec != std::errc() || ptr != t.data() + t.size() || t.empty()) return fallback;
  return v;
}

std::optional<uint64_t> parseHandle(std::string_view text) {
  std::string_view t = trimBlanks(text);
  if (t.empty() || t.size() > 16) return std::nullopt;
  uint64_t v = 0;
  for (char c : t) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return std::nullopt;
    v = (v << 4) | static_cast<uint64_t>(d);
  }
  return v;
}

std::string formatHandle(uint64_t handle) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(handle));
  return buf;
}

std::string formatDxfReal(double value) {
  char buf[64];
  auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value);
  if (ec != std::errc()) return "0.0";
  std::string s(buf, ptr);
  if (s.find_first_of(".eE") == std::string::npos) s += ".0";
  return s;
}

bool dxfNameEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upper(a[i]) != upper(b[i])) return false;
  return true;
}

std::string dxfNameKey(std::string_view name) {
  std::string key(name);
  for (char& c : key) c = upper(c);
  return key;
}

std::string DxfStyle::group(int code, std::string_view value) const {
  char codeText[16];
  int n = std::snprintf(codeText, sizeof codeText, padCodes ? "%3d" : "%d", code);
  std::string out;
  out.reserve(static_cast<size_t>(n) + value.size() + 2 * lineEnd.size());
  out.append(codeText, static_cast<size_t>(n)).append(lineEnd).append(value).append(lineEnd);
  return out;
}

std::string DxfStyle::intValue(long long value) const {
  char buf[32];
  std::snprintf(buf, sizeof buf, padIntegers ? "%6lld" : "%lld", value);
  return buf;
}

std::string DxfStyle::intGroup(int code, long long value) const {
  return group(code, intValue(value));
}

std::string DxfStyle::realGroup(int code, double value) const {
  return group(code, formatDxfReal(value));
}

} // namespace corvane
