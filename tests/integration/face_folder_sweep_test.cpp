// The sweep of abandoned face-file folders, between corvane processes that
// share /dev/shm from different PID namespaces (containers): a live
// export's folder stays, whatever its process id means there; a dead
// process's folder goes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "test_drawing.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

TEST(FaceFolderSweep, ALiveExportInAnotherPidNamespaceKeepsItsFolder) {
  if (!fs::is_directory("/dev/shm") || ::access("/dev/shm", W_OK) != 0)
    GTEST_SKIP() << "no writable /dev/shm: face folders go elsewhere";
  const std::string dir = makeTempDir();
  TestDrawing big;
  for (int i = 0; i < 40; ++i) big.face(std::to_string(100 + i), "0", 1 + i, i * 20);
  writeFile(dir + "/big.dxf", big.text());
  TestDrawing small;
  small.face("2A", "0", 1);
  writeFile(dir + "/small.dxf", small.text());

  // A folder a dead process left: the sweep in the namespace must take it.
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  const std::string dead = "/dev/shm/corvane-faces-" + std::to_string(child) + "-sweepT";
  ASSERT_EQ(::mkdir(dead.c_str(), 0700), 0);
  writeFile(dead + "/left", "left");

  const std::string log = dir + "/dirs.log";
  RunningProcess live({corvanePath(), "export", "big.dxf", "-o", "big.wrl", "--progress"},
                      withShim({"CORVANE_FAULT_SLOW_MS=25", "CORVANE_FAULT_LOG=" + log}), dir);
  ASSERT_TRUE(live.waitForOutput("Processing 5 of 40."));
  std::string folder;
  std::getline(std::istringstream(readFile(log)), folder);
  ASSERT_TRUE(fs::is_directory(folder)) << folder;

  // Another export in a PID namespace of its own, where the live export's
  // process id names no process.
  const std::vector<std::string> inNamespace = {"--pid", "--fork", "--mount-proc", corvanePath(), "export",
                                                "small.dxf", "-o", "small.wrl"};
  std::vector<std::string> argv = {"/usr/bin/unshare"};
  argv.insert(argv.end(), inNamespace.begin(), inNamespace.end());
  ProcessResult other = runProcess(argv, "", dir);
  if (other.status != 0 && other.err.find("unshare") != std::string::npos) {
    argv.insert(argv.begin() + 1, "--map-root-user");
    other = runProcess(argv, "", dir);
  }
  if (other.status != 0 && other.err.find("unshare") != std::string::npos) {
    fs::remove_all(dead);
    GTEST_SKIP() << "no PID namespace can be made here: " << other.err;
  }
  EXPECT_EQ(other.status, 0) << other.out << other.err;
  EXPECT_TRUE(fs::is_directory(folder)) << "the live export's folder was swept";
  EXPECT_FALSE(fs::exists(dead)) << "the dead process's folder stayed";
  fs::remove_all(dead);

  ProcessResult finished = live.wait();
  EXPECT_EQ(finished.status, 0) << finished.err;
  EXPECT_EQ(convertedCount(finished.out), "40") << finished.out << finished.err;
  EXPECT_EQ(occurrences(readFile(dir + "/big.wrl"), "Separator {"), 40u);
}

} // namespace
} // namespace corvane::testing
