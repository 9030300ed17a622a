// Affine maps of 3D space: the transform of a block reference and what it
// does to points, directions, normals and object coordinate systems. A map
// is a 3x3 linear part (rows) and a translation; points are columns.
#pragma once

#include <optional>

#include "geometry/entity_geometry.h"

namespace corvane {

struct Affine {
  double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  Vec3 t;

  Vec3 apply(const Vec3& p) const;      // the image of point P
  Vec3 applyLinear(const Vec3& v) const; // the image of direction V
  // The normal of the image of a plane with normal N: the linear part's
  // cofactor applied to N, unnormalised (it points to the side the image of
  // N's side lies on only when the map keeps orientation).
  Vec3 cofactorApply(const Vec3& n) const;
  double determinant() const;
  bool mirrors() const { return determinant() < 0; }
};

// OUTER after INNER.
Affine operator*(const Affine& outer, const Affine& inner);
Affine translation(const Vec3& v);
Affine scaling(double x, double y, double z);
Affine rotationZ(double radians);
// The map from the object coordinate system of EXTRUSION (arbitrary-axis
// rule) to world coordinates, and back.
Affine objectToWorld(const Vec3& extrusion);
Affine worldToObject(const Vec3& extrusion);

// A map with orthogonal linear part times one scale > 0 (rotations,
// mirrors, uniform scale): lengths grow by `scale` in every direction.
// nullopt for anything else (a non-uniform scale, a shear, a collapse).
std::optional<double> similarityScale(const Affine& a);

// A block reference's placement: insertion point in the object coordinate
// system of `extrusion`, scale factors and rotation (radians) about that
// system's z axis.
struct InsertPlacement {
  Vec3 insertion;
  Vec3 scale{1, 1, 1};
  double rotation = 0;
  Vec3 extrusion{0, 0, 1};
};

// The map that takes a block's coordinates (BASE is its base point) to the
// world: OCS(extrusion) . translate(insertion) . rotateZ . scale . translate(-base).
Affine insertTransform(const InsertPlacement& placement, const Vec3& base);
// The placement whose insertTransform with BASE is A; nullopt when no
// placement gives A (its linear part's columns are not orthogonal, or one
// vanishes).
std::optional<InsertPlacement> insertPlacementOf(const Affine& a, const Vec3& base);

// What a map does to a planar object in the object coordinate system of
// EXTRUSION: the extrusion of the image plane and, for points of that
// plane, their image in the new object coordinate system (a 2D affine map
// plus the plane's new elevation).
struct PlaneMap {
  Vec3 extrusion{0, 0, 1};
  Affine toNewObject; // old object coordinates -> new object coordinates
  // Whether the image of the old extrusion direction is along the new one
  // (so a thickness stays a thickness), and how it scales.
  bool keepsThickness = false;
  double thicknessScale = 1;
  // The in-plane part: a uniform scale (> 0), rotation angle (radians) and
  // whether it mirrors; nullopt when the in-plane part is not a similarity.
  std::optional<double> inPlaneScale;
  double inPlaneRotation = 0;
  bool inPlaneMirror = false;
};
// nullopt when the map collapses the plane.
std::optional<PlaneMap> planeMap(const Affine& a, const Vec3& extrusion);

} // namespace corvane
