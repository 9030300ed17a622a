#include "console/module_functions.h"

#include "lisp/lisp_error.h"
#include "lisp/resbuf_convert.h"
#include "runtime/list_functions.h"

namespace corvane {

void connectModuleFunctions(lisp::Interpreter& interpreter) {
  interpreter.setExternalResolver(
      [](std::string_view name) -> std::optional<lisp::Interpreter::ExternalFunction> {
        const ListFunction* defined = listFunctions().find(std::string(name));
        if (defined == nullptr) return std::nullopt;
        ListFunction function = *defined; // the call may redefine the table
        return [function](std::span<const lisp::Value> args) -> lisp::Value {
          lisp::ResbufChain chain = lisp::toResbufChain(args);
          ListCallResult result = listFunctions().call(function, chain.get());
          switch (result.kind) {
          case ListCallResult::kNil:
            return lisp::Value();
          case ListCallResult::kT:
            return lisp::Value::t();
          case ListCallResult::kList:
            return lisp::fromResbufChain(result.chain, lisp::ChainShape::List);
          case ListCallResult::kAtom:
            return lisp::fromResbufChain(result.chain, lisp::ChainShape::Result);
          case ListCallResult::kError:
            break;
          }
          throw lisp::LispError(result.error);
        };
      });
}

} // namespace corvane
