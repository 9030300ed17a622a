// The list-language interpreter: a global environment of dynamically scoped
// symbols, the evaluator, and the built-in functions. One interpreter per
// command line; not thread-safe. Values it returns stay valid on their own.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "lisp/arguments.h"
#include "lisp/value.h"

namespace corvane::lisp {

// What one command-line entry gave: the printed value (empty for blank
// input or a quiet result such as (princ)), or "; error: MESSAGE".
struct LineResult {
  bool ok = true;
  std::string text;
};

class Interpreter {
public:
  // Receives everything princ, prin1, print and terpri write, byte for byte.
  using OutputSink = std::function<void(std::string_view)>;
  // A function outside the interpreter (a module's list function). It gets
  // the evaluated arguments and returns the result, or throws LispError with
  // the message to report.
  using ExternalFunction = std::function<Value(std::span<const Value> args)>;
  // Asked when a symbol in function position has no definition, before the
  // arguments are evaluated. NAME is upper-case (compare ignoring case);
  // nullopt means there is no such function ("no function definition").
  using ExternalResolver = std::function<std::optional<ExternalFunction>(std::string_view name)>;

  // Calls nested deeper than this fail with "evaluation nested too deeply"
  // instead of exhausting the stack; so do calls that would leave less than
  // 256 KB (or a quarter) of the thread's stack. Each level of a user
  // function's recursion costs two.
  static constexpr int kMaxEvalDepth = 10000;

  explicit Interpreter(OutputSink sink);
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  // Reads and evaluates every expression of TEXT; returns the last value
  // (nil when there is none). Throws LispError; definitions made before the
  // error stay.
  Value evaluate(std::string_view text);
  // evaluate() for a command line: errors come back as the error line, never
  // as an exception.
  LineResult evaluateLine(std::string_view line);

  // Binds NAME (case-insensitive) to a built-in; replaces any value. FN reads
  // its arguments through Arguments so that errors read alike.
  void defineBuiltin(std::string_view name, Function::BuiltinFn fn);
  // Binds NAME to a special form, which receives its argument forms
  // unevaluated as a list.
  void defineSpecialForm(std::string_view name, Function::SpecialFn fn);
  void setExternalResolver(ExternalResolver resolver) { resolver_ = std::move(resolver); }
  // Asked every kEvaluationsPerCheck evaluations; when it says true the
  // evaluation stops with "Function cancelled" (Ctrl-C in an endless loop,
  // a fuzzer's budget).
  using InterruptCheck = std::function<bool()>;
  void setInterruptCheck(InterruptCheck check) { interruptCheck_ = std::move(check); }
  static constexpr unsigned kEvaluationsPerCheck = 1024;

  // Evaluates one form. Throws LispError.
  Value eval(const Value& form);
  // Calls a function value with evaluated arguments ("bad function: X" when
  // FN is not a function). Throws LispError.
  Value apply(const Value& fn, std::span<const Value> args);

  // Global (dynamically current) value of a symbol; nil when unbound.
  Value symbolValue(std::string_view name) const;
  // Sets it; "attempt to set constant: T" for T.
  void setSymbolValue(std::string_view name, Value value);

  // Sends TEXT to the output sink.
  void write(std::string_view text) const;

  // Binds symbols for the lifetime of the scope and restores their previous
  // values (in reverse order) when it ends, also when an error unwinds.
  class BindingScope {
  public:
    explicit BindingScope(Interpreter& interpreter) : interpreter_(interpreter) {}
    ~BindingScope();
    BindingScope(const BindingScope&) = delete;
    BindingScope& operator=(const BindingScope&) = delete;
    // NAME must be upper-case.
    void bind(const std::string& name, Value value);

  private:
    Interpreter& interpreter_;
    std::vector<std::pair<std::string, Value>> saved_;
  };

private:
  Value evalCall(const Value& form);
  Value callUser(const Function& fn, std::span<const Value> args);
  std::vector<Value> evalArguments(const Value& form);

  OutputSink sink_;
  ExternalResolver resolver_;
  InterruptCheck interruptCheck_;
  unsigned evaluations_ = 0;
  std::unordered_map<std::string, Value> globals_;
  int depth_ = 0;
};

} // namespace corvane::lisp
