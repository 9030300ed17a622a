// The shared DXF corpus that lies beside the project (../shared/corpus/dxf,
// and its binary drawings in ../shared/corpus/dxf-binary), for tests that
// read real drawings. Tests skip when it is absent.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace corvane::testing {

inline std::filesystem::path corpusDir() {
  return std::filesystem::path(CORVANE_SOURCE_DIR) / ".." / "shared" / "corpus" / "dxf";
}

inline std::filesystem::path binaryCorpusDir() { return corpusDir().parent_path() / "dxf-binary"; }

// The corpus drawings (of DIR), sorted by name; empty when the corpus is absent.
inline std::vector<std::filesystem::path> corpusFiles(const std::filesystem::path& dir = corpusDir()) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
    if (entry.path().extension() == ".dxf") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

inline std::vector<std::filesystem::path> binaryCorpusFiles() { return corpusFiles(binaryCorpusDir()); }

// The text drawing of the corpus that is the same drawing as the binary
// corpus drawing BINARY (its SOURCES.md says which); empty when none is.
inline std::filesystem::path textTwin(const std::filesystem::path& binary) {
  static const std::pair<const char*, const char*> kTwins[] = {
      {"r12bin_acadsharp_sample.dxf", "r12_acadsharp_sample.dxf"},
      {"r2004bin_acadsharp_sample.dxf", "r2007_acadsharp_sample.dxf"},
      {"r2018bin_acadsharp_sample_sab.dxf", "r2013_acadsharp_sample_sab.dxf"},
      {"r2018bin_netdxf_sample.dxf", "r2018_netdxf_sample.dxf"},
  };
  for (const auto& [b, t] : kTwins)
    if (binary.filename() == b && std::filesystem::exists(corpusDir() / t)) return corpusDir() / t;
  return {};
}

inline std::string readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

} // namespace corvane::testing
