#include "console/session.h"

#include <unistd.h>

#include <cstdio>

#include "console/console.h"
#include "console/drawing_builtins.h"
#include "console/host_commands.h"
#include "console/interrupts.h"
#include "console/menus.h"
#include "console/module_functions.h"
#include "console/recovery_copy.h"
#include "console/selection.h"
#include "drawing/drawing.h"
#include "drawing/entity_names.h"
#include "drawing/selection_sets.h"
#include "explode/explode.h"
#include "lisp/interpreter.h"
#include "lisp/resbuf_convert.h"
#include "runtime/file_errors.h"
#include "runtime/host_services.h"
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

// Set by adsi_fileerror; the batch export fails with it.
bool gOutputFileFailed = false;

} // namespace

std::string sampleDrawingPath() { return executableDir() + "/examples/pavilion.dxf"; }

struct Session::State {
  std::unique_ptr<Drawing> drawing;
  std::unique_ptr<lisp::Interpreter> interpreter;
  LoadedModule* module = nullptr;
  RecoveryCopy recovery;
  bool stopped = false;
};

Session::Session() : state_(std::make_unique<State>()) {}
Session::~Session() { stop(); }

bool Session::start(const SessionOptions& options, std::string& error) {
  std::string exeDir = executableDir();
  searchPath().clear();
  searchPath().push_back(exeDir);
  bool haveDrawing = !options.drawingPath.empty() && options.drawingPath != "-";
  if (haveDrawing) searchPath().push_back(folderOf(options.drawingPath));
  searchPath().push_back(".");
  for (const std::string& dir : options.supportDirs) searchPath().push_back(dir);

  const auto bytes = options.readOnly ? DrawingBytes::Kind::kMapped : DrawingBytes::Kind::kCopy;
  DrawingLoadResult loaded = haveDrawing ? Drawing::load(options.drawingPath, bytes)
                                         : Drawing::loadText(kEmptyDrawing, "");
  if (!loaded.drawing) {
    error = loaded.error;
    return false;
  }
  for (const std::string& warning : loaded.warnings) std::fprintf(stderr, "corvane: warning: %s\n", warning.c_str());
  // Work an earlier session could not save waits beside the drawing; it is
  // the user's to open, and never touched here.
  for (const std::string& copy : RecoveryCopy::newerThanDrawing(options.drawingPath))
    std::fprintf(stderr, "corvane: %s is a recovery copy newer than %s: open it with 'corvane shell %s', then SAVEAS\n",
                 copy.c_str(), options.drawingPath.c_str(), copy.c_str());
  state_->drawing = std::move(loaded.drawing);
  setCurrentDrawing(state_->drawing.get());
  if (haveDrawing) {
    std::string name = options.drawingPath.substr(options.drawingPath.rfind('/') + 1);
    if (SysVar* v = sysVars().find("DWGNAME")) v->stringValue = name;
    if (SysVar* v = sysVars().find("DWGPREFIX")) v->stringValue = folderOf(options.drawingPath) + "/";
  }

  state_->interpreter = std::make_unique<lisp::Interpreter>([](std::string_view text) { hostPrint(text); });
  // Ctrl-C stops an expression that runs on and on; its error line says so.
  state_->interpreter->setInterruptCheck([] {
    if (!breakRequested()) return false;
    clearBreak();
    return true;
  });
  connectModuleFunctions(*state_->interpreter);
  addDrawingBuiltins(*state_->interpreter);

  listFunctions().setHasDrawing(true);
  std::string modulePath = options.modulePath.empty() ? exeDir + "/Vrml.arx" : options.modulePath;
  state_->module = moduleLoader().load(modulePath, error);
  return state_->module != nullptr;
}

std::string Session::evaluate(const std::string& expression) {
  lisp::LineResult result = state_->interpreter->evaluateLine(expression);
  return result.text;
}

