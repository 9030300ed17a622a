// Which class (AcRxClass) an object of a DXF file gets, by its type: the
// load gives every object one, and so does adding an entity.
#pragma once

#include <string_view>

#include "acdb.h"

namespace corvane {

// The class of an entity of DXF type TYPE ("3DFACE"); a POLYLINE's by its
// flags POLYLINEFLAGS (group 70: a polyface mesh, a polygon mesh, a 3D or a
// 2D polyline). An unknown type gets a class of its own named after it
// (genericClass under AcDbEntity).
AcRxClass* entityClass(std::string_view type, int polylineFlags);

// A class named after TYPE, derived from BASE, registered on first use. If
// that name is already taken by a class of another family, or TYPE is
// empty, BASE stands in.
AcRxClass* genericClass(std::string_view type, AcRxClass* base);

} // namespace corvane
