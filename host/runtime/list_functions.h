// List functions that modules define for the current drawing, and the call
// machinery behind ads_getargs / ads_ret* / ads_fail.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "ads.h"

namespace corvane {

struct LoadedModule;

struct ListFunction {
  std::string name; // as defined (compared ignoring case)
  int code = 0;
  LoadedModule* module = nullptr;
  int (*handler)() = nullptr; // set by ads_regfunc
};

// What a call of a module's list function produced. The chain (for kList and
// kAtom) is owned by the result and released with it.
struct ListCallResult {
  enum Kind { kNil, kT, kList, kAtom, kError };
  Kind kind = kNil;
  resbuf* chain = nullptr;
  std::string error; // for kError: the ads_fail text, or why the call failed
  int handlerResult = RSRSLT;
  ListCallResult() = default;
  ListCallResult(ListCallResult&& other) noexcept;
  ListCallResult& operator=(ListCallResult&& other) noexcept;
  ~ListCallResult();
};

class ListFunctionTable {
public:
  // A drawing is current (set by the console when it loads one).
  bool hasDrawing() const { return hasDrawing_; }
  void setHasDrawing(bool has) { hasDrawing_ = has; }

  int defun(const char* name, short code);
  int undef(const char* name, short code);
  int regfunc(int (*handler)(), int code);
  const ListFunction* find(const std::string& name) const;
  const std::vector<ListFunction>& functions() const { return functions_; }
  void forgetModule(LoadedModule* module);

  // Calls the function NAME with ARGS (the caller keeps its chain): the
  // registered handler directly, otherwise message 5 to its module.
  ListCallResult call(const ListFunction& function, const resbuf* args);

  // State of the call in progress (for the ads_* calls).
  int currentCode() const;
  const resbuf* currentArgs() const;
  void setResult(ListCallResult::Kind kind, resbuf* chain);
  void fail(const char* message);

  // Test hook: ads_defun refuses this name (empty: refuse nothing).
  void refuseName(const std::string& name) { refused_ = name; }

  // Expressions queued with ads_queueexpr, taken by the command line.
  std::deque<std::string>& queue() { return queue_; }

private:
  struct Call {
    int code;
    const resbuf* args;
    ListCallResult result;
  };
  std::vector<ListFunction> functions_;
  std::vector<Call*> calls_;
  std::deque<std::string> queue_;
  std::string refused_;
  bool hasDrawing_ = false;
};

ListFunctionTable& listFunctions();

// Deep copy of a chain with acad_malloc'd texts; null for null.
resbuf* copyChain(const resbuf* chain);

} // namespace corvane
