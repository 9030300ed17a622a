// Each kind EXPLODE places, placed in process from inline drawing text by a
// mirror, a non-uniform scale and a shear (and, for the kinds that refuse
// all three, by a map that keeps shapes): a copy exactly where the map takes
// the source, or the reason the kind can't hold the map. Where a copy is
// made, its points are read back by the DXF rules (object coordinates,
// elevation, thickness, bulges, angles and parameters) or, for the kinds
// the export converts, as the faces the export makes of it: a map's image
// of the source's faces, turned back to their front where the map mirrors.
// The ezdxf comparisons (tests/integration/explode_program_test.cpp) check
// whole drawings through the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "drawing/drawing.h"
#include "dxf/dxf_text_builder.h"
#include "explode/kind_edits.h"
#include "explode/placement.h"
#include "faces/face_builder.h"
#include "geometry/vec_math.h"
#include "solids/dxf_model_text.h"
#include "solids/sat_builder.h"

namespace corvane {
namespace {

using testing::dxfText;
using testing::Groups;

// Groups written compactly: "CODE VALUE" pairs separated by '|', a record
// to a line ("0 LINE|8 0|10 1.5|").
Groups groups(std::string_view text) {
  Groups out;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find('|', at), text.size());
    const std::string_view pair = text.substr(at, end - at);
    const size_t space = pair.find(' ');
    out.emplace_back(std::stoi(std::string(pair.substr(0, space))), std::string(pair.substr(space + 1)));
    at = end + 1;
  }
  return out;
}

// ---- the maps ----------------------------------------------------------------------

Affine mirror() { return translation({5, -2, 1}) * rotationZ(0.4) * scaling(-1, 1, 1); }
Affine unevenScale() { return translation({1, 2, 3}) * rotationZ(0.3) * scaling(2, 0.5, 3); }
Affine shear() {
  Affine a;
  a.m[0][1] = 0.5; // x grows with y (in the plane) and with z (across it)
  a.m[0][2] = 0.3;
  a.t = {-1, 0, 2};
  return a;
}
// Keeps shapes: turned, scaled by 1.5 and moved.
Affine similarity() { return translation({2, 1, -1}) * rotationZ(1.1) * scaling(1.5, 1.5, 1.5); }

struct NamedMap {
  const char* name;
  Affine map;
};
const NamedMap kMaps[] = {{"mirror", mirror()}, {"uneven scale", unevenScale()}, {"shear", shear()}};

// ---- reading objects back ----------------------------------------------------------

std::string show(const Vec3& p) {
  return "(" + std::to_string(p.x) + ", " + std::to_string(p.y) + ", " + std::to_string(p.z) + ")";
}

void expectAt(const Vec3& got, const Vec3& want, const std::string& what = "") {
  EXPECT_LT(distance(got, want), 1e-9) << what << ": " << show(got) << " instead of " << show(want);
}

// AFTER is A's image of BEFORE, point by point.
void expectImage(const std::vector<Vec3>& before, const std::vector<Vec3>& after, const Affine& a) {
  ASSERT_EQ(after.size(), before.size());
  for (size_t k = 0; k < before.size(); ++k) expectAt(after[k], a.apply(before[k]), "point " + std::to_string(k));
}

Vec3 toWorld(const Vec3& extrusion, const Vec3& p) { return objectToWorld(extrusion).apply(p); }

// One record's groups as its drawing reads them.
class Record {
public:
  explicit Record(std::vector<DxfGroupView> groups) : groups_(std::move(groups)) {}
  double real(int code, double fallback = 0) const {
    for (const DxfGroupView& g : groups_)
      if (g.code == code) return g.real();
    return fallback;
  }
  long long integer(int code, long long fallback = 0) const {
    for (const DxfGroupView& g : groups_)
      if (g.code == code) return g.integer();
    return fallback;
  }
  // Every point whose x has code CODE (y and z follow as CODE + 10, + 20).
  std::vector<Vec3> points(int code, double z = 0) const {
    std::vector<Vec3> out;
    for (const DxfGroupView& g : groups_) {
      if (g.code == code) out.push_back({g.real(), 0, z});
      else if (!out.empty() && g.code == code + 10) out.back().y = g.real();
      else if (!out.empty() && g.code == code + 20) out.back().z = g.real();
    }
    return out;
  }
  Vec3 point(int code, const Vec3& fallback = {}) const {
    std::vector<Vec3> all = points(code);
    return all.empty() ? fallback : all.front();
  }
  Vec3 extrusion() const { return point(210, {0, 0, 1}); }
  const std::vector<DxfGroupView>& all() const { return groups_; }

private:
  std::vector<DxfGroupView> groups_;
};