void Session::runCommandLine(std::istream* script) {
  Console console(script ? makeScriptInput(*script) : makeTerminalInput());
  console.setEvaluator([this](const std::string& e) { return evaluate(e); });
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
  if (console.quitRequested() || !drawing.modified()) {
    // The user's word, or nothing left to keep.
    recovery.remove();
    return;
  }
  // A stop signal, or a terminal that went away: the changes are kept in
  // the recovery copy (written now, here, not in the signal's handler).
  std::string error = recovery.current(drawing) ? "" : recovery.write(drawing);
  std::string why = stopRequested() ? "stopped by a signal" : "the input ended";
  std::string name = drawing.path().empty() ? "the drawing" : drawing.path();
  std::fflush(stdout);
  if (error.empty())
    std::fprintf(stderr, "corvane: %s; unsaved changes to %s are kept in %s\n", why.c_str(), name.c_str(),
                 recovery.path().c_str());
  else
    std::fprintf(stderr, "corvane: %s; unsaved changes to %s are lost: %s\n", why.c_str(), name.c_str(),
                 error.c_str());
}

std::string Session::drawingBaseName(const std::string& extension) const {
  std::string path = state_->drawing ? state_->drawing->path() : "";
  std::string base = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
  size_t dot = base.rfind('.');
  if (dot != std::string::npos && dot > 0) base.erase(dot);
  if (base.empty()) base = "drawing";
  return base + extension;
}

int Session::exportTo(const std::string& outputPath, const std::vector<std::string>& layers, bool keepBlocks) {
  const ListFunction* wrlout = listFunctions().find("vrml_wrlout");
  if (wrlout == nullptr) {
    std::fprintf(stderr, "corvane: the module defines no vrml_wrlout\n");
    return kExitLoadError;
  }
  auto interrupted = [&outputPath] {
    std::fflush(stdout);
    std::fprintf(stderr, "corvane: interrupted; %s was not written\n", outputPath.c_str());
    return kExitInterrupted;
  };
  if (!keepBlocks) {
    // The module knows loose objects only: what block references and
    // meshes show is placed in memory first (nothing is saved).
    for (const std::string& line : explodeForExport(*state_->drawing).refused)
      std::fprintf(stderr, "corvane: warning: %s\n", line.c_str());
    if (stopRequested()) return interrupted();
  }
  std::vector<AcDbObjectRecord*> objects = objectsOnLayers(*state_->drawing, layers);
  if (objects.empty()) {
    hostPrint("\nNothing to export.\n");
    return kExitFalse;
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
  gOutputFileFailed = false;
  ListCallResult result = listFunctions().call(function, args);
  ads_relrb(args);
  freeSelectionSet(ss);
  hostPrint("\n");
  if (stopRequested()) return interrupted();
  if (gOutputFileFailed) return kExitLoadError;
  if (state_->drawing->fileChanged()) {
    std::fprintf(stderr, "corvane: %s: the file changed during the export; %s may not match it\n",
                 state_->drawing->path().c_str(), outputPath.c_str());
    return kExitLoadError;
  }
  if (result.kind == ListCallResult::kError) {
    std::fprintf(stderr, "corvane: %s\n", result.error.c_str());
    return kExitFalse;
  }
  return result.kind == ListCallResult::kT ? kExitOk : kExitFalse;
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
  return held;
}

} // namespace corvane

extern "C" int adsi_fileerror(const char* path, int errnum) {
  using namespace corvane;
  gOutputFileFailed = true;
  std::string name = path != nullptr ? path : "";
  Drawing* drawing = currentDrawing();
  std::string reason = drawing != nullptr && drawing->isOwnFile(name)
                           ? "it is the drawing that is open; only SAVE and SAVEAS write it"
                           : fileErrorText(name, errnum);
  // After the module's own text; on a terminal that shows both streams, on
  // a line of its own.
  if (isatty(STDOUT_FILENO) && isatty(STDERR_FILENO) && !currentOutputLine().empty()) hostPrint("\n");
  std::fflush(stdout);
  std::fprintf(stderr, "corvane: cannot write %s: %s\n", name.c_str(), reason.c_str());
  return RTNORM;
}
