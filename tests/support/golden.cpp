#include "support/golden.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace corvane::testing {

namespace {

// A line with its control bytes shown, for mismatch reports.
std::string visible(const std::string& line) {
  std::string out;
  for (unsigned char c : line) {
    if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

} // namespace

std::string firstDifference(const std::string& expected, const std::string& actual) {
  if (expected == actual) return {};
  std::size_t line = 1, start = 0;
  for (std::size_t i = 0; i < expected.size() && i < actual.size() && expected[i] == actual[i]; ++i) {
    if (expected[i] == '\n') {
      ++line;
      start = i + 1;
    }
  }
  auto lineAt = [start](const std::string& text) {
    const std::size_t end = text.find('\n', start);
    return start >= text.size() ? std::string("<end of file>")
                                : visible(text.substr(start, end == std::string::npos ? end : end - start + 1));
  };
  std::ostringstream report;
  report << "first difference on line " << line << "\n  expected: " << lineAt(expected)
         << "\n  actual:   " << lineAt(actual);
  return report.str();
}

void expectGolden(const std::string& golden, const std::string& actual) {
  const std::string path = std::string(CORVANE_SOURCE_DIR) + "/" + golden;
  const char* update = std::getenv("UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << actual;
    out.close();
    if (!out) {
      ADD_FAILURE() << "UPDATE_GOLDEN=1: cannot write " << path;
      return;
    }
    ADD_FAILURE() << "UPDATE_GOLDEN=1: rewrote " << golden
                  << "; check the diff, then run the test again without UPDATE_GOLDEN";
    return;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "no golden file " << path << " (UPDATE_GOLDEN=1 writes it)";
    return;
  }
  const std::string expected(std::istreambuf_iterator<char>(in), {});
  const std::string difference = firstDifference(expected, actual);
  EXPECT_TRUE(difference.empty()) << golden << ": " << difference << "\n(UPDATE_GOLDEN=1 writes it anew)";
}

} // namespace corvane::testing
