#include "faces/object_coordinates.h"

#include <cmath>

#include "geometry/vec_math.h"

namespace corvane {
namespace {

// Below this the extrusion counts as near the world z axis: the x axis is
// then taken from world y instead of world z, so that it never degenerates.
constexpr double kArbitraryAxisBound = 1.0 / 64.0;

} // namespace

ObjectFrame objectFrame(const Vec3& extrusion) {
  const double len = length(extrusion);
  if (!std::isfinite(len) || len == 0) return {};
  ObjectFrame frame;
  frame.zAxis = extrusion * (1 / len);
  const Vec3& n = frame.zAxis;
  const Vec3 helper = (std::fabs(n.x) < kArbitraryAxisBound && std::fabs(n.y) < kArbitraryAxisBound)
                          ? Vec3{0, 1, 0}
                          : Vec3{0, 0, 1};
  const Vec3 x = cross(helper, n);
  frame.xAxis = x * (1 / length(x));
  const Vec3 y = cross(n, frame.xAxis);
  frame.yAxis = y * (1 / length(y));
  return frame;
}

Vec3 toWorld(const ObjectFrame& f, const Vec3& p) {
  return {p.x * f.xAxis.x + p.y * f.yAxis.x + p.z * f.zAxis.x,
          p.x * f.xAxis.y + p.y * f.yAxis.y + p.z * f.zAxis.y,
          p.x * f.xAxis.z + p.y * f.yAxis.z + p.z * f.zAxis.z};
}

Matrix4 frameMatrix(const ObjectFrame& f) {
  return {f.xAxis.x, f.yAxis.x, f.zAxis.x, 0,  //
          f.xAxis.y, f.yAxis.y, f.zAxis.y, 0,  //
          f.xAxis.z, f.yAxis.z, f.zAxis.z, 0,  //
          0,         0,         0,         1};
}

} // namespace corvane
