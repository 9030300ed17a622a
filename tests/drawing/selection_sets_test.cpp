#include <gtest/gtest.h>

#include "drawing/drawing.h"
#include "drawing/entity_names.h"
#include "drawing/selection_sets.h"
#include "dxf/dxf_text_builder.h"

namespace corvane {
namespace {

TEST(SelectionSets, HoldEntitiesInOrderOnce) {
  DrawingLoadResult r = Drawing::loadText(testing::dxfText(testing::r2000Drawing()), "s.dxf");
  ASSERT_TRUE(r.drawing) << r.error;
  long before = liveSelectionSets();
  ads_name ss;
  newSelectionSet(ss);
  EXPECT_TRUE(isSelectionSet(ss));
  std::vector<AcDbObjectRecord*> ms = r.drawing->records().modelSpace();
  for (AcDbObjectRecord* rec : ms) {
    ads_name e;
    makeEntityName(*rec, e);
    EXPECT_TRUE(addToSelectionSet(ss, e));
  }
  ads_name first;
  makeEntityName(*ms[0], first);
  EXPECT_TRUE(addToSelectionSet(ss, first)); // already in: not added twice
  long n = -1;
  ASSERT_TRUE(selectionSetLength(ss, n));
  EXPECT_EQ(n, static_cast<long>(ms.size()));
  ads_name e;
  ASSERT_TRUE(selectionSetMember(ss, 1, e));
  EXPECT_EQ(recordFromEntityName(e), ms[1]);
  EXPECT_FALSE(selectionSetMember(ss, n, e));
  EXPECT_FALSE(selectionSetMember(ss, -1, e));

  // An entity name is no set and a set name no entity.
  EXPECT_FALSE(isSelectionSet(first));
  EXPECT_EQ(recordFromEntityName(ss), nullptr);
  ads_name forged = {ss[0], ss[1] + 1000};
  EXPECT_FALSE(selectionSetLength(forged, n));
  ads_name bogusEntity = {first[0], 999999};
  EXPECT_FALSE(addToSelectionSet(ss, bogusEntity));

  // Members whose drawing is gone read as missing.
  r.drawing.reset();
  EXPECT_FALSE(selectionSetMember(ss, 0, e));
  EXPECT_TRUE(freeSelectionSet(ss));
  EXPECT_FALSE(freeSelectionSet(ss));
  EXPECT_FALSE(selectionSetLength(ss, n));
  EXPECT_EQ(liveSelectionSets(), before);
}

TEST(SelectionSets, LargeSetsStayUniqueAndFreedNamesStayRefused) {
  std::string entities;
  for (int i = 0; i < 40; ++i) entities += "0\nLINE\n8\n0\n10\n0\n20\n0\n11\n1\n21\n1\n";
  DrawingLoadResult r = Drawing::loadText("0\nSECTION\n2\nENTITIES\n" + entities + "0\nENDSEC\n0\nEOF\n", "l.dxf");
  ASSERT_TRUE(r.drawing) << r.error;
  std::vector<AcDbObjectRecord*> ms = r.drawing->records().modelSpace();
  ASSERT_EQ(ms.size(), 40u);
  // Each entity twice, the second time after the set has grown past the
  // size where members are also hashed.
  ads_name big;
  newSelectionSet(big);
  for (int round = 0; round < 2; ++round) {
    for (AcDbObjectRecord* rec : ms) {
      ads_name e;
      makeEntityName(*rec, e);
      EXPECT_TRUE(addToSelectionSet(big, e));
    }
  }
  long n = 0;
  ASSERT_TRUE(selectionSetLength(big, n));
  EXPECT_EQ(n, 40);
  // One-entity sets made and freed over and over (as an export does) get
  // names of their own; a freed name never reads as a live set.
  ads_name previous = {0, 0};
  for (AcDbObjectRecord* rec : ms) {
    ads_name one, e;
    makeEntityName(*rec, e);
    newSelectionSet(one);
    ASSERT_TRUE(addToSelectionSet(one, e));
    ASSERT_TRUE(selectionSetLength(one, n));
    EXPECT_EQ(n, 1);
    if (previous[0] != 0) {
      EXPECT_FALSE(isSelectionSet(previous));
      EXPECT_NE(previous[1], one[1]);
    }
    EXPECT_TRUE(freeSelectionSet(one));
    previous[0] = one[0];
    previous[1] = one[1];
  }
  ads_name e;
  ASSERT_TRUE(selectionSetMember(big, 39, e));
  EXPECT_EQ(recordFromEntityName(e), ms[39]);
  EXPECT_TRUE(freeSelectionSet(big));
}

} // namespace
} // namespace corvane
