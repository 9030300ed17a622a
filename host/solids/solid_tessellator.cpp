#include "solids/solid_tessellator.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "solids/dxf_model_text.h"
#include "solids/planar_triangulation.h"
#include "solids/sab_reader.h"
#include "solids/sat_text_reader.h"
#include "solids/solid_model.h"
#include "solids/surface_chart.h"

namespace corvane {
namespace {

using namespace corvane::solids;

constexpr size_t kMaxPointsPerFace = 60000;
constexpr size_t kMaxPointsPerEdge = 20000;
constexpr size_t kMaxPointsPerBody = 2000000;

// Edges are divided to half the chord tolerance that faces are refined to:
// a face's triangles along its boundary can then meet the tolerance without
// being split without end against a boundary chord.
constexpr double kEdgeShare = 0.5;

// Chord tolerance for a curve of radius r: the caller's, or less where the
// angle limit asks for more segments.
double surfaceTolerance(double r, double tol) {
  double maxStep = kSolidMaxSegmentAngleDegrees * kPi / 180;
  return std::min(tol, r * (1 - std::cos(maxStep / 2)));
}

// Angle step that keeps an edge of radius r within its share of the tolerance.
double angleStep(double r, double tol) {
  double t = kEdgeShare * surfaceTolerance(r, tol);
  if (!(r > t) || !(t > 0)) return kSolidMaxSegmentAngleDegrees * kPi / 180;
  return 2 * std::acos(1 - t / r);
}

class BodyTessellator {
public:
  BodyTessellator(const SolidModel& m, const Body& b, double tol, std::vector<std::string>& warnings)
      : m_(m), b_(b), tol_(tol), warnings_(warnings), vertexId_(m.vertices.size(), -1) {}

  bool run(SolidMesh& out) {
    for (int f : b_.faces) {
      if (pts_.size() > kMaxPointsPerBody) {
        warn("the body needs more points than allowed; some faces were left out");
        break;
      }
      face(m_.faces[size_t(f)]);
    }
    // Output: referenced points only, transformed to world coordinates.
    bool flipAll = b_.transform.reflects();
    std::vector<int> remap(pts_.size(), -1);
    for (auto& f : faces_) {
      if (flipAll) std::reverse(f.begin(), f[3] < 0 ? f.begin() + 3 : f.end());
      for (int& i : f) {
        if (i < 0) continue;
        if (remap[size_t(i)] < 0) {
          remap[size_t(i)] = int(out.points.size());
          out.points.push_back(b_.transform.apply(pts_[size_t(i)]));
        }
        i = remap[size_t(i)];
      }
      out.faces.push_back(f);
    }
    return true;
  }

private:
  void warn(const std::string& w) {
    if (std::find(warnings_.begin(), warnings_.end(), w) == warnings_.end()) warnings_.push_back(w);
  }
  int vertexPoint(int v) {
    if (vertexId_[size_t(v)] < 0) {
      vertexId_[size_t(v)] = int(pts_.size());
      pts_.push_back(m_.vertices[size_t(v)]);
    }
    return vertexId_[size_t(v)];
  }
  int addPoint(Vec3 p) {
    pts_.push_back(p);
    return int(pts_.size() - 1);
  }

