#include "solids/surface_chart.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace corvane::solids {
namespace {

double wrapPi(double a) {
  while (a > kPi) a -= kTwoPi;
  while (a < -kPi) a += kTwoPi;
  return a;
}

double ringArea(const std::vector<Vec2>& r) {
  double a = 0;
  for (size_t i = 0; i < r.size(); ++i) a += cross(r[i], r[(i + 1) % r.size()]);
  return a / 2;
}

// The ring with the largest absolute area, or -1.
int largestRing(const std::vector<std::vector<Vec2>>& rings) {
  int best = -1;
  double bestA = 0;
  for (size_t i = 0; i < rings.size(); ++i) {
    double a = std::fabs(ringArea(rings[i]));
    if (a > bestA) bestA = a, best = int(i);
  }
  return best;
}

Vec3 newell(const std::vector<std::vector<Vec3>>& loops) {
  Vec3 n{};
  for (const auto& l : loops)
    for (size_t i = 0; i < l.size(); ++i) {
      Vec3 a = l[i], b = l[(i + 1) % l.size()];
      n = n + Vec3{(a.y - b.y) * (a.z + b.z), (a.z - b.z) * (a.x + b.x), (a.x - b.x) * (a.y + b.y)};
    }
  return n;
}

} // namespace

bool SurfaceChart::chartFlat(const std::vector<std::vector<Vec3>>& loops, std::vector<std::vector<Vec2>>& out) {
  mode_ = Mode::Flat;
  minRadius_ = 1e300;
  Vec3 n = normalized(newell(loops));
  if (length(n) == 0) return false;
  e3_ = n;
  e1_ = anyPerpendicular(n);
  e2_ = cross(e3_, e1_);
  origin_ = loops.empty() || loops[0].empty() ? Vec3{} : loops[0][0];
  out.clear();
  for (const auto& l : loops) {
    std::vector<Vec2> r;
    r.reserve(l.size());
    for (Vec3 p : l) r.push_back({dot(p - origin_, e1_), dot(p - origin_, e2_)});
    out.push_back(std::move(r));
  }
  return true;
}

void SurfaceChart::param(Vec3 p, double& u, double& v) const {
  Vec3 q = p - origin_;
  if (s_->type == SurfaceType::Cone) {
    v = dot(q, e3_);
    u = std::atan2(dot(q, e2_) / (radius_ * s_->ratio), dot(q, e1_) / radius_);
  } else { // torus
    double x = dot(q, e1_), y = dot(q, e2_), z = dot(q, e3_);
    u = std::atan2(y, x);
    v = std::atan2(z, std::hypot(x, y) - s_->radius);
  }
}

Vec3 SurfaceChart::eval(double u, double v) const {
  if (s_->type == SurfaceType::Cone) {
    double k = 1 + v * s_->sinAngle / (s_->cosAngle * radius_);
    return origin_ + e3_ * v + (e1_ * (radius_ * std::cos(u)) + e2_ * (radius_ * s_->ratio * std::sin(u))) * k;
  }
  double r = std::fabs(s_->minorRadius);
  double ring = s_->radius + r * std::cos(v);
  return origin_ + (e1_ * std::cos(u) + e2_ * std::sin(u)) * ring + e3_ * (r * std::sin(v));
}

bool SurfaceChart::chartLoops(const Surface& s, int faceSign, const std::vector<std::vector<Vec3>>& loops,
                              std::vector<std::vector<Vec2>>& out) {
  s_ = &s;
  out.clear();
  switch (s.type) {
  case SurfaceType::Plane: return chartPlane(loops, out);
  case SurfaceType::Sphere: return chartSphere(faceSign, loops, out);
  case SurfaceType::Cone: return chartCone(loops, out);
  case SurfaceType::Torus: return chartTorus(loops, out);
  case SurfaceType::Spline: return chartSpline(loops, out);
  case SurfaceType::Unknown: break;
  }
  return false;
}

bool SurfaceChart::chartPlane(const std::vector<std::vector<Vec3>>& loops, std::vector<std::vector<Vec2>>& out) {
  mode_ = Mode::Flat;
  minRadius_ = 1e300;
  e3_ = s_->normal;
  e1_ = anyPerpendicular(e3_);
  e2_ = cross(e3_, e1_);
  origin_ = s_->origin;
  for (const auto& l : loops) {
    std::vector<Vec2> r;
    for (Vec3 p : l) r.push_back({dot(p - origin_, e1_), dot(p - origin_, e2_)});
    out.push_back(std::move(r));
  }
  return true;
}

