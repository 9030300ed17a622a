// The solids of the R2007 corpus drawing: their binary model data, found in
// the objects section the container reads, written as model text is the
// text its DXF twin holds, byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "drawing/drawing.h"
#include "drawing/record_geometry.h"
#include "dwg/dwg_container_r2007.h"
#include "dwg/r2007_corpus.h"
#include "solids/dxf_model_text.h"
#include "solids/sat_text_writer.h"

namespace corvane::dwg {
namespace {

// Every binary model in BITS, at any bit position: the bytes from its
// signature to the end of the section (the reader stops at its end marker).
std::vector<std::vector<uint8_t>> binaryModels(std::span<const uint8_t> bits) {
  static const std::string kSignature = "ACIS BinaryFile";
  std::vector<std::vector<uint8_t>> models;
  for (unsigned shift = 0; shift < 8; ++shift) {
    std::vector<uint8_t> shifted(bits.size());
    for (size_t i = 0; i + 1 < bits.size(); ++i)
      shifted[i] = uint8_t(bits[i] << shift | (shift ? bits[i + 1] >> (8 - shift) : 0));
    auto at = shifted.begin();
    while ((at = std::search(at, shifted.end(), kSignature.begin(), kSignature.end())) != shifted.end()) {
      models.emplace_back(at, shifted.end());
      ++at;
    }
  }
  return models;
}

TEST(R2007Solids, BinaryModelsWrittenAsTextAreTheTwinsText) {
  std::vector<uint8_t> file = testing::readFileBytes(testing::r2007CorpusDwg());
  if (file.empty() || !std::filesystem::exists(testing::r2007CorpusDxf()))
    GTEST_SKIP() << "the shared corpus is not beside the project";
  DwgSections sections = readR2007Container(file);
  std::multiset<std::string> ours;
  for (const std::vector<uint8_t>& model : binaryModels(sections.objects)) {
    std::string text, reason;
    ASSERT_TRUE(solids::sabToSatText(model.data(), model.size(), solids::SatTextStyle::kDxf, text, reason))
        << reason;
    ours.insert(text);
  }

  DrawingLoadResult twin = Drawing::load(testing::r2007CorpusDxf().string());
  ASSERT_TRUE(twin.drawing) << twin.error;
  std::multiset<std::string> theirs;
  for (size_t i = 0; i < twin.drawing->records().count(); ++i) {
    const AcDbObjectRecord* record = twin.drawing->records().at(i);
    std::string type(twin.drawing->typeName(*record));
    if (type != "3DSOLID" && type != "REGION" && type != "BODY") continue;
    std::optional<SolidModelData> data = solidModelData(*twin.drawing, *record);
    ASSERT_TRUE(data) << type;
    std::string text, reason;
    ASSERT_TRUE(solids::decodeModelText(*data, text, reason)) << reason;
    theirs.insert(text);
  }
  ASSERT_EQ(theirs.size(), 3u); // a 3D solid and two regions
  EXPECT_EQ(ours, theirs);
}

} // namespace
} // namespace corvane::dwg
