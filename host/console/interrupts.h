// Ctrl-C and the signals that stop the host. The handlers only note what
// arrived; the command line and the command in progress look at the note
// where they can stop cleanly (a module through ads_usrbrk), so that an
// interruption never leaves a half-written file or a temporary one.
#pragma once

namespace corvane {

// Installs handlers for SIGINT, SIGTERM and SIGHUP. With CTRL_C_CANCELS (the
// interactive shell) SIGINT cancels the prompt or command in progress and
// nothing more; otherwise SIGINT, and always SIGTERM and SIGHUP, also ask the
// host to stop. A second stop signal is noted as well (a logout sends SIGTERM
// and SIGHUP together): the host still ends as it does after one. A third
// ends the process at once, as if no handler were installed.
void installInterruptHandlers(bool ctrlCCancels);

// True while a break is pending: the command in progress should stop.
bool breakRequested();
// breakRequested(), after a look at the keys typed while a command runs
// (see CommandKeys): Escape there is a break, as Ctrl-C is. Cheap enough to
// call per object: the terminal is read at most every few milliseconds.
bool breakPending();
// Notes a break that arrived as a key (Ctrl-C in a full-screen dialog,
// where the terminal sends no signal).
void requestBreak();
// Forgets a pending break once it has been answered; a stop request stays.
void clearBreak();
// True once the host has been asked to stop (exit status 130).
bool stopRequested();

// True when standard input has ended for good: it is no terminal, or one
// that has hung up; false for a terminal where Ctrl-D was typed.
bool inputEnded();

// While a command runs at the terminal, keys are read one by one and not
// echoed (Ctrl-C still arrives as SIGINT): Escape alone then stops the
// command as Ctrl-C does, and keys typed ahead neither show raw across its
// output nor get lost, since the next prompt reads them first
// (takeTypedAhead). Does nothing unless WATCH (a person types the answers
// at this terminal: never a script, which may itself be standard input) and
// standard input is a terminal. The terminal's settings come back when it
// goes out of scope.
class CommandKeys {
public:
  explicit CommandKeys(bool watch);
  ~CommandKeys();
  CommandKeys(const CommandKeys&) = delete;
  CommandKeys& operator=(const CommandKeys&) = delete;

  // A prompt of the command's own gives the terminal back its settings
  // while it reads (line editing echoes only where the terminal does), and
  // takes the watch up again after.
  class Paused {
  public:
    Paused();
    ~Paused();
    Paused(const Paused&) = delete;
    Paused& operator=(const Paused&) = delete;

  private:
    bool paused_ = false;
  };

private:
  bool active_ = false;
};

// The next key typed while a command ran and not yet read; -1 when none.
int takeTypedAhead();

} // namespace corvane
