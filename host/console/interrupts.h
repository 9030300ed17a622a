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

} // namespace corvane
