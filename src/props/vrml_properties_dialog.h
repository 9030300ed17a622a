// The "VRML Properties" dialog (template 130): hyperlink, use of the drawing
// colour, shininess and transparency of one object.
#pragma once

#include "ui.h"

struct VrmlMaterial;
struct VrmlUrl;

// Track-bar positions 0..100 stand for the values 0.00..1.00. A value goes
// to the nearest position (so a value that came from a position comes back
// to it); values outside 0..1 go to the nearer end, NaN to 0.
int sliderPosition(double value);
// position × 0.01.
double sliderValue(int position);

// The dialog's data, copied in by runPropertiesDialog before it is shown and
// read back after OK. Construction sets both texts empty and
// useDrawingColor to 0.
class VrmlPropertiesDialog : public CDialog {
public:
  explicit VrmlPropertiesDialog(HWND parent);
  ~VrmlPropertiesDialog() override;

  double shininess = 0.0;
  double transparency = 0.0;
  CString linkText;        // edit field 1018, at most 250 characters
  CString descriptionText; // edit field 1020, at most 250 characters
  int useDrawingColor = 0; // check box 1038
  CSliderCtrl transparencySlider; // control 1015
  CSliderCtrl shininessSlider;    // control 1014

protected:
  void DoDataExchange(CDataExchange* pDX) override;
  bool OnInitDialog() override;
  void OnOK() override;
};

// Shows URL and MATERIAL in the dialog, modal to the host's main window.
// Returns 1 after OK with both records updated (the material's flag,
// shininess and transparency; link and description, absent when their field
// was empty); 0 otherwise, both records unchanged.
int runPropertiesDialog(VrmlUrl& url, VrmlMaterial& material);
