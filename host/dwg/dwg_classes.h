// The classes section (AcDb:Classes): the object kinds a drawing defines
// beyond the fixed ones, each with the type number (500 and up) its objects
// carry.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "dwg/dwg_sections.h"

namespace corvane::dwg {

struct DwgClass {
  uint16_t number = 0;      // the object type its objects carry (500 and up)
  uint16_t proxyFlags = 0;  // DXF group 90
  std::string appName;      // DXF group 3
  std::string cppName;      // DXF group 2, the C++ class name
  std::string dxfName;      // DXF group 1, the name objects of the class have in DXF
  bool wasZombie = false;   // DXF group 280: the class was a proxy when saved
  uint16_t itemClassId = 0; // 0x1F2 for entities, 0x1F3 for other objects
  // R2004 and later.
  uint32_t instanceCount = 0; // DXF group 91
  uint16_t dwgVersion = 0;
  uint16_t maintenanceVersion = 0;

  bool isEntity() const { return itemClassId == 0x1F2; } // DXF group 281
};

// Reads SECTIONS.classes (its frame checked as frameSection does): R13 to
// R2000 until the data ends, R2004 and later as many as the section's
// largest class number says, R2007 and later with the names from the
// section's string stream. Text is as readT gives it: code-page bytes before
// R2007, UTF-8 after. Throws DwgError ("AcDb:Classes" and the byte).
std::vector<DwgClass> readClasses(const DwgSections& sections);

// The class whose objects carry TYPE in CLASSES; null for none.
const DwgClass* findClass(const std::vector<DwgClass>& classes, uint16_t type);

// Whether objects of TYPE are entities: the fixed types by the format's
// table, types from 500 on by their class. nullopt for a type the format
// doesn't define and no class gives.
std::optional<bool> isEntityType(uint16_t type, const std::vector<DwgClass>& classes);

} // namespace corvane::dwg
