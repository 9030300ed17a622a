// Locale-free number texts of the list language, in one place.
#pragma once

#include <string>

namespace corvane::lisp {

// A real as the printer shows it: six significant digits, always with a
// decimal point ("0.2", "0.0", "100.0"); beyond six integer digits or below
// 1e-4 in exponent form with a signed two-digit exponent ("1.23457e+06",
// "1.0e-05"). Infinities and NaN print as "1.#INF", "-1.#INF", "1.#QNAN".
std::string formatReal(double value);

// rtos mode 2: fixed point with PRECISION (0 to 20) digits after the point,
// "-" dropped when every printed digit is zero.
std::string formatDecimal(double value, int precision);

// rtos mode 1: one digit, point, PRECISION (0 to 20) digits, "E", a signed
// two-digit or longer exponent ("1.2345E+03").
std::string formatScientific(double value, int precision);

} // namespace corvane::lisp
