// Text built-ins. Strings are byte strings; case changes touch ASCII only.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>

#include "ads.h"
#include "lisp/builtins.h"
#include "lisp/interpreter.h"
#include "lisp/lisp_error.h"
#include "lisp/number_format.h"
#include "runtime/text.h"

namespace corvane::lisp {

namespace {

constexpr int kMaxRtosPrecision = 8;

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Skips TEXT's leading blanks and an optional sign from position 0; returns
// the position after them and whether the sign was '-'.
std::size_t skipBlanksAndSign(const std::string& text, bool& negative) {
  std::size_t i = 0;
  while (i < text.size() && isSpace(text[i])) {
    ++i;
  }
  negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  return i;
}

// Leading blanks, an optional sign and decimal digits; anything after them
// is ignored, no digits give 0. Wraps like integer arithmetic.
std::int32_t parseLeadingInteger(const std::string& text) {
  bool negative = false;
  std::size_t i = skipBlanksAndSign(text, negative);
  std::uint32_t v = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    v = v * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  return static_cast<std::int32_t>(negative ? 0u - v : v);
}

// A system variable as an integer, or FALLBACK when the host has none.
int integerVariable(const char* name, int fallback) {
  resbuf rb{};
  if (ads_getvar(name, &rb) != RTNORM) {
    return fallback;
  }
  if (rb.restype == RTSHORT) {
    return rb.resval.rint;
  }
  if (rb.restype == RTLONG) {
    return static_cast<int>(rb.resval.rlong);
  }
  if (rb.restype == RTSTR) {
    acad_free(rb.resval.rstring);
  }
  return fallback;
}

} // namespace

void addStringBuiltins(Interpreter& interpreter) {
  interpreter.defineBuiltin("strcat", [](Interpreter&, const Arguments& a) {
    std::string out;
    for (std::size_t i = 0; i < a.size(); ++i) {
      out += a.string(i);
    }
    return Value::string(std::move(out));
  });

  interpreter.defineBuiltin("strlen", [](Interpreter&, const Arguments& a) {
    std::size_t total = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
      total += a.string(i).size();
    }
    return Value::integer(static_cast<std::int32_t>(total));
  });

  interpreter.defineBuiltin("substr", [](Interpreter&, const Arguments& a) {
    a.expectCount(2, 3);
    const std::string& text = a.string(0);
    std::int32_t start = a.integer(1);
    if (start < 1) {
      a.badValue(1);
    }
    std::size_t length = std::string::npos;
    if (a.size() == 3) {
      std::int32_t n = a.integer(2);
      if (n < 0) {
        a.badValue(2);
      }
      length = static_cast<std::size_t>(n);
    }
    std::size_t from = static_cast<std::size_t>(start) - 1;
    return Value::string(from >= text.size() ? std::string() : text.substr(from, length));
  });

  interpreter.defineBuiltin("strcase", [](Interpreter&, const Arguments& a) {
    a.expectCount(1, 2);
    const std::string text = a.string(0);
    const bool lower = a.size() == 2 && !a[1].isNil();
    return Value::string(lower ? asciiLower(text) : asciiUpper(text));
  });

  interpreter.defineBuiltin("itoa", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    return Value::string(std::to_string(a.integer(0)));
  });

  interpreter.defineBuiltin("atoi", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    return Value::integer(parseLeadingInteger(a.string(0)));
  });

  interpreter.defineBuiltin("atof", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    const std::string& text = a.string(0);
    bool negative = false;
    const std::size_t i = skipBlanksAndSign(text, negative);
    // Only a decimal number counts: from_chars alone would also take "inf".
    if (i >= text.size() || !((text[i] >= '0' && text[i] <= '9') || text[i] == '.')) {
      return Value::real(0.0);
    }
    double d = 0.0;
    auto result = std::from_chars(text.data() + i, text.data() + text.size(), d);
    if (result.ec == std::errc::result_out_of_range) {
      a.badValue(0);
    }
    return Value::real(negative ? -d : d);
  });

  interpreter.defineBuiltin("rtos", [](Interpreter&, const Arguments& a) {
    a.expectCount(1, 3);
    double value = a.number(0);
    int mode = 2;
    if (a.size() >= 2 && !a[1].isNil()) {
      mode = a.integer(1);
      if (mode != 1 && mode != 2) {
        a.badValue(1);
      }
    } else {
      // Without a mode the drawing's linear units decide, where this form
      // supports them.
      int units = integerVariable("LUNITS", 2);
      mode = units == 1 ? 1 : 2;
    }
    int precision = 0;
    if (a.size() == 3 && !a[2].isNil()) {
      precision = a.integer(2);
      if (precision < 0 || precision > kMaxRtosPrecision) {
        a.badValue(2);
      }
    } else {
      precision = std::clamp(integerVariable("LUPREC", 4), 0, kMaxRtosPrecision);
    }
    return Value::string(mode == 1 ? formatScientific(value, precision)
                                   : formatDecimal(value, precision));
  });
}

} // namespace corvane::lisp
