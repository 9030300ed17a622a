#include "explode/placement.h"

#include <algorithm>
#include <cmath>

#include "drawing/drawing.h"
#include "drawing/record_geometry.h"
#include "dxf/entity_views.h"
#include "faces/face_builder.h"
#include "geometry/vec_math.h"
#include "solids/dxf_model_text.h"
#include "solids/model_transform.h"

namespace corvane {
namespace {

constexpr double kDegrees = 180.0 / kPi;

// An angle in degrees in [0, 360).
double degrees(double d) {
  d = std::fmod(d, 360.0);
  if (d < 0) d += 360.0;
  return d == 360.0 ? 0.0 : d;
}

bool isZ(const Vec3& v) { return v.x == 0 && v.y == 0 && v.z > 0; }

// The point whose x is group I (code C), with y and z from the groups
// right after it (codes C + 10, C + 20); I moves past what it took.
Vec3 readPoint(const SourceEntity& s, size_t& i, double z = 0) {
  const int c = s.groups[i].code;
  Vec3 p{s.groups[i].real(), 0, z};
  if (i + 1 < s.groups.size() && s.groups[i + 1].code == c + 10) {
    p.y = s.groups[++i].real();
    if (i + 1 < s.groups.size() && s.groups[i + 1].code == c + 20) p.z = s.groups[++i].real();
  }
  return p;
}

Vec3 pointOf(const SourceEntity& s, int code, const Vec3& fallback) {
  for (size_t i = 1; i < s.ownCount && s.groups[i].code < 1000; ++i)
    if (s.groups[i].code == code) return readPoint(s, i);
  return fallback;
}

double realOf(const SourceEntity& s, int code, double fallback = 0) {
  const DxfGroupView* g = s.find(code);
  return g ? g->real() : fallback;
}

// The x codes of the points a kind keeps.
struct PointCodes {
  PointCodes(std::initializer_list<int> codes) {
    for (int c : codes) code[count++] = c;
  }
  const int* begin() const { return code; }
  const int* end() const { return code + count; }
  int code[2] = {0, 0};
  int count = 0;
};

// A y or z group of one of POINTS whose x was not there to take it.
bool strayCoordinate(int code, const PointCodes& points) {
  for (int p : points)
    if (code == p + 10 || code == p + 20) return true;
  return false;
}

// Copies groups as they are.
class NoEdit : public GroupEdit {
public:
  bool group(const SourceEntity&, size_t&, std::string&) override { return false; }
};

// Kinds whose points are world coordinates (LINE, POINT, SPLINE, the
// vertices of 3D polylines and meshes): points and directions mapped. The
// extrusion is a direction the thickness runs along (LINE, POINT) or, for
// PLANENORMAL kinds, the normal of the object's plane (SPLINE, ELLIPSE,
// MTEXT), which a mirror turns to keep the object's front.
// Points, thickness and extrusion of a kind whose copy is placed by one map
// of points: what WorldEdit and PlaneEdit share.
class FrameEdit : public GroupEdit {
public:
  FrameEdit(const CopyWriter& w, PointCodes points, int extrusionAfter)
      : w_(w), points_(points), extrusionAfter_(extrusionAfter) {}
  bool group(const SourceEntity& s, size_t& i, std::string& out) override {
    const int code = s.groups[i].code;
    for (int p : points_) {
      if (code != p) continue;
      w_.point(out, code, place(readPoint(s, i)));
      if (code == extrusionAfter_) writeMissingExtrusion(out);
      return true;
    }
    if (strayCoordinate(code, points_)) return true;
    if (code == 39) {
      w_.real(out, 39, s.groups[i].real() * thicknessScale_);
      return true;
    }
    if (code == 210) {
      readPoint(s, i);
      w_.point(out, 210, extrusion_);
      return true;
    }
    return false;
  }

protected:
  // Where a point of the source goes in the copy.
  virtual Vec3 place(const Vec3& p) const = 0;
  // The copy's extrusion, once, where the source left it out.
  void writeMissingExtrusion(std::string& out) {
    if (!hasExtrusion_ && !isZ(extrusion_)) w_.point(out, 210, extrusion_);
    hasExtrusion_ = true;
  }

  const CopyWriter& w_;
  PointCodes points_;
  int extrusionAfter_;
  bool hasExtrusion_ = false;
  Vec3 extrusion_{0, 0, 1};
  double thicknessScale_ = 1;
};

class WorldEdit : public FrameEdit {
public:
  WorldEdit(const CopyWriter& w, const Affine& a, PointCodes points, int extrusionAfter = -1, bool planeNormal = false)
      : FrameEdit(w, points, extrusionAfter), a_(a), planeNormal_(planeNormal) {}
  // Reads the source's extrusion: call before copying.
  void prepare(const SourceEntity& s) {
    hasExtrusion_ = s.has(210);
    const Vec3 e = pointOf(s, 210, {0, 0, 1});
    if (planeNormal_) {
      const Vec3 n = a_.cofactorApply(e);
      extrusion_ = normalized(a_.mirrors() ? n * -1.0 : n);
      return;
    }
    const Vec3 mapped = a_.applyLinear(e);
    const double l = length(mapped);
    extrusion_ = l > 0 ? mapped * (1 / l) : e;
    thicknessScale_ = l > 0 ? l : 0;
  }

protected:
  Vec3 place(const Vec3& p) const override { return a_.apply(p); }

