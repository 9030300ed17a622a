// Entity names (ads_name) of drawing records. A name is {drawing tag,
// serial + 1}; it is looked up in the registry of live drawings, never
// dereferenced, so a forged name, a selection set's name or the name of an
// object whose drawing is gone comes back as null.
#pragma once

#include "ads.h"

struct AcDbObjectRecord;

namespace corvane {
class Drawing;

// Fills NAME with the entity name of RECORD.
void makeEntityName(const AcDbObjectRecord& record, ads_name name);
// The record NAME names, or null.
AcDbObjectRecord* recordFromEntityName(const ads_name name);

// The registry of live drawings (used by Drawing): a new tag for DRAWING;
// forgetDrawing when it goes; the drawing with TAG or null.
long rememberDrawing(Drawing* drawing);
void forgetDrawing(long tag);
Drawing* drawingWithTag(long tag);
// The live drawing whose record RECORD is (compared by address, so any
// pointer may be asked about), or null.
Drawing* drawingOwning(const AcDbObjectRecord* record);

// Tags of drawings and of selection sets lie in separate ranges, so neither
// kind of name passes for the other.
constexpr long kDrawingTagBase = 0x10000000L;
constexpr long kSelectionSetTag = 0x2A55E75EL;

} // namespace corvane
