// Exploding: a block reference replaced, in its place in drawing order, by
// the objects of its block placed by the reference's full transform (every
// copy of a multiple insert), keeping what the user saw (objects on layer 0
// take the reference's layer, objects coloured by block its colour); a MESH
// replaced by polyface meshes of its base-level faces.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct AcDbObjectRecord;

namespace corvane {

class Drawing;

struct ExplodeReport {
  size_t exploded = 0;              // objects replaced
  std::vector<std::string> refused; // one line per reference or MESH left as it was: what and why
  // The objects of other kinds (EXPLODE takes none of them), by DXF type
  // name, in the order first met.
  std::vector<std::pair<std::string, size_t>> otherKinds;
  size_t notExploded() const;
  // Set when the objects would have passed the limit: one line naming the
  // reference that passes it, the count and the limit. Nothing was placed
  // and the drawing is as it was.
  std::string overLimit;
};

// The most objects one EXPLODE or one export's exploding may place: the
// EXPLODELIMIT system variable (its default fits the machine's memory, see
// defaultExplodeLimit).
unsigned long long explodeLimit();

// EXPLODE: each of OBJECTS (model-space entities of DRAWING) that is a
// block reference or a MESH is replaced; one level only, so references
// nested in a block become references of model space (or, when the outer
// transform would shear them, their objects are placed instead). A
// reference whose block holds an object that can't be placed exactly stays
// as it was, as does every object of another kind. When the objects placed
// would pass LIMIT, nothing is exploded (overLimit says why); the count is
// made before anything is placed.
ExplodeReport explodeObjects(Drawing& drawing, const std::vector<AcDbObjectRecord*>& objects,
                             unsigned long long limit);

// True for the kinds the module's export converts (and derived ones): 3D
// face, 2D solid, polyface and polygon mesh, 3D solid and body. Every other
// object it counts as one it can't convert.
bool isExportable(const AcDbObjectRecord& record);

// Before an export, in memory: every block reference of model space
// exploded through every level and every MESH, so that the export sees the
// objects they show. Objects of kinds the export can't convert are not
// placed; references that show nothing are left as they are. Past LIMIT
// objects, nothing is placed (as explodeObjects).
ExplodeReport explodeForExport(Drawing& drawing, unsigned long long limit);

} // namespace corvane