// The VERTEX (or ATTRIB) records after an object, one Record each.
std::vector<Record> subRecords(const Drawing& d, const AcDbObjectRecord& r, std::string_view type) {
  std::vector<Record> out;
  std::vector<DxfGroupView> current;
  bool inRecord = false;
  for (const DxfGroupView& g : d.subEntityGroups(r)) {
    if (g.code == 0) {
      if (inRecord) out.emplace_back(std::move(current));
      current.clear();
      inRecord = trimBlanks(g.text()) == type;
    }
    if (inRecord) current.push_back(g);
  }
  if (inRecord) out.emplace_back(std::move(current));
  return out;
}

// ---- faces as the export makes them -------------------------------------------------

// A face's corners in order, each with whether the edge from it on is hidden.
struct Corner {
  Vec3 p;
  bool hidden = false;
};
using Loop = std::vector<Corner>;

std::vector<Loop> exportedFaces(const Drawing& d, const AcDbObjectRecord& r) {
  std::string note;
  EntityFaces faces = buildFaces(d, r, chordTolerance(), note);
  std::vector<Loop> out;
  if (!faces.block) return out;
  for (const BlockFace& f : faces.block->faces) {
    Loop loop;
    for (int k = 0; k < f.cornerCount; ++k)
      loop.push_back({faces.block->vertices[static_cast<size_t>(f.corners[static_cast<size_t>(k)])],
                      ((f.invisibleEdges >> k) & 1) != 0});
    out.push_back(loop);
  }
  return out;
}

// LOOPS placed by A; where A mirrors, each runs the other way (the edge
// from a corner is then the one that ended there) to keep its front.
std::vector<Loop> image(std::vector<Loop> loops, const Affine& a) {
  for (Loop& loop : loops) {
    for (Corner& c : loop) c.p = a.apply(c.p);
    if (!a.mirrors()) continue;
    const size_t n = loop.size();
    Loop reversed(n);
    for (size_t k = 0; k < n; ++k) reversed[k] = {loop[(n - k) % n].p, loop[(2 * n - k - 1) % n].hidden};
    loop = reversed;
  }
  return loops;
}

bool sameLoop(const Loop& a, const Loop& b) {
  if (a.size() != b.size()) return false;
  for (size_t shift = 0; shift < a.size(); ++shift) {
    bool same = true;
    for (size_t k = 0; k < a.size() && same; ++k) {
      const Corner& x = a[k];
      const Corner& y = b[(k + shift) % b.size()];
      same = distance(x.p, y.p) < 1e-9 && x.hidden == y.hidden;
    }
    if (same) return true;
  }
  return false;
}

void expectSameFaces(std::vector<Loop> want, const std::vector<Loop>& got) {
  ASSERT_FALSE(want.empty());
  EXPECT_EQ(got.size(), want.size());
  for (const Loop& g : got) {
    auto it = std::find_if(want.begin(), want.end(), [&](const Loop& w) { return sameLoop(w, g); });
    if (it == want.end()) {
      ADD_FAILURE() << "a face the source's image does not have, at " << show(g.front().p);
      return;
    }
    want.erase(it);
  }
}

// ---- the drawing ---------------------------------------------------------------------

// An R2000 drawing whose ENTITIES section holds ENTITY (with the records
// that follow it), placed by the maps above.
class Placement : public ::testing::Test {
protected:
  void load(const Groups& entity) {
    Groups all = groups("0 SECTION|2 HEADER|9 $ACADVER|1 AC1015|9 $HANDSEED|5 100|0 ENDSEC|0 SECTION|2 ENTITIES");
    all.insert(all.end(), entity.begin(), entity.end());
    all.insert(all.end(), {{0, "ENDSEC"}, {0, "EOF"}});
    DrawingLoadResult r = Drawing::loadText(dxfText(all), "place.dxf");
    ASSERT_TRUE(r.drawing) << r.error;
    d_ = std::move(r.drawing);
    source_ = d_->records().firstModelSpace();
    ASSERT_NE(source_, nullptr);
  }

