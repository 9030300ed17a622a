// The dialog resources of the framework's tests: one control set, shown
// whole by template 500 ("Test") and without its label by template 600
// ("Scripted"), registered under a test instance while a ResourcesScope
// lives.
#pragma once

#include "support/resources_scope.h"
#include "ui.h"

namespace corvane::ui::test {

inline const UiControlTemplate kControls[] = {
    {103, kUiStatic, WS_CHILD | SS_LEFT, 4, 4, 40, 8, "Name:", 0},
    {100, kUiEdit, WS_CHILD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 48, 4, 100, 12, "", 0},
    {101, kUiButton, WS_CHILD | BS_AUTOCHECKBOX | WS_TABSTOP, 4, 20, 80, 8, "Flag", 0},
    {102, kUiTrackBar, WS_CHILD | TBS_AUTOTICKS | WS_TABSTOP, 4, 32, 100, 12, nullptr, 0},
    {IDOK, kUiButton, WS_CHILD | BS_DEFPUSHBUTTON | WS_TABSTOP, 160, 4, 50, 14, "OK", 0},
    {IDCANCEL, kUiButton, WS_CHILD | WS_TABSTOP, 160, 20, 50, 14, "Cancel", 0},
};
inline const UiDialogTemplate kTemplates[] = {
    {500, WS_POPUP | WS_CAPTION, "Test", "MS Sans Serif", 8, 220, 60, kControls, 6},
    {600, WS_POPUP | WS_CAPTION, "Scripted", "MS Sans Serif", 8, 220, 60, kControls + 1, 5},
};
inline const UiStringEntry kStrings[] = {{1, "one"}};

inline const UiResources& resources() {
  static const UiResources r = [] {
    UiResources made{kStrings, 1};
    made.dialogs = kTemplates;
    made.dialogCount = 2;
    return made;
  }();
  return r;
}

// The test resources are the current resource module while this lives.
class ResourcesScope : public corvane::testing::ResourcesScope {
public:
  ResourcesScope() : corvane::testing::ResourcesScope(&resources()) {}
};

} // namespace corvane::ui::test
