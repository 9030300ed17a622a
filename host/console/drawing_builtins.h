// The list language's functions on the current drawing: selections, entity
// names, entity data and extended data, the application and layer tables.
#pragma once

#include "lisp/interpreter.h"

namespace corvane {

// ssget sslength ssname ssadd entlast entnext handent entsel entget entmod
// regapp tblsearch.
void addDrawingBuiltins(lisp::Interpreter& interpreter);

} // namespace corvane
