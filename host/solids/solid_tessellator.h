// Turns the solid-model data of a 3DSOLID / BODY / REGION entity into a
// mesh of triangles and quadrilaterals in world coordinates, one mesh per
// body, watertight where the model is closed (faces meeting at an edge share
// that edge's points) and oriented with outward normals (counter-clockwise
// seen from outside) where the model says which side is outside.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/entity_geometry.h"

namespace corvane {

// One body: `faces` index `points`; index 3 is -1 for a triangle.
struct SolidMesh {
  std::vector<corvane::Vec3> points;
  std::vector<std::array<int, 4>> faces;
};

// Default chord tolerance: this fraction of the body's bounding-box
// diagonal, used when the caller passes a tolerance <= 0. Besides the chord
// tolerance, no curve segment spans more than kSolidMaxSegmentAngleDegrees,
// so small holes and fillets stay round (24 segments a full circle at least).
constexpr double kSolidDefaultRelativeTolerance = 0.002;
constexpr double kSolidMaxSegmentAngleDegrees = 15;

struct SolidTessellation {
  std::vector<SolidMesh> bodies;
  // Parts that were approximated or left out (one line each); the meshes
  // are still usable.
  std::vector<std::string> warnings;
};

// Decodes `data` (binary bytes when present, else the text groups) and
// tessellates every body with `chordTolerance` in drawing units (<= 0: the
// default relative tolerance). Returns false with a one-line `reason` and no
// geometry when the model cannot be read; on success `out.warnings` says
// what was approximated.
bool tessellateSolidModel(const corvane::SolidModelData& data, double chordTolerance, SolidTessellation& out,
                          std::string& reason);

// The same, all bodies merged into one mesh. On success `reason` is empty,
// or holds the warnings joined by "; " (the mesh is still usable).
bool tessellateSolidModel(const corvane::SolidModelData& data, double chordTolerance, SolidMesh& out,
                          std::string& reason);

// Lower-level entries: the model as plain (decoded) text or binary bytes.
bool tessellateSatText(std::string_view text, double chordTolerance, SolidTessellation& out, std::string& reason);
bool tessellateSab(const uint8_t* data, size_t size, double chordTolerance, SolidTessellation& out,
                   std::string& reason);

} // namespace corvane
