// The shared DXF corpus that lies beside the project (../shared/corpus/dxf,
// and its binary drawings in ../shared/corpus/dxf-binary), for tests that
// read real drawings. Tests skip when it is absent.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::testing {

// The corpus lies in shared/corpus beside the project, or beside a folder
// above it (a worktree in a folder of worktrees).
inline std::filesystem::path corpusDir() {
  std::error_code ec;
  std::filesystem::path above = std::filesystem::path(CORVANE_SOURCE_DIR).parent_path();
  for (std::filesystem::path dir = above; !dir.empty(); dir = dir.parent_path()) {
    if (std::filesystem::is_directory(dir / "shared" / "corpus", ec)) return dir / "shared" / "corpus" / "dxf";
    if (dir == dir.root_path()) break;
  }
  return above / "shared" / "corpus" / "dxf";
}

inline std::filesystem::path binaryCorpusDir() { return corpusDir().parent_path() / "dxf-binary"; }

// The DWG corpus (../shared/corpus/dwg): each drawing beside its DXF twin.
inline std::filesystem::path dwgCorpusDir() { return corpusDir().parent_path() / "dwg"; }

// The corpus drawings (of DIR, with EXTENSION), sorted by name; empty when
// the corpus is absent.
inline std::vector<std::filesystem::path> corpusFiles(const std::filesystem::path& dir = corpusDir(),
                                                      std::string_view extension = ".dxf") {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
    if (entry.path().extension() == extension) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

inline std::vector<std::filesystem::path> binaryCorpusFiles() { return corpusFiles(binaryCorpusDir()); }

inline std::vector<std::filesystem::path> dwgCorpusFiles() { return corpusFiles(dwgCorpusDir(), ".dwg"); }

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
