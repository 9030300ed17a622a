// Test-only writer of solid-model text: a body given as vertices, edges
// (with their curve's record fields) and faces (surface fields, sense and
// loops of oriented edges) becomes a complete model text of version 7.0 or
// 1.06, with every reference, partner ring and owner filled in.
#pragma once

// GCC 12 warns falsely about memcpy overlap in inlined string concatenation.
#pragma GCC diagnostic ignored "-Wrestrict"

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "geometry/entity_geometry.h"

namespace corvane::solids::test {

struct SatBuilder {
  struct EdgeSpec {
    int v0, v1;
    std::string curve;  // e.g. "straight-curve 0 0 0 1 0 0" (fields after the prefix), "" none
  };
  struct FaceSpec {
    std::string surface;  // e.g. "plane-surface 0 0 0 0 0 1 1 0 0"
    bool reversed = false;
    std::vector<std::vector<std::pair<int, bool>>> loops;  // (edge, coedge reversed)
  };
  std::vector<corvane::Vec3> vertices;
  std::vector<EdgeSpec> edges;
  std::vector<FaceSpec> faces;
  std::string transform;  // "" none, else the 13 numbers and the three flags

  static std::string num(double v) {
    char b[64];
    std::snprintf(b, sizeof b, "%.17g", v);
    return b;
  }
  static std::string vec(corvane::Vec3 v) { return num(v.x) + " " + num(v.y) + " " + num(v.z); }

  int addVertex(corvane::Vec3 p) {
    vertices.push_back(p);
    return int(vertices.size()) - 1;
  }
  int addLine(int a, int b) {
    corvane::Vec3 p = vertices[size_t(a)], q = vertices[size_t(b)];
    corvane::Vec3 d{q.x - p.x, q.y - p.y, q.z - p.z};
    edges.push_back({a, b, "straight-curve " + vec(p) + " " + vec(d) + " I I"});
    return int(edges.size()) - 1;
  }
  // A full circle through vertex v: centre c, normal n, radius vector r (from c to v).
  int addCircle(int v, corvane::Vec3 c, corvane::Vec3 n, corvane::Vec3 r) {
    edges.push_back({v, v, "ellipse-curve " + vec(c) + " " + vec(n) + " " + vec(r) + " 1 I I"});
    return int(edges.size()) - 1;
  }