bool SurfaceChart::chartSphere(int faceSign, const std::vector<std::vector<Vec3>>& loops,
                               std::vector<std::vector<Vec2>>& out) {
  const Surface& s = *s_;
  mode_ = Mode::Stereographic;
  origin_ = s.origin;
  radius_ = std::fabs(s.radius);
  minRadius_ = radius_;
  int sign = faceSign * (s.radius < 0 ? -1 : 1);
  // Vector area of the loops: points into the face when its loops run
  // counter-clockwise seen from outside.
  Vec3 area{};
  for (const auto& l : loops)
    for (size_t i = 0; i < l.size(); ++i) area = area + cross(l[i] - origin_, l[(i + 1) % l.size()] - origin_);
  std::vector<Vec3> candidates;
  if (length(area) > 1e-9 * radius_ * radius_) candidates.push_back(normalized(area) * double(sign));
  Vec3 e = anyPerpendicular(s.normal);
  for (Vec3 c : {s.normal, -s.normal, e, -e, cross(s.normal, e), -cross(s.normal, e)}) candidates.push_back(c);
  bool fallbackSet = false;
  std::vector<std::vector<Vec2>> fallback;
  Vec3 fallbackD;
  for (Vec3 d : candidates) {
    e3_ = d;
    e1_ = anyPerpendicular(d);
    e2_ = cross(e3_, e1_);
    bool clear = true;
    std::vector<std::vector<Vec2>> rings;
    for (const auto& l : loops) {
      std::vector<Vec2> r;
      for (Vec3 p : l) {
        Vec3 w = (p - origin_) * (1 / radius_);
        double den = 1 + dot(w, d);
        if (den < 0.02) clear = false;
        den = std::max(den, 1e-6);
        r.push_back({radius_ * dot(w, e1_) / den, radius_ * dot(w, e2_) / den});
      }
      rings.push_back(std::move(r));
    }
    if (!clear) continue;
    int big = largestRing(rings);
    if (big >= 0 && (ringArea(rings[size_t(big)]) > 0) == (sign > 0)) {
      out = std::move(rings);
      return true;
    }
    if (!fallbackSet) fallback = std::move(rings), fallbackD = d, fallbackSet = true;
  }
  if (!fallbackSet) return false;
  e3_ = fallbackD;
  e1_ = anyPerpendicular(fallbackD);
  e2_ = cross(e3_, e1_);
  out = std::move(fallback);
  return true;
}

bool SurfaceChart::chartCone(const std::vector<std::vector<Vec3>>& loops, std::vector<std::vector<Vec2>>& out) {
  const Surface& s = *s_;
  origin_ = s.origin;
  e3_ = s.normal;
  radius_ = length(s.major);
  e1_ = normalized(s.major - e3_ * dot(s.major, e3_));
  if (length(e1_) == 0) return false;
  e2_ = cross(e3_, e1_);
  AxisCoordinates c = axisCoordinates(loops);
  if (c.anyU && c.anyV) return false;
  scaleU_ = std::max(c.maxRing, 1e-12);
  scaleV_ = 1 / std::fabs(s.cosAngle);
  minRadius_ = std::max(c.maxRing, 1e-12);
  // A cone face with one loop around the axis holds the apex.
  std::optional<double> apex;
  if (c.wrappingU == 1 && std::fabs(s.sinAngle) > 1e-9) apex = -radius_ * s.cosAngle / s.sinAngle;
  chartAroundAxis(c, apex, out);
  return true;
}

bool SurfaceChart::chartTorus(const std::vector<std::vector<Vec3>>& loops, std::vector<std::vector<Vec2>>& out) {
  const Surface& s = *s_;
  origin_ = s.origin;
  e3_ = s.normal;
  e1_ = s.major;
  if (length(e1_) == 0) return false;
  e2_ = cross(e3_, e1_);
  AxisCoordinates c = axisCoordinates(loops);
  if (c.anyU && c.anyV) return false;
  double r = std::fabs(s.minorRadius);
  scaleU_ = std::max(s.radius + r * std::cos(c.vMean), 1e-9);
  scaleV_ = r;
  minRadius_ = r;
  chartAroundAxis(c, std::nullopt, out);
  return true;
}

