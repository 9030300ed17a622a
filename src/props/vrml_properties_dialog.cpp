#include "props/vrml_properties_dialog.h"

#include <cmath>

#include "ads.h"
#include "app/message_catalogue.h"
#include "props/vrml_material.h"
#include "props/vrml_url.h"
#include "res/dialog_templates.h"

namespace {

constexpr int kMaxTextLength = 250;
constexpr int kSliderMax = 100;
constexpr int kSliderTicks = 10;

} // namespace

int sliderPosition(double value) {
  if (!(value > 0.0)) return 0; // NaN too
  if (value >= 1.0) return kSliderMax;
  // Nearest, not truncated: 0.29 is 28.999... hundredths in binary, and
  // must come back as 29 so that opening and accepting changes nothing.
  return static_cast<int>(std::lround(value * 100.0));
}

double sliderValue(int position) { return static_cast<double>(position) * 0.01; }

VrmlPropertiesDialog::VrmlPropertiesDialog(HWND parent) : CDialog(kPropertiesDialogId, parent) {}
VrmlPropertiesDialog::~VrmlPropertiesDialog() = default;

void VrmlPropertiesDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Text(pDX, kLinkEditId, linkText);
  DDV_MaxChars(pDX, linkText, kMaxTextLength);
  DDX_Text(pDX, kDescriptionEditId, descriptionText);
  DDV_MaxChars(pDX, descriptionText, kMaxTextLength);
  DDX_Control(pDX, kTransparencySliderId, transparencySlider);
  DDX_Control(pDX, kShininessSliderId, shininessSlider);
  DDX_Check(pDX, kUseDrawingColorCheckId, useDrawingColor);
}

bool VrmlPropertiesDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  SetWindowText(messageText(25));
  const struct {
    int control;
    int message;
  } kTexts[] = {
      {kUrlGroupId, 26},         {kLinkLabelId, 27},      {kDescriptionLabelId, 28},
      {kMaterialGroupId, 29},    {kUseDrawingColorCheckId, 30}, {kShininessLabelId, 31},
      {kTransparencyLabelId, 32}, {IDOK, 33},             {IDCANCEL, 34},
  };
  for (const auto& t : kTexts) SetDlgItemText(t.control, messageText(t.message));
  transparencySlider.SetRange(0, kSliderMax);
  transparencySlider.SetTicFreq(kSliderTicks);
  shininessSlider.SetRange(0, kSliderMax);
  shininessSlider.SetTicFreq(kSliderTicks);
  transparencySlider.SetPos(sliderPosition(transparency));
  shininessSlider.SetPos(sliderPosition(shininess));
  // The focus goes to the first tab stop, the OK button.
  return true;
}

void VrmlPropertiesDialog::OnOK() {
  // A failed validation has told the user once and put the focus on the
  // field; the dialog stays open.
  if (!UpdateData(true)) return;
  transparency = sliderValue(transparencySlider.GetPos());
  shininess = sliderValue(shininessSlider.GetPos());
  CDialog::OnOK();
}

int runPropertiesDialog(VrmlUrl& url, VrmlMaterial& material) {
  VrmlPropertiesDialog dialog(static_cast<HWND>(adsw_acadMainWnd()));
  dialog.useDrawingColor = material.useDrawingColor;
  dialog.shininess = material.shininess;
  dialog.transparency = material.transparency;
  dialog.linkText = url.link;
  dialog.descriptionText = url.description;
  if (dialog.DoModal() != IDOK) return 0;
  material.useDrawingColor = dialog.useDrawingColor == 1 ? 1 : 0;
  material.setShininess(dialog.shininess);
  material.setTransparency(dialog.transparency);
  url.setLink(dialog.linkText.IsEmpty() ? nullptr : static_cast<const char*>(dialog.linkText));
  url.setDescription(dialog.descriptionText.IsEmpty() ? nullptr : static_cast<const char*>(dialog.descriptionText));
  return 1;
}
