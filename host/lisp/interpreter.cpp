#include "lisp/interpreter.h"

#include <pthread.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <new>

#include "lisp/builtins.h"
#include "lisp/lisp_error.h"
#include "lisp/printer.h"
#include "lisp/reader.h"
#include "runtime/text.h"

namespace corvane::lisp {

namespace {

// Stack a call must leave free for the built-ins, the printer and the
// error path below it; a quarter of the stack for small thread stacks.
constexpr std::size_t kStackReserve = 256 * 1024;

// The address below which a call counts as too deep: the low end of the
// calling thread's stack plus the reserve; 0 when it cannot be told.
std::uintptr_t stackFloor() {
  thread_local const std::uintptr_t floor = [] {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) {
      return std::uintptr_t{0};
    }
    void* address = nullptr;
    std::size_t size = 0;
    int rc = pthread_attr_getstack(&attr, &address, &size);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
      return std::uintptr_t{0};
    }
    return reinterpret_cast<std::uintptr_t>(address) + std::min(kStackReserve, size / 4);
  }();
  return floor;
}

// True when the stack (which grows down) is close to its end.
bool stackNearlyFull() {
  std::uintptr_t here = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  return here < stackFloor();
}

// Counts nested calls; the count is restored however the call ends. Fails
// at the depth limit, or earlier when the thread's stack runs short (a
// small thread stack, or the larger frames of a sanitizer build).
class DepthGuard {
public:
  explicit DepthGuard(int& depth) : depth_(depth) {
    if (depth_ >= Interpreter::kMaxEvalDepth || stackNearlyFull()) {
      throw LispError("evaluation nested too deeply");
    }
    ++depth_;
  }
  ~DepthGuard() { --depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

private:
  int& depth_;
};

} // namespace

Interpreter::Interpreter(OutputSink sink) : sink_(std::move(sink)) {
  globals_["T"] = Value::t();
  addSpecialForms(*this);
  addListBuiltins(*this);
  addNumberBuiltins(*this);
  addStringBuiltins(*this);
  addSystemBuiltins(*this);
}

Value Interpreter::evaluate(std::string_view text) {
  Value result;
  for (const Value& form : readAll(text)) {
    result = eval(form);
  }
  return result;
}

LineResult Interpreter::evaluateLine(std::string_view line) {
  try {
    std::vector<Value> forms = readAll(line);
    if (forms.empty()) {
      return {};
    }
    Value result;
    for (const Value& form : forms) {
      result = eval(form);
    }
    return {true, printValue(result, PrintStyle::Escaped)};
  } catch (const LispError& e) {
    return {false, std::string("; error: ") + e.what()};
  } catch (const std::bad_alloc&) {
    return {false, "; error: insufficient memory"};
  } catch (const std::exception& e) {
    // A host built-in that broke the rule of throwing LispError still must
    // not take the command line down.
    return {false, std::string("; error: ") + e.what()};
  }
}

void Interpreter::defineBuiltin(std::string_view name, Function::BuiltinFn fn) {
  auto function = std::make_shared<Function>();
  function->kind = Function::Kind::Builtin;
  function->name = asciiUpper(name);
  function->builtin = std::move(fn);
  globals_[function->name] = Value::function(function);
}

void Interpreter::defineSpecialForm(std::string_view name, Function::SpecialFn fn) {
  auto function = std::make_shared<Function>();
  function->kind = Function::Kind::SpecialForm;
  function->name = asciiUpper(name);
  function->special = std::move(fn);
  globals_[function->name] = Value::function(function);
}

Value Interpreter::symbolValue(std::string_view name) const {
  auto it = globals_.find(asciiUpper(name));
  return it == globals_.end() ? Value() : it->second;
}

void Interpreter::setSymbolValue(std::string_view name, Value value) {
  std::string key = asciiUpper(name);
  if (key == "T") {
    throw LispError("attempt to set constant: T");
  }
  if (value.isNil()) {
    globals_.erase(key);
  } else {
    globals_[key] = std::move(value);
  }
}

void Interpreter::write(std::string_view text) const {
  if (sink_) {
    sink_(text);
  }
}

