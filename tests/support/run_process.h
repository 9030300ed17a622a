// Runs a program as a child process for integration tests: feeds its
// standard input, collects standard output and standard error, and reports
// its exit status.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace corvane::testing {

struct ProcessResult {
  int status = -1; // exit status; 128 + signal when killed by one
  std::string out;
  std::string err;
};

// Runs ARGV[0] (a path) with ARGV, in WORKDIR when not empty, with ENV
// ("NAME=VALUE" each) added to the environment.
ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input = "",
                         const std::string& workdir = "", const std::vector<std::string>& env = {});

// A child that runs while the test watches its output, for instance to
// signal it part-way. Its standard input is empty. The destructor kills and
// reaps a child that is still running.
class RunningProcess {
public:
  RunningProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
                 const std::string& workdir = "");
  ~RunningProcess();
  RunningProcess(const RunningProcess&) = delete;
  RunningProcess& operator=(const RunningProcess&) = delete;

  // Reads its standard output until it holds WHAT; false when the child
  // closed it first, or after a minute.
  bool waitForOutput(const std::string& what);
  void signal(int sig);
  // Everything it printed, and its exit status, once it has ended.
  ProcessResult wait();

private:
  bool pump(int timeoutMs);

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  ProcessResult result_;
};

// The corvane executable and module of this build.
std::string corvanePath();
std::string modulePath();
// A fresh private folder for one test (removed by the caller or left in /tmp).
std::string makeTempDir();
// TEXT as one word of a /bin/sh command line, whatever it holds (spaces,
// quotes): for paths in scripts, since a checkout may lie anywhere.
std::string shellQuoted(const std::string& text);
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

} // namespace corvane::testing
