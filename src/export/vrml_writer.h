// The VRML 1.0 ascii world file: header and the frame of one group per
// object. The group's contents are written by VrmlMaterial::writeMaterial,
// VrmlUrl::beginAnchor / endAnchor and Mesh::writeMesh, all defined beside
// these in vrml_writer.cpp.
//
// Order of calls for a file: writeHeader once; then per object
// beginSeparator, writeMaterial, beginAnchor, writeMesh, endAnchor,
// endSeparator. The writer only appends text; the caller opens and closes
// the file and checks file->failed() / close() for write errors.
#pragma once

#include "output_file.h"

// The header line and the ShapeHints node. Returns 1 (also with no file,
// when it writes nothing).
int writeHeader(OutputFile* file);

// "Separator {\n": returns 1, or 0 with no file.
int beginSeparator(OutputFile* file);

// "}\n" closing the object's group: returns 1, or 0 with no file.
int endSeparator(OutputFile* file);
