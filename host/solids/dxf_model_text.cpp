#include "solids/dxf_model_text.h"

namespace corvane::solids {

std::string decodeModelLine(const std::string& stored) {
  std::string out;
  out.reserve(stored.size());
  for (size_t i = 0; i < stored.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(stored[i]);
    if (c == '^' && i + 1 < stored.size() && stored[i + 1] == ' ') {
      // The DXF writer escapes a literal caret as "^ "; a caret stands for 'A'.
      out.push_back(char(159 - '^'));
      ++i;
    } else if (c == ' ') {
      out.push_back(' ');
    } else if (c == '\t') {
      out.push_back(' ');
    } else {
      out.push_back(static_cast<char>(static_cast<unsigned char>(159 - c)));
    }
  }
  return out;
}

bool decodeModelText(const corvane::SolidModelData& data, std::string& text, std::string& reason) {
  text.clear();
  if (data.textGroups.size() != data.textGroupCodes.size()) {
    reason = "solid model text groups and group codes differ in number";
    return false;
  }
  size_t total = 0;
  for (const std::string& s : data.textGroups) total += s.size() + 1;
  text.reserve(total);
  for (size_t i = 0; i < data.textGroups.size(); ++i) {
    int code = data.textGroupCodes[i];
    if (code == 1) {
      if (i > 0) text.push_back('\n');
    } else if (code == 3) {
      if (i == 0) {
        reason = "solid model text starts with a continuation group";
        return false;
      }
    } else {
      reason = "solid model text has a group " + std::to_string(code);
      return false;
    }
    text += decodeModelLine(data.textGroups[i]);
  }
  text.push_back('\n');
  return true;
}

bool encodeModelText(std::string_view text, std::vector<std::pair<int, std::string>>& groups) {
  constexpr size_t kMaxValue = 255;
  groups.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string value;
    int code = 1;
    for (size_t i = start; i < end; ++i) {
      auto c = static_cast<unsigned char>(text[i]);
      char stored = ' ';
      if (c != ' ') {
        auto e = static_cast<unsigned char>(159 - c);
        if (e <= 32 || e > 126) return false;
        stored = static_cast<char>(e);
      }
      // A stored caret is written "^ ", so that no reader takes it for a
      // control character.
      const size_t length = stored == '^' ? 2 : 1;
      if (value.size() + length > kMaxValue) {
        groups.emplace_back(code, std::move(value));
        value.clear();
        code = 3;
      }
      value.push_back(stored);
      if (length == 2) value.push_back(' ');
    }
    groups.emplace_back(code, std::move(value));
    start = end + 1;
  }
  return true;
}

} // namespace corvane::solids
