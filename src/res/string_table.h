// The module's string table, handed to the host's user-interface framework
// when the module starts it.
#pragma once

#include "ui.h"

extern const UiStringEntry kVrmlStringTable[];
extern const size_t kVrmlStringTableSize;