  // Places the source by A: true with the copies added to the drawing, or
  // false with the reason in why_.
  bool place(const Affine& a) {
    Placer placer(*d_, d_->modelSpaceOwner());
    std::vector<PlacedObject> placed;
    copies_.clear();
    why_.clear();
    if (!placer.place(*source_, a, Appearance{}, placed, why_)) return false;
    for (const PlacedObject& p : placed) {
      copies_.push_back(d_->addEntity(p.text, p.handle, nullptr, p.solidRecord));
      EXPECT_NE(copies_.back(), nullptr) << p.text;
    }
    return !copies_.empty() && copies_.back() != nullptr;
  }

  Record groupsOf(const AcDbObjectRecord* r) const { return Record(d_->groups(*r)); }
  Record source() const { return groupsOf(source_); }
  Record copy() const { return groupsOf(copies_.at(0)); }
  std::string copyType(size_t k = 0) const { return std::string(d_->typeName(*copies_.at(k))); }

  // The copies' faces are the map's image of the source's.
  void expectImageFaces(const Affine& a) {
    std::vector<Loop> got;
    for (const AcDbObjectRecord* c : copies_) {
      std::vector<Loop> more = exportedFaces(*d_, *c);
      got.insert(got.end(), more.begin(), more.end());
    }
    expectSameFaces(image(exportedFaces(*d_, *source_), a), got);
  }

  // Places the source by each of kMaps: copies of the kind KINDS names for
  // that map, whose faces are its image of the source's.
  void expectFacesPlaced(const std::array<const char*, 3>& kinds) {
    for (size_t k = 0; k < kinds.size(); ++k) {
      SCOPED_TRACE(kMaps[k].name);
      ASSERT_TRUE(place(kMaps[k].map)) << why_;
      EXPECT_EQ(copyType(), kinds[k]);
      expectImageFaces(kMaps[k].map);
    }
  }

  std::unique_ptr<Drawing> d_;
  AcDbObjectRecord* source_ = nullptr;
  std::vector<AcDbObjectRecord*> copies_;
  std::string why_;
};

// ---- kinds the export converts ---------------------------------------------------------

TEST_F(Placement, FaceKeepsItsFrontAndItsHiddenEdges) {
  load(groups("0 3DFACE|8 0|10 0|20 0|30 0|11 1|21 0|31 0|12 1|22 1|32 0.5|13 0|23 1|33 0|70 5"));
  expectFacesPlaced({"3DFACE", "3DFACE", "3DFACE"});
}

TEST_F(Placement, SolidStaysASolidWhereItsThicknessStaysOne) {
  // A tilted plane, an elevation and a thickness: the uneven scale does not
  // keep the extrusion across the plane, nor does the shear, and the faces
  // of the prism are placed instead.
  load(
      groups("0 SOLID|8 0|10 0|20 0|30 0.5|11 2|21 0|31 0.5|12 0|22 1|32 0.5|13 2|23 1.5|33 0.5|39 2|"
             "210 0.6|220 0|230 0.8"));
  expectFacesPlaced({"SOLID", "POLYLINE", "POLYLINE"});
  // Upright, the uneven scale keeps the thickness a thickness.
  load(groups("0 SOLID|8 0|10 0|20 0|11 2|21 0|12 0|22 1|13 1|23 1|39 -1"));
  ASSERT_TRUE(place(unevenScale())) << why_;
  EXPECT_EQ(copyType(), "SOLID");
  expectImageFaces(unevenScale());
}

TEST_F(Placement, PolyfaceMeshKeepsEveryFaceFront) {
  // A pyramid's three sides; the last has a hidden edge (a negative index).
  load(
      groups("0 POLYLINE|8 0|66 1|10 0|20 0|30 0|70 64|71 4|72 3|"
             "0 VERTEX|8 0|10 0|20 0|30 0|70 192|"
             "0 VERTEX|8 0|10 2|20 0|30 0|70 192|"
             "0 VERTEX|8 0|10 1|20 2|30 0|70 192|"
             "0 VERTEX|8 0|10 1|20 0.7|30 1.5|70 192|"
             "0 VERTEX|8 0|10 0|20 0|30 0|70 128|71 1|72 2|73 4|"
             "0 VERTEX|8 0|10 0|20 0|30 0|70 128|71 2|72 3|73 4|"
             "0 VERTEX|8 0|10 0|20 0|30 0|70 128|71 3|72 -1|73 4|"
             "0 SEQEND|8 0"));
  expectFacesPlaced({"POLYLINE", "POLYLINE", "POLYLINE"});
}

