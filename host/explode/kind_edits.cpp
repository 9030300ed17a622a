#include "explode/kind_edits.h"

#include <algorithm>
#include <cmath>

namespace corvane {

namespace {

bool isZ(const Vec3& v) { return v.x == 0 && v.y == 0 && v.z > 0; }

// A y or z group of one of POINTS whose x was not there to take it.
bool strayCoordinate(int code, const PointCodes& points) {
  for (int p : points)
    if (code == p + 10 || code == p + 20) return true;
  return false;
}

bool isCornerCode(int code) {
  return (code >= 10 && code <= 13) || (code >= 20 && code <= 23) || (code >= 30 && code <= 33);
}

} // namespace

// ---- reading a source's groups ---------------------------------------------------

double degrees(double d) {
  d = std::fmod(d, 360.0);
  if (d < 0) d += 360.0;
  return d == 360.0 ? 0.0 : d;
}

Vec3 readPoint(const SourceEntity& s, size_t& i, double z) {
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

double realOf(const SourceEntity& s, int code, double fallback) {
  const DxfGroupView* g = s.find(code);
  return g ? g->real() : fallback;
}

// ---- points, thickness and extrusion ------------------------------------------------

bool FrameEdit::group(const SourceEntity& s, size_t& i, std::string& out) {
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

void FrameEdit::writeMissingExtrusion(std::string& out) {
  if (!hasExtrusion_ && !isZ(extrusion_)) w_.point(out, 210, extrusion_);
  hasExtrusion_ = true;
}

void WorldEdit::prepare(const SourceEntity& s) {
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

bool PlaneEdit::polylineGroup(const SourceEntity& s, size_t i, std::string& out) {
  const int code = s.groups[i].code;
  if (code == 20 || code == 30) return true;
  if (code != 40 && code != 41) return false;
  w_.real(out, code, s.groups[i].real() * scale());
  return true;
}

double PlaneEdit::angle(double d) const {
  const double phi = pm_.inPlaneRotation * kDegrees;
  return degrees(pm_.inPlaneMirror ? phi - d : phi + d);
}

// ---- kinds in world coordinates ----------------------------------------------------------

bool SplineEdit::group(const SourceEntity& s, size_t& i, std::string& out) {
  const int code = s.groups[i].code;
  if (code == 12 || code == 13) {
    w_.point(out, code, a_.applyLinear(readPoint(s, i)));
    return true;
  }
  if (code == 22 || code == 23 || code == 32 || code == 33) return true;
  return WorldEdit::group(s, i, out);
}

FaceEdit::FaceEdit(const CopyWriter& w, const Affine& a, const FaceGeometry& face) : w_(w) {
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

bool FaceEdit::group(const SourceEntity& s, size_t& i, std::string& out) {
  const int code = s.groups[i].code;
  if (isCornerCode(code)) {
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

void PolyfaceVertexEdit::setFaceRecord(const SourceEntity& s, size_t first, size_t last, bool face) {
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

bool PolyfaceVertexEdit::group(const SourceEntity& s, size_t& i, std::string& out) {
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

bool MeshEdit::group(const SourceEntity& s, size_t& i, std::string& out) {
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
      if (last > first)
        std::reverse(list.begin() + static_cast<std::ptrdiff_t>(first) + 1,
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

EllipseEdit::EllipseEdit(const CopyWriter& w, const Affine& a, const SourceEntity& s)
    : WorldEdit(w, a, {10}, 10, true), start_(realOf(s, 41)), end_(realOf(s, 42, 2 * kPi)) {
  prepare(s);
}

bool EllipseEdit::group(const SourceEntity& s, size_t& i, std::string& out) {
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

MTextEdit::MTextEdit(const CopyWriter& w, const Affine& a, double scale, const SourceEntity& s)
    : WorldEdit(w, a, {10}, -1, true), scale_(scale), hasDirection_(s.has(11)) {
  prepare(s);
  const Vec3 e = pointOf(s, 210, {0, 0, 1});
  direction_ = normalized(a.applyLinear(pointOf(s, 11, objectToWorld(e).applyLinear({1, 0, 0}))));
}

bool MTextEdit::group(const SourceEntity& s, size_t& i, std::string& out) {
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
  case 46: w_.real(out, code, s.groups[i].real() * scale_); return true;
  default: return WorldEdit::group(s, i, out);
  }
}

// ---- planar kinds --------------------------------------------------------------------------

SolidEdit::SolidEdit(const CopyWriter& w, const PlaneMap& pm, const SolidGeometry& g) : PlaneEdit(w, pm, {}, -1) {
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

bool SolidEdit::group(const SourceEntity& s, size_t& i, std::string& out) {
  const int code = s.groups[i].code;
  if (isCornerCode(code)) {
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

bool ArcEdit::group(const SourceEntity& s, size_t& i, std::string& out) {
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

TextEdit::TextEdit(const CopyWriter& w, const PlaneMap& pm, const SourceEntity& s)
    : PlaneEdit(w, pm, {10, 11}, 10), rotation_(realOf(s, 50)), hasRotation_(s.has(50)), hasFlags_(s.has(71)) {
  prepare(s);
}

bool TextEdit::group(const SourceEntity& s, size_t& i, std::string& out) {
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

LwPolylineEdit::LwPolylineEdit(const CopyWriter& w, const PlaneMap& pm, const SourceEntity& s)
    : PlaneEdit(w, pm, {}, -1), elevation_(realOf(s, 38)), hasElevation_(s.has(38)) {
  prepare(s);
  newElevation_ = pm.toNewObject.apply({0, 0, elevation_}).z;
}

bool LwPolylineEdit::group(const SourceEntity& s, size_t& i, std::string& out) {
  const int code = s.groups[i].code;
  switch (code) {
  case 38: w_.real(out, 38, newElevation_); return true;
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
  case 20: return true;
  case 40:
  case 41:
  case 43: w_.real(out, code, s.groups[i].real() * scale()); return true;
  case 42: w_.real(out, 42, pm_.inPlaneMirror ? -s.groups[i].real() : s.groups[i].real()); return true;
  default: return PlaneEdit::group(s, i, out);
  }
}

Polyline2dEdit::Polyline2dEdit(const CopyWriter& w, const PlaneMap& pm, double elevation) : PlaneEdit(w, pm, {}, -1) {
  elevation_ = pm.toNewObject.apply({0, 0, elevation}).z;
}

bool Polyline2dEdit::group(const SourceEntity& s, size_t& i, std::string& out) {
  const int code = s.groups[i].code;
  switch (code) {
  case 10:
    readPoint(s, i);
    w_.point(out, 10, {0, 0, elevation_});
    writeMissingExtrusion(out);
    return true;
  default: return polylineGroup(s, i, out) || PlaneEdit::group(s, i, out);
  }
}

bool Vertex2dEdit::group(const SourceEntity& s, size_t& i, std::string& out) {
  const int code = s.groups[i].code;
  switch (code) {
  case 10: w_.point(out, 10, pm_.toNewObject.apply(readPoint(s, i, elevation_))); return true;
  case 42: w_.real(out, 42, pm_.inPlaneMirror ? -s.groups[i].real() : s.groups[i].real()); return true;
  case 50: w_.real(out, 50, angle(s.groups[i].real())); return true;
  default: return polylineGroup(s, i, out);
  }
}

// ---- solid models and block references --------------------------------------------------

bool ModelTextEdit::group(const SourceEntity& s, size_t& i, std::string& out) {
  const int code = s.groups[i].code;
  if (code != 1 && code != 3) return false;
  if (!written_)
    for (const auto& [c, v] : groups_) w_.group(out, c, v);
  written_ = true;
  return true;
}

bool InsertEdit::group(const SourceEntity& s, size_t& i, std::string& out) {
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
  case 50: return true;
  case 44: w_.real(out, 44, columnSpacing_); return true;
  case 45: w_.real(out, 45, rowSpacing_); return true;
  case 210:
    readPoint(s, i);
    w_.point(out, 210, p_.extrusion);
    return true;
  default: return false;
  }
}

} // namespace corvane
