// The 3D solids of the shared DXF corpus: every 3DSOLID / BODY entity, as
// the drawing loader hands out its model data, is tessellated and its mesh
// must be closed and outward.
#include <gtest/gtest.h>

#include <iostream>

#include "drawing/drawing.h"
#include "drawing/record_geometry.h"
#include "mesh_checks.h"
#include "solids/solid_tessellator.h"
#include "support/corpus.h"

namespace corvane::solids::test {
namespace {

namespace fs = std::filesystem;

TEST(CorpusSolids, EverySolidGivesAClosedOutwardMesh) {
  std::vector<fs::path> files = corvane::testing::corpusFiles();
  if (files.empty()) GTEST_SKIP() << "the shared corpus is not beside the project";
  int solids = 0;
  for (const fs::path& path : files) {
    DrawingLoadResult loaded = Drawing::load(path.string());
    ASSERT_TRUE(loaded.drawing) << loaded.error;
    const Drawing& drawing = *loaded.drawing;
    for (size_t i = 0; i < drawing.records().count(); ++i) {
      const AcDbObjectRecord* record = drawing.records().at(i);
      std::string type(drawing.typeName(*record));
      if (type != "3DSOLID" && type != "BODY") continue;
      std::optional<SolidModelData> data = solidModelData(drawing, *record);
      ASSERT_TRUE(data) << type;
      struct {
        std::string type;
        SolidModelData data;
      } e{type, *data};
      const fs::path& file = path;
      SCOPED_TRACE(file.filename().string() + " " + e.type + " " + e.data.handle);
      ++solids;
      SolidTessellation t;
      std::string reason;
      bool ok = tessellateSolidModel(e.data, 0, t, reason);
      // One writer stores an empty model (header and end marker only).
      if (!ok && reason == "solid model has no body") {
        std::cout << "  " << e.type << " " << e.data.handle << ": " << reason << "\n";
        continue;
      }
      ASSERT_TRUE(ok) << reason;
      for (const SolidMesh& m : t.bodies) {
        Box3 b = meshBounds(m);
        std::cout << "  " << file.filename().string() << " " << e.type << " " << e.data.handle << ": "
                  << m.faces.size() << " faces, volume " << meshVolume(m) << ", box " << b.lo.x << " " << b.lo.y
                  << " " << b.lo.z << " / " << b.hi.x << " " << b.hi.y << " " << b.hi.z << "\n";
        EXPECT_FALSE(m.faces.empty());
        EXPECT_EQ(closednessFault(m), "");
        EXPECT_GT(meshVolume(m), 0);
      }
      for (const std::string& w : t.warnings) std::cout << "  warning: " << w << "\n";
    }
  }
  EXPECT_GE(solids, 12);
}

}  // namespace
}  // namespace corvane::solids::test
