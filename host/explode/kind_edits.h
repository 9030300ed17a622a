// The edits that place a copy of one kind of object (see placement.h): each
// rewrites the groups of its kind that a map changes (points, directions,
// sizes, angles, thickness, extrusion, and the order of corners where a
// mirror would turn a face's front away) and leaves every other group to
// copyRecord (entity_copy.h). An edit serves one copy; the Placer picks it
// and checks first that the map is one the kind can hold (said by each
// class). The map, plane map or placement an edit is made with must
// outlive it.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "explode/affine.h"
#include "explode/entity_copy.h"
#include "geometry/vec_math.h"

namespace corvane {

// ---- reading a source's groups ---------------------------------------------------

constexpr double kDegrees = 180.0 / kPi;

// An angle in degrees in [0, 360).
double degrees(double d);
// The point whose x is group I (code C) of S, with y and z from the groups
// right after it (codes C + 10, C + 20; Z where there is no z); I moves past
// what it took.
Vec3 readPoint(const SourceEntity& s, size_t& i, double z = 0);
// The point with x code CODE among S's own groups (before its extended
// data); FALLBACK when there is none.
Vec3 pointOf(const SourceEntity& s, int code, const Vec3& fallback);
// The value of S's first own group CODE; FALLBACK when there is none.
double realOf(const SourceEntity& s, int code, double fallback = 0);

// The x codes of the (at most two) points a kind keeps.
struct PointCodes {
  PointCodes(std::initializer_list<int> codes) {
    for (int c : codes) code[count++] = c;
  }
  const int* begin() const { return code; }
  const int* end() const { return code + count; }
  int code[2] = {0, 0};
  int count = 0;
};

// ---- edits ------------------------------------------------------------------------

// Copies groups as they are.
class NoEdit : public GroupEdit {
public:
  bool group(const SourceEntity&, size_t&, std::string&) override { return false; }
};

// Points, thickness and extrusion of a kind whose copy is placed by one map
// of points: what WorldEdit and PlaneEdit share. POINTS are the x codes of
// the points it maps; a copy that needs an extrusion its source left out
// gets one after point EXTRUSIONAFTER (-1: where the subclass says).
class FrameEdit : public GroupEdit {
public:
  FrameEdit(const CopyWriter& w, PointCodes points, int extrusionAfter)
      : w_(w), points_(points), extrusionAfter_(extrusionAfter) {}
  bool group(const SourceEntity& s, size_t& i, std::string& out) override;

protected:
  // Where a point of the source goes in the copy.
  virtual Vec3 place(const Vec3& p) const = 0;
  // The copy's extrusion, once, where the source left it out.
  void writeMissingExtrusion(std::string& out);

  const CopyWriter& w_;
  PointCodes points_;
  int extrusionAfter_;
  bool hasExtrusion_ = false;
  Vec3 extrusion_{0, 0, 1};
  double thicknessScale_ = 1;
};

// Kinds whose points are world coordinates (LINE, POINT, the vertices of 3D
// polylines and meshes; the base of SPLINE, ELLIPSE and MTEXT), under any
// map: points and directions mapped. The extrusion is a direction the
// thickness runs along (LINE, POINT) or, for PLANENORMAL kinds, the normal
// of the object's plane (SPLINE, ELLIPSE, MTEXT), which a mirror turns to
// keep the object's front.
class WorldEdit : public FrameEdit {
public:
  WorldEdit(const CopyWriter& w, const Affine& a, PointCodes points, int extrusionAfter = -1, bool planeNormal = false)
      : FrameEdit(w, points, extrusionAfter), a_(a), planeNormal_(planeNormal) {}
  // Reads the source's extrusion: call before copying.
  void prepare(const SourceEntity& s);

protected:
  Vec3 place(const Vec3& p) const override { return a_.apply(p); }

