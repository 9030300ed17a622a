// A flat map of one face's surface in which its boundary loops become
// plane polygons: planes project onto themselves; spheres are projected
// stereographically from a point outside the face; cones, cylinders and tori
// use their angle and height (or tube angle), unwrapped, or as polar
// coordinates when a loop goes once around the axis; B-spline surfaces use
// their parameters. `fromChart` maps chart points back onto the surface.
#pragma once

#include <optional>
#include <vector>

#include "geometry/vec_math.h"
#include "solids/solid_model.h"

namespace corvane::solids {

class SurfaceChart {
public:
  // Maps the face's loops (closed rings of surface points, coedge order) to
  // the chart. `faceSign` is +1 when the face normal is the surface's
  // outward normal, -1 when against it (used to choose a sphere's
  // projection point). Returns false when the loops cannot be charted (for
  // example a torus face whose loops wrap both ways); the caller then
  // approximates the face.
  bool chartLoops(const Surface& surface, int faceSign, const std::vector<std::vector<Vec3>>& loops,
                  std::vector<std::vector<Vec2>>& out);

  // A flat chart through the best-fitting plane of the loops (for surfaces
  // that are flat or unknown). Returns false for loops without area.
  bool chartFlat(const std::vector<std::vector<Vec3>>& loops, std::vector<std::vector<Vec2>>& out);

  Vec3 fromChart(Vec2 c) const;
  // Distance from a point near the surface to the surface (exact for
  // spheres, cylinders and tori, an upper bound for cones); for B-spline
  // surfaces the distance to the surface point at chart position `hint`.
  double distanceToSurface(Vec3 p, Vec2 hint) const;
  bool curved() const { return mode_ != Mode::Flat; }
  // Smallest radius of curvature over the face (for the angle limit);
  // infinite for flat charts.
  double minRadius() const { return minRadius_; }

private:
  enum class Mode { Flat, Stereographic, Unwrapped, PolarU, PolarV, Spline };
  // Surface angle/height coordinates of a point, and back.
  void param(Vec3 p, double& u, double& v) const;
  Vec3 eval(double u, double v) const;
  // One chart per kind of surface: what chartLoops does for it.
  bool chartPlane(const std::vector<std::vector<Vec3>>& loops, std::vector<std::vector<Vec2>>& out);
  bool chartSphere(int faceSign, const std::vector<std::vector<Vec3>>& loops, std::vector<std::vector<Vec2>>& out);
  bool chartCone(const std::vector<std::vector<Vec3>>& loops, std::vector<std::vector<Vec2>>& out);
  bool chartTorus(const std::vector<std::vector<Vec3>>& loops, std::vector<std::vector<Vec2>>& out);
  bool chartSpline(const std::vector<std::vector<Vec3>>& loops, std::vector<std::vector<Vec2>>& out);

  // A cone's or torus's loops in angle/height (torus: tube angle)
  // coordinates, each unwrapped along the loop, and how the loops go
  // around: anyU, a loop goes around the axis (wrappingU of them); anyV, a
  // loop goes around the tube.
  struct AxisCoordinates {
    std::vector<std::vector<double>> us, vs;
    bool anyU = false, anyV = false;
    int wrappingU = 0;
    double vMean = 0, maxRing = 0; // mean v; largest distance from the axis
  };
  AxisCoordinates axisCoordinates(const std::vector<std::vector<Vec3>>& loops) const;
  // The chart of C (scaleU_ and scaleV_ set): the coordinates unwrapped, or
  // polar where a loop goes around; APEX is the v of a cone's apex, when
  // the face holds it (the radius then grows linearly from it).
  void chartAroundAxis(AxisCoordinates& c, std::optional<double> apex, std::vector<std::vector<Vec2>>& out);

  Mode mode_ = Mode::Flat;
  const Surface* s_ = nullptr;
  Vec3 origin_, e1_, e2_, e3_;      // frame: e3 is the axis / normal / projection direction
  double radius_ = 0;               // sphere radius, cone base radius
  double scaleU_ = 1, scaleV_ = 1;  // chart units per parameter unit
  double polarK_ = 1, polarV0_ = 0; // polar radius = exp(k (v - v0)), or |v - v0| for an apex
  bool polarLinear_ = false, polarNegative_ = false;
  double minRadius_ = 1e300;
  // Spline parameter search grid.
  std::vector<Vec3> grid_;
  int gridN_ = 0;
};

} // namespace corvane::solids
