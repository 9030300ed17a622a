// Test-only measurements of a SolidMesh: closedness (each edge used once in
// each direction), enclosed volume, surface area and bounding box.
#pragma once

#include <array>
#include <cmath>
#include <map>
#include <string>
#include <utility>

#include "solids/solid_tessellator.h"

namespace corvane::solids::test {

inline int cornerCount(const std::array<int, 4>& f) { return f[3] < 0 ? 3 : 4; }

// Empty when every directed edge is matched by exactly one opposite edge;
// otherwise a description of the first fault.
inline std::string closednessFault(const corvane::SolidMesh& m) {
  std::map<std::pair<int, int>, int> directed;
  for (const auto& f : m.faces) {
    int n = cornerCount(f);
    for (int i = 0; i < n; ++i) {
      int a = f[size_t(i)], b = f[size_t((i + 1) % n)];
      if (a < 0 || b < 0 || a >= int(m.points.size()) || b >= int(m.points.size())) return "bad index";
      if (a == b) return "degenerate face";
      ++directed[{a, b}];
    }
  }
  for (const auto& [e, n] : directed) {
    if (n != 1) return "edge " + std::to_string(e.first) + "-" + std::to_string(e.second) + " used " + std::to_string(n) + " times one way";
    auto it = directed.find({e.second, e.first});
    if (it == directed.end()) return "edge " + std::to_string(e.first) + "-" + std::to_string(e.second) + " is open";
  }
  return "";
}

inline double meshVolume(const corvane::SolidMesh& m) {
  double v = 0;
  for (const auto& f : m.faces) {
    const corvane::Vec3& a = m.points[size_t(f[0])];
    for (int i = 1; i + 1 < cornerCount(f); ++i) {
      const corvane::Vec3& b = m.points[size_t(f[size_t(i)])];
      const corvane::Vec3& c = m.points[size_t(f[size_t(i + 1)])];
      v += a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) + a.z * (b.x * c.y - b.y * c.x);
    }
  }
  return v / 6;
}

inline double meshArea(const corvane::SolidMesh& m) {
  double s = 0;
  for (const auto& f : m.faces) {
    const corvane::Vec3& a = m.points[size_t(f[0])];
    for (int i = 1; i + 1 < cornerCount(f); ++i) {
      const corvane::Vec3& b = m.points[size_t(f[size_t(i)])];
      const corvane::Vec3& c = m.points[size_t(f[size_t(i + 1)])];
      double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z, vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
      s += 0.5 * std::sqrt(std::pow(uy * vz - uz * vy, 2) + std::pow(uz * vx - ux * vz, 2) + std::pow(ux * vy - uy * vx, 2));
    }
  }
  return s;
}

struct Box3 {
  corvane::Vec3 lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
};
inline Box3 meshBounds(const corvane::SolidMesh& m) {
  Box3 b;
  for (const auto& p : m.points) {
    b.lo = {std::min(b.lo.x, p.x), std::min(b.lo.y, p.y), std::min(b.lo.z, p.z)};
    b.hi = {std::max(b.hi.x, p.x), std::max(b.hi.y, p.y), std::max(b.hi.z, p.z)};
  }
  return b;
}

}  // namespace corvane::solids::test
