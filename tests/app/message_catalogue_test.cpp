// The module's catalogue against the table of texts users see.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "app/message_catalogue.h"
#include "res/string_table.h"
#include "runtime/host_services.h"
#include "ui.h"

namespace {

const std::map<int, std::string> kExpected = {
    {1, "\nSelect objects: "},
    {2, "\nCannot determine length of selection set."},
    {3, "\nNo entity in selection set."},
    {4, "\nError while creating VRML file."},
    {5, "\nCannot determine length of selection set."},
    {6, "\nNo entity in selection set."},
    {7, "\nCannot create output file."},
    {8, "\nCannot get entity from selection set."},
    {9, "\nCannot open entity for reading - %ld."},
    {10, "\nInvalid object type ignored - must be derived from AcDbBody or AcDb3dSolid."},
    {11, "\nCannot create selection set."},
    {12, "\nCannot open face file."},
    {13, "\nCannot convert faces to VRML"},
    {14, "\n%d objects converted."},
    {15, "Create VRML File"},
    {16, "\nInvalid object type."},
    {17, "Cannot open object for writing."},
    {18, "\nError while attaching url data to selected object."},
    {19, "\nError while attaching material data to selected object."},
    {20, "\nSelect object: "},
    {21, "\nCorvane loaded.\nUse VRMLHELP for list of commands.\n"},
    {22, "\nUsage: vrml_wrlout selection_set filename\n"},
    {23, "\nUsage: vrml_geturl entity\n"},
    {24, "\nUsage: vrml_getmaterial entity\n"},
    {25, "VRML Properties"},
    {26, "URL Properties"},
    {27, "URL Link:"},
    {28, "Description:"},
    {29, "Material Properties"},
    {30, "Use AutoCAD Color"},
    {31, "Shininess:"},
    {32, "Transparency:"},
    {33, "OK"},
    {34, "Cancel"},
    {36, "\n%d invalid objects ignored."},
    {37, "\rProcessing %d of %d."},
};

class Catalogue : public ::testing::Test {
protected:
  void SetUp() override {
    static const UiResources resources = {kVrmlStringTable, kVrmlStringTableSize};
    ASSERT_TRUE(AfxInitModule(&instance_, &resources, nullptr));
    corvane::setOutputSink([this](std::string_view t) { printed_ += t; });
  }
  void TearDown() override {
    AfxTermModule(&instance_, nullptr);
    corvane::setOutputSink(nullptr);
  }
  char instance_ = 0;
  std::string printed_;
};

TEST_F(Catalogue, EveryIdHoldsItsTextAndNoOtherIdHasOne) {
  for (int id = -1; id <= 40; ++id) {
    printed_.clear();
    std::string text = messageText(id);
    auto expected = kExpected.find(id);
    if (expected != kExpected.end()) {
      EXPECT_EQ(text, expected->second) << "message " << id;
      EXPECT_EQ(printed_, "") << "message " << id;
    } else {
      EXPECT_EQ(text, "") << "message " << id;
      EXPECT_EQ(printed_, "\nError Loading Message: message " + std::to_string(id) + " not found.");
    }
  }
  EXPECT_EQ(kVrmlStringTableSize, kExpected.size());
}

TEST_F(Catalogue, OneSharedBufferThatTheNextLookupOverwrites) {
  const char* first = messageText(33);
  EXPECT_STREQ(first, "OK");
  const char* second = messageText(34);
  EXPECT_EQ(first, second);
  EXPECT_STREQ(first, "Cancel");
}

TEST_F(Catalogue, NothingIsFoundBeforeTheFrameworkStarts) {
  AfxTermModule(&instance_, nullptr);
  EXPECT_STREQ(messageText(21), "");
  EXPECT_EQ(printed_, "\nError Loading Message: message 21 not found.");
}

} // namespace
