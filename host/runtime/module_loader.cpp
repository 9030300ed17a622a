#include "runtime/module_loader.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <deque>

#include "runtime/background_work.h"
#include "runtime/host_services.h"
#include "runtime/list_functions.h"

namespace corvane {
namespace {

LoadedModule* gCurrent = nullptr;
int gModuleCalls = 0; // ModuleScopes of a module open now

#if defined(__SANITIZE_ADDRESS__)
// The C++ runtime linked into a module allocates a one-time emergency pool
// for exceptions when it is mapped. Unmapping the module at dlclose would
// leave that block unreachable and the leak checker would report it as the
// module's, so sanitizer builds keep modules mapped after unloading them.
constexpr int kKeepMapped = RTLD_NODELETE;
#else
constexpr int kKeepMapped = 0;
#endif

// Module records are never freed while the host runs (see LoadedModule).
std::deque<std::unique_ptr<LoadedModule>>& moduleRecords() {
  static auto* records = new std::deque<std::unique_ptr<LoadedModule>>;
  return *records;
}

class DynamicLinker : public AcRxDynamicLinker {
public:
  bool unlockApplication(void* appId) const override {
    LoadedModule* module = moduleLoader().find(appId);
    if (module == nullptr) return false;
    module->unlocked = true;
    return true;
  }
};

} // namespace

LoadedModule* currentModule() { return gCurrent; }

int moduleCallDepth() { return gModuleCalls; }

ModuleScope::ModuleScope(LoadedModule* module) : previous_(gCurrent), call_(module != nullptr) {
  gCurrent = module;
  if (call_) ++gModuleCalls;
}

ModuleScope::~ModuleScope() {
  gCurrent = previous_;
  if (call_ && --gModuleCalls == 0) moduleCallEnded();
}

AcRxDynamicLinker* newDynamicLinker() { return new DynamicLinker; }

ModuleLoader& moduleLoader() {
  static ModuleLoader* loader = new ModuleLoader;
  return *loader;
}

std::string executableDir() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<size_t>(n));
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

LoadedModule* ModuleLoader::find(void* appId) const {
  for (LoadedModule* m : loaded_)
    if (m == appId) return m;
  return nullptr;
}

LoadedModule* ModuleLoader::load(const std::string& path, std::string& error) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    error = "cannot load module " + path + ": no such file";
    return nullptr;
  }
  if (!S_ISREG(st.st_mode)) {
    error = "cannot load module " + path + ": not a file";
    return nullptr;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | kKeepMapped);
  if (handle == nullptr) {
    const char* why = dlerror();
    error = "cannot load module " + path + ": not a module (" + (why ? why : "unknown") + ")";
    return nullptr;
  }
  auto entry = reinterpret_cast<int (*)(unsigned int, void*)>(dlsym(handle, "acrxEntryPoint"));
  auto version = reinterpret_cast<int (*)()>(dlsym(handle, "acrxGetApiVersion"));
  auto setPtp = reinterpret_cast<int (*)()>(dlsym(handle, "_SetacrxPtp"));
  if (entry == nullptr || version == nullptr || setPtp == nullptr) {
    dlclose(handle);
    error = "cannot load module " + path + ": it lacks the entry point " +
            std::string(entry == nullptr     ? "acrxEntryPoint"
                        : version == nullptr ? "acrxGetApiVersion"
                                             : "_SetacrxPtp");
    return nullptr;
  }
  int reported = version();
  if (reported != kAcrxApiVersion) {
    dlclose(handle);
    char text[96];
    std::snprintf(text, sizeof text, "reports interface version 0x%08X, not 0x%08X",
                  static_cast<unsigned>(reported), static_cast<unsigned>(kAcrxApiVersion));
    error = "cannot load module " + path + ": it " + text;
    return nullptr;
  }
  moduleRecords().push_back(std::make_unique<LoadedModule>());
  LoadedModule* module = moduleRecords().back().get();
  module->path = path;
  module->handle = handle;
  module->entryPoint = entry;
  loaded_.push_back(module);
  {
    ModuleScope scope(module);
    setPtp();
  }
  sendMessage(module, AcRx::kInitAppMsg);
  if (listFunctions().hasDrawing()) sendMessage(module, AcRx::kLoadDwgMsg);
  return module;
}

int ModuleLoader::sendMessage(LoadedModule* module, unsigned int msg) {
  if (module == nullptr || module->entryPoint == nullptr) return 0;
  ModuleScope scope(module);
  return module->entryPoint(msg, module);
}

void ModuleLoader::drawingLoaded() {
  for (LoadedModule* m : loaded_) sendMessage(m, AcRx::kLoadDwgMsg);
}

void ModuleLoader::drawingUnloading() {
  for (LoadedModule* m : loaded_) sendMessage(m, AcRx::kUnloadDwgMsg);
}

long ModuleLoader::unload(LoadedModule* module) {
  if (module == nullptr || module->handle == nullptr) return 0;
  if (listFunctions().hasDrawing()) sendMessage(module, AcRx::kUnloadDwgMsg);
  sendMessage(module, AcRx::kUnloadAppMsg);
  listFunctions().forgetModule(module);
  dlclose(module->handle);
  module->handle = nullptr;
  module->entryPoint = nullptr;
  for (auto it = loaded_.begin(); it != loaded_.end(); ++it)
    if (*it == module) {
      loaded_.erase(it);
      break;
    }
  if (module->blocks != 0)
    hostError("corvane: warning: module " + module->path + " still holds " + std::to_string(module->blocks) +
              " blocks (" + std::to_string(module->bytes) + " bytes) after unload\n");
  return module->blocks;
}

void ModuleLoader::unloadAll() {
  while (!loaded_.empty()) unload(loaded_.back());
}

} // namespace corvane
