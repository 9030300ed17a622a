// The maps of block references: a reference's transform taken apart again
// into a reference's placement, planar objects carried into the image
// plane, and which maps keep shapes.
#include <gtest/gtest.h>

#include <cmath>

#include "explode/affine.h"

namespace corvane {
namespace {

constexpr double kPi = 3.14159265358979323846;

void expectSameMap(const Affine& a, const Affine& b) {
  for (const Vec3& p : {Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{0, 1, 0}, Vec3{0, 0, 1}, Vec3{2, -3, 5}}) {
    const Vec3 x = a.apply(p), y = b.apply(p);
    EXPECT_NEAR(x.x, y.x, 1e-9);
    EXPECT_NEAR(x.y, y.y, 1e-9);
    EXPECT_NEAR(x.z, y.z, 1e-9);
  }
}

TEST(Affine, ReferenceTransformsComeApartAgain) {
  const Vec3 base{1, 2, 3};
  const Vec3 extrusions[] = {{0, 0, 1}, {0, 0, -1}, {0, 1, 1}, {0.01, 0.005, 1}, {1, 2, -3}};
  const Vec3 scales[] = {{1, 1, 1}, {2, 2, 2}, {1, 2, 3}, {-1, 1, 1}, {1, -2, 1}, {-1, -1, -1}, {0.5, 0.5, -4}};
  for (const Vec3& e : extrusions)
    for (const Vec3& s : scales)
      for (double rotation : {0.0, 0.3, -2.5}) {
        InsertPlacement p{{4, -5, 6}, s, rotation, e};
        const Affine a = insertTransform(p, base);
        std::optional<InsertPlacement> back = insertPlacementOf(a, base);
        ASSERT_TRUE(back);
        expectSameMap(insertTransform(*back, base), a);
      }
  // A nested reference under a stretch that turns it shears: no placement.
  const Affine shear = scaling(1, 3, 1) * insertTransform({{0, 0, 0}, {1, 1, 1}, kPi / 4, {0, 0, 1}}, {});
  EXPECT_FALSE(insertPlacementOf(shear, {}));
  EXPECT_FALSE(insertPlacementOf(scaling(1, 0, 1), {}));
}

TEST(Affine, PlanarObjectsLandInTheImagePlane) {
  const Vec3 e{0, 1, 1};
  struct Case {
    Affine a;
    bool mirror, similar, thickness;
  };
  const Case cases[] = {
      {rotationZ(0.4) * translation({3, 4, 5}), false, true, true},
      {scaling(-2, 2, 2), true, true, true},
      {scaling(1, 1, 3), false, false, false},     // stretched across the tilted plane
  };
  for (const Case& c : cases) {
    std::optional<PlaneMap> pm = planeMap(c.a, e);
    ASSERT_TRUE(pm);
    EXPECT_EQ(pm->inPlaneMirror, c.mirror && pm->inPlaneScale.has_value());
    EXPECT_EQ(pm->inPlaneScale.has_value(), c.similar);
    EXPECT_EQ(pm->keepsThickness, c.thickness);
    // A point of the plane, carried through the new system, is the image
    // of the point.
    for (const Vec3& p : {Vec3{1, 2, 0.5}, Vec3{-3, 0, 0.5}}) {
      const Vec3 want = c.a.apply(objectToWorld(e).apply(p));
      const Vec3 got = objectToWorld(pm->extrusion).apply(pm->toNewObject.apply(p));
      EXPECT_NEAR(want.x, got.x, 1e-9);
      EXPECT_NEAR(want.y, got.y, 1e-9);
      EXPECT_NEAR(want.z, got.z, 1e-9);
    }
  }
  // Along the extrusion, a stretch keeps thickness a thickness.
  std::optional<PlaneMap> along = planeMap(scaling(2, 3, 4), {0, 0, 1});
  ASSERT_TRUE(along);
  EXPECT_TRUE(along->keepsThickness);
  EXPECT_DOUBLE_EQ(along->thicknessScale, 4);
  EXPECT_FALSE(planeMap(scaling(0, 1, 1), {0, 0, 1}));
}

TEST(Affine, OnlyRotationsMirrorsAndUniformScalesKeepShapes) {
  EXPECT_DOUBLE_EQ(*similarityScale(rotationZ(1) * scaling(-2, 2, 2) * translation({1, 1, 1})), 2);
  EXPECT_FALSE(similarityScale(scaling(1, 2, 1)));
  EXPECT_FALSE(similarityScale(scaling(0, 0, 0)));
  Affine shear;
  shear.m[0][1] = 0.5;
  EXPECT_FALSE(similarityScale(shear));
  EXPECT_TRUE(scaling(1, -1, 1).mirrors());
  EXPECT_FALSE(scaling(-1, -1, 1).mirrors());
}

} // namespace
} // namespace corvane