  // Points of an edge from its start vertex to its end vertex, computed
  // once and shared by both faces using it.
  const std::vector<int>& edgePoints(int e) {
    auto it = edgeCache_.find(e);
    if (it != edgeCache_.end()) return it->second;
    const Edge& ed = m_.edges[size_t(e)];
    std::vector<int> ids;
    int a = vertexPoint(ed.start), z = vertexPoint(ed.end);
    Vec3 pa = pts_[size_t(a)], pz = pts_[size_t(z)];
    bool closed = ed.start == ed.end || distance(pa, pz) <= tol_ * 1e-3;
    ids.push_back(a);
    const Curve* c = ed.curve >= 0 ? &m_.curves[size_t(ed.curve)] : nullptr;
    if (c && c->type == CurveType::Ellipse) {
      Vec3 minor = cross(c->normal, c->major) * c->ratio;
      double mm = dot(c->major, c->major), nn = dot(minor, minor);
      auto angleOf = [&](Vec3 p) {
        Vec3 q = p - c->centre;
        return std::atan2(dot(q, minor) / nn, dot(q, c->major) / mm);
      };
      double t0 = angleOf(pa), t1 = angleOf(pz);
      double sweep;
      if (closed) {
        sweep = kTwoPi;
      } else {
        sweep = std::fmod(t1 - t0, kTwoPi);
        if (sweep <= 0) sweep += kTwoPi;
      }
      if (ed.reversed) sweep = closed ? -kTwoPi : sweep - kTwoPi;
      double step = angleStep(std::sqrt(mm), tol_);
      size_t n = size_t(std::clamp(std::ceil(std::fabs(sweep) / step), 1.0, double(kMaxPointsPerEdge)));
      if (closed) n = std::max<size_t>(n, 3);
      for (size_t i = 1; i < n; ++i) {
        double t = t0 + sweep * double(i) / double(n);
        ids.push_back(addPoint(c->centre + c->major * std::cos(t) + minor * std::sin(t)));
      }
    } else if (c && c->type == CurveType::Spline) {
      splinePoints(c->spline, pa, pz, closed, ed.reversed != c->splineReversed, ids);
    } else if (c && c->type == CurveType::Unknown && closed) {
      warn("a closed edge on " + c->kind + " was left out");
    }
    ids.push_back(z); // a closed edge ends where it starts
    return edgeCache_.emplace(e, std::move(ids)).first->second;
  }

  void splinePoints(const BSplineCurve& sp, Vec3 pa, Vec3 pz, bool closed, bool backwards, std::vector<int>& ids) {
    double s0 = sp.startParam(), s1 = sp.endParam();
    auto closest = [&](Vec3 p) {
      const int n = 256;
      double best = s0, bd = 1e300;
      for (int i = 0; i <= n; ++i) {
        double t = s0 + (s1 - s0) * i / n;
        double d = distance(sp.evaluate(t), p);
        if (d < bd) bd = d, best = t;
      }
      double lo = std::max(s0, best - (s1 - s0) / n), hi = std::min(s1, best + (s1 - s0) / n);
      for (int i = 0; i < 60; ++i) {
        double m1 = lo + (hi - lo) / 3, m2 = hi - (hi - lo) / 3;
        if (distance(sp.evaluate(m1), p) < distance(sp.evaluate(m2), p)) hi = m2;
        else lo = m1;
      }
      return (lo + hi) / 2;
    };
    double ta, tb;
    if (closed) {
      ta = backwards ? s1 : s0;
      tb = backwards ? s0 : s1;
    } else {
      ta = closest(pa);
      tb = closest(pz);
    }
    // Split until each chord is within tolerance of the curve.
    struct Frame {
      double a, b;
      int depth;
    };
    std::vector<Frame> fs = {{ta, tb, 0}};
    std::vector<double> params;
    while (!fs.empty()) {
      Frame f = fs.back();
      fs.pop_back();
      double m = (f.a + f.b) / 2;
      Vec3 A = sp.evaluate(f.a), B = sp.evaluate(f.b), M = sp.evaluate(m);
      bool split = f.depth < 3 || (f.depth < 14 && distance(M, (A + B) * 0.5) > tol_);
      if (split && params.size() < kMaxPointsPerEdge) {
        fs.push_back({m, f.b, f.depth + 1});
        fs.push_back({f.a, m, f.depth + 1});
      } else {
        params.push_back(f.b);
      }
    }
    // `params` holds the end of each piece in order; the last is tb itself.
    for (size_t i = 0; i + 1 < params.size(); ++i) ids.push_back(addPoint(sp.evaluate(params[i])));
  }

