// The boundary representation read from a solid-model document: bodies of
// faces bounded by loops of coedges over edges, with the surfaces and curves
// the tessellator needs, all in model coordinates (the body transform is
// kept beside, not applied). buildSolidModel checks every reference it
// follows (kind and range) and fails with a one-line reason when the
// topology cannot be read; geometry it does not know is kept as Unknown with
// a note in `warnings` so that the caller can approximate it.
#pragma once

#include <string>
#include <vector>

#include "geometry/vec_math.h"
#include "solids/bspline.h"
#include "solids/sat_document.h"

namespace corvane::solids {

enum class CurveType { Straight, Ellipse, Spline, Unknown };

struct Curve {
  CurveType type = CurveType::Unknown;
  std::string kind;           // record kind, for messages
  Vec3 origin, direction;     // Straight: point and direction
  Vec3 centre, normal, major; // Ellipse: P(t) = c + major cos t + ratio (normal x major) sin t
  double ratio = 1;
  BSplineCurve spline;         // Spline: approximating B-spline of the curve
  bool splineReversed = false; // the curve runs against its spline
};

enum class SurfaceType { Plane, Cone, Sphere, Torus, Spline, Unknown };

struct Surface {
  SurfaceType type = SurfaceType::Unknown;
  std::string kind;
  Vec3 origin;                       // Plane root, Cone base centre, Sphere/Torus centre
  Vec3 normal;                       // Plane normal, Cone/Torus axis, Sphere pole (unit)
  Vec3 major;                        // Cone: base ellipse major axis; Sphere/Torus: reference direction (unit)
  double ratio = 1;                  // Cone base ellipse minor/major ratio
  double sinAngle = 0, cosAngle = 1; // Cone half angle: radius grows by sin/cos per unit along the axis
  double radius = 0;                 // Sphere radius (negative: normals point inward); Torus major radius
  double minorRadius = 0;            // Torus tube radius
  BSplineSurface spline;
  bool splineReversed = false; // the surface normal is against the spline's du x dv
};

struct Edge {
  int start = -1, end = -1; // vertex indices
  int curve = -1;           // -1: no curve (a degenerate edge at one point)
  bool reversed = false;    // edge runs against its curve
};

struct Coedge {
  int edge = -1;
  bool reversed = false; // coedge runs against its edge
};

struct Loop {
  std::vector<Coedge> coedges;
};

struct Face {
  std::vector<Loop> loops;
  int surface = -1;
  bool reversed = false; // face normal is against the surface normal
  bool doubleSided = false;
};

struct Transform {
  double rows[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  Vec3 translation;
  double scale = 1;
  Vec3 apply(Vec3 p) const {
    Vec3 q{p.x * rows[0][0] + p.y * rows[1][0] + p.z * rows[2][0],
           p.x * rows[0][1] + p.y * rows[1][1] + p.z * rows[2][1],
           p.x * rows[0][2] + p.y * rows[1][2] + p.z * rows[2][2]};
    return q * scale + translation;
  }
  // Linear part's determinant sign: a reflecting transform flips orientation.
  bool reflects() const;
  // How much lengths grow (largest row length times scale).
  double lengthScale() const;
};

struct Body {
  std::vector<int> faces; // indices into SolidModel::faces
  Transform transform;
};

struct SolidModel {
  std::vector<Body> bodies;
  std::vector<Face> faces;
  std::vector<Vec3> vertices;
  std::vector<Edge> edges;
  std::vector<Curve> curves;
  std::vector<Surface> surfaces;
  std::vector<std::string> warnings;
};

bool buildSolidModel(const SatDocument& doc, SolidModel& model, std::string& reason);

// Where a model keeps its transforms. For a body record: the index among
// its values of its transform reference; for a transform record: the index
// of its first matrix value. SIZE_MAX when the body has no such reference,
// or the transform keeps its values as one text (as some binary writers do).
size_t bodyTransformSlot(const SatRecord& body, int version);
size_t transformMatrixSlot(const SatRecord& transform, int version);

} // namespace corvane::solids
