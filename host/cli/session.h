// One run of the host: the drawing, the loaded module, the list-language
// interpreter and the command line, wired together.
#pragma once

#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace corvane {

struct SessionOptions {
  std::string modulePath;              // empty: Vrml.arx beside the executable
  std::vector<std::string> supportDirs; // added to the search path
  std::string drawingPath;             // empty or "-": an empty drawing
  // The drawing is only read, never saved (an export): its file is mapped
  // rather than copied into memory.
  bool readOnly = false;
};

// Exit statuses of the corvane program.
enum ExitStatus {
  kExitOk = 0,
  kExitFalse = 1,        // the job ran and returned nil (export converted nothing)
  kExitLoadError = 2,    // drawing, module, usage or output-file error
  kExitAborted = 3,      // acrx_abort
  kExitInterrupted = 130, // SIGINT, SIGTERM or SIGHUP (Ctrl-C outside the shell)
};

// The sample drawing that ships beside the executable (bin/examples/).
std::string sampleDrawingPath();

class Session {
public:
  Session();
  ~Session();
  // Loads the drawing and the module. False with a one-line reason.
  bool start(const SessionOptions& options, std::string& error);
  // Runs the command line from INPUT until it ends.
  void runCommandLine(std::istream* script);
  // Evaluates one list expression; returns the printed result or error line.
  std::string evaluate(const std::string& expression);
  // Exports the model-space objects (on LAYERS, or all) with the module's
  // vrml_wrlout, as `corvane export` does: kExitOk when it returned T,
  // kExitLoadError when the output file could not be written (the reason is
  // on stderr) or the drawing's file changed during the export (it then says
  // so), kExitInterrupted when a signal stopped it, kExitFalse when it
  // returned nil otherwise or nothing matched. Unless KEEPBLOCKS, every
  // block reference and MESH is first exploded in memory (through every
  // level), and the layers apply to the objects as placed.
  int exportTo(const std::string& outputPath, const std::vector<std::string>& layers, bool keepBlocks = false);
  // The base name of the drawing with EXTENSION in place of its own.
  std::string drawingBaseName(const std::string& extension) const;
  // Unloads the module (messages 4 and 2); returns the blocks it still held.
  long stop();

private:
  struct State;
  std::unique_ptr<State> state_;
};

} // namespace corvane
