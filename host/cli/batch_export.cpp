#include "cli/batch_export.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <thread>

#include "cli/batch_display.h"
#include "console/interrupts.h"
#include "runtime/background_work.h"
#include "runtime/file_errors.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

struct BatchItem {
  std::string drawing; // as shown and opened
  std::string world;
  uint64_t bytes = 0;
};

struct BatchPlan {
  std::vector<BatchItem> items;
  std::vector<std::string> clashes;  // refuse the batch
  std::vector<std::string> warnings; // folders that could not be read
};

std::string joined(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder == ".") return name;
  return folder + (folder.back() == '/' ? "" : "/") + name;
}

// The drawings OPTIONS names, each with its world in OUTPUT.
BatchPlan planBatch(const ExportOptions& options, const std::string& output) {
  BatchPlan plan;
  std::set<std::pair<dev_t, ino_t>> seen; // a drawing named twice is exported once
  auto add = [&](const std::string& drawing, const std::string& world) {
    struct stat st;
    if (::stat(drawing.c_str(), &st) == 0) {
      if (!seen.insert({st.st_dev, st.st_ino}).second) return;
      plan.items.push_back({drawing, world, static_cast<uint64_t>(st.st_size)});
    } else {
      plan.items.push_back({drawing, world, 0}); // its worker says why it can't be read
    }
  };
  for (const std::string& given : options.drawings) {
    std::error_code ec;
    if (!fs::is_directory(given, ec)) {
      add(given, joined(output, worldNameFor(given)));
      continue;
    }
    // Folder by folder, so that one that can't be read is named and the
    // others are still read; links to folders are not followed (no loops).
    std::vector<fs::path> found;
    std::vector<fs::path> folders = {given};
    while (!folders.empty()) {
      const fs::path folder = folders.back();
      folders.pop_back();
      fs::directory_iterator it(folder, ec), end;
      for (; !ec && it != end; it.increment(ec)) {
        std::error_code entryError;
        if (options.recursive && it->is_directory(entryError) && !it->is_symlink(entryError))
          folders.push_back(it->path());
        else if (isDrawingFileName(it->path().filename().string()) && it->is_regular_file(entryError))
          found.push_back(it->path());
      }
      if (ec) plan.warnings.push_back("cannot read the folder " + folder.string() + ": " + ec.message());
      ec.clear();
    }
    std::sort(found.begin(), found.end());
    for (const fs::path& path : found) {
      fs::path relative = path.lexically_relative(given);
      std::string folder = relative.parent_path().string();
      add(path.string(), joined(joined(output, folder), worldNameFor(relative.filename().string())));
    }
  }
  std::map<std::string, const BatchItem*> worlds;
  for (const BatchItem& item : plan.items) {
    std::string key = fs::path(item.world).lexically_normal().string();
    auto [at, fresh] = worlds.emplace(key, &item);
    if (!fresh)
      plan.clashes.push_back(at->second->drawing + " and " + item.drawing + " would both be written to " + item.world);
  }
  return plan;
}

unsigned coreCount() {
  cpu_set_t cpus;
  if (::sched_getaffinity(0, sizeof cpus, &cpus) == 0 && CPU_COUNT(&cpus) > 0)
    return static_cast<unsigned>(CPU_COUNT(&cpus));
  return std::max(1u, std::thread::hardware_concurrency());
}

// The order of the worst status: a stop outranks an abort, which outranks
// a refusal, which outranks nothing converted.
int worse(int a, int b) {
  auto rank = [](int s) { return s == kExitInterrupted ? 4 : s == kExitAborted ? 3 : s == kExitLoadError ? 2 : s; };
  return rank(a) >= rank(b) ? a : b;
}

// A running worker: its process and the three pipes it writes (the module's
// transcript, the diagnostics, and its report: what the export was given).
struct Worker {
  pid_t pid = -1;
  size_t item = 0;
  int fds[3] = {-1, -1, -1};
  std::string text[3];
  BatchDisplay::Clock::time_point start;
  bool signalled = false;

  bool finished() const { return fds[0] < 0 && fds[1] < 0 && fds[2] < 0; }
};

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// The report a worker writes, and reads back: "converted N", then
// "ignored TYPE N" per kind.
std::string reportOf(int status, const ExportTally& tally) {
  std::string report = "converted " + std::to_string(status == kExitOk ? tally.convertible : 0) + "\n";
  for (const auto& [type, n] : tally.ignored) report += "ignored " + type + " " + std::to_string(n) + "\n";
  return report;
}

bool readReport(const std::string& report, DrawingOutcome& outcome) {
  bool complete = false;
  size_t start = 0;
  while (start < report.size()) {
    size_t end = report.find('\n', start);
    if (end == std::string::npos) break;
    std::string line = report.substr(start, end - start);
    start = end + 1;
    size_t space = line.rfind(' ');
    if (space == std::string::npos) continue;
    size_t n = std::strtoull(line.c_str() + space + 1, nullptr, 10);
    if (line.starts_with("converted ")) {
      outcome.converted = n;
      complete = true;
    } else if (line.starts_with("ignored ") && space > 8) {
      outcome.ignored.emplace_back(line.substr(8, space - 8), n);
    }
  }
  return complete;
}

