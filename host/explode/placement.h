// Placing copies of a block's objects by a reference's transform. Each
// kind keeps its kind where the transform allows it; an exportable object
// whose kind can't hold the transform becomes a polyface mesh of the faces
// the export would have made, so that what is placed is never wrong.
#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "explode/affine.h"
#include "explode/entity_copy.h"
#include "explode/polyface_writer.h"

struct AcDbObjectRecord;

namespace corvane {

class Drawing;

class Placer {
public:
  // New objects are written in DRAWING's form, owned by OWNER (the handle
  // of the model-space block record).
  Placer(Drawing& drawing, std::string owner);

  // The groups of RECORD, read once for all its copies.
  SourceEntity& source(const AcDbObjectRecord& record);

  // Places a copy of RECORD by A under APPEARANCE, appending the new
  // object(s) to OUT. A block reference is placed as one reference when A
  // after its own transform is one (see placeReference). False, with the
  // reason in WHY ("can't be mirrored"), when the kind can't be placed
  // exactly.
  bool place(const AcDbObjectRecord& record, const Affine& a, const Appearance& appearance,
             std::vector<PlacedObject>& out, std::string& why);
  // A block reference (with its attributes) by A: false when A after the
  // reference's own transform is no block reference's transform (a shear).
  bool placeReference(const AcDbObjectRecord& reference, const Affine& a, const Appearance& appearance,
                      std::vector<PlacedObject>& out);
  // A MESH as polyface meshes of its base-level faces, placed by A.
  void placeMeshAsPolyfaces(const AcDbObjectRecord& mesh, const Affine& a, const Appearance& appearance,
                            std::vector<PlacedObject>& out);

  Drawing& drawing() const { return writer_.drawing(); }

private:
  // The faces the export makes of RECORD, placed by A, as polyface meshes.
  void placeFaces(const SourceEntity& s, const Affine& a, const Appearance& appearance,
                  std::vector<PlacedObject>& out);
  bool placeSolidModel(const SourceEntity& s, const Affine& a, const Appearance& appearance,
                       std::vector<PlacedObject>& out);
  bool placePolyline(const SourceEntity& s, const Affine& a, const Appearance& appearance,
                     std::vector<PlacedObject>& out, std::string& why);

  CopyWriter writer_;
  std::unordered_map<const AcDbObjectRecord*, std::unique_ptr<SourceEntity>> sources_;
};

} // namespace corvane
