#include "support/run_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace corvane::testing {

namespace {

struct Spawned {
  pid_t pid;
  int in, out, err; // our ends; IN is -1 unless asked for
};

Spawned spawn(const std::vector<std::string>& argv, const std::string& workdir,
              const std::vector<std::string>& env, bool withInput) {
  // A child that ends before reading all its input must not take the test
  // down with SIGPIPE on our next write; the child itself gets the default.
  static const bool ignorePipe = (signal(SIGPIPE, SIG_IGN), true);
  (void)ignorePipe;
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    signal(SIGPIPE, SIG_DFL);
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (!workdir.empty() && chdir(workdir.c_str()) != 0) _exit(126);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  if (!withInput) {
    close(in[1]);
    in[1] = -1;
  }
  return {pid, in[1], out[0], err[0]};
}

int statusOf(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

ProcessResult runProcess(const std::vector<std::string>& argv, const std::string& input,
                         const std::string& workdir, const std::vector<std::string>& env) {
  // A child that ends before reading all of its input closes the pipe:
  // writing then must fail with EPIPE, not end the test.
  static const bool ignorePipe = (std::signal(SIGPIPE, SIG_IGN), true);
  (void)ignorePipe;
  Spawned child = spawn(argv, workdir, env, !input.empty());
  ProcessResult result;
  size_t written = 0;
  int inFd = child.in;
  if (inFd >= 0) fcntl(inFd, F_SETFL, O_NONBLOCK);
  bool outOpen = true, errOpen = true;
  char buffer[65536];
  while (outOpen || errOpen) {
    pollfd fds[3];
    int n = 0;
    int outIdx = -1, errIdx = -1, inIdx = -1;
    if (outOpen) { fds[n] = {child.out, POLLIN, 0}; outIdx = n++; }
    if (errOpen) { fds[n] = {child.err, POLLIN, 0}; errIdx = n++; }
    if (inFd >= 0) { fds[n] = {inFd, POLLOUT, 0}; inIdx = n++; }
    if (poll(fds, static_cast<nfds_t>(n), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (inIdx >= 0 && (fds[inIdx].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t w = write(inFd, input.data() + written, input.size() - written);
      if (w > 0) written += static_cast<size_t>(w);
      if (w < 0 || written == input.size()) {
        close(inFd);
        inFd = -1;
      }
    }
    auto drain = [&](int idx, int fd, std::string& into, bool& open) {
      if (idx < 0 || !(fds[idx].revents & (POLLIN | POLLHUP | POLLERR))) return;
      ssize_t r = read(fd, buffer, sizeof buffer);
      if (r > 0) into.append(buffer, static_cast<size_t>(r));
      else open = false;
    };
    drain(outIdx, child.out, result.out, outOpen);
    drain(errIdx, child.err, result.err, errOpen);
  }
  if (inFd >= 0) close(inFd);
  close(child.out);
  close(child.err);
  result.status = statusOf(child.pid);
  return result;
}

RunningProcess::RunningProcess(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                               const std::string& workdir) {
  Spawned child = spawn(argv, workdir, env, false);
  pid_ = child.pid;
  out_ = child.out;
  err_ = child.err;
}

RunningProcess::~RunningProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    wait();
  }
}

// Reads what is there within TIMEOUTMS; false once both streams are closed.
bool RunningProcess::pump(int timeoutMs) {
  pollfd fds[2];
  int n = 0;
  if (out_ >= 0) fds[n++] = {out_, POLLIN, 0};
  if (err_ >= 0) fds[n++] = {err_, POLLIN, 0};
  if (n == 0) return false;
  if (poll(fds, static_cast<nfds_t>(n), timeoutMs) <= 0) return true;
  char buffer[65536];
  for (int i = 0; i < n; ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    int& fd = fds[i].fd == out_ ? out_ : err_;
    std::string& into = fds[i].fd == out_ ? result_.out : result_.err;
    ssize_t r = read(fd, buffer, sizeof buffer);
    if (r > 0) {
      into.append(buffer, static_cast<size_t>(r));
    } else {
      close(fd);
      fd = -1;
    }
  }
  return true;
}

bool RunningProcess::waitForOutput(const std::string& what) {
  for (int waited = 0; waited < 60000; waited += 50) {
    if (result_.out.find(what) != std::string::npos) return true;
    if (!pump(50)) return false;
  }
  return result_.out.find(what) != std::string::npos;
}

void RunningProcess::signal(int sig) {
  if (pid_ > 0) kill(pid_, sig);
}

ProcessResult RunningProcess::wait() {
  while (pump(1000)) {
  }
  if (pid_ > 0) {
    result_.status = statusOf(pid_);
    pid_ = -1;
  }
  return result_;
}

std::string corvanePath() { return std::string(CORVANE_BIN_DIR) + "/corvane"; }
std::string modulePath() { return std::string(CORVANE_BIN_DIR) + "/Vrml.arx"; }

namespace {

// The folders tests made, removed when the test program ends, by the
// process that made them (a forked child that exits leaves them), so that
// a run leaves nothing behind in /tmp. A folder a test made unreadable is
// opened up first.
class TempDirs {
public:
  void add(const std::string& path) { paths_.push_back(path); }
  ~TempDirs() {
    if (getpid() != owner_) return;
    namespace fs = std::filesystem;
    for (const std::string& path : paths_) {
      std::error_code ec;
      fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
      for (auto it = fs::recursive_directory_iterator(path, fs::directory_options::skip_permission_denied, ec);
           !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec)) fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
      fs::remove_all(path, ec);
    }
  }

private:
  pid_t owner_ = getpid();
  std::vector<std::string> paths_;
};

TempDirs& tempDirs() {
  static TempDirs dirs;
  return dirs;
}

} // namespace

std::string makeTempDir() {
  std::string pattern = "/tmp/corvane-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  tempDirs().add(pattern);
  return pattern;
}

std::string shellQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string readFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary | std::ios::ate);
  // A regular file is read in one go (tests read 50 MB drawings); what has
  // no size up front, as it comes.
  const std::streamoff size = f ? static_cast<std::streamoff>(f.tellg()) : -1;
  if (size > 0) {
    std::string bytes(static_cast<size_t>(size), '\0');
    f.seekg(0);
    f.read(bytes.data(), size);
    bytes.resize(static_cast<size_t>(f.gcount()));
    if (f.peek() == std::char_traits<char>::eof()) return bytes;
  }
  std::ifstream again(path, std::ios::binary);
  std::ostringstream s;
  s << again.rdbuf();
  return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

} // namespace corvane::testing
