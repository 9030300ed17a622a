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

enum class DxfValueKind : uint8_t { kText, kReal, kInt };

// The kind of value CODE carries (kMinDxfCode..kMaxDxfCode); kText for
// codes whose value is kept as bytes (names, handles, binary chunks).
extern const std::array<DxfValueKind, kMaxDxfCode + 1> kDxfValueKinds;
inline DxfValueKind dxfValueKind(int code) {
  if (code < kMinDxfCode || code > kMaxDxfCode) return DxfValueKind::kText;
  return kDxfValueKinds[static_cast<size_t>(code)];
}

// Blank-trimmed view (spaces and tabs; a line's '\r' is already gone).
std::string_view trimBlanks(std::string_view text);

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

// A handle: 1 to 16 hex digits (blanks trimmed). nullopt otherwise.
std::optional<uint64_t> parseHandle(std::string_view text);
// Upper-case hex without leading zeros, as DXF writes handles.
std::string formatHandle(uint64_t handle);

// The shortest decimal text that reads back as exactly VALUE, with a
// decimal point or exponent ("0.3", "1.0", "1e-07"). VALUE must be finite.
std::string formatDxfReal(double value);

// ASCII case-insensitive equality, as DXF names compare.
bool dxfNameEquals(std::string_view a, std::string_view b);
// Upper-case ASCII copy, the key under which names are looked up.
std::string dxfNameKey(std::string_view name);

// How a file writes its groups, taken from the file itself so that new
// groups look like their neighbours.
struct DxfStyle {
  bool padCodes = true;       // "  0", " 70", "1001"; otherwise "0", "70"
  bool padIntegers = true;    // integer values right-aligned to 6 columns
  std::string lineEnd = "\n"; // "\n" or "\r\n"

  // One group: the code line and the value line, each ended by lineEnd.
  // VALUE must not contain a line end.
  std::string group(int code, std::string_view value) const;
  std::string intGroup(int code, long long value) const;
  std::string realGroup(int code, double value) const;
  // An integer value alone, padded as the file pads them.
  std::string intValue(long long value) const;
};

} // namespace corvane