  std::string text(bool old = false) const {
    // Record numbers: body, lump, shell, [transform], faces..., then per
    // face: loops, coedges; edges, curves, vertices, points, surfaces.
    std::vector<std::string> recs;
    auto ref = [](int i) {
      std::string r(1, '$');
      r += std::to_string(i);
      return r;
    };
    std::string pre = old ? " $-1" : " $-1 -1 $-1";
    auto conv = [&](std::string s) {
      if (!old) return s;
      // 1.06 spells enumerations and intervals as numbers.
      auto rep = [&](const std::string& a, const std::string& b) {
        for (size_t p = s.find(a); p != std::string::npos; p = s.find(a, p + b.size())) s.replace(p, a.size(), b);
      };
      rep(" forward_v I I I I", " 0 0 0 0 0");
      rep(" forward I I I I", " 0 0 0 0 0");
      rep(" I I", " 0 0");
      return s;
    };
    int body = 0, lump = 1, shell = 2, xf = transform.empty() ? -1 : 3;
    int next = transform.empty() ? 3 : 4;
    std::vector<int> faceRec, surfRec;
    for (size_t f = 0; f < faces.size(); ++f) faceRec.push_back(next++);
    std::vector<std::vector<int>> loopRec(faces.size());
    std::vector<std::vector<std::vector<int>>> coRec(faces.size());
    std::vector<std::vector<std::pair<int, bool>>> edgeUses(edges.size());  // coedge record, reversed
    for (size_t f = 0; f < faces.size(); ++f) {
      for (size_t l = 0; l < faces[f].loops.size(); ++l) {
        loopRec[f].push_back(next++);
        coRec[f].push_back({});
        for (auto [e, r] : faces[f].loops[l]) {
          coRec[f][l].push_back(next);
          edgeUses[size_t(e)].push_back({next, r});
          ++next;
        }
      }
    }
    std::vector<int> edgeRec, curveRec, vertRec, pointRec;
    for (size_t e = 0; e < edges.size(); ++e) edgeRec.push_back(next++);
    for (size_t e = 0; e < edges.size(); ++e) curveRec.push_back(edges[e].curve.empty() ? -1 : next++);
    for (size_t v = 0; v < vertices.size(); ++v) vertRec.push_back(next++);
    for (size_t v = 0; v < vertices.size(); ++v) pointRec.push_back(next++);
    for (size_t f = 0; f < faces.size(); ++f) surfRec.push_back(next++);
    recs.resize(size_t(next));
    recs[size_t(body)] = "body" + pre + " " + ref(lump) + " $-1 " + ref(xf) + " #";
    recs[size_t(lump)] = "lump" + pre + " $-1 " + ref(shell) + " " + ref(body) + " #";
    recs[size_t(shell)] = "shell" + pre + " $-1 $-1 " + ref(faces.empty() ? -1 : faceRec[0]) + " $-1 " + ref(lump) + " #";
    if (xf >= 0) recs[size_t(xf)] = "transform $-1 " + transform + " #";
    std::string fwd = old ? "0" : "forward", rev = old ? "1" : "reversed", single = old ? "0" : "single";
    for (size_t f = 0; f < faces.size(); ++f) {
      int nf = f + 1 < faces.size() ? faceRec[f + 1] : -1;
      int firstLoop = loopRec[f].empty() ? -1 : loopRec[f][0];
      recs[size_t(faceRec[f])] = "face" + pre + " " + ref(nf) + " " + ref(firstLoop) + " " + ref(shell) + " $-1 " +
                                 ref(surfRec[f]) + " " + (faces[f].reversed ? rev : fwd) + " " + single + " #";
      for (size_t l = 0; l < loopRec[f].size(); ++l) {
        int nl = l + 1 < loopRec[f].size() ? loopRec[f][l + 1] : -1;
        recs[size_t(loopRec[f][l])] = "loop" + pre + " " + ref(nl) + " " + ref(coRec[f][l][0]) + " " + ref(faceRec[f]) + " #";
        size_t n = coRec[f][l].size();
        for (size_t c = 0; c < n; ++c) {
          auto [e, r] = faces[f].loops[l][c];
          int partner = -1;
          const auto& uses = edgeUses[size_t(e)];
          for (size_t u = 0; u < uses.size(); ++u)
            if (uses[u].first == coRec[f][l][c]) partner = uses[(u + 1) % uses.size()].first;
          if (partner == coRec[f][l][c]) partner = -1;
          recs[size_t(coRec[f][l][c])] = "coedge" + pre + " " + ref(coRec[f][l][(c + 1) % n]) + " " +
                                         ref(coRec[f][l][(c + n - 1) % n]) + " " + ref(partner) + " " +
                                         ref(edgeRec[size_t(e)]) + " " + (r ? rev : fwd) + " " + ref(loopRec[f][l]) +
                                         " $-1 #";
        }
      }
      recs[size_t(surfRec[f])] = conv(faces[f].surface.substr(0, faces[f].surface.find(' ')) + pre +
                                      faces[f].surface.substr(faces[f].surface.find(' ')) +
                                      (faces[f].surface.starts_with("cone") ? " forward I I I I #" : " forward_v I I I I #"));
    }
    for (size_t e = 0; e < edges.size(); ++e) {
      int co = edgeUses[e].empty() ? -1 : edgeUses[e][0].first;
      std::string v0 = ref(vertRec[size_t(edges[e].v0)]), v1 = ref(vertRec[size_t(edges[e].v1)]);
      recs[size_t(edgeRec[e])] = old ? "edge $-1 " + v0 + " " + v1 + " " + ref(co) + " " + ref(curveRec[e]) + " 0 #"
                                     : "edge" + pre + " " + v0 + " 0 " + v1 + " 1 " + ref(co) + " " + ref(curveRec[e]) +
                                           " forward @7 unknown #";
      if (curveRec[e] >= 0) {
        const std::string& c = edges[e].curve;
        recs[size_t(curveRec[e])] = conv(c.substr(0, c.find(' ')) + pre + c.substr(c.find(' ')) + " #");
      }
    }
    for (size_t v = 0; v < vertices.size(); ++v) {
      int anyEdge = -1;
      for (size_t e = 0; e < edges.size() && anyEdge < 0; ++e)
        if (edges[e].v0 == int(v) || edges[e].v1 == int(v)) anyEdge = edgeRec[e];
      recs[size_t(vertRec[v])] = "vertex" + pre + " " + ref(anyEdge) + " " + ref(pointRec[v]) + " #";
      recs[size_t(pointRec[v])] = "point" + pre + " " + vec(vertices[v]) + " #";
    }
    std::string out = old ? "106 " + std::to_string(next) + " 1 0\n"
                          : "700 0 1 0\n@6 corvane @9 ACIS 7.0 @24 Mon Jan  1 00:00:00 2024\n1 9.9999999999999995e-007 1e-010\n";
    for (const std::string& r : recs) out += r + "\n";
    out += "End-of-ACIS-data\n";
    return out;
  }
};

// Polygon face through existing vertices (counter-clockwise seen from
// outside), with straight edges shared with the faces already added.
struct PolyBuilder {
  SatBuilder& b;
  std::map<std::pair<int, int>, int> lines;
  std::pair<int, bool> line(int a, int c) {
    auto it = lines.find({c, a});
    if (it != lines.end()) return {it->second, true};
    int e = b.addLine(a, c);
    lines[{a, c}] = e;
    return {e, false};
  }
  void face(const std::vector<int>& vs, corvane::Vec3 n, std::vector<std::vector<std::pair<int, bool>>> holes = {}) {
    SatBuilder::FaceSpec f;
    f.surface = "plane-surface " + SatBuilder::vec(b.vertices[size_t(vs[0])]) + " " + SatBuilder::vec(n) + " " +
                SatBuilder::vec(n.z != 0 ? corvane::Vec3{1, 0, 0} : corvane::Vec3{0, 0, 1});
    std::vector<std::pair<int, bool>> loop;
    for (size_t i = 0; i < vs.size(); ++i) loop.push_back(line(vs[i], vs[(i + 1) % vs.size()]));
    f.loops.push_back(loop);
    for (auto& h : holes) f.loops.push_back(h);
    b.faces.push_back(f);
  }
};

// Box [0,a] x [0,b] x [0,c]; with holeRadius > 0 a cylindrical hole along z
// through (a/2, b/2).
inline SatBuilder box(double a, double bb, double c, double holeRadius = 0) {
  SatBuilder s;
  int v[8];
  for (int i = 0; i < 8; ++i) v[i] = s.addVertex({(i & 1) ? a : 0, (i & 2) ? bb : 0, (i & 4) ? c : 0});
  PolyBuilder p{s, {}};
  std::vector<std::vector<std::pair<int, bool>>> bottomHoles, topHoles;
  int eb = -1, et = -1;
  if (holeRadius > 0) {
    int hb = s.addVertex({a / 2 + holeRadius, bb / 2, 0}), ht = s.addVertex({a / 2 + holeRadius, bb / 2, c});
    eb = s.addCircle(hb, {a / 2, bb / 2, 0}, {0, 0, 1}, {holeRadius, 0, 0});
    et = s.addCircle(ht, {a / 2, bb / 2, c}, {0, 0, 1}, {holeRadius, 0, 0});
    bottomHoles = {{{eb, false}}};
    topHoles = {{{et, true}}};
  }
  p.face({v[0], v[2], v[3], v[1]}, {0, 0, -1}, bottomHoles);
  p.face({v[4], v[5], v[7], v[6]}, {0, 0, 1}, topHoles);
  p.face({v[0], v[1], v[5], v[4]}, {0, -1, 0});
  p.face({v[1], v[3], v[7], v[5]}, {1, 0, 0});
  p.face({v[3], v[2], v[6], v[7]}, {0, 1, 0});
  p.face({v[2], v[0], v[4], v[6]}, {-1, 0, 0});
  if (holeRadius > 0) {
    SatBuilder::FaceSpec h;
    h.surface = "cone-surface " + SatBuilder::vec({a / 2, bb / 2, 0}) + " 0 0 1 " + SatBuilder::num(holeRadius) +
                " 0 0 1 I I 0 1 " + SatBuilder::num(holeRadius);
    h.reversed = true;
    h.loops = {{{eb, true}}, {{et, false}}};
    s.faces.push_back(h);
  }
  return s;
}

}  // namespace corvane::solids::test
