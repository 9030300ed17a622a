#include "ui/module_version.h"

#include <string_view>

#include "ui/dialog_window.h"

namespace corvane::ui {

std::string moduleVersion() {
  constexpr std::string_view kLabel = "Version: ";
  const UiResources* resources = currentResources();
  if (resources == nullptr || resources->dialogs == nullptr) return {};
  for (size_t d = 0; d < resources->dialogCount; ++d) {
    const UiDialogTemplate& dialog = resources->dialogs[d];
    for (size_t c = 0; c < dialog.controlCount; ++c) {
      const UiControlTemplate& control = dialog.controls[c];
      if (control.controlClass != kUiStatic || control.text == nullptr) continue;
      std::string_view text = control.text;
      for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (line.starts_with(kLabel) && line.size() > kLabel.size()) return std::string(line.substr(kLabel.size()));
        start = end + 1;
      }
    }
  }
  return {};
}

} // namespace corvane::ui
