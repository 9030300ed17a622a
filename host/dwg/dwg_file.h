// A DWG drawing's structure, read whole: its sections, classes, header
// variables and object map, every checksum checked. This is where the
// object decoders start: frame(handle) gives each object's type, handle
// and streams.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "dwg/dwg_classes.h"
#include "dwg/dwg_header_variables.h"
#include "dwg/dwg_object_frame.h"
#include "dwg/dwg_object_map.h"
#include "dwg/dwg_sections.h"

namespace corvane::dwg {

struct DwgFile {
  DwgSections sections;
  std::vector<DwgClass> classes;
  DwgHeaderVariables header;
  DwgObjectMap objectMap;

  DwgVersion version() const { return sections.version; }
  // The object of HANDLE, framed (frameObject). Throws DwgError
  // ("AcDb:Handles") for a handle the map doesn't hold, or as frameObject
  // does for an object that doesn't hold together.
  DwgObjectFrame frame(uint64_t handle) const;
  // The object at OFFSET of the objects (an entry of objectMap).
  DwgObjectFrame frameAt(uint64_t offset) const { return frameObject(sections, classes, offset); }
  // The class of object type TYPE (500 and up); null for none.
  const DwgClass* classOf(uint16_t type) const { return findClass(classes, type); }
};

// Reads FILE's structure (readDwgSections, readClasses,
// readHeaderVariables, readObjectMap). Objects are framed when asked for,
// not here, and their pages read then when READING says so; of the header
// variables, what KEEPING says is kept. The result may
// point into FILE: keep FILE alive while it is used. Throws DwgError for
// anything that can't be trusted.
DwgFile readDwgFile(std::span<const uint8_t> file, DwgObjectReading reading = DwgObjectReading::kAll,
                    DwgHeaderKeeping keeping = DwgHeaderKeeping::kAll);

} // namespace corvane::dwg
