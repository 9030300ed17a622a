// List functions that return the properties stored on one entity.
#pragma once

// (vrml_geturl ename) -> (link description), either possibly nil; nil for
// malformed data. Returns 1, or 3 after a usage message or when the entity
// can't be opened.
int vrml_geturl();
// (vrml_getmaterial ename) -> (useDrawingColor shininess transparency), or
// nil without complete material data. Returns 1 or 3 as vrml_geturl.
int vrml_getmaterial();
