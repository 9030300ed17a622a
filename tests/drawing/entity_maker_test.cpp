// Objects made from group lists (entmake): written in the drawing's own
// form, a polyline completed record by record, and lists refused whole.
#include <gtest/gtest.h>

#include "drawing/drawing.h"
#include "drawing/record_geometry.h"
#include "drawing/entity_maker.h"
#include "dxf/dxf_text_builder.h"

namespace corvane {
namespace {

using testing::dxfText;

std::unique_ptr<Drawing> load(const testing::Groups& groups) {
  DrawingLoadResult r = Drawing::loadText(dxfText(groups), "made.dxf");
  EXPECT_TRUE(r.drawing) << r.error;
  return std::move(r.drawing);
}

NewGroup text(int code, std::string value) {
  NewGroup g;
  g.code = code;
  g.text = std::move(value);
  return g;
}
NewGroup integer(int code, long long value) {
  NewGroup g;
  g.code = code;
  g.kind = NewGroup::kInteger;
  g.integer = value;
  return g;
}
NewGroup point(int code, double x, double y, double z) {
  NewGroup g;
  g.code = code;
  g.kind = NewGroup::kPoint;
  g.point = {x, y, z};
  return g;
}

std::vector<NewGroup> triangle(const std::string& layer) {
  return {text(0, "3DFACE"), text(8, layer), integer(62, 3), point(10, 0, 0, 0), point(11, 1, 0, 0),
          point(12, 1, 1, 0)};
}

TEST(EntityMaker, ObjectsTakeTheFilesForm) {
  // R2000: handle, owner, subclass markers; three corners make four.
  auto modern = load(testing::r2000Drawing());
  EntityMaker maker;
  EntityMaker::Result r = maker.make(*modern, triangle("Red"));
  ASSERT_EQ(r.status, EntityMaker::kAdded) << r.reason;
  EXPECT_EQ(modern->records().fullText(*r.record),
            dxfText({{0, "3DFACE"}, {5, "100"}, {330, "0"}, {100, "AcDbEntity"}, {8, "Red"}, {62, "     3"},
                     {100, "AcDbFace"}, {10, "0.0"}, {20, "0.0"}, {30, "0.0"}, {11, "1.0"}, {21, "0.0"},
                     {31, "0.0"}, {12, "1.0"}, {22, "1.0"}, {32, "0.0"}, {13, "1.0"}, {23, "1.0"}, {33, "0.0"}}));
  EXPECT_EQ(modern->records().lastModelSpace(), r.record);

  // R12 without handles: neither handle nor markers.
  auto old = load(testing::r12Drawing());
  r = maker.make(*old, triangle("0"));
  ASSERT_EQ(r.status, EntityMaker::kAdded) << r.reason;
  const std::string made(old->records().ownText(*r.record));
  EXPECT_EQ(made.rfind(dxfText({{0, "3DFACE"}, {8, "0"}, {62, "     3"}, {10, "0.0"}}), 0), 0u) << made;
}

TEST(EntityMaker, APolylineIsCompletedByItsSeqend) {
  auto d = load(testing::r2000Drawing());
  EntityMaker maker;
  EXPECT_EQ(maker.make(*d, {text(0, "POLYLINE"), integer(70, 64), integer(71, 3), integer(72, 1)}).status,
            EntityMaker::kPending);
  for (int k = 0; k < 3; ++k)
    EXPECT_EQ(maker.make(*d, {text(0, "VERTEX"), point(10, k, k * k, 0), integer(70, 192)}).status,
              EntityMaker::kPending);
  EXPECT_EQ(maker.make(*d, {text(0, "VERTEX"), integer(70, 128), integer(71, 1), integer(72, 2), integer(73, 3)})
                .status,
            EntityMaker::kPending);
  EntityMaker::Result r = maker.make(*d, {text(0, "SEQEND")});
  ASSERT_EQ(r.status, EntityMaker::kAdded) << r.reason;
  EXPECT_EQ(r.record->cls, AcDbPolyFaceMesh::desc());
  std::optional<PolyfaceGeometry> mesh = polyfaceGeometry(*d, *r.record);
  ASSERT_TRUE(mesh);
  EXPECT_EQ(mesh->vertices.size(), 3u);
  EXPECT_EQ(mesh->vertices[2].y, 4.0);
  ASSERT_EQ(mesh->faces.size(), 1u);
  const std::string all(d->records().fullText(*r.record));
  // Vertices and the face record name the polyline as their owner.
  size_t owners = 0;
  for (size_t at = all.find("330\n100\n"); at != std::string::npos; at = all.find("330\n100\n", at + 1)) ++owners;
  EXPECT_EQ(owners, 5u); // 4 vertex records and the SEQEND
  EXPECT_NE(all.find("AcDbFaceRecord"), std::string::npos);
  EXPECT_NE(all.find("AcDbPolyFaceMeshVertex"), std::string::npos);
}

TEST(EntityMaker, BadListsAreRefusedWhole) {
  auto d = load(testing::r2000Drawing());
  EntityMaker maker;
  const size_t count = d->records().count();
  struct Case {
    std::vector<NewGroup> groups;
    const char* reason;
  };
  std::vector<NewGroup> missingCorner = triangle("Red");
  missingCorner.pop_back();
  std::vector<NewGroup> wrongKind = triangle("Red");
  wrongKind[2] = text(62, "red");
  std::vector<NewGroup> lineEnd = triangle("Red\nX");
  std::vector<NewGroup> paperSpace = triangle("Red");
  paperSpace.push_back(integer(67, 1));
  const Case cases[] = {
      {{}, "does not start with the object's type"},
      {{text(0, "HATCH")}, "objects of type HATCH can't be made"},
      {missingCorner, "a 3DFACE needs group 12"},
      {wrongKind, "group 62 has a value of the wrong kind"},
      {triangle("Nowhere"), "layer Nowhere does not exist"},
      {lineEnd, "holds a line end"},
      {paperSpace, "only be made in model space"},
      {{text(0, "VERTEX"), point(10, 0, 0, 0)}, "VERTEX without a POLYLINE before it"},
      {{text(0, "INSERT"), text(2, "NOSUCH"), point(10, 0, 0, 0)}, "block NOSUCH is not defined"},
  };
  for (const Case& c : cases) {
    EntityMaker::Result r = maker.make(*d, c.groups);
    EXPECT_EQ(r.status, EntityMaker::kRefused);
    EXPECT_NE(r.reason.find(c.reason), std::string::npos) << r.reason;
  }
  // A refusal drops the open polyline.
  EXPECT_EQ(maker.make(*d, {text(0, "POLYLINE"), integer(70, 8)}).status, EntityMaker::kPending);
  EXPECT_EQ(maker.make(*d, {text(0, "CIRCLE")}).status, EntityMaker::kRefused);
  EXPECT_EQ(maker.make(*d, {text(0, "SEQEND")}).status, EntityMaker::kRefused);
  EXPECT_EQ(d->records().count(), count);
  // A block that exists is fine.
  EXPECT_EQ(maker.make(*d, {text(0, "INSERT"), text(2, "b1"), point(10, 0, 0, 0)}).status, EntityMaker::kAdded);
}

} // namespace
} // namespace corvane
