#include "solids/solid_model.h"

#include <cmath>
#include <string_view>
#include <unordered_set>

namespace corvane::solids {
namespace {

std::string_view lastPart(std::string_view kind) {
  size_t p = kind.rfind('-');
  return p == std::string_view::npos ? kind : kind.substr(p + 1);
}
std::string_view firstPart(std::string_view kind) {
  size_t p = kind.find('-');
  return p == std::string_view::npos ? kind : kind.substr(0, p);
}

bool isNumber(const SatValue& v) { return v.kind == SatKind::Integer || v.kind == SatKind::Double; }

// Sequential access to a record's values past the common entity prefix
// (attribute reference; from version 6 on also an id and a history
// reference, recognised by their shape).
class Fields {
public:
  Fields(const SatRecord& r, int version, bool hasAttrib = true) : r_(r) {
    if (hasAttrib && i_ < r_.values.size() && r_.values[i_].kind == SatKind::Pointer) ++i_;
    if (version >= 600 && i_ + 1 < r_.values.size() && r_.values[i_].kind == SatKind::Integer &&
        r_.values[i_ + 1].kind == SatKind::Pointer)
      i_ += 2;
  }
  bool atEnd() const { return i_ >= r_.values.size(); }
  const SatValue* peek(size_t ahead = 0) const {
    return i_ + ahead < r_.values.size() ? &r_.values[i_ + ahead] : nullptr;
  }
  bool pointer(int64_t& p) {
    const SatValue* v = peek();
    if (!v || v->kind != SatKind::Pointer) return false;
    p = v->integer;
    ++i_;
    return true;
  }
  bool number(double& d) {
    const SatValue* v = peek();
    if (!v || !isNumber(*v)) return false;
    d = v->number;
    ++i_;
    return true;
  }
  bool vec(Vec3& out) {
    const SatValue* v = peek();
    if (v && v->kind == SatKind::Vector) {
      out = v->vec;
      ++i_;
      return true;
    }
    double c[3];
    size_t save = i_;
    for (double& x : c) {
      if (!number(x)) {
        i_ = save;
        return false;
      }
    }
    out = {c[0], c[1], c[2]};
    return true;
  }
  // A two-valued enumeration: keyword `trueWord`, a binary true, or a
  // non-zero integer mean true. Absent values leave `out` unchanged.
  bool flag(bool& out, std::string_view trueWord) {
    const SatValue* v = peek();
    if (!v) return false;
    switch (v->kind) {
    case SatKind::Word: out = v->text == trueWord; break;
    case SatKind::True: out = true; break;
    case SatKind::False: out = false; break;
    case SatKind::Integer: out = v->integer != 0; break;
    default: return false;
    }
    ++i_;
    return true;
  }
  // One end of a parameter interval: "I" / "F value", binary false / true
  // value, or in old files 0 / 1 value. Returns false if none is there.
  bool intervalEnd() {
    const SatValue* v = peek();
    if (!v) return false;
    bool finite = false;
    if (v->kind == SatKind::Word && (v->text == "I" || v->text == "F")) finite = v->text == "F";
    else if (v->kind == SatKind::True || v->kind == SatKind::False) finite = v->kind == SatKind::True;
    else if (v->kind == SatKind::Integer && (v->integer == 0 || v->integer == 1)) finite = v->integer == 1;
    else return false;
    ++i_;
    if (finite) {
      double d;
      if (!number(d)) return false;
    }
    return true;
  }
  void skip(size_t n) { i_ = std::min(r_.values.size(), i_ + n); }
  size_t index() const { return i_; }
  void seek(size_t i) { i_ = i; }

private:
  const SatRecord& r_;
  size_t i_ = 0;
};

class Builder {
public:
  Builder(const SatDocument& doc, SolidModel& model, std::string& reason)
      : doc_(doc), m_(model), reason_(reason), vertexOf_(doc.records.size(), -1), edgeOf_(doc.records.size(), -1),
        curveOf_(doc.records.size(), -1), surfaceOf_(doc.records.size(), -1), faceOf_(doc.records.size(), -1) {}

