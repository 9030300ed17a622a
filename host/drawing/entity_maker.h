// New objects from group lists, as a program describes them (entmake):
// written in the drawing's own form with a new handle, the model-space
// owner, the subclass markers their type needs and defaults for what may be
// left out, at the end of model space. A POLYLINE is completed by the
// VERTEX records and the SEQEND that follow it, call by call.
#pragma once

#include <string>
#include <vector>

#include "geometry/entity_geometry.h"

struct AcDbObjectRecord;

namespace corvane {

class Drawing;

// One group of a new object.
struct NewGroup {
  enum Kind { kText, kInteger, kReal, kPoint };
  int code = 0;
  Kind kind = kText;
  std::string text;
  long long integer = 0;
  double real = 0;
  Vec3 point;
};

class EntityMaker {
public:
  enum Status { kAdded, kPending, kRefused };
  struct Result {
    Status status = kRefused;
    AcDbObjectRecord* record = nullptr; // for kAdded
    std::string reason;                 // for kRefused: one phrase
  };

  // Adds the object GROUPS describe to DRAWING (its 0 group first; groups
  // -1, 5, 330 and 100 are ignored, the layer must exist). Types: 3DFACE,
  // SOLID, TRACE, LINE, POINT, CIRCLE, ARC, TEXT, INSERT (of a defined
  // block), and POLYLINE with its VERTEX and SEQEND records (kPending until
  // the SEQEND). A refusal leaves the drawing as it was and drops an open
  // POLYLINE.
  Result make(Drawing& drawing, const std::vector<NewGroup>& groups);

private:
  Drawing* pendingDrawing_ = nullptr;
  std::string pending_; // the open POLYLINE and its vertices so far
  uint64_t pendingHandle_ = 0;
  int pendingFlags_ = 0;
};

} // namespace corvane