  // A full sphere or torus (a face without loops).
  void fullSurface(const Surface& s, bool reversed) {
    int sign = (reversed ? -1 : 1) * (s.radius < 0 && s.type == SurfaceType::Sphere ? -1 : 1);
    Vec3 e3 = s.normal, e1 = s.major, e2 = cross(e3, e1);
    if (s.type == SurfaceType::Sphere) {
      double r = std::fabs(s.radius);
      double step = angleStep(r, tol_);
      int nLat = std::max(2, int(std::ceil(kPi / step))), nLon = std::max(3, int(std::ceil(kTwoPi / step)));
      int south = addPoint(s.origin - e3 * r), north = addPoint(s.origin + e3 * r);
      std::vector<int> grid;
      for (int i = 1; i < nLat; ++i) {
        double lat = -kPi / 2 + kPi * i / nLat;
        for (int j = 0; j < nLon; ++j) {
          double lon = kTwoPi * j / nLon;
          grid.push_back(addPoint(s.origin + (e1 * std::cos(lon) + e2 * std::sin(lon)) * (r * std::cos(lat)) +
                                  e3 * (r * std::sin(lat))));
        }
      }
      auto at = [&](int i, int j) { return grid[size_t((i - 1) * nLon + (j % nLon))]; };
      for (int j = 0; j < nLon; ++j) {
        emit({south, at(1, j + 1), at(1, j), -1}, sign);
        emit({north, at(nLat - 1, j), at(nLat - 1, j + 1), -1}, sign);
        for (int i = 1; i + 1 < nLat; ++i) emit({at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j)}, sign);
      }
    } else {
      double r = std::fabs(s.minorRadius), R = s.radius;
      int nu = std::max(3, int(std::ceil(kTwoPi / angleStep(R + r, tol_))));
      int nv = std::max(3, int(std::ceil(kTwoPi / angleStep(r, tol_))));
      std::vector<int> grid;
      for (int i = 0; i < nu; ++i)
        for (int j = 0; j < nv; ++j) {
          double u = kTwoPi * i / nu, v = kTwoPi * j / nv;
          grid.push_back(addPoint(s.origin + (e1 * std::cos(u) + e2 * std::sin(u)) * (R + r * std::cos(v)) +
                                  e3 * (r * std::sin(v))));
        }
      auto at = [&](int i, int j) { return grid[size_t((i % nu) * nv + (j % nv))]; };
      for (int i = 0; i < nu; ++i)
        for (int j = 0; j < nv; ++j) emit({at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)}, sign);
    }
  }

  // Adds a polygon whose corners run counter-clockwise about the outward
  // direction when sign > 0; degenerate corners are dropped.
  void emit(std::array<int, 4> f, int sign) {
    int n = f[3] < 0 ? 3 : 4;
    std::array<int, 4> g{-1, -1, -1, -1};
    int k = 0;
    for (int i = 0; i < n; ++i) {
      int id = f[size_t(i)];
      if (k > 0 && g[size_t(k - 1)] == id) continue;
      g[size_t(k++)] = id;
    }
    if (k > 1 && g[0] == g[size_t(k - 1)]) --k;
    if (k < 3) return;
    if (k == 3) g[3] = -1;
    if (sign < 0) std::reverse(g.begin(), g.begin() + k);
    faces_.push_back(g);
  }

