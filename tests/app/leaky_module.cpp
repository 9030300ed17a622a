// A test module that takes three blocks from the host at start and never
// gives them back.
#include "acrx.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

extern "C" __attribute__((visibility("default"))) int acrxGetApiVersion() { return kAcrxApiVersion; }
extern "C" __attribute__((visibility("default"))) int _SetacrxPtp() { return 1; }
extern "C" __attribute__((visibility("default"))) int acrxEntryPoint(unsigned int msg, void*) {
  if (msg == AcRx::kInitAppMsg) {
#if defined(__SANITIZE_ADDRESS__)
    __lsan_disable(); // the leak is the point; the leak checker need not say so
#endif
    for (int i = 0; i < 3; ++i) acad_malloc(16);
#if defined(__SANITIZE_ADDRESS__)
    __lsan_enable();
#endif
  }
  return 0;
}
