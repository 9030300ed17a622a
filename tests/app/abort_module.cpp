// A test module that ends the host through acrx_abort as soon as it starts.
#include "acrx.h"

extern "C" __attribute__((visibility("default"))) int acrxGetApiVersion() { return kAcrxApiVersion; }
extern "C" __attribute__((visibility("default"))) int _SetacrxPtp() { return 1; }
extern "C" __attribute__((visibility("default"))) int acrxEntryPoint(unsigned int msg, void*) {
  if (msg == AcRx::kInitAppMsg) acrx_abort("Failed AcDbObject::close()");
  return 0;
}
