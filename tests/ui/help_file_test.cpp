#include <gtest/gtest.h>

#include <sstream>

#include "ui/help_file.h"

namespace {

using corvane::ui::HelpFile;
using corvane::ui::loadHelpFile;
using corvane::ui::parseHelpFile;

TEST(HelpFileTest, TitleIntroductionAndTopics) {
  std::istringstream in("Title: My Help\r\nIntro line\n\n== First\n\nbody 1\n# not shown\nbody 2\n\n\n==Second\nx\n");
  HelpFile h = parseHelpFile(in);
  EXPECT_EQ(h.title, "My Help");
  EXPECT_EQ(h.introduction, std::vector<std::string>{"Intro line"});
  ASSERT_EQ(h.topics.size(), 2u);
  EXPECT_EQ(h.topics[0].title, "First");
  EXPECT_EQ(h.topics[0].lines, (std::vector<std::string>{"body 1", "body 2"}));
  EXPECT_EQ(h.topics[1].title, "Second");
}

TEST(HelpFileTest, TheShippedHelpFileDescribesCommandsMenuAndFunctions) {
  HelpFile h;
  ASSERT_TRUE(loadHelpFile(CORVANE_SOURCE_DIR "/support/Vrml.hlp", h));
  std::string titles;
  for (const auto& t : h.topics) titles += t.title + "\n";
  for (const char* name : {"VRMLOUT", "VRMLPROP", "VRMLABOUT", "VRMLHELP", "menu", "vrml_wrlout", "vrml_geturl",
                           "vrml_getmaterial", "vrml_init"})
    EXPECT_NE(titles.find(name), std::string::npos) << name;
}

TEST(HelpFileTest, MissingFileIsRefused) {
  HelpFile h;
  EXPECT_FALSE(loadHelpFile("/nonexistent/x.hlp", h));
}

} // namespace
