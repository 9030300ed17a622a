// Why an export converted nothing, said in one line: by `corvane export` on
// the error stream, and by the shell after the module's own message when
// vrmlout or vrml_wrlout went through a selection without converting any of
// it. One function builds the line for both.
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "ads.h"

struct AcDbObjectRecord;

namespace corvane {

class Drawing;

// The objects an export is given, as the export treats them.
struct ExportTally {
  size_t convertible = 0; // of the kinds it converts (isExportable)
  // The others by DXF type name ("LINE", "INSERT"), the most numerous
  // first, then by name.
  std::vector<std::pair<std::string, size_t>> ignored;
  size_t ignoredCount() const;
};

// Counts OBJECTS (entities of DRAWING) by what the export does with them.
ExportTally tallyForExport(const Drawing& drawing, std::span<AcDbObjectRecord* const> objects);

// KINDS (DXF type name, count) as a person counts them, kinds that share a
// word together and the most numerous first: "24 3D faces, 5 2D solids and
// 1 line". Empty for no kinds.
std::string countedKindsText(const std::vector<std::pair<std::string, size_t>>& kinds);

// Where the block references and MESH objects among the ignored come from,
// which decides what the line tells about them.
enum class BlockReferences {
  kAsDrawn,  // the shell: the drawing as it stands ("EXPLODE them first")
  kKept,     // corvane export --keep-blocks
  kExploded, // corvane export: what its explode in memory left (references
             // that show nothing the export converts, or that can't be placed)
};

// "nothing converted: 10 block references kept by --keep-blocks, 2 lines
// and 1 text, which the export does not convert": every ignored kind with
// its count. Empty when TALLY holds an object the export converts. With no
// objects at all, it says where none were found: on LAYERS (when given) or
// in model space.
std::string nothingConvertedLine(const ExportTally& tally, BlockReferences blocks,
                                 const std::vector<std::string>& layers = {});

// The shell's side. ads_ssname calls noteSetWalked for every position a
// module reads of a selection set (ENTITY: the entity there): the entities
// of a set read in order from its first position are remembered (the export
// reads its selection so).
void noteSetWalked(const ads_name set, long position, const ads_name entity);
// Forgets the walk; the console calls it before a module command or list
// function starts.
void forgetSetWalk();
// After a module command or list function has returned: when it read a
// set from its first object to its last and none of them is of a kind the
// export converts (nor was the call cancelled), the nothingConvertedLine
// of those objects in the drawing as it stands; else empty. Forgets the walk.
std::string takeWalkAnswer();

// ads_entsel calls notePicked with the object picked at "Select object: ".
// forgetSetWalk forgets it too.
void notePicked(const AcDbObjectRecord& record);
// After a module command has returned: when it picked an object of a kind
// the export does not convert (the module refuses such a pick), the line
// that says so and names the kinds it takes ("LINE 212 is not ...; pick a
// 3D face, ..."); else empty. Forgets the pick.
std::string takeRefusedPick();

} // namespace corvane