  const Affine& a_;
  bool planeNormal_;
};

// SPLINE: control and fit points, tangent directions, the plane's normal.
class SplineEdit : public WorldEdit {
public:
  SplineEdit(const CopyWriter& w, const Affine& a) : WorldEdit(w, a, {10, 11}, -1, true) {}
  bool group(const SourceEntity& s, size_t& i, std::string& out) override {
    const int code = s.groups[i].code;
    if (code == 12 || code == 13) {
      w_.point(out, code, a_.applyLinear(readPoint(s, i)));
      return true;
    }
    if (code == 22 || code == 23 || code == 32 || code == 33) return true;
    return WorldEdit::group(s, i, out);
  }
};

// 3DFACE: four corners in world coordinates; a mirror reverses their order
// (and the edges' visibility with it) so that the face keeps its front.
class FaceEdit : public GroupEdit {
public:
  FaceEdit(const CopyWriter& w, const Affine& a, const FaceGeometry& face) : w_(w) {
    Vec3 c[4];
    for (int k = 0; k < 4; ++k) c[k] = a.apply(face.corners[k]);
    mirror_ = a.mirrors();
    const bool triangle = face.corners[2].x == face.corners[3].x && face.corners[2].y == face.corners[3].y &&
                          face.corners[2].z == face.corners[3].z;
    int bits = face.invisibleEdges;
    if (!mirror_) {
      for (int k = 0; k < 4; ++k) corners_[k] = c[k];
      bits_ = bits;
    } else if (triangle) {
      // 1 3 2 (2): edges 1-3, 3-2, 2-2, 2-1 were 3-1, 2-3, 3-3, 1-2.
      corners_[0] = c[0], corners_[1] = c[2], corners_[2] = c[1], corners_[3] = c[1];
      bits_ = ((bits >> 3) & 1) | (bits & 2) | (bits & 4) | ((bits & 1) << 3);
    } else {
      // 1 4 3 2: edges 1-4, 4-3, 3-2, 2-1 were 4-1, 3-4, 2-3, 1-2.
      corners_[0] = c[0], corners_[1] = c[3], corners_[2] = c[2], corners_[3] = c[1];
      bits_ = ((bits >> 3) & 1) | (((bits >> 2) & 1) << 1) | (((bits >> 1) & 1) << 2) | ((bits & 1) << 3);
    }
  }
  bool group(const SourceEntity& s, size_t& i, std::string& out) override {
    const int code = s.groups[i].code;
    if ((code >= 10 && code <= 13) || (code >= 20 && code <= 23) || (code >= 30 && code <= 33)) {
      if (!written_)
        for (int k = 0; k < 4; ++k) w_.point(out, 10 + k, corners_[k]);
      written_ = true;
      return true;
    }
    if (code == 70 && mirror_) {
      w_.integer(out, 70, bits_);
      return true;
    }
    return false;
  }

private:
  const CopyWriter& w_;
  Vec3 corners_[4];
  int bits_ = 0;
  bool mirror_ = false;
  bool written_ = false;
};

// Planar kinds in an object coordinate system: points mapped into the new
// plane's system, thickness and extrusion with them.
class PlaneEdit : public FrameEdit {
public:
  PlaneEdit(const CopyWriter& w, const PlaneMap& pm, PointCodes points, int extrusionAfter)
      : FrameEdit(w, points, extrusionAfter), pm_(pm) {
    extrusion_ = pm.extrusion;
    thicknessScale_ = pm.thicknessScale;
  }
  void prepare(const SourceEntity& s) { hasExtrusion_ = s.has(210); }

protected:
  Vec3 place(const Vec3& p) const override { return pm_.toNewObject.apply(p); }
  double scale() const { return pm_.inPlaneScale.value_or(1); }
  // An angle (degrees) of the old plane in the new one.
  double angle(double d) const {
    const double phi = pm_.inPlaneRotation * kDegrees;
    return degrees(pm_.inPlaneMirror ? phi - d : phi + d);
  }

