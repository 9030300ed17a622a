// The per-object material rules, without stored data (a null object reads
// as an object that carries none).
#include "export/object_material.h"

#include <gtest/gtest.h>

namespace {

TEST(ObjectMaterial, ColourSevenGetsNoMaterial) {
  VrmlMaterial material;
  VrmlColor color{};
  loadObjectMaterial(nullptr, 7, material, color);
  EXPECT_EQ(material.valid, 0);
}

TEST(ObjectMaterial, DrawingColourBecomesAmbientOverTheDefaults) {
  VrmlMaterial material;
  VrmlColor color{};
  loadObjectMaterial(nullptr, 1, material, color);
  EXPECT_EQ(material.valid, 1);
  EXPECT_EQ(material.ambientColor.index, 1);
  EXPECT_EQ(material.ambientColor.red, 1.0);
  EXPECT_EQ(material.ambientColor.green, 0.0);
  EXPECT_EQ(material.diffuseColor.red, 0.8);
  EXPECT_EQ(material.specularColor.red, 0.0);
  EXPECT_EQ(material.emissiveColor.red, 0.0);
  EXPECT_EQ(material.shininess, 0.2);
  EXPECT_EQ(material.transparency, 0.0);
}

TEST(ObjectMaterial, IndexOutsideThePaletteKeepsOwnAmbientNotThePreviousObjects) {
  VrmlMaterial material;
  VrmlColor color{};
  loadObjectMaterial(nullptr, 3, material, color); // an earlier green object
  ASSERT_EQ(material.ambientColor.index, 3);
  for (int index : {0, 300, 257}) {
    material.reset();
    loadObjectMaterial(nullptr, index, material, color);
    EXPECT_EQ(material.valid, 1) << index;
    EXPECT_EQ(material.ambientColor.index, 250) << index;
    EXPECT_EQ(material.ambientColor.red, 0.3) << index;
    EXPECT_EQ(material.ambientColor.green, 0.3) << index;
  }
}

TEST(ObjectMaterial, OwnColoursStayWhenTheDrawingColourIsNotUsed) {
  VrmlMaterial material;
  material.useDrawingColor = 0;
  VrmlColor color{};
  loadObjectMaterial(nullptr, 5, material, color);
  EXPECT_EQ(material.valid, 0);
  EXPECT_EQ(material.ambientColor.index, 250);
}

} // namespace