  bool run() {
    for (size_t r = 0; r < doc_.records.size(); ++r) {
      if (lastPart(doc_.records[r].kind) == "body") {
        if (!body(int64_t(r))) return false;
      }
    }
    if (m_.bodies.empty()) return fail("solid model has no body");
    return true;
  }

private:
  bool fail(std::string why) {
    reason_ = std::move(why);
    return false;
  }
  const SatRecord& rec(int64_t r) const { return doc_.records[size_t(r)]; }
  // Checks that reference `r` (from record `from`) names a record whose kind
  // ends with `want`.
  bool expect(int64_t r, std::string_view want, int64_t from) {
    if (r < 0 || r >= int64_t(doc_.records.size()))
      return fail("record " + std::to_string(from) + " refers to missing record " + std::to_string(r));
    if (lastPart(rec(r).kind) != want)
      return fail("record " + std::to_string(from) + " refers to record " + std::to_string(r) + " (" + rec(r).kind +
                  ") where a " + std::string(want) + " belongs");
    return true;
  }
  bool field(bool ok, int64_t r, const char* what) {
    if (!ok) return fail("record " + std::to_string(r) + " (" + rec(r).kind + ") lacks its " + what);
    return true;
  }
  void warn(std::string w) {
    for (const std::string& e : m_.warnings)
      if (e == w) return;
    m_.warnings.push_back(std::move(w));
  }

  bool body(int64_t r) {
    Fields f(rec(r), doc_.version);
    int64_t lump = -1, wire = -1, xf = -1;
    if (!field(f.pointer(lump), r, "lump reference")) return false;
    f.pointer(wire);
    f.pointer(xf);
    Body b;
    if (xf >= 0) {
      if (!expect(xf, "transform", r) || !transform(xf, b.transform)) return false;
    }
    std::unordered_set<int64_t> shells;
    std::unordered_set<int64_t> seen;
    for (int64_t l = lump; l != -1;) {
      if (!expect(l, "lump", r) || !seen.insert(l).second) {
        if (seen.count(l)) return fail("lump chain of record " + std::to_string(r) + " loops");
        return false;
      }
      Fields lf(rec(l), doc_.version);
      int64_t next = -1, shell = -1;
      if (!field(lf.pointer(next) && lf.pointer(shell), l, "references")) return false;
      for (int64_t s = shell; s != -1;) {
        if (!expect(s, "shell", l)) return false;
        if (!shells.insert(s).second) return fail("shell chain of record " + std::to_string(l) + " loops");
        Fields sf(rec(s), doc_.version);
        int64_t snext = -1, sub = -1, face = -1;
        if (!field(sf.pointer(snext) && sf.pointer(sub) && sf.pointer(face), s, "references")) return false;
        for (int64_t fc = face; fc != -1;) {
          if (!expect(fc, "face", s)) return false;
          if (faceOf_[size_t(fc)] != -1) break; // chain met a face already read
          int64_t fnext = -1;
          if (!this->face(fc, fnext, b)) return false;
          fc = fnext;
        }
        s = snext;
      }
      l = next;
    }
    // Faces held by subshells are reached through their shell reference.
    for (size_t fc = 0; fc < doc_.records.size(); ++fc) {
      if (faceOf_[fc] != -1 || lastPart(doc_.records[fc].kind) != "face") continue;
      Fields ff(doc_.records[fc], doc_.version);
      int64_t n = -1, lp = -1, sh = -1;
      if (ff.pointer(n) && ff.pointer(lp) && ff.pointer(sh) && shells.count(sh)) {
        int64_t dummy;
        if (!face(int64_t(fc), dummy, b)) return false;
      }
    }
    if (wire != -1 && b.faces.empty()) warn("wire bodies have no faces to show");
    m_.bodies.push_back(std::move(b));
    return true;
  }

