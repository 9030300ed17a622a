// The material one exported object gets from its drawing colour and its
// stored material data.
#pragma once

#include "props/vrml_material.h"

class AcDbObject;

// For an object of effective colour index COLORINDEX (already resolved from
// "by layer"): with index 7 nothing happens and MATERIAL stays as it is
// (after a reset: not valid, so no Material node). Otherwise the stored
// material of OBJECT is read (an object without data, or null, leaves the
// record), and when useDrawingColor is 1 the drawing colour becomes the
// ambient colour through COLOR, the caller's record for the run. An index the
// palette doesn't hold (0 by block, above 255) keeps the material's own
// ambient colour, never COLOR's value from an earlier object; the material
// is then valid all the same.
void loadObjectMaterial(AcDbObject* object, int colorIndex, VrmlMaterial& material,
                        VrmlColor& color);
