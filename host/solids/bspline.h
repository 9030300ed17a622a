// Non-uniform (rational) B-spline curves and surfaces as solid models store
// them, and their evaluation. Knot vectors here are complete (degree + 1
// end knots, as clamped splines need); `isValid` checks the sizes agree, and
// evaluation of an invalid spline is not allowed.
#pragma once

#include <vector>

#include "geometry/vec_math.h"

namespace corvane::solids {

struct BSplineCurve {
  int degree = 0;
  std::vector<double> knots; // control points + degree + 1 values, non-decreasing
  std::vector<Vec3> points;
  std::vector<double> weights; // empty for a non-rational spline
  bool isValid() const;
  double startParam() const { return knots[size_t(degree)]; }
  double endParam() const { return knots[knots.size() - 1 - size_t(degree)]; }
  Vec3 evaluate(double t) const;
};

struct BSplineSurface {
  int degreeU = 0, degreeV = 0;
  int countU = 0, countV = 0; // control points in u and in v
  std::vector<double> knotsU, knotsV;
  std::vector<Vec3> points;    // countU * countV, index u * countV + v
  std::vector<double> weights; // empty, or one per point
  bool isValid() const;
  double startU() const { return knotsU[size_t(degreeU)]; }
  double endU() const { return knotsU[knotsU.size() - 1 - size_t(degreeU)]; }
  double startV() const { return knotsV[size_t(degreeV)]; }
  double endV() const { return knotsV[knotsV.size() - 1 - size_t(degreeV)]; }
  Vec3 evaluate(double u, double v) const;
};

// Expands (value, multiplicity) pairs into a complete knot vector for
// `controlPoints` control points of `degree`: files store either degree or
// degree + 1 copies of each end knot, the missing end copies are added.
// Returns false when the sizes cannot agree.
bool expandKnots(const std::vector<double>& values, const std::vector<int>& multiplicities, int degree,
                 int controlPoints, std::vector<double>& knots);

} // namespace corvane::solids
