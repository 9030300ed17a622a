#include "ui/help_file.h"

#include <fstream>

namespace corvane::ui {
namespace {

void dropTrailingEmpty(std::vector<std::string>& lines) {
  while (!lines.empty() && lines.back().find_first_not_of(" \t") == std::string::npos) lines.pop_back();
}

} // namespace

HelpFile parseHelpFile(std::istream& in) {
  HelpFile help;
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (first && line.rfind("Title:", 0) == 0) {
      size_t start = line.find_first_not_of(" \t", 6);
      help.title = start == std::string::npos ? "" : line.substr(start);
      first = false;
      continue;
    }
    first = false;
    if (!line.empty() && line[0] == '#') continue;
    if (line.rfind("==", 0) == 0) {
      if (!help.topics.empty()) dropTrailingEmpty(help.topics.back().lines);
      HelpTopic topic;
      size_t start = line.find_first_not_of(" \t=", 2);
      topic.title = start == std::string::npos ? "" : line.substr(start);
      help.topics.push_back(std::move(topic));
      continue;
    }
    std::vector<std::string>& target = help.topics.empty() ? help.introduction : help.topics.back().lines;
    // Leading empty lines of a topic or of the introduction carry nothing.
    if (target.empty() && line.find_first_not_of(" \t") == std::string::npos) continue;
    target.push_back(line);
  }
  if (!help.topics.empty()) dropTrailingEmpty(help.topics.back().lines);
  dropTrailingEmpty(help.introduction);
  return help;
}

bool loadHelpFile(const std::string& path, HelpFile& help) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  help = parseHelpFile(in);
  help.path = path;
  if (help.title.empty()) {
    size_t slash = path.find_last_of('/');
    help.title = slash == std::string::npos ? path : path.substr(slash + 1);
  }
  return !help.topics.empty();
}

} // namespace corvane::ui
