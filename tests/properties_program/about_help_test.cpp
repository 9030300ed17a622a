// The About box and the help command in process: the About template's
// texts, the help file's name derived from the module's, and a module name
// too short for that.
#include <gtest/gtest.h>

#include <string>

#include "app/about_help.h"
#include "res/dialog_templates.h"
#include "runtime/host_services.h"
#include "runtime/module_loader.h"
#include "support/resources_scope.h"
#include "test_presenter.h"

namespace {

using corvane::ui::DialogWindow;
using corvane::ui::PresenterScope;
using corvane::ui::TestPresenter;

class AboutHelpTest : public ::testing::Test {
protected:
  void SetUp() override { corvane::setOutputSink([this](std::string_view s) { printed.append(s); }); }
  void TearDown() override { corvane::setOutputSink(nullptr); }
  // Runs vrmlhelp as a module loaded from PATH would.
  void helpFor(const std::string& path) {
    corvane::LoadedModule module;
    module.path = path;
    corvane::ModuleScope scope(&module);
    vrmlhelp();
  }
  corvane::testing::ResourcesScope resources{&kVrmlResources};
  TestPresenter presenter;
  PresenterScope presenterScope{&presenter};
  std::string printed;
};

TEST_F(AboutHelpTest, AboutBoxNamesProductReleasesDateAndVersion) {
  std::string text;
  std::string title;
  presenter.steps = {[&](DialogWindow& w) {
    title = w.title;
    for (auto& c : w.controls) text += c.text + "|";
    EXPECT_EQ(w.focused()->id, IDOK);
    w.escape();
  }};
  vrmlabout();
  EXPECT_EQ(title, "Corvane");
  for (const char* line : {"Corvane\nFor AutoCAD R13 and Autodesk Mechanical Desktop.\n\n", "Build date: 17/02/97\n",
                           "Version: 1.0.61", "Information"})
    EXPECT_NE(text.find(line), std::string::npos) << line;
  EXPECT_EQ(printed, "");
}

TEST_F(AboutHelpTest, HelpFileIsTheModuleFileWithItsExtensionChanged) {
  helpFor("/no/such/folder/Vrml.arx");
  ASSERT_EQ(presenter.boxes.size(), 1u); // the help service reports the missing file
  EXPECT_EQ(presenter.boxes[0].text, "Cannot open the help file /no/such/folder/Vrml.hlp.");
  EXPECT_EQ(printed, "");
}

TEST_F(AboutHelpTest, HelpShowsTheTopicsOfTheShippedFile) {
  helpFor(CORVANE_SOURCE_DIR "/support/Vrml.arx");
  EXPECT_TRUE(presenter.boxes.empty());
  ASSERT_GE(presenter.shownHelp.size(), 9u);
  EXPECT_EQ(presenter.shownHelp[0].rfind("VRMLOUT", 0), 0u);
}

TEST_F(AboutHelpTest, AModuleNameShorterThanThreeCharactersEndsSilently) {
  for (const char* name : {"", "a", "ab"}) {
    helpFor(name);
    EXPECT_TRUE(presenter.boxes.empty()) << name;
    EXPECT_TRUE(presenter.shownHelp.empty()) << name;
  }
  helpFor("abc"); // three characters: the whole name becomes "hlp"
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].text, "Cannot open the help file hlp.");
}

TEST_F(AboutHelpTest, ALongModulePathIsNotCut) {
  std::string folder = "/" + std::string(1500, 'f');
  helpFor(folder + "/Vrml.arx");
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].text, "Cannot open the help file " + folder + "/Vrml.hlp.");
}

} // namespace
