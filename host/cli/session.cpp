#include "cli/session.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "cli/recovery_copy.h"
#include "console/console.h"
#include "console/drawing_builtins.h"
#include "console/host_commands.h"
#include "console/interrupts.h"
#include "console/menus.h"
#include "console/module_functions.h"
#include "console/selection.h"
#include "drawing/drawing.h"
#include "drawing/entity_names.h"
#include "drawing/selection_sets.h"
#include "drawing/record_geometry.h"
#include "explode/explode.h"
#include "lisp/interpreter.h"
#include "lisp/resbuf_convert.h"
#include "runtime/file_errors.h"
#include "runtime/host_services.h"
#include "runtime/link_rules.h"
#include "runtime/list_functions.h"
#include "runtime/module_loader.h"

namespace corvane {
namespace {

// The drawing of a session started without one: no header, no tables.
const char* const kEmptyDrawing = "  0\nSECTION\n  2\nENTITIES\n  0\nENDSEC\n  0\nEOF\n";

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The session between its start() and stop(): the one adsi_fileerror
// reports to.
Session* gRunningSession = nullptr;

// Why writing the file NAME failed, ERRNUM being the errno of the call.
std::string outputFileReason(const std::string& name, int errnum) {
  Drawing* drawing = currentDrawing();
  if (drawing != nullptr && drawing->file().isOwnFile(name))
    return "it is the drawing that is open; only SAVE and SAVEAS write it";
  // The module follows links at the world's name only where the kernel
  // would, and says no more than "permission denied".
  if (errnum == EACCES) {
    const FollowedPath followed = followLinks(name);
    if (!followed.refused.empty()) return refusedLinkText(followed.refused);
  }
  return fileErrorText(name, errnum);
}

// The transcript on its way to the session's output stream, where the
// progress records are shown as SessionOptions::progress says.
class TranscriptFilter {
public:
  using Progress = SessionOptions::Progress;
  TranscriptFilter(std::ostream& out, bool flushEach, Progress progress)
      : out_(out), flushEach_(flushEach), progress_(progress) {}

  void write(std::string_view text) {
    if (progress_ != Progress::kAll && isProgress(text)) {
      if (progress_ == Progress::kNone) {
        dropped_ = true;
        return;
      }
      held_.assign(text);
      auto now = std::chrono::steady_clock::now();
      if (now - lastShown_ >= std::chrono::milliseconds(50)) {
        lastShown_ = now;
        showHeld();
      }
      return;
    }
    showHeld();
    // The line end that would have ended the progress line (or a blank
    // first line): without the records, it would leave an empty line.
    if (progress_ == Progress::kNone && (dropped_ || !written_) && lastChar_ == '\n' && !text.empty() &&
        text[0] == '\n')
      text.remove_prefix(1);
    dropped_ = false;
    put(text);
  }
  // Shows the record still held back, if any.
  void finish() { showHeld(); }

private:
  static bool isProgress(std::string_view text) {
    return !text.empty() && text[0] == '\r' && text.find('\n') == std::string_view::npos;
  }
  void showHeld() {
    if (held_.empty()) return;
    std::string record = std::move(held_);
    held_.clear();
    put(record);
  }
  void put(std::string_view text) {
    if (text.empty()) return;
    out_.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (flushEach_) out_.flush();
    written_ = true;
    lastChar_ = text.back();
  }

