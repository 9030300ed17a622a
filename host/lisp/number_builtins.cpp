// Arithmetic and comparison. Integers are 32-bit and wrap around as two's
// complement (as the host's do): (+ 2147483647 1) is -2147483648, and
// (/ -2147483648 -1) is -2147483648. As soon as one argument is a real the
// computation continues in reals.
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "lisp/builtins.h"
#include "lisp/interpreter.h"
#include "lisp/lisp_error.h"

namespace corvane::lisp {

namespace {

constexpr std::size_t kAny = static_cast<std::size_t>(-1);
constexpr std::int32_t kMinInt = std::numeric_limits<std::int32_t>::min();

// Wrapping arithmetic, done in unsigned so that overflow is defined.
std::int32_t wrapAdd(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
std::int32_t wrapSub(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
std::int32_t wrapMul(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}

enum class Op { Add, Sub, Mul, Div };

// A running result that stays an integer until a real joins in.
struct Accumulator {
  bool integer = true;
  std::int32_t i = 0;
  double d = 0.0;

  void start(const Value& v) {
    integer = v.isInteger();
    i = integer ? v.asInteger() : 0;
    d = v.asNumber();
  }

  void combine(Op op, const Value& v) {
    if (integer && v.isInteger()) {
      std::int32_t b = v.asInteger();
      switch (op) {
      case Op::Add:
        i = wrapAdd(i, b);
        break;
      case Op::Sub:
        i = wrapSub(i, b);
        break;
      case Op::Mul:
        i = wrapMul(i, b);
        break;
      case Op::Div:
        if (b == 0) {
          throw LispError("divide by zero");
        }
        // The one quotient that overflows wraps to itself.
        i = (i == kMinInt && b == -1) ? kMinInt : i / b;
        break;
      }
      d = i;
      return;
    }
    if (integer) {
      integer = false;
      d = i;
    }
    double b = v.asNumber();
    switch (op) {
    case Op::Add:
      d += b;
      break;
    case Op::Sub:
      d -= b;
      break;
    case Op::Mul:
      d *= b;
      break;
    case Op::Div:
      if (b == 0.0) {
        throw LispError("divide by zero");
      }
      d /= b;
      break;
    }
  }

  Value value() const { return integer ? Value::integer(i) : Value::real(d); }
};

void checkNumbers(const Arguments& a) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    a.number(i);
  }
}

void addArithmetic(Interpreter& interpreter, const char* name, Op op) {
  interpreter.defineBuiltin(name, [op](Interpreter&, const Arguments& a) {
    checkNumbers(a);
    if (a.size() == 0) {
      return Value::integer(0);
    }
    Accumulator acc;
    if (a.size() == 1 && op == Op::Sub) {
      acc.start(Value::integer(0));
    } else {
      acc.start(a[0]);
      if (a.size() == 1) {
        return acc.value();
      }
    }
    for (std::size_t i = a.size() == 1 ? 0 : 1; i < a.size(); ++i) {
      acc.combine(op, a[i]);
    }
    return acc.value();
  });
}

// -1, 0 or 1 for A against B: both numbers or both strings (byte order).
int compare(const Arguments& a, std::size_t x, std::size_t y) {
  if (a[x].isString()) {
    int c = a[x].asString().compare(a.string(y));
    return (c > 0) - (c < 0);
  }
  double p = a.number(x);
  double q = a.number(y);
  if (a[x].isInteger() && a[y].isInteger()) {
    return (a[x].asInteger() > a[y].asInteger()) - (a[x].asInteger() < a[y].asInteger());
  }
  return (p > q) - (p < q);
}

// True when PREDICATE holds for every adjacent pair of arguments.
template <typename Predicate>
void addComparison(Interpreter& interpreter, const char* name, Predicate predicate) {
  interpreter.defineBuiltin(name, [predicate](Interpreter&, const Arguments& a) {
    a.expectCount(1, kAny);
    if (!a[0].isString()) {
      a.number(0);
    }
    bool holds = true;
    for (std::size_t i = 0; i + 1 < a.size(); ++i) {
      // Every argument is checked even after the answer is known.
      if (!predicate(compare(a, i, i + 1))) {
        holds = false;
      }
    }
    return Value::boolean(holds);
  });
}

template <typename Fn> void addRealFunction(Interpreter& interpreter, const char* name, Fn fn) {
  interpreter.defineBuiltin(name, [fn](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    return Value::real(fn(a, a.number(0)));
  });
}

} // namespace

void addNumberBuiltins(Interpreter& interpreter) {
  interpreter.setSymbolValue("PI", Value::real(std::numbers::pi));

  addArithmetic(interpreter, "+", Op::Add);
  addArithmetic(interpreter, "-", Op::Sub);
  addArithmetic(interpreter, "*", Op::Mul);
  addArithmetic(interpreter, "/", Op::Div);

  addComparison(interpreter, "=", [](int c) { return c == 0; });
  addComparison(interpreter, "/=", [](int c) { return c != 0; });
  addComparison(interpreter, "<", [](int c) { return c < 0; });
  addComparison(interpreter, ">", [](int c) { return c > 0; });
  addComparison(interpreter, "<=", [](int c) { return c <= 0; });
  addComparison(interpreter, ">=", [](int c) { return c >= 0; });

  interpreter.defineBuiltin("numberp", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    return Value::boolean(a[0].isNumber());
  });
  interpreter.defineBuiltin("minusp", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    return Value::boolean(a.number(0) < 0);
  });
  interpreter.defineBuiltin("zerop", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    return Value::boolean(a.number(0) == 0);
  });

  interpreter.defineBuiltin("1+", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    return a[0].isInteger() ? Value::integer(wrapAdd(a.integer(0), 1))
                            : Value::real(a.number(0) + 1);
  });
  interpreter.defineBuiltin("1-", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    return a[0].isInteger() ? Value::integer(wrapSub(a.integer(0), 1))
                            : Value::real(a.number(0) - 1);
  });
  interpreter.defineBuiltin("abs", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    if (a[0].isInteger()) {
      std::int32_t v = a.integer(0);
      return Value::integer(v < 0 ? wrapSub(0, v) : v);
    }
    return Value::real(std::fabs(a.number(0)));
  });

  auto extreme = [](bool wantMax) {
    return [wantMax](Interpreter&, const Arguments& a) {
      a.expectCount(1, kAny);
      checkNumbers(a);
      bool allIntegers = true;
      std::size_t best = 0;
      for (std::size_t i = 0; i < a.size(); ++i) {
        allIntegers = allIntegers && a[i].isInteger();
        int c = compare(a, i, best);
        if (wantMax ? c > 0 : c < 0) {
          best = i;
        }
      }
      return allIntegers ? a[best] : Value::real(a.number(best));
    };
  };
  interpreter.defineBuiltin("max", extreme(true));
  interpreter.defineBuiltin("min", extreme(false));

  interpreter.defineBuiltin("rem", [](Interpreter&, const Arguments& a) {
    a.expectCount(1, kAny);
    checkNumbers(a);
    Value result = a[0];
    for (std::size_t i = 1; i < a.size(); ++i) {
      if (result.isInteger() && a[i].isInteger()) {
        std::int32_t x = result.asInteger();
        std::int32_t y = a[i].asInteger();
        if (y == 0) {
          throw LispError("divide by zero");
        }
        result = Value::integer(y == -1 ? 0 : x % y);
      } else {
        double y = a[i].asNumber();
        if (y == 0.0) {
          throw LispError("divide by zero");
        }
        result = Value::real(std::fmod(result.asNumber(), y));
      }
    }
    return result;
  });

  interpreter.defineBuiltin("fix", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    if (a[0].isInteger()) {
      return a[0];
    }
    double t = std::trunc(a.number(0));
    // Beyond the integer range (or not a number) the truncated real is the
    // only faithful answer.
    if (!(t >= -2147483648.0 && t <= 2147483647.0)) {
      return Value::real(t);
    }
    return Value::integer(static_cast<std::int32_t>(t));
  });
  interpreter.defineBuiltin("float", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    return Value::real(a.number(0));
  });

  addRealFunction(interpreter, "sqrt", [](const Arguments& a, double x) {
    if (x < 0) {
      a.badValue(0);
    }
    return std::sqrt(x);
  });
  addRealFunction(interpreter, "sin", [](const Arguments&, double x) { return std::sin(x); });
  addRealFunction(interpreter, "cos", [](const Arguments&, double x) { return std::cos(x); });
  addRealFunction(interpreter, "exp", [](const Arguments&, double x) { return std::exp(x); });
  addRealFunction(interpreter, "log", [](const Arguments& a, double x) {
    if (x <= 0) {
      a.badValue(0);
    }
    return std::log(x);
  });
  interpreter.defineBuiltin("atan", [](Interpreter&, const Arguments& a) {
    a.expectCount(1, 2);
    return Value::real(a.size() == 2 ? std::atan2(a.number(0), a.number(1))
                                     : std::atan(a.number(0)));
  });
  interpreter.defineBuiltin("expt", [](Interpreter&, const Arguments& a) {
    a.expectCount(2);
    a.number(0);
    a.number(1);
    if (a[0].isInteger() && a[1].isInteger() && a[1].asInteger() >= 0) {
      std::int32_t base = a[0].asInteger();
      std::int32_t result = 1;
      // Square-and-multiply keeps this fast for any exponent; it wraps like
      // every other integer operation.
      for (std::int32_t n = a[1].asInteger(); n > 0; n >>= 1) {
        if (n & 1) {
          result = wrapMul(result, base);
        }
        base = wrapMul(base, base);
      }
      return Value::integer(result);
    }
    return Value::real(std::pow(a.number(0), a.number(1)));
  });
}

} // namespace corvane::lisp
