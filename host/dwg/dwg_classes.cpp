#include "dwg/dwg_classes.h"

#include <string>

#include "dwg/bit_reader.h"
#include "dwg/dwg_error.h"
#include "dwg/dwg_section_streams.h"

namespace corvane::dwg {
namespace {
constexpr const char* kSection = "AcDb:Classes";
} // namespace

std::vector<DwgClass> readClasses(const DwgSections& sections) {
  DwgSectionStreams streams = sectionStreams(sections.classes, kClassesSentinel, kSection, sections);
  BitReader& in = streams.data;
  BitReader& text = streams.text();
  bool counted = sections.version >= DwgVersion::kR2004;
  uint32_t count = 0;
  if (counted) {
    uint16_t largest = in.readBS();
    in.readRC();
    in.readRC();
    in.readB();
    if (largest < 499) in.fail("a largest class number of " + std::to_string(largest) + ", below 500");
    count = largest - 499u;
    // A class takes well over 16 bits; a count the data can't hold is refused
    // before anything is kept for it.
    if (count > in.remaining() / 16) in.fail(std::to_string(count) + " classes can't fit in the section");
  }
  std::vector<DwgClass> classes;
  // Before R2004 the classes run to the end of the data, less its padding.
  while (counted ? classes.size() < count : in.remaining() >= 8) {
    DwgClass c;
    c.number = in.readBS();
    c.proxyFlags = in.readBS();
    c.appName = text.readT();
    c.cppName = text.readT();
    c.dxfName = text.readT();
    c.wasZombie = in.readB();
    c.itemClassId = in.readBS();
    if (counted) {
      c.instanceCount = in.readBL();
      c.dwgVersion = in.readBS();
      c.maintenanceVersion = in.readBS();
      in.readBL();
      in.readBL();
    }
    classes.push_back(std::move(c));
  }
  return classes;
}

const DwgClass* findClass(const std::vector<DwgClass>& classes, uint16_t type) {
  for (const DwgClass& c : classes)
    if (c.number == type) return &c;
  return nullptr;
}

std::optional<bool> isEntityType(uint16_t type, const std::vector<DwgClass>& classes) {
  if (type >= 500) {
    const DwgClass* c = findClass(classes, type);
    if (!c) return std::nullopt;
    return c->isEntity();
  }
  // The fixed types: 1 to 8 and 10 to 41 are entities (9 is unused), 42
  // DICTIONARY is not, 43 to 47 are; 48 to 73 are tables and objects, 74
  // OLE2FRAME is an entity, 75 and 76 are not, 77 LWPOLYLINE and 78 HATCH
  // are, 79 to 82 are not; 498 and 499 are the proxy entity and object.
  if ((type >= 1 && type <= 8) || (type >= 10 && type <= 41) || (type >= 43 && type <= 47) || type == 74 ||
      type == 77 || type == 78 || type == 498)
    return true;
  if (type == 42 || (type >= 48 && type <= 73 && type != 54 && type != 55 && type != 58 && type != 59) ||
      type == 75 || type == 76 || (type >= 79 && type <= 82) || type == 499)
    return false;
  return std::nullopt;
}

} // namespace corvane::dwg
