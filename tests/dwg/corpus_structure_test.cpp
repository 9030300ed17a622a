// Every corpus DWG's structure reads: its sections with every checksum the
// container keeps, its object map, every object the map names framed (its
// type, and the handle the map gives it), its classes as its DXF twin lists
// them.
#include <gtest/gtest.h>

#include <sstream>

#include "dwg/dwg_classes.h"
#include "dwg/dwg_error.h"
#include "dwg/dwg_object_frame.h"
#include "dwg/dwg_object_map.h"
#include "dwg/dwg_sections.h"
#include "support/corpus.h"

namespace corvane::dwg {
namespace {

std::vector<uint8_t> fileBytes(const std::filesystem::path& path) {
  std::string bytes = corvane::testing::readBytes(path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// The DXF names of the twin's CLASSES section, in order.
std::vector<std::string> twinClassNames(const std::filesystem::path& dwg) {
  std::filesystem::path twin = dwg;
  twin.replace_extension(".dxf");
  std::istringstream in(corvane::testing::readBytes(twin));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  std::vector<std::string> names;
  bool inClasses = false;
  for (size_t i = 0; i + 1 < lines.size(); i += 2) {
    const std::string code = lines[i].substr(lines[i].find_first_not_of(' '));
    const std::string& value = lines[i + 1];
    if (code == "2" && value == "CLASSES") inClasses = true;
    if (code == "0" && value == "ENDSEC" && inClasses) break;
    if (inClasses && code == "1") names.push_back(value);
  }
  return names;
}

TEST(DwgCorpus, SectionsObjectsAndClassesRead) {
  auto files = corvane::testing::dwgCorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no DWG corpus at " << corvane::testing::dwgCorpusDir();
  for (const auto& path : files) {
    SCOPED_TRACE(path.filename().string());
    std::vector<uint8_t> file = fileBytes(path);
    if (versionFromMagic(file) == DwgVersion::kR2007) continue;
    try {
      DwgSections s = readDwgSections(file);
      EXPECT_EQ(s.codePage, 30);
      EXPECT_EQ(!s.dataStorage.empty(), s.version >= DwgVersion::kR2013);
      std::vector<DwgClass> classes = readClasses(s);
      // From R2004 on the twins' writer leaves ACDBPLACEHOLDER and LAYOUT out
      // of DXF, and some name DATATABLE ACDBDATATABLE; the ts1 twin is a
      // later save with two classes more. Otherwise the lists are the same,
      // in order.
      auto comparable = [](std::vector<std::string> list) {
        std::erase_if(list, [](const std::string& n) { return n == "ACDBPLACEHOLDER" || n == "LAYOUT"; });
        for (std::string& n : list)
          if (n == "DATATABLE") n = "ACDBDATATABLE";
        return list;
      };
      std::vector<std::string> names;
      for (const DwgClass& c : classes) {
        EXPECT_GE(c.number, 500);
        names.push_back(c.dxfName);
      }
      names = comparable(names);
      std::vector<std::string> twin = comparable(twinClassNames(path));
      if (path.filename() == "r2000_libredwg_ts1_pmesh.dwg") {
        std::erase(twin, "ACDBSECTIONVIEWSTYLE");
        std::erase(twin, "ACDBDETAILVIEWSTYLE");
      }
      EXPECT_EQ(names, twin);
      DwgObjectMap map = readObjectMap(s);
      EXPECT_GT(map.size(), 100u);
      for (const DwgObjectLocation& entry : map.entries()) {
        DwgObjectFrame f = frameObject(s, classes, entry.offset);
        EXPECT_EQ(f.handle, entry.handle);
        // The handle stream holds nothing but handles, to its last byte.
        DwgObjectStreams streams = f.streams();
        while (streams.handles.remaining() >= 8) streams.handles.readH(f.handle);
        EXPECT_LT(streams.handles.remaining(), 8u);
      }
    } catch (const DwgError& e) {
      ADD_FAILURE() << e.what();
    }
  }
}

} // namespace
} // namespace corvane::dwg
