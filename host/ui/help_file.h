// Help files: plain text with topics.
//
//   Title: TITLE           (optional, first line)
//   == TOPIC TITLE         begins a topic; the lines up to the next "=="
//   text...                line are its text
//
// Lines before the first topic (after the title) are an introduction shown
// above the topic list. Lines starting with "#" are comments.
#pragma once

#include <istream>
#include <string>
#include <vector>

namespace corvane::ui {

struct HelpTopic {
  std::string title;
  std::vector<std::string> lines;
};

struct HelpFile {
  std::string path;
  std::string title;
  std::vector<std::string> introduction;
  std::vector<HelpTopic> topics;
};

// Parses IN. Trailing empty lines of each topic are dropped; "\r" before a
// line end is ignored.
HelpFile parseHelpFile(std::istream& in);
// Reads PATH; false when it can't be opened or holds no topic.
bool loadHelpFile(const std::string& path, HelpFile& help);

} // namespace corvane::ui