  void face(const Face& f) {
    const Surface* s = f.surface >= 0 ? &m_.surfaces[size_t(f.surface)] : nullptr;
    if (f.loops.empty()) {
      if (s && (s->type == SurfaceType::Sphere || s->type == SurfaceType::Torus)) fullSurface(*s, f.reversed);
      else warn("a face without boundary on " + (s ? s->kind : std::string("no surface")) + " was left out");
      return;
    }
    // Loops as rings of point ids.
    std::vector<std::vector<int>> rings;
    for (const Loop& l : f.loops) {
      std::vector<int> ring;
      for (const Coedge& c : l.coedges) {
        const std::vector<int>& ep = edgePoints(c.edge);
        if (ep.empty()) continue;
        if (c.reversed) {
          for (size_t i = ep.size(); i-- > 1;) ring.push_back(ep[i]);
          if (ep.size() == 1) ring.push_back(ep[0]);
        } else {
          for (size_t i = 0; i + 1 < ep.size(); ++i) ring.push_back(ep[i]);
          if (ep.size() == 1) ring.push_back(ep[0]);
        }
      }
      if (ring.size() >= 3) rings.push_back(std::move(ring));
    }
    if (rings.empty()) return;
    std::vector<std::vector<Vec3>> loops3;
    for (const auto& r : rings) {
      std::vector<Vec3> l;
      for (int id : r) l.push_back(pts_[size_t(id)]);
      loops3.push_back(std::move(l));
    }
    SurfaceChart chart;
    std::vector<std::vector<Vec2>> rings2;
    bool charted = s && s->type != SurfaceType::Unknown && chart.chartLoops(*s, f.reversed ? -1 : 1, loops3, rings2);
    if (!charted) {
      if (s && s->type != SurfaceType::Unknown) warn("a face on " + s->kind + " was approximated by a flat piece");
      if (!chart.chartFlat(loops3, rings2)) {
        warn("a face without area was left out");
        return;
      }
    }
    std::vector<Vec2> cpts;
    std::vector<int> l2g;
    std::vector<std::vector<int>> local;
    for (size_t i = 0; i < rings.size(); ++i) {
      std::vector<int> lr;
      for (size_t k = 0; k < rings[i].size(); ++k) {
        lr.push_back(int(cpts.size()));
        cpts.push_back(rings2[i][k]);
        l2g.push_back(rings[i][k]);
      }
      local.push_back(std::move(lr));
    }
    // Orientation: loops run counter-clockwise about the face normal, so the
    // sign of the largest ring in the chart tells whether the chart keeps it.
    double bestArea = 0;
    for (const auto& r : rings2) {
      double a = 0;
      for (size_t i = 0; i < r.size(); ++i) a += cross(r[i], r[(i + 1) % r.size()]);
      if (std::fabs(a) > std::fabs(bestArea)) bestArea = a;
    }
    int sign = bestArea >= 0 ? 1 : -1;

    PlanarTriangulation tri;
    if (!tri.build(std::move(cpts), local)) {
      warn("a face could not be triangulated and was left out");
      return;
    }
    tri.makeDelaunay();
    if (charted && chart.curved()) refine(tri, chart, l2g);

    const auto& ts = tri.triangles();
    bool flat = !chart.curved();
    if (flat && ts.size() == 2) {
      // Two triangles of a flat face sharing an edge: one quadrilateral.
      const auto& A = ts[0];
      const auto& B = ts[1];
      for (int k = 0; k < 3; ++k) {
        int x = A[size_t(k)], y = A[size_t((k + 1) % 3)], z = A[size_t((k + 2) % 3)];
        int w = -1;
        for (int q = 0; q < 3; ++q)
          if (B[size_t(q)] != y && B[size_t(q)] != z) w = B[size_t(q)];
        bool shares = std::count(B.begin(), B.end(), y) && std::count(B.begin(), B.end(), z);
        if (shares && w >= 0) {
          const auto& P = tri.points();
          Vec2 px = P[size_t(x)], py = P[size_t(y)], pw = P[size_t(w)], pz = P[size_t(z)];
          if (orient(px, py, pw) > 0 && orient(py, pw, pz) > 0 && orient(pw, pz, px) > 0 && orient(pz, px, py) > 0) {
            emit({l2g[size_t(x)], l2g[size_t(y)], l2g[size_t(w)], l2g[size_t(z)]}, sign);
            return;
          }
        }
      }
    }
    for (const auto& t : ts) emit({l2g[size_t(t[0])], l2g[size_t(t[1])], l2g[size_t(t[2])], -1}, sign);
  }

