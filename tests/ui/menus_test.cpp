// The host's menu commands: the menu file format, loading and unloading,
// the toolbar placement, echo, and running an entry.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "console/console.h"
#include "console/menus.h"
#include "runtime/host_services.h"
#include "runtime/text.h"

namespace {

using corvane::Console;
using corvane::loadedMenuGroups;
using corvane::MenuGroup;
using corvane::parseMenuFile;
using corvane::Toolbar;

TEST(MenuLabels, AcceleratorMarksAreDroppedOrUnderlined) {
  EXPECT_EQ(corvane::shownLabel("&Export to VRML..."), "Export to VRML...");
  EXPECT_EQ(corvane::shownLabel("Save && E&xit&"), "Save & Exit&");
  EXPECT_EQ(corvane::shownLabel("VRML &Help", true), "VRML \033[4mH\033[24melp");
  EXPECT_EQ(corvane::shownLabel("A&&B", true), "A&B");
}

class MenuCommandsTest : public ::testing::Test {
protected:
  void SetUp() override {
    loadedMenuGroups().clear();
    corvane::searchPath().push_back(CORVANE_SOURCE_DIR "/support");
    corvane::setOutputSink([this](std::string_view s) { out.append(s); });
    corvane::registerMenuCommands(console);
    corvane::setCurrentConsole(&console);
    setEcho(1);
  }
  void TearDown() override {
    corvane::setCurrentConsole(nullptr);
    corvane::setOutputSink(nullptr);
    corvane::searchPath().pop_back();
    loadedMenuGroups().clear();
    setEcho(1);
  }
  static void setEcho(short v) { corvane::sysVars().find("CMDECHO")->shortValue = v; }

  std::istringstream script{""};
  Console console{corvane::makeScriptInput(script)};
  std::string out;
};

TEST(MenuFileTest, TheShippedMenuDefinesGroupMenuAndToolbar) {
  std::ifstream in(CORVANE_SOURCE_DIR "/support/vrml.mnu");
  MenuGroup g;
  const corvane::HostResult parsed = parseMenuFile(in, g);
  ASSERT_TRUE(parsed) << parsed.error;
  EXPECT_EQ(g.name, "vrml");
  ASSERT_EQ(g.menus.size(), 1u);
  ASSERT_EQ(g.toolbars.size(), 1u);
  EXPECT_EQ(g.toolbars[0].name, "TB_WRL");
  for (const auto* entries : {&g.menus[0].entries, &g.toolbars[0].entries}) {
    std::string commands;
    for (const auto& e : *entries) commands += e.command + " ";
    for (const char* c : {"vrmlout", "vrmlprop", "vrmlabout", "vrmlhelp"})
      EXPECT_NE(commands.find(c), std::string::npos) << c;
  }
}

TEST(MenuFileTest, BadLinesAreReportedWithTheirNumber) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"menu X\n", "line 1: the file must start"},
      {"group a\nitem X = y\n", "line 2: item outside"},
      {"group a\nmenu M\nitem no command\n", "line 3: item needs"},
      {"group a\nfrobnicate\n", "line 2: unknown statement"},
      {"; only a comment\n", "line 0: no menu group"},
      {"group a.b\n", "line 1: group needs one name"},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.text);
    MenuGroup g;
    const corvane::HostResult parsed = parseMenuFile(in, g);
    EXPECT_FALSE(parsed) << c.text;
    EXPECT_EQ(parsed.error.rfind(c.error, 0), 0u) << parsed.error;
  }
}

TEST_F(MenuCommandsTest, LoadFindsTheFileOnTheSearchPathAndRefusesATwin) {
  ASSERT_TRUE(console.runWithAnswers("_.menuload", {"vrml"}));
  ASSERT_EQ(loadedMenuGroups().size(), 1u);
  EXPECT_NE(loadedMenuGroups()[0].path.find("support/vrml.mnu"), std::string::npos);
  console.runWithAnswers("MENULOAD", {"vrml"});
  EXPECT_EQ(loadedMenuGroups().size(), 1u);
  EXPECT_NE(out.find("Menu group \"vrml\" is already loaded."), std::string::npos);
}