  bool transform(int64_t r, Transform& t) {
    const SatRecord& x = rec(r);
    // A binary writer may keep the whole transform as one text value.
    SatRecord parsed;
    const SatRecord* src = &x;
    for (const SatValue& v : x.values) {
      if (v.kind == SatKind::String && v.text.find(' ') != std::string::npos) {
        parsed.kind = x.kind;
        std::string_view s = v.text;
        size_t p = 0;
        while (p < s.size()) {
          while (p < s.size() && s[p] == ' ') ++p;
          size_t b = p;
          while (p < s.size() && s[p] != ' ') ++p;
          if (p > b) {
            SatValue n;
            std::string tok(s.substr(b, p - b));
            char* end = nullptr;
            n.number = std::strtod(tok.c_str(), &end);
            if (end && *end == 0 && std::isfinite(n.number)) n.kind = SatKind::Double;
            else {
              n.kind = SatKind::Word;
              n.text = tok;
            }
            parsed.values.push_back(std::move(n));
          }
        }
        src = &parsed;
        break;
      }
    }
    Fields f(*src, doc_.version, src == &x);
    if (src == &x) f.seek(transformMatrixSlot(x, doc_.version));
    Vec3 rows[3];
    for (Vec3& row : rows)
      if (!field(f.vec(row), r, "matrix")) return false;
    if (!field(f.vec(t.translation), r, "translation")) return false;
    double s = 1;
    if (f.number(s)) t.scale = s;
    for (int i = 0; i < 3; ++i) {
      t.rows[i][0] = rows[i].x;
      t.rows[i][1] = rows[i].y;
      t.rows[i][2] = rows[i].z;
    }
    if (!(std::fabs(t.scale) > 1e-12) || !std::isfinite(t.scale) || !isFinite(t.translation))
      return fail("transform record " + std::to_string(r) + " has an unusable scale");
    return true;
  }

  bool face(int64_t r, int64_t& next, Body& b) {
    Fields f(rec(r), doc_.version);
    int64_t loop = -1, shell = -1, sub = -1, surf = -1;
    next = -1;
    if (!field(f.pointer(next) && f.pointer(loop) && f.pointer(shell) && f.pointer(sub) && f.pointer(surf), r,
               "references"))
      return false;
    Face fc;
    f.flag(fc.reversed, "reversed");
    f.flag(fc.doubleSided, "double");
    if (surf == -1) {
      fc.surface = -1;
      warn("a face without a surface was approximated");
    } else {
      if (!expect(surf, "surface", r)) return false;
      fc.surface = surface(surf);
      if (fc.surface < 0) return false;
    }
    std::unordered_set<int64_t> seen;
    for (int64_t l = loop; l != -1;) {
      if (!expect(l, "loop", r)) return false;
      if (!seen.insert(l).second) return fail("loop chain of face record " + std::to_string(r) + " loops");
      Fields lf(rec(l), doc_.version);
      int64_t lnext = -1, first = -1;
      if (!field(lf.pointer(lnext) && lf.pointer(first), l, "references")) return false;
      Loop lp;
      std::unordered_set<int64_t> seenCoedges;
      for (int64_t c = first; c != -1;) {
        if (!expect(c, "coedge", l)) return false;
        if (!seenCoedges.insert(c).second) {
          if (c == first) break;
          return fail("coedge ring of loop record " + std::to_string(l) + " does not close");
        }
        Fields cf(rec(c), doc_.version);
        int64_t cnext = -1, prev = -1, partner = -1, edge = -1;
        if (!field(cf.pointer(cnext) && cf.pointer(prev) && cf.pointer(partner) && cf.pointer(edge), c, "references"))
          return false;
        Coedge ce;
        cf.flag(ce.reversed, "reversed");
        if (!expect(edge, "edge", c)) return false;
        ce.edge = this->edge(edge);
        if (ce.edge < 0) return false;
        lp.coedges.push_back(ce);
        c = cnext;
      }
      if (!lp.coedges.empty()) fc.loops.push_back(std::move(lp));
      l = lnext;
    }
    faceOf_[size_t(r)] = int(m_.faces.size());
    b.faces.push_back(int(m_.faces.size()));
    m_.faces.push_back(std::move(fc));
    return true;
  }

  int edge(int64_t r) {
    if (edgeOf_[size_t(r)] != -1) return edgeOf_[size_t(r)];
    Fields f(rec(r), doc_.version);
    int64_t v0 = -1, v1 = -1, coedge = -1, curve = -1;
    double param;
    if (!field(f.pointer(v0), r, "start vertex")) return -1;
    f.number(param);
    if (!field(f.pointer(v1), r, "end vertex")) return -1;
    f.number(param);
    if (!field(f.pointer(coedge) && f.pointer(curve), r, "references")) return -1;
    Edge e;
    f.flag(e.reversed, "reversed");
    if (!expect(v0, "vertex", r) || !expect(v1, "vertex", r)) return -1;
    e.start = vertex(v0);
    e.end = vertex(v1);
    if (e.start < 0 || e.end < 0) return -1;
    if (curve != -1) {
      if (!expect(curve, "curve", r)) return -1;
      e.curve = this->curve(curve);
      if (e.curve < 0) return -1;
    }
    edgeOf_[size_t(r)] = int(m_.edges.size());
    m_.edges.push_back(e);
    return edgeOf_[size_t(r)];
  }

