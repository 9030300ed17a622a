// Every DWG of the corpus against its DXF twin, in one process: the
// fastest of N loads of each as an export loads it (Drawing::load of a
// mapped file), in microseconds, and the DWG reader's own share (the DWG
// turned into its DXF text). No benchmark library: a plain loop, so that
// it builds wherever the host does.
//
//   dwg_load_times [--reader] [RUNS] [STEM...]   (default 200 runs, every pair)
//
// --reader times only the DWG reader, and loads nothing: for a profiler.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "drawing/drawing.h"
#include "dwg/dwg_reader.h"
#include "support/corpus.h"

namespace {

using Clock = std::chrono::steady_clock;

// The fastest of RUNS calls of WORK, in microseconds.
template <typename Work> double fastest(int runs, Work&& work) {
  double best = 1e18;
  for (int i = 0; i < runs; ++i) {
    const Clock::time_point start = Clock::now();
    work();
    best = std::min(best, std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  return best;
}

// The fastest export load of PATH; -1 when it is refused.
double loadTime(const std::string& path, int runs) {
  bool refused = false;
  const double t = fastest(runs, [&] {
    corvane::DrawingLoadResult r = corvane::Drawing::load(path, corvane::DrawingBytes::Kind::kMapped);
    refused = refused || !r.drawing;
  });
  return refused ? -1 : t;
}

} // namespace

int main(int argc, char** argv) {
  const bool readerOnly = argc > 1 && std::string(argv[1]) == "--reader";
  if (readerOnly) {
    --argc;
    ++argv;
  }
  const int runs = argc > 1 ? std::atoi(argv[1]) : 200;
  if (runs < 1) {
    std::fprintf(stderr, "usage: dwg_load_times [--reader] [RUNS] [STEM...]\n");
    return 2;
  }
  std::printf("%-32s %9s %9s %7s %9s\n", "drawing", "dwg us", "dxf us", "ratio", "read us");
  for (const auto& dwg : corvane::testing::dwgCorpusFiles()) {
    const std::string stem = dwg.stem().string();
    bool wanted = argc <= 2;
    for (int i = 2; i < argc; ++i) wanted = wanted || stem == argv[i];
    if (!wanted) continue;
    std::filesystem::path dxf = dwg;
    dxf.replace_extension(".dxf");
    const std::string bytes = corvane::testing::readBytes(dwg);
    const auto file = std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const double read = fastest(runs, [&] { corvane::dwg::readDwgAsDxf(file, corvane::dwg::DwgReadScope::kExport); });
    if (readerOnly) {
      std::printf("%-32s %9s %9s %7s %9.0f\n", stem.c_str(), "-", "-", "-", read);
      continue;
    }
    const double d = loadTime(dwg.string(), runs);
    const double x = loadTime(dxf.string(), runs);
    std::printf("%-32s %9.0f %9.0f %7.2f %9.0f\n", stem.c_str(), d, x, x > 0 ? d / x : 0.0, read);
  }
  return 0;
}
