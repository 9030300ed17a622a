#include "lisp/number_format.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace corvane::lisp {

namespace {

// Large enough for a fixed-point double (309 integer digits) with the
// precision rtos allows.
constexpr std::size_t kBufferSize = 400;
constexpr int kMaxPrecision = 20;

std::string nonFinite(double value) {
  if (std::isnan(value)) {
    return "1.#QNAN";
  }
  return value < 0 ? "-1.#INF" : "1.#INF";
}

std::string toChars(double value, std::chars_format format, int precision) {
  char buffer[kBufferSize];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format,
                              std::clamp(precision, 0, kMaxPrecision));
  return std::string(buffer, result.ptr);
}

void dropNegativeZero(std::string& text) {
  if (!text.empty() && text[0] == '-' &&
      text.find_first_not_of("0.", 1) == std::string::npos) {
    text.erase(0, 1);
  }
}

} // namespace

std::string formatReal(double value) {
  if (!std::isfinite(value)) {
    return nonFinite(value);
  }
  std::string text = toChars(value, std::chars_format::general, 6);
  std::size_t exponent = text.find('e');
  std::size_t mantissaEnd = exponent == std::string::npos ? text.size() : exponent;
  if (text.find('.') >= mantissaEnd) {
    text.insert(mantissaEnd, ".0");
  }
  return text;
}

std::string formatDecimal(double value, int precision) {
  if (!std::isfinite(value)) {
    return nonFinite(value);
  }
  std::string text = toChars(value, std::chars_format::fixed, precision);
  dropNegativeZero(text);
  return text;
}

std::string formatScientific(double value, int precision) {
  if (!std::isfinite(value)) {
    return nonFinite(value);
  }
  std::string text = toChars(value, std::chars_format::scientific, precision);
  std::size_t exponent = text.find('e');
  if (exponent != std::string::npos) {
    text[exponent] = 'E';
    std::string mantissa = text.substr(0, exponent);
    dropNegativeZero(mantissa);
    text = mantissa + text.substr(exponent);
  }
  return text;
}

} // namespace corvane::lisp
