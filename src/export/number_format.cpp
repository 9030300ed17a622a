#include "number_format.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace {

using Wide = unsigned __int128;

constexpr std::uint64_t kPow10[] = {1ULL,
                                    10ULL,
                                    100ULL,
                                    1000ULL,
                                    10000ULL,
                                    100000ULL,
                                    1000000ULL,
                                    10000000ULL,
                                    100000000ULL,
                                    1000000000ULL,
                                    10000000000ULL,
                                    100000000000ULL,
                                    1000000000000ULL,
                                    10000000000000ULL,
                                    100000000000000ULL,
                                    1000000000000000ULL};

// The magnitude of a finite, non-zero VALUE as mantissa * 2^exponent.
bool decompose(double value, std::uint64_t& mantissa, int& exponent) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  const std::uint64_t fraction = bits & ((1ULL << 52) - 1);
  if (biased == 0x7FF || (biased == 0 && fraction == 0)) {
    return false;
  }
  mantissa = biased == 0 ? fraction : fraction | (1ULL << 52);
  exponent = (biased == 0 ? 1 : biased) - 1075;
  return true;
}

// NUMERATOR / DENOMINATOR rounded to the nearest integer, ties to even:
// the rounding printf and std::to_chars apply to a value's exact binary
// expansion.
std::uint64_t roundedQuotient(Wide numerator, Wide denominator) {
  const Wide quotient = numerator / denominator;
  const Wide twiceRest = (numerator - quotient * denominator) * 2;
  const bool up = twiceRest > denominator || (twiceRest == denominator && (quotient & 1) != 0);
  return static_cast<std::uint64_t>(quotient) + (up ? 1 : 0);
}

// NUMERATOR / 2^SHIFT (SHIFT below 128) rounded the same way, by shifts.
std::uint64_t roundedShift(Wide numerator, int shift) {
  if (shift == 0) {
    return static_cast<std::uint64_t>(numerator);
  }
  const Wide quotient = numerator >> shift;
  const Wide rest = numerator - (quotient << shift);
  const Wide half = static_cast<Wide>(1) << (shift - 1);
  const bool up = rest > half || (rest == half && (quotient & 1) != 0);
  return static_cast<std::uint64_t>(quotient) + (up ? 1 : 0);
}

constexpr char kDigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                               "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                               "8081828384858687888990919293949596979899";

// The last COUNT decimal digits of VALUE (leading zeros kept) at OUT, two
// at a time.
char* putDigits(char* out, std::uint64_t value, int count) {
  int at = count;
  for (; at >= 2; at -= 2) {
    std::memcpy(out + at - 2, kDigitPairs + 2 * (value % 100), 2);
    value /= 100;
  }
  if (at == 1) {
    out[0] = static_cast<char>('0' + value % 10);
  }
  return out + count;
}

// VALUE (below 10^15) in decimal at OUT.
char* putUnsigned(char* out, std::uint64_t value) {
  int count = 1;
  while (count < 15 && value >= kPow10[count]) {
    ++count;
  }
  return putDigits(out, value, count);
}

} // namespace

// Both formats are exact: the value's binary expansion is scaled in 128-bit
// integers and rounded half to even, as std::to_chars does (which stays the
// reference for the values outside the ranges handled here), at a fraction
// of its cost.

char* formatFixed6(char* out, double value) {
  std::uint64_t mantissa = 0;
  int exponent = 0;
  // Up to 2^44 the scaled value and its 64-bit digits are exact here.
  if (!decompose(value, mantissa, exponent) || exponent >= -8) {
    if (value != 0.0) {
      return std::to_chars(out, out + kMaxNumberChars, value, std::chars_format::fixed, 6).ptr;
    }
    mantissa = 0;
    exponent = -1;
  }
  const Wide scaled = static_cast<Wide>(mantissa) * kPow10[6];
  const int shift = -exponent;
  std::uint64_t units = 0; // value * 10^6, rounded
  if (shift < 128) {
    units = roundedShift(scaled, shift);
  }
  if (std::signbit(value)) {
    *out++ = '-';
  }
  out = putUnsigned(out, units / kPow10[6]);
  *out++ = '.';
  return putDigits(out, units % kPow10[6], 6);
}