Interpreter::BindingScope::~BindingScope() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (it->second.isNil()) {
      interpreter_.globals_.erase(it->first);
    } else {
      interpreter_.globals_[it->first] = std::move(it->second);
    }
  }
}

void Interpreter::BindingScope::bind(const std::string& name, Value value) {
  if (name == "T") {
    throw LispError("attempt to set constant: T");
  }
  auto it = interpreter_.globals_.find(name);
  saved_.emplace_back(name, it == interpreter_.globals_.end() ? Value() : it->second);
  if (value.isNil()) {
    interpreter_.globals_.erase(name);
  } else {
    interpreter_.globals_[name] = std::move(value);
  }
}

Value Interpreter::eval(const Value& form) {
  if (interruptCheck_ && ++evaluations_ % kEvaluationsPerCheck == 0 && interruptCheck_()) {
    throw LispError("Function cancelled");
  }
  if (form.isSymbol()) {
    auto it = globals_.find(form.symbolName());
    // Unbound symbols evaluate to nil; the empty symbol (quiet result) and T
    // evaluate to themselves.
    if (it != globals_.end()) {
      return it->second;
    }
    return form.symbolName().empty() ? form : Value();
  }
  if (form.isCons()) {
    return evalCall(form);
  }
  return form;
}

std::vector<Value> Interpreter::evalArguments(const Value& form) {
  std::vector<Value> args;
  const Value* p = &form.cdr();
  for (; p->isCons(); p = &p->cdr()) {
    args.push_back(eval(p->car()));
  }
  if (!p->isNil()) {
    throw LispError("bad list: " + printValue(form, PrintStyle::Escaped));
  }
  return args;
}

Value Interpreter::evalCall(const Value& form) {
  DepthGuard guard(depth_);
  const Value& head = form.car();
  Value fn;
  if (head.isSymbol()) {
    auto it = globals_.find(head.symbolName());
    if (it != globals_.end()) {
      fn = it->second;
    } else {
      std::optional<ExternalFunction> external;
      if (resolver_) {
        external = resolver_(head.symbolName());
      }
      if (!external || !*external) {
        throw LispError("no function definition: " + head.symbolName());
      }
      std::vector<Value> args = evalArguments(form);
      return (*external)(args);
    }
  } else if (head.isCons()) {
    fn = eval(head);
  } else {
    fn = head;
  }
  if (!fn.isFunction()) {
    throw LispError("bad function: " + printValue(fn, PrintStyle::Escaped));
  }
  // FN keeps the function alive even if its body redefines its own name.
  const Function& function = fn.asFunction();
  if (function.kind == Function::Kind::SpecialForm) {
    return function.special(*this, form.cdr());
  }
  std::vector<Value> args = evalArguments(form);
  return apply(fn, args);
}

Value Interpreter::apply(const Value& fn, std::span<const Value> args) {
  if (!fn.isFunction()) {
    throw LispError("bad function: " + printValue(fn, PrintStyle::Escaped));
  }
  Value keep = fn;
  const Function& function = keep.asFunction();
  switch (function.kind) {
  case Function::Kind::Builtin:
    return function.builtin(*this, Arguments(function.name, args));
  case Function::Kind::SpecialForm:
    return function.special(*this, Value::list(args));
  case Function::Kind::User:
    break;
  }
  return callUser(function, args);
}

Value Interpreter::callUser(const Function& fn, std::span<const Value> args) {
  DepthGuard guard(depth_);
  if (args.size() < fn.params.size()) {
    throw LispError("too few arguments");
  }
  if (args.size() > fn.params.size()) {
    throw LispError("too many arguments");
  }
  BindingScope scope(*this);
  for (std::size_t i = 0; i < args.size(); ++i) {
    scope.bind(fn.params[i], args[i]);
  }
  for (const std::string& local : fn.locals) {
    scope.bind(local, Value());
  }
  Value result;
  for (const Value* p = &fn.body; p->isCons(); p = &p->cdr()) {
    result = eval(p->car());
  }
  return result;
}

} // namespace corvane::lisp
