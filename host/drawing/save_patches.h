// What a save changes in a drawing's file, as patches of the bytes read
// (DrawingFile::patched and write apply them); everything else is written
// as it was read. The patches, in the file's own form (DrawingFile::style):
// * an erased entity outside blocks leaves the file, with its VERTEX,
//   ATTRIB and SEQEND records and its ACDSDATA record;
// * extended data replaced since load takes the stored one's place (an
//   object whose text has no handle gets one);
// * added objects follow the object they were added after, or end the
//   ENTITIES section (made when there is none); their ACDSDATA records end
//   the ACDSDATA section, where the file has one;
// * registered applications added since load end the APPID table (made
//   when there is none), whose count follows;
// * objects a DWG's reader could only list leave the file, with what they
//   own and the dictionaries' entries that name them;
// * $HANDSEED is raised past every handle written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "drawing/drawing_file.h"
#include "drawing/record_index.h"
#include "dxf/dxf_output.h"

namespace corvane {

// A registered application added since load: its name, and the handle of
// its APPID record (0 in a file older than R13, whose records have none).
struct NewApplication {
  std::string name;
  uint64_t handle = 0;
};

// The patches that turn FILE's bytes into the drawing that INDEX (its
// records) and NEWAPPS describe now; none for a drawing without changes.
// LEFTOUT (sorted serials) are records no saved file holds: objects the
// DWG reader could only list, which are no objects a DXF can hold; what
// they own (through every level) leaves with them, and so do the entries
// of dictionaries that name any of these.
std::vector<DxfPatch> savePatches(const DrawingFile& file, const RecordIndex& index,
                                  const std::vector<NewApplication>& newApps,
                                  const std::vector<uint32_t>& leftOut = {});

} // namespace corvane
