// A DWG in the drawing database: loaded as the DXF the reader makes of it,
// refused by name and place when it can't be read, never written back (its
// copies and SAVEAS are DXF, without what the reader could only list).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cli/recovery_copy.h"
#include "drawing/drawing.h"
#include "support/corpus.h"
#include "support/run_process.h"

namespace corvane {
namespace {

using testing::dwgCorpusDir;
using testing::readBytes;

TEST(DwgDrawing, LoadsAsItsDxfAndIsNeverWrittenBack) {
  const auto source = dwgCorpusDir() / "r2004_libredwg_example.dwg";
  if (!std::filesystem::exists(source)) GTEST_SKIP() << "the shared DWG corpus is not beside the project";
  const std::string dir = testing::makeTempDir();
  const std::string path = dir + "/d.dwg";
  testing::writeFile(path, readBytes(source));
  const std::string before = readBytes(path);

  DrawingLoadResult loaded = Drawing::load(path);
  ASSERT_TRUE(loaded.drawing) << loaded.error;
  Drawing& d = *loaded.drawing;
  EXPECT_EQ(d.file().version(), "AC1018");
  ASSERT_NE(d.dwgOrigin(), nullptr);
  EXPECT_EQ(d.dwgOrigin()->version, "AC1018");
  EXPECT_FALSE(d.dwgOrigin()->listedKinds.empty());
  EXPECT_EQ(d.typeName(*d.records().findByHandle("2E1")), "3DSOLID");
  EXPECT_EQ(d.layerName(*d.records().findByHandle("2E1")), "Tavolo 3");

  EXPECT_FALSE(d.save());
  EXPECT_FALSE(d.saveAs(path));
  EXPECT_FALSE(d.saveAs(dir + "/other.DWG"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/other.DWG"));
  EXPECT_EQ(readBytes(path), before);

  // The DXF leaves out what was only listed, and later saves too.
  HostResult saved = d.saveAs(dir + "/d.dxf");
  ASSERT_TRUE(saved) << saved.error;
  EXPECT_EQ(d.dwgOrigin(), nullptr);
  const std::string text = readBytes(dir + "/d.dxf");
  EXPECT_NE(text.find("\n3DSOLID\n"), std::string::npos);
  EXPECT_EQ(text.find("\nDIMENSION\n"), std::string::npos);
  ASSERT_TRUE(d.save());
  EXPECT_EQ(readBytes(dir + "/d.dxf"), text);
  EXPECT_EQ(readBytes(path), before);
  std::filesystem::remove_all(dir);
}

// A copy of a DWG drawing's unsaved work is DXF, and named so.
TEST(DwgDrawing, RecoveryCopiesOfADwgAreNamedDxf) {
  const auto names = RecoveryCopy::names("/work/house.dwg");
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.front(), "/work/house.recover.dxf");
  EXPECT_EQ(RecoveryCopy::names("/work/house.DXF").front(), "/work/house.recover.DXF");
}

// A cut DWG is refused in one line: the file's name, then the section and
// byte where it stops holding together.
TEST(DwgDrawing, CutDwgIsRefusedByNameAndPlace) {
  const auto source = dwgCorpusDir() / "r2013_libredwg_example.dwg";
  if (!std::filesystem::exists(source)) GTEST_SKIP() << "the shared DWG corpus is not beside the project";
  const std::string dir = testing::makeTempDir();
  const std::string path = dir + "/cut.dwg";
  const std::string bytes = readBytes(source);
  testing::writeFile(path, bytes.substr(0, bytes.size() / 2));
  DrawingLoadResult loaded = Drawing::load(path, DrawingBytes::Kind::kMapped);
  EXPECT_FALSE(loaded.drawing);
  EXPECT_TRUE(loaded.error.starts_with(path + ": ")) << loaded.error;
  EXPECT_NE(loaded.error.find(" at byte "), std::string::npos) << loaded.error;
  EXPECT_EQ(loaded.error.find('\n'), std::string::npos) << loaded.error;
  std::filesystem::remove_all(dir);
}

} // namespace
} // namespace corvane
