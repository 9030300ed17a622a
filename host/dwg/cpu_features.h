// What the processor offers beyond the baseline the host is built for. The
// checks and decoders that have a faster form for it ask here; tests turn
// the extras off to run the baseline form as well.
#pragma once

#if defined(__x86_64__) && __has_include(<sys/platform/x86.h>)
// The C library's header is written in C: clang's C++ knows no _Bool.
#if defined(__clang__) && !defined(_Bool)
#define _Bool bool
#include <sys/platform/x86.h>
#undef _Bool
#else
#include <sys/platform/x86.h>
#endif
#endif

namespace corvane::dwg {

struct CpuFeatures {
  bool carrylessMultiply = false; // PCLMULQDQ with SSE4.1
  bool avx2 = false;
};

// Asked once, at the first call, of what the C library found when the
// process started: no question goes to the processor (each may be a trip to
// the hypervisor under a virtual machine, tens of microseconds). "Active"
// features are those the system keeps the registers of as well.
inline CpuFeatures& cpuFeatures() {
  static CpuFeatures features = [] {
    CpuFeatures f;
#if defined(__x86_64__) && __has_include(<sys/platform/x86.h>)
    f.carrylessMultiply = CPU_FEATURE_ACTIVE(PCLMULQDQ) && CPU_FEATURE_ACTIVE(SSE4_1);
    f.avx2 = CPU_FEATURE_ACTIVE(AVX2);
#endif
    return f;
  }();
  return features;
}

} // namespace corvane::dwg
