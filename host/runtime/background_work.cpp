#include "runtime/background_work.h"

#include <atomic>

namespace corvane {
namespace {

BackgroundWork gWork;
std::atomic<void (*)()> gAbandon{nullptr};

} // namespace

void setBackgroundWork(BackgroundWork work) {
  gWork = work;
  gAbandon.store(work.abandonNow);
}

void beforeHostChange() {
  if (gWork.stop) gWork.stop();
}

void moduleCallEnded() {
  if (gWork.moduleCallEnded) gWork.moduleCallEnded();
}

void abandonBackgroundWork() {
  if (void (*abandon)() = gAbandon.load()) abandon();
}

} // namespace corvane