TEST_F(MenuCommandsTest, UnloadThenLoadLeavesTheGroupOnce) {
  for (int i = 0; i < 2; ++i) {
    console.runWithAnswers("_.menuunload", {"vrml"});
    console.runWithAnswers("_.menuload", {"vrml"});
  }
  EXPECT_EQ(loadedMenuGroups().size(), 1u);
}

TEST_F(MenuCommandsTest, MissingMenuFileIsReported) {
  console.runWithAnswers("MENULOAD", {"nosuchmenu"});
  EXPECT_TRUE(loadedMenuGroups().empty());
  EXPECT_NE(out.find("Cannot find menu file \"nosuchmenu.mnu\"."), std::string::npos);
}

TEST_F(MenuCommandsTest, ToolbarFloatsWhereAsked) {
  console.runWithAnswers("MENULOAD", {"vrml"});
  console.runWithAnswers("_.toolbar", {"vrml.TB_WRL", "_float", "100,100", "1"});
  const Toolbar& t = loadedMenuGroups()[0].toolbars[0];
  EXPECT_EQ(t.state, Toolbar::kFloating);
  EXPECT_EQ(t.x, 100);
  EXPECT_EQ(t.y, 100);
  EXPECT_EQ(t.rows, 1);
  console.runWithAnswers("TOOLBAR", {"TB_WRL", "h"});
  EXPECT_EQ(loadedMenuGroups()[0].toolbars[0].state, Toolbar::kHidden);
  console.runWithAnswers("TOOLBAR", {"vrml.NOPE"});
  EXPECT_NE(out.find("Toolbar \"vrml.NOPE\" not found."), std::string::npos);
}

TEST_F(MenuCommandsTest, EchoOffHidesPromptsAnswersAndSuccessMessages) {
  setEcho(0);
  console.runWithAnswers("_.menuunload", {"vrml"});
  console.runWithAnswers("_.menuload", {"vrml"});
  console.runWithAnswers("_.toolbar", {"vrml.TB_WRL", "_float", "100,100", "1"});
  EXPECT_EQ(out, "");
  setEcho(1);
  console.runWithAnswers("_.menuunload", {"vrml"});
  EXPECT_NE(out.find("Enter the name of the MENUGROUP to unload: vrml"), std::string::npos) << out;
}

TEST_F(MenuCommandsTest, MenuListsAndRunsAnEntryByLabelOrNumber) {
  std::string ran;
  console.addHostCommand("VRMLPROP", [&](Console&) { ran += "prop;"; });
  console.addHostCommand("VRMLABOUT", [&](Console&) { ran += "about;"; });
  console.runWithAnswers("MENULOAD", {"vrml"});
  console.runWithAnswers("TOOLBAR", {"vrml.TB_WRL", "_float", "100,100", "1"});
  console.runWithAnswers("MENU", {"VRML Properties..."});
  console.runWithAnswers("MENU", {"4"}); // the fourth reachable entry: About VRML
  EXPECT_EQ(ran, "prop;about;");
  // Labels read as a menu shows them, without the accelerator marks.
  EXPECT_NE(out.find("Pull-down menu \"VRML\"\n     1  Export to VRML...\n     2  VRML Properties..."),
            std::string::npos) << out;
  EXPECT_EQ(out.find('&'), std::string::npos) << out;
  EXPECT_NE(out.find("Toolbar vrml.TB_WRL \"VRML\", floating at 100,100, 1 row"), std::string::npos) << out;
  console.runWithAnswers("MENU", {"Nothing"});
  EXPECT_NE(out.find("No menu entry \"Nothing\"."), std::string::npos);
}

} // namespace
