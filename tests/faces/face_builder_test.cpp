#include "faces/face_builder.h"

#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <map>

namespace corvane {
namespace {

using Corners = std::vector<std::vector<int>>;

Corners cornersOf(const FaceBlock& b) {
  Corners out;
  for (const BlockFace& f : b.faces) out.emplace_back(f.corners.begin(), f.corners.begin() + f.cornerCount);
  return out;
}

void expectNear(const Vec3& got, const Vec3& want) {
  EXPECT_NEAR(got.x, want.x, 1e-12);
  EXPECT_NEAR(got.y, want.y, 1e-12);
  EXPECT_NEAR(got.z, want.z, 1e-12);
}

bool indicesInside(const FaceBlock& b) {
  for (const BlockFace& f : b.faces)
    for (int k = 0; k < f.cornerCount; ++k)
      if (f.corners[k] < 0 || static_cast<size_t>(f.corners[k]) >= b.vertices.size()) return false;
  return true;
}

TEST(FaceBuilder, FaceIsATriangleOnlyWhenCorners3And4AreEqual) {
  FaceGeometry g{{{0, 0, 0}, {1, 0, 0}, {1, 1, 1}, {1, 1, 1}}, 8 | 1};
  EntityFaces e = buildFaces(g);
  EXPECT_EQ(cornersOf(*e.block), (Corners{{0, 1, 2}}));
  EXPECT_EQ(e.block->faces[0].invisibleEdges, 4 | 1);  // the closing edge keeps its bit
  g.corners[1] = g.corners[0];                          // equal 1 and 2: still a quad
  g.corners[3] = {0, 1, 0};
  EXPECT_EQ(cornersOf(*buildFaces(g).block), (Corners{{0, 1, 2, 3}}));
}

// Corners stored crosswise: 1 (0,0), 2 (1,0), 3 (0,1), 4 (1,1).
SolidGeometry squareSolid() { return {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, 0, 0, {0, 0, 1}}; }

TEST(FaceBuilder, SolidOutlineRunsInCornerOrder1243) {
  FaceBlock b = *buildFaces(squareSolid()).block;
  ASSERT_EQ(b.vertices.size(), 4u);
  expectNear(b.vertices[2], {1, 1, 0});
  expectNear(b.vertices[3], {0, 1, 0});
  SolidGeometry s = squareSolid();
  s.corners[3] = s.corners[2];
  b = *buildFaces(s).block;
  EXPECT_EQ(cornersOf(b), (Corners{{0, 1, 2}}));
  expectNear(b.vertices[2], {0, 1, 0});
}

TEST(FaceBuilder, SolidUsesTheArbitraryAxisRule) {
  SolidGeometry s = squareSolid();
  s.corners[0] = {1, 2, 3};
  s.elevation = 1;
  const std::pair<Vec3, Vec3> cases[] = {
      {{0, 0, -1}, {-1, 2, -4}}, {{0, 0, -5}, {-1, 2, -4}}, {{1, 0, 0}, {4, 1, 2}},
      {{0, 0, 0}, {1, 2, 4}},  // unusable directions fall back to the world frame
      {{NAN, 0, 1}, {1, 2, 4}}};
  for (const auto& [extrusion, want] : cases) {
    s.extrusion = extrusion;
    expectNear(buildFaces(s).block->vertices[0], want);
  }
}

// A closed prism facing outwards: each directed edge once, its reverse once,
// and every face's normal pointing away from the centre.
void expectOutwardClosed(const FaceBlock& b) {
  Vec3 c;
  for (const Vec3& v : b.vertices) c = {c.x + v.x, c.y + v.y, c.z + v.z};
  c = {c.x / b.vertices.size(), c.y / b.vertices.size(), c.z / b.vertices.size()};
  std::map<std::pair<int, int>, int> edges;
  for (const BlockFace& f : b.faces) {
    Vec3 n, fc;
    for (int k = 0; k < f.cornerCount; ++k) {
      const Vec3& p = b.vertices[f.corners[k]];
      const Vec3& q = b.vertices[f.corners[(k + 1) % f.cornerCount]];
      n = {n.x + (p.y - q.y) * (p.z + q.z), n.y + (p.z - q.z) * (p.x + q.x), n.z + (p.x - q.x) * (p.y + q.y)};
      fc = {fc.x + p.x, fc.y + p.y, fc.z + p.z};
      ++edges[{f.corners[k], f.corners[(k + 1) % f.cornerCount]}];
    }
    const double k = f.cornerCount;
    EXPECT_GT(n.x * (fc.x / k - c.x) + n.y * (fc.y / k - c.y) + n.z * (fc.z / k - c.z), 0);
  }
  for (const auto& [edge, count] : edges) {
    EXPECT_EQ(count, 1);
    EXPECT_EQ(edges.count({edge.second, edge.first}), 1u);
  }
}

TEST(FaceBuilder, SolidWithThicknessIsAnOutwardPrism) {
  for (double thickness : {2.0, -2.0}) {
    for (bool clockwise : {false, true}) {
      for (Vec3 extrusion : {Vec3{0, 0, 1}, Vec3{0, 0, -1}, Vec3{1, 0, 0}, Vec3{1, 2, 3}}) {
        SCOPED_TRACE(testing::Message() << thickness << " " << clockwise << " " << extrusion.x);
        SolidGeometry s = squareSolid();
        if (clockwise) {
          std::swap(s.corners[0], s.corners[1]);
          std::swap(s.corners[2], s.corners[3]);
        }
        s.thickness = thickness;
        s.extrusion = extrusion;
        s.elevation = 5;
        const FaceBlock b = *buildFaces(s).block;
        EXPECT_EQ(b.vertices.size(), 8u);
        EXPECT_EQ(b.faces.size(), 6u);  // two caps, four sides
        expectOutwardClosed(b);
      }
    }
  }
  SolidGeometry triangle = squareSolid();
  triangle.corners[3] = triangle.corners[2];
  triangle.thickness = 1;
  const FaceBlock b = *buildFaces(triangle).block;
  EXPECT_EQ(b.faces.size(), 5u);
  expectOutwardClosed(b);
}

TEST(FaceBuilder, PolyfaceKeepsTrianglesAndDropsFacesOutsideItsVertices) {
  PolyfaceGeometry g;
  g.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  g.faces = {{{1, 2, 3, 4}},  {{1, -3, 4, 0}},  // kept; -3 hides the second edge
             {{1, 2, 5, 0}},  {{-5, 1, 2, 0}},  // vertex 5 of 4
             {{1, 2, 0, 3}},  {{0, 1, 2, 3}},   // end before three corners
             {{1, 2, 3, -2147483647}}};
  const FaceBlock b = *buildFaces(g).block;
  EXPECT_EQ(cornersOf(b), (Corners{{0, 1, 2, 3}, {0, 2, 3}}));
  EXPECT_EQ(b.faces[1].invisibleEdges, 2);
  ASSERT_EQ(b.normals.size(), 4u);
  expectNear(b.normals[0], {0, 0, 1});
  EXPECT_FALSE(buildFaces(PolyfaceGeometry{{}, g.faces}).block);
}

PolygonMeshGeometry grid(int m, int n, bool closedM = false, bool closedN = false) {
  PolygonMeshGeometry g;
  g.m = m;
  g.n = n;
  g.closedM = closedM;
  g.closedN = closedN;
  for (int i = 0; i < m * n; ++i) g.vertices.push_back({double(i % n), double(i / n), 0.1 * i});
  return g;
}

TEST(FaceBuilder, PolygonMeshQuadCounts) {
  EXPECT_EQ(buildFaces(grid(3, 4)).block->faces.size(), 6u);               // (M-1)(N-1)
  EXPECT_EQ(buildFaces(grid(3, 4, true)).block->faces.size(), 9u);         // + N-1
  EXPECT_EQ(buildFaces(grid(3, 4, false, true)).block->faces.size(), 8u);  // + M-1
  EXPECT_EQ(buildFaces(grid(3, 4, true, true)).block->faces.size(), 12u);  // M N
  EXPECT_EQ(buildFaces(grid(2, 2, true, true)).block->faces.size(), 1u);   // two rows don't wrap
  EXPECT_EQ(buildFaces(grid(1, 5)).block->faces.size(), 0u);
  EXPECT_EQ(cornersOf(*buildFaces(grid(2, 3, false, true)).block),
            (Corners{{0, 1, 4, 3}, {1, 2, 5, 4}, {2, 0, 3, 5}}));
  PolygonMeshGeometry none = grid(2, 2);
  none.m = -3;
  EXPECT_FALSE(buildFaces(none).block);
}

TEST(FaceBuilder, PolygonMeshWithTooFewVerticesBuildsOnlyQuadsThatExist) {
  PolygonMeshGeometry g = grid(3, 4, true, true);
  g.vertices.resize(10);  // row 2 holds columns 0 and 1 only
  FaceBlock b = *buildFaces(g).block;
  EXPECT_TRUE(indicesInside(b));
  EXPECT_EQ(b.faces.size(), 6u);  // rows 0-1: 4; rows 1-2 and 2-0: column 0 only

  g.m = g.n = 2000000000;  // absurd counts over a short list: quick and safe
  const auto start = std::chrono::steady_clock::now();
  b = *buildFaces(g).block;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_TRUE(b.faces.empty());
}

TEST(FaceBuilder, SmoothedPolygonMeshUsesItsSurfaceWhenCountsAgree) {
  PolygonMeshGeometry g = grid(2, 2);
  g.smoothed = true;
  g.surfaceM = g.surfaceN = 3;
  g.surfaceVertices = grid(3, 3).vertices;
  EXPECT_EQ(buildFaces(g).block->faces.size(), 4u);
  g.surfaceVertices.pop_back();
  EXPECT_EQ(buildFaces(g).block->faces.size(), 1u);  // the control grid
}

TEST(FaceBuilder, SolidModels) {
  std::string reason;
  EXPECT_FALSE(buildFaces(SolidModelData{}, 0, &reason).block);  // no model data
  EXPECT_FALSE(reason.empty());
  SolidMesh mesh{{{0, 0, 0}, {2, 0, 0}, {3, 1, 0}, {1, 2, 0}},
                 {{0, 1, 2, -1}, {0, 1, 2, 3}, {0, 1, 4, -1}, {-1, 0, 1, 2}, {0, 1, 2, -2}}};
  const FaceBlock b = *buildFaces(mesh).block;
  EXPECT_EQ(cornersOf(b), (Corners{{0, 1, 2}, {0, 1, 2, 3}}));
  EXPECT_EQ(b.normals.size(), 4u);
}

} // namespace
} // namespace corvane
