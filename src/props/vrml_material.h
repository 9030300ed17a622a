// The VRML material of one drawing object, and the colour of a layer.
#pragma once

#include "vrml_color.h"

class AcDbObject;
class OutputFile;

// Plain value record, owned by whoever declares it. valid says whether it
// holds values that may be stored and printed.
struct VrmlMaterial {
  int useDrawingColor; // at export the object's colour replaces ambientColor
  int valid;
  VrmlColor ambientColor, diffuseColor, specularColor, emissiveColor;
  double shininess, transparency;

  // Both set the defaults: useDrawingColor 1, valid 0, ambient 0.3 grey,
  // diffuse 0.8 grey, specular and emissive black, shininess 0.2,
  // transparency 0.
  VrmlMaterial();
  void reset();

  // For 0.0 <= value <= 1.0 store it, set valid to 1 and return 1; otherwise
  // (NaN included) keep the old value, set valid to 0 and return 0.
  int setShininess(double value);
  int setTransparency(double value);
  // Copies the whole colour (index and red/green/blue) into ambientColor and
  // sets valid to 1. No range test. Returns 1.
  int setAmbientColor(VrmlColor color);

  // Loads the material stored on OBJECT (open, for reading is enough) under
  // "VRML_Application". Returns 1 when all sixteen items were read; 0 with no
  // object (record untouched), no data, or an item missing or of the wrong
  // group code, leaving what was read before it (valid as the last setter
  // left it). A stored colour out of range leaves that colour as it was.
  int readMaterialXData(AcDbObject* object);
  // Stores the material on OBJECT (open for writing), replacing only its
  // "VRML_Application" data. Returns 1 on success, and without writing when
  // valid is 0; 0 with no object or when the host refuses the data.
  int writeMaterialXData(AcDbObject* object);

  // The Material node, when valid is not 0 and a file is given. Defined with
  // the rest of the world file format (src/export/vrml_writer.cpp).
  void writeMaterial(OutputFile* file) const;
};

// The colour index of the layer LAYERNAME of the current drawing, widened
// without sign; 7 when the name is null or the layer can't be read.
int layerColorIndex(const char* layerName);