  int vertex(int64_t r) {
    if (vertexOf_[size_t(r)] != -1) return vertexOf_[size_t(r)];
    Fields f(rec(r), doc_.version);
    int64_t p = -1;
    // The point is the first reference to a point record (some writers put
    // a count between the edge and the point).
    for (int i = 0; i < 4 && !f.atEnd(); ++i) {
      if (f.pointer(p)) {
        if (p >= 0 && p < int64_t(doc_.records.size()) && lastPart(rec(p).kind) == "point") break;
      } else {
        f.skip(1);
      }
      p = -1;
    }
    if (p == -1) {
      fail("vertex record " + std::to_string(r) + " has no point");
      return -1;
    }
    Fields pf(rec(p), doc_.version);
    Vec3 pos;
    if (!field(pf.vec(pos), p, "coordinates")) return -1;
    vertexOf_[size_t(r)] = int(m_.vertices.size());
    m_.vertices.push_back(pos);
    return vertexOf_[size_t(r)];
  }

  int curve(int64_t r) {
    if (curveOf_[size_t(r)] != -1) return curveOf_[size_t(r)];
    Fields f(rec(r), doc_.version);
    Curve c;
    c.kind = rec(r).kind;
    std::string_view type = firstPart(rec(r).kind);
    bool ok = true;
    if (type == "straight") {
      ok = f.vec(c.origin) && f.vec(c.direction) && length(c.direction) > 0;
      c.direction = normalized(c.direction);
      c.type = CurveType::Straight;
    } else if (type == "ellipse") {
      ok = f.vec(c.centre) && f.vec(c.normal) && f.vec(c.major) && f.number(c.ratio) && length(c.normal) > 0 &&
           length(c.major) > 0 && c.ratio > 0;
      c.normal = normalized(c.normal);
      c.type = CurveType::Ellipse;
    } else if (type == "intcurve") {
      readIntcurve(f, c);
    }
    if (!ok) {
      fail("curve record " + std::to_string(r) + " (" + c.kind + ") is malformed");
      return -1;
    }
    if (c.type == CurveType::Unknown) warn("edges on " + c.kind + " were approximated by straight lines");
    curveOf_[size_t(r)] = int(m_.curves.size());
    m_.curves.push_back(std::move(c));
    return curveOf_[size_t(r)];
  }

