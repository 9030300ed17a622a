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
  std::vector<AcDbObjectRecord*> ms = r.drawing->modelSpace();
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

} // namespace
} // namespace corvane