SurfaceChart::AxisCoordinates SurfaceChart::axisCoordinates(const std::vector<std::vector<Vec3>>& loops) const {
  const bool torus = s_->type == SurfaceType::Torus;
  AxisCoordinates c;
  std::vector<int> wrapU, wrapV;
  double vSum = 0;
  size_t vCount = 0;
  for (const auto& l : loops) {
    std::vector<double> lu, lv;
    double pu = 0, pv = 0, totalU = 0, totalV = 0;
    for (size_t i = 0; i < l.size(); ++i) {
      double u, v;
      param(l[i], u, v);
      if (i > 0) {
        u = pu + wrapPi(u - pu);
        if (torus) v = pv + wrapPi(v - pv);
      }
      lu.push_back(u);
      lv.push_back(v);
      pu = u, pv = v;
      Vec3 q = l[i] - origin_;
      c.maxRing = std::max(c.maxRing, length(q - e3_ * dot(q, e3_)));
    }
    if (!l.empty()) {
      double u0, v0;
      param(l[0], u0, v0);
      totalU = (pu + wrapPi(u0 - pu)) - lu[0];
      totalV = torus ? (pv + wrapPi(v0 - pv)) - lv[0] : 0;
    }
    wrapU.push_back(int(std::lround(totalU / kTwoPi)));
    wrapV.push_back(int(std::lround(totalV / kTwoPi)));
    for (double v : lv) vSum += v, ++vCount;
    c.us.push_back(std::move(lu));
    c.vs.push_back(std::move(lv));
  }
  for (size_t i = 0; i < loops.size(); ++i) {
    if (wrapU[i] != 0) c.anyU = true, ++c.wrappingU;
    if (wrapV[i] != 0) c.anyV = true;
  }
  c.vMean = vCount ? vSum / double(vCount) : 0;
  return c;
}

void SurfaceChart::chartAroundAxis(AxisCoordinates& c, std::optional<double> apex,
                                   std::vector<std::vector<Vec2>>& out) {
  const bool torus = s_->type == SurfaceType::Torus;
  std::vector<std::vector<double>>& us = c.us;
  std::vector<std::vector<double>>& vs = c.vs;
  const size_t loops = us.size();
  // Bring every loop into the period of the largest one.
  size_t ref = 0;
  for (size_t i = 1; i < loops; ++i)
    if (us[i].size() > us[ref].size()) ref = i;
  auto mean = [](const std::vector<double>& x) {
    double m = 0;
    for (double a : x) m += a;
    return x.empty() ? 0 : m / double(x.size());
  };
  double refU = us.empty() ? 0 : mean(us[ref]), refV = vs.empty() ? 0 : mean(vs[ref]);
  for (size_t i = 0; i < loops; ++i) {
    double shiftU = std::round((refU - mean(us[i])) / kTwoPi) * kTwoPi;
    if (!c.anyU)
      for (double& u : us[i]) u += shiftU;
    if (torus && !c.anyV) {
      double shiftV = std::round((refV - mean(vs[i])) / kTwoPi) * kTwoPi;
      for (double& v : vs[i]) v += shiftV;
    }
  }
  if (!c.anyU && !c.anyV) {
    mode_ = Mode::Unwrapped;
    for (size_t i = 0; i < loops; ++i) {
      std::vector<Vec2> r;
      for (size_t k = 0; k < us[i].size(); ++k) r.push_back({us[i][k] * scaleU_, vs[i][k] * scaleV_});
      out.push_back(std::move(r));
    }
    return;
  }
  polarLinear_ = false;
  if (c.anyU) {
    mode_ = Mode::PolarU;
    polarV0_ = c.vMean;
    polarK_ = scaleV_ / scaleU_;
    if (apex) {
      polarLinear_ = true;
      polarV0_ = *apex;
      polarNegative_ = c.vMean < polarV0_;
    }
  } else {
    mode_ = Mode::PolarV;
    double uSum = 0;
    size_t n = 0;
    for (const auto& l : us)
      for (double u : l) uSum += u, ++n;
    polarV0_ = n ? uSum / double(n) : 0;
    polarK_ = scaleU_ / scaleV_;
  }
  for (size_t i = 0; i < loops; ++i) {
    std::vector<Vec2> r;
    for (size_t k = 0; k < us[i].size(); ++k) {
      double ang = mode_ == Mode::PolarU ? us[i][k] : vs[i][k];
      double other = mode_ == Mode::PolarU ? vs[i][k] : us[i][k];
      double rad = polarLinear_ ? std::fabs(other - polarV0_) * scaleV_
                                : scaleU_ * std::exp(std::clamp(polarK_ * (other - polarV0_), -50.0, 50.0));
      r.push_back({rad * std::cos(ang), rad * std::sin(ang)});
    }
    out.push_back(std::move(r));
  }
}

