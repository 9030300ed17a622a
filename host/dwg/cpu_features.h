// What the processor offers beyond the baseline the host is built for. The
// checks and decoders that have a faster form for it ask here; tests turn
// the extras off to run the baseline form as well.
#pragma once

namespace corvane::dwg {

struct CpuFeatures {
  bool carrylessMultiply = false; // PCLMULQDQ with SSE4.1
  bool avx2 = false;
};

inline CpuFeatures& cpuFeatures() {
  static CpuFeatures features = [] {
    CpuFeatures f;
#if defined(__x86_64__)
    __builtin_cpu_init(); // may run before the library's own constructors
    f.carrylessMultiply = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    f.avx2 = __builtin_cpu_supports("avx2");
#endif
    return f;
  }();
  return features;
}

} // namespace corvane::dwg
