#include "console/interrupts.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <initializer_list>
#include <string>

#include "ads.h"
#include "runtime/host_services.h"

namespace corvane {
namespace {

volatile std::sig_atomic_t gBreak = 0;
volatile std::sig_atomic_t gStop = 0;
volatile std::sig_atomic_t gCtrlCCancels = 0;

extern "C" void onInterrupt(int signal) {
  if (signal == SIGINT && gCtrlCCancels) {
    gBreak = 1;
    return;
  }
  // A logout sends SIGTERM and SIGHUP within a millisecond or two: the
  // second is only noted, so that the recovery copy still gets written and
  // the terminal restored. A third means the host is stuck (a write that
  // never returns) and the user wants out: it ends now.
  if (gStop >= 2) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    return;
  }
  gStop = gStop + 1;
  gBreak = 1;
}

// The keys watched while a command runs (CommandKeys): the terminal's
// settings to restore, the keys typed ahead, and when it was last read.
struct KeyWatch {
  bool active = false;
  termios saved{};
  termios watching{};
  std::string typedAhead;
  size_t next = 0; // the first key of typedAhead not yet taken
  std::chrono::steady_clock::time_point lastLook{};
};

KeyWatch& keyWatch() {
  static auto* watch = new KeyWatch;
  return *watch;
}

constexpr char kEscape = 27;

// Reads what was typed since the last look, without waiting: a lone Escape
// is a break; anything else, a key sequence that starts with Escape (an
// arrow) included, waits for the next prompt.
void lookAtKeys() {
  KeyWatch& w = keyWatch();
  if (!w.active) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - w.lastLook < std::chrono::milliseconds(5)) return;
  w.lastLook = now;
  char keys[256];
  const ssize_t n = ::read(STDIN_FILENO, keys, sizeof keys);
  for (ssize_t i = 0; i < n; ++i) {
    const bool sequence = i + 1 < n && (keys[i + 1] == '[' || keys[i + 1] == 'O');
    if (keys[i] == kEscape && !sequence) requestBreak();
    else w.typedAhead += keys[i];
  }
}

} // namespace

CommandKeys::CommandKeys(bool watch) {
  KeyWatch& w = keyWatch();
  if (!watch || w.active || !isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &w.saved) != 0) return;
  termios keys = w.saved;
  keys.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
  keys.c_cc[VMIN] = 0; // a read returns at once, with what is there
  keys.c_cc[VTIME] = 0;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &keys) != 0) return;
  w.watching = keys;
  w.active = active_ = true;
  w.lastLook = {};
}

CommandKeys::~CommandKeys() {
  if (!active_) return;
  KeyWatch& w = keyWatch();
  tcsetattr(STDIN_FILENO, TCSANOW, &w.saved);
  w.active = false;
}

CommandKeys::Paused::Paused() {
  KeyWatch& w = keyWatch();
  if (!w.active) return;
  w.lastLook = {};
  lookAtKeys(); // what was typed so far comes first, in order
  tcsetattr(STDIN_FILENO, TCSANOW, &w.saved);
  w.active = false;
  paused_ = true;
}

CommandKeys::Paused::~Paused() {
  if (!paused_) return;
  KeyWatch& w = keyWatch();
  tcsetattr(STDIN_FILENO, TCSANOW, &w.watching);
  w.active = true;
}

int takeTypedAhead() {
  KeyWatch& w = keyWatch();
  if (w.next >= w.typedAhead.size()) {
    w.typedAhead.clear();
    w.next = 0;
    return -1;
  }
  return static_cast<unsigned char>(w.typedAhead[w.next++]);
}

bool breakPending() {
  lookAtKeys();
  return breakRequested();
}

void installInterruptHandlers(bool ctrlCCancels) {
  gCtrlCCancels = ctrlCCancels ? 1 : 0;
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  // Interrupted system calls go on: the host stops where it checks, not in
  // the middle of a write.
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool breakRequested() { return gBreak != 0; }

void requestBreak() { gBreak = 1; }

void clearBreak() {
  if (!gStop) gBreak = 0;
}

bool stopRequested() { return gStop != 0; }

bool inputEnded() {
  if (!isatty(STDIN_FILENO)) return true;
  pollfd state{STDIN_FILENO, POLLIN, 0};
  return ::poll(&state, 1, 0) > 0 && (state.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

} // namespace corvane

// A command the host itself failed stops as a cancelled one does.
extern "C" int ads_usrbrk(void) { return corvane::breakPending() || corvane::commandFailed() ? 1 : 0; }
