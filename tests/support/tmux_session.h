// A program running in a detached tmux session, for tests that type real
// keys into the shell and read the screen back.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/run_process.h"

namespace corvane::testing {

class TmuxSession {
public:
  // False when tmux is not installed (the test skips).
  static bool available() { return run("command -v tmux >/dev/null") == 0; }

  // Starts COMMAND (a shell command line) on a COLS x ROWS terminal. When it
  // ends, the pane shows "EXIT <status>" and stays for reading. Each session
  // has a tmux server of its own: with one shared server, a test that ends
  // the last session stops the server just as a test run beside it starts
  // one ("server exited unexpectedly").
  TmuxSession(const std::string& command, int cols, int rows)
      : name_("corvane-test-" + std::to_string(getpid()) + "-" + std::to_string(++sessions())),
        tmux_("tmux -L " + name_ + " ") {
    started_ = run(tmux_ + "new-session -d -x " + std::to_string(cols) + " -y " + std::to_string(rows) + " -s " +
                   name_ + " " + shellQuoted(command + "; echo EXIT $?; sleep 600")) == 0;
  }
  ~TmuxSession() { run(tmux_ + "kill-server 2>/dev/null"); }
  TmuxSession(const TmuxSession&) = delete;
  TmuxSession& operator=(const TmuxSession&) = delete;

  bool started() const { return started_; }
  // Sends keys by their tmux names ("Enter", "C-c", "Escape"), or TEXT as typed.
  void keys(const std::string& names) { run(tmux_ + "send-keys -t " + name_ + " " + names); }
  void type(const std::string& text) { run(tmux_ + "send-keys -l -t " + name_ + " " + shellQuoted(text)); }
  // Enters a line: TEXT typed, then Enter.
  void enter(const std::string& text) {
    type(text);
    keys("Enter");
  }
  // Resizes the terminal, as a person dragging its window would.
  void resize(int cols, int rows) {
    run(tmux_ + "resize-window -t " + name_ + " -x " + std::to_string(cols) + " -y " + std::to_string(rows));
  }
  // The visible screen, or with HISTORY everything scrolled off as well.
  std::string screen(bool history = false) const {
    return output(tmux_ + "capture-pane -p " + std::string(history ? "-S -1000 " : "") + "-t " + name_);
  }
  // Waits until the screen (and its history) shows WHAT at least TIMES
  // times; false after ten seconds.
  bool waitFor(const std::string& what, size_t times = 1) const {
    for (int i = 0; i < 100; ++i) {
      if (count(screen(true), what) >= times) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }
  static size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

private:
  static int& sessions() {
    static int n = 0;
    return n;
  }
  static int run(const std::string& command) {
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  static std::string output(const std::string& command) {
    std::string text;
    if (FILE* p = popen(command.c_str(), "r")) {
      char buffer[4096];
      for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) text.append(buffer, n);
      pclose(p);
    }
    return text;
  }

  std::string name_;
  std::string tmux_; // "tmux -L NAME ": the session's own server
  bool started_ = false;
};

} // namespace corvane::testing
