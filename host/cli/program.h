// The corvane program: its command line (shell, run, export and the
// options before them) parsed and run against the streams it is given, so
// that main() and the tests run the same code.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "cli/session.h"

namespace corvane {

// Runs corvane with ARGS (argv without the program name): usage and help on
// STREAMS.out, diagnostics on STREAMS.err, a script named "-" read from IN.
// Returns the program's exit status (ExitStatus). Installs the process's
// signal handlers (installInterruptHandlers) for a shell, run or export; the
// session it starts has ended when this returns.
int runProgram(const std::vector<std::string>& args, std::istream& in, const OutputStreams& streams);

} // namespace corvane