  void refine(PlanarTriangulation& tri, const SurfaceChart& chart, std::vector<int>& l2g) {
    double tol = chart.minRadius() < 1e299 ? surfaceTolerance(chart.minRadius(), tol_) : tol_;
    // Triangles smaller than this in the chart are not split further.
    double minArea = 0;
    {
      double lo = 1e300, hi = -1e300;
      for (Vec2 p : tri.points()) lo = std::min({lo, p.x, p.y}), hi = std::max({hi, p.x, p.y});
      minArea = (hi - lo) * (hi - lo) * 1e-12;
    }
    size_t budget = kMaxPointsPerFace;
    for (int pass = 0; pass < 60; ++pass) {
      bool changed = false;
      size_t nt = tri.triangles().size();
      for (size_t t = 0; t < nt && budget > 0; ++t) {
        auto T = tri.triangles()[t];
        const auto& P = tri.points();
        Vec2 c2[3] = {P[size_t(T[0])], P[size_t(T[1])], P[size_t(T[2])]};
        if (std::fabs(orient(c2[0], c2[1], c2[2])) <= minArea) continue;
        Vec3 c3[3] = {pts_[size_t(l2g[size_t(T[0])])], pts_[size_t(l2g[size_t(T[1])])],
                      pts_[size_t(l2g[size_t(T[2])])]};
        Vec2 cen = (c2[0] + c2[1] + c2[2]) * (1.0 / 3);
        double worst = chart.distanceToSurface((c3[0] + c3[1] + c3[2]) * (1.0 / 3), cen);
        int worstEdge = -1;
        for (int k = 0; k < 3; ++k) {
          int i = (k + 1) % 3, j = (k + 2) % 3;
          if (tri.isBoundaryEdge(T[size_t(i)], T[size_t(j)])) continue;
          Vec2 mid = (c2[i] + c2[j]) * 0.5;
          double e = chart.distanceToSurface((c3[i] + c3[j]) * 0.5, mid);
          if (e > worst) worst = e, worstEdge = k;
        }
        if (!(worst > tol)) continue;
        int q = -1;
        if (worstEdge >= 0) {
          int i = (worstEdge + 1) % 3, j = (worstEdge + 2) % 3;
          q = tri.insertOnEdge(int(t), worstEdge, (c2[i] + c2[j]) * 0.5);
        }
        if (q < 0) q = tri.insertInTriangle(int(t), cen);
        l2g.push_back(addPoint(chart.fromChart(tri.points()[size_t(q)])));
        --budget;
        changed = true;
      }
      if (!changed) break;
      if (budget == 0) {
        warn("a curved face reached its point limit and is coarser than asked");
        break;
      }
    }
  }

  const SolidModel& m_;
  const Body& b_;
  double tol_;
  std::vector<std::string>& warnings_;
  std::vector<Vec3> pts_;
  std::vector<int> vertexId_;
  std::unordered_map<int, std::vector<int>> edgeCache_;
  std::vector<std::array<int, 4>> faces_;
};

// Model-space bounding-box diagonal of a body: its vertices, and the
// extent of faces that have no vertices (whole spheres and tori).
double bodySize(const SolidModel& m, const Body& b) {
  Vec3 lo{1e300, 1e300, 1e300}, hi{-1e300, -1e300, -1e300};
  auto add = [&](Vec3 p) {
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  };
  for (int fi : b.faces) {
    const Face& f = m.faces[size_t(fi)];
    for (const Loop& l : f.loops)
      for (const Coedge& c : l.coedges) {
        add(m.vertices[size_t(m.edges[size_t(c.edge)].start)]);
        const Edge& e = m.edges[size_t(c.edge)];
        if (e.curve >= 0 && m.curves[size_t(e.curve)].type == CurveType::Ellipse) {
          const Curve& cv = m.curves[size_t(e.curve)];
          double r = length(cv.major);
          add(cv.centre - Vec3{r, r, r});
          add(cv.centre + Vec3{r, r, r});
        }
      }
    if (f.loops.empty() && f.surface >= 0) {
      const Surface& s = m.surfaces[size_t(f.surface)];
      double r = std::fabs(s.radius) + (s.type == SurfaceType::Torus ? std::fabs(s.minorRadius) : 0);
      add(s.origin - Vec3{r, r, r});
      add(s.origin + Vec3{r, r, r});
    }
  }
  if (lo.x > hi.x) return 0;
  return distance(lo, hi);
}

