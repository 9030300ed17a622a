#include "solids/planar_triangulation.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace corvane::solids {
namespace {

double signedArea(const std::vector<Vec2>& pts, const std::vector<int>& ring) {
  double a = 0;
  for (size_t i = 0; i < ring.size(); ++i) {
    Vec2 p = pts[size_t(ring[i])], q = pts[size_t(ring[(i + 1) % ring.size()])];
    a += p.x * q.y - q.x * p.y;
  }
  return a / 2;
}

bool insideRing(const std::vector<Vec2>& pts, const std::vector<int>& ring, Vec2 p) {
  bool in = false;
  for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
    Vec2 a = pts[size_t(ring[i])], b = pts[size_t(ring[j])];
    if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) in = !in;
  }
  return in;
}

// A point well inside ring's area near its first edge, for nesting tests:
// ring vertices may touch other rings, the middle of an edge rarely does.
Vec2 probePoint(const std::vector<Vec2>& pts, const std::vector<int>& ring) {
  Vec2 best = pts[size_t(ring[0])];
  double bestLen = -1;
  for (size_t i = 0; i < ring.size(); ++i) {
    Vec2 a = pts[size_t(ring[i])], b = pts[size_t(ring[(i + 1) % ring.size()])];
    double l = dot(b - a, b - a);
    if (l > bestLen) {
      bestLen = l;
      best = (a + b) * 0.5;
    }
  }
  return best;
}

bool pointInTriangle(Vec2 p, Vec2 a, Vec2 b, Vec2 c, double eps) {
  return orient(a, b, p) > -eps && orient(b, c, p) > -eps && orient(c, a, p) > -eps;
}

bool segmentsCross(Vec2 a, Vec2 b, Vec2 c, Vec2 d) {
  double d1 = orient(c, d, a), d2 = orient(c, d, b), d3 = orient(a, b, c), d4 = orient(a, b, d);
  return ((d1 > 0) != (d2 > 0)) && ((d3 > 0) != (d4 > 0)) && d1 != 0 && d2 != 0 && d3 != 0 && d4 != 0;
}

} // namespace

