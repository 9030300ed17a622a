// The VRML Properties dialog in process, through a test presenter: what it
// shows, what OK and Cancel leave in the records, validation, and the
// track-bar conversion.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "props/vrml_material.h"
#include "props/vrml_properties_dialog.h"
#include "props/vrml_url.h"
#include "res/dialog_templates.h"
#include "support/resources_scope.h"
#include "test_presenter.h"

namespace {

using corvane::ui::Control;
using corvane::ui::DialogWindow;
using corvane::ui::PresenterScope;
using corvane::ui::TestPresenter;

class PropertiesDialogTest : public ::testing::Test {
protected:
  corvane::testing::ResourcesScope resources{&kVrmlResources};
  TestPresenter presenter;
  PresenterScope scope{&presenter};
};

TEST(SliderConversionTest, EveryPositionComesBackWhereItWasLeft) {
  for (int p = 0; p <= 100; ++p) EXPECT_EQ(sliderPosition(sliderValue(p)), p) << p;
  // The value is position × 0.01, not position / 100.
  EXPECT_EQ(sliderValue(29), 29 * 0.01);
  EXPECT_EQ(sliderValue(100), 1.0);
}

TEST(SliderConversionTest, OtherValuesGoToTheNearestPosition) {
  EXPECT_EQ(sliderPosition(0.555), 56);
  EXPECT_EQ(sliderPosition(0.554), 55);
  EXPECT_EQ(sliderPosition(0.2), 20);
  EXPECT_EQ(sliderPosition(-0.5), 0);
  EXPECT_EQ(sliderPosition(7.0), 100);
  EXPECT_EQ(sliderPosition(std::nan("")), 0);
}

TEST_F(PropertiesDialogTest, AnObjectWithoutDataShowsDefaultsAndOkMakesTheMaterialComplete) {
  VrmlUrl url;
  VrmlMaterial material;
  presenter.steps = {[](DialogWindow& w) {
    EXPECT_EQ(w.title, "VRML Properties");
    EXPECT_EQ(w.find(1018)->text, "");
    EXPECT_EQ(w.find(1018)->limit, 250u);
    EXPECT_EQ(w.find(1020)->limit, 250u);
    EXPECT_EQ(w.find(1038)->checked, 1);
    EXPECT_EQ(w.find(1014)->pos, 20);
    EXPECT_EQ(w.find(1015)->pos, 0);
    EXPECT_EQ(w.find(1014)->rangeMax, 100);
    EXPECT_EQ(w.find(1014)->ticFreq, 10);
    EXPECT_EQ(w.find(1015)->ticFreq, 10);
    // Texts from the catalogue, not the template.
    EXPECT_EQ(w.find(1021)->text, "Description:");
    EXPECT_EQ(w.find(1038)->text, "Use AutoCAD Color");
    EXPECT_EQ(w.focused()->id, IDOK);
    w.enter();
  }};
  ASSERT_EQ(runPropertiesDialog(url, material), 1);
  EXPECT_EQ(url.link, nullptr);
  EXPECT_EQ(url.description, nullptr);
  EXPECT_EQ(material.valid, 1);
  EXPECT_EQ(material.useDrawingColor, 1);
  EXPECT_DOUBLE_EQ(material.shininess, 0.2);
  EXPECT_EQ(material.transparency, 0.0);
  EXPECT_DOUBLE_EQ(material.diffuseColor.red, 0.8); // colours untouched
}

TEST_F(PropertiesDialogTest, OkCopiesTextsFlagAndPositions) {
  VrmlUrl url;
  url.setLink("old");
  VrmlMaterial material;
  material.setShininess(0.29);
  presenter.steps = {[](DialogWindow& w) {
    EXPECT_EQ(w.find(1018)->text, "old");
    EXPECT_EQ(w.find(1014)->pos, 29); // not 28: the value goes to the nearest position
    w.find(1018)->selectAll();
    w.find(1018)->type("http://example.com/");
    w.find(1020)->type("desc");
    w.press(1038);
    w.find(1015)->setPos(58);
    w.press(IDOK);
  }};
  ASSERT_EQ(runPropertiesDialog(url, material), 1);
  EXPECT_STREQ(url.link, "http://example.com/");
  EXPECT_STREQ(url.description, "desc");
  EXPECT_EQ(material.useDrawingColor, 0);
  EXPECT_EQ(material.shininess, 29 * 0.01);
  EXPECT_EQ(material.transparency, 58 * 0.01);
}

TEST_F(PropertiesDialogTest, CancelLeavesBothRecordsUntouched) {
  VrmlUrl url;
  url.setLink("keep");
  VrmlMaterial material;
  presenter.steps = {[](DialogWindow& w) {
    w.find(1018)->selectAll();
    w.find(1018)->type("");
    w.find(1014)->setPos(90);
    w.escape();
  }};
  EXPECT_EQ(runPropertiesDialog(url, material), 0);
  EXPECT_STREQ(url.link, "keep");
  EXPECT_EQ(material.valid, 0);
  EXPECT_DOUBLE_EQ(material.shininess, 0.2);
}

TEST_F(PropertiesDialogTest, EmptiedFieldsLeaveNoLinkAndNoDescription) {
  VrmlUrl url;
  url.setLink("a");
  url.setDescription("b");
  VrmlMaterial material;
  presenter.steps = {[](DialogWindow& w) {
    for (int id : {1018, 1020}) {
      w.find(id)->selectAll();
      w.find(id)->type("");
    }
    w.enter();
  }};
  ASSERT_EQ(runPropertiesDialog(url, material), 1);
  EXPECT_EQ(url.link, nullptr);
  EXPECT_EQ(url.description, nullptr);
}

TEST_F(PropertiesDialogTest, AStoredTextOverTheLimitIsReportedOnceAndTheDialogStays) {
  VrmlUrl url;
  std::string longDescription(251, 'd');
  url.setDescription(longDescription.c_str());
  VrmlMaterial material;
  int focusAfter = 0;
  presenter.steps = {[](DialogWindow& w) { w.enter(); },
                     [&](DialogWindow& w) {
                       focusAfter = w.focused()->id;
                       Control* c = w.find(1020);
                       EXPECT_EQ(c->selStart, 0u);
                       EXPECT_EQ(c->selEnd, 251u);
                       c->type("short");
                       w.enter();
                     }};
  ASSERT_EQ(runPropertiesDialog(url, material), 1);
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].text, "Please enter no more than 250 characters.");
  EXPECT_EQ(presenter.boxes[0].type & 0xF0U, MB_ICONEXCLAMATION);
  EXPECT_EQ(focusAfter, 1020);
  EXPECT_STREQ(url.description, "short");
}

TEST_F(PropertiesDialogTest, ExactlyTwoHundredFiftyCharactersPass) {
  VrmlUrl url;
  std::string link(250, 'l');
  url.setLink(link.c_str());
  VrmlMaterial material;
  presenter.steps = {[](DialogWindow& w) { w.enter(); }};
  ASSERT_EQ(runPropertiesDialog(url, material), 1);
  EXPECT_TRUE(presenter.boxes.empty());
  EXPECT_EQ(std::string(url.link), link);
}

} // namespace
