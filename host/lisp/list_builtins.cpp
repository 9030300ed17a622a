// List and predicate built-ins.
#include <string>

#include "lisp/builtins.h"
#include "lisp/interpreter.h"
#include "lisp/lisp_error.h"
#include "lisp/printer.h"

namespace corvane::lisp {

namespace {

// What mapcar and apply accept as a function: a function value, a symbol
// naming one, or a quoted lambda expression.
Value functionArgument(Interpreter& in, const Value& v) {
  Value fn = v;
  if (v.isSymbol()) {
    fn = in.symbolValue(v.symbolName());
  } else if (v.isCons() && v.car().isSymbol() && v.car().symbolName() == "LAMBDA") {
    fn = in.eval(v);
  }
  if (!fn.isFunction()) {
    throw LispError("bad function: " + printValue(v, PrintStyle::Escaped));
  }
  return fn;
}

Value typeSymbol(const Value& v) {
  switch (v.kind()) {
  case Value::Kind::Nil:
    return Value();
  case Value::Kind::Integer:
    return Value::symbol("INT");
  case Value::Kind::Real:
    return Value::symbol("REAL");
  case Value::Kind::String:
    return Value::symbol("STR");
  case Value::Kind::Symbol:
    return Value::symbol("SYM");
  case Value::Kind::Cons:
    return Value::symbol("LIST");
  case Value::Kind::EntityName:
    return Value::symbol("ENAME");
  case Value::Kind::SelectionSet:
    return Value::symbol("PICKSET");
  case Value::Kind::Function:
    return Value::symbol(v.asFunction().kind == Function::Kind::User ? "USUBR" : "SUBR");
  }
  return Value();
}

// c[ad]+r: the letters between c and r applied right to left.
void addCarCdrChain(Interpreter& interpreter, const std::string& letters) {
  interpreter.defineBuiltin("c" + letters + "r", [letters](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    Value v = a[0];
    for (auto it = letters.rbegin(); it != letters.rend(); ++it) {
      if (!v.isList()) {
        throwBadType("consp", v);
      }
      v = *it == 'a' ? v.car() : v.cdr();
    }
    return v;
  });
}

} // namespace

void addListBuiltins(Interpreter& interpreter) {
  interpreter.defineBuiltin("list", [](Interpreter&, const Arguments& a) {
    return Value::list(a.values());
  });

  // car, cdr and their combinations up to four levels (caddr, cdadr, ...).
  for (int levels = 1; levels <= 4; ++levels) {
    for (int bits = 0; bits < (1 << levels); ++bits) {
      std::string letters;
      for (int i = 0; i < levels; ++i) {
        letters += (bits >> i) & 1 ? 'd' : 'a';
      }
      addCarCdrChain(interpreter, letters);
    }
  }

  interpreter.defineBuiltin("cons", [](Interpreter&, const Arguments& a) {
    a.expectCount(2);
    return Value::cons(a[0], a[1]);
  });

  interpreter.defineBuiltin("length", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    return Value::integer(static_cast<std::int32_t>(listElements(a.list(0)).size()));
  });

  interpreter.defineBuiltin("nth", [](Interpreter&, const Arguments& a) {
    a.expectCount(2);
    std::int32_t n = a.integer(0);
    if (n < 0) {
      a.badValue(0);
    }
    const Value* p = &a.list(1);
    for (; n > 0 && p->isCons(); --n) {
      p = &p->cdr();
    }
    return p->isCons() ? p->car() : Value();
  });

  interpreter.defineBuiltin("append", [](Interpreter&, const Arguments& a) {
    if (a.size() == 0) {
      return Value();
    }
    ListBuilder out;
    for (std::size_t i = 0; i + 1 < a.size(); ++i) {
      for (const Value& item : listElements(a.list(i))) {
        out.append(item);
      }
    }
    // The last list is shared, not copied, as it becomes the tail.
    out.setTail(a.list(a.size() - 1));
    return out.build();
  });

  interpreter.defineBuiltin("assoc", [](Interpreter&, const Arguments& a) {
    a.expectCount(2);
    for (const Value* p = &a.list(1); p->isCons(); p = &p->cdr()) {
      const Value& entry = p->car();
      if (entry.isCons() && equal(entry.car(), a[0])) {
        return entry;
      }
    }
    return Value();
  });

  interpreter.defineBuiltin("reverse", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    Value out;
    for (const Value& item : listElements(a.list(0))) {
      out = Value::cons(item, std::move(out));
    }
    return out;
  });

  interpreter.defineBuiltin("member", [](Interpreter&, const Arguments& a) {
    a.expectCount(2);
    for (const Value* p = &a.list(1); p->isCons(); p = &p->cdr()) {
      if (equal(p->car(), a[0])) {
        return *p;
      }
    }
    return Value();
  });

  interpreter.defineBuiltin("last", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    std::vector<Value> items = listElements(a.list(0));
    return items.empty() ? Value() : items.back();
  });

  interpreter.defineBuiltin("eq", [](Interpreter&, const Arguments& a) {
    a.expectCount(2);
    return Value::boolean(eq(a[0], a[1]));
  });

  interpreter.defineBuiltin("equal", [](Interpreter&, const Arguments& a) {
    a.expectCount(2, 3);
    double fuzz = a.size() == 3 ? a.number(2) : 0.0;
    return Value::boolean(equal(a[0], a[1], fuzz));
  });

  auto isNil = [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    return Value::boolean(a[0].isNil());
  };
  interpreter.defineBuiltin("not", isNil);
  interpreter.defineBuiltin("null", isNil);

  interpreter.defineBuiltin("atom", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    return Value::boolean(!a[0].isCons());
  });

  interpreter.defineBuiltin("listp", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    return Value::boolean(a[0].isList());
  });

  interpreter.defineBuiltin("type", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    return typeSymbol(a[0]);
  });

  interpreter.defineBuiltin("eval", [](Interpreter& in, const Arguments& a) {
    a.expectCount(1);
    return in.eval(a[0]);
  });

  interpreter.defineBuiltin("apply", [](Interpreter& in, const Arguments& a) {
    a.expectCount(2);
    Value fn = functionArgument(in, a[0]);
    std::vector<Value> args = listElements(a.list(1));
    return in.apply(fn, args);
  });

  interpreter.defineBuiltin("mapcar", [](Interpreter& in, const Arguments& a) {
    a.expectCount(2, static_cast<std::size_t>(-1));
    Value fn = functionArgument(in, a[0]);
    std::vector<std::vector<Value>> lists;
    std::size_t shortest = static_cast<std::size_t>(-1);
    for (std::size_t i = 1; i < a.size(); ++i) {
      lists.push_back(listElements(a.list(i)));
      shortest = std::min(shortest, lists.back().size());
    }
    ListBuilder out;
    std::vector<Value> args(lists.size());
    for (std::size_t n = 0; n < shortest; ++n) {
      for (std::size_t i = 0; i < lists.size(); ++i) {
        args[i] = lists[i][n];
      }
      out.append(in.apply(fn, args));
    }
    return out.build();
  });
}

} // namespace corvane::lisp
