// The module's own runtime state.
#pragma once

#include "ui.h"

// The handle recorded when the module file was attached.
HINSTANCE moduleInstance();
// True once the host has called _SetacrxPtp.
bool moduleRuntimeStarted();
