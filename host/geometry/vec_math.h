// The points and directions of 3D space (Vec3) and of a plane (Vec2), with
// their small arithmetic: what the drawing's geometry, the solid-model code
// and the placement of block contents share. Plain value functions; nothing
// here allocates or checks.
#pragma once

#include <cmath>

namespace corvane {

struct Vec3 {
  double x = 0, y = 0, z = 0;
};

struct Vec2 {
  double x = 0, y = 0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator-(Vec3 a) { return {-a.x, -a.y, -a.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(double s, Vec3 a) { return a * s; }
inline double dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(Vec3 a) { return std::sqrt(dot(a, a)); }
inline double distance(Vec3 a, Vec3 b) { return length(a - b); }
// Unit vector along a; the zero vector stays zero.
inline Vec3 normalized(Vec3 a) {
  double l = length(a);
  return l > 0 ? a * (1.0 / l) : Vec3{};
}
// Some unit vector perpendicular to the unit vector n.
inline Vec3 anyPerpendicular(Vec3 n) {
  Vec3 t = std::fabs(n.x) < 0.6 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
  return normalized(cross(n, t));
}
inline bool isFinite(Vec3 a) {
  return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}

inline Vec2 operator+(Vec2 a, Vec2 b) { return {a.x + b.x, a.y + b.y}; }
inline Vec2 operator-(Vec2 a, Vec2 b) { return {a.x - b.x, a.y - b.y}; }
inline Vec2 operator*(Vec2 a, double s) { return {a.x * s, a.y * s}; }
inline double cross(Vec2 a, Vec2 b) { return a.x * b.y - a.y * b.x; }
inline double dot(Vec2 a, Vec2 b) { return a.x * b.x + a.y * b.y; }
// Twice the signed area of triangle abc: positive when counter-clockwise.
inline double orient(Vec2 a, Vec2 b, Vec2 c) { return cross(b - a, c - a); }

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2 * kPi;

}  // namespace corvane
