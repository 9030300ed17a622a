#include "runtime/list_functions.h"

#include <cctype>
#include <cstring>

#include "runtime/command_stack.h"
#include "runtime/module_loader.h"

namespace corvane {

ListCallResult::ListCallResult(ListCallResult&& other) noexcept
    : kind(other.kind), chain(other.chain), error(std::move(other.error)),
      handlerResult(other.handlerResult) {
  other.chain = nullptr;
}

ListCallResult& ListCallResult::operator=(ListCallResult&& other) noexcept {
  if (this != &other) {
    ads_relrb(chain);
    kind = other.kind;
    chain = other.chain;
    other.chain = nullptr;
    error = std::move(other.error);
    handlerResult = other.handlerResult;
  }
  return *this;
}

ListCallResult::~ListCallResult() { ads_relrb(chain); }

ListFunctionTable& listFunctions() {
  static ListFunctionTable* table = new ListFunctionTable;
  return *table;
}

namespace {
bool validFunctionName(const char* name) {
  if (name == nullptr || *name == '\0' || std::strlen(name) > 255) return false;
  for (const char* p = name; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (std::isspace(c) || c == '(' || c == ')' || c == '"' || c == '\'' || c == ';' || c < 32)
      return false;
  }
  return true;
}
} // namespace

int ListFunctionTable::defun(const char* name, short code) {
  if (!validFunctionName(name) || code < 0) return RTERROR;
  if (!refused_.empty() && equalsIgnoreCase(refused_, name)) return RTERROR;
  LoadedModule* module = currentModule();
  for (ListFunction& f : functions_) {
    if (equalsIgnoreCase(f.name, name)) {
      f.name = name;
      f.code = code;
      f.module = module;
      f.handler = nullptr;
      return RTNORM;
    }
  }
  functions_.push_back(ListFunction{name, code, module, nullptr});
  return RTNORM;
}

int ListFunctionTable::undef(const char* name, short code) {
  if (name == nullptr) return RTERROR;
  for (auto it = functions_.begin(); it != functions_.end(); ++it) {
    if (it->code == code && equalsIgnoreCase(it->name, name) && it->module == currentModule()) {
      functions_.erase(it);
      return RTNORM;
    }
  }
  return RTERROR;
}

int ListFunctionTable::regfunc(int (*handler)(), int code) {
  if (handler == nullptr) return RTERROR;
  bool found = false;
  for (ListFunction& f : functions_)
    if (f.code == code && f.module == currentModule()) {
      f.handler = handler;
      found = true;
    }
  return found ? RTNORM : RTERROR;
}

const ListFunction* ListFunctionTable::find(const std::string& name) const {
  for (const ListFunction& f : functions_)
    if (equalsIgnoreCase(f.name, name)) return &f;
  return nullptr;
}

void ListFunctionTable::forgetModule(LoadedModule* module) {
  std::erase_if(functions_, [module](const ListFunction& f) { return f.module == module; });
}

ListCallResult ListFunctionTable::call(const ListFunction& function, const resbuf* args) {
  Call call{function.code, args, ListCallResult{}};
  calls_.push_back(&call);
  {
    ModuleScope scope(function.module);
    if (function.handler != nullptr) {
      call.result.handlerResult = function.handler();
    } else if (function.module != nullptr && function.module->entryPoint != nullptr) {
      function.module->entryPoint(5, function.module);
    } else {
      call.result.kind = ListCallResult::kError;
      call.result.error = "no function definition: " + function.name;
    }
  }
  calls_.pop_back();
  if (call.result.handlerResult == RSERR && call.result.kind != ListCallResult::kError) {
    ads_relrb(call.result.chain);
    call.result.chain = nullptr;
    call.result.kind = ListCallResult::kNil;
  }
  return std::move(call.result);
}

int ListFunctionTable::currentCode() const { return calls_.empty() ? RTERROR : calls_.back()->code; }

const resbuf* ListFunctionTable::currentArgs() const {
  return calls_.empty() ? nullptr : calls_.back()->args;
}

void ListFunctionTable::setResult(ListCallResult::Kind kind, resbuf* chain) {
  if (calls_.empty()) {
    ads_relrb(chain);
    return;
  }
  ListCallResult& result = calls_.back()->result;
  if (result.kind == ListCallResult::kError) {
    ads_relrb(chain);
    return;
  }
  ads_relrb(result.chain);
  result.kind = kind;
  result.chain = chain;
}

void ListFunctionTable::fail(const char* message) {
  if (calls_.empty()) return;
  ListCallResult& result = calls_.back()->result;
  ads_relrb(result.chain);
  result.chain = nullptr;
  result.kind = ListCallResult::kError;
  result.error = message ? message : "";
}

} // namespace corvane

// ---- the ads_* calls of this family ---------------------------------------

using corvane::listFunctions;
using corvane::ListCallResult;

extern "C" {

int ads_defun(const char* name, short fcode) { return listFunctions().defun(name, fcode); }
int ads_undef(const char* name, short fcode) { return listFunctions().undef(name, fcode); }
int ads_regfunc(int (*fhdl)(void), int fcode) { return listFunctions().regfunc(fhdl, fcode); }
int ads_getfuncode(void) { return listFunctions().currentCode(); }
struct resbuf* ads_getargs(void) { return const_cast<resbuf*>(listFunctions().currentArgs()); }

int ads_retnil(void) {
  listFunctions().setResult(ListCallResult::kNil, nullptr);
  return RTNORM;
}
int ads_rett(void) {
  listFunctions().setResult(ListCallResult::kT, nullptr);
  return RTNORM;
}
int ads_retlist(const struct resbuf* rbuf) {
  corvane::LoadedModule* owner = nullptr; // the host owns its copy of the result
  corvane::ModuleScope scope(owner);
  listFunctions().setResult(ListCallResult::kList, corvane::copyChain(rbuf));
  return RTNORM;
}
int ads_retstr(const char* s) {
  corvane::ModuleScope scope(nullptr);
  resbuf* rb = ads_newrb(RTSTR);
  if (rb == nullptr) return RTERROR;
  rb->resval.rstring = acad__strdup(s ? s : "");
  listFunctions().setResult(ListCallResult::kAtom, rb);
  return RTNORM;
}
int ads_retint(int ival) {
  corvane::ModuleScope scope(nullptr);
  resbuf* rb = ads_newrb(RTLONG);
  if (rb == nullptr) return RTERROR;
  rb->resval.rlong = ival;
  listFunctions().setResult(ListCallResult::kAtom, rb);
  return RTNORM;
}
int ads_retreal(ads_real rval) {
  corvane::ModuleScope scope(nullptr);
  resbuf* rb = ads_newrb(RTREAL);
  if (rb == nullptr) return RTERROR;
  rb->resval.rreal = rval;
  listFunctions().setResult(ListCallResult::kAtom, rb);
  return RTNORM;
}
void ads_fail(const char* str) { listFunctions().fail(str); }

int ads_queueexpr(const char* expr) {
  if (expr == nullptr) return RTERROR;
  listFunctions().queue().push_back(expr);
  return RTNORM;
}

int ads_getappname(char* name, int len) {
  corvane::LoadedModule* module = corvane::currentModule();
  if (module == nullptr || name == nullptr || len <= 0) return RTERROR;
  size_t n = module->path.size();
  if (n + 1 > static_cast<size_t>(len)) n = static_cast<size_t>(len) - 1;
  std::memcpy(name, module->path.data(), n);
  name[n] = '\0';
  return RTNORM;
}

} // extern "C"
