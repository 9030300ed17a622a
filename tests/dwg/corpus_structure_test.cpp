// Every corpus DWG's structure reads: its sections with every checksum the
// container keeps, its object map, every object the map names framed (its
// type, and the handle the map gives it), its classes as its DXF twin lists
// them, and the header's handles naming objects of their kinds.
#include <gtest/gtest.h>

#include "dwg/dwg_error.h"
#include "dwg/dwg_file.h"
#include "dwg_twin.h"

namespace corvane::dwg {
namespace {

std::vector<uint8_t> fileBytes(const std::filesystem::path& path) {
  std::string bytes = corvane::testing::readBytes(path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// From R2004 on the twins' writer leaves ACDBPLACEHOLDER and LAYOUT out of
// DXF, and some name DATATABLE ACDBDATATABLE.
std::vector<std::string> comparableClassNames(std::vector<std::string> names) {
  std::erase_if(names, [](const std::string& n) { return n == "ACDBPLACEHOLDER" || n == "LAYOUT"; });
  for (std::string& n : names)
    if (n == "DATATABLE") n = "ACDBDATATABLE";
  return names;
}

void checkStructure(const std::filesystem::path& path, const DwgFile& dwg) {
  const DwgSections& s = dwg.sections;
  EXPECT_EQ(s.codePage, 30);
  EXPECT_EQ(!s.dataStorage.empty(), s.version >= DwgVersion::kR2013);

  std::vector<std::string> names;
  for (const DwgClass& c : dwg.classes) {
    EXPECT_GE(c.number, 500);
    names.push_back(c.dxfName);
  }
  std::vector<std::string> twin = comparableClassNames(testing::twinClassNames(path));
  if (path.filename() == "r2000_libredwg_ts1_pmesh.dwg") {
    // Its twin is a later save, with two classes more.
    std::erase(twin, "ACDBSECTIONVIEWSTYLE");
    std::erase(twin, "ACDBDETAILVIEWSTYLE");
  }
  EXPECT_EQ(comparableClassNames(names), twin);

  ASSERT_GT(dwg.objectMap.size(), 100u);
  for (const DwgObjectLocation& entry : dwg.objectMap.entries()) {
    DwgObjectFrame f = dwg.frameAt(entry.offset);
    ASSERT_EQ(f.handle, entry.handle);
    // The handle stream holds nothing but handles, up to its last byte.
    DwgObjectStreams streams = f.streams();
    while (streams.handles.remaining() >= 8) streams.handles.readH(f.handle);
  }
  EXPECT_GT(dwg.header.handSeed, dwg.objectMap.entries().back().handle);

  // The header's handles name objects of their kinds.
  const std::pair<const char*, uint16_t> kinds[] = {
      {"BLOCK_CONTROL_OBJECT", 48}, {"LAYER_CONTROL_OBJECT", 50}, {"STYLE_CONTROL_OBJECT", 52},
      {"LTYPE_CONTROL_OBJECT", 56}, {"VIEW_CONTROL_OBJECT", 60},  {"UCS_CONTROL_OBJECT", 62},
      {"VPORT_CONTROL_OBJECT", 64}, {"APPID_CONTROL_OBJECT", 66}, {"DIMSTYLE_CONTROL_OBJECT", 68},
      {"BLOCK_RECORD_MSPACE", 49},  {"BLOCK_RECORD_PSPACE", 49},  {"DICTIONARY_NAMED_OBJECT", 42},
      {"LTYPE_CONTINUOUS", 57},     {"$CLAYER", 51},
  };
  for (const auto& [name, type] : kinds) EXPECT_EQ(dwg.frame(dwg.header.handle(name)).type, type) << name;
}

TEST(DwgCorpus, StructureReadsWhole) {
  auto files = corvane::testing::dwgCorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no DWG corpus at " << corvane::testing::dwgCorpusDir();
  for (const auto& path : files) {
    SCOPED_TRACE(path.filename().string());
    std::vector<uint8_t> file = fileBytes(path);
    try {
      checkStructure(path, readDwgFile(file));
    } catch (const DwgError& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

// $HANDSEED as LibreDWG reads it from these files (SOURCES.md).
TEST(DwgCorpus, HandSeeds) {
  const std::pair<const char*, uint64_t> seeds[] = {{"r13_libredwg_example.dwg", 0x1FAF},
                                                     {"r14_libredwg_example.dwg", 0xE38},
                                                     {"r2000_libredwg_example.dwg", 0xBE7},
                                                     {"r2018_libredwg_example.dwg", 0x9BD}};
  for (const auto& [name, seed] : seeds) {
    std::filesystem::path path = corvane::testing::dwgCorpusDir() / name;
    if (!std::filesystem::exists(path)) GTEST_SKIP() << "no " << path;
    EXPECT_EQ(readDwgFile(fileBytes(path)).header.handSeed, seed) << name;
  }
}

} // namespace
} // namespace corvane::dwg
