#include "props/vrml_material.h"

#include "acdb.h"
#include "props/xdata_chain.h"

namespace {

constexpr const char* kMaterialApp = "VRML_Application";
constexpr int kAppName = 1001;
constexpr int kReal = 1040;
constexpr int kShort = 1070;

bool isFraction(double value) { return value >= 0.0 && value <= 1.0; }

// Three 1040 items into COLOR. False when one is missing; a triple that
// setRgb refuses leaves the colour as it was and still counts as read.
bool takeColor(StoredXData& data, VrmlColor& color) {
  const resbuf* red = data.take(kReal);
  const resbuf* green = red != nullptr ? data.take(kReal) : nullptr;
  const resbuf* blue = green != nullptr ? data.take(kReal) : nullptr;
  if (blue == nullptr) {
    return false;
  }
  color.setRgb(red->resval.rreal, green->resval.rreal, blue->resval.rreal);
  return true;
}

void addColor(XDataChain& chain, const VrmlColor& color) {
  chain.addReal(kReal, color.red);
  chain.addReal(kReal, color.green);
  chain.addReal(kReal, color.blue);
}

} // namespace

namespace {

// The defaults, each colour set through setRgb (so its index is the nearest
// palette entry).
void setDefaults(VrmlMaterial& material) {
  material.useDrawingColor = 1;
  material.valid = 0;
  material.ambientColor.setRgb(0.3, 0.3, 0.3);
  material.diffuseColor.setRgb(0.8, 0.8, 0.8);
  material.specularColor.setRgb(0.0, 0.0, 0.0);
  material.emissiveColor = material.specularColor;
  material.shininess = 0.2;
  material.transparency = 0.0;
}

} // namespace

VrmlMaterial::VrmlMaterial() { setDefaults(*this); }

void VrmlMaterial::reset() {
  // The export resets once per object: a copy of the defaults made once
  // spares the palette searches.
  static const VrmlMaterial defaults;
  *this = defaults;
}

int VrmlMaterial::setShininess(double value) {
  if (!isFraction(value)) {
    valid = 0;
    return 0;
  }
  shininess = value;
  valid = 1;
  return 1;
}

int VrmlMaterial::setTransparency(double value) {
  if (!isFraction(value)) {
    valid = 0;
    return 0;
  }
  transparency = value;
  valid = 1;
  return 1;
}

int VrmlMaterial::setAmbientColor(VrmlColor color) {
  ambientColor = color;
  valid = 1;
  return 1;
}

int VrmlMaterial::readMaterialXData(AcDbObject* object) {
  if (object == nullptr) {
    return 0;
  }
  valid = 0;
  StoredXData data(object, kMaterialApp);
  if (data.first() == nullptr || data.first()->restype != kAppName) {
    return 0;
  }
  const resbuf* flag = data.take(kShort);
  if (flag == nullptr) {
    return 0;
  }
  useDrawingColor = flag->resval.rint != 0 ? 1 : 0;
  // Stored order: ambient, diffuse, emissive, specular.
  if (!takeColor(data, ambientColor) || !takeColor(data, diffuseColor) ||
      !takeColor(data, emissiveColor) || !takeColor(data, specularColor)) {
    return 0;
  }
  const resbuf* storedShininess = data.take(kReal);
  if (storedShininess == nullptr) {
    return 0;
  }
  setShininess(storedShininess->resval.rreal);
  const resbuf* storedTransparency = data.take(kReal);
  if (storedTransparency == nullptr) {
    return 0;
  }
  setTransparency(storedTransparency->resval.rreal);
  valid = 1;
  return 1;
}

int VrmlMaterial::writeMaterialXData(AcDbObject* object) {
  if (object == nullptr) {
    return 0;
  }
  if (valid == 0) {
    return 1;
  }
  ads_regapp(kMaterialApp);
  XDataChain chain;
  chain.addText(kAppName, kMaterialApp);
  chain.addShort(kShort, static_cast<short>(useDrawingColor));
  addColor(chain, ambientColor);
  addColor(chain, diffuseColor);
  addColor(chain, emissiveColor);
  addColor(chain, specularColor);
  chain.addReal(kReal, shininess);
  chain.addReal(kReal, transparency);
  return chain.writeTo(object) ? 1 : 0;
}

int layerColorIndex(const char* layerName) {
  constexpr int kNotFound = 7;
  if (layerName == nullptr) {
    return kNotFound;
  }
  AcDbDatabase* drawing = acdbCurDwg();
  AcDbLayerTable* table = nullptr;
  if (drawing == nullptr || drawing->getLayerTable(table, AcDb::kForRead) != Acad::eOk ||
      table == nullptr) {
    return kNotFound;
  }
  AcDbLayerTableRecord* layer = nullptr;
  if (table->getAt(layerName, layer, AcDb::kForRead, false) != Acad::eOk || layer == nullptr) {
    table->close();
    return kNotFound;
  }
  const int index = static_cast<int>(layer->color().colorIndex());
  table->close();
  layer->close();
  return index;
}
