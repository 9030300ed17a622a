// corvane: the drawing host. Subcommands shell, run and export (cli/program).
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/program.h"

int main(int argc, char** argv) {
  // Tied, std::cerr would flush std::cout before each message; the session
  // flushes it itself where a message must follow the transcript.
  std::cerr.tie(nullptr);
  const corvane::OutputStreams streams{std::cout, std::cerr, isatty(STDOUT_FILENO) != 0, isatty(STDERR_FILENO) != 0};
  return corvane::runProgram(std::vector<std::string>(argv + 1, argv + argc), std::cin, streams);
}
