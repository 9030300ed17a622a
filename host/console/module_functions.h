// The list functions that loaded modules define, made callable from the
// list language.
#pragma once

#include "lisp/interpreter.h"

namespace corvane {

// Lets INTERPRETER call every list function a module has defined for the
// current drawing: arguments go over as a result-buffer chain, the result
// comes back as a value; an ads_fail becomes the call's error.
void connectModuleFunctions(lisp::Interpreter& interpreter);

} // namespace corvane
