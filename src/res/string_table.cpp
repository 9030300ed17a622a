#include "res/string_table.h"

// Ids 2 and 5, and 3 and 6, carry the same texts on purpose: the command and
// the export driver report them separately. Id 35 is unused.
const UiStringEntry kVrmlStringTable[] = {
    {1, "\nSelect objects: "},
    {2, "\nCannot determine length of selection set."},
    {3, "\nNo entity in selection set."},
    {4, "\nError while creating VRML file."},
    {5, "\nCannot determine length of selection set."},
    {6, "\nNo entity in selection set."},
    {7, "\nCannot create output file."},
    {8, "\nCannot get entity from selection set."},
    {9, "\nCannot open entity for reading - %ld."},
    {10, "\nInvalid object type ignored - must be derived from AcDbBody or AcDb3dSolid."},
    {11, "\nCannot create selection set."},
    {12, "\nCannot open face file."},
    {13, "\nCannot convert faces to VRML"},
    {14, "\n%d objects converted."},
    {15, "Create VRML File"},
    {16, "\nInvalid object type."},
    {17, "Cannot open object for writing."},
    {18, "\nError while attaching url data to selected object."},
    {19, "\nError while attaching material data to selected object."},
    {20, "\nSelect object: "},
    {21, "\nCorvane loaded.\nUse VRMLHELP for list of commands.\n"},
    {22, "\nUsage: vrml_wrlout selection_set filename\n"},
    {23, "\nUsage: vrml_geturl entity\n"},
    {24, "\nUsage: vrml_getmaterial entity\n"},
    {25, "VRML Properties"},
    {26, "URL Properties"},
    {27, "URL Link:"},
    {28, "Description:"},
    {29, "Material Properties"},
    {30, "Use AutoCAD Color"},
    {31, "Shininess:"},
    {32, "Transparency:"},
    {33, "OK"},
    {34, "Cancel"},
    {36, "\n%d invalid objects ignored."},
    {37, "\rProcessing %d of %d."},
};

const size_t kVrmlStringTableSize = sizeof kVrmlStringTable / sizeof kVrmlStringTable[0];
