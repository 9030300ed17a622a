#include "res/dialog_templates.h"

#include "res/string_table.h"

namespace {

constexpr DWORD kDialogStyle = DS_MODALFRAME | DS_SETFONT | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kGroupBox = kChild | BS_GROUPBOX;
constexpr DWORD kLabel = kChild | SS_LEFT;
constexpr DWORD kEditField = kChild | ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kTrackBar = kChild | TBS_HORZ | TBS_AUTOTICKS | WS_TABSTOP;

const char kAboutText[] = "Corvane\n"
                          "For AutoCAD R13 and Autodesk Mechanical Desktop.\n"
                          "\n"
                          "Written by the Corvane developers.\n"
                          "Contact: the Corvane project's issue tracker.\n"
                          "\n"
                          "Copyright (C) the Corvane authors. All rights reserved.\n"
                          "\n"
                          "Build date: 17/02/97\n"
                          "Version: 1.0.61";

const UiControlTemplate kAboutControls[] = {
    {IDC_STATIC, kUiButton, kGroupBox, 36, 4, 232, 104, "Information", 0},
    {kAboutIconId, kUiStatic, kChild | SS_ICON, 8, 8, 18, 20, nullptr, kModuleIconId},
    {IDC_STATIC, kUiStatic, kLabel, 40, 16, 224, 88, kAboutText, 0},
    {IDOK, kUiButton, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 112, 116, 50, 14, "OK", 0},
};

// Template order is the tab order.
const UiControlTemplate kPropertiesControls[] = {
    {kMaterialGroupId, kUiButton, kGroupBox, 4, 60, 224, 64, "Material Properties", 0},
    {IDOK, kUiButton, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 236, 8, 50, 14, "OK", 0},
    {IDCANCEL, kUiButton, kChild | BS_PUSHBUTTON | WS_TABSTOP, 236, 24, 50, 14, "Cancel", 0},
    {kShininessSliderId, kUiTrackBar, kTrackBar, 120, 88, 100, 12, nullptr, 0},
    {kTransparencySliderId, kUiTrackBar, kTrackBar, 120, 104, 100, 12, nullptr, 0},
    {kUrlGroupId, kUiButton, kGroupBox, 4, 4, 224, 52, "URL Properties", 0},
    {kLinkEditId, kUiEdit, kEditField, 64, 16, 156, 12, "", 0},
    {kLinkLabelId, kUiStatic, kLabel, 12, 20, 48, 8, "URL Link:", 0},
    {kDescriptionEditId, kUiEdit, kEditField, 64, 36, 156, 12, "", 0},
    {kDescriptionLabelId, kUiStatic, kLabel, 12, 40, 44, 8, "Description", 0},
    {kShininessLabelId, kUiStatic, kLabel, 12, 92, 80, 8, "Shininess:", 0},
    {kTransparencyLabelId, kUiStatic, kLabel, 12, 108, 80, 8, "Transparency:", 0},
    {kUseDrawingColorCheckId, kUiButton, kChild | BS_AUTOCHECKBOX | WS_TABSTOP, 12, 76, 192, 8,
     "Use AutoCAD color", 0},
};

// A small wire-frame cube.
const char* const kModuleIconRows[] = {
    " __ ",
    "/_/|",
    "|_|/",
};

} // namespace

const UiDialogTemplate kVrmlDialogTemplates[] = {
    {kAboutDialogId, kDialogStyle, "Corvane", "MS Sans Serif", 8, 273, 134, kAboutControls,
     sizeof kAboutControls / sizeof kAboutControls[0]},
    {kPropertiesDialogId, kDialogStyle, "VRML Properties", "MS Sans Serif", 8, 293, 130, kPropertiesControls,
     sizeof kPropertiesControls / sizeof kPropertiesControls[0]},
};
const size_t kVrmlDialogTemplateCount = sizeof kVrmlDialogTemplates / sizeof kVrmlDialogTemplates[0];

const UiIconResource kVrmlIcons[] = {
    {kModuleIconId, kModuleIconRows, sizeof kModuleIconRows / sizeof kModuleIconRows[0]},
};
const size_t kVrmlIconCount = sizeof kVrmlIcons / sizeof kVrmlIcons[0];

const UiResources kVrmlResources = {kVrmlStringTable,        kVrmlStringTableSize, kVrmlDialogTemplates,
                                    kVrmlDialogTemplateCount, kVrmlIcons,           kVrmlIconCount};