// The worker's side: the single export of ITEM, then its report, and the
// end of the process without the parent's exit handlers.
[[noreturn]] void runWorker(const BatchItem& item, const ExportOptions& options, SessionOptions session,
                            int reportFd) {
  session.drawingPath = item.drawing;
  const OutputStreams streams{std::cout, std::cerr, false, false};
  ExportTally tally;
  const int status =
      exportOne(session, item.world, options.layers, options.keepBlocks, SessionOptions::Progress::kNone, streams, &tally);
  const std::string report = reportOf(status, tally);
  for (size_t done = 0; done < report.size();) {
    ssize_t n = ::write(reportFd, report.data() + done, report.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  // The face-file folder goes now: the process ends without the exit
  // handlers and destructors it inherited.
  abandonBackgroundWork();
  ::_exit(status);
}

// Starts the worker of ITEM; its pipes are closed in every other worker.
bool startWorker(size_t index, const BatchItem& item, const ExportOptions& options, const SessionOptions& session,
                 std::vector<Worker>& running, std::string& error) {
  int pipes[3][2];
  for (int i = 0; i < 3; ++i) {
    if (::pipe2(pipes[i], O_CLOEXEC) != 0) {
      error = std::strerror(errno);
      for (int j = 0; j < i; ++j) {
        ::close(pipes[j][0]);
        ::close(pipes[j][1]);
      }
      return false;
    }
  }
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Its own process group: a Ctrl-C at the terminal reaches the batch
    // alone, which passes it on once. A batch that dies without a word
    // (SIGKILL) stops its workers all the same, each as a signal stops an
    // export; and a transcript nobody reads any more fails its writes
    // instead of ending the export half-way.
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::raise(SIGTERM);
    std::signal(SIGPIPE, SIG_IGN);
    for (Worker& other : running)
      for (int& fd : other.fds) closeFd(fd);
    int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (devNull >= 0) ::dup2(devNull, STDIN_FILENO);
    ::dup2(pipes[0][1], STDOUT_FILENO);
    ::dup2(pipes[1][1], STDERR_FILENO);
    for (int i = 0; i < 3; ++i) ::close(pipes[i][0]);
    runWorker(item, options, session, pipes[2][1]);
  }
  for (int i = 0; i < 3; ++i) ::close(pipes[i][1]);
  if (pid < 0) {
    error = std::strerror(errno);
    for (int i = 0; i < 3; ++i) ::close(pipes[i][0]);
    return false;
  }
  ::setpgid(pid, pid);
  Worker worker;
  worker.pid = pid;
  worker.item = index;
  for (int i = 0; i < 3; ++i) worker.fds[i] = pipes[i][0];
  worker.start = BatchDisplay::Clock::now();
  running.push_back(std::move(worker));
  return true;
}

// The last line of the transcript with text: an abort's reason.
std::string lastLine(const std::string& text) {
  size_t end = text.find_last_not_of("\r\n");
  if (end == std::string::npos) return {};
  size_t start = text.find_last_of("\r\n", end);
  return text.substr(start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1) + 1);
}

// What became of the worker once it has ended with WAITSTATUS.
DrawingOutcome outcomeOf(const Worker& worker, const BatchItem& item, int waitStatus, bool stopping) {
  DrawingOutcome outcome;
  outcome.drawing = item.drawing;
  outcome.world = item.world;
  outcome.seconds = std::chrono::duration<double>(BatchDisplay::Clock::now() - worker.start).count();
  outcome.notes = notesFrom(worker.text[1]);
  const bool reported = readReport(worker.text[2], outcome);
  if (WIFEXITED(waitStatus) && reported) {
    outcome.status = WEXITSTATUS(waitStatus);
    return outcome;
  }
  outcome.crashed = true;
  if (WIFSIGNALED(waitStatus)) {
    const int signal = WTERMSIG(waitStatus);
    const bool stopped = stopping && (signal == SIGINT || signal == SIGTERM || signal == SIGHUP);
    outcome.status = stopped ? kExitInterrupted : kExitAborted;
    outcome.crashed = !stopped;
    const char* name = strsignal(signal);
    outcome.notes.push_back("its worker was killed by signal " + std::to_string(signal) + " (" +
                            (name != nullptr ? name : "unknown") + ")" +
                            (stopped ? "; " + item.world + " was not written" : ""));
  } else if (WEXITSTATUS(waitStatus) == kExitAborted) {
    // acrx_abort: the host ended the process, saying why on the transcript.
    outcome.crashed = false;
    outcome.status = kExitAborted;
    std::string reason = lastLine(worker.text[0]);
    outcome.notes.push_back("the host was aborted" + (reason.empty() ? "" : ": " + reason));
  } else {
    outcome.status = kExitAborted;
    outcome.notes.push_back("its worker ended with status " + std::to_string(WEXITSTATUS(waitStatus)) +
                            " before it said what it did");
  }
  return outcome;
}

} // namespace