TEST_F(Placement, PolygonMeshRunsItsRowsBackwardsUnderAMirror) {
  Groups mesh = groups("0 POLYLINE|8 0|66 1|10 0|20 0|30 0|70 16|71 3|72 3");
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      mesh.insert(mesh.end(), {{0, "VERTEX"},
                               {8, "0"},
                               {10, std::to_string(i)},
                               {20, std::to_string(j)},
                               {30, std::to_string((i * j) % 2 * 0.5 + 0.1 * j)},
                               {70, "64"}});
  mesh.insert(mesh.end(), {{0, "SEQEND"}, {8, "0"}});
  load(mesh);
  expectFacesPlaced({"POLYLINE", "POLYLINE", "POLYLINE"});
}

TEST_F(Placement, SolidModelMovesAsAWholeOrBecomesItsFaces) {
  // A box's model text: a map that keeps shapes moves the model (the
  // mirror), any other places its faces.
  std::vector<std::pair<int, std::string>> model;
  ASSERT_TRUE(solids::encodeModelText(solids::test::box(1, 2, 0.5).text(), model));
  Groups solid = groups("0 3DSOLID|8 0|70 1");
  solid.insert(solid.end(), model.begin(), model.end());
  load(solid);
  expectFacesPlaced({"3DSOLID", "POLYLINE", "POLYLINE"});
}

// ---- kinds in world coordinates -----------------------------------------------------------

TEST_F(Placement, LineAndPointCarryTheirThicknessAlongTheMappedExtrusion) {
  for (const Groups& entity : {groups("0 LINE|8 0|39 1.5|10 1|20 2|30 3|11 4|21 -1|31 0"),
                               groups("0 POINT|8 0|39 -2|10 1|20 2|30 3|210 0|220 0.6|230 0.8")}) {
    load(entity);
    const Record s = source();
    for (const auto& [name, a] : kMaps) {
      SCOPED_TRACE(name);
      ASSERT_TRUE(place(a)) << why_;
      const Record c = copy();
      for (int code : {10, 11}) {
        if (s.points(code).empty()) continue;
        expectAt(c.point(code), a.apply(s.point(code)), "end");
        // The far end of the thickness.
        expectAt(c.point(code) + c.extrusion() * c.real(39), a.apply(s.point(code) + s.extrusion() * s.real(39)),
                 "thickness");
      }
    }
  }
}

TEST_F(Placement, SplineControlAndFitPointsAndTangentsMove) {
  load(
      groups("0 SPLINE|8 0|210 0|220 0|230 1|70 8|71 3|72 8|73 4|74 2|12 1|22 0|32 0|13 0|23 1|33 0|"
             "40 0|40 0|40 0|40 0|40 1|40 1|40 1|40 1|10 0|20 0|30 0|10 1|20 2|30 0|10 3|20 2|30 0|10 4|"
             "20 0|30 0|11 0|21 0|31 0|11 4|21 0|31 0"));
  const Record s = source();
  for (const auto& [name, a] : kMaps) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(place(a)) << why_;
    const Record c = copy();
    for (int code : {10, 11}) expectImage(s.points(code), c.points(code), a);
    for (int code : {12, 13}) expectAt(c.point(code), a.applyLinear(s.point(code)), "tangent");
    // The plane's normal: across the image of the plane, on the side of the
    // image of the source's front.
    const std::vector<Vec3> points = c.points(10);
    EXPECT_NEAR(length(c.extrusion()), 1, 1e-12);
    for (size_t k = 1; k < points.size(); ++k) EXPECT_NEAR(dot(c.extrusion(), points[k] - points[0]), 0, 1e-9);
    EXPECT_GT(dot(c.extrusion(), a.applyLinear(s.extrusion())), 0);
  }
}

