// The material record's own rules. Its extended-data storage needs real
// drawing objects and is covered through the host.
#include "props/vrml_material.h"

#include <limits>

#include <gtest/gtest.h>

namespace {

TEST(VrmlMaterial, DefaultsAndResetAgree) {
  VrmlMaterial material;
  EXPECT_EQ(material.useDrawingColor, 1);
  EXPECT_EQ(material.valid, 0);
  EXPECT_EQ(material.ambientColor.red, 0.3);
  EXPECT_EQ(material.ambientColor.index, 250);
  EXPECT_EQ(material.diffuseColor.green, 0.8);
  EXPECT_EQ(material.diffuseColor.index, 254);
  EXPECT_EQ(material.specularColor.blue, 0.0);
  EXPECT_EQ(material.specularColor.index, 250);
  EXPECT_EQ(material.emissiveColor.red, 0.0);
  EXPECT_EQ(material.emissiveColor.index, 250);
  EXPECT_EQ(material.shininess, 0.2);
  EXPECT_EQ(material.transparency, 0.0);

  material.useDrawingColor = 0;
  material.setShininess(0.9);
  VrmlColor red{};
  red.setIndex(1);
  material.setAmbientColor(red);
  material.reset();
  EXPECT_EQ(material.useDrawingColor, 1);
  EXPECT_EQ(material.valid, 0);
  EXPECT_EQ(material.shininess, 0.2);
  EXPECT_EQ(material.ambientColor.index, 250);
}

TEST(VrmlMaterial, ScalarSettersAcceptTheClosedRangeOnly) {
  VrmlMaterial material;
  EXPECT_EQ(material.setShininess(1.0), 1);
  EXPECT_EQ(material.valid, 1);
  EXPECT_EQ(material.setShininess(0.0), 1);
  for (double refused : {1.0000001, -0.1, std::numeric_limits<double>::quiet_NaN()}) {
    material.setShininess(0.5);
    EXPECT_EQ(material.setShininess(refused), 0);
    EXPECT_EQ(material.valid, 0);
    EXPECT_EQ(material.shininess, 0.5);
  }
}

TEST(VrmlMaterial, LastScalarSetterDecidesValidity) {
  VrmlMaterial material;
  EXPECT_EQ(material.setShininess(2.0), 0);
  EXPECT_EQ(material.setTransparency(0.4), 1);
  EXPECT_EQ(material.valid, 1);
  EXPECT_EQ(material.shininess, 0.2);
  EXPECT_EQ(material.setTransparency(-1.0), 0);
  EXPECT_EQ(material.valid, 0);
  EXPECT_EQ(material.transparency, 0.4);
}

TEST(VrmlMaterial, AmbientColourIsCopiedWholeWithoutRangeTest) {
  VrmlMaterial material;
  VrmlColor colour{10, 1.0, 0.0, 0.0};
  EXPECT_EQ(material.setAmbientColor(colour), 1);
  EXPECT_EQ(material.valid, 1);
  EXPECT_EQ(material.ambientColor.index, 10);
  EXPECT_EQ(material.ambientColor.red, 1.0);
}

} // namespace
