// Objects whose points lie beyond single precision, which VRML readers
// reject, are left out of the world by corvane export and named in one line,
// whatever their kind; the others export as before.
#include <gtest/gtest.h>

#include "test_drawing.h"

namespace corvane::testing {
namespace {

// A 3D face with one corner at (X, Y, Z), the others near the origin.
std::string faceAt(const std::string& handle, const std::string& x, const std::string& y, const std::string& z) {
  return group(0, "3DFACE") + group(5, handle) + group(8, "0") + group(10, x) + group(20, y) + group(30, z) +
         group(11, "1") + group(21, "0") + group(31, "0") + group(12, "1") + group(22, "1") + group(32, "0") +
         group(13, "0") + group(23, "1") + group(33, "0");
}

TEST(SinglePrecision, PointsBeyondItAreNotWrittenAndAreNamed) {
  TestDrawing d;
  d.face("2A", "0", 1)
      .raw(faceAt("2B", "3.5e38", "0", "0"))
      .raw(faceAt("2C", "0", "-1e308", "0"))
      .raw(faceAt("2D", "3.4e38", "0", "0")) // still a float
      .raw(group(0, "SOLID") + group(5, "2E") + group(8, "0") + group(39, "1e39") + group(10, "0") +
           group(20, "0") + group(30, "0") + group(11, "1") + group(21, "0") + group(31, "0") + group(12, "0") +
           group(22, "1") + group(32, "0") + group(13, "1") + group(23, "1") + group(33, "0"))
      .polyface("2F", "0", 1);
  const std::string dir = makeTempDir();
  writeFile(dir + "/far.dxf", d.text());
  ProcessResult run = runProcess({corvanePath(), "export", "far.dxf"}, "", dir);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err,
            "corvane: 3 objects not converted: coordinates beyond single precision (3DFACE 2B, 3DFACE 2C, SOLID 2E)\n");
  EXPECT_EQ(convertedCount(run.out), "3") << run.out;
  const std::string world = readFile(dir + "/far.wrl");
  EXPECT_EQ(world.find("e+38"), std::string::npos);
  EXPECT_EQ(world.find("e+308"), std::string::npos);
  EXPECT_EQ(world.find("inf"), std::string::npos);
  EXPECT_EQ(coinCheck(dir + "/far.wrl", {"--groups", "3"}), "");

  // Nothing left to convert: nothing converted, and the old world stays.
  TestDrawing far;
  far.raw(faceAt("2B", "3.5e38", "0", "0"));
  writeFile(dir + "/only.dxf", far.text());
  writeFile(dir + "/only.wrl", "old");
  ProcessResult none = runProcess({corvanePath(), "export", "only.dxf"}, "", dir);
  EXPECT_EQ(none.status, 1) << none.err;
  EXPECT_EQ(none.err.rfind("corvane: 1 object not converted: coordinates beyond single precision (3DFACE 2B)\n", 0),
            0u)
      << none.err;
  EXPECT_EQ(readFile(dir + "/only.wrl"), "old");
}

} // namespace
} // namespace corvane::testing