TEST_F(Placement, Polyline3dVerticesMove) {
  load(
      groups("0 POLYLINE|8 0|66 1|10 0|20 0|30 0|70 8|"
             "0 VERTEX|8 0|10 0|20 0|30 0|70 32|"
             "0 VERTEX|8 0|10 1|20 2|30 3|70 32|"
             "0 VERTEX|8 0|10 -1|20 0.5|30 2|70 32|"
             "0 SEQEND|8 0"));
  auto vertices = [&](const AcDbObjectRecord* r) {
    std::vector<Vec3> out;
    for (const Record& v : subRecords(*d_, *r, "VERTEX")) out.push_back(v.point(10));
    return out;
  };
  const std::vector<Vec3> before = vertices(source_);
  for (const auto& [name, a] : kMaps) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(place(a)) << why_;
    expectImage(before, vertices(copies_[0]), a);
  }
}

TEST_F(Placement, MeshKeepsItsFacesFront) {
  // A MESH of four vertices and two triangles.
  load(
      groups("0 MESH|8 0|100 AcDbSubDMesh|71 2|72 0|91 0|92 4|10 0|20 0|30 0|10 1|20 0|30 0|10 1|20 1|"
             "30 0.5|10 0|20 1|30 0|93 8|90 3|90 0|90 1|90 2|90 3|90 0|90 2|90 3|94 0|95 0|90 0"));
  // A MESH's faces: each a count, then that many vertex indices.
  auto faces = [](const Record& g) {
    const std::vector<Vec3> v = g.points(10);
    std::vector<Loop> out;
    std::vector<long long> list;
    bool inFaces = false;
    for (const DxfGroupView& x : g.all()) {
      if (x.code == 93) inFaces = true;
      else if (x.code == 90 && inFaces) list.push_back(x.integer());
      else if (x.code == 94) break;
    }
    for (size_t k = 0; k < list.size(); k += static_cast<size_t>(list[k]) + 1) {
      Loop loop;
      for (long long i = 1; i <= list[k]; ++i) loop.push_back({v.at(static_cast<size_t>(list[k + i])), false});
      out.push_back(loop);
    }
    return out;
  };
  const std::vector<Loop> before = faces(source());
  ASSERT_EQ(before.size(), 2u);
  for (const auto& [name, a] : kMaps) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(place(a)) << why_;
    EXPECT_EQ(copyType(), "MESH");
    expectSameFaces(image(before, a), faces(copy()));
  }
}

// A point of an ellipse's groups at parameter T.
Vec3 ellipsePoint(const Record& g, double t) {
  const Vec3 major = g.point(11), normal = normalized(g.extrusion());
  const Vec3 minor = cross(normal, major) * g.real(40);
  return g.point(10) + major * std::cos(t) + minor * std::sin(t);
}

TEST_F(Placement, EllipseKeepsItsArcUnderMapsThatKeepShapes) {
  load(groups("0 ELLIPSE|8 0|10 1|20 1|30 0.5|11 2|21 0.5|31 0|210 0|220 0|230 1|40 0.5|41 0.3|42 2.5"));
  const Record s = source();
  for (const Affine& a : {mirror(), similarity()}) {
    ASSERT_TRUE(place(a)) << why_;
    const Record c = copy();
    // The ends trade places under a mirror; the middle stays the middle.
    const Vec3 start = a.apply(ellipsePoint(s, 0.3)), end = a.apply(ellipsePoint(s, 2.5));
    const Vec3 copyStart = ellipsePoint(c, c.real(41)), copyEnd = ellipsePoint(c, c.real(42));
    expectAt(copyStart, a.mirrors() ? end : start, "start");
    expectAt(copyEnd, a.mirrors() ? start : end, "end");
    double middle = (c.real(41) + c.real(42)) / 2;
    if (c.real(42) < c.real(41)) middle += kPi;
    expectAt(ellipsePoint(c, middle), a.apply(ellipsePoint(s, 1.4)), "middle");
  }
  for (const Affine& a : {unevenScale(), shear()}) {
    EXPECT_FALSE(place(a));
    EXPECT_EQ(why_, "can't be scaled unevenly");
  }
}

