// Output and the host's system variables.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "ads.h"
#include "lisp/builtins.h"
#include "lisp/interpreter.h"
#include "lisp/lisp_error.h"
#include "lisp/printer.h"
#include "lisp/resbuf_convert.h"
#include "runtime/text.h"

namespace corvane::lisp {

namespace {

// (princ) and (prin1) without arguments return this symbol, which prints as
// nothing: the way a function ends without echoing a value.
Value quiet() { return Value::symbol(""); }

// System variable names ignore case; the host is asked in upper case.
std::string variableName(const std::string& name) { return asciiUpper(name); }

// Frees the text ads_getvar put into a caller's buffer, on every path.
struct VariableBuffer {
  resbuf rb{};
  ~VariableBuffer() {
    if (rb.restype == RTSTR && rb.resval.rstring != nullptr) {
      acad_free(rb.resval.rstring);
    }
  }
};

// (x y) or (x y z) of numbers as a point buffer; false for any other list.
bool pointBuffer(const Value& list, resbuf& rb) {
  double xyz[3] = {0, 0, 0};
  int count = 0;
  const Value* p = &list;
  for (; p->isCons() && count < 3; p = &p->cdr(), ++count) {
    if (!p->car().isNumber()) {
      return false;
    }
    xyz[count] = p->car().asNumber();
  }
  if (!p->isNil() || count < 2) {
    return false;
  }
  rb.restype = static_cast<short>(count == 2 ? RTPOINT : RT3DPOINT);
  for (int i = 0; i < 3; ++i) {
    rb.resval.rpoint[i] = xyz[i];
  }
  return true;
}

} // namespace

void addSystemBuiltins(Interpreter& interpreter) {
  auto printer = [](PrintStyle style, const char* before, const char* after) {
    return [style, before, after](Interpreter& in, const Arguments& a) {
      a.expectCount(0, 1);
      if (a.size() == 0) {
        return quiet();
      }
      in.write(before);
      in.write(printValue(a[0], style));
      in.write(after);
      return a[0];
    };
  };
  interpreter.defineBuiltin("princ", printer(PrintStyle::Raw, "", ""));
  interpreter.defineBuiltin("prin1", printer(PrintStyle::Escaped, "", ""));
  interpreter.defineBuiltin("print", printer(PrintStyle::Escaped, "\n", " "));

  interpreter.defineBuiltin("terpri", [](Interpreter& in, const Arguments& a) {
    a.expectCount(0);
    in.write("\n");
    return Value();
  });

  interpreter.defineBuiltin("getvar", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    VariableBuffer buffer;
    if (ads_getvar(variableName(a.string(0)).c_str(), &buffer.rb) != RTNORM) {
      return Value();
    }
    buffer.rb.rbnext = nullptr;
    return fromResbufChain(&buffer.rb, ChainShape::Result);
  });

  interpreter.defineBuiltin("setvar", [](Interpreter&, const Arguments& a) {
    a.expectCount(2);
    std::string name = variableName(a.string(0));
    const Value& value = a[1];
    resbuf rb{};
    std::string text;
    if (value.isInteger()) {
      std::int32_t i = value.asInteger();
      if (i >= std::numeric_limits<short>::min() && i <= std::numeric_limits<short>::max()) {
        rb.restype = RTSHORT;
        rb.resval.rint = static_cast<short>(i);
      } else {
        rb.restype = RTLONG;
        rb.resval.rlong = i;
      }
    } else if (value.isReal()) {
      rb.restype = RTREAL;
      rb.resval.rreal = value.asReal();
    } else if (value.isString()) {
      text = value.asString();
      if (text.find('\0') != std::string::npos) {
        a.badValue(1);
      }
      // ads_setvar only reads the buffer: it may point at our own copy.
      rb.restype = RTSTR;
      rb.resval.rstring = text.data();
    } else if (!value.isCons() || !pointBuffer(value, rb)) {
      a.badType(1, "variable value");
    }
    if (ads_setvar(name.c_str(), &rb) != RTNORM) {
      throw LispError("variable setting rejected: " + printValue(a[0], PrintStyle::Escaped) + " " +
                      printValue(value, PrintStyle::Escaped));
    }
    return value;
  });
}

} // namespace corvane::lisp
