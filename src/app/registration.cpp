#include "app/registration.h"

#include "acrx.h"
#include "ads.h"
#include "app/about_help.h"
#include "app/menu_loading.h"
#include "export/export_command.h"
#include "props/list_queries.h"
#include "props/vrml_properties.h"

namespace {

struct CommandRow {
  const char* name;
  AcRxFunctionPtr handler;
};

const CommandRow kCommands[] = {
    {"vrmlprop", vrmlprop},
    {"vrmlout", vrmlout},
    {"vrmlabout", vrmlabout},
    {"vrmlhelp", vrmlhelp},
};

struct ListFunctionRow {
  const char* name;
  int (*handler)();
};

// The function code of each row is its index.
const ListFunctionRow kListFunctions[] = {
    {"vrml_wrlout", vrml_wrlout},
    {"vrml_geturl", vrml_geturl},
    {"vrml_getmaterial", vrml_getmaterial},
    {"vrml_init", vrml_init},
};
constexpr int kListFunctionCount = sizeof kListFunctions / sizeof kListFunctions[0];

const char* const kCommandGroup = "Vrml_Commands";

// The command stack's class descriptor, looked up once and kept.
AcRxClass* commandStackClass() {
  static AcRxClass* descriptor = [] {
    AcRxObject* dictionary = acrxSysRegistry()->at("ClassDictionary");
    AcRxObject* found =
        dictionary ? static_cast<AcRxDictionary*>(dictionary)->at("AcEdCommandStack") : nullptr;
    return found ? static_cast<AcRxClass*>(found) : nullptr;
  }();
  return descriptor;
}

// The registered command stack, fetched afresh for every use.
AcEdCommandStack* commandStack() {
  AcRxObject* found = acrxSysRegistry()->at("ACAD_REGISTERED_COMMANDS");
  if (found == nullptr || commandStackClass() == nullptr || !found->isKindOf(commandStackClass()))
    return nullptr;
  return static_cast<AcEdCommandStack*>(found);
}

} // namespace

void registerCommands() {
  for (const CommandRow& row : kCommands)
    if (AcEdCommandStack* stack = commandStack())
      stack->addCommand(kCommandGroup, row.name, row.name, 0, row.handler);
}

void removeCommands() {
  if (AcEdCommandStack* stack = commandStack()) stack->removeGroup(kCommandGroup);
}

int registerListFunctions() {
  for (int code = 0; code < kListFunctionCount; ++code) {
    // The host reports success as RTNORM; anything else (0 included) is a
    // refusal that ends registration for this drawing.
    if (ads_defun(kListFunctions[code].name, static_cast<short>(code)) != RTNORM) return RTERROR;
    if (ads_regfunc(kListFunctions[code].handler, code) != RTNORM) return RTERROR;
  }
  return 1;
}

int unregisterListFunctions() {
  for (int code = 0; code < kListFunctionCount; ++code)
    ads_undef(kListFunctions[code].name, static_cast<short>(code));
  return RTNORM;
}

int dispatchListFunction() {
  int code = ads_getfuncode();
  if (code >= 0 && code < kListFunctionCount) return kListFunctions[code].handler();
  ads_fail("Received nonexistent function code.");
  return RTERROR;
}
