// Constrained triangulation of a planar region bounded by closed polygons
// (outer boundaries and holes, told apart by nesting): ear clipping with
// hole bridging gives a first triangulation, edge flips make it Delaunay
// except across the boundary, and points can then be inserted inside a
// triangle or on an interior edge to refine it. Boundary edges are never
// flipped or split, so the boundary points stay exactly as given.
#pragma once

#include <array>
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "geometry/vec_math.h"

namespace corvane::solids {

class PlanarTriangulation {
public:
  // Triangulates the region inside `loops` (each a closed ring of indices
  // into `points`, any orientation; loops nested in an odd number of others
  // are holes). Degenerate loops (fewer than 3 points, no area) are ignored.
  // Returns false when no triangle results. Triangles come out
  // counter-clockwise.
  bool build(std::vector<Vec2> points, const std::vector<std::vector<int>>& loops);

  // Flips every interior edge that is not locally Delaunay.
  void makeDelaunay();

  // Inserts `p` (inside triangle t) / (on the interior edge opposite vertex
  // k of triangle t), restores the Delaunay property around it and returns
  // the new point's index. Returns -1 when the edge is a boundary edge.
  int insertInTriangle(int t, Vec2 p);
  int insertOnEdge(int t, int k, Vec2 p);

  bool isBoundaryEdge(int a, int b) const { return constrained_.count(key(a, b)) != 0; }

  const std::vector<Vec2>& points() const { return points_; }
  const std::vector<std::array<int, 3>>& triangles() const { return tris_; }
  const std::vector<std::array<int, 3>>& neighbours() const { return nbrs_; }

private:
  static uint64_t key(int a, int b) {
    if (a > b) std::swap(a, b);
    return (uint64_t(uint32_t(a)) << 32) | uint32_t(b);
  }
  void earClip(std::vector<int> poly);
  void linkNeighbours();
  void legalize(std::vector<std::pair<int, int>>& stack);
  bool flip(int t, int k);
  void replaceNeighbour(int t, int from, int to);

  std::vector<Vec2> points_;
  std::vector<std::array<int, 3>> tris_;
  std::vector<std::array<int, 3>> nbrs_; // across the edge opposite each vertex; -1 none
  std::unordered_set<uint64_t> constrained_;
  double eps_ = 0; // area tolerance, relative to the region's size
};

} // namespace corvane::solids
