// Every corpus DWG's structure reads: its sections with every checksum the
// container keeps, its object map, every object the map names framed (its
// type, and the handle the map gives it), its classes as its DXF twin lists
// them, and the header's handles naming objects of their kinds. Its
// layouts read as its twin holds them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "dwg/dwg_error.h"
#include "dwg/dwg_reader.h"
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

// Each LAYOUT's groups (from its plot settings on, where the twin's own
// head and ours may differ in a round-trip dictionary's link), by handle.
using Groups = std::vector<std::pair<int, std::string>>;
std::map<std::string, Groups> layoutsOf(const Groups& groups) {
  std::map<std::string, Groups> out;
  Groups* current = nullptr;
  bool body = false;
  for (const auto& [code, value] : groups) {
    if (code == 0) {
      current = value == "LAYOUT" ? &out["?"] : nullptr;
      body = false;
    } else if (current != nullptr && code == 5) {
      out[value] = Groups();
      out.erase("?");
      current = &out[value];
    } else if (current != nullptr && code == 100 && value == "AcDbPlotSettings") {
      body = true;
    }
    if (current != nullptr && body) current->emplace_back(code, value);
  }
  return out;
}

// Two values of one group alike: the same text, or numbers within the
// twin's 16 printed digits.
bool alike(const std::string& a, const std::string& b) {
  if (a == b) return true;
  char* endA = nullptr;
  char* endB = nullptr;
  const double x = std::strtod(a.c_str(), &endA), y = std::strtod(b.c_str(), &endB);
  if (a.empty() || b.empty() || *endA != '\0' || *endB != '\0') return false;
  return std::fabs(x - y) <= 1e-14 * std::max(1.0, std::fabs(y)) * 100;
}

// The layouts read from every corpus DWG are its twin's, group for group
// (the R13 and R14 twins, of releases without layouts, have none to
// compare: there every layout must still be read, not only listed).
TEST(DwgCorpus, LayoutsAreTheTwins) {
  const auto files = corvane::testing::dwgCorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no DWG corpus at " << corvane::testing::dwgCorpusDir();
  for (const auto& path : files) {
    SCOPED_TRACE(path.filename().string());
    const std::vector<uint8_t> bytes = fileBytes(path);
    std::istringstream in(readDwgAsDxf(bytes).text);
    Groups ours;
    std::string code, value;
    while (std::getline(in, code) && std::getline(in, value)) ours.emplace_back(std::stoi(code), value);
    const auto mine = layoutsOf(ours), twins = layoutsOf(testing::twinGroups(path));
    EXPECT_EQ(mine.size(), 3u);
    for (const auto& [handle, groups] : mine) EXPECT_NE(std::find(groups.begin(), groups.end(), Groups::value_type(100, "AcDbLayout")), groups.end()) << handle;
    for (const auto& [handle, twin] : twins) {
      const auto it = mine.find(handle);
      ASSERT_NE(it, mine.end()) << handle;
      const Groups& groups = it->second;
      ASSERT_EQ(groups.size(), twin.size()) << handle;
      for (size_t i = 0; i < twin.size(); ++i) {
        EXPECT_EQ(groups[i].first, twin[i].first) << handle << " group " << i;
        EXPECT_TRUE(alike(groups[i].second, twin[i].second))
            << handle << " " << twin[i].first << ": " << groups[i].second << " / " << twin[i].second;
      }
    }
  }
}

} // namespace
} // namespace corvane::dwg
