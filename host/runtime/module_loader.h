// Loading modules: dlopen by path, the entry-point checks, application
// messages, and the per-module context that the allocator and the command
// stack use to tell which module a call belongs to.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "acrx.h"

namespace corvane {

// One loaded (or formerly loaded) module. Records outlive the module's
// unload so that late frees of its blocks are still counted.
struct LoadedModule {
  std::string path;
  void* handle = nullptr; // dlopen handle; null after unload
  int (*entryPoint)(unsigned int, void*) = nullptr;
  bool unlocked = false;
  long blocks = 0; // blocks of the host's allocator the module holds now
  long bytes = 0;
};

// The module whose code is running (directly, or through a host call it
// made); null while only the host runs.
LoadedModule* currentModule();

// Marks MODULE as the running module for this scope (nests). A scope of a
// module (not null) is a call into it; when the outermost one ends, the host
// calls moduleCallEnded() (runtime/background_work.h).
class ModuleScope {
public:
  explicit ModuleScope(LoadedModule* module);
  ~ModuleScope();
  ModuleScope(const ModuleScope&) = delete;
  ModuleScope& operator=(const ModuleScope&) = delete;

private:
  LoadedModule* previous_;
  bool call_;
};

// How many calls into modules are under way (0: only the host runs).
int moduleCallDepth();

class ModuleLoader {
public:
  // Loads the module file, checks acrxGetApiVersion, calls _SetacrxPtp and
  // sends message 1 (initialisation) — and message 3 when a drawing is
  // current. Null with a one-line reason in ERROR when the file is missing,
  // isn't a module, lacks an entry point or reports another API version.
  LoadedModule* load(const std::string& path, std::string& error);
  // Sends application message MSG to MODULE in its context; the entry
  // point's result.
  int sendMessage(LoadedModule* module, unsigned int msg);
  // Sends message 3 or 4 to every loaded module.
  void drawingLoaded();
  void drawingUnloading();
  // Sends 4 and 2, closes the file, and reports a module that still holds
  // memory with a warning line on stderr. Returns the blocks still held.
  long unload(LoadedModule* module);
  void unloadAll();
  const std::vector<LoadedModule*>& modules() const { return loaded_; }
  LoadedModule* find(void* appId) const;

private:
  std::vector<LoadedModule*> loaded_;
};

ModuleLoader& moduleLoader();
AcRxDynamicLinker* newDynamicLinker();

// The path of the running executable's folder (for the default module
// path and the support folder).
std::string executableDir();

} // namespace corvane
