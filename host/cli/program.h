// The corvane program: its command line (shell, run, export and the
// options around them) parsed in one place and run against the streams it
// is given, so that main() and the tests run the same code.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "cli/export_command.h"
#include "cli/session.h"

namespace corvane {

// The command line, parsed.
struct ProgramOptions {
  std::string command;               // "shell", "run" or "export"; empty for help or version alone
  bool help = false;                 // -h or --help (the command's own when one is named)
  bool version = false;              // --version
  SessionOptions session;            // --module, --support
  std::vector<std::string> operands; // shell: [DRAWING]; run: DRAWING SCRIPT
  bool keepGoing = false;            // run --keep-going: past a failed step
  ExportOptions exportOptions;       // export: its drawings and options
};

// Parses ARGS (argv without the program name) into OPTIONS. An option
// takes its value as the next word or after '=' (--layer=ROOF, -j4 too);
// "--" ends the options. False with ERROR set to the usage error's line
// (without "corvane: "): an unknown command or option, an option without
// its value, a value out of range.
bool parseCommandLine(const std::vector<std::string>& args, ProgramOptions& options, std::string& error);

// Runs corvane with ARGS (argv without the program name): usage and help on
// STREAMS.out, diagnostics on STREAMS.err, a script named "-" read from IN.
// Returns the program's exit status (ExitStatus). Installs the process's
// signal handlers (installInterruptHandlers) for a shell, run or export; the
// session it starts has ended when this returns. A batch export forks its
// workers from this process.
int runProgram(const std::vector<std::string>& args, std::istream& in, const OutputStreams& streams);

} // namespace corvane
