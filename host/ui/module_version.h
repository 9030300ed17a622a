// The version a module states about itself: its About box says it.
#pragma once

#include <string>

namespace corvane::ui {

// The version in the resources of the current resource module: the rest of
// a line that begins "Version: " in the static text of one of its dialogs
// (the About box's), as it is written there ("1.0.61"). Empty when no module
// has handed its resources over, or none of its texts states a version.
std::string moduleVersion();

} // namespace corvane::ui