  std::ostream& out_;
  const bool flushEach_;
  const Progress progress_;
  std::string held_;              // kLatest: the record not shown yet
  std::chrono::steady_clock::time_point lastShown_{};
  bool dropped_ = false;          // kNone: records left out since the last text
  bool written_ = false;
  char lastChar_ = '\n';
};

} // namespace

void diagnose(const OutputStreams& streams, const std::string& line) {
  streams.out.flush();
  streams.err << "corvane: " + line + "\n";
}

std::string sampleDrawingPath() { return executableDir() + "/examples/pavilion.dxf"; }

struct Session::State {
  explicit State(const OutputStreams& s) : streams(s) {}
  OutputStreams streams;
  std::unique_ptr<Drawing> drawing;
  std::unique_ptr<lisp::Interpreter> interpreter;
  LoadedModule* module = nullptr;
  RecoveryCopy recovery;
  std::unique_ptr<TranscriptFilter> transcript;
  bool running = false;
  bool stopped = false;
  // Set by adsi_fileerror; the batch export fails with it.
  bool outputFileFailed = false;
  // A step of the command line failed (Console::noteStepFailed).
  bool stepFailed = false;
};

Session::Session(const OutputStreams& streams) : state_(std::make_unique<State>(streams)) {}
Session::~Session() { stop(); }

void Session::diagnose(const std::string& line) { state_->streams.err << "corvane: " + line + "\n"; }

bool Session::start(const SessionOptions& options, std::string& error) {
  // What the host prints goes to this session's streams until stop().
  state_->running = true;
  gRunningSession = this;
  // A person watching sees every piece at once; a pipe or file gets the
  // text in large writes (an export prints a progress line per object).
  state_->transcript = std::make_unique<TranscriptFilter>(state_->streams.out, state_->streams.outIsTerminal,
                                                          options.progress);
  TranscriptFilter* transcript = state_->transcript.get();
  setOutputSink([transcript](std::string_view text) { transcript->write(text); });
  std::ostream& err = state_->streams.err;
  setErrorSink([&err](std::string_view text) { err.write(text.data(), static_cast<std::streamsize>(text.size())); });

  std::string exeDir = executableDir();
  searchPath().clear();
  searchPath().push_back(exeDir);
  bool haveDrawing = !options.drawingPath.empty() && options.drawingPath != "-";
  if (haveDrawing) searchPath().push_back(folderOf(options.drawingPath));
  searchPath().push_back(".");
  for (const std::string& dir : options.supportDirs) searchPath().push_back(dir);

  if (haveDrawing) {
    // A SAVE of a drawing with other names rewrites it in place; one that
    // was cut short left the drawing's old content beside it: said before
    // the load, which a damaged drawing may fail.
    const std::string old = FileReplacer::oldContentName(followLinks(options.drawingPath).path);
    struct stat st;
    if (::lstat(old.c_str(), &st) == 0 && S_ISREG(st.st_mode))
      diagnose(old + " holds " + options.drawingPath + " as it was before a SAVE that did not finish; if " +
               options.drawingPath + " is damaged, open the copy with 'corvane shell " + old + "', then SAVEAS");
  }
  const auto bytes = options.readOnly ? DrawingBytes::Kind::kMapped : DrawingBytes::Kind::kCopy;
  DrawingLoadResult loaded = haveDrawing ? Drawing::load(options.drawingPath, bytes)
                                         : Drawing::loadText(kEmptyDrawing, "");
  if (!loaded.drawing) {
    error = loaded.error;
    return false;
  }
  for (const std::string& warning : loaded.warnings) diagnose("warning: " + warning);
  // Work an earlier session could not save waits beside the drawing; it is
  // the user's to open, and never touched here.
  for (const std::string& copy : RecoveryCopy::newerThanDrawing(options.drawingPath))
    diagnose(copy + " is a recovery copy newer than " + options.drawingPath + ": open it with 'corvane shell " + copy +
             "', then SAVEAS");
  if (options.explodeLimit) {
    if (SysVar* v = sysVars().find("EXPLODELIMIT")) v->realValue = static_cast<double>(*options.explodeLimit);
  }
  state_->drawing = std::move(loaded.drawing);
  setCurrentDrawing(state_->drawing.get());
  if (haveDrawing) {
    std::string name = options.drawingPath.substr(options.drawingPath.rfind('/') + 1);
    if (SysVar* v = sysVars().find("DWGNAME")) v->stringValue = name;
    if (SysVar* v = sysVars().find("DWGPREFIX")) v->stringValue = folderOf(options.drawingPath) + "/";
  }

  state_->interpreter = std::make_unique<lisp::Interpreter>([](std::string_view text) { hostPrint(text); });
  // Ctrl-C or Escape stops an expression that runs on and on; its error
  // line says so.
  state_->interpreter->setInterruptCheck([] {
    if (!breakPending()) return false;
    clearBreak();
    return true;
  });
  connectModuleFunctions(*state_->interpreter);
  addDrawingBuiltins(*state_->interpreter);

  listFunctions().setHasDrawing(true);
  std::string modulePath = options.modulePath.empty() ? exeDir + "/Vrml.arx" : options.modulePath;
  setOutputMuted(options.quietLoad);
  state_->module = moduleLoader().load(modulePath, error);
  setOutputMuted(false);
  return state_->module != nullptr;
}

std::string Session::evaluate(const std::string& expression) {
  lisp::LineResult result = state_->interpreter->evaluateLine(expression);
  return result.text;
}

void Session::runCommandLine(std::istream* script, bool keepGoing) {
  Console console(script ? makeScriptInput(*script) : makeTerminalInput());
  console.setEvaluator([this](const std::string& e) { return state_->interpreter->evaluateLine(e); });
  console.setStopAtFailure(!keepGoing);
  registerHostCommands(console);
  registerMenuCommands(console);
  Drawing& drawing = *state_->drawing;
  RecoveryCopy& recovery = state_->recovery;
  console.setPromptTask([&drawing, &recovery] {
    SysVar* minutes = sysVars().find("SAVETIME");
    return recovery.atPrompt(drawing, minutes != nullptr ? minutes->realValue : 0.0);
  });
  setCurrentConsole(&console);
  console.run();
  setCurrentConsole(nullptr);
  state_->stepFailed = state_->stepFailed || console.stepFailed();
  if (console.quitRequested() || !drawing.modified()) {
    // The user's word, or nothing left to keep.
    recovery.remove();
    return;
  }
  // A stop signal, or a terminal that went away: the changes are kept in
  // the recovery copy (written now, here, not in the signal's handler).
  const HostResult written = recovery.current(drawing) ? HostResult{} : recovery.write(drawing);
  std::string why = stopRequested() ? "stopped by a signal" : "the input ended";
  std::string name = drawing.file().path().empty() ? "the drawing" : drawing.file().path();
  state_->streams.out.flush();
  if (written)
    diagnose(why + "; unsaved changes to " + name + " are kept in " + recovery.path());
  else
    diagnose(why + "; unsaved changes to " + name + " are lost: " + written.error);
}

bool Session::stepFailed() const { return state_->stepFailed; }

int Session::exportTo(const std::string& outputPath, const std::vector<std::string>& layers, bool keepBlocks,
                      ExportTally* tally) {
  const ListFunction* wrlout = listFunctions().find("vrml_wrlout");
  if (wrlout == nullptr) {
    diagnose("the module defines no vrml_wrlout");
    return kExitLoadError;
  }
  auto interrupted = [this, &outputPath] {
    state_->streams.out.flush();
    diagnose("interrupted; " + outputPath + " was not written");
    return kExitInterrupted;
  };
  if (!keepBlocks) {
    // The module knows loose objects only: what block references and
    // meshes show is placed in memory first (nothing is saved).
    const ExplodeReport exploded = explodeForExport(*state_->drawing, explodeLimit());
    if (!exploded.overLimit.empty()) {
      diagnose("cannot export: " + exploded.overLimit + "; --explode-limit raises it");
      return kExitLoadError;
    }
    for (const std::string& line : exploded.refused) diagnose("warning: " + line);
    if (stopRequested()) return interrupted();
  }
  std::vector<AcDbObjectRecord*> objects = objectsOnLayers(*state_->drawing, layers);
  declineBeyondSinglePrecision(objects);
  const ExportTally given = tallyForExport(*state_->drawing, objects);
  if (tally != nullptr) *tally = given;
  auto nothingConverted = [&] {
    std::string why =
        nothingConvertedLine(given, keepBlocks ? BlockReferences::kKept : BlockReferences::kExploded, layers);
    if (!why.empty()) {
      state_->streams.out.flush();
      diagnose(why);
    }
    return kExitFalse;
  };
  if (objects.empty()) {
    hostPrint("\nNothing to export.\n");
    return nothingConverted();
  }
  ads_name ss;
  newSelectionSet(ss);
  for (AcDbObjectRecord* r : objects) {
    ads_name e;
    makeEntityName(*r, e);
    addToSelectionSet(ss, e);
  }
  resbuf* args = ads_buildlist(RTPICKS, ss, RTSTR, outputPath.c_str(), 0);
  ListFunction function = *wrlout;
  state_->outputFileFailed = false;
  // A drawing whose file changes under the export fails it the moment the
  // module next asks whether to stop (ads_usrbrk), so that the world file
  // that was there stays.
  clearCommandFailure();
  const Drawing& drawing = *state_->drawing;
  setCommandCheck([&drawing] { return drawing.file().changed(); });
  ListCallResult result = listFunctions().call(function, args);
  setCommandCheck(nullptr);
  const bool failed = commandFailed();
  clearCommandFailure();
  ads_relrb(args);
  freeSelectionSet(ss);
  hostPrint("\n");
  if (stopRequested()) return interrupted();
  if (state_->outputFileFailed) return kExitLoadError;
  if (failed || state_->drawing->file().changed()) {
    // The reason why the faces could not be had is on the error stream.
    std::string why = drawing.file().changed() ? drawing.file().path() + ": the file changed during the export"
                                               : "the export stopped short";
    diagnose(why + "; " + outputPath + (failed ? " was left as it was" : " may not match it"));
    return kExitLoadError;
  }
  if (result.kind == ListCallResult::kError) {
    diagnose(result.error);
    return kExitFalse;
  }
  return result.kind == ListCallResult::kT ? kExitOk : nothingConverted();
}

void Session::declineBeyondSinglePrecision(std::vector<AcDbObjectRecord*>& objects) {
  const Drawing& drawing = *state_->drawing;
  std::vector<std::string> names;
  std::erase_if(objects, [&](const AcDbObjectRecord* r) {
    if (!isExportable(*r) || !beyondSinglePrecision(drawing, *r)) return false;
    names.push_back(std::string(drawing.typeName(*r)) + " " + drawing.handleText(*r));
    return true;
  });
  if (names.empty()) return;
  std::string line = std::to_string(names.size()) + (names.size() == 1 ? " object" : " objects") +
                     " not converted: coordinates beyond single precision (";
  for (size_t i = 0; i < names.size() && i < 10; ++i) line += (i == 0 ? "" : ", ") + names[i];
  if (names.size() > 10) line += ", and " + std::to_string(names.size() - 10) + " more";
  diagnose(line + ")");
}

long Session::stop() {
  if (state_->stopped) return 0;
  state_->stopped = true;
  long held = 0;
  for (LoadedModule* m : std::vector<LoadedModule*>(moduleLoader().modules())) held += moduleLoader().unload(m);
  listFunctions().setHasDrawing(false);
  state_->interpreter.reset();
  setCurrentDrawing(nullptr);
  state_->drawing.reset();
  if (state_->running) {
    if (state_->transcript) state_->transcript->finish();
    setOutputSink(nullptr);
    setErrorSink(nullptr);
    if (gRunningSession == this) gRunningSession = nullptr;
    state_->running = false;
  }
  return held;
}

void Session::outputFileFailed(const std::string& path, int errnum) {
  state_->outputFileFailed = true;
  std::string reason = outputFileReason(path, errnum);
  // After the module's own text; on a terminal that shows both streams, on
  // a line of its own.
  if (state_->streams.outIsTerminal && state_->streams.errIsTerminal && !currentOutputLine().empty())
    hostPrint("\n");
  state_->streams.out.flush();
  diagnose("cannot write " + path + ": " + reason);
}

} // namespace corvane

extern "C" int adsi_fileerror(const char* path, int errnum) {
  using namespace corvane;
  std::string name = path != nullptr ? path : "";
  if (gRunningSession != nullptr) {
    gRunningSession->outputFileFailed(name, errnum);
    return RTNORM;
  }
  // No session (a test that drives the module itself): the process's streams.
  if (isatty(STDOUT_FILENO) && isatty(STDERR_FILENO) && !currentOutputLine().empty()) hostPrint("\n");
  std::fflush(stdout);
  hostError("corvane: cannot write " + name + ": " + outputFileReason(name, errnum) + "\n");
  return RTNORM;
}
