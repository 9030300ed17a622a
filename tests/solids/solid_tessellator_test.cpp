// Bodies written as model text by the test, tessellated and measured:
// closed and outward (each edge once each way), bounding box, volume and
// area against the analytic values.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "mesh_checks.h"
#include "sat_builder.h"
#include "solids/dxf_model_text.h"
#include "solids/solid_tessellator.h"

namespace corvane::solids::test {
namespace {

constexpr double kPi = 3.14159265358979323846;

SatBuilder cylinder(double r, double h) {
  SatBuilder s;
  int v0 = s.addVertex({r, 0, 0}), v1 = s.addVertex({r, 0, h});
  int e0 = s.addCircle(v0, {0, 0, 0}, {0, 0, 1}, {r, 0, 0});
  int e1 = s.addCircle(v1, {0, 0, h}, {0, 0, 1}, {r, 0, 0});
  s.faces.push_back({"plane-surface 0 0 0 0 0 -1 1 0 0", false, {{{e0, true}}}});
  s.faces.push_back({"plane-surface 0 0 " + SatBuilder::num(h) + " 0 0 1 1 0 0", false, {{{e1, false}}}});
  s.faces.push_back({"cone-surface 0 0 0 0 0 1 " + SatBuilder::num(r) + " 0 0 1 I I 0 1 " + SatBuilder::num(r), false,
                     {{{e0, false}}, {{e1, true}}}});
  return s;
}

SatBuilder cone(double r, double h) {
  SatBuilder s;
  int v0 = s.addVertex({r, 0, 0});
  int e0 = s.addCircle(v0, {0, 0, 0}, {0, 0, 1}, {r, 0, 0});
  double l = std::hypot(r, h);
  s.faces.push_back({"plane-surface 0 0 0 0 0 -1 1 0 0", false, {{{e0, true}}}});
  s.faces.push_back({"cone-surface 0 0 0 0 0 1 " + SatBuilder::num(r) + " 0 0 1 I I " + SatBuilder::num(-r / l) + " " +
                         SatBuilder::num(h / l) + " " + SatBuilder::num(r),
                     false, {{{e0, false}}}});
  return s;
}

SatBuilder sphere(double r, bool hemisphere) {
  SatBuilder s;
  std::string surf = "sphere-surface 1 2 3 " + SatBuilder::num(r) + " 1 0 0 0 0 1";
  if (!hemisphere) {
    s.faces.push_back({surf, false, {}});
    return s;
  }
  int v0 = s.addVertex({1 + r, 2, 3});
  int e0 = s.addCircle(v0, {1, 2, 3}, {0, 0, 1}, {r, 0, 0});
  s.faces.push_back({surf, false, {{{e0, false}}}});
  s.faces.push_back({"plane-surface 1 2 3 0 0 -1 1 0 0", false, {{{e0, true}}}});
  return s;
}

SatBuilder torus(double big, double small) {
  SatBuilder s;
  s.faces.push_back({"torus-surface 0 0 0 0 0 1 " + SatBuilder::num(big) + " " + SatBuilder::num(small) + " 1 0 0",
                     false, {}});
  return s;
}

SolidMesh mesh(const SatBuilder& b, double tol, bool old = false, std::vector<std::string>* warnings = nullptr) {
  SolidTessellation t;
  std::string reason;
  std::string text = b.text(old);
  EXPECT_TRUE(tessellateSatText(text, tol, t, reason)) << reason << "\n" << text;
  if (warnings) *warnings = t.warnings;
  EXPECT_EQ(t.bodies.size(), 1u);
  return t.bodies.empty() ? SolidMesh{} : t.bodies[0];
}

void expectBounds(const SolidMesh& m, corvane::Vec3 lo, corvane::Vec3 hi, double tol) {
  Box3 b = meshBounds(m);
  EXPECT_NEAR(b.lo.x, lo.x, tol);
  EXPECT_NEAR(b.lo.y, lo.y, tol);
  EXPECT_NEAR(b.lo.z, lo.z, tol);
  EXPECT_NEAR(b.hi.x, hi.x, tol);
  EXPECT_NEAR(b.hi.y, hi.y, tol);
  EXPECT_NEAR(b.hi.z, hi.z, tol);
}

TEST(SolidTessellator, BoxIsExactInBothTextVersions) {
  for (bool old : {false, true}) {
    SolidMesh m = mesh(box(2, 3, 4), 0.01, old);
    EXPECT_EQ(closednessFault(m), "") << "old=" << old;
    EXPECT_EQ(m.points.size(), 8u);
    EXPECT_EQ(m.faces.size(), 6u);  // one quadrilateral a side
    EXPECT_NEAR(meshVolume(m), 24, 1e-9);
    EXPECT_NEAR(meshArea(m), 52, 1e-9);
    expectBounds(m, {0, 0, 0}, {2, 3, 4}, 1e-12);
  }
}

TEST(SolidTessellator, BoxWithThroughHoleIsClosedAndHasTheHolesVolume) {
  const double tol = 0.005, r = 2;
  SolidMesh m = mesh(box(10, 10, 10, r), tol);
  EXPECT_EQ(closednessFault(m), "");
  // The hole's polygon lies inside the circle: volume a little above.
  double exact = 1000 - kPi * r * r * 10;
  EXPECT_GT(meshVolume(m), exact);
  EXPECT_LT(meshVolume(m), exact + 2 * kPi * r * 10 * tol);
  expectBounds(m, {0, 0, 0}, {10, 10, 10}, 1e-12);
  // No triangle of the top face spans the hole.
  for (const auto& f : m.faces) {
    int n = cornerCount(f);
    double cx = 0, cy = 0, cz = 0;
    for (int i = 0; i < n; ++i) {
      cx += m.points[size_t(f[size_t(i)])].x / n;
      cy += m.points[size_t(f[size_t(i)])].y / n;
      cz += m.points[size_t(f[size_t(i)])].z / n;
    }
    if (std::fabs(cz - 10) < 1e-9 || std::fabs(cz) < 1e-9) {
      EXPECT_GT(std::hypot(cx - 5, cy - 5), r * 0.9);
    }
  }
}

TEST(SolidTessellator, CurvedBodiesMatchTheirVolumesWithinTolerance) {
  struct Case {
    const char* name;
    SatBuilder body;
    double volume, area;
    corvane::Vec3 lo, hi;
  };
  const double r = 5;
  Case cases[] = {
      {"cylinder", cylinder(r, 10), kPi * r * r * 10, 2 * kPi * r * r + 2 * kPi * r * 10, {-r, -r, 0}, {r, r, 10}},
      {"cone", cone(r, 10), kPi * r * r * 10 / 3, kPi * r * r + kPi * r * std::hypot(r, 10), {-r, -r, 0}, {r, r, 10}},
      {"sphere", sphere(r, false), 4 * kPi * r * r * r / 3, 4 * kPi * r * r, {1 - r, 2 - r, 3 - r}, {1 + r, 2 + r, 3 + r}},
      {"hemisphere", sphere(r, true), 2 * kPi * r * r * r / 3, 3 * kPi * r * r, {1 - r, 2 - r, 3}, {1 + r, 2 + r, 3 + r}},
      {"torus", torus(10, 2), 2 * kPi * kPi * 10 * 4, 4 * kPi * kPi * 10 * 2, {-12, -12, -2}, {12, 12, 2}},
  };
  for (double tol : {0.05, 0.005}) {
    for (const Case& c : cases) {
      for (bool old : {false, true}) {
        SCOPED_TRACE(std::string(c.name) + " tol " + std::to_string(tol) + (old ? " 1.06" : " 7.0"));
        SolidMesh m = mesh(c.body, tol, old);
        EXPECT_EQ(closednessFault(m), "");
        // Every point lies on the surface, so the polyhedron is inside the
        // body and no deeper than the tolerance.
        double v = meshVolume(m);
        EXPECT_LE(v, c.volume * (1 + 1e-9));
        EXPECT_GE(v, c.volume - c.area * tol * 1.01);
        EXPECT_NEAR(meshArea(m), c.area, c.area * 0.02);
        expectBounds(m, c.lo, c.hi, 2 * tol);
      }
    }
  }
}

TEST(SolidTessellator, FinerToleranceGivesMoreTrianglesButStaysBounded) {
  SolidMesh coarse = mesh(sphere(5, false), 0.1);
  SolidMesh fine = mesh(sphere(5, false), 0.001);
  EXPECT_GT(fine.faces.size(), coarse.faces.size() * 4);
  // A tolerance far below the body's size is raised instead of exploding.
  SolidMesh absurd = mesh(sphere(5, false), 1e-12);
  EXPECT_LT(absurd.faces.size(), 3'000'000u);
}

TEST(SolidTessellator, DefaultToleranceIsRelativeToTheBody) {
  SolidMesh small = mesh(cylinder(1, 2), 0);
  SatBuilder big = cylinder(1000, 2000);
  SolidMesh large = mesh(big, 0);
  EXPECT_EQ(small.faces.size(), large.faces.size());
  // At least 24 segments around a full circle.
  EXPECT_GE(small.faces.size(), 24u * 2);
}

TEST(SolidTessellator, BodyTransformWithScaleIsApplied) {
  SatBuilder b = box(1, 1, 1);
  // 90 degrees about z, scale 2, moved to (10, 20, 30).
  b.transform = "0 1 0 -1 0 0 0 0 1 10 20 30 2 rotate no_reflect no_shear";
  SolidMesh m = mesh(b, 0.01);
  expectBounds(m, {8, 20, 30}, {10, 22, 32}, 1e-12);
  EXPECT_NEAR(meshVolume(m), 8, 1e-9);
  // A reflecting transform keeps the mesh outward.
  b.transform = "-1 0 0 0 1 0 0 0 1 0 0 0 1 no_rotate reflect no_shear";
  m = mesh(b, 0.01);
  EXPECT_NEAR(meshVolume(m), 1, 1e-9);
}

TEST(SolidTessellator, ReversedFaceSenseFlipsThatFace) {
  // A single planar face (a region): its sense decides which way it faces.
  for (bool reversed : {false, true}) {
    SatBuilder s;
    int v[4];
    for (int i = 0; i < 4; ++i) v[i] = s.addVertex({double(i == 1 || i == 2), double(i >= 2), 0});
    PolyBuilder p{s, {}};
    p.face({v[0], v[1], v[2], v[3]}, {0, 0, 1});
    s.faces[0].reversed = reversed;
    if (reversed) {
      // The loop of a reversed face runs the other way round.
      for (auto& c : s.faces[0].loops[0]) c.second = !c.second;
      std::reverse(s.faces[0].loops[0].begin(), s.faces[0].loops[0].end());
    }
    SolidMesh m = mesh(s, 0.01);
    ASSERT_EQ(m.faces.size(), 1u);
    const auto& f = m.faces[0];
    corvane::Vec3 a = m.points[size_t(f[0])], b = m.points[size_t(f[1])], c = m.points[size_t(f[2])];
    double nz = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
    EXPECT_EQ(nz < 0, reversed);
  }
}

TEST(SolidTessellator, SplineFaceBoundedByItsParameterLinesFollowsTheSurface) {
  // A parabolic sheet z = 2x(1 - x), 0 <= y <= 1, as a degree 2 x 1 spline
  // with spline edges along v = 0 and v = 1 and straight ones along u.
  SatBuilder s;
  int a = s.addVertex({0, 0, 0}), b = s.addVertex({1, 0, 0}), c = s.addVertex({1, 1, 0}), d = s.addVertex({0, 1, 0});
  auto arc = [](double y) {
    std::string ys = SatBuilder::num(y);
    return "intcurve-curve forward { exactcur nubs 2 open 2 0 2 1 2 0 " + ys + " 0 0.5 " + ys + " 1 1 " + ys + " 0 } I I";
  };
  s.edges.push_back({a, b, arc(0)});
  int e0 = 0;
  int e1 = s.addLine(b, c);
  s.edges.push_back({d, c, arc(1)});
  int e2 = 2;
  int e3 = s.addLine(d, a);
  s.faces.push_back({"spline-surface forward { exactsur nubs 2 1 open open none none 2 2 0 2 1 2 0 1 1 1 "
                     "0 0 0 0 1 0 0.5 0 1 0.5 1 1 1 0 0 1 1 0 }",
                     false, {{{e0, false}, {e1, false}, {e2, true}, {e3, false}}}});
  std::vector<std::string> warnings;
  SolidMesh m = mesh(s, 0.001, false, &warnings);
  EXPECT_TRUE(warnings.empty()) << warnings.front();
  for (const auto& p : m.points) EXPECT_NEAR(p.z, 2 * p.x * (1 - p.x), 0.002);
  EXPECT_NEAR(meshArea(m), 0.25 * (2 * std::sqrt(5.0) + std::asinh(2.0)), 0.005);
  expectBounds(m, {0, 0, 0}, {1, 1, 0.5}, 0.002);
}

TEST(SolidTessellator, DecodesEntityGroupsAndMergesBodies) {
  // Encode the text the way a DXF stores it: 159 - c, space kept, a caret
  // written as "^ "; a long line continued in a group 3.
  std::string text = box(1, 2, 3).text();
  corvane::SolidModelData data;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end - start);
    start = end + 1;
    std::string enc;
    for (char ch : line) {
      if (ch == ' ') {
        enc += ' ';
      } else if (159 - ch == '^') {
        enc += "^ ";
      } else {
        enc += char(159 - ch);
      }
    }
    for (size_t p = 0; p < enc.size(); p += 40) {
      size_t n = 40;
      if (p + n < enc.size() && enc[p + n - 1] == '^') ++n;  // keep "^ " together
      data.textGroups.push_back(enc.substr(p, n));
      data.textGroupCodes.push_back(p == 0 ? 1 : 3);
      if (n == 41) ++p;
    }
  }
  std::string decoded, reason;
  ASSERT_TRUE(decodeModelText(data, decoded, reason)) << reason;
  EXPECT_EQ(decoded, text);
  SolidMesh m;
  ASSERT_TRUE(tessellateSolidModel(data, 0.01, m, reason)) << reason;
  EXPECT_EQ(reason, "");
  EXPECT_NEAR(meshVolume(m), 6, 1e-9);
}

}  // namespace
}  // namespace corvane::solids::test
