// The export of a selection to a VRML 1.0 world file: the vrmlout command,
// the vrml_wrlout list function and the conversion driver they share.
#pragma once

#include <memory>

#include "acdb.h"

// Command handler: asks for a selection and an output file name, exports,
// and prints "\nError while creating VRML file." when the export fails.
void vrmlout();

// List-function handler for (vrml_wrlout selection_set filename). The call's
// result is T when the export succeeded, nil otherwise. Returns RSRSLT (1),
// or RSERR (3) after the usage message for missing or wrong arguments. The
// selection set stays the caller's.
int vrml_wrlout();

// The host's file dialog for the output file. Returns 1 with a module-owned
// copy of the chosen path in FILENAME, or 0 (FILENAME empty) when the user
// cancelled or the dialog failed.
int askVrmlFileName(std::unique_ptr<char[]>& fileName);

// Converts every exportable object of SS into FILENAME. Prints progress and
// the counts. Returns 1 when the run reached its end with at least one
// object converted and the file took FILENAME's place. Returns 0 otherwise:
// after a message for an error, silently when the name is null. Only an
// aborted run (messages 8, 11, 12, 13) puts a file in place, holding the
// header and the groups completed so far; when the file can't be written,
// when no object qualified or when the user asks to stop (ads_usrbrk), a
// file of that name stays as it was. Failures of the file itself are
// reported to the host with adsi_fileerror.
int exportSelectionSet(const ads_name ss, const char* fileName);

// 1 when ENTITY (open) is, or derives from, one of AcDbBody, AcDb3dSolid,
// AcDbSolid, AcDbFace, AcDbPolyFaceMesh, AcDbPolygonMesh; else 0.
int isExportableEntity(AcDbEntity* entity);
