#include "solids/bspline.h"

#include <algorithm>
#include <cmath>

namespace corvane::solids {
namespace {

constexpr int kMaxDegree = 15;

bool knotsValid(const std::vector<double>& knots, int degree, size_t count) {
  if (degree < 1 || degree > kMaxDegree || count < size_t(degree) + 1) return false;
  if (knots.size() != count + size_t(degree) + 1) return false;
  for (size_t i = 1; i < knots.size(); ++i)
    if (!(knots[i] >= knots[i - 1]) || !std::isfinite(knots[i])) return false;
  return knots[size_t(degree)] < knots[count];
}

// Knot span index s with knots[s] <= t < knots[s+1], clamped to the valid range.
size_t findSpan(const std::vector<double>& knots, int degree, size_t count, double t) {
  size_t lo = size_t(degree), hi = count; // valid spans [degree, count - 1]
  if (t >= knots[hi]) {
    size_t s = hi - 1;
    while (s > lo && knots[s] >= knots[s + 1]) --s;
    return s;
  }
  if (t <= knots[lo]) {
    size_t s = lo;
    while (s + 1 < hi && knots[s + 1] <= knots[lo]) ++s;
    return s;
  }
  auto it = std::upper_bound(knots.begin() + long(lo), knots.begin() + long(hi) + 1, t);
  return size_t(it - knots.begin()) - 1;
}

// Non-zero basis functions N[0..degree] at t in span s.
void basis(const std::vector<double>& knots, int degree, size_t s, double t, double* n) {
  double left[kMaxDegree + 1], right[kMaxDegree + 1];
  n[0] = 1;
  for (int j = 1; j <= degree; ++j) {
    left[j] = t - knots[s + 1 - size_t(j)];
    right[j] = knots[s + size_t(j)] - t;
    double saved = 0;
    for (int r = 0; r < j; ++r) {
      double den = right[r + 1] + left[j - r];
      double temp = den != 0 ? n[r] / den : 0;
      n[r] = saved + right[r + 1] * temp;
      saved = left[j - r] * temp;
    }
    n[j] = saved;
  }
}

} // namespace

bool BSplineCurve::isValid() const {
  if (!knotsValid(knots, degree, points.size())) return false;
  if (!weights.empty()) {
    if (weights.size() != points.size()) return false;
    for (double w : weights)
      if (!(w > 0) || !std::isfinite(w)) return false;
  }
  return true;
}

Vec3 BSplineCurve::evaluate(double t) const {
  size_t s = findSpan(knots, degree, points.size(), t);
  double n[kMaxDegree + 1];
  basis(knots, degree, s, t, n);
  Vec3 p{};
  double w = 0;
  for (int j = 0; j <= degree; ++j) {
    size_t i = s - size_t(degree) + size_t(j);
    double wi = weights.empty() ? 1.0 : weights[i];
    p = p + points[i] * (n[j] * wi);
    w += n[j] * wi;
  }
  return w != 0 ? p * (1.0 / w) : p;
}

bool BSplineSurface::isValid() const {
  if (countU < 1 || countV < 1) return false;
  size_t total = size_t(countU) * size_t(countV);
  if (points.size() != total) return false;
  if (!knotsValid(knotsU, degreeU, size_t(countU)) || !knotsValid(knotsV, degreeV, size_t(countV))) return false;
  if (!weights.empty()) {
    if (weights.size() != total) return false;
    for (double w : weights)
      if (!(w > 0) || !std::isfinite(w)) return false;
  }
  return true;
}

Vec3 BSplineSurface::evaluate(double u, double v) const {
  size_t su = findSpan(knotsU, degreeU, size_t(countU), u);
  size_t sv = findSpan(knotsV, degreeV, size_t(countV), v);
  double nu[kMaxDegree + 1], nv[kMaxDegree + 1];
  basis(knotsU, degreeU, su, u, nu);
  basis(knotsV, degreeV, sv, v, nv);
  Vec3 p{};
  double w = 0;
  for (int a = 0; a <= degreeU; ++a) {
    size_t iu = su - size_t(degreeU) + size_t(a);
    for (int b = 0; b <= degreeV; ++b) {
      size_t iv = sv - size_t(degreeV) + size_t(b);
      size_t k = iu * size_t(countV) + iv;
      double wk = weights.empty() ? 1.0 : weights[k];
      double f = nu[a] * nv[b] * wk;
      p = p + points[k] * f;
      w += f;
    }
  }
  return w != 0 ? p * (1.0 / w) : p;
}

bool expandKnots(const std::vector<double>& values, const std::vector<int>& multiplicities, int degree,
                 int controlPoints, std::vector<double>& knots) {
  knots.clear();
  if (values.size() != multiplicities.size() || values.empty() || degree < 1 || degree > kMaxDegree) return false;
  size_t sum = 0;
  for (int m : multiplicities) {
    if (m < 1 || m > degree + 1) return false;
    sum += size_t(m);
  }
  size_t want = size_t(controlPoints) + size_t(degree) + 1;
  if (sum + 2 == want) {
    knots.push_back(values.front());
  } else if (sum != want) {
    return false;
  }
  for (size_t i = 0; i < values.size(); ++i) knots.insert(knots.end(), size_t(multiplicities[i]), values[i]);
  if (sum + 2 == want) knots.push_back(values.back());
  return true;
}

} // namespace corvane::solids
