// What the processor offers beyond the baseline the host is built for. The
// checks and decoders that have a faster form for it ask here; tests turn
// the extras off to run the baseline form as well.
#pragma once

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace corvane::dwg {

struct CpuFeatures {
  bool carrylessMultiply = false; // PCLMULQDQ with SSE4.1
  bool avx2 = false;
};

// Asked once, at the first call: three questions to the processor, no
// more (each may be a trip to the hypervisor under a virtual machine, and
// the compiler's own feature probe asks dozens).
inline CpuFeatures& cpuFeatures() {
  static CpuFeatures features = [] {
    CpuFeatures f;
#if defined(__x86_64__)
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) == 0) return f;
    f.carrylessMultiply = (c & bit_PCLMUL) != 0 && (c & bit_SSE4_1) != 0;
    // AVX2 needs the system to keep the wide registers (XSAVE enabled and
    // the SSE and AVX state in XCR0) as well as the processor to have it.
    const bool osSavesAvx = (c & bit_OSXSAVE) != 0 && (c & bit_AVX) != 0 && [] {
      unsigned low = 0, high = 0;
      __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
      return (low & 6) == 6;
    }();
    if (osSavesAvx && __get_cpuid_count(7, 0, &a, &b, &c, &d) != 0) f.avx2 = (b & bit_AVX2) != 0;
#endif
    return f;
  }();
  return features;
}

} // namespace corvane::dwg