  const Affine& a_;
  bool planeNormal_;
};

// SPLINE, under any map: control and fit points, tangent directions, the
// plane's normal (call prepare first).
class SplineEdit : public WorldEdit {
public:
  SplineEdit(const CopyWriter& w, const Affine& a) : WorldEdit(w, a, {10, 11}, -1, true) {}
  bool group(const SourceEntity& s, size_t& i, std::string& out) override;
};

// 3DFACE, under any map: four corners in world coordinates; a mirror
// reverses their order (and the edges' visibility with it) so that the face
// keeps its front.
class FaceEdit : public GroupEdit {
public:
  FaceEdit(const CopyWriter& w, const Affine& a, const FaceGeometry& face);
  bool group(const SourceEntity& s, size_t& i, std::string& out) override;

private:
  const CopyWriter& w_;
  Vec3 corners_[4];
  int bits_ = 0;
  bool mirror_ = false;
  bool written_ = false;
};

// Planar kinds in an object coordinate system, under a map that keeps
// their plane (planeMap): points mapped into the new plane's system,
// thickness and extrusion with them.
class PlaneEdit : public FrameEdit {
public:
  PlaneEdit(const CopyWriter& w, const PlaneMap& pm, PointCodes points, int extrusionAfter)
      : FrameEdit(w, points, extrusionAfter), pm_(pm) {
    extrusion_ = pm.extrusion;
    thicknessScale_ = pm.thicknessScale;
  }
  // Notes whether the source has an extrusion: call before copying.
  void prepare(const SourceEntity& s) { hasExtrusion_ = s.has(210); }

protected:
  Vec3 place(const Vec3& p) const override { return pm_.toNewObject.apply(p); }
  // How in-plane sizes scale (1 where the in-plane part is no similarity:
  // the kinds that scale sizes refuse such maps first).
  double scale() const { return pm_.inPlaneScale.value_or(1); }
  // An angle (degrees) of the old plane in the new one.
  double angle(double d) const;
  // What a 2D polyline and its vertices share besides their point: the
  // point's y and z (dropped: the point wrote them), and the widths (40,
  // 41) scaled. False for any other group.
  bool polylineGroup(const SourceEntity& s, size_t i, std::string& out);

