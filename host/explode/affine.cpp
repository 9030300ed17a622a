#include "explode/affine.h"

#include <cmath>

#include "faces/object_coordinates.h"
#include "geometry/vec_math.h"

namespace corvane {
namespace {

// Relative tolerance for "orthogonal", "equal length" and "parallel": far
// below what a drawing can show, far above what rounding leaves.
constexpr double kTolerance = 1e-9;

Vec3 column(const Affine& a, int j) { return {a.m[0][j], a.m[1][j], a.m[2][j]}; }

bool orthogonal(const Vec3& u, const Vec3& v) {
  return std::fabs(dot(u, v)) <= kTolerance * length(u) * length(v);
}

Affine fromColumns(const Vec3& x, const Vec3& y, const Vec3& z) {
  Affine a;
  const Vec3 c[3] = {x, y, z};
  for (int j = 0; j < 3; ++j) {
    a.m[0][j] = c[j].x;
    a.m[1][j] = c[j].y;
    a.m[2][j] = c[j].z;
  }
  return a;
}

} // namespace

Vec3 Affine::apply(const Vec3& p) const {
  Vec3 v = applyLinear(p);
  return {v.x + t.x, v.y + t.y, v.z + t.z};
}

Vec3 Affine::applyLinear(const Vec3& v) const {
  return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z, m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
          m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
}

Vec3 Affine::cofactorApply(const Vec3& n) const {
  // The cofactor matrix's columns are the cross products of the linear
  // part's columns: cof(L) n = n.x (c2 x c3) + n.y (c3 x c1) + n.z (c1 x c2).
  const Vec3 c1 = column(*this, 0), c2 = column(*this, 1), c3 = column(*this, 2);
  return cross(c2, c3) * n.x + cross(c3, c1) * n.y + cross(c1, c2) * n.z;
}

double Affine::determinant() const { return dot(column(*this, 0), cross(column(*this, 1), column(*this, 2))); }

Affine operator*(const Affine& outer, const Affine& inner) {
  Affine r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      r.m[i][j] = outer.m[i][0] * inner.m[0][j] + outer.m[i][1] * inner.m[1][j] + outer.m[i][2] * inner.m[2][j];
  r.t = outer.apply(inner.t);
  return r;
}

Affine translation(const Vec3& v) {
  Affine a;
  a.t = v;
  return a;
}

Affine scaling(double x, double y, double z) {
  Affine a;
  a.m[0][0] = x;
  a.m[1][1] = y;
  a.m[2][2] = z;
  return a;
}

Affine rotationZ(double radians) {
  Affine a;
  const double c = std::cos(radians), s = std::sin(radians);
  a.m[0][0] = c;
  a.m[0][1] = -s;
  a.m[1][0] = s;
  a.m[1][1] = c;
  return a;
}

Affine objectToWorld(const Vec3& extrusion) {
  const ObjectFrame f = objectFrame(extrusion);
  return fromColumns(f.xAxis, f.yAxis, f.zAxis);
}

Affine worldToObject(const Vec3& extrusion) {
  const ObjectFrame f = objectFrame(extrusion);
  Affine a = fromColumns(f.xAxis, f.yAxis, f.zAxis);
  for (int i = 0; i < 3; ++i)
    for (int j = i + 1; j < 3; ++j) std::swap(a.m[i][j], a.m[j][i]);
  return a;
}

std::optional<double> similarityScale(const Affine& a) {
  const Vec3 c1 = column(a, 0), c2 = column(a, 1), c3 = column(a, 2);
  const double l1 = length(c1), l2 = length(c2), l3 = length(c3);
  if (!(l1 > 0) || !std::isfinite(l1)) return std::nullopt;
  if (std::fabs(l2 - l1) > kTolerance * l1 || std::fabs(l3 - l1) > kTolerance * l1) return std::nullopt;
  if (!orthogonal(c1, c2) || !orthogonal(c2, c3) || !orthogonal(c1, c3)) return std::nullopt;
  return l1;
}

Affine insertTransform(const InsertPlacement& p, const Vec3& base) {
  return objectToWorld(p.extrusion) * translation(p.insertion) * rotationZ(p.rotation) *
         scaling(p.scale.x, p.scale.y, p.scale.z) * translation({-base.x, -base.y, -base.z});
}

std::optional<InsertPlacement> insertPlacementOf(const Affine& a, const Vec3& base) {
  const Vec3 c1 = column(a, 0), c2 = column(a, 1), c3 = column(a, 2);
  const double l1 = length(c1), l2 = length(c2), l3 = length(c3);
  if (!(l1 > 0) || !(l2 > 0) || !(l3 > 0) || !std::isfinite(l1 * l2 * l3)) return std::nullopt;
  if (!orthogonal(c1, c2) || !orthogonal(c2, c3) || !orthogonal(c1, c3)) return std::nullopt;
  // The new extrusion runs along the image of z; the image of x fixes the
  // rotation; a mirror shows as a negative Y scale.
  InsertPlacement p;
  p.extrusion = normalized(c3);
  const Vec3 xAxis = normalized(c1);
  const Vec3 yAxis = cross(p.extrusion, xAxis);
  p.scale = {l1, dot(c2, yAxis) >= 0 ? l2 : -l2, l3};
  const Affine toObject = worldToObject(p.extrusion);
  const Vec3 x = toObject.applyLinear(xAxis);
  p.rotation = std::atan2(x.y, x.x);
  p.insertion = toObject.apply(a.apply(base));
  return p;
}

std::optional<PlaneMap> planeMap(const Affine& a, const Vec3& extrusion) {
  const Vec3 e = normalized(extrusion);
  if (!(length(e) > 0)) return std::nullopt;
  const double det = a.determinant();
  const Vec3 n = a.cofactorApply(e);
  if (!(length(n) > 0) || !std::isfinite(length(n)) || det == 0) return std::nullopt;
  PlaneMap pm;
  // The image of the plane's front side: the cofactor turns with the map's
  // orientation, so a mirror takes its opposite.
  pm.extrusion = normalized(det < 0 ? n * -1.0 : n);
  pm.toNewObject = worldToObject(pm.extrusion) * a * objectToWorld(e);
  const Vec3 up = pm.toNewObject.applyLinear({0, 0, 1});
  pm.keepsThickness = std::hypot(up.x, up.y) <= kTolerance * length(up);
  pm.thicknessScale = up.z;
  const Affine& m = pm.toNewObject;
  const double a00 = m.m[0][0], a01 = m.m[0][1], a10 = m.m[1][0], a11 = m.m[1][1];
  const double s1 = std::hypot(a00, a10), s2 = std::hypot(a01, a11);
  if (s1 > 0 && std::fabs(s1 - s2) <= kTolerance * s1 && std::fabs(a00 * a01 + a10 * a11) <= kTolerance * s1 * s2) {
    pm.inPlaneScale = s1;
    pm.inPlaneRotation = std::atan2(a10, a00);
    pm.inPlaneMirror = a00 * a11 - a01 * a10 < 0;
  }
  return pm;
}

} // namespace corvane
