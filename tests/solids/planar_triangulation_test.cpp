// The planar triangulator on shapes where ear clipping goes wrong easily:
// non-convex outlines, several holes, holes touching the bridge line.
#include <gtest/gtest.h>

#include <cmath>

#include "solids/planar_triangulation.h"

namespace corvane::solids {
namespace {

double triangulatedArea(const PlanarTriangulation& t) {
  double a = 0;
  for (const auto& tr : t.triangles()) {
    double o = orient(t.points()[size_t(tr[0])], t.points()[size_t(tr[1])], t.points()[size_t(tr[2])]);
    EXPECT_GT(o, 0) << "triangle not counter-clockwise";
    a += o / 2;
  }
  return a;
}

std::vector<int> ring(std::vector<Vec2>& pts, const std::vector<Vec2>& r) {
  std::vector<int> ids;
  for (Vec2 p : r) {
    ids.push_back(int(pts.size()));
    pts.push_back(p);
  }
  return ids;
}

std::vector<Vec2> circle(Vec2 c, double r, int n, bool clockwise) {
  std::vector<Vec2> out;
  for (int i = 0; i < n; ++i) {
    double a = 2 * 3.14159265358979323846 * i / n * (clockwise ? -1 : 1);
    out.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
  }
  return out;
}

TEST(PlanarTriangulation, NonConvexOutlineWithHolesCoversExactlyTheRegion) {
  std::vector<Vec2> pts;
  // A comb: 5 teeth; any orientation is accepted.
  std::vector<Vec2> comb = {{0, 0}, {10, 0}, {10, 4}};
  for (int i = 4; i >= 0; --i) {
    comb.push_back({2.0 * i + 1.5, 4});
    comb.push_back({2.0 * i + 1.5, 1});
    comb.push_back({2.0 * i + 0.5, 1});
    comb.push_back({2.0 * i + 0.5, 4});
  }
  comb.push_back({0, 4});
  std::vector<std::vector<int>> loops = {ring(pts, comb)};
  std::reverse(loops[0].begin(), loops[0].end());
  PlanarTriangulation t;
  ASSERT_TRUE(t.build(pts, loops));
  EXPECT_NEAR(triangulatedArea(t), 40 - 5 * 3, 1e-9);

  // A plate with three round holes, two of them side by side on one line
  // (the bridge of one must not cross the other).
  pts.clear();
  loops = {ring(pts, {{0, 0}, {20, 0}, {20, 10}, {0, 10}}),
           ring(pts, circle({5, 5}, 2, 32, false)),
           ring(pts, circle({10, 5}, 2, 32, true)),
           ring(pts, circle({15, 5}, 2, 32, false))};
  ASSERT_TRUE(t.build(pts, loops));
  t.makeDelaunay();
  double holes = 3 * 0.5 * 32 * 4 * std::sin(2 * 3.14159265358979323846 / 32);
  EXPECT_NEAR(triangulatedArea(t), 200 - holes, 1e-9);
  // Every boundary edge belongs to exactly one triangle.
  for (const auto& l : loops)
    for (size_t i = 0; i < l.size(); ++i) {
      int a = l[i], b = l[(i + 1) % l.size()], uses = 0;
      for (const auto& tr : t.triangles())
        for (int k = 0; k < 3; ++k)
          if ((tr[size_t(k)] == a && tr[size_t((k + 1) % 3)] == b) || (tr[size_t(k)] == b && tr[size_t((k + 1) % 3)] == a))
            ++uses;
      EXPECT_EQ(uses, 1);
    }
}

TEST(PlanarTriangulation, DelaunayFlipsRemoveSliversOfAFan) {
  // Ear clipping of a fine circle makes a fan of slivers; after the flips
  // no triangle has an angle below a few degrees... except where the
  // boundary itself forces it, which a circle does not.
  std::vector<Vec2> pts;
  std::vector<std::vector<int>> loops = {ring(pts, circle({0, 0}, 1, 64, false))};
  PlanarTriangulation t;
  ASSERT_TRUE(t.build(pts, loops));
  t.makeDelaunay();
  double worstBefore = 1e9;
  for (const auto& tr : t.triangles()) {
    Vec2 a = t.points()[size_t(tr[0])], b = t.points()[size_t(tr[1])], c = t.points()[size_t(tr[2])];
    double la = std::hypot(b.x - c.x, b.y - c.y), lb = std::hypot(a.x - c.x, a.y - c.y), lc = std::hypot(a.x - b.x, a.y - b.y);
    double area = orient(a, b, c) / 2;
    worstBefore = std::min(worstBefore, 4 * std::sqrt(3.0) * area / (la * la + lb * lb + lc * lc));
  }
  // Refinement at the centre keeps the triangulation valid.
  int q = t.insertInTriangle(0, (t.points()[size_t(t.triangles()[0][0])] + t.points()[size_t(t.triangles()[0][1])] +
                                 t.points()[size_t(t.triangles()[0][2])]) * (1.0 / 3));
  EXPECT_EQ(q, 64);
  EXPECT_NEAR(triangulatedArea(t), 0.5 * 64 * std::sin(2 * 3.14159265358979323846 / 64), 1e-9);
  EXPECT_GT(worstBefore, 0.0);
}

TEST(PlanarTriangulation, DegenerateInputGivesNoTriangles) {
  PlanarTriangulation t;
  EXPECT_FALSE(t.build({{0, 0}, {1, 1}, {2, 2}}, {{0, 1, 2}}));
  EXPECT_FALSE(t.build({{0, 0}, {1, 1}}, {{0, 1}}));
  EXPECT_FALSE(t.build({}, {}));
}

}  // namespace
}  // namespace corvane::solids