TEST_F(Placement, MTextMovesOnlyWhereItKeepsItsShapeAndReadsForwards) {
  load(groups("0 MTEXT|8 0|10 1|20 2|30 0|40 0.5|41 4|11 1|21 1|31 0|1 Two words"));
  const Record s = source();
  ASSERT_TRUE(place(similarity())) << why_;
  const Record c = copy();
  expectAt(c.point(10), similarity().apply(s.point(10)), "insertion");
  expectAt(c.point(11), normalized(similarity().applyLinear(s.point(11))), "direction");
  EXPECT_DOUBLE_EQ(c.real(40), 0.75);
  EXPECT_DOUBLE_EQ(c.real(41), 6);
  EXPECT_FALSE(place(mirror()));
  EXPECT_EQ(why_, "can't be mirrored");
  for (const Affine& a : {unevenScale(), shear()}) {
    EXPECT_FALSE(place(a));
    EXPECT_EQ(why_, "can't be scaled unevenly");
  }
}

// ---- planar kinds -----------------------------------------------------------------------------

TEST_F(Placement, TraceKeepsItsCornersOrRefusesAShearAcrossItsThickness) {
  load(groups("0 TRACE|8 0|10 0|20 0|30 0.5|11 2|21 0|31 0.5|12 0|22 1|32 0.5|13 2|23 1.5|33 0.5|39 1"));
  // Corners at the elevation, and the far ends of the thickness.
  auto corners = [](const Record& g) {
    std::vector<Vec3> out;
    for (int code : {10, 11, 12, 13}) {
      const Vec3 p = toWorld(g.extrusion(), g.point(code));
      out.push_back(p);
      out.push_back(p + normalized(g.extrusion()) * g.real(39));
    }
    return out;
  };
  const std::vector<Vec3> before = corners(source());
  for (const Affine& a : {mirror(), unevenScale()}) {
    ASSERT_TRUE(place(a)) << why_;
    std::vector<Vec3> after = corners(copy());
    for (const Vec3& p : before) {
      auto it = std::find_if(after.begin(), after.end(), [&](const Vec3& q) { return distance(q, a.apply(p)) < 1e-9; });
      ASSERT_NE(it, after.end()) << show(a.apply(p));
      after.erase(it);
    }
  }
  EXPECT_FALSE(place(shear()));
  EXPECT_EQ(why_, "can't be sheared");
}

// A point of a circle or arc's groups at ANGLE (degrees), in the world.
Vec3 arcPoint(const Record& g, double angle) {
  const double t = angle / kDegrees;
  const Vec3 c = g.point(10);
  return toWorld(g.extrusion(), {c.x + g.real(40) * std::cos(t), c.y + g.real(40) * std::sin(t), c.z});
}

TEST_F(Placement, CircleAndArcRunTheOtherWayUnderAMirror) {
  load(groups("0 ARC|8 0|39 0.5|10 1|20 2|30 0.25|40 1.5|210 0|220 0.6|230 0.8|50 30|51 120"));
  Record s = source();
  ASSERT_TRUE(place(mirror())) << why_;
  Record c = copy();
  expectAt(arcPoint(c, c.real(50)), mirror().apply(arcPoint(s, 120)), "start");
  expectAt(arcPoint(c, c.real(51)), mirror().apply(arcPoint(s, 30)), "end");
  const double middle = c.real(51) > c.real(50) ? (c.real(50) + c.real(51)) / 2 : (c.real(50) + c.real(51)) / 2 + 180;
  expectAt(arcPoint(c, middle), mirror().apply(arcPoint(s, 75)), "middle");
  expectAt(arcPoint(c, middle) + c.extrusion() * c.real(39),
           mirror().apply(arcPoint(s, 75) + s.extrusion() * s.real(39)), "thickness");

  load(groups("0 CIRCLE|8 0|10 1|20 2|30 0.25|40 1.5"));
  s = source();
  ASSERT_TRUE(place(mirror())) << why_;
  c = copy();
  // Every point of the source's image lies on the copy.
  const Vec3 centre = toWorld(c.extrusion(), c.point(10));
  expectAt(centre, mirror().apply(toWorld(s.extrusion(), s.point(10))), "centre");
  for (double angle : {0.0, 100.0, 230.0}) {
    const Vec3 p = mirror().apply(arcPoint(s, angle));
    EXPECT_NEAR(distance(p, centre), c.real(40), 1e-9);
    EXPECT_NEAR(dot(p - centre, c.extrusion()), 0, 1e-9);
  }
  for (const Affine& a : {unevenScale(), shear()}) {
    EXPECT_FALSE(place(a));
    EXPECT_EQ(why_, "can't be scaled unevenly");
  }
}

