// Geometry views read from an entity's groups.
#include <gtest/gtest.h>

#include "drawing/drawing.h"
#include "drawing/record_geometry.h"
#include "dxf/dxf_text_builder.h"

namespace corvane {
namespace {

std::unique_ptr<Drawing> load(const testing::Groups& g) {
  DrawingLoadResult r = Drawing::loadText(testing::dxfText(g), "v.dxf");
  EXPECT_TRUE(r.drawing) << r.error;
  return std::move(r.drawing);
}

TEST(EntityViews, FaceSolidAndPolyface) {
  auto d = load(testing::r2000Drawing());
  auto face = faceGeometry(*d, *d->records().findByHandle("2F"));
  ASSERT_TRUE(face);
  EXPECT_EQ(face->corners[1].x, 1.0);
  EXPECT_EQ(face->corners[3].z, 0.5);
  EXPECT_EQ(face->invisibleEdges, 5);
  EXPECT_FALSE(faceGeometry(*d, *d->records().findByHandle("30"))); // not a 3DFACE

  auto solid = solidGeometry(*d, *d->records().findByHandle("30"));
  ASSERT_TRUE(solid);
  EXPECT_EQ(solid->corners[3].x, 2.0);
  EXPECT_EQ(solid->thickness, 3.5);
  EXPECT_EQ(solid->extrusion.z, -1.0);

  auto mesh = polyfaceGeometry(*d, *d->records().findByHandle("32"));
  ASSERT_TRUE(mesh);
  ASSERT_EQ(mesh->vertices.size(), 3u);
  EXPECT_EQ(mesh->vertices[2].y, 1.0);
  ASSERT_EQ(mesh->faces.size(), 1u);
  EXPECT_EQ(mesh->faces[0].index[1], -2);
  EXPECT_EQ(mesh->faces[0].index[3], 0);
}

TEST(EntityViews, ThreeCornerFaceRepeatsItsThirdCorner) {
  auto d = load({{0, "SECTION"}, {2, "ENTITIES"}, {0, "3DFACE"}, {8, "0"}, {10, "1"}, {12, "4"}, {22, "5"},
                 {0, "ENDSEC"}, {0, "EOF"}});
  auto face = faceGeometry(*d, *d->records().firstModelSpace());
  ASSERT_TRUE(face);
  EXPECT_EQ(face->corners[3].x, 4.0);
  EXPECT_EQ(face->corners[3].y, 5.0);
}

TEST(EntityViews, SmoothedPolygonMeshKeepsControlAndSurfaceVertices) {
  testing::Groups g = {{0, "SECTION"}, {2, "ENTITIES"}, {0, "POLYLINE"}, {8, "0"}, {70, "53"},
                       {71, "2"}, {72, "2"}, {73, "3"}, {74, "1"}, {75, "6"}};
  for (int i = 0; i < 4; ++i) g.insert(g.end(), {{0, "VERTEX"}, {10, std::to_string(i)}, {70, "80"}});
  for (int i = 0; i < 3; ++i) g.insert(g.end(), {{0, "VERTEX"}, {10, std::to_string(10 + i)}, {70, "72"}});
  g.insert(g.end(), {{0, "SEQEND"}, {0, "ENDSEC"}, {0, "EOF"}});
  DrawingLoadResult r = Drawing::loadText(testing::dxfText(g), "m.dxf");
  ASSERT_TRUE(r.drawing) << r.error;
  EXPECT_TRUE(r.warnings.empty()); // 4 control vertices = 2 x 2
  auto mesh = polygonMeshGeometry(*r.drawing, *r.drawing->records().firstModelSpace());
  ASSERT_TRUE(mesh);
  EXPECT_EQ(mesh->m, 2);
  EXPECT_EQ(mesh->n, 2);
  EXPECT_TRUE(mesh->closedM);
  EXPECT_TRUE(mesh->closedN);
  EXPECT_TRUE(mesh->smoothed);
  EXPECT_EQ(mesh->surfaceType, 6);
  EXPECT_EQ(mesh->surfaceM, 3);
  EXPECT_EQ(mesh->surfaceN, 1);
  ASSERT_EQ(mesh->vertices.size(), 4u);
  ASSERT_EQ(mesh->surfaceVertices.size(), 3u);
  EXPECT_EQ(mesh->surfaceVertices[2].x, 12.0);
}

TEST(EntityViews, SolidModelTextAndBinaryData) {
  auto d = load({{0, "SECTION"}, {2, "ENTITIES"},
                 {0, "3DSOLID"}, {5, "A0"}, {8, "0"}, {100, "AcDbModelerGeometry"}, {70, "1"},
                 {1, "first line"}, {3, " continued"}, {1, "second"}, {1001, "ACAD"}, {1000, "not model"},
                 {0, "BODY"}, {5, "A1"}, {8, "0"}, {70, "2"},
                 {0, "ENDSEC"},
                 {0, "SECTION"}, {2, "ACDSDATA"}, {70, "2"},
                 {0, "ACDSSCHEMA"}, {90, "0"}, {1, "AcDb3DSolid_ASM_Data"},
                 {0, "ACDSRECORD"}, {90, "1"}, {2, "AcDbDs::ID"}, {280, "10"}, {320, "A1"}, {2, "ASM_Data"},
                 {280, "15"}, {94, "4"}, {310, "0102"}, {310, "FFfe"},
                 {0, "ENDSEC"}, {0, "EOF"}});
  auto text = solidModelData(*d, *d->records().findByHandle("A0"));
  ASSERT_TRUE(text);
  EXPECT_EQ(text->textGroups, (std::vector<std::string>{"first line", " continued", "second"}));
  EXPECT_EQ(text->textGroupCodes, (std::vector<int>{1, 3, 1}));
  EXPECT_EQ(text->modelerVersion, 1);
  EXPECT_EQ(text->handle, "A0");
  EXPECT_TRUE(text->binary.empty());
  auto binary = solidModelData(*d, *d->records().findByHandle("A1"));
  ASSERT_TRUE(binary);
  EXPECT_EQ(binary->binary, (std::vector<uint8_t>{0x01, 0x02, 0xFF, 0xFE}));
  EXPECT_EQ(d->records().findByHandle("A1")->cls, AcDbBody::desc());
}

} // namespace
} // namespace corvane
