// The world file's number formats, in one place. Locale-free: the decimal
// point is always '.', whatever the process locale says.
#pragma once

#include <cstddef>
#include <cstdint>

// Room for any number the functions below write (the longest is a fixed
// notation double near the largest finite value: 309 digits, sign, point
// and six decimals).
constexpr std::size_t kMaxNumberChars = 328;

// Each writes into OUT (at least kMaxNumberChars bytes), with no terminating
// zero, and returns one past the last character written.

// Fixed notation with six decimals, as printf's "%f": 0.3 -> "0.300000",
// 1 -> "1.000000", -0.0 -> "-0.000000".
char* formatFixed6(char* out, double value);

// Six significant digits as printf's "%g" (trailing zeros and a bare point
// dropped; exponent form below 1e-4 and from 1e6 on), except that the
// exponent always has a sign and exactly three digits: 1000000 -> "1e+006",
// 0.00001 -> "1e-005", 1234.5678 -> "1234.57", -2.5 -> "-2.5".
char* formatGeneral6(char* out, double value);

// Signed decimal integer, as printf's "%d".
char* formatInteger(char* out, std::int64_t value);
