// Tessellation throughput: 1,000 solids of a mix of kinds (boxes, boxes
// with a hole, cylinders, cones, spheres, tori; sizes varied) at the default
// tolerance, read from model text each time as the host would.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "sat_builder.h"
#include "solids/solid_tessellator.h"

namespace {

using corvane::solids::test::SatBuilder;

std::string boxText(double a, double hole) {
  SatBuilder s;
  int v[8];
  for (int i = 0; i < 8; ++i) v[i] = s.addVertex({(i & 1) ? a : 0, (i & 2) ? a : 0, (i & 4) ? a : 0});
  std::map<std::pair<int, int>, int> lines;
  auto loopOf = [&](std::vector<int> vs) {
    std::vector<std::pair<int, bool>> loop;
    for (size_t i = 0; i < vs.size(); ++i) {
      int p = vs[i], q = vs[(i + 1) % vs.size()];
      auto it = lines.find({q, p});
      if (it != lines.end()) {
        loop.push_back({it->second, true});
      } else {
        loop.push_back({lines[{p, q}] = s.addLine(p, q), false});
      }
    }
    return loop;
  };
  auto plane = [&](int at, corvane::Vec3 n) {
    return "plane-surface " + SatBuilder::vec(s.vertices[size_t(at)]) + " " + SatBuilder::vec(n) + " 1 0 0";
  };
  int eb = -1, et = -1;
  if (hole > 0) {
    int hb = s.addVertex({a / 2 + hole, a / 2, 0}), ht = s.addVertex({a / 2 + hole, a / 2, a});
    eb = s.addCircle(hb, {a / 2, a / 2, 0}, {0, 0, 1}, {hole, 0, 0});
    et = s.addCircle(ht, {a / 2, a / 2, a}, {0, 0, 1}, {hole, 0, 0});
  }
  SatBuilder::FaceSpec bottom{plane(v[0], {0, 0, -1}), false, {loopOf({v[0], v[2], v[3], v[1]})}};
  SatBuilder::FaceSpec top{plane(v[4], {0, 0, 1}), false, {loopOf({v[4], v[5], v[7], v[6]})}};
  if (hole > 0) {
    bottom.loops.push_back({{eb, false}});
    top.loops.push_back({{et, true}});
  }
  s.faces = {bottom, top};
  s.faces.push_back({plane(v[0], {0, -1, 0}), false, {loopOf({v[0], v[1], v[5], v[4]})}});
  s.faces.push_back({plane(v[1], {1, 0, 0}), false, {loopOf({v[1], v[3], v[7], v[5]})}});
  s.faces.push_back({plane(v[3], {0, 1, 0}), false, {loopOf({v[3], v[2], v[6], v[7]})}});
  s.faces.push_back({plane(v[2], {-1, 0, 0}), false, {loopOf({v[2], v[0], v[4], v[6]})}});
  if (hole > 0)
    s.faces.push_back({"cone-surface " + SatBuilder::vec({a / 2, a / 2, 0}) + " 0 0 1 " + SatBuilder::num(hole) +
                           " 0 0 1 I I 0 1 " + SatBuilder::num(hole),
                       true, {{{eb, true}}, {{et, false}}}});
  return s.text();
}

std::string coneText(double r, double h, bool cylinder) {
  SatBuilder s;
  int v0 = s.addVertex({r, 0, 0});
  int e0 = s.addCircle(v0, {0, 0, 0}, {0, 0, 1}, {r, 0, 0});
  s.faces.push_back({"plane-surface 0 0 0 0 0 -1 1 0 0", false, {{{e0, true}}}});
  if (cylinder) {
    int v1 = s.addVertex({r, 0, h});
    int e1 = s.addCircle(v1, {0, 0, h}, {0, 0, 1}, {r, 0, 0});
    s.faces.push_back({"plane-surface 0 0 " + SatBuilder::num(h) + " 0 0 1 1 0 0", false, {{{e1, false}}}});
    s.faces.push_back({"cone-surface 0 0 0 0 0 1 " + SatBuilder::num(r) + " 0 0 1 I I 0 1 " + SatBuilder::num(r),
                       false, {{{e0, false}}, {{e1, true}}}});
  } else {
    double l = std::hypot(r, h);
    s.faces.push_back({"cone-surface 0 0 0 0 0 1 " + SatBuilder::num(r) + " 0 0 1 I I " + SatBuilder::num(-r / l) +
                           " " + SatBuilder::num(h / l) + " " + SatBuilder::num(r),
                       false, {{{e0, false}}}});
  }
  return s.text();
}

std::string sphereText(double r) {
  SatBuilder s;
  s.faces.push_back({"sphere-surface 0 0 0 " + SatBuilder::num(r) + " 1 0 0 0 0 1", false, {}});
  return s.text();
}

std::string torusText(double big, double small) {
  SatBuilder s;
  s.faces.push_back({"torus-surface 0 0 0 0 0 1 " + SatBuilder::num(big) + " " + SatBuilder::num(small) + " 1 0 0",
                     false, {}});
  return s.text();
}

std::vector<std::string> mix() {
  std::vector<std::string> out;
  for (int i = 0; i < 1000; ++i) {
    double size = 1 + (i % 7);
    switch (i % 6) {
      case 0: out.push_back(boxText(size, 0)); break;
      case 1: out.push_back(boxText(size * 2, size * 0.4)); break;
      case 2: out.push_back(coneText(size, size * 3, true)); break;
      case 3: out.push_back(coneText(size, size * 2, false)); break;
      case 4: out.push_back(sphereText(size)); break;
      default: out.push_back(torusText(size * 3, size)); break;
    }
  }
  return out;
}

void BM_TessellateMix(benchmark::State& state) {
  static const std::vector<std::string> models = mix();
  size_t triangles = 0;
  for (auto _ : state) {
    for (const std::string& m : models) {
      corvane::SolidTessellation t;
      std::string reason;
      if (!corvane::tessellateSatText(m, 0, t, reason)) state.SkipWithError(reason.c_str());
      for (const auto& b : t.bodies)
        for (const auto& f : b.faces) triangles += f[3] < 0 ? 1 : 2;
    }
  }
  state.counters["solids/s"] = benchmark::Counter(double(state.iterations() * models.size()), benchmark::Counter::kIsRate);
  state.counters["triangles/s"] = benchmark::Counter(double(triangles), benchmark::Counter::kIsRate);
  state.counters["triangles/solid"] = double(triangles) / double(state.iterations() * models.size());
}
BENCHMARK(BM_TessellateMix)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
