// Runs a program as a child process for integration tests: feeds its
// standard input, collects standard output and standard error, and reports
// its exit status.
#pragma once

#include <string>
#include <vector>

namespace corvane::testing {

struct ProcessResult {
  int status = -1; // exit status; 128 + signal when killed by one
  std::string out;
  std::string err;
};

// Runs ARGV[0] (a path) with ARGV, in WORKDIR when not empty.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input = "",
                         const std::string& workdir = "");

// The corvane executable and module of this build.
std::string corvanePath();
std::string modulePath();
// A fresh private folder for one test (removed by the caller or left in /tmp).
std::string makeTempDir();
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

} // namespace corvane::testing
