#include "number_format.h"

#include <charconv>
#include <cstring>

char* formatFixed6(char* out, double value) {
  return std::to_chars(out, out + kMaxNumberChars, value, std::chars_format::fixed, 6).ptr;
}

char* formatGeneral6(char* out, double value) {
  char* end = std::to_chars(out, out + kMaxNumberChars, value, std::chars_format::general, 6).ptr;
  // to_chars writes the exponent as printf does, with at least two digits
  // ("e+06"); ours has exactly three. A double's decimal exponent never
  // needs more than three.
  char* exponent = static_cast<char*>(std::memchr(out, 'e', static_cast<std::size_t>(end - out)));
  if (exponent == nullptr) {
    return end;
  }
  char* digits = exponent + 2; // past 'e' and the sign
  const std::size_t digitCount = static_cast<std::size_t>(end - digits);
  if (digitCount >= 3) {
    return end;
  }
  const std::size_t pad = 3 - digitCount;
  std::memmove(digits + pad, digits, digitCount);
  std::memset(digits, '0', pad);
  return end + pad;
}

char* formatInteger(char* out, std::int64_t value) {
  return std::to_chars(out, out + kMaxNumberChars, value).ptr;
}
