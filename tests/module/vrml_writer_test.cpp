#include "export/vrml_writer.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "export/mesh.h"
#include "props/vrml_material.h"
#include "props/vrml_url.h"
#include "support/golden.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

using corvane::testing::expectGolden;
using corvane::testing::firstDifference;

class VrmlWriterTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("corvane_writer_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    path_ = dir_ / "world.wrl";
    ASSERT_TRUE(out_.open(path_.c_str()));
  }
  void TearDown() override {
    out_.close();
    fs::remove_all(dir_);
  }
  std::string finish() {
    EXPECT_TRUE(out_.close());
    return readFile(path_);
  }

  static Mesh quad() {
    Mesh mesh;
    mesh.vertices.emplace(std::vector<Point3>{{0, 0, 0}, {10, 0, 0}, {10, 5.5, 0}, {0, 5.5, 0}});
    MeshFace face;
    face.cornerCount = 4;
    face.corners[0] = 0;
    face.corners[1] = 1;
    face.corners[2] = 2;
    face.corners[3] = 3;
    mesh.faces.emplace(std::vector<MeshFace>{face});
    return mesh;
  }

  void writeGroup(VrmlMaterial& material, VrmlUrl& url, const Mesh& mesh) {
    beginSeparator(&out_);
    material.writeMaterial(&out_);
    url.beginAnchor(&out_);
    mesh.writeMesh(&out_);
    url.endAnchor(&out_);
    endSeparator(&out_);
  }

  fs::path dir_;
  fs::path path_;
  OutputFile out_;
};

const char kHeader[] = "#VRML V1.0 ascii\nShapeHints {\n\tvertexOrdering UNKNOWN_ORDERING\n"
                       "\tshapeType UNKNOWN_SHAPE_TYPE\n\tfaceType CONVEX\n\tcreaseAngle 0.5\n}\n";

// The one-object world: a red quadrilateral with a link, no stored material.
TEST_F(VrmlWriterTest, OneObjectWorldMatchesTheGoldenFile) {
  VrmlMaterial material;
  VrmlColor red{};
  red.setIndex(1);
  material.setAmbientColor(red);
  VrmlUrl url;
  url.setLink("room2.wrl");
  url.setDescription("Next room");
  writeHeader(&out_);
  writeGroup(material, url, quad());
  const std::string actual = finish();

  expectGolden("tests/module/golden/one_object_world.wrl", actual);
}

TEST_F(VrmlWriterTest, HeaderAloneAndNoTrailingBraceOfItsOwn) {
  writeHeader(&out_);
  EXPECT_EQ(finish(), kHeader);
}

TEST_F(VrmlWriterTest, TwoGroupsFollowEachOtherDirectly) {
  VrmlMaterial material; // not valid: no Material node
  VrmlUrl url;
  writeHeader(&out_);
  writeGroup(material, url, quad());
  writeGroup(material, url, quad());
  const std::string text = finish();
  const std::string group = "Separator {\nCoordinate3 {\n\tpoint[\n0\t0\t0,\n10\t0\t0,\n10\t5.5\t0,\n"
                            "0\t5.5\t0,\n\t]\n}\nIndexedFaceSet {\n\tcoordIndex [\n\t0,1,2,3,-1,\n"
                            "\t]\n}\n}\n";
  EXPECT_EQ(firstDifference(kHeader + group + group, text), "");
}

TEST_F(VrmlWriterTest, NumbersAndFaceLines) {
  Mesh mesh;
  mesh.vertices.emplace(std::vector<Point3>{{1234.5678, -0.00001, 2000000}});
  MeshFace a, b, empty;
  a.cornerCount = 3;
  a.corners[1] = 1;
  a.corners[2] = 2;
  b.cornerCount = 3;
  b.corners[0] = 2;
  b.corners[1] = 3;
  b.corners[2] = 0;
  empty.corners[0] = 9; // cornerCount 0: corners are not printed
  mesh.faces.emplace(std::vector<MeshFace>{a, b, empty});
  mesh.writeMesh(&out_);
  EXPECT_EQ(finish(), "Coordinate3 {\n\tpoint[\n1234.57\t-1e-005\t2e+006,\n\t]\n}\n"
                      "IndexedFaceSet {\n\tcoordIndex [\n\t0,1,2,-1,\n2,3,0,-1,\n-1,\n\t]\n}\n");
}

TEST_F(VrmlWriterTest, MeshWithoutEitherListWritesNothing) {
  Mesh noFaces;
  noFaces.vertices.emplace();
  noFaces.writeMesh(&out_);
  Mesh noVertices;
  noVertices.faces.emplace(1);
  noVertices.writeMesh(&out_);
  Mesh bothEmpty;
  bothEmpty.vertices.emplace();
  bothEmpty.faces.emplace();
  bothEmpty.writeMesh(&out_);
  EXPECT_EQ(finish(), "Coordinate3 {\n\tpoint[\n\t]\n}\nIndexedFaceSet {\n\tcoordIndex [\n\t\t]\n}\n");
}

TEST_F(VrmlWriterTest, MaterialScalarsAndValidity) {
  VrmlMaterial material;
  material.writeMaterial(&out_); // not valid
  material.setShininess(0.5);
  material.setTransparency(1.0);
  material.writeMaterial(&out_);
  const std::string text = finish();
  EXPECT_EQ(text.rfind("Material {\n", 0), 0u);
  EXPECT_NE(text.find("\tambientColor\t0.300000\t0.300000\t0.300000\n"), std::string::npos);
  EXPECT_NE(text.find("\tshininess\t0.500000\n\ttransparency\t1.000000\n}\n"), std::string::npos);
}

TEST_F(VrmlWriterTest, AnchorsOpenOnlyWithALinkAndCloseOnce) {
  VrmlUrl url;
  url.setDescription("alone");
  url.beginAnchor(&out_); // description without a link: nothing
  EXPECT_EQ(url.anchorOpen, 0);
  url.endAnchor(&out_);
  url.setLink("");
  url.setDescription(nullptr);
  url.beginAnchor(&out_);
  EXPECT_EQ(url.anchorOpen, 1);
  url.endAnchor(&out_);
  EXPECT_EQ(url.anchorOpen, 0);
  url.endAnchor(&out_); // already closed: no stray brace
  EXPECT_EQ(finish(), "WWWAnchor {\n\tname \"\"\n}\n");
}

TEST_F(VrmlWriterTest, QuotesAndBackslashesInTextsAreEscaped) {
  VrmlUrl url;
  url.setLink("say \"hi\".wrl\\");
  url.setDescription("C:\\dir\\ \"q\"");
  url.beginAnchor(&out_);
  // A link ending in a backslash keeps its closing quote.
  EXPECT_EQ(finish(), "WWWAnchor {\n\tname \"say \\\"hi\\\".wrl\\\\\"\n"
                      "\tdescription \"C:\\\\dir\\\\ \\\"q\\\"\"\n");
}

TEST_F(VrmlWriterTest, LongDescriptionIsWrittenWhole) {
  VrmlUrl url;
  const std::string longText(100000, 'd');
  url.setLink("x");
  url.setDescription(longText.c_str());
  url.beginAnchor(&out_);
  EXPECT_EQ(finish(), "WWWAnchor {\n\tname \"x\"\n\tdescription \"" + longText + "\"\n");
}

} // namespace