bool PlanarTriangulation::build(std::vector<Vec2> points, const std::vector<std::vector<int>>& loops) {
  points_ = std::move(points);
  tris_.clear();
  nbrs_.clear();
  constrained_.clear();
  double minX = 1e300, minY = 1e300, maxX = -1e300, maxY = -1e300;
  for (Vec2 p : points_) {
    minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
    minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
  }
  double size = std::max(maxX - minX, maxY - minY);
  if (!(size > 0) || !std::isfinite(size)) return false;
  eps_ = size * size * 1e-14;

  // Rings without repeated consecutive points, each with an area.
  std::vector<std::vector<int>> rings;
  std::vector<double> areas;
  for (const std::vector<int>& loop : loops) {
    std::vector<int> r;
    for (int id : loop) {
      if (!r.empty()) {
        Vec2 d = points_[size_t(id)] - points_[size_t(r.back())];
        if (id == r.back() || dot(d, d) <= eps_ * 1e-4) continue;
      }
      r.push_back(id);
    }
    while (r.size() > 1) {
      Vec2 d = points_[size_t(r.front())] - points_[size_t(r.back())];
      if (r.front() != r.back() && dot(d, d) > eps_ * 1e-4) break;
      r.pop_back();
    }
    if (r.size() < 3) continue;
    double a = signedArea(points_, r);
    if (std::fabs(a) <= eps_ * 10) continue;
    for (size_t i = 0; i < r.size(); ++i) constrained_.insert(key(r[i], r[(i + 1) % r.size()]));
    rings.push_back(std::move(r));
    areas.push_back(a);
  }
  if (rings.empty()) return false;

  // Nesting: a ring inside an odd number of others is a hole of the
  // smallest ring that contains it.
  size_t n = rings.size();
  std::vector<int> depth(n, 0), parent(n, -1);
  for (size_t i = 0; i < n; ++i) {
    Vec2 probe = probePoint(points_, rings[i]);
    double best = 1e300;
    for (size_t j = 0; j < n; ++j) {
      if (i == j || std::fabs(areas[j]) <= std::fabs(areas[i])) continue;
      if (insideRing(points_, rings[j], probe)) {
        ++depth[i];
        if (std::fabs(areas[j]) < best) {
          best = std::fabs(areas[j]);
          parent[i] = int(j);
        }
      }
    }
  }
  for (size_t i = 0; i < n; ++i) {
    if (depth[i] % 2) continue;
    std::vector<int> outer = rings[i];
    if (areas[i] < 0) std::reverse(outer.begin(), outer.end());
    std::vector<std::vector<int>> holes;
    for (size_t j = 0; j < n; ++j) {
      if (depth[j] % 2 == 1 && parent[j] == int(i)) {
        std::vector<int> h = rings[j];
        if (areas[j] > 0) std::reverse(h.begin(), h.end());
        holes.push_back(std::move(h));
      }
    }
    // Bridge holes from the one reaching furthest right.
    auto rightmost = [&](const std::vector<int>& h) {
      double m = -1e300;
      for (int id : h) m = std::max(m, points_[size_t(id)].x);
      return m;
    };
    std::sort(holes.begin(), holes.end(),
              [&](const std::vector<int>& a, const std::vector<int>& b) { return rightmost(a) > rightmost(b); });
    for (const std::vector<int>& h : holes) {
      size_t hm = 0;
      for (size_t k = 1; k < h.size(); ++k)
        if (points_[size_t(h[k])].x > points_[size_t(h[hm])].x) hm = k;
      Vec2 m = points_[size_t(h[hm])];
      // Candidate: the outer vertex visible from m that is closest along
      // the ray to the right; any outer vertex whose segment to m crosses no
      // edge will do, so test candidates by distance.
      std::vector<std::pair<double, size_t>> cand;
      for (size_t k = 0; k < outer.size(); ++k) {
        Vec2 p = points_[size_t(outer[k])];
        double dx = p.x - m.x, dy = p.y - m.y;
        double penalty = dx >= 0 ? 0 : 1e3 * size * size;
        cand.push_back({dx * dx + dy * dy + penalty, k});
      }
      std::sort(cand.begin(), cand.end());
      size_t chosen = cand.front().second;
      for (auto [d, k] : cand) {
        Vec2 p = points_[size_t(outer[k])];
        bool ok = true;
        for (size_t e = 0; ok && e < outer.size(); ++e) {
          int a = outer[e], b = outer[(e + 1) % outer.size()];
          if (a == outer[k] || b == outer[k]) continue;
          if (segmentsCross(m, p, points_[size_t(a)], points_[size_t(b)])) ok = false;
        }
        for (const std::vector<int>& other : holes) {
          for (size_t e = 0; ok && e < other.size(); ++e) {
            int a = other[e], b = other[(e + 1) % other.size()];
            if (a == h[hm] || b == h[hm]) continue;
            if (segmentsCross(m, p, points_[size_t(a)], points_[size_t(b)])) ok = false;
          }
        }
        // The bridge must leave the outer vertex into the region's inside.
        if (ok) {
          Vec2 prev = points_[size_t(outer[(k + outer.size() - 1) % outer.size()])];
          Vec2 next = points_[size_t(outer[(k + 1) % outer.size()])];
          bool convex = orient(prev, p, next) >= 0;
          double s1 = orient(prev, p, m), s2 = orient(p, next, m);
          ok = convex ? (s1 > 0 && s2 > 0) : (s1 > 0 || s2 > 0);
        }
        if (ok) {
          chosen = k;
          break;
        }
      }
      std::vector<int> merged;
      merged.reserve(outer.size() + h.size() + 2);
      merged.insert(merged.end(), outer.begin(), outer.begin() + long(chosen) + 1);
      for (size_t k = 0; k <= h.size(); ++k) merged.push_back(h[(hm + k) % h.size()]);
      merged.insert(merged.end(), outer.begin() + long(chosen), outer.end());
      outer = std::move(merged);
    }
    earClip(std::move(outer));
  }
  if (tris_.empty()) return false;
  linkNeighbours();
  return true;
}

