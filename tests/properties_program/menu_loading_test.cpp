// vrml_init through the real corvane: the menu group and toolbar it loads,
// command echo around it, and a search path without the menu file.
#include <gtest/gtest.h>

#include "program_helpers.h"

namespace {

class MenuLoadingTest : public ::testing::Test {
protected:
  program::fs::path dir = program::scratch(::testing::UnitTest::GetInstance()->current_test_info()->name());
  void TearDown() override { program::fs::remove_all(dir); }
};

TEST_F(MenuLoadingTest, LoadingTwiceLeavesTheGroupOnceAndTheToolbarFloating) {
  program::Result r = program::runScript(dir, program::drawing(), "(vrml_init)\n(vrml_init)\n(getvar \"CMDECHO\")\nMENU\n\n");
  EXPECT_EQ(program::count(r.output, " Menu group vrml "), 1u) << r.output;
  EXPECT_NE(r.output.find("Toolbar vrml.TB_WRL \"VRML\", floating at 100,100, 1 row"), std::string::npos) << r.output;
  // Echo was off while the commands ran, and is back on.
  EXPECT_EQ(r.output.find("MENUGROUP"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("\n1\n"), std::string::npos) << r.output;
}

TEST_F(MenuLoadingTest, EchoComesBackToWhatItWas) {
  program::Result r = program::runScript(dir, program::drawing(), "(setvar \"CMDECHO\" 0)\n(vrml_init)\n(getvar \"CMDECHO\")\n");
  EXPECT_NE(r.output.find("(getvar \"CMDECHO\")\n0\n"), std::string::npos) << r.output;
}

TEST_F(MenuLoadingTest, AMenuEntryRunsItsCommand) {
  program::Result r = program::runScript(dir, program::drawing(), "MENU\nAbout VRML\n@1\n");
  EXPECT_NE(r.output.find("[Corvane]"), std::string::npos) << r.output;
}

TEST_F(MenuLoadingTest, WithoutTheMenuFileNothingRuns) {
  // A copy of the program without vrml.mnu beside it.
  program::fs::path bin = dir / "bin";
  program::fs::create_directories(bin);
  for (const char* f : {"corvane", "libcorvane-host.so", "Vrml.arx", "Vrml.hlp"})
    program::fs::copy_file(program::fs::path(CORVANE_BIN_DIR) / f, bin / f);
  program::Result r = program::runScript(dir, program::drawing(), "(getvar \"CMDECHO\")\nMENU\n(vrml_init)\nMENU\n",
                                   (bin / "corvane").string());
  EXPECT_EQ(program::count(r.output, "No menus are loaded."), 2u) << r.output;
  EXPECT_NE(r.output.find("(getvar \"CMDECHO\")\n1\n"), std::string::npos) << r.output;
}

} // namespace