  const PlaneMap& pm_;
};

// SOLID and TRACE: corners 1 to 4 at the object's elevation; a mirror
// reverses the outline (1 3 2 4 for 1 2 4 3) so that the face keeps its front.
class SolidEdit : public PlaneEdit {
public:
  SolidEdit(const CopyWriter& w, const PlaneMap& pm, const SolidGeometry& g) : PlaneEdit(w, pm, {}, -1) {
    Vec3 c[4];
    for (int k = 0; k < 4; ++k) {
      Vec3 p = g.corners[k];
      p.z += g.elevation;
      c[k] = pm.toNewObject.apply(p);
    }
    const bool triangle = g.corners[2].x == g.corners[3].x && g.corners[2].y == g.corners[3].y;
    if (!pm.inPlaneMirror) {
      for (int k = 0; k < 4; ++k) corners_[k] = c[k];
    } else if (triangle) {
      corners_[0] = c[0], corners_[1] = c[2], corners_[2] = c[1], corners_[3] = c[1];
    } else {
      corners_[0] = c[0], corners_[1] = c[2], corners_[2] = c[1], corners_[3] = c[3];
    }
  }
  bool group(const SourceEntity& s, size_t& i, std::string& out) override {
    const int code = s.groups[i].code;
    if ((code >= 10 && code <= 13) || (code >= 20 && code <= 23) || (code >= 30 && code <= 33)) {
      if (!written_) {
        for (int k = 0; k < 4; ++k) w_.point(out, 10 + k, corners_[k]);
        writeMissingExtrusion(out);
      }
      written_ = true;
      return true;
    }
    if (code == 38) return true; // the corners hold the elevation now
    return PlaneEdit::group(s, i, out);
  }

private:
  Vec3 corners_[4];
  bool written_ = false;
};

// CIRCLE and ARC: centre, radius, and for an arc its angles (a mirror runs
// the arc the other way: from the image of its end to that of its start).
class ArcEdit : public PlaneEdit {
public:
  ArcEdit(const CopyWriter& w, const PlaneMap& pm, double start, double end)
      : PlaneEdit(w, pm, {10}, 10), start_(start), end_(end) {}
  bool group(const SourceEntity& s, size_t& i, std::string& out) override {
    const int code = s.groups[i].code;
    if (code == 40) {
      w_.real(out, 40, s.groups[i].real() * scale());
      return true;
    }
    if (code == 50 || code == 51) {
      bool first = (code == 50) != pm_.inPlaneMirror;
      w_.real(out, code, angle(first ? start_ : end_));
      return true;
    }
    return PlaneEdit::group(s, i, out);
  }

private:
  double start_, end_;
};

// TEXT, ATTDEF, ATTRIB: insertion and alignment points, height, rotation;
// a mirror shows as text written backwards.
class TextEdit : public PlaneEdit {
public:
  TextEdit(const CopyWriter& w, const PlaneMap& pm, const SourceEntity& s)
      : PlaneEdit(w, pm, {10, 11}, 10), rotation_(realOf(s, 50)), hasRotation_(s.has(50)),
        hasFlags_(s.has(71)) {
    prepare(s);
  }
  bool group(const SourceEntity& s, size_t& i, std::string& out) override {
    const int code = s.groups[i].code;
    if (code == 40) {
      w_.real(out, 40, s.groups[i].real() * scale());
      // Groups the copy needs that the source could leave out.
      const double r = newRotation();
      if (!hasRotation_ && r != 0) w_.real(out, 50, r);
      if (!hasFlags_ && pm_.inPlaneMirror) w_.integer(out, 71, 2);
      return true;
    }
    if (code == 50) {
      w_.real(out, 50, newRotation());
      return true;
    }
    if (code == 71 && pm_.inPlaneMirror) {
      w_.integer(out, 71, s.groups[i].integer() ^ 2);
      return true;
    }
    return PlaneEdit::group(s, i, out);
  }

private:
  // Mirrored, the baseline runs from the image of its start backwards.
  double newRotation() const { return pm_.inPlaneMirror ? angle(rotation_ + 180) : angle(rotation_); }
  double rotation_;
  bool hasRotation_, hasFlags_;
};

// LWPOLYLINE: 2D vertices at the elevation, widths, bulges (a mirror turns
// every bulge the other way).
class LwPolylineEdit : public PlaneEdit {
public:
  LwPolylineEdit(const CopyWriter& w, const PlaneMap& pm, const SourceEntity& s)
      : PlaneEdit(w, pm, {}, -1), elevation_(realOf(s, 38)), hasElevation_(s.has(38)) {
    prepare(s);
    newElevation_ = pm.toNewObject.apply({0, 0, elevation_}).z;
  }
  bool group(const SourceEntity& s, size_t& i, std::string& out) override {
    const int code = s.groups[i].code;
    switch (code) {
    case 38:
      w_.real(out, 38, newElevation_);
      return true;
    case 10: {
      if (!hasElevation_ && newElevation_ != 0) w_.real(out, 38, newElevation_);
      hasElevation_ = true;
      Vec3 p{s.groups[i].real(), 0, elevation_};
      if (i + 1 < s.groups.size() && s.groups[i + 1].code == 20) p.y = s.groups[++i].real();
      p = pm_.toNewObject.apply(p);
      w_.real(out, 10, p.x);
      w_.real(out, 20, p.y);
      return true;
    }
    case 20:
      return true;
    case 40:
    case 41:
    case 43:
      w_.real(out, code, s.groups[i].real() * scale());
      return true;
    case 42:
      w_.real(out, 42, pm_.inPlaneMirror ? -s.groups[i].real() : s.groups[i].real());
      return true;
    default:
      return PlaneEdit::group(s, i, out);
    }
  }
  void beforeXData(std::string& out) override { writeMissingExtrusion(out); }

private:
  double elevation_, newElevation_ = 0;
  bool hasElevation_;
};

// A 2D POLYLINE's own groups: the elevation in its point (whose x and y
// are always 0), default widths.
class Polyline2dEdit : public PlaneEdit {
public:
  Polyline2dEdit(const CopyWriter& w, const PlaneMap& pm, double elevation) : PlaneEdit(w, pm, {}, -1) {
    elevation_ = pm.toNewObject.apply({0, 0, elevation}).z;
  }
  bool group(const SourceEntity& s, size_t& i, std::string& out) override {
    const int code = s.groups[i].code;
    switch (code) {
    case 10:
      readPoint(s, i);
      w_.point(out, 10, {0, 0, elevation_});
      writeMissingExtrusion(out);
      return true;
    case 20:
    case 30:
      return true;
    case 40:
    case 41:
      w_.real(out, code, s.groups[i].real() * scale());
      return true;
    default:
      return PlaneEdit::group(s, i, out);
    }
  }

private:
  double elevation_ = 0;
};

// The vertices of a 2D POLYLINE: positions at the polyline's elevation,
// widths, bulges, curve-fit tangent directions.
class Vertex2dEdit : public PlaneEdit {
public:
  Vertex2dEdit(const CopyWriter& w, const PlaneMap& pm, double elevation)
      : PlaneEdit(w, pm, {}, -1), elevation_(elevation) {}
  bool group(const SourceEntity& s, size_t& i, std::string& out) override {
    const int code = s.groups[i].code;
    switch (code) {
    case 10:
      w_.point(out, 10, pm_.toNewObject.apply(readPoint(s, i, elevation_)));
      return true;
    case 20:
    case 30:
      return true;
    case 40:
    case 41:
      w_.real(out, code, s.groups[i].real() * scale());
      return true;
    case 42:
      w_.real(out, 42, pm_.inPlaneMirror ? -s.groups[i].real() : s.groups[i].real());
      return true;
    case 50:
      w_.real(out, 50, angle(s.groups[i].real()));
      return true;
    default:
      return false;
    }
  }

private:
  double elevation_;
};

// Polyface mesh vertices and face records: a mirror reverses each face's
// corner order, each edge keeping its visibility.
class PolyfaceVertexEdit : public WorldEdit {
public:
  PolyfaceVertexEdit(const CopyWriter& w, const Affine& a) : WorldEdit(w, a, {10}) {}
  void setFaceRecord(const SourceEntity& s, size_t first, size_t last, bool face) {
    face_ = face;
    written_ = false;
    count_ = 0;
    if (!face_ || !a_.mirrors()) return;
    for (size_t i = first; i < last; ++i) {
      int c = s.groups[i].code;
      if (c >= 71 && c <= 74) {
        long long v = s.groups[i].integer();
        if (v == 0) break;
        index_[count_++] = v;
      }
    }
  }
  bool group(const SourceEntity& s, size_t& i, std::string& out) override {
    const int code = s.groups[i].code;
    if (face_ && a_.mirrors() && code >= 71 && code <= 74) {
      if (!written_ && count_ > 0) {
        // Corner k of the reversed face is old corner n - k (k > 0), its
        // edge the one old corner n - k - 1 started.
        for (int k = 0; k < count_; ++k) {
          long long corner = index_[k == 0 ? 0 : count_ - k];
          long long edge = index_[k == 0 ? count_ - 1 : count_ - k - 1];
          long long n = corner < 0 ? -corner : corner;
          w_.integer(out, 71 + k, edge < 0 ? -n : n);
        }
      }
      written_ = true;
      return true;
    }
    if (face_) return false; // a face record's position means nothing
    return WorldEdit::group(s, i, out);
  }

private:
  bool face_ = false, written_ = false;
  long long index_[4] = {0, 0, 0, 0};
  int count_ = 0;
};

// MESH kept as a MESH: its vertices mapped; a mirror reverses each face.
class MeshEdit : public GroupEdit {
public:
  MeshEdit(const CopyWriter& w, const Affine& a) : w_(w), a_(a) {}
  bool group(const SourceEntity& s, size_t& i, std::string& out) override {
    const int code = s.groups[i].code;
    if (code == 92 && state_ == kBefore) state_ = kVertices;
    if (code == 93 && state_ != kDone) {
      state_ = kDone;
      if (!a_.mirrors()) return false;
      w_.integer(out, 93, s.groups[i].integer());
      long long left = s.groups[i].integer();
      // The face list: per face its corner count, then its vertices.
      std::vector<long long> list;
      while (left-- > 0 && i + 1 < s.groups.size() && s.groups[i + 1].code == 90) list.push_back(s.groups[++i].integer());
      for (size_t k = 0; k < list.size();) {
        size_t n = static_cast<size_t>(std::max<long long>(0, list[k]));
        size_t first = k + 1, last = std::min(list.size(), first + n);
        if (last > first) std::reverse(list.begin() + static_cast<std::ptrdiff_t>(first) + 1,
                                       list.begin() + static_cast<std::ptrdiff_t>(last));
        k = last;
      }
      for (long long v : list) w_.integer(out, 90, v);
      return true;
    }
    if (state_ == kVertices && code == 10) {
      w_.point(out, 10, a_.apply(readPoint(s, i)));
      return true;
    }
    if (state_ == kVertices && (code == 20 || code == 30)) return true;
    return false;
  }

private:
  const CopyWriter& w_;
  const Affine& a_;
  enum { kBefore, kVertices, kDone } state_ = kBefore;
};

// ELLIPSE under a map that keeps shapes: centre, major axis and normal; a
// mirror runs the parameters the other way.
class EllipseEdit : public WorldEdit {
public:
  EllipseEdit(const CopyWriter& w, const Affine& a, const SourceEntity& s)
      : WorldEdit(w, a, {10}, 10, true), start_(realOf(s, 41)), end_(realOf(s, 42, 2 * kPi)) {
    prepare(s);
  }
  bool group(const SourceEntity& s, size_t& i, std::string& out) override {
    const int code = s.groups[i].code;
    if (code == 11) {
      w_.point(out, 11, a_.applyLinear(readPoint(s, i)));
      return true;
    }
    if (code == 21 || code == 31) return true;
    if ((code == 41 || code == 42) && a_.mirrors()) {
      // The parameters run the other way: [start, end] becomes [-end, -start].
      w_.real(out, code, 2 * kPi - (code == 41 ? end_ : start_));
      return true;
    }
    return WorldEdit::group(s, i, out);
  }

private:
  double start_, end_;
};

// MTEXT under a map that keeps shapes and does not mirror: insertion point
// and direction in world coordinates, sizes scaled.
class MTextEdit : public WorldEdit {
public:
  MTextEdit(const CopyWriter& w, const Affine& a, double scale, const SourceEntity& s)
      : WorldEdit(w, a, {10}, -1, true), scale_(scale), hasDirection_(s.has(11)) {
    prepare(s);
    const Vec3 e = pointOf(s, 210, {0, 0, 1});
    direction_ = normalized(a.applyLinear(pointOf(s, 11, objectToWorld(e).applyLinear({1, 0, 0}))));
  }
  bool group(const SourceEntity& s, size_t& i, std::string& out) override {
    const int code = s.groups[i].code;
    switch (code) {
    case 10:
      w_.point(out, 10, a_.apply(readPoint(s, i)));
      if (!hasDirection_) w_.point(out, 11, direction_);
      return true;
    case 11:
      readPoint(s, i);
      w_.point(out, 11, direction_);
      return true;
    case 21:
    case 31:
    case 50: // the direction says it
      return true;
    case 40:
    case 41:
    case 42:
    case 43:
    case 46:
      w_.real(out, code, s.groups[i].real() * scale_);
      return true;
    default:
      return WorldEdit::group(s, i, out);
    }
  }

private:
  double scale_;
  bool hasDirection_;
  Vec3 direction_{1, 0, 0};
};

// A solid model's text groups replaced by GROUPS.
class ModelTextEdit : public GroupEdit {
public:
  ModelTextEdit(const CopyWriter& w, const std::vector<std::pair<int, std::string>>& groups)
      : w_(w), groups_(groups) {}
  bool group(const SourceEntity& s, size_t& i, std::string& out) override {
    const int code = s.groups[i].code;
    if (code != 1 && code != 3) return false;
    if (!written_)
      for (const auto& [c, v] : groups_) w_.group(out, c, v);
    written_ = true;
    return true;
  }

private:
  const CopyWriter& w_;
  const std::vector<std::pair<int, std::string>>& groups_;
  bool written_ = false;
};

// A block reference by a new placement (and grid spacing, for a multiple
// insert); its attributes follow with TextEdit.
class InsertEdit : public GroupEdit {
public:
  InsertEdit(const CopyWriter& w, const InsertPlacement& p, double columnSpacing, double rowSpacing, bool hadExtrusion)
      : w_(w), p_(p), columnSpacing_(columnSpacing), rowSpacing_(rowSpacing), hadExtrusion_(hadExtrusion) {}
  bool group(const SourceEntity& s, size_t& i, std::string& out) override {
    switch (s.groups[i].code) {
    case 10:
      readPoint(s, i);
      w_.point(out, 10, p_.insertion);
      w_.real(out, 41, p_.scale.x);
      w_.real(out, 42, p_.scale.y);
      w_.real(out, 43, p_.scale.z);
      w_.real(out, 50, degrees(p_.rotation * kDegrees));
      if (!hadExtrusion_ && !isZ(p_.extrusion)) w_.point(out, 210, p_.extrusion);
      return true;
    case 20:
    case 30:
    case 41:
    case 42:
    case 43:
    case 50:
      return true;
    case 44:
      w_.real(out, 44, columnSpacing_);
      return true;
    case 45:
      w_.real(out, 45, rowSpacing_);
      return true;
    case 210:
      readPoint(s, i);
      w_.point(out, 210, p_.extrusion);
      return true;
    default:
      return false;
    }
  }

private:
  const CopyWriter& w_;
  const InsertPlacement& p_;
  double columnSpacing_, rowSpacing_;
  bool hadExtrusion_;
};

// The ACDSDATA record of a copy: the source's, naming HANDLE and holding BYTES.
std::string solidRecordFor(const CopyWriter& w, std::string_view source, uint64_t handle,
                           const std::vector<uint8_t>& bytes) {
  std::string out;
  DxfGroupCursor cursor(source, w.style().encoding);
  DxfGroupView g;
  bool written = false;
  size_t chunk = 127;
  std::string bytesOfChunk;
  while (cursor.next(g)) {
    if (g.code == 320) {
      w.group(out, 320, formatHandle(handle));
    } else if (g.code == 94) {
      w.integer(out, 94, static_cast<long long>(bytes.size()));
    } else if (g.code == 310) {
      if (written) continue;
      written = true;
      // The copy's chunks are as long as the source's first.
      if (g.bytes(bytesOfChunk) && !bytesOfChunk.empty()) chunk = bytesOfChunk.size();
      for (size_t at = 0; at < bytes.size(); at += chunk) {
        const size_t n = std::min(chunk, bytes.size() - at);
        w.group(out, 310, encodeDxfHex({reinterpret_cast<const char*>(bytes.data()) + at, n}));
      }
    } else {
      out.append(source.substr(g.begin, g.end - g.begin));
    }
  }
  return out;
}

} // namespace

Placer::Placer(Drawing& drawing, std::string owner) : writer_(drawing, std::move(owner)) {}

SourceEntity& Placer::source(const AcDbObjectRecord& record) {
  auto& slot = sources_[&record];
  if (!slot) slot = readSourceEntity(writer_.drawing(), record);
  return *slot;
}

bool Placer::place(const AcDbObjectRecord& record, const Affine& a, const Appearance& app,
                   std::vector<PlacedObject>& out, std::string& why) {
  SourceEntity& s = source(record);
  const Drawing& d = writer_.drawing();
  const std::string_view type = s.type;
  auto copy = [&](GroupEdit& edit) {
    PlacedObject placed;
    placed.handle = writer_.drawing().takeHandle();
    copyRecord(writer_, s, 0, s.ownCount, placed.handle, writer_.owner(), app, edit, placed.text);
    out.push_back(std::move(placed));
  };
  auto cannot = [&](const char* reason) {
    why = reason;
    return false;
  };
  const Vec3 extrusion = pointOf(s, 210, {0, 0, 1});

  if (type == "3DFACE") {
    if (!s.face) s.face = faceGeometry(d, record);
    FaceEdit edit(writer_, a, s.face.value_or(FaceGeometry{}));
    copy(edit);
    return true;
  }
  if (type == "SOLID" || type == "TRACE") {
    auto pm = planeMap(a, extrusion);
    SolidGeometry g = solidGeometry(d, record).value_or(SolidGeometry{});
    if (type == "TRACE") g = readSolidGeometry(d.records().ownText(record), d.file().encoding());
    if (!pm || (g.thickness != 0 && !pm->keepsThickness)) {
      if (type == "TRACE") return cannot("can't be sheared");
      placeFaces(s, a, app, out);
      return true;
    }
    SolidEdit edit(writer_, *pm, g);
    edit.prepare(s);
    copy(edit);
    return true;
  }
  if (type == "LINE" || type == "POINT") {
    WorldEdit edit(writer_, a, {10, 11}, type == "LINE" ? 11 : 10);
    edit.prepare(s);
    copy(edit);
    return true;
  }
  if (type == "SPLINE") {
    SplineEdit edit(writer_, a);
    edit.prepare(s);
    copy(edit);
    return true;
  }
  if (type == "CIRCLE" || type == "ARC" || type == "TEXT" || type == "ATTDEF" || type == "LWPOLYLINE") {
    auto pm = planeMap(a, extrusion);
    if (!pm) return cannot("can't be flattened");
    if (realOf(s, 39) != 0 && !pm->keepsThickness) return cannot("has a thickness that can't be sheared");
    bool curved = type != "LWPOLYLINE";
    if (!curved)
      for (size_t i = 1; i < s.ownCount && !curved; ++i) {
        int c = s.groups[i].code;
        curved = (c == 40 || c == 41 || c == 42 || c == 43) && s.groups[i].real() != 0;
      }
    if (curved && !pm->inPlaneScale) return cannot("can't be scaled unevenly");
    if (type == "LWPOLYLINE") {
      LwPolylineEdit edit(writer_, *pm, s);
      copy(edit);
    } else if (type == "CIRCLE" || type == "ARC") {
      ArcEdit edit(writer_, *pm, realOf(s, 50), realOf(s, 51));
      edit.prepare(s);
      copy(edit);
    } else {
      TextEdit edit(writer_, *pm, s);
      copy(edit);
    }
    return true;
  }
  if (type == "ELLIPSE" || type == "MTEXT") {
    auto scale = similarityScale(a);
    if (!scale) return cannot("can't be scaled unevenly");
    if (type == "ELLIPSE") {
      EllipseEdit edit(writer_, a, s);
      copy(edit);
      return true;
    }
    if (a.mirrors()) return cannot("can't be mirrored");
    if (!s.has(11) && realOf(s, 50) != 0) return cannot("has a rotation but no direction");
    MTextEdit edit(writer_, a, *scale, s);
    copy(edit);
    return true;
  }
  if (type == "MESH") {
    MeshEdit edit(writer_, a);
    copy(edit);
    return true;
  }
  if (type == "POLYLINE") return placePolyline(s, a, app, out, why);
  if (type == "3DSOLID" || type == "BODY" || type == "REGION") {
    if (!placeSolidModel(s, a, app, out)) placeFaces(s, a, app, out);
    return true;
  }
  if (type == "INSERT") {
    if (!placeReference(record, a, app, out)) return cannot("can't be placed as one reference");
    return true;
  }
  return cannot("is of a kind EXPLODE can't place");
}

bool Placer::placePolyline(const SourceEntity& s, const Affine& a, const Appearance& app,
                           std::vector<PlacedObject>& out, std::string& why) {
  const int flags = static_cast<int>(s.find(70) ? s.find(70)->integer() : 0);
  const bool polyface = (flags & 64) != 0, mesh = !polyface && (flags & 16) != 0;
  const bool world = polyface || mesh || (flags & 8) != 0;
  PlacedObject placed;
  placed.handle = writer_.drawing().takeHandle();
  const std::string owner = formatHandle(placed.handle);
  auto vertexFlags = [&](size_t first, size_t last) {
    for (size_t i = first + 1; i < last; ++i)
      if (s.groups[i].code == 70) return static_cast<int>(s.groups[i].integer());
    return 0;
  };
  std::vector<std::string> records; // the VERTEX and SEQEND records, in order
  if (world) {
    NoEdit own;
    copyRecord(writer_, s, 0, s.ownCount, placed.handle, writer_.owner(), app, own, placed.text);
    PolyfaceVertexEdit edit(writer_, a);
    for (const auto& [first, last] : s.subRecords) {
      const int vf = vertexFlags(first, last);
      edit.setFaceRecord(s, first, last, polyface && (vf & 128) && !(vf & 64));
      records.emplace_back();
      copyRecord(writer_, s, first, last, writer_.drawing().takeHandle(), owner, app, edit, records.back());
    }
    if (mesh && a.mirrors()) {
      // A mirrored grid faces the other way unless each row runs backwards:
      // vertices of each kind (control, surface, plain) reversed within
      // their rows.
      const auto* n = s.find(72);
      const auto* sn = s.find(74);
      const bool smoothed = (flags & 4) != 0;
      std::vector<size_t> kinds[3];
      for (size_t k = 0; k < s.subRecords.size(); ++k) {
        if (trimBlanks(s.groups[s.subRecords[k].first].text()) != "VERTEX") continue;
        const int vf = vertexFlags(s.subRecords[k].first, s.subRecords[k].second);
        kinds[!smoothed ? 0 : (vf & 16) ? 1 : (vf & 8) ? 2 : 0].push_back(k);
      }
      const long long widths[3] = {n ? n->integer() : 0, n ? n->integer() : 0, sn ? sn->integer() : 0};
      std::vector<std::string> reordered = records;
      for (int kind = 0; kind < 3; ++kind) {
        const std::vector<size_t>& slots = kinds[kind];
        const long long w = widths[kind];
        if (slots.empty()) continue;
        if (w <= 0 || slots.size() % static_cast<size_t>(w) != 0) {
          placeFaces(s, a, app, out);
          return true;
        }
        for (size_t k = 0; k < slots.size(); ++k) {
          size_t row = k / static_cast<size_t>(w), col = k % static_cast<size_t>(w);
          reordered[slots[k]] = records[slots[row * static_cast<size_t>(w) + static_cast<size_t>(w) - 1 - col]];
        }
      }
      records = std::move(reordered);
    }
  } else {
    // A 2D polyline lies in its object coordinate system at the elevation
    // its own point gives.
    const Vec3 extrusion = pointOf(s, 210, {0, 0, 1});
    auto pm = planeMap(a, extrusion);
    if (!pm) {
      why = "can't be flattened";
      return false;
    }
    bool curved = false;
    for (size_t i = 1; i < s.groups.size() && !curved; ++i) {
      int c = s.groups[i].code;
      curved = (c == 40 || c == 41 || c == 42 || c == 50) && s.groups[i].real() != 0;
    }
    if ((curved && !pm->inPlaneScale) || (realOf(s, 39) != 0 && !pm->keepsThickness)) {
      why = "can't be scaled unevenly";
      return false;
    }
    const double elevation = pointOf(s, 10, {}).z;
    Polyline2dEdit own(writer_, *pm, elevation);
    own.prepare(s);
    copyRecord(writer_, s, 0, s.ownCount, placed.handle, writer_.owner(), app, own, placed.text);
    Vertex2dEdit edit(writer_, *pm, elevation);
    for (const auto& [first, last] : s.subRecords) {
      records.emplace_back();
      copyRecord(writer_, s, first, last, writer_.drawing().takeHandle(), owner, app, edit, records.back());
    }
  }
  for (const std::string& r : records) placed.text += r;
  out.push_back(std::move(placed));
  return true;
}

bool Placer::placeReference(const AcDbObjectRecord& reference, const Affine& a, const Appearance& app,
                            std::vector<PlacedObject>& out) {
  const SourceEntity& s = source(reference);
  InsertPlacement inner;
  inner.insertion = pointOf(s, 10, {});
  inner.scale = {realOf(s, 41, 1), realOf(s, 42, 1), realOf(s, 43, 1)};
  inner.rotation = realOf(s, 50) / kDegrees;
  inner.extrusion = pointOf(s, 210, {0, 0, 1});
  // The base point cancels out: any will do for the composition.
  auto p = insertPlacementOf(a * insertTransform(inner, {}), {});
  if (!p) return false;
  // Grid spacing follows the image of the grid's directions.
  const Affine innerFrame = objectToWorld(inner.extrusion) * rotationZ(inner.rotation);
  const Affine outerFrame = objectToWorld(p->extrusion) * rotationZ(p->rotation);
  const double columns = realOf(s, 44) * dot(a.applyLinear(innerFrame.applyLinear({1, 0, 0})),
                                            outerFrame.applyLinear({1, 0, 0}));
  const double rows = realOf(s, 45) * dot(a.applyLinear(innerFrame.applyLinear({0, 1, 0})),
                                         outerFrame.applyLinear({0, 1, 0}));
  PlacedObject placed;
  placed.handle = writer_.drawing().takeHandle();
  InsertEdit edit(writer_, *p, columns, rows, s.has(210));
  copyRecord(writer_, s, 0, s.ownCount, placed.handle, writer_.owner(), app, edit, placed.text);
  const std::string owner = formatHandle(placed.handle);
  for (const auto& [first, last] : s.subRecords) {
    std::string record;
    if (trimBlanks(s.groups[first].text()) == "ATTRIB") {
      Vec3 extrusion{0, 0, 1};
      for (size_t i = first + 1; i < last; ++i)
        if (s.groups[i].code == 210) extrusion = readPoint(s, i);
      auto pm = planeMap(a, extrusion);
      if (!pm || !pm->inPlaneScale) return false;
      // TextEdit reads the attribute's own groups.
      SourceEntity attrib;
      attrib.groups.assign(s.groups.begin() + static_cast<std::ptrdiff_t>(first),
                           s.groups.begin() + static_cast<std::ptrdiff_t>(last));
      attrib.ownCount = attrib.groups.size();
      attrib.text = s.text;
      TextEdit text(writer_, *pm, attrib);
      copyRecord(writer_, s, first, last, writer_.drawing().takeHandle(), owner, app, text, record);
    } else {
      NoEdit none;
      copyRecord(writer_, s, first, last, writer_.drawing().takeHandle(), owner, app, none, record);
    }
    placed.text += record;
  }
  out.push_back(std::move(placed));
  return true;
}

void Placer::placeMeshAsPolyfaces(const AcDbObjectRecord& record, const Affine& a, const Appearance& app,
                                  std::vector<PlacedObject>& out) {
  const SourceEntity& s = source(record);
  MeshGeometry mesh = readMeshGeometry(s);
  for (Vec3& v : mesh.vertices) v = a.apply(v);
  std::vector<BlockFace> faces;
  for (std::vector<int>& f : mesh.faces) {
    if (a.mirrors()) std::reverse(f.begin() + 1, f.end());
    splitFace(f, mesh.vertices, faces);
  }
  const Drawing& d = writer_.drawing();
  writePolyfaces(writer_, placedLayer(d.layerName(record), app), placedColor(d.colorIndex(record), app), s.xdata(),
                 mesh.vertices, faces, out);
}

void Placer::placeFaces(const SourceEntity& s, const Affine& a, const Appearance& app,
                        std::vector<PlacedObject>& out) {
  const Drawing& d = writer_.drawing();
  std::string note;
  EntityFaces faces = buildFaces(d, *s.record, chordTolerance(), note);
  if (!faces.block) return;
  // Face blocks hold world coordinates (the transform beside them only
  // tells the object's frame).
  FaceBlock& block = *faces.block;
  for (Vec3& v : block.vertices) v = a.apply(v);
  if (a.mirrors())
    for (BlockFace& f : block.faces) {
      std::reverse(f.corners.begin() + 1, f.corners.begin() + f.cornerCount);
      int bits = 0;
      for (int k = 0; k < f.cornerCount; ++k) {
        // The reversed face's edge from corner k is the old edge that ended there.
        int old = k == 0 ? f.cornerCount - 1 : f.cornerCount - 1 - k;
        if ((f.invisibleEdges >> old) & 1) bits |= 1 << k;
      }
      f.invisibleEdges = bits;
    }
  writePolyfaces(writer_, placedLayer(d.layerName(*s.record), app), placedColor(d.colorIndex(*s.record), app),
                 s.xdata(), block.vertices, block.faces, out);
}

bool Placer::placeSolidModel(const SourceEntity& s, const Affine& a, const Appearance& app,
                             std::vector<PlacedObject>& out) {
  auto scale = similarityScale(a);
  if (!scale) return false;
  solids::ModelMap map;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) map.q[i][j] = a.m[i][j] / *scale;
  map.scale = *scale;
  map.translation = a.t;
  const Drawing& d = writer_.drawing();
  SolidModelData data = solidModelData(d, *s.record).value_or(SolidModelData{});
  PlacedObject placed;
  std::string reason;
  if (!data.binary.empty()) {
    if (!solids::transformModelBinary(data.binary, map, reason)) return false;
    placed.handle = writer_.drawing().takeHandle();
    placed.solidRecord = solidRecordFor(writer_, d.records().solidModelRecord(*s.record), placed.handle, data.binary);
    NoEdit none;
    copyRecord(writer_, s, 0, s.ownCount, placed.handle, writer_.owner(), app, none, placed.text);
  } else {
    std::string text;
    std::vector<std::pair<int, std::string>> groups;
    if (data.textGroups.empty() || !solids::decodeModelText(data, text, reason) ||
        !solids::transformModelText(text, map, reason) || !solids::encodeModelText(text, groups))
      return false;
    placed.handle = writer_.drawing().takeHandle();
    ModelTextEdit edit(writer_, groups);
    copyRecord(writer_, s, 0, s.ownCount, placed.handle, writer_.owner(), app, edit, placed.text);
  }
  out.push_back(std::move(placed));
  return true;
}

} // namespace corvane
