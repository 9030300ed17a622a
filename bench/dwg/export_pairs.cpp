// `corvane export` of every DWG of a folder against its DXF twin, the two
// run in turn (DWG then DXF, then DXF then DWG, and so on), so that
// whatever else the machine does in the meantime falls on both alike. A
// whole export of these drawings takes a few milliseconds, and runs of the
// same command on a shared machine differ by more than the two kinds do:
// timing one kind's runs and then the other's measures the machine as much
// as the reader.
//
//   export_pairs CORVANE DIR RUNS [STEM...]
//
// Prints a line per pair: the median wall time of each kind in
// milliseconds, their ratio, the median of the ratios of the runs paired
// in time, "ok" when the DWG's median is at or under its twin's, and the
// median CPU time (user and system) of each. An export that converts
// nothing (status 1) is still a measured run. Exit status: 0 measured
// (targets met or not), 1 a program failed, 2 usage.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Run {
  double wallMs = 0;
  double cpuMs = 0;
  int status = -1; // exit status; -1 when killed or not started
};

double milliseconds(const timeval& t) { return double(t.tv_sec) * 1e3 + double(t.tv_usec) / 1e3; }

// One `CORVANE export INPUT -o OUTPUT`, its output and messages discarded.
Run exportOnce(const std::string& corvane, const std::string& input, const std::string& output) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> args = {corvane, "export", input, "-o", output};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  Run run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, corvane.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int status = 0;
  rusage usage{};
  while (wait4(pid, &status, 0, &usage) < 0) {
    if (errno != EINTR) return run;
  }
  run.wallMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  run.cpuMs = milliseconds(usage.ru_utime) + milliseconds(usage.ru_stime);
  if (WIFEXITED(status)) run.status = WEXITSTATUS(status);
  return run;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 4 || std::atoi(argv[3]) < 1) {
    std::fprintf(stderr, "usage: export_pairs CORVANE DIR RUNS [STEM...]\n");
    return 2;
  }
  const std::string corvane = argv[1];
  const fs::path dir = argv[2];
  const int runs = std::atoi(argv[3]);
  std::vector<std::string> wanted(argv + 4, argv + argc);

  std::vector<fs::path> dwgs;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(dir, ec))
    if (e.path().extension() == ".dwg" && fs::exists(fs::path(e.path()).replace_extension(".dxf")))
      dwgs.push_back(e.path());
  if (ec || dwgs.empty()) {
    std::fprintf(stderr, "export_pairs: no DWG with its DXF twin in %s\n", dir.c_str());
    return 1;
  }
  std::sort(dwgs.begin(), dwgs.end());

  char pattern[] = "/tmp/corvane-bench-pairs-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) {
    std::perror("export_pairs: mkdtemp");
    return 1;
  }
  const fs::path out = pattern;

  std::printf("%-28s %8s %8s %6s %6s %-6s %8s %8s\n", "drawing", "dwg ms", "dxf ms", "ratio", "paired", "",
              "dwg cpu", "dxf cpu");
  int exitStatus = 0;
  for (const fs::path& dwg : dwgs) {
    const std::string stem = dwg.stem().string();
    if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), stem) == wanted.end()) continue;
    const std::string inputs[2] = {dwg.string(), fs::path(dwg).replace_extension(".dxf").string()};
    const std::string outputs[2] = {(out / "dwg.wrl").string(), (out / "dxf.wrl").string()};
    std::vector<double> wall[2], cpu[2], paired;
    bool failed = false;
    // Two runs of each first, not counted: the files and the program in
    // the page cache.
    for (int round = -2; round < runs && !failed; ++round) {
      Run r[2];
      const int first = round % 2 == 0 ? 0 : 1;
      for (int k : {first, 1 - first}) {
        r[k] = exportOnce(corvane, inputs[k], outputs[k]);
        if (r[k].status != 0 && r[k].status != 1) {
          std::fprintf(stderr, "export_pairs: corvane export %s failed (status %d)\n", inputs[k].c_str(), r[k].status);
          failed = true;
        }
      }
      if (round < 0 || failed) continue;
      for (int k : {0, 1}) {
        wall[k].push_back(r[k].wallMs);
        cpu[k].push_back(r[k].cpuMs);
      }
      paired.push_back(r[0].wallMs / r[1].wallMs);
    }
    if (failed) {
      exitStatus = 1;
      continue;
    }
    const double d = median(wall[0]), x = median(wall[1]);
    std::printf("%-28s %8.2f %8.2f %6.3f %6.3f %-6s %8.2f %8.2f\n", stem.c_str(), d, x, d / x, median(paired),
                d <= x ? "ok" : "SLOWER", median(cpu[0]), median(cpu[1]));
    std::fflush(stdout);
  }
  fs::remove_all(out, ec);
  return exitStatus;
}
