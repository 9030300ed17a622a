// The host's user-interface framework as a module sees it: the module hands
// its resources (string table, dialog templates, icons) to the framework at
// start, and from then on string loads and dialogs find them.
#pragma once

#include <cstddef>

typedef void* HINSTANCE;
typedef void* HWND;
typedef unsigned int UINT;

// One string-table entry of a module.
struct UiStringEntry {
  UINT id;
  const char* text;
};

// Everything a module supplies. The arrays are the module's static data and
// must stay valid until AfxTermModule.
struct UiResources {
  const UiStringEntry* strings;
  size_t stringCount;
};

// The application object of a module: one per module, constructed when the
// module file is loaded. The framework calls InitInstance after
// AfxInitModule and ExitInstance before AfxTermModule.
class CWinApp {
public:
  CWinApp();
  virtual ~CWinApp();
  virtual bool InitInstance();
  virtual int ExitInstance();
};

// Per-module start: records the module's resources under its instance
// handle and makes that module the current resource module; then calls the
// application object's InitInstance. False when INSTANCE is null.
bool AfxInitModule(HINSTANCE instance, const UiResources* resources, CWinApp* app);
// Per-module stop: the application object's ExitInstance, then forgets the
// module's resources.
void AfxTermModule(HINSTANCE instance, CWinApp* app);

// Loads string ID of the current resource module into BUFFER (at most
// bufferMax bytes with the terminator). Returns the length copied; 0 when
// there is no such string or no resource module.
int AfxLoadString(UINT id, char* buffer, UINT bufferMax);