  const PlaneMap& pm_;
};

// SOLID and TRACE, where a thickness stays one: corners 1 to 4 at the
// object's elevation; a mirror reverses the outline (1 3 2 4 for 1 2 4 3)
// so that the face keeps its front (call prepare first).
class SolidEdit : public PlaneEdit {
public:
  SolidEdit(const CopyWriter& w, const PlaneMap& pm, const SolidGeometry& g);
  bool group(const SourceEntity& s, size_t& i, std::string& out) override;

private:
  Vec3 corners_[4];
  bool written_ = false;
};

// CIRCLE and ARC, where the in-plane part is a similarity: centre, radius,
// and for an arc its angles START and END (degrees; a mirror runs the arc
// the other way: from the image of its end to that of its start). Call
// prepare first.
class ArcEdit : public PlaneEdit {
public:
  ArcEdit(const CopyWriter& w, const PlaneMap& pm, double start, double end)
      : PlaneEdit(w, pm, {10}, 10), start_(start), end_(end) {}
  bool group(const SourceEntity& s, size_t& i, std::string& out) override;

private:
  double start_, end_;
};

// TEXT, ATTDEF, ATTRIB, where the in-plane part is a similarity: insertion
// and alignment points, height, rotation; a mirror shows as text written
// backwards.
class TextEdit : public PlaneEdit {
public:
  TextEdit(const CopyWriter& w, const PlaneMap& pm, const SourceEntity& s);
  bool group(const SourceEntity& s, size_t& i, std::string& out) override;

private:
  // Mirrored, the baseline runs from the image of its start backwards.
  double newRotation() const { return pm_.inPlaneMirror ? angle(rotation_ + 180) : angle(rotation_); }
  double rotation_;
  bool hasRotation_, hasFlags_;
};

// LWPOLYLINE, under a map that keeps its plane (a similarity in it when it
// has widths or bulges): 2D vertices at the elevation, widths, bulges (a
// mirror turns every bulge the other way).
class LwPolylineEdit : public PlaneEdit {
public:
  LwPolylineEdit(const CopyWriter& w, const PlaneMap& pm, const SourceEntity& s);
  bool group(const SourceEntity& s, size_t& i, std::string& out) override;
  void beforeXData(std::string& out) override { writeMissingExtrusion(out); }

private:
  double elevation_, newElevation_ = 0;
  bool hasElevation_;
};

// A 2D POLYLINE's own groups, under a map that keeps its plane: the
// elevation in its point (whose x and y are always 0), default widths. Call
// prepare first.
class Polyline2dEdit : public PlaneEdit {
public:
  Polyline2dEdit(const CopyWriter& w, const PlaneMap& pm, double elevation);
  bool group(const SourceEntity& s, size_t& i, std::string& out) override;

private:
  double elevation_ = 0;
};

// The vertices of a 2D POLYLINE at ELEVATION: positions, widths, bulges,
// curve-fit tangent directions.
class Vertex2dEdit : public PlaneEdit {
public:
  Vertex2dEdit(const CopyWriter& w, const PlaneMap& pm, double elevation)
      : PlaneEdit(w, pm, {}, -1), elevation_(elevation) {}
  bool group(const SourceEntity& s, size_t& i, std::string& out) override;

private:
  double elevation_;
};

// The VERTEX records of a 3D polyline, polyface or polygon mesh, under any
// map: positions mapped; a mirror reverses each face record's corner
// order, each edge keeping its visibility. setFaceRecord before each record.
class PolyfaceVertexEdit : public WorldEdit {
public:
  PolyfaceVertexEdit(const CopyWriter& w, const Affine& a) : WorldEdit(w, a, {10}) {}
  // The next record is groups [FIRST, LAST) of S, a face record when FACE.
  void setFaceRecord(const SourceEntity& s, size_t first, size_t last, bool face);
  bool group(const SourceEntity& s, size_t& i, std::string& out) override;

private:
  bool face_ = false, written_ = false;
  long long index_[4] = {0, 0, 0, 0};
  int count_ = 0;
};

// MESH kept as a MESH, under any map: its vertices mapped; a mirror
// reverses each face.
class MeshEdit : public GroupEdit {
public:
  MeshEdit(const CopyWriter& w, const Affine& a) : w_(w), a_(a) {}
  bool group(const SourceEntity& s, size_t& i, std::string& out) override;

private:
  const CopyWriter& w_;
  const Affine& a_;
  enum { kBefore, kVertices, kDone } state_ = kBefore;
};

// ELLIPSE, under a map that keeps shapes (similarityScale): centre, major
// axis and normal; a mirror runs the parameters the other way.
class EllipseEdit : public WorldEdit {
public:
  EllipseEdit(const CopyWriter& w, const Affine& a, const SourceEntity& s);
  bool group(const SourceEntity& s, size_t& i, std::string& out) override;

private:
  double start_, end_;
};

// MTEXT, under a map that keeps shapes, lengths growing by SCALE, and does
// not mirror: insertion point and direction in world coordinates, sizes
// scaled.
class MTextEdit : public WorldEdit {
public:
  MTextEdit(const CopyWriter& w, const Affine& a, double scale, const SourceEntity& s);
  bool group(const SourceEntity& s, size_t& i, std::string& out) override;

private:
  double scale_;
  bool hasDirection_;
  Vec3 direction_{1, 0, 0};
};

// A solid model's text groups (1 and 3) replaced by GROUPS, which must
// outlive the edit.
class ModelTextEdit : public GroupEdit {
public:
  ModelTextEdit(const CopyWriter& w, const std::vector<std::pair<int, std::string>>& groups) : w_(w), groups_(groups) {}
  bool group(const SourceEntity& s, size_t& i, std::string& out) override;

private:
  const CopyWriter& w_;
  const std::vector<std::pair<int, std::string>>& groups_;
  bool written_ = false;
};

// A block reference by a new placement P (and grid spacing, for a multiple
// insert); HADEXTRUSION says whether the source had one. Its attributes
// follow with TextEdit.
class InsertEdit : public GroupEdit {
public:
  InsertEdit(const CopyWriter& w, const InsertPlacement& p, double columnSpacing, double rowSpacing, bool hadExtrusion)
      : w_(w), p_(p), columnSpacing_(columnSpacing), rowSpacing_(rowSpacing), hadExtrusion_(hadExtrusion) {}
  bool group(const SourceEntity& s, size_t& i, std::string& out) override;

private:
  const CopyWriter& w_;
  const InsertPlacement& p_;
  double columnSpacing_, rowSpacing_;
  bool hadExtrusion_;
};

} // namespace corvane
