#include "props/vrml_url.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(VrmlUrl, SettersStoreOwnCopies) {
  VrmlUrl url;
  std::string text = "room2.wrl";
  ASSERT_EQ(url.setLink(text.c_str()), 1);
  text[0] = 'X';
  EXPECT_STREQ(url.link, "room2.wrl");
  EXPECT_NE(url.link, text.c_str());
  ASSERT_EQ(url.setDescription(""), 1);
  ASSERT_NE(url.description, nullptr);
  EXPECT_STREQ(url.description, "");
  EXPECT_EQ(url.setLink(nullptr), 1);
  EXPECT_EQ(url.link, nullptr);
}

TEST(VrmlUrl, SettingTheRecordsOwnTextIsSafe) {
  VrmlUrl url;
  url.setLink("self");
  url.setDescription("about");
  EXPECT_EQ(url.setLink(url.link), 1);
  EXPECT_STREQ(url.link, "self");
  EXPECT_EQ(url.setDescription(url.description), 1);
  EXPECT_STREQ(url.description, "about");
}

TEST(VrmlUrl, ClearReleasesTextsAndKeepsAnchorFlag) {
  VrmlUrl url;
  url.setLink("a");
  url.setDescription("b");
  url.anchorOpen = 1;
  url.clear();
  EXPECT_EQ(url.link, nullptr);
  EXPECT_EQ(url.description, nullptr);
  EXPECT_EQ(url.anchorOpen, 1);
  url.clear(); // twice is harmless
}

} // namespace
