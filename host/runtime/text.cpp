#include "runtime/text.h"

namespace corvane {
namespace {
char upperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
} // namespace

std::string asciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = upperAscii(c);
  return out;
}

std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = lowerAscii(c);
  return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (upperAscii(a[i]) != upperAscii(b[i])) return false;
  return true;
}

std::string shownLabel(std::string_view label, bool underline) {
  std::string out;
  for (size_t i = 0; i < label.size(); ++i) {
    if (label[i] != '&' || i + 1 == label.size()) {
      out += label[i];
    } else if (label[++i] == '&' || !underline) {
      out += label[i];
    } else {
      out += "\033[4m";
      out += label[i];
      out += "\033[24m";
    }
  }
  return out;
}

} // namespace corvane
