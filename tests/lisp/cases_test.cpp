// Runs every tests/lisp/cases/*.txt file. A case is an expression followed
// on its last line by ";=>" and the text the command line should show: the
// printed value or the "; error: ..." line. An expression may span lines.
// A line ";out> STRING" after a case gives (as a string literal) what the
// case must write through princ and friends. An expression without ";=>"
// is set-up and must not fail. Each file runs in a fresh interpreter.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "lisp/interpreter.h"
#include "lisp/reader.h"

namespace corvane::lisp {
namespace {

std::string trim(std::string_view s) {
  std::size_t b = s.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) {
    return {};
  }
  std::size_t e = s.find_last_not_of(" \t\r");
  return std::string(s.substr(b, e - b + 1));
}

// The marker ends a case: its last ";=>" on a line (expected texts never
// contain one, expressions under test avoid it).
std::size_t markerPosition(const std::string& line) { return line.rfind(";=>"); }

std::string visible(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

void runCaseFile(const std::filesystem::path& path) {
  std::ifstream in(path);
  ASSERT_TRUE(in) << "cannot open " << path;
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    lines.push_back(line);
  }
  std::string output;
  Interpreter interpreter([&output](std::string_view text) { output += text; });
  const std::string file = path.filename().string();
  std::size_t cases = 0;

  for (std::size_t i = 0; i < lines.size();) {
    std::string first = trim(lines[i]);
    if (first.empty() || first[0] == ';') {
      ++i;
      continue;
    }
    const std::size_t startLine = i + 1;
    std::string text = lines[i++];
    std::size_t lineStart = 0;
    while (markerPosition(text.substr(lineStart)) == std::string::npos && needsMoreInput(text) &&
           i < lines.size()) {
      lineStart = text.size() + 1;
      text += "\n" + lines[i++];
    }
    std::size_t marker = markerPosition(text.substr(lineStart));
    if (marker != std::string::npos) {
      marker += lineStart;
    }
    std::string expression = marker == std::string::npos ? text : text.substr(0, marker);
    output.clear();
    LineResult result = interpreter.evaluateLine(expression);
    const std::string where = file + ":" + std::to_string(startLine) + ": " + trim(expression);
    if (marker == std::string::npos) {
      EXPECT_TRUE(result.ok) << where << "\n  set-up failed: " << result.text;
      continue;
    }
    ++cases;
    std::string expected = trim(std::string_view(text).substr(marker + 3));
    EXPECT_EQ(expected, result.text) << where;
    if (i < lines.size() && trim(lines[i]).rfind(";out>", 0) == 0) {
      std::string literal = trim(trim(lines[i]).substr(5));
      std::vector<Value> parsed = readAll(literal);
      ASSERT_TRUE(parsed.size() == 1 && parsed[0].isString())
          << file << ":" << i + 1 << ": ;out> needs one string literal";
      EXPECT_EQ(visible(parsed[0].asString()), visible(output)) << where << " (output)";
      ++i;
    }
  }
  EXPECT_GT(cases, 0u) << file << " has no cases";
}

TEST(LispCases, EveryCaseFile) {
  std::filesystem::path dir = std::filesystem::path(CORVANE_SOURCE_DIR) / "tests/lisp/cases";
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    if (entry.path().extension() == ".txt") {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty()) << "no case files in " << dir;
  for (const auto& path : files) {
    SCOPED_TRACE(path.filename().string());
    runCaseFile(path);
  }
}

} // namespace
} // namespace corvane::lisp
