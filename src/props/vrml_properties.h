// The properties command: pick one exportable object, edit its hyperlink and
// material in the "VRML Properties" dialog, store them on OK.
#pragma once

#include "acdb.h"

void vrmlprop();

// Opens the object for reading (0) or writing (1), erased objects excluded,
// and confirms it is an AcDbObject. 0 with the object in OBJECT, else the
// open's non-zero status (and no object). Ends the host through acrx_abort
// when a refused object can't be closed again.
int openDrawingObject(AcDbObjectId id, AcDb::OpenMode mode, AcDbObject*& object);

// Asks for one object with PROMPT. 1 with its id in ID when the user picked
// an object of a kind the export converts; 0 otherwise, after "Invalid
// object type." for another kind, silently when nothing was picked.
int selectPropertyObject(const char* prompt, AcDbObjectId& id);
