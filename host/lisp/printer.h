// The printer: the text a value shows at the command line.
#pragma once

#include <string>

#include "lisp/value.h"

namespace corvane::lisp {

// Escaped is prin1 and the command line: strings in double quotes, with
// backslash escapes for the quote, the backslash, newline (n), tab (t),
// return (r), escape (e) and octal nnn for other control bytes. Raw is
// princ: string bytes as they are.
enum class PrintStyle { Escaped, Raw };

// Integers plain, reals by formatReal, symbols by name, lists "(1 0.2 0.0)",
// dotted "(1 . 2)", "<Entity name: 7ff0a1b2>" (hex of the first long),
// "<Selection set: 3>" (first long), "<Subr: CAR>" for built-ins and special
// forms, "<Usubr: F>" for user functions. Iterative: any depth is safe.
std::string printValue(const Value& value, PrintStyle style);

} // namespace corvane::lisp