namespace {

// VALUE as "%g" (with a three-digit exponent) for 1e-5 <= |VALUE| < 1e15,
// where every scaled value and quotient fits 128 bits; null outside.
char* formatGeneralInRange(char* out, double value) {
  std::uint64_t mantissa = 0;
  int exponent = 0;
  const double magnitude = value < 0 ? -value : value;
  if (!decompose(value, mantissa, exponent) || !(magnitude >= 1e-5 && magnitude < 1e15)) {
    return nullptr;
  }
  // The decimal exponent is about that of 2^(exponent + 52) (log10(2) as
  // 78913 / 2^18), or one more; the truncated digits tell which.
  int decimal = ((exponent + 52) * 78913) >> 18;
  std::uint64_t digits = 0; // six significant digits, rounded
  for (int attempt = 0; attempt < 4 && digits == 0; ++attempt) {
    const int scale = 5 - decimal;
    Wide numerator = mantissa;
    Wide denominator = static_cast<Wide>(1) << -exponent;
    if (scale >= 0) {
      numerator *= kPow10[scale];
    } else {
      denominator *= kPow10[-scale];
    }
    // Below a million the denominator is a power of two: shifts do.
    const Wide truncated = scale >= 0 ? numerator >> -exponent : numerator / denominator;
    if (truncated >= kPow10[6]) {
      ++decimal;
    } else if (truncated < kPow10[5]) {
      --decimal;
    } else {
      digits = scale >= 0 ? roundedShift(numerator, -exponent) : roundedQuotient(numerator, denominator);
    }
  }
  if (digits == 0) {
    return nullptr;
  }
  if (digits == kPow10[6]) {
    digits = kPow10[5];
    ++decimal;
  }
  if (value < 0) {
    *out++ = '-';
  }
  int significant = 6;
  while (digits % 10 == 0) {
    digits /= 10;
    --significant;
  }
  char text[6] = {};
  putDigits(text, digits, significant);
  if (decimal < -4 || decimal >= 6) {
    *out++ = text[0];
    if (significant > 1) {
      *out++ = '.';
      std::memcpy(out, text + 1, static_cast<std::size_t>(significant - 1));
      out += significant - 1;
    }
    *out++ = 'e';
    *out++ = decimal < 0 ? '-' : '+';
    return putDigits(out, static_cast<std::uint64_t>(decimal < 0 ? -decimal : decimal), 3);
  }
  if (decimal < 0) {
    *out++ = '0';
    *out++ = '.';
    std::memset(out, '0', static_cast<std::size_t>(-decimal - 1));
    out += -decimal - 1;
    std::memcpy(out, text, static_cast<std::size_t>(significant));
    return out + significant;
  }
  const int whole = decimal + 1;
  for (int i = 0; i < whole; ++i) {
    *out++ = i < significant ? text[i] : '0';
  }
  if (significant > whole) {
    *out++ = '.';
    std::memcpy(out, text + whole, static_cast<std::size_t>(significant - whole));
    out += significant - whole;
  }
  return out;
}

} // namespace

char* formatGeneral6(char* out, double value) {
  if (char* end = formatGeneralInRange(out, value)) {
    return end;
  }
  char* end = std::to_chars(out, out + kMaxNumberChars, value, std::chars_format::general, 6).ptr;
  // to_chars writes the exponent as printf does, with at least two digits
  // ("e+06"); ours has exactly three. A double's decimal exponent never
  // needs more than three.
  char* exponentText = static_cast<char*>(std::memchr(out, 'e', static_cast<std::size_t>(end - out)));
  if (exponentText == nullptr) {
    return end;
  }
  char* expDigits = exponentText + 2; // past 'e' and the sign
  const std::size_t digitCount = static_cast<std::size_t>(end - expDigits);
  if (digitCount >= 3) {
    return end;
  }
  const std::size_t pad = 3 - digitCount;
  std::memmove(expDigits + pad, expDigits, digitCount);
  std::memset(expDigits, '0', pad);
  return end + pad;
}

char* formatInteger(char* out, std::int64_t value) {
  return std::to_chars(out, out + kMaxNumberChars, value).ptr;
}
