// Object coordinate systems: the frame that an entity's extrusion direction
// (group 210) defines by the arbitrary-axis rule, and the mapping of points
// from it to world coordinates.
#pragma once

#include "faces/face_block.h"
#include "geometry/entity_geometry.h"

namespace corvane {

// Unit axes of an object coordinate system, all in world coordinates.
struct ObjectFrame {
  Vec3 xAxis{1, 0, 0}, yAxis{0, 1, 0}, zAxis{0, 0, 1};
};

// The frame of EXTRUSION by the arbitrary-axis rule. EXTRUSION need not be of
// unit length; one of zero length or with a non-finite coordinate gives the
// world frame (DXF readers hand such values through unchecked).
ObjectFrame objectFrame(const Vec3& extrusion);

// P, given in FRAME, in world coordinates.
Vec3 toWorld(const ObjectFrame& frame, const Vec3& p);

// FRAME as a matrix (rotation only, no translation).
Matrix4 frameMatrix(const ObjectFrame& frame);

} // namespace corvane