bool tessellateDocument(const SatDocument& doc, double chordTolerance, SolidTessellation& out, std::string& reason) {
  out = SolidTessellation{};
  SolidModel model;
  if (!buildSolidModel(doc, model, reason)) return false;
  // Text cut after a whole record (no end marker) is a complete model.
  out.warnings = model.warnings;
  size_t faceCount = 0;
  for (const Body& b : model.bodies) {
    double size = bodySize(model, b);
    double scale = b.transform.lengthScale();
    if (!(scale > 0) || !std::isfinite(size) || !std::isfinite(size * scale)) {
      reason = "solid model has absurd coordinates";
      out = SolidTessellation{};
      return false;
    }
    double tol = chordTolerance > 0 ? chordTolerance / scale : size * kSolidDefaultRelativeTolerance;
    // A tolerance far below the body's size would only cost time.
    tol = std::max(tol, size * 1e-5);
    if (!(tol > 0)) tol = 1e-9;
    SolidMesh mesh;
    BodyTessellator bt(model, b, tol, out.warnings);
    bt.run(mesh);
    faceCount += mesh.faces.size();
    out.bodies.push_back(std::move(mesh));
  }
  if (faceCount == 0) {
    reason = out.warnings.empty() ? "solid model has no faces" : out.warnings.front();
    out = SolidTessellation{};
    return false;
  }
  return true;
}

} // namespace

bool tessellateSatText(std::string_view text, double chordTolerance, SolidTessellation& out, std::string& reason) {
  out = SolidTessellation{};
  SatDocument doc;
  if (!readSatText(text, doc, reason)) return false;
  return tessellateDocument(doc, chordTolerance, out, reason);
}

bool tessellateSab(const uint8_t* data, size_t size, double chordTolerance, SolidTessellation& out,
                   std::string& reason) {
  out = SolidTessellation{};
  SatDocument doc;
  if (!readSab(data, size, doc, reason)) return false;
  return tessellateDocument(doc, chordTolerance, out, reason);
}

bool tessellateSolidModel(const corvane::SolidModelData& data, double chordTolerance, SolidTessellation& out,
                          std::string& reason) {
  out = SolidTessellation{};
  if (!data.binary.empty()) return tessellateSab(data.binary.data(), data.binary.size(), chordTolerance, out, reason);
  if (data.textGroups.empty()) {
    reason = "entity has no solid model data";
    return false;
  }
  std::string text;
  if (!decodeModelText(data, text, reason)) return false;
  return tessellateSatText(text, chordTolerance, out, reason);
}

bool tessellateSolidModel(const corvane::SolidModelData& data, double chordTolerance, SolidMesh& out,
                          std::string& reason) {
  out = SolidMesh{};
  SolidTessellation t;
  if (!tessellateSolidModel(data, chordTolerance, t, reason)) return false;
  for (const SolidMesh& b : t.bodies) {
    int base = int(out.points.size());
    out.points.insert(out.points.end(), b.points.begin(), b.points.end());
    for (auto f : b.faces) {
      for (int& i : f)
        if (i >= 0) i += base;
      out.faces.push_back(f);
    }
  }
  reason.clear();
  for (const std::string& w : t.warnings) reason += (reason.empty() ? "" : "; ") + w;
  return true;
}

} // namespace corvane
