#include "console/session.h"

#include <sys/stat.h>

#include "console/console.h"
#include "runtime/host_services.h"
#include "runtime/list_functions.h"
#include "runtime/module_loader.h"

namespace corvane {

struct Session::State {
  LoadedModule* module = nullptr;
  bool stopped = false;
};

Session::Session() : state_(std::make_unique<State>()) {}
Session::~Session() { stop(); }

bool Session::start(const SessionOptions& options, std::string& error) {
  std::string exeDir = executableDir();
  searchPath().push_back(exeDir);
  for (const std::string& dir : options.supportDirs) searchPath().push_back(dir);
  if (!options.drawingPath.empty() && options.drawingPath != "-") {
    struct stat st {};
    if (stat(options.drawingPath.c_str(), &st) != 0) {
      error = "cannot load drawing " + options.drawingPath + ": no such file";
      return false;
    }
  }
  listFunctions().setHasDrawing(true);
  std::string modulePath = options.modulePath.empty() ? exeDir + "/Vrml.arx" : options.modulePath;
  state_->module = moduleLoader().load(modulePath, error);
  return state_->module != nullptr;
}

std::string Session::evaluate(const std::string& expression) { return "nil"; (void)expression; }

void Session::runCommandLine(std::istream* script) {
  Console console(script ? makeScriptInput(*script) : makeTerminalInput());
  console.setEvaluator([this](const std::string& e) { return evaluate(e); });
  console.addHostCommand("QUIT", [](Console& c) { c.requestQuit(); });
  console.run();
}

long Session::stop() {
  if (state_->stopped) return 0;
  state_->stopped = true;
  long held = 0;
  for (LoadedModule* m : std::vector<LoadedModule*>(moduleLoader().modules())) held += moduleLoader().unload(m);
  return held;
}

} // namespace corvane
