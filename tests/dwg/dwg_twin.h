// The DXF twin of a corpus DWG (the same drawing saved as DXF, beside it):
// the parts of it the structure tests compare with.
#pragma once

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/corpus.h"

namespace corvane::dwg::testing {

// The twin's groups as (code, value), value lines as written.
inline std::vector<std::pair<int, std::string>> twinGroups(const std::filesystem::path& dwg) {
  std::filesystem::path twin = dwg;
  twin.replace_extension(".dxf");
  std::istringstream in(corvane::testing::readBytes(twin));
  std::vector<std::pair<int, std::string>> groups;
  std::string code, value;
  while (std::getline(in, code) && std::getline(in, value)) {
    if (!value.empty() && value.back() == '\r') value.pop_back();
    groups.emplace_back(std::stoi(code), value);
  }
  return groups;
}

// The DXF names of the twin's CLASSES, in order.
inline std::vector<std::string> twinClassNames(const std::filesystem::path& dwg) {
  std::vector<std::string> names;
  bool inClasses = false;
  for (const auto& [code, value] : twinGroups(dwg)) {
    if (code == 2 && value == "CLASSES") inClasses = true;
    if (inClasses && code == 0 && value == "ENDSEC") break;
    if (inClasses && code == 1) names.push_back(value);
  }
  return names;
}

// The twin's HEADER: each variable's groups.
inline std::map<std::string, std::vector<std::pair<int, std::string>>> twinHeader(const std::filesystem::path& dwg) {
  std::map<std::string, std::vector<std::pair<int, std::string>>> header;
  std::string current;
  for (const auto& [code, value] : twinGroups(dwg)) {
    if (code == 0 && value == "ENDSEC") break;
    if (code == 9) current = value;
    else if (!current.empty()) header[current].emplace_back(code, value);
  }
  return header;
}

} // namespace corvane::dwg::testing