TEST_F(Placement, TextUnderAMirrorIsWrittenBackwards) {
  // The last one upside down (flag 4) already.
  const struct {
    const char* type;
    const char* flags; // group 71, empty for none
  } kTexts[] = {{"TEXT", ""}, {"ATTDEF", ""}, {"TEXT", "4"}};
  for (const auto& [type, flags] : kTexts) {
    SCOPED_TRACE(std::string(type) + " " + flags);
    Groups text = {{0, type},   {8, "0"},  {10, "1"},  {20, "1"},     {30, "0.5"},
                   {40, "0.5"}, {1, "AB"}, {50, "30"}, {3, "Prompt"}, {2, "TAG"}};
    if (*flags) text.push_back({71, flags});
    load(text);
    const Record s = source();
    // Where the text starts, and the ends of its baseline and of its height
    // from there: a text written backwards runs against its rotation.
    auto frame = [](const Record& g) {
      const double t = g.real(50) / kDegrees, h = g.real(40);
      const double run = (g.integer(71) & 2) ? -1 : 1, up = (g.integer(71) & 4) ? -1 : 1;
      const Vec3 p = g.point(10);
      return std::vector<Vec3>{toWorld(g.extrusion(), p),
                               toWorld(g.extrusion(), p + Vec3{std::cos(t), std::sin(t), 0} * (h * run)),
                               toWorld(g.extrusion(), p + Vec3{-std::sin(t), std::cos(t), 0} * (h * up))};
    };
    for (const Affine& a : {mirror(), similarity()}) {
      ASSERT_TRUE(place(a)) << why_;
      const std::vector<Vec3> before = frame(s), after = frame(copy());
      for (size_t k = 0; k < 3; ++k) expectAt(after[k], a.apply(before[k]));
      EXPECT_EQ((copy().integer(71) & 2) != 0, a.mirrors());
    }
    for (const Affine& a : {unevenScale(), shear()}) {
      EXPECT_FALSE(place(a));
      EXPECT_EQ(why_, "can't be scaled unevenly");
    }
  }
}

// The points of a 2D polyline's outline: its vertices (VERTICES, object
// coordinates at their elevation) and the middle of each arc between them
// (BULGES), in the world.
std::vector<Vec3> outline(const Vec3& extrusion, const std::vector<Vec3>& vertices, const std::vector<double>& bulges) {
  std::vector<Vec3> out;
  for (size_t k = 0; k < vertices.size(); ++k) {
    out.push_back(toWorld(extrusion, vertices[k]));
    if (k + 1 == vertices.size()) break;
    const Vec3 p = vertices[k], q = vertices[k + 1];
    // A positive bulge turns left: its arc's middle lies right of the chord.
    const Vec3 chord = q - p, right{chord.y, -chord.x, 0};
    out.push_back(toWorld(extrusion, (p + q) * 0.5 + right * (bulges[k] / 2)));
  }
  return out;
}

std::vector<Vec3> lwOutline(const Record& g) {
  std::vector<double> bulges;
  for (const DxfGroupView& x : g.all()) {
    if (x.code == 10) bulges.push_back(0);
    if (x.code == 42 && !bulges.empty()) bulges.back() = x.real();
  }
  return outline(g.extrusion(), g.points(10, g.real(38)), bulges);
}

std::vector<Vec3> polylineOutline(const Drawing& d, const AcDbObjectRecord& r) {
  const Record own(d.groups(r));
  std::vector<Vec3> vertices;
  std::vector<double> bulges;
  // A vertex lies at the polyline's elevation, whatever its own z says.
  for (const Record& v : subRecords(d, r, "VERTEX")) {
    vertices.push_back({v.point(10).x, v.point(10).y, own.point(10).z});
    bulges.push_back(v.real(42));
  }
  return outline(own.extrusion(), vertices, bulges);
}

