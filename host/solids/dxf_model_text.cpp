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

bool modelTextStorable(std::string_view text) {
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == ' ' || c == '\n') continue;
    const auto e = static_cast<unsigned char>(159 - c);
    if (e <= 32 || e > 126) return false;
  }
  return true;
}

bool encodeModelText(std::string_view text, std::vector<std::pair<int, std::string>>& groups) {
  groups.clear();
  if (!modelTextStorable(text)) return false;
  emitModelText(text, [&groups](int code, std::string_view value) { groups.emplace_back(code, std::string(value)); });
  return true;
}

} // namespace corvane::solids
