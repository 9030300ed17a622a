// The R2007 drawing of the shared corpus (../shared/corpus/dwg) and its DXF
// twin, read in place; tests skip when the corpus is absent.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "support/corpus.h"

namespace corvane::dwg::testing {

using corvane::testing::dwgCorpusDir;

inline std::filesystem::path r2007CorpusDwg() { return dwgCorpusDir() / "r2007_libredwg_example.dwg"; }
inline std::filesystem::path r2007CorpusDxf() { return dwgCorpusDir() / "r2007_libredwg_example.dxf"; }

// The file's bytes; empty when it is absent.
inline std::vector<uint8_t> readFileBytes(const std::filesystem::path& path) {
  if (!std::filesystem::exists(path)) return {};
  std::string bytes = corvane::testing::readBytes(path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

} // namespace corvane::dwg::testing
