#include "dwg/dwg_file.h"

#include "dwg/dwg_error.h"
#include "dxf/dxf_values.h"

namespace corvane::dwg {

DwgObjectFrame DwgFile::frame(uint64_t handle) const {
  std::optional<uint64_t> offset = objectMap.find(handle);
  if (!offset) throw DwgError("AcDb:Handles", 0, "handle " + formatHandle(handle) + " is not in the object map");
  return frameAt(*offset);
}

DwgFile readDwgFile(std::span<const uint8_t> file, DwgObjectReading reading, DwgHeaderKeeping keeping) {
  DwgFile dwg;
  dwg.sections = readDwgSections(file, reading);
  dwg.classes = readClasses(dwg.sections);
  dwg.header = readHeaderVariables(dwg.sections, keeping);
  dwg.objectMap = readObjectMap(dwg.sections);
  return dwg;
}

} // namespace corvane::dwg