void PlanarTriangulation::earClip(std::vector<int> poly) {
  auto pt = [&](int id) { return points_[size_t(id)]; };
  size_t guard = poly.size() * poly.size() + 16;
  size_t i = 0, sinceEar = 0;
  while (poly.size() > 3 && guard-- > 0) {
    size_t n = poly.size();
    size_t ip = (i + n - 1) % n, in = (i + 1) % n;
    Vec2 a = pt(poly[ip]), b = pt(poly[i]), c = pt(poly[in]);
    bool ear = orient(a, b, c) > eps_;
    for (size_t k = 0; ear && k < n; ++k) {
      if (k == ip || k == i || k == in) continue;
      int id = poly[k];
      if (id == poly[ip] || id == poly[i] || id == poly[in]) continue;
      Vec2 p = pt(id);
      // Points equal in position to a corner (the two ends of a bridge) are
      // not in the way.
      if (dot(p - a, p - a) <= eps_ || dot(p - b, p - b) <= eps_ || dot(p - c, p - c) <= eps_) continue;
      if (pointInTriangle(p, a, b, c, eps_)) ear = false;
    }
    if (ear) {
      tris_.push_back({poly[ip], poly[i], poly[in]});
      poly.erase(poly.begin() + long(i));
      sinceEar = 0;
      if (i >= poly.size()) i = 0;
      continue;
    }
    if (orient(a, b, c) <= eps_ && std::fabs(orient(a, b, c)) <= eps_ && sinceEar > n) {
      // Collinear leftovers: drop the middle point.
      poly.erase(poly.begin() + long(i));
      sinceEar = 0;
      if (i >= poly.size()) i = 0;
      continue;
    }
    if (++sinceEar > 2 * n) {
      // No ear (self-touching input): clip the most convex corner anyway.
      size_t best = 0;
      double bestO = -1e300;
      for (size_t k = 0; k < n; ++k) {
        double o = orient(pt(poly[(k + n - 1) % n]), pt(poly[k]), pt(poly[(k + 1) % n]));
        if (o > bestO) bestO = o, best = k;
      }
      if (bestO > eps_) tris_.push_back({poly[(best + n - 1) % n], poly[best], poly[(best + 1) % n]});
      poly.erase(poly.begin() + long(best));
      sinceEar = 0;
      i = 0;
      continue;
    }
    i = (i + 1) % n;
  }
  if (poly.size() == 3 && orient(pt(poly[0]), pt(poly[1]), pt(poly[2])) > eps_)
    tris_.push_back({poly[0], poly[1], poly[2]});
}

void PlanarTriangulation::linkNeighbours() {
  nbrs_.assign(tris_.size(), {-1, -1, -1});
  std::unordered_map<uint64_t, std::pair<int, int>> open;
  open.reserve(tris_.size() * 2);
  for (size_t t = 0; t < tris_.size(); ++t) {
    for (int k = 0; k < 3; ++k) {
      int a = tris_[t][size_t((k + 1) % 3)], b = tris_[t][size_t((k + 2) % 3)];
      uint64_t directed = (uint64_t(uint32_t(b)) << 32) | uint32_t(a);
      auto it = open.find(directed);
      if (it != open.end()) {
        nbrs_[t][size_t(k)] = it->second.first;
        nbrs_[size_t(it->second.first)][size_t(it->second.second)] = int(t);
        open.erase(it);
      } else {
        open[(uint64_t(uint32_t(a)) << 32) | uint32_t(b)] = {int(t), k};
      }
    }
  }
}

void PlanarTriangulation::replaceNeighbour(int t, int from, int to) {
  if (t < 0) return;
  for (int& n : nbrs_[size_t(t)])
    if (n == from) n = to;
}

bool PlanarTriangulation::flip(int t, int k) {
  int n = nbrs_[size_t(t)][size_t(k)];
  if (n < 0) return false;
  auto& T = tris_[size_t(t)];
  int a = T[size_t(k)], b = T[size_t((k + 1) % 3)], c = T[size_t((k + 2) % 3)];
  if (constrained_.count(key(b, c))) return false;
  auto& N = tris_[size_t(n)];
  int j = -1;
  for (int q = 0; q < 3; ++q)
    if (N[size_t(q)] != b && N[size_t(q)] != c) j = q;
  if (j < 0 || N[size_t((j + 1) % 3)] != c || N[size_t((j + 2) % 3)] != b) return false;
  int d = N[size_t(j)];
  Vec2 pa = points_[size_t(a)], pb = points_[size_t(b)], pc = points_[size_t(c)], pd = points_[size_t(d)];
  if (orient(pa, pb, pd) <= eps_ || orient(pa, pd, pc) <= eps_) return false;
  int tAB = nbrs_[size_t(t)][size_t((k + 2) % 3)];
  int tCA = nbrs_[size_t(t)][size_t((k + 1) % 3)];
  int nBD = nbrs_[size_t(n)][size_t((j + 1) % 3)];
  int nDC = nbrs_[size_t(n)][size_t((j + 2) % 3)];
  tris_[size_t(t)] = {a, b, d};
  nbrs_[size_t(t)] = {nBD, n, tAB};
  tris_[size_t(n)] = {a, d, c};
  nbrs_[size_t(n)] = {nDC, tCA, t};
  replaceNeighbour(nBD, n, t);
  replaceNeighbour(tCA, t, n);
  return true;
}

