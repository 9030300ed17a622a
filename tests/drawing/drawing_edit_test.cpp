// Objects added to and erased from a drawing: where they stand in drawing
// order, what they read as, and the file save writes: added objects in
// their place, erased ones gone, the handle seed past every handle, and
// every other byte as it was.
#include <gtest/gtest.h>

#include "drawing/drawing.h"
#include "drawing/record_geometry.h"
#include "dxf/dxf_text_builder.h"

namespace corvane {
namespace {

using testing::dxfText;
using testing::Groups;

std::unique_ptr<Drawing> load(const std::string& text) {
  DrawingLoadResult r = Drawing::loadText(text, "edit.dxf");
  EXPECT_TRUE(r.drawing) << r.error;
  return std::move(r.drawing);
}

// A 3DFACE of the R2000 drawing's form with HANDLE, colour 3 on layer Red.
std::string face(uint64_t handle, const std::string& xdata = "") {
  return dxfText({{0, "3DFACE"}, {5, formatHandle(handle)}, {330, "0"}, {100, "AcDbEntity"}, {8, "Red"},
                  {62, "     3"}, {100, "AcDbFace"}, {10, "1.0"}, {20, "2.0"}, {30, "3.0"}, {11, "4.0"},
                  {21, "2.0"}, {31, "3.0"}, {12, "4.0"}, {22, "5.0"}, {32, "3.0"}}) +
         xdata;
}

std::vector<std::string> modelSpaceHandles(const Drawing& d) {
  std::vector<std::string> out;
  for (const AcDbObjectRecord* r : d.records().modelSpace()) out.push_back(d.handleText(*r));
  return out;
}

// ORIGINAL's text from the start of FROM up to the start of TO.
std::string between(const std::string& original, const std::string& from, const std::string& to) {
  size_t b = original.find(from);
  size_t e = original.find(to, b + 1);
  return original.substr(b, e - b);
}

TEST(DrawingEdit, AddedObjectsStandInDrawingOrderAndSaveInTheirPlace) {
  const std::string original = dxfText(testing::r2000Drawing());
  auto d = load(original);
  const uint64_t h1 = d->takeHandle(), h2 = d->takeHandle(), h3 = d->takeHandle();
  EXPECT_EQ(h1, 0x100u); // the file's seed
  AcDbObjectRecord* faceRecord = d->records().findByHandle("2F");
  AcDbObjectRecord* a = d->addEntity(face(h1, dxfText({{1001, "ACAD"}, {1000, "x"}})), h1, faceRecord);
  AcDbObjectRecord* atEnd = d->addEntity(face(h2), h2, nullptr);
  AcDbObjectRecord* c = d->addEntity(face(h3), h3, a);
  ASSERT_TRUE(a && atEnd && c);
  d->setErased(*d->records().findByHandle("30"), true);
  EXPECT_TRUE(d->modified());

  EXPECT_EQ(modelSpaceHandles(*d), (std::vector<std::string>{"2F", "100", "102", "32", "40", "41", "101"}));
  EXPECT_EQ(d->records().nextModelSpace(faceRecord), a);
  EXPECT_EQ(d->records().nextModelSpace(c), d->records().findByHandle("32"));
  EXPECT_EQ(d->records().lastModelSpace(), atEnd);
  EXPECT_EQ(d->records().findByHandle("101"), atEnd);
  EXPECT_EQ(a->cls, AcDbFace::desc());
  EXPECT_EQ(d->layerName(*a), "Red");
  EXPECT_EQ(d->colorIndex(*a), 3);
  EXPECT_EQ(d->xdataApplications(*a), std::vector<std::string>{"ACAD"});
  EXPECT_EQ(faceGeometry(*d, *a)->corners[3].y, 5.0);

  // Saved: the two faces after 2F, the SOLID gone, the third face at the
  // end of ENTITIES, the seed past the handles taken; nothing else moves.
  const std::string solid = between(original, "  0\nSOLID\n", "  0\nLINE\n");
  const std::string objects = "  0\nENDSEC\n  0\nSECTION\n  2\nOBJECTS\n";
  std::string expected = original;
  expected.replace(expected.find(objects), 0, face(h2));
  expected.replace(expected.find(solid), solid.size(), face(h1, dxfText({{1001, "ACAD"}, {1000, "x"}})) + face(h3));
  expected.replace(expected.find("  5\n100\n"), 8, "  5\n103\n");
  const std::string saved = d->savedText();
  EXPECT_EQ(saved, expected);

  auto reloaded = load(saved);
  EXPECT_EQ(modelSpaceHandles(*reloaded), (std::vector<std::string>{"2F", "100", "102", "32", "40", "41", "101"}));
  EXPECT_EQ(reloaded->savedText(), saved);
}

TEST(DrawingEdit, ErasedObjectsKeepWhatWasAddedAfterThem) {
  auto d = load(dxfText(testing::r2000Drawing()));
  const uint64_t h1 = d->takeHandle(), h2 = d->takeHandle();
  AcDbObjectRecord* a = d->addEntity(face(h1), h1, d->records().findByHandle("2F"));
  AcDbObjectRecord* b = d->addEntity(face(h2), h2, a);
  d->setErased(*a, true);
  EXPECT_EQ(modelSpaceHandles(*d), (std::vector<std::string>{"2F", "101", "30", "32", "40", "41"}));
  std::string saved = d->savedText();
  EXPECT_EQ(saved.find("  5\n100\n330"), std::string::npos);
  EXPECT_NE(saved.find("  5\n101\n"), std::string::npos);

  // An added object's extended data is saved as it stands.
  ASSERT_TRUE(d->registerApp("VRML_Application") || d->isAppRegistered("VRML_Application"));
  resbuf* chain = ads_buildlist(1001, "VRML_Application", 1070, 1, 0);
  EXPECT_EQ(d->setXData(*b, chain), Acad::eOk);
  ads_relrb(chain);
  saved = d->savedText();
  EXPECT_NE(saved.find("  5\n101\n"), std::string::npos);
  EXPECT_NE(saved.find(" 32\n3.0\n1001\nVRML_Application\n1070\n     1\n  0\nSOLID"), std::string::npos) << saved;

  d->setErased(*a, false);
  EXPECT_EQ(modelSpaceHandles(*d), (std::vector<std::string>{"2F", "100", "101", "30", "32", "40", "41"}));
}

TEST(DrawingEdit, ADrawingWithoutEntitiesGetsTheSection) {
  const Groups groups{{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1015"}, {9, "$HANDSEED"},
                      {5, "20"}, {0, "ENDSEC"}, {0, "SECTION"}, {2, "OBJECTS"}, {0, "DICTIONARY"},
                      {5, "C"}, {0, "ENDSEC"}, {0, "EOF"}};
  auto d = load(dxfText(groups));
  const uint64_t h = d->takeHandle();
  ASSERT_TRUE(d->addEntity(face(h), h, nullptr));
  std::string expected = dxfText(groups);
  expected.replace(expected.find("  0\nSECTION\n  2\nOBJECTS"), 0,
                   dxfText({{0, "SECTION"}, {2, "ENTITIES"}}) + face(h) + dxfText({{0, "ENDSEC"}}));
  expected.replace(expected.find("  5\n20\n"), 7, "  5\n" + formatHandle(h + 1) + "\n");
  EXPECT_EQ(d->savedText(), expected);
}

TEST(DrawingEdit, SolidModelRecordsGoAndComeWithTheirSolids) {
  const Groups groups{{0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1027"}, {9, "$HANDSEED"},
                      {5, "60"}, {0, "ENDSEC"},
                      {0, "SECTION"}, {2, "ENTITIES"},
                      {0, "3DSOLID"}, {5, "50"}, {100, "AcDbEntity"}, {8, "0"}, {100, "AcDbModelerGeometry"},
                      {70, "     1"},
                      {0, "ENDSEC"},
                      {0, "SECTION"}, {2, "ACDSDATA"},
                      {0, "ACDSRECORD"}, {90, "     1"}, {2, "AcDbDs::ID"}, {280, "    10"}, {320, "50"},
                      {2, "ASM_Data"}, {280, "    15"}, {94, "     2"}, {310, "ABCD"},
                      {0, "ENDSEC"}, {0, "EOF"}};
  const std::string original = dxfText(groups);
  auto d = load(original);
  AcDbObjectRecord* old = d->records().findByHandle("50");
  EXPECT_EQ(solidModelData(*d, *old)->binary, (std::vector<uint8_t>{0xAB, 0xCD}));
  const uint64_t h = d->takeHandle();
  const std::string solid = dxfText({{0, "3DSOLID"}, {5, formatHandle(h)}, {100, "AcDbEntity"}, {8, "0"},
                                     {100, "AcDbModelerGeometry"}, {70, "     1"}});
  const std::string record = dxfText({{0, "ACDSRECORD"}, {90, "     1"}, {2, "AcDbDs::ID"}, {280, "    10"},
                                      {320, formatHandle(h)}, {2, "ASM_Data"}, {280, "    15"}, {94, "     1"},
                                      {310, "EF"}});
  AcDbObjectRecord* added = d->addEntity(solid, h, old, record);
  ASSERT_TRUE(added);
  EXPECT_EQ(solidModelData(*d, *added)->binary, std::vector<uint8_t>{0xEF});
  d->setErased(*old, true);

  std::string expected = original;
  const std::string oldSolid = between(original, "  0\n3DSOLID\n", "  0\nENDSEC\n");
  const std::string oldRecord = between(original, "  0\nACDSRECORD\n", "  0\nENDSEC\n");
  expected.replace(expected.find(oldRecord), oldRecord.size(), record);
  expected.replace(expected.find(oldSolid), oldSolid.size(), solid);
  expected.replace(expected.find("  5\n60\n"), 7, "  5\n" + formatHandle(h + 1) + "\n");
  EXPECT_EQ(d->savedText(), expected);
}

TEST(DrawingEdit, OnlyWholeEntitiesCanBeAdded) {
  auto d = load(dxfText(testing::r2000Drawing()));
  const size_t count = d->records().count();
  for (const std::string& text : {std::string(), dxfText({{5, "99"}}), dxfText({{0, "VERTEX"}, {8, "0"}}),
                                  dxfText({{0, "SEQEND"}})})
    EXPECT_EQ(d->addEntity(text, d->takeHandle(), nullptr), nullptr) << text;
  EXPECT_EQ(d->records().count(), count);
  EXPECT_FALSE(d->modified());
}

} // namespace
} // namespace corvane
