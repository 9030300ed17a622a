#include "props/vrml_color.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace {

struct Row {
  int index;
  double red, green, blue;
};

TEST(PaletteRule, MatchesTheTellingRows) {
  const Row rows[] = {
      {10, 1.0, 0.0, 0.0},     {11, 1.0, 0.5, 0.5},   {12, 0.65, 0.0, 0.0}, {13, 0.65, 0.325, 0.325},
      {19, 0.15, 0.075, 0.075}, {20, 1.0, 0.25, 0.0},  {21, 1.0, 0.625, 0.5}, {30, 1.0, 0.5, 0.0},
      {50, 1.0, 1.0, 0.0},     {90, 0.0, 1.0, 0.0},   {130, 0.0, 1.0, 1.0}, {170, 0.0, 0.0, 1.0},
      {210, 1.0, 0.0, 1.0},    {240, 1.0, 0.0, 0.25}, {249, 0.15, 0.075, 0.09375},
      {250, 0.33, 0.33, 0.33}, {255, 1.0, 1.0, 1.0},
  };
  for (const Row& row : rows) {
    double r, g, b;
    indexToRgb(row.index, r, g, b);
    EXPECT_NEAR(r, row.red, 1e-12) << "index " << row.index;
    EXPECT_NEAR(g, row.green, 1e-12) << "index " << row.index;
    EXPECT_NEAR(b, row.blue, 1e-12) << "index " << row.index;
  }
}

TEST(PaletteRule, FixedIndicesSevenToNineAreWhiteAndZeroIsBlack) {
  for (int index : {7, 8, 9}) {
    double r, g, b;
    indexToRgb(index, r, g, b);
    EXPECT_EQ(r, 1.0);
    EXPECT_EQ(g, 1.0);
    EXPECT_EQ(b, 1.0);
  }
  double r = 1, g = 1, b = 1;
  indexToRgb(0, r, g, b);
  EXPECT_EQ(r + g + b, 0.0);
}

TEST(NearestIndex, FollowsTheSearchRules) {
  EXPECT_EQ(nearestIndex(0.3, 0.3, 0.3), 250);
  EXPECT_EQ(nearestIndex(0.8, 0.8, 0.8), 254);
  EXPECT_EQ(nearestIndex(0.0, 0.0, 0.0), 250); // black is not among the greys
  EXPECT_EQ(nearestIndex(1.0, 1.0, 1.0), 7);   // 255 is reported as 7
  EXPECT_EQ(nearestIndex(1.0, 0.0, 0.0), 1);   // found before 10
  EXPECT_EQ(nearestIndex(0.5, 0.2, 0.1), 34);
  EXPECT_EQ(nearestIndex(0.5, 0.5, 0.5), 251);
  EXPECT_EQ(nearestIndex(0.6, 0.6, 0.6), 252);
}

TEST(NearestIndex, EveryPaletteColourMapsToAnIndexOfTheSameColour) {
  for (int index = 1; index <= 255; ++index) {
    double r, g, b;
    indexToRgb(index, r, g, b);
    const int found = nearestIndex(r, g, b);
    double fr, fg, fb;
    indexToRgb(found, fr, fg, fb);
    if (r == g && g == b && index < 250) {
      continue; // greys outside 250..255 are matched among those only
    }
    EXPECT_EQ(fr, r) << index;
    EXPECT_EQ(fg, g) << index;
    EXPECT_EQ(fb, b) << index;
    EXPECT_LE(found, index == 255 ? 7 : index) << "ties keep the lower index";
  }
}

TEST(VrmlColorSetIndex, AcceptsOneTo255AndRefusesTheRestUnchanged) {
  VrmlColor color{};
  ASSERT_EQ(color.setIndex(1), 1);
  EXPECT_EQ(color.index, 1);
  EXPECT_EQ(color.red, 1.0);
  EXPECT_EQ(color.green, 0.0);
  for (int refused : {0, 256, -1, 1000}) {
    EXPECT_EQ(color.setIndex(refused), 0);
    EXPECT_EQ(color.index, 1);
    EXPECT_EQ(color.red, 1.0);
    EXPECT_EQ(color.green, 0.0);
    EXPECT_EQ(color.blue, 0.0);
  }
  EXPECT_EQ(color.setIndex(255), 1);
  EXPECT_EQ(color.index, 255); // setIndex keeps the index it was given
}

TEST(VrmlColorSetRgb, RefusesOutOfRangeAndNaNLeavingTheRecord) {
  VrmlColor color{};
  ASSERT_EQ(color.setRgb(0.5, 0.5, 0.5), 1);
  EXPECT_EQ(color.index, 251);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(color.setRgb(nan, 0.0, 0.0), 0);
  EXPECT_EQ(color.setRgb(0.0, 1.0000001, 0.0), 0);
  EXPECT_EQ(color.setRgb(0.0, 0.0, -0.0001), 0);
  EXPECT_EQ(color.index, 251);
  EXPECT_EQ(color.red, 0.5);
  EXPECT_EQ(color.setRgb(1.0, 0.0, 0.0), 1);
  EXPECT_EQ(color.index, 1);
}

} // namespace
