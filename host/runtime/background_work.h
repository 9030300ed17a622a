// Work that runs beside the command thread and reads drawings and settings
// (the face files' read-ahead) registers here how to stop it, and the host
// calls it at the moments that matter to such work:
// * beforeHostChange(): before anything changes a drawing or a setting (an
//   object opened or closed for writing, extended data, a registered
//   application, an erase flag, a drawing's path, a drawing going away, a
//   system variable, a host command run for a module);
// * moduleCallEnded(): when the outermost call into a module (a command, a
//   list function, an application message) returns to the host;
// * abandonNow(): when the host ends at once (acrx_abort); async-signal-safe.
// All three do nothing until work is registered. Command thread only,
// except abandonNow().
#pragma once

namespace corvane {

struct BackgroundWork {
  void (*stop)() = nullptr;
  void (*moduleCallEnded)() = nullptr;
  void (*abandonNow)() = nullptr;
};

void setBackgroundWork(BackgroundWork work);
void beforeHostChange();
void moduleCallEnded();
void abandonBackgroundWork();

} // namespace corvane