bool SurfaceChart::chartSpline(const std::vector<std::vector<Vec3>>& loops, std::vector<std::vector<Vec2>>& out) {
  mode_ = Mode::Spline;
  const BSplineSurface& sp = s_->spline;
  gridN_ = 24;
  grid_.clear();
  double u0 = sp.startU(), u1 = sp.endU(), v0 = sp.startV(), v1 = sp.endV();
  for (int i = 0; i <= gridN_; ++i)
    for (int j = 0; j <= gridN_; ++j)
      grid_.push_back(sp.evaluate(u0 + (u1 - u0) * i / gridN_, v0 + (v1 - v0) * j / gridN_));
  // Chart units: average lengths of the iso-parameter lines.
  double lu = 0, lv = 0;
  for (int i = 0; i <= gridN_; ++i)
    for (int j = 0; j < gridN_; ++j) {
      lv += distance(grid_[size_t(i * (gridN_ + 1) + j)], grid_[size_t(i * (gridN_ + 1) + j + 1)]);
      lu += distance(grid_[size_t(j * (gridN_ + 1) + i)], grid_[size_t((j + 1) * (gridN_ + 1) + i)]);
    }
  lu /= gridN_ + 1;
  lv /= gridN_ + 1;
  if (!(lu > 0 && lv > 0 && u1 > u0 && v1 > v0)) return false;
  scaleU_ = lu / (u1 - u0);
  scaleV_ = lv / (v1 - v0);
  minRadius_ = 1e300;
  for (const auto& l : loops) {
    std::vector<Vec2> r;
    for (Vec3 p : l) {
      size_t best = 0;
      double bd = 1e300;
      for (size_t k = 0; k < grid_.size(); ++k) {
        double d = dot(grid_[k] - p, grid_[k] - p);
        if (d < bd) bd = d, best = k;
      }
      double u = u0 + (u1 - u0) * double(best / size_t(gridN_ + 1)) / gridN_;
      double v = v0 + (v1 - v0) * double(best % size_t(gridN_ + 1)) / gridN_;
      // Gauss-Newton towards the closest surface point.
      double hu = (u1 - u0) * 1e-6, hv = (v1 - v0) * 1e-6;
      for (int it = 0; it < 12; ++it) {
        Vec3 s = sp.evaluate(u, v);
        Vec3 su = (sp.evaluate(std::min(u + hu, u1), v) - sp.evaluate(std::max(u - hu, u0), v)) * (0.5 / hu);
        Vec3 sv = (sp.evaluate(u, std::min(v + hv, v1)) - sp.evaluate(u, std::max(v - hv, v0))) * (0.5 / hv);
        Vec3 d = p - s;
        double a = dot(su, su), b = dot(su, sv), c = dot(sv, sv), ru = dot(su, d), rv = dot(sv, d);
        double det = a * c - b * b;
        if (!(std::fabs(det) > 1e-300)) break;
        double du = (c * ru - b * rv) / det, dv = (a * rv - b * ru) / det;
        u = std::clamp(u + du, u0, u1);
        v = std::clamp(v + dv, v0, v1);
        if (std::fabs(du) < (u1 - u0) * 1e-12 && std::fabs(dv) < (v1 - v0) * 1e-12) break;
      }
      r.push_back({u * scaleU_, v * scaleV_});
    }
    out.push_back(std::move(r));
  }
  return true;
}

double SurfaceChart::distanceToSurface(Vec3 p, Vec2 hint) const {
  switch (mode_) {
  case Mode::Flat: return 0;
  case Mode::Stereographic: return std::fabs(distance(p, origin_) - radius_);
  case Mode::Unwrapped:
  case Mode::PolarU:
  case Mode::PolarV: {
    double u, v;
    param(p, u, v);
    return distance(p, eval(u, v));
  }
  case Mode::Spline: return distance(p, fromChart(hint));
  }
  return 0;
}

Vec3 SurfaceChart::fromChart(Vec2 c) const {
  switch (mode_) {
  case Mode::Flat: return origin_ + e1_ * c.x + e2_ * c.y;
  case Mode::Stereographic: {
    double x = c.x / radius_, y = c.y / radius_;
    double r2 = x * x + y * y;
    Vec3 w = (e1_ * (2 * x) + e2_ * (2 * y) + e3_ * (1 - r2)) * (1 / (1 + r2));
    return origin_ + w * radius_;
  }
  case Mode::Unwrapped: return eval(c.x / scaleU_, c.y / scaleV_);
  case Mode::PolarU:
  case Mode::PolarV: {
    double ang = std::atan2(c.y, c.x);
    double rad = std::hypot(c.x, c.y);
    double other;
    if (polarLinear_) {
      other = polarV0_ + (polarNegative_ ? -1 : 1) * rad / scaleV_;
    } else {
      other = polarV0_ + std::log(std::max(rad / scaleU_, 1e-300)) / polarK_;
    }
    return mode_ == Mode::PolarU ? eval(ang, other) : eval(other, ang);
  }
  case Mode::Spline: {
    const BSplineSurface& sp = s_->spline;
    double u = std::clamp(c.x / scaleU_, sp.startU(), sp.endU());
    double v = std::clamp(c.y / scaleV_, sp.startV(), sp.endV());
    return sp.evaluate(u, v);
  }
  }
  return {};
}

} // namespace corvane::solids
