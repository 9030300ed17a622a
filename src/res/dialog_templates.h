// The module's dialog templates (129 About, 130 VRML Properties) and its
// icon, handed to the host's user-interface framework with the string table.
#pragma once

#include "ui.h"

// Dialog template ids.
constexpr UINT kAboutDialogId = 129;
constexpr UINT kPropertiesDialogId = 130;
// The module's icon, shown in the About box.
constexpr UINT kModuleIconId = 135;

// Control ids of the VRML Properties dialog.
enum : int {
  kShininessSliderId = 1014,
  kTransparencySliderId = 1015,
  kUrlGroupId = 1016,
  kMaterialGroupId = 1017,
  kLinkEditId = 1018,
  kLinkLabelId = 1019,
  kDescriptionEditId = 1020,
  kDescriptionLabelId = 1021,
  kShininessLabelId = 1022,
  kTransparencyLabelId = 1023,
  kUseDrawingColorCheckId = 1038,
  kAboutIconId = 1039,
};

extern const UiDialogTemplate kVrmlDialogTemplates[];
extern const size_t kVrmlDialogTemplateCount;
extern const UiIconResource kVrmlIcons[];
extern const size_t kVrmlIconCount;
// Every resource of the module: string table, dialog templates and icon.
extern const UiResources kVrmlResources;
