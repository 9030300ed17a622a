// The shared DXF corpus that lies beside the project (../shared/corpus/dxf),
// for tests that read real drawings. Tests skip when it is absent.
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

// The corpus drawings, sorted by name; empty when the corpus is absent.
inline std::vector<std::filesystem::path> corpusFiles() {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(corpusDir(), ec))
    if (entry.path().extension() == ".dxf") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

inline std::string readBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

} // namespace corvane::testing
