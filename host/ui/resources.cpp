// The framework's per-module state: which module's resources string loads
// and dialogs use.
#include <cstring>
#include <map>
#include <unordered_map>

#include "ui.h"
#include "ui/dialog_window.h"

namespace {

struct ModuleResources {
  const UiResources* resources;
  // Strings by id: a module's messages are looked up once per object of
  // an export.
  std::unordered_map<UINT, const UiStringEntry*> strings;
};

std::map<HINSTANCE, ModuleResources>& modules() {
  static auto* m = new std::map<HINSTANCE, ModuleResources>;
  return *m;
}

HINSTANCE gResourceModule = nullptr;

const ModuleResources* currentModuleResources() {
  auto it = modules().find(gResourceModule);
  return it == modules().end() ? nullptr : &it->second;
}

} // namespace

CWinApp::CWinApp() = default;
CWinApp::~CWinApp() = default;
bool CWinApp::InitInstance() { return true; }
int CWinApp::ExitInstance() { return 0; }

bool AfxInitModule(HINSTANCE instance, const UiResources* resources, CWinApp* app) {
  if (instance == nullptr) return false;
  ModuleResources& module = modules()[instance];
  module.resources = resources;
  module.strings.clear();
  for (size_t i = 0; resources != nullptr && i < resources->stringCount; ++i)
    module.strings.emplace(resources->strings[i].id, &resources->strings[i]); // the first of an id wins
  gResourceModule = instance;
  return app == nullptr || app->InitInstance();
}

void AfxTermModule(HINSTANCE instance, CWinApp* app) {
  if (app != nullptr) app->ExitInstance();
  modules().erase(instance);
  if (gResourceModule == instance) gResourceModule = nullptr;
}

namespace corvane::ui {

const UiResources* currentResources() {
  const ModuleResources* module = currentModuleResources();
  return module ? module->resources : nullptr;
}

const UiDialogTemplate* findDialogTemplate(const UiResources* resources, UINT id) {
  if (resources == nullptr || resources->dialogs == nullptr) return nullptr;
  for (size_t i = 0; i < resources->dialogCount; ++i)
    if (resources->dialogs[i].id == id) return &resources->dialogs[i];
  return nullptr;
}

const UiIconResource* findIcon(const UiResources* resources, UINT id) {
  if (resources == nullptr || resources->icons == nullptr) return nullptr;
  for (size_t i = 0; i < resources->iconCount; ++i)
    if (resources->icons[i].id == id) return &resources->icons[i];
  return nullptr;
}

} // namespace corvane::ui

using corvane::ui::currentResources;

int AfxLoadString(UINT id, char* buffer, UINT bufferMax) {
  if (buffer == nullptr || bufferMax == 0) return 0;
  buffer[0] = '\0';
  const ModuleResources* module = currentModuleResources();
  if (module == nullptr) return 0;
  auto it = module->strings.find(id);
  if (it == module->strings.end()) return 0;
  size_t n = std::strlen(it->second->text);
  if (n >= bufferMax) n = bufferMax - 1;
  std::memcpy(buffer, it->second->text, n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}