  int surface(int64_t r) {
    if (surfaceOf_[size_t(r)] != -1) return surfaceOf_[size_t(r)];
    Fields f(rec(r), doc_.version);
    Surface s;
    s.kind = rec(r).kind;
    std::string_view type = firstPart(rec(r).kind);
    bool ok = true;
    if (type == "plane") {
      ok = f.vec(s.origin) && f.vec(s.normal) && length(s.normal) > 0;
      s.normal = normalized(s.normal);
      s.type = SurfaceType::Plane;
    } else if (type == "cone") {
      ok = f.vec(s.origin) && f.vec(s.normal) && f.vec(s.major) && f.number(s.ratio) && length(s.normal) > 0 &&
           length(s.major) > 0 && s.ratio != 0;
      // Some versions store the base ellipse's parameter range here; the
      // half angle's sine and cosine follow (their squares add up to one).
      if (ok) {
        size_t at = f.index();
        double a = 0, b = 0;
        bool direct = f.number(a) && f.number(b) && std::fabs(a * a + b * b - 1) < 1e-6;
        f.seek(at);
        if (!direct) ok = f.intervalEnd() && f.intervalEnd();
        ok = ok && f.number(s.sinAngle) && f.number(s.cosAngle);
        ok = ok && std::fabs(s.sinAngle * s.sinAngle + s.cosAngle * s.cosAngle - 1) < 1e-6 &&
             std::fabs(s.cosAngle) > 1e-9;
      }
      s.normal = normalized(s.normal);
      s.type = SurfaceType::Cone;
    } else if (type == "sphere") {
      ok = f.vec(s.origin) && f.number(s.radius) && s.radius != 0;
      Vec3 ref{1, 0, 0}, pole{0, 0, 1};
      if (ok && f.vec(ref)) f.vec(pole);
      if (length(pole) == 0) pole = {0, 0, 1};
      s.normal = normalized(pole);
      s.major = normalized(ref - s.normal * dot(ref, s.normal));
      if (length(s.major) == 0) s.major = anyPerpendicular(s.normal);
      s.type = SurfaceType::Sphere;
    } else if (type == "torus") {
      ok = f.vec(s.origin) && f.vec(s.normal) && f.number(s.radius) && f.number(s.minorRadius) &&
           length(s.normal) > 0 && s.minorRadius != 0;
      s.normal = normalized(s.normal);
      Vec3 ref;
      if (ok && f.vec(ref)) s.major = normalized(ref - s.normal * dot(ref, s.normal));
      if (length(s.major) == 0) s.major = anyPerpendicular(s.normal);
      s.type = SurfaceType::Torus;
    } else if (type == "spline") {
      readSplineSurface(f, s);
    }
    if (!ok) {
      fail("surface record " + std::to_string(r) + " (" + s.kind + ") is malformed");
      return -1;
    }
    if (s.type == SurfaceType::Unknown) warn("faces on " + s.kind + " were approximated by flat pieces");
    surfaceOf_[size_t(r)] = int(m_.surfaces.size());
    m_.surfaces.push_back(std::move(s));
    return surfaceOf_[size_t(r)];
  }

  // Inside a "{ ... }" block: moves to the first "nubs"/"nurbs" keyword.
  static bool findSplineData(Fields& f, bool& rational) {
    int depth = 0;
    for (const SatValue* v = f.peek(); v; v = f.peek()) {
      if (v->kind == SatKind::Open) ++depth;
      if (v->kind == SatKind::Close && --depth < 0) return false;
      if ((v->kind == SatKind::Word || v->kind == SatKind::String) && (v->text == "nubs" || v->text == "nurbs")) {
        rational = v->text == "nurbs";
        f.skip(1);
        return true;
      }
      // Only the block's own leading keywords and numbers are searched.
      if (v->kind == SatKind::Word && (v->text == "null_surface" || v->text == "nullbs")) return false;
      f.skip(1);
    }
    return false;
  }
  static bool word(Fields& f, std::string& out) {
    const SatValue* v = f.peek();
    if (!v || (v->kind != SatKind::Word && v->kind != SatKind::String)) return false;
    out = v->text;
    f.skip(1);
    return true;
  }
  static bool count(Fields& f, int& n, int limit) {
    double d;
    if (!f.number(d) || d < 0 || d > limit || d != std::floor(d)) return false;
    n = int(d);
    return true;
  }
  static bool knotList(Fields& f, int n, std::vector<double>& values, std::vector<int>& mult) {
    for (int i = 0; i < n; ++i) {
      double v, m;
      if (!f.number(v) || !f.number(m) || m < 1 || m > 64 || m != std::floor(m)) return false;
      values.push_back(v);
      mult.push_back(int(m));
    }
    return true;
  }

  void readIntcurve(Fields& f, Curve& c) {
    bool rev = false;
    f.flag(rev, "reversed");
    bool rational = false;
    if (!findSplineData(f, rational)) return;
    int degree = 0, nk = 0;
    std::string closure;
    if (!count(f, degree, 15)) return;
    word(f, closure);
    if (!count(f, nk, 100000)) return;
    std::vector<double> values;
    std::vector<int> mult;
    if (!knotList(f, nk, values, mult)) return;
    int sum = 0;
    for (int m : mult) sum += m;
    int per = rational ? 4 : 3;
    // Control points: as many as the knots imply (end knots stored with
    // multiplicity degree or degree + 1).
    for (int cps : {sum - degree + 1, sum - degree - 1}) {
      if (cps < degree + 1) continue;
      size_t at = f.index();
      BSplineCurve sp;
      sp.degree = degree;
      bool ok = expandKnots(values, mult, degree, cps, sp.knots);
      for (int i = 0; ok && i < cps; ++i) {
        Vec3 p;
        double w = 1;
        ok = f.vec(p) && (per == 3 || f.number(w));
        sp.points.push_back(p);
        if (rational) sp.weights.push_back(w);
      }
      if (ok && sp.isValid()) {
        c.spline = std::move(sp);
        c.splineReversed = rev;
        c.type = CurveType::Spline;
        return;
      }
      f.seek(at);
    }
  }