int runBatchExport(const ExportOptions& options, const SessionOptions& session, const OutputStreams& streams) {
  const std::string output = options.output.empty() ? "." : options.output;
  auto refuse = [&](const std::string& why) {
    diagnose(streams, why);
    return kExitLoadError;
  };
  if (output == "-") return refuse("export: -o - takes one drawing; with several, -o names a folder");
  struct stat st;
  if (::stat(output.c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
    return refuse("export: " + output + " is not a folder; with several drawings, -o names the folder of the worlds");

  BatchPlan plan = planBatch(options, output);
  if (!plan.clashes.empty()) {
    for (const std::string& clash : plan.clashes) diagnose(streams, clash);
    return refuse("two drawings may not give one world name; nothing was exported");
  }
  int status = kExitOk;
  for (const std::string& warning : plan.warnings) {
    diagnose(streams, warning);
    status = kExitLoadError;
  }
  if (plan.items.empty()) {
    std::string named;
    for (const std::string& d : options.drawings) named += (named.empty() ? "" : ", ") + d;
    return refuse("no drawing (.dxf or .dwg) in " + named + (options.recursive ? "" : " (-r looks in sub-folders)"));
  }
  std::error_code made;
  fs::create_directories(output, made);
  if (made) return refuse("cannot make the folder " + output + ": " + made.message());

  // The biggest first: the batch ends sooner when the long ones don't come last.
  std::vector<size_t> order(plan.items.size());
  uint64_t totalBytes = 0;
  for (size_t i = 0; i < order.size(); ++i) {
    order[i] = i;
    totalBytes += plan.items[i].bytes;
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return plan.items[a].bytes > plan.items[b].bytes; });

  const unsigned jobs = std::max(1u, std::min<unsigned>(options.jobs > 0 ? options.jobs : coreCount(),
                                                         static_cast<unsigned>(plan.items.size())));
  const BatchDisplay::Mode mode = options.json               ? BatchDisplay::Mode::kJson
                                  : streams.outIsTerminal     ? BatchDisplay::Mode::kLive
                                                              : BatchDisplay::Mode::kLines;
  BatchDisplay display(streams, mode, plan.items.size(), totalBytes);

  std::vector<Worker> running;
  size_t next = 0;
  bool stopping = false;
  while (true) {
    if (stopRequested() && !stopping) {
      stopping = true;
      for (Worker& w : running) {
        ::kill(w.pid, SIGTERM);
        w.signalled = true;
      }
    }
    while (!stopping && running.size() < jobs && next < order.size()) {
      const size_t index = order[next++];
      const BatchItem& item = plan.items[index];
      std::error_code folderError;
      fs::path folder = fs::path(item.world).parent_path();
      if (!folder.empty()) fs::create_directories(folder, folderError);
      std::string error;
      if (folderError) {
        error = "cannot make the folder " + folder.string() + ": " + folderError.message();
      } else if (startWorker(index, item, options, session, running, error)) {
        display.started(item.drawing);
        continue;
      } else {
        error = "cannot start a worker: " + error;
      }
      DrawingOutcome refused;
      refused.drawing = item.drawing;
      refused.world = item.world;
      refused.status = kExitLoadError;
      refused.notes.push_back(error);
      display.started(item.drawing);
      display.finished(refused, item.bytes);
      status = worse(status, refused.status);
    }
    if (running.empty()) break;

    std::vector<pollfd> polled;
    for (const Worker& w : running)
      for (int fd : w.fds)
        if (fd >= 0) polled.push_back({fd, POLLIN, 0});
    ::poll(polled.data(), polled.size(), 100);
    char buffer[65536];
    for (Worker& w : running) {
      for (int i = 0; i < 3; ++i) {
        if (w.fds[i] < 0) continue;
        auto ready = std::find_if(polled.begin(), polled.end(), [&](const pollfd& p) { return p.fd == w.fds[i]; });
        if (ready == polled.end() || ready->revents == 0) continue;
        ssize_t n = ::read(w.fds[i], buffer, sizeof buffer);
        if (n > 0) w.text[i].append(buffer, static_cast<size_t>(n));
        else if (n == 0 || (errno != EINTR && errno != EAGAIN)) closeFd(w.fds[i]);
      }
    }
    for (auto it = running.begin(); it != running.end();) {
      if (!it->finished()) {
        ++it;
        continue;
      }
      int waitStatus = 0;
      while (::waitpid(it->pid, &waitStatus, 0) < 0 && errno == EINTR) {
      }
      const BatchItem& item = plan.items[it->item];
      DrawingOutcome outcome = outcomeOf(*it, item, waitStatus, stopping);
      status = worse(status, outcome.status);
      display.finished(outcome, item.bytes);
      it = running.erase(it);
    }
    display.tick();
  }
  const size_t notStarted = order.size() - next;
  if (notStarted > 0) status = worse(status, kExitInterrupted);
  display.close(notStarted, output);
  return status;
}

} // namespace corvane
