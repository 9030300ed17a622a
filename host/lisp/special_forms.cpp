// Forms whose arguments are not evaluated before the call: the interpreter
// hands them the argument forms as a list.
#include <memory>

#include "lisp/builtins.h"
#include "lisp/interpreter.h"
#include "lisp/lisp_error.h"

namespace corvane::lisp {

namespace {

// The argument forms as a vector, checked against MIN..MAX.
std::vector<Value> forms(const Value& args, std::size_t min, std::size_t max) {
  std::vector<Value> out = listElements(args);
  Arguments(std::string_view(), out).expectCount(min, max);
  return out;
}

constexpr std::size_t kAny = static_cast<std::size_t>(-1);

Value evalBody(Interpreter& in, const Value& body) {
  Value result;
  for (const Value* p = &body; p->isCons(); p = &p->cdr()) {
    result = in.eval(p->car());
  }
  return result;
}

const std::string& symbolArgument(const Value& v) {
  if (!v.isSymbol() || v.symbolName().empty()) {
    throwBadType("symbolp", v);
  }
  return v.symbolName();
}

// (params... / locals...) into a user function with BODY.
std::shared_ptr<Function> makeUserFunction(std::string name, const Value& parameterList,
                                           const Value& body) {
  if (!parameterList.isList()) {
    throwBadType("listp", parameterList);
  }
  auto fn = std::make_shared<Function>();
  fn->kind = Function::Kind::User;
  fn->name = std::move(name);
  bool locals = false;
  for (const Value& item : listElements(parameterList)) {
    const std::string& symbol = symbolArgument(item);
    if (symbol == "/") {
      if (locals) {
        throwBadType("symbolp", item);
      }
      locals = true;
    } else {
      (locals ? fn->locals : fn->params).push_back(symbol);
    }
  }
  fn->body = body;
  return fn;
}

} // namespace

void addSpecialForms(Interpreter& interpreter) {
  interpreter.defineSpecialForm("quote", [](Interpreter&, const Value& args) {
    return forms(args, 1, 1)[0];
  });

  interpreter.defineSpecialForm("setq", [](Interpreter& in, const Value& args) {
    std::vector<Value> f = forms(args, 2, kAny);
    if (f.size() % 2 != 0) {
      throw LispError("too few arguments");
    }
    Value result;
    for (std::size_t i = 0; i < f.size(); i += 2) {
      const std::string& name = symbolArgument(f[i]);
      result = in.eval(f[i + 1]);
      in.setSymbolValue(name, result);
    }
    return result;
  });

  interpreter.defineSpecialForm("if", [](Interpreter& in, const Value& args) {
    std::vector<Value> f = forms(args, 2, 3);
    if (!in.eval(f[0]).isNil()) {
      return in.eval(f[1]);
    }
    return f.size() == 3 ? in.eval(f[2]) : Value();
  });

  interpreter.defineSpecialForm("cond", [](Interpreter& in, const Value& args) {
    for (const Value& clause : listElements(args)) {
      if (!clause.isCons()) {
        throwBadType("consp", clause);
      }
      Value test = in.eval(clause.car());
      if (!test.isNil()) {
        return clause.cdr().isNil() ? test : evalBody(in, clause.cdr());
      }
    }
    return Value();
  });

  interpreter.defineSpecialForm("progn", [](Interpreter& in, const Value& args) {
    forms(args, 0, kAny);
    return evalBody(in, args);
  });

  interpreter.defineSpecialForm("while", [](Interpreter& in, const Value& args) {
    forms(args, 1, kAny);
    Value result;
    while (!in.eval(args.car()).isNil()) {
      result = evalBody(in, args.cdr());
    }
    return result;
  });

  interpreter.defineSpecialForm("repeat", [](Interpreter& in, const Value& args) {
    forms(args, 1, kAny);
    Value countValue = in.eval(args.car());
    std::vector<Value> evaluated{countValue};
    std::int32_t count = Arguments("repeat", evaluated).integer(0);
    Value result;
    for (std::int32_t i = 0; i < count; ++i) {
      result = evalBody(in, args.cdr());
    }
    return result;
  });

  interpreter.defineSpecialForm("foreach", [](Interpreter& in, const Value& args) {
    std::vector<Value> f = forms(args, 2, kAny);
    const std::string& name = symbolArgument(f[0]);
    Value items = in.eval(f[1]);
    std::vector<Value> elements;
    if (!items.isList()) {
      throwBadType("listp", items);
    }
    elements = listElements(items);
    Interpreter::BindingScope scope(in);
    scope.bind(name, Value());
    Value result;
    for (const Value& item : elements) {
      in.setSymbolValue(name, item);
      result = evalBody(in, args.cdr().cdr());
    }
    return result;
  });

  interpreter.defineSpecialForm("and", [](Interpreter& in, const Value& args) {
    for (const Value& form : listElements(args)) {
      if (in.eval(form).isNil()) {
        return Value();
      }
    }
    return Value::t();
  });

  interpreter.defineSpecialForm("or", [](Interpreter& in, const Value& args) {
    for (const Value& form : listElements(args)) {
      if (!in.eval(form).isNil()) {
        return Value::t();
      }
    }
    return Value();
  });

  interpreter.defineSpecialForm("defun", [](Interpreter& in, const Value& args) {
    std::vector<Value> f = forms(args, 2, kAny);
    const std::string& name = symbolArgument(f[0]);
    if (name == "T") {
      throw LispError("attempt to set constant: T");
    }
    in.setSymbolValue(name, Value::function(makeUserFunction(name, f[1], args.cdr().cdr())));
    return f[0];
  });

  interpreter.defineSpecialForm("lambda", [](Interpreter&, const Value& args) {
    std::vector<Value> f = forms(args, 1, kAny);
    return Value::function(makeUserFunction("LAMBDA", f[0], args.cdr()));
  });
}

} // namespace corvane::lisp