  void readSplineSurface(Fields& f, Surface& s) {
    bool rev = false;
    f.flag(rev, "reversed");
    bool rational = false;
    if (!findSplineData(f, rational)) return;
    int du = 0, dv = 0, nu = 0, nv = 0;
    std::string w;
    if (!count(f, du, 15) || !count(f, dv, 15)) return;
    // Closure and singularity keywords in u and v.
    for (int i = 0; i < 4 && word(f, w); ++i) {}
    if (!count(f, nu, 100000) || !count(f, nv, 100000)) return;
    std::vector<double> ku, kv;
    std::vector<int> mu, mv;
    if (!knotList(f, nu, ku, mu) || !knotList(f, nv, kv, mv)) return;
    int su = 0, sv = 0;
    for (int m : mu) su += m;
    for (int m : mv) sv += m;
    for (int endExtra : {0, 2}) {
      int cu = su - du + 1 - endExtra, cv = sv - dv + 1 - endExtra;
      if (cu < du + 1 || cv < dv + 1) continue;
      if (double(cu) * cv * 3 > double(f.index() + 100000000)) continue;
      size_t at = f.index();
      BSplineSurface sp;
      sp.degreeU = du;
      sp.degreeV = dv;
      sp.countU = cu;
      sp.countV = cv;
      bool ok = expandKnots(ku, mu, du, cu, sp.knotsU) && expandKnots(kv, mv, dv, cv, sp.knotsV);
      for (int i = 0; ok && i < cu * cv; ++i) {
        Vec3 p;
        double wt = 1;
        ok = f.vec(p) && (!rational || f.number(wt));
        if (!ok) break;
        sp.points.push_back(p);
        if (rational) sp.weights.push_back(wt);
      }
      if (ok && sp.isValid()) {
        s.spline = std::move(sp);
        s.splineReversed = rev;
        s.type = SurfaceType::Spline;
        return;
      }
      f.seek(at);
    }
  }

  const SatDocument& doc_;
  SolidModel& m_;
  std::string& reason_;
  std::vector<int> vertexOf_, edgeOf_, curveOf_, surfaceOf_, faceOf_;
};

} // namespace

size_t bodyTransformSlot(const SatRecord& body, int version) {
  Fields f(body, version);
  int64_t lump = -1, wire = -1, xf = -1;
  if (!f.pointer(lump) || !f.pointer(wire)) return SIZE_MAX;
  size_t slot = f.index();
  return f.pointer(xf) ? slot : SIZE_MAX;
}

size_t transformMatrixSlot(const SatRecord& transform, int version) {
  for (const SatValue& v : transform.values)
    if (v.kind == SatKind::String && v.text.find(' ') != std::string::npos) return SIZE_MAX;
  Fields f(transform, version);
  // From version 6 on a transform carries an id but no history reference.
  if (version >= 600 && f.peek() && f.peek()->kind == SatKind::Integer) {
    size_t numbers = 0;
    while (f.peek(numbers) && isNumber(*f.peek(numbers))) ++numbers;
    const SatValue* after = f.peek(1);
    if ((after && after->kind == SatKind::Vector) || numbers >= 14) f.skip(1);
  }
  return f.index();
}

bool Transform::reflects() const {
  const double(*a)[3] = rows;
  double det = a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
  return det * scale < 0;
}

double Transform::lengthScale() const {
  double m = 0;
  for (const auto& row : rows) m = std::max(m, std::sqrt(row[0] * row[0] + row[1] * row[1] + row[2] * row[2]));
  return m * std::fabs(scale);
}

bool buildSolidModel(const SatDocument& doc, SolidModel& model, std::string& reason) {
  model = SolidModel{};
  Builder b(doc, model, reason);
  return b.run();
}

} // namespace corvane::solids
