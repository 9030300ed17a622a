#include <gtest/gtest.h>
#include <unistd.h>

#include "ads.h"
#include "drawing/drawing.h"
#include "drawing/entity_names.h"
#include "drawing/selection_sets.h"
#include "face_file_test_reader.h"

namespace corvane {
namespace {

constexpr const char* kDrawing =
    "0\nSECTION\n2\nENTITIES\n"
    "0\n3DFACE\n5\n2F\n8\n0\n10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n12\n1\n22\n1\n32\n0\n13\n1\n23\n1\n33\n0\n"
    "0\nLINE\n5\n30\n8\n0\n10\n0\n20\n0\n30\n0\n11\n1\n21\n1\n31\n0\n"
    "0\nSOLID\n5\n31\n8\n0\n39\n2\n10\n0\n20\n0\n30\n0\n11\n1\n21\n0\n31\n0\n12\n0\n22\n1\n32\n0\n13\n1\n23\n1\n33\n0\n"
    "0\nENDSEC\n0\nEOF\n";

TEST(Ent2Face, WritesEveryEntityOfTheSelection) {
  DrawingLoadResult loaded = Drawing::loadText(kDrawing, "house.dxf");
  ASSERT_TRUE(loaded.drawing) << loaded.error;
  ads_name set, entity;
  newSelectionSet(set);
  for (AcDbObjectRecord* record : loaded.drawing->records().modelSpace()) {
    makeEntityName(*record, entity);
    ASSERT_TRUE(addToSelectionSet(set, entity));
  }
  const char* name = nullptr;
  ASSERT_EQ(adsi_ent2face(set, &name, 1), RTNORM);
  ASSERT_NE(name, nullptr);
  std::string error;
  const auto file = test::parseFaceFile(test::fileBytes(name), error);
  ASSERT_TRUE(file) << error;
  EXPECT_EQ(file->flags, 1);
  EXPECT_EQ(file->entries, (std::vector<std::string>{"drawing=house.dxf", "handle=2F", "type=3DFACE", "handle=30",
                                                      "type=LINE", "handle=31", "type=SOLID"}));
  std::string kinds;
  for (const auto& r : file->records) kinds += r.kind;
  EXPECT_EQ(kinds, "U" "OUEO" "OUO" "OUEO");  // a line has no faces
  EXPECT_EQ(file->records[3].faces.size(), 1u);
  EXPECT_EQ(file->records[10].faces.size(), 6u);  // the solid's prism
  EXPECT_EQ(unlink(name), 0);

  EXPECT_EQ(adsi_ent2face(set, nullptr, 1), RTERROR);
  ASSERT_TRUE(freeSelectionSet(set));
  name = "stale";
  EXPECT_EQ(adsi_ent2face(set, &name, 1), RTERROR);  // the set is gone
  EXPECT_EQ(name, nullptr);
}

} // namespace
} // namespace corvane
