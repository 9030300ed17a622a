#include "console/module_functions.h"

#include "console/export_answer.h"

#include "lisp/lisp_error.h"
#include "lisp/resbuf_convert.h"
#include "runtime/host_services.h"
#include "runtime/list_functions.h"
#include "runtime/module_loader.h"

namespace corvane {

void connectModuleFunctions(lisp::Interpreter& interpreter) {
  interpreter.setExternalResolver(
      [](std::string_view name) -> std::optional<lisp::Interpreter::ExternalFunction> {
        const ListFunction* defined = listFunctions().find(std::string(name));
        if (defined == nullptr) return std::nullopt;
        ListFunction function = *defined; // the call may redefine the table
        return [function](std::span<const lisp::Value> args) -> lisp::Value {
          lisp::ResbufChain chain = lisp::toResbufChain(args);
          const bool outermost = moduleCallDepth() == 0;
          if (outermost) forgetSetWalk();
          ListCallResult result = listFunctions().call(function, chain.get());
          // An export that converted nothing says why before its value.
          std::string why = outermost ? takeWalkAnswer() : "";
          if (!why.empty()) hostPrint((currentOutputLine().empty() ? "" : "\n") + why + "\n");
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
