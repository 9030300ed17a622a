// One run of the host: the drawing, the loaded module, the list-language
// interpreter and the command line, wired together, printing to the streams
// it is given.
#pragma once

#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "console/export_answer.h"

struct AcDbObjectRecord;

namespace corvane {

struct SessionOptions {
  std::string modulePath;              // empty: Vrml.arx beside the executable
  std::vector<std::string> supportDirs; // added to the search path
  std::string drawingPath;             // empty or "-": an empty drawing
  // The drawing is only read, never saved (an export): its file is mapped
  // rather than copied into memory.
  bool readOnly = false;
  // An export: the greeting the module prints as it loads is left out.
  bool quietLoad = false;
  // What the transcript shows of progress records: text that starts with a
  // carriage return and ends no line, a line the module redraws in place.
  enum class Progress {
    kAll,    // every one, as printed (the shell, corvane run, --progress)
    kLatest, // the latest one at most twenty times a second, and always the
             // last before other text: a person watching sees the same
    kNone,   // none (a log keeps the report), nor the line end after them
  } progress = Progress::kAll;
  // Sets EXPLODELIMIT (corvane export --explode-limit); none: its default.
  std::optional<unsigned long long> explodeLimit;
};

// Where a session prints: OUT takes the transcript (what the module, the
// command line and the host print), ERR the host's one-line diagnostics
// ("corvane: ..."). The program passes its standard streams (std::cerr
// untied from std::cout, so that OUT is flushed only where a session says);
// a test passes strings. The flags tell whether a person watches the stream
// on a terminal: OUT is then flushed piece by piece, and a diagnostic after
// the module's text starts a line of its own when both are.
struct OutputStreams {
  std::ostream& out;
  std::ostream& err;
  bool outIsTerminal = false;
  bool errIsTerminal = false;
};

// Prints "corvane: LINE" and a line end on STREAMS.err, in one write, once
// the transcript so far is out on STREAMS.out: the program's diagnostics.
void diagnose(const OutputStreams& streams, const std::string& line);

// Exit statuses of the corvane program.
enum ExitStatus {
  kExitOk = 0,
  kExitFalse = 1,        // the job ran and returned nil (export converted nothing)
  kExitLoadError = 2,    // drawing, module, usage or output-file error
  kExitAborted = 3,      // acrx_abort
  kExitStepFailed = 4,   // corvane run: a step of the script failed
  kExitInterrupted = 130, // SIGINT, SIGTERM or SIGHUP (Ctrl-C outside the shell)
};

// The sample drawing that ships beside the executable (bin/examples/).
std::string sampleDrawingPath();

// One session at a time runs in a process (the host's drawing, module and
// list functions are the process's): from start() to stop(), the host's
// output and diagnostics go to the session's streams, and adsi_fileerror
// reports to it.
class Session {
public:
  // STREAMS must outlive the session.
  explicit Session(const OutputStreams& streams);
  ~Session();
  // Loads the drawing and the module. False with a one-line reason (the
  // caller prints it); warnings of the load are on the error stream.
  bool start(const SessionOptions& options, std::string& error);
  // Runs the command line until it ends: answers from SCRIPT, or from the
  // terminal when null. A script stops at its first failed step unless
  // KEEPGOING (Console::noteStepFailed).
  void runCommandLine(std::istream* script, bool keepGoing = false);
  // True once a step of the command line has failed (Console::noteStepFailed).
  bool stepFailed() const;
  // Evaluates one list expression; returns the printed result or error line.
  std::string evaluate(const std::string& expression);
  // Exports the model-space objects (on LAYERS, or all) with the module's
  // vrml_wrlout, as `corvane export` does: kExitOk when it returned T,
  // kExitLoadError when the output file could not be written (the reason is
  // on the error stream) or the drawing's file changed during the export (it
  // then says so), kExitInterrupted when a signal stopped it, kExitFalse
  // when it returned nil otherwise or nothing matched. Objects whose points
// lie beyond single precision are left out, and named. Unless KEEPBLOCKS,
  // every block reference and MESH is first exploded in memory (through
  // every level), and the layers apply to the objects as placed; objects
  // that would pass EXPLODELIMIT refuse the export (kExitLoadError, one
  // line), counted before anything is placed. When
  // nothing was converted for want of objects it converts, one line on the
  // error stream says so (nothingConvertedLine). TALLY, when given, receives
  // what the export was given.
  int exportTo(const std::string& outputPath, const std::vector<std::string>& layers, bool keepBlocks = false,
               ExportTally* tally = nullptr);
  // Unloads the module (messages 4 and 2); returns the blocks it still held.
  // The host's output goes back to the process's streams.
  long stop();

  // What adsi_fileerror does while this session runs: names the reason
  // writing PATH failed (ERRNUM its errno) on the error stream, and fails
  // the export in progress with it.
  void outputFileFailed(const std::string& path, int errnum);

private:
  // Prints "corvane: LINE" and a line end on the error stream, in one write.
  void diagnose(const std::string& line);
  // Takes out of OBJECTS those the export converts whose points lie beyond
  // single precision (beyondSinglePrecision): the module never sees them,
  // and one line on the error stream counts and names them (the first ten).
  void declineBeyondSinglePrecision(std::vector<AcDbObjectRecord*>& objects);

  struct State;
  std::unique_ptr<State> state_;
};

} // namespace corvane
