// Every corpus DWG's structure reads: its sections, with every checksum the
// container keeps.
#include <gtest/gtest.h>

#include "dwg/dwg_error.h"
#include "dwg/dwg_sections.h"
#include "support/corpus.h"

namespace corvane::dwg {
namespace {

std::vector<uint8_t> fileBytes(const std::filesystem::path& path) {
  std::string bytes = corvane::testing::readBytes(path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

TEST(DwgCorpus, EverySectionReads) {
  auto files = corvane::testing::dwgCorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no DWG corpus at " << corvane::testing::dwgCorpusDir();
  for (const auto& path : files) {
    SCOPED_TRACE(path.filename().string());
    std::vector<uint8_t> file = fileBytes(path);
    if (versionFromMagic(file) == DwgVersion::kR2007) continue;
    try {
      DwgSections s = readDwgSections(file);
      EXPECT_FALSE(s.header.empty());
      EXPECT_FALSE(s.classes.empty());
      EXPECT_FALSE(s.handles.empty());
      EXPECT_FALSE(s.objects.empty());
      EXPECT_EQ(s.codePage, 30);
      EXPECT_EQ(!s.dataStorage.empty(), s.version >= DwgVersion::kR2013);
    } catch (const DwgError& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

} // namespace
} // namespace corvane::dwg
