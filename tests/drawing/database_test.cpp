// The drawing database through the host interface: classes, model space,
// handles, entity names, colour and layer, the layer table, open and close.
#include <gtest/gtest.h>

#include <cstring>

#include "acdb.h"
#include "drawing/drawing.h"
#include "drawing/entity_names.h"
#include "dxf/dxf_text_builder.h"

namespace corvane {
namespace {

std::unique_ptr<Drawing> loadGroups(const testing::Groups& groups, const char* name = "test.dxf") {
  DrawingLoadResult r = Drawing::loadText(testing::dxfText(groups), name);
  EXPECT_TRUE(r.drawing) << r.error;
  return std::move(r.drawing);
}

AcDbObjectId idOf(Drawing& d, const char* handle) {
  AcDbObjectRecord* r = d.records().findByHandle(handle);
  EXPECT_NE(r, nullptr) << handle;
  return AcDbObjectId(r);
}

TEST(Database, EntityClassesFollowTheDxfType) {
  auto d = loadGroups(testing::r2000Drawing());
  AcDbEntity* e = nullptr;
  ASSERT_EQ(acdbOpenAcDbEntity(e, idOf(*d, "2F"), AcDb::kForRead), Acad::eOk);
  EXPECT_EQ(e->isA(), AcDbFace::desc());
  EXPECT_TRUE(e->isKindOf(AcDbEntity::desc()));
  EXPECT_TRUE(e->isKindOf(AcDbObject::desc()));
  EXPECT_FALSE(e->isKindOf(AcDbSolid::desc()));
  EXPECT_EQ(e->close(), Acad::eOk);

  auto classOf = [&](const char* handle) { return d->records().findByHandle(handle)->cls; };
  EXPECT_EQ(classOf("30"), AcDbSolid::desc());
  EXPECT_EQ(classOf("32"), AcDbPolyFaceMesh::desc());
  EXPECT_EQ(classOf("40"), AcDbCircle::desc());
  EXPECT_TRUE(classOf("40")->isDerivedFrom(AcDbCurve::desc()));
  AcRxClass* widget = classOf("41");
  EXPECT_STREQ(widget->name(), "WIDGET");
  EXPECT_TRUE(widget->isDerivedFrom(AcDbEntity::desc()));
  EXPECT_FALSE(widget->isDerivedFrom(AcDbFace::desc()));
  EXPECT_EQ(classOf("11"), AcDbLayerTableRecord::desc());

  auto polyline = [](const char* flags) {
    return testing::Groups{{0, "SECTION"}, {2, "ENTITIES"}, {0, "POLYLINE"}, {8, "0"}, {70, flags},
                           {0, "SEQEND"}, {0, "ENDSEC"}, {0, "EOF"}};
  };
  EXPECT_EQ(loadGroups(polyline("16"))->records().firstModelSpace()->cls, AcDbPolygonMesh::desc());
  EXPECT_EQ(loadGroups(polyline("8"))->records().firstModelSpace()->cls, AcDb3dPolyline::desc());
  EXPECT_EQ(loadGroups(polyline("1"))->records().firstModelSpace()->cls, AcDb2dPolyline::desc());
  EXPECT_EQ(loadGroups(polyline("80"))->records().firstModelSpace()->cls, AcDbPolyFaceMesh::desc());
}

TEST(Database, ModelSpaceIsTheEntitiesSectionOutsidePaperSpace) {
  auto d = loadGroups(testing::r2000Drawing());
  std::vector<std::string> handles;
  for (AcDbObjectRecord* r : d->records().modelSpace()) handles.push_back(d->handleText(*r));
  // The paper-space LINE 31, the block's 3DFACE 21 and the VERTEX records are not in it.
  EXPECT_EQ(handles, (std::vector<std::string>{"2F", "30", "32", "40", "41"}));
  EXPECT_EQ(d->handleText(*d->records().lastModelSpace()), "41");
  AcDbObjectRecord* r = d->records().firstModelSpace();
  EXPECT_EQ(d->handleText(*d->records().nextModelSpace(r)), "30");
  EXPECT_EQ(d->records().nextModelSpace(d->records().lastModelSpace()), nullptr);
  d->setErased(*d->records().findByHandle("30"), true);
  EXPECT_EQ(d->handleText(*d->records().nextModelSpace(r)), "32");
  EXPECT_EQ(d->records().modelSpace().size(), 4u);
}

TEST(Database, HandleLookupIgnoresCaseAndLeadingZeros) {
  auto d = loadGroups(testing::r2000Drawing());
  EXPECT_EQ(d->records().findByHandle("2f"), d->records().findByHandle("002F"));
  ASSERT_NE(d->records().findByHandle("2F"), nullptr);
  EXPECT_EQ(d->typeName(*d->records().findByHandle("2F")), "3DFACE");
  EXPECT_EQ(d->typeName(*d->records().findByHandle("21")), "3DFACE"); // inside the block
  EXPECT_EQ(d->records().findByHandle("33"), nullptr);                // a VERTEX is part of its POLYLINE
  EXPECT_EQ(d->records().findByHandle("zz"), nullptr);
  EXPECT_EQ(d->records().findByHandle(""), nullptr);
  EXPECT_EQ(d->records().findByHandle("FFFF"), nullptr);
  // A file without handles: each object gets one at load, above the seed.
  auto r12 = loadGroups(testing::r12Drawing());
  AcDbObjectRecord* face = r12->records().firstModelSpace();
  EXPECT_EQ(r12->records().findByHandle(r12->handleText(*face)), face);
}

TEST(Database, ColourAndLayerOfEntities) {
  auto d = loadGroups(testing::r2000Drawing());
  AcDbEntity* e = nullptr;
  ASSERT_EQ(acdbOpenAcDbEntity(e, idOf(*d, "2F"), AcDb::kForRead), Acad::eOk);
  EXPECT_EQ(e->colorIndex(), 256); // no 62: by layer
  char* layer = e->layer();
  EXPECT_STREQ(layer, "Walls");
  acad_free(layer);
  e->close();
  EXPECT_EQ(d->colorIndex(*d->records().findByHandle("30")), 5);
  EXPECT_EQ(d->colorIndex(*d->records().findByHandle("32")), 0); // by block
  EXPECT_EQ(d->layerName(*d->records().findByHandle("41")), "Nowhere");
}

TEST(Database, LayerTableColoursIncludingAnOffLayer) {
  auto d = loadGroups(testing::r2000Drawing());
  setCurrentDrawing(d.get());
  ASSERT_EQ(acdbCurDwg(), d.get());
  AcDbLayerTable* table = nullptr;
  ASSERT_EQ(acdbCurDwg()->getLayerTable(table, AcDb::kForRead), Acad::eOk);
  AcDbLayerTableRecord* layer = nullptr;
  ASSERT_EQ(table->getAt("walls", layer, AcDb::kForRead), Acad::eOk);
  EXPECT_EQ(layer->color().colorIndex(), 3); // stored -3: off
  char* name = layer->getName();
  EXPECT_STREQ(name, "Walls");
  acad_free(name);
  EXPECT_EQ(layer->close(), Acad::eOk);
  ASSERT_EQ(table->getAt("RED", layer, AcDb::kForRead), Acad::eOk);
  EXPECT_EQ(layer->color().colorIndex(), 1);
  layer->close();
  EXPECT_EQ(table->getAt("Nowhere", layer, AcDb::kForRead), Acad::eKeyNotFound);
  EXPECT_EQ(layer, nullptr);
  d->setErased(*d->findLayer("Red"), true);
  EXPECT_EQ(table->getAt("Red", layer, AcDb::kForRead), Acad::eKeyNotFound);
  EXPECT_EQ(table->close(), Acad::eOk);
  d.reset();
  EXPECT_EQ(acdbCurDwg(), nullptr); // a destroyed drawing stops being current

  // A file of entities only has no layers at all.
  auto bare = loadGroups({{0, "SECTION"}, {2, "ENTITIES"}, {0, "3DFACE"}, {8, "Skin"}, {0, "ENDSEC"}, {0, "EOF"}});
  ASSERT_EQ(bare->getLayerTable(table, AcDb::kForRead), Acad::eOk);
  EXPECT_EQ(table->getAt("Skin", layer, AcDb::kForRead), Acad::eKeyNotFound);
  table->close();
}

TEST(Database, OpenAndCloseStatuses) {
  auto d = loadGroups(testing::r2000Drawing());
  AcDbObjectId id = idOf(*d, "2F");
  AcDbObject *a = nullptr, *b = nullptr, *w = nullptr;
  ASSERT_EQ(acdbOpenAcDbObject(a, id, AcDb::kForRead), Acad::eOk);
  ASSERT_EQ(acdbOpenAcDbObject(b, id, AcDb::kForRead), Acad::eOk);
  EXPECT_TRUE(a->isReadEnabled());
  EXPECT_FALSE(a->isWriteEnabled());
  EXPECT_EQ(acdbOpenAcDbObject(w, id, AcDb::kForWrite), Acad::eWasOpenForRead);
  EXPECT_EQ(w, nullptr);
  EXPECT_EQ(a->close(), Acad::eOk);
  EXPECT_EQ(b->close(), Acad::eOk);
  ASSERT_EQ(acdbOpenAcDbObject(w, id, AcDb::kForWrite), Acad::eOk);
  EXPECT_TRUE(w->isWriteEnabled());
  EXPECT_EQ(acdbOpenAcDbObject(a, id, AcDb::kForRead), Acad::eWasOpenForWrite);
  EXPECT_EQ(acdbOpenAcDbObject(a, id, AcDb::kForWrite), Acad::eWasOpenForWrite);
  EXPECT_EQ(w->close(), Acad::eOk);
  EXPECT_EQ(w->close(), Acad::eWasNotOpenForRead);

  EXPECT_EQ(acdbOpenAcDbObject(a, AcDbObjectId(), AcDb::kForRead), Acad::eNullObjectId);
  AcDbObjectRecord forged;
  EXPECT_EQ(acdbOpenAcDbObject(a, AcDbObjectId(&forged), AcDb::kForRead), Acad::eInvalidObjectId);
  AcDbObjectRecord* inside = reinterpret_cast<AcDbObjectRecord*>(reinterpret_cast<char*>(d->records().at(0)) + 8);
  EXPECT_EQ(acdbOpenAcDbObject(a, AcDbObjectId(inside), AcDb::kForRead), Acad::eInvalidObjectId);

  AcDbEntity* e = nullptr;
  EXPECT_EQ(acdbOpenAcDbEntity(e, idOf(*d, "11"), AcDb::kForRead), Acad::eNotThatKindOfClass);
  ASSERT_EQ(acdbOpenAcDbObject(a, idOf(*d, "11"), AcDb::kForRead), Acad::eOk);
  EXPECT_EQ(a->isA(), AcDbLayerTableRecord::desc());
  a->close();

  // The test hooks: an erased object and one another writer holds.
  d->setErased(*id.record(), true);
  EXPECT_EQ(acdbOpenAcDbEntity(e, id, AcDb::kForRead), Acad::eWasErased);
  ASSERT_EQ(acdbOpenAcDbEntity(e, id, AcDb::kForRead, true), Acad::eOk);
  EXPECT_TRUE(e->isErased());
  e->close();
  d->setErased(*id.record(), false);
  ASSERT_EQ(d->holdOpen(*id.record(), AcDb::kForWrite), Acad::eOk);
  EXPECT_EQ(acdbOpenAcDbEntity(e, id, AcDb::kForRead), Acad::eWasOpenForWrite);
  EXPECT_EQ(d->closeObject(*id.record()), Acad::eOk);
  EXPECT_EQ(acdbOpenAcDbEntity(e, id, AcDb::kForRead), Acad::eOk);
  e->close();
}

TEST(Database, EntityNamesAreCheckedNeverTrusted) {
  auto d = loadGroups(testing::r2000Drawing());
  AcDbObjectId id = idOf(*d, "30");
  ads_name name;
  ASSERT_EQ(acdbGetAdsName(name, id), Acad::eOk);
  AcDbObjectId back;
  ASSERT_EQ(acdbGetObjectId(back, name), Acad::eOk);
  EXPECT_EQ(back, id);

  ads_name forged = {name[0], 1000000};
  EXPECT_EQ(acdbGetObjectId(back, forged), Acad::eInvalidAdsName);
  EXPECT_TRUE(back.isNull());
  ads_name wild = {0x7fffffffL, 3};
  EXPECT_EQ(acdbGetObjectId(back, wild), Acad::eInvalidAdsName);
  ads_name zero = {0, 0};
  EXPECT_EQ(acdbGetObjectId(back, zero), Acad::eNullObjectId);
  AcDbObjectRecord forgedRecord;
  EXPECT_EQ(acdbGetAdsName(name, AcDbObjectId(&forgedRecord)), Acad::eNullObjectId);

  ASSERT_EQ(acdbGetAdsName(name, id), Acad::eOk);
  d.reset(); // the name goes stale with its drawing
  EXPECT_EQ(acdbGetObjectId(back, name), Acad::eInvalidAdsName);
}

TEST(Database, RegisteredApplications) {
  auto d = loadGroups(testing::r2000Drawing());
  EXPECT_TRUE(d->isAppRegistered("acad"));
  EXPECT_FALSE(d->isAppRegistered("VRML_Application"));
  EXPECT_FALSE(d->modified());
  EXPECT_TRUE(d->registerApp("VRML_Application"));
  EXPECT_TRUE(d->isAppRegistered("vrml_application"));
  EXPECT_TRUE(d->modified());
  EXPECT_TRUE(d->registerApp("ACAD")); // already there: nothing added
  for (const char* bad : {"", "two words", "semi;colon", "tab\t", "new\nline"})
    EXPECT_FALSE(d->registerApp(bad)) << bad;
  EXPECT_FALSE(d->registerApp(std::string(256, 'A')));
  EXPECT_TRUE(d->registerApp(std::string(255, 'A')));
  EXPECT_TRUE(d->registerApp("$my-app_2"));
}

} // namespace
} // namespace corvane
