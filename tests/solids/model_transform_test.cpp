// A transform composed into solid models: every 3D solid of the corpus, in
// text and in binary form, with a body transform and without, moved by a
// map that turns, mirrors and scales it, tessellates to the moved points of
// the model it was; the moved model text survives its DXF storage.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "drawing/drawing.h"
#include "drawing/record_geometry.h"
#include "solids/dxf_model_text.h"
#include "solids/model_transform.h"
#include "solids/solid_tessellator.h"
#include "support/corpus.h"

namespace corvane::solids {
namespace {

// Turns by 30 degrees about (1, 1, 1), mirrors in x, scales by 2.5, moves.
ModelMap testMap() {
  ModelMap m;
  const double a = 30 * kPi / 180, c = std::cos(a), s = std::sin(a), t = 1 - c;
  const Vec3 u = normalized({1, 1, 1});
  const double r[3][3] = {{t * u.x * u.x + c, t * u.x * u.y - s * u.z, t * u.x * u.z + s * u.y},
                          {t * u.x * u.y + s * u.z, t * u.y * u.y + c, t * u.y * u.z - s * u.x},
                          {t * u.x * u.z - s * u.y, t * u.y * u.z + s * u.x, t * u.z * u.z + c}};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m.q[i][j] = r[i][j] * (j == 0 ? -1 : 1);
  m.scale = 2.5;
  m.translation = {100, -20, 3};
  return m;
}

Vec3 apply(const ModelMap& m, const Vec3& p) {
  Vec3 q{};
  const double v[3] = {p.x, p.y, p.z};
  double out[3];
  for (int i = 0; i < 3; ++i) out[i] = m.scale * (m.q[i][0] * v[0] + m.q[i][1] * v[1] + m.q[i][2] * v[2]);
  q = {out[0] + m.translation.x, out[1] + m.translation.y, out[2] + m.translation.z};
  return q;
}

// AFTER holds the points of BEFORE moved by M (a mirrored body may list
// them in another order), and as many faces.
void expectMoved(const SolidMesh& before, const SolidMesh& after, const ModelMap& m) {
  ASSERT_EQ(before.points.size(), after.points.size());
  ASSERT_EQ(before.faces.size(), after.faces.size());
  double size = 0;
  for (const Vec3& p : before.points) size = std::max({size, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
  const double tolerance = 1e-9 * (size + 100) * m.scale;
  std::vector<Vec3> found = after.points;
  std::sort(found.begin(), found.end(), [](const Vec3& a, const Vec3& b) { return a.x < b.x; });
  int missing = 0;
  for (const Vec3& p : before.points) {
    const Vec3 want = apply(m, p);
    auto it = std::lower_bound(found.begin(), found.end(), want.x - tolerance,
                               [](const Vec3& a, double x) { return a.x < x; });
    bool near = false;
    for (; it != found.end() && it->x <= want.x + tolerance && !near; ++it) near = distance(*it, want) <= tolerance;
    if (!near) ++missing;
  }
  EXPECT_EQ(missing, 0);
}

TEST(ModelTransform, CorpusSolidsMoveAsAWhole) {
  std::vector<std::filesystem::path> files = corvane::testing::corpusFiles();
  if (files.empty()) GTEST_SKIP() << "the shared corpus is not beside the project";
  const ModelMap map = testMap();
  int text = 0, binary = 0;
  for (const auto& path : files) {
    DrawingLoadResult loaded = Drawing::load(path.string());
    ASSERT_TRUE(loaded.drawing) << loaded.error;
    const Drawing& d = *loaded.drawing;
    for (size_t i = 0; i < d.records().count(); ++i) {
      std::optional<SolidModelData> data = solidModelData(d, *d.records().at(i));
      if (!data || d.typeName(*d.records().at(i)) == "REGION") continue;
      SCOPED_TRACE(path.filename().string() + " " + data->handle);
      SolidMesh before;
      std::string reason;
      if (!tessellateSolidModel(*data, 0, before, reason)) continue; // a model with no body
      SolidModelData moved = *data;
      if (!moved.binary.empty()) {
        ASSERT_TRUE(transformModelBinary(moved.binary, map, reason)) << reason;
        ++binary;
      } else {
        // Moved, stored as DXF groups and read back.
        std::string model;
        ASSERT_TRUE(decodeModelText(*data, model, reason)) << reason;
        ASSERT_TRUE(transformModelText(model, map, reason)) << reason;
        std::vector<std::pair<int, std::string>> groups;
        ASSERT_TRUE(encodeModelText(model, groups));
        moved.textGroups.clear();
        moved.textGroupCodes.clear();
        for (auto& [code, value] : groups) {
          EXPECT_LE(value.size(), 255u);
          moved.textGroupCodes.push_back(code);
          moved.textGroups.push_back(value);
        }
        std::string again;
        ASSERT_TRUE(decodeModelText(moved, again, reason));
        EXPECT_EQ(again, model);
        ++text;
      }
      SolidMesh after;
      ASSERT_TRUE(tessellateSolidModel(moved, 0, after, reason)) << reason;
      expectMoved(before, after, map);
    }
  }
  EXPECT_GT(text, 3);
  EXPECT_GT(binary, 3);
}

TEST(ModelTransform, ModelsThatCantBeRewrittenAreLeftAlone) {
  const ModelMap map = testMap();
  std::string reason;
  std::string broken = "700 0 1 0\nbody $-1 -1 $-1 $1 $-1 $7 #\nEnd-of-ACIS-data\n";
  std::string copy = broken;
  EXPECT_FALSE(transformModelText(copy, map, reason));
  EXPECT_EQ(copy, broken);
  EXPECT_NE(reason.find("refers to a transform it lacks"), std::string::npos) << reason;
  std::vector<uint8_t> bytes{'A', 'C', 'I', 'S', ' ', 'B', 'i'};
  EXPECT_FALSE(transformModelBinary(bytes, map, reason));
  EXPECT_EQ(bytes.size(), 7u);
}

// A caret is stored as two characters, "^ ", never split between groups:
// it fills a group to 255 exactly or opens the next one.
TEST(ModelText, StoredCaretIsNeverSplitAcrossGroups) {
  std::vector<std::pair<int, std::string>> groups;
  ASSERT_TRUE(encodeModelText(std::string(253, 'x') + "A\n", groups));
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].second, std::string(253, '\'') + "^ ");
  ASSERT_TRUE(encodeModelText(std::string(254, 'x') + "A" + "\nx", groups));
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(groups[0], (std::pair<int, std::string>{1, std::string(254, '\'')}));
  EXPECT_EQ(groups[1], (std::pair<int, std::string>{3, "^ "}));
  EXPECT_EQ(groups[2], (std::pair<int, std::string>{1, "'"}));
}

TEST(ModelText, CharactersWithoutAStoredFormAreRefused) {
  std::vector<std::pair<int, std::string>> groups;
  EXPECT_TRUE(encodeModelText("A b\n" + std::string(600, 'x') + "\n", groups));
  // 'A' is stored as a caret, written "^ "; a long line continues in groups 3.
  ASSERT_EQ(groups.size(), 4u);
  EXPECT_EQ(groups[0], (std::pair<int, std::string>{1, "^  ="}));
  EXPECT_EQ(groups[1].first, 1);
  EXPECT_EQ(groups[2].first, 3);
  EXPECT_EQ(groups[3].first, 3);
  EXPECT_EQ(groups[1].second.size(), 255u);
  EXPECT_FALSE(encodeModelText("caf\xC3\xA9\n", groups));
  EXPECT_FALSE(encodeModelText("\x7F\n", groups));
}

} // namespace
} // namespace corvane::solids