void PlanarTriangulation::legalize(std::vector<std::pair<int, int>>& stack) {
  size_t budget = 64 * (tris_.size() + 16);
  while (!stack.empty() && budget-- > 0) {
    auto [t, k] = stack.back();
    stack.pop_back();
    int n = nbrs_[size_t(t)][size_t(k)];
    if (n < 0) continue;
    const auto& T = tris_[size_t(t)];
    int a = T[size_t(k)], b = T[size_t((k + 1) % 3)], c = T[size_t((k + 2) % 3)];
    if (constrained_.count(key(b, c))) continue;
    int d = -1;
    for (int q : tris_[size_t(n)])
      if (q != b && q != c) d = q;
    if (d < 0) continue;
    Vec2 pa = points_[size_t(a)], pb = points_[size_t(b)], pc = points_[size_t(c)], pd = points_[size_t(d)];
    // In-circle determinant, relative to the triangle's size.
    double adx = pa.x - pd.x, ady = pa.y - pd.y, bdx = pb.x - pd.x, bdy = pb.y - pd.y, cdx = pc.x - pd.x,
           cdy = pc.y - pd.y;
    double det = (adx * adx + ady * ady) * (bdx * cdy - cdx * bdy) - (bdx * bdx + bdy * bdy) * (adx * cdy - cdx * ady) +
                 (cdx * cdx + cdy * cdy) * (adx * bdy - bdx * ady);
    double scale = (adx * adx + ady * ady + bdx * bdx + bdy * bdy + cdx * cdx + cdy * cdy);
    if (det <= 1e-12 * scale * scale) continue;
    if (!flip(t, k)) continue;
    for (int q = 0; q < 3; ++q) {
      stack.push_back({t, q});
      stack.push_back({n, q});
    }
  }
}

void PlanarTriangulation::makeDelaunay() {
  std::vector<std::pair<int, int>> stack;
  for (size_t t = 0; t < tris_.size(); ++t)
    for (int k = 0; k < 3; ++k) stack.push_back({int(t), k});
  legalize(stack);
}

int PlanarTriangulation::insertInTriangle(int t, Vec2 p) {
  int q = int(points_.size());
  points_.push_back(p);
  auto [a, b, c] = tris_[size_t(t)];
  auto [nA, nB, nC] = nbrs_[size_t(t)];
  int t1 = int(tris_.size()), t2 = t1 + 1;
  tris_[size_t(t)] = {a, b, q};
  nbrs_[size_t(t)] = {t1, t2, nC};
  tris_.push_back({b, c, q});
  nbrs_.push_back({t2, t, nA});
  tris_.push_back({c, a, q});
  nbrs_.push_back({t, t1, nB});
  replaceNeighbour(nA, t, t1);
  replaceNeighbour(nB, t, t2);
  std::vector<std::pair<int, int>> stack = {{t, 2}, {t1, 2}, {t2, 2}};
  legalize(stack);
  return q;
}

int PlanarTriangulation::insertOnEdge(int t, int k, Vec2 p) {
  int n = nbrs_[size_t(t)][size_t(k)];
  const auto T = tris_[size_t(t)];
  int a = T[size_t(k)], b = T[size_t((k + 1) % 3)], c = T[size_t((k + 2) % 3)];
  if (n < 0 || constrained_.count(key(b, c))) return -1;
  const auto N = tris_[size_t(n)];
  int j = -1;
  for (int q = 0; q < 3; ++q)
    if (N[size_t(q)] != b && N[size_t(q)] != c) j = q;
  if (j < 0) return -1;
  int d = N[size_t(j)];
  Vec2 pa = points_[size_t(a)], pb = points_[size_t(b)], pc = points_[size_t(c)], pd = points_[size_t(d)];
  // All four new triangles must keep a positive area.
  if (orient(pa, pb, p) <= eps_ || orient(pa, p, pc) <= eps_ || orient(pd, pc, p) <= eps_ || orient(pd, p, pb) <= eps_)
    return -1;
  int q = int(points_.size());
  points_.push_back(p);
  int tAB = nbrs_[size_t(t)][size_t((k + 2) % 3)];
  int tCA = nbrs_[size_t(t)][size_t((k + 1) % 3)];
  int nBD = nbrs_[size_t(n)][size_t((j + 1) % 3)];
  int nDC = nbrs_[size_t(n)][size_t((j + 2) % 3)];
  int t1 = int(tris_.size()), n1 = t1 + 1;
  tris_[size_t(t)] = {a, b, q};
  nbrs_[size_t(t)] = {n1, t1, tAB};
  tris_.push_back({a, q, c});
  nbrs_.push_back({n, tCA, t});
  tris_[size_t(n)] = {d, c, q};
  nbrs_[size_t(n)] = {t1, n1, nDC};
  tris_.push_back({d, q, b});
  nbrs_.push_back({t, nBD, n});
  replaceNeighbour(tCA, t, t1);
  replaceNeighbour(nBD, n, n1);
  std::vector<std::pair<int, int>> stack = {{t, 2}, {t1, 1}, {n, 2}, {n1, 1}};
  legalize(stack);
  return q;
}

} // namespace corvane::solids