TEST_F(Placement, PolylineArcsTurnTheOtherWayUnderAMirror) {
  // The same outline as an LWPOLYLINE and as a 2D POLYLINE: a straight
  // segment and an arc, at an elevation, in a tilted plane.
  Groups lw = groups(
      "0 LWPOLYLINE|8 0|90 3|70 0|38 0.25|10 0|20 0|10 2|20 0|42 0.5|10 2|20 1|210 0|220 0.6|"
      "230 0.8");
  Groups old = groups(
      "0 POLYLINE|8 0|66 1|10 0|20 0|30 0.25|70 0|210 0|220 0.6|230 0.8|"
      "0 VERTEX|8 0|10 0|20 0|30 0|"
      "0 VERTEX|8 0|10 2|20 0|30 0|42 0.5|"
      "0 VERTEX|8 0|10 2|20 1|30 0|"
      "0 SEQEND|8 0");
  for (bool light : {true, false}) {
    SCOPED_TRACE(light ? "LWPOLYLINE" : "POLYLINE");
    load(light ? lw : old);
    auto points = [&](const AcDbObjectRecord* r) { return light ? lwOutline(groupsOf(r)) : polylineOutline(*d_, *r); };
    const std::vector<Vec3> before = points(source_);
    ASSERT_TRUE(place(mirror())) << why_;
    expectImage(before, points(copies_[0]), mirror());
    // An arc can't be scaled unevenly.
    for (const Affine& a : {unevenScale(), shear()}) {
      EXPECT_FALSE(place(a));
      EXPECT_EQ(why_, "can't be scaled unevenly");
    }
  }
  // Straight, any map that keeps the plane will do.
  load(groups("0 LWPOLYLINE|8 0|90 2|70 0|10 1|20 0|10 2|20 3"));
  const std::vector<Vec3> before = lwOutline(source());
  for (const auto& [name, a] : kMaps) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(place(a)) << why_;
    expectImage(before, lwOutline(copy()), a);
  }
}

// ---- block references ------------------------------------------------------------------------------

InsertPlacement placementOf(const Record& g) {
  InsertPlacement p;
  p.insertion = g.point(10);
  p.scale = {g.real(41, 1), g.real(42, 1), g.real(43, 1)};
  p.rotation = g.real(50) / kDegrees;
  p.extrusion = g.extrusion();
  return p;
}

TEST_F(Placement, BlockReferenceTakesTheMapIntoItsPlacementWithItsAttributes) {
  load(
      groups("0 INSERT|8 0|66 1|2 B|10 1|20 2|30 0|41 1|42 2|43 1|50 30|"
             "0 ATTRIB|8 0|10 1|20 2.5|30 0|40 0.25|1 V|2 TAG|70 0|"
             "0 SEQEND|8 0"));
  const Record s = source();
  const Record attribute = subRecords(*d_, *source_, "ATTRIB").at(0);
  for (const Affine& a : {mirror(), similarity()}) {
    ASSERT_TRUE(place(a)) << why_;
    // The copy's transform is the map after the source's.
    const Affine want = a * insertTransform(placementOf(s), {});
    const Affine got = insertTransform(placementOf(copy()), {});
    for (const Vec3& p : {Vec3{0, 0, 0}, Vec3{1, 0, 0}, Vec3{0, 1, 0}, Vec3{0, 0, 1}, Vec3{2, -3, 5}})
      expectAt(got.apply(p), want.apply(p));
    const std::vector<Record> attributes = subRecords(*d_, *copies_[0], "ATTRIB");
    ASSERT_EQ(attributes.size(), 1u);
    expectAt(toWorld(attributes[0].extrusion(), attributes[0].point(10)), a.apply(attribute.point(10)));
  }
  // Turned 30 degrees inside, an uneven scale outside shears the block.
  for (const Affine& a : {unevenScale(), shear()}) {
    EXPECT_FALSE(place(a));
    EXPECT_EQ(why_, "can't be placed as one reference");
  }
}

TEST_F(Placement, KindsItCannotPlaceAreNamed) {
  load(groups("0 WIDGET|8 0|10 1"));
  EXPECT_FALSE(place(mirror()));
  EXPECT_EQ(why_, "is of a kind EXPLODE can't place");
}

} // namespace
} // namespace corvane
