#include "export/object_material.h"

namespace {
constexpr int kNoMaterialColor = 7;
}

void loadObjectMaterial(AcDbObject* object, int colorIndex, VrmlMaterial& material,
                        VrmlColor& color) {
  if (colorIndex == kNoMaterialColor) {
    return;
  }
  material.readMaterialXData(object);
  if (material.useDrawingColor != 1) {
    return;
  }
  if (color.setIndex(colorIndex) == 1) {
    material.setAmbientColor(color);
  } else {
    material.setAmbientColor(material.ambientColor);
  }
}
