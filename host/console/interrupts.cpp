#include "console/interrupts.h"

#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <initializer_list>

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

} // namespace

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
extern "C" int ads_usrbrk(void) { return corvane::breakRequested() || corvane::commandFailed() ? 1 : 0; }
