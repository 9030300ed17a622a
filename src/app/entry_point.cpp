// The module's entry point: the host drives its lifecycle with numbered
// application messages. Every message returns 0.
#include "acrx.h"
#include "ads.h"
#include "app/message_catalogue.h"
#include "app/module_runtime.h"
#include "app/registration.h"
#include "res/dialog_templates.h"
#include "ui.h"

namespace {

// The framework's application object: one per module, for the module file's
// whole lifetime; it adds nothing to the default behaviour.
CWinApp theApp;

void initialiseApplication(void* appId) {
  AcRxObject* linker = acrxSysRegistry()->at("DynamicLinker");
  if (linker != nullptr && linker->isKindOf(AcRxDynamicLinker::desc()))
    static_cast<AcRxDynamicLinker*>(linker)->unlockApplication(appId);
  AfxInitModule(moduleInstance(), &kVrmlResources, &theApp);
  registerCommands();
  ads_printf(messageText(21));
  ads_queueexpr("(vrml_init)");
}

void unloadApplication() {
  removeCommands();
  AfxTermModule(moduleInstance(), &theApp);
}

} // namespace

extern "C" __attribute__((visibility("default"))) int acrxGetApiVersion() { return 0x000D0004; }

extern "C" __attribute__((visibility("default"))) int acrxEntryPoint(unsigned int msg, void* appId) {
  switch (msg) {
  case AcRx::kInitAppMsg:
    initialiseApplication(appId);
    break;
  case AcRx::kUnloadAppMsg:
    unloadApplication();
    break;
  case AcRx::kLoadDwgMsg:
    registerListFunctions();
    break;
  case AcRx::kUnloadDwgMsg:
    unregisterListFunctions();
    break;
  case AcRx::kInvkSubrMsg:
    dispatchListFunction();
    break;
  default:
    break;
  }
  return 0;
}
