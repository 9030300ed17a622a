// The DWG reader's structure, per corpus drawing: the container (pages
// decompressed, every checksum checked), classes, header variables and
// object map, then every object framed. What the object decoders build on;
// their own time comes on top.
#include <benchmark/benchmark.h>

#include "dwg/dwg_file.h"
#include "support/corpus.h"

namespace {

void readStructure(benchmark::State& state, std::vector<uint8_t> file) {
  size_t objects = 0;
  for (auto _ : state) {
    corvane::dwg::DwgFile dwg = corvane::dwg::readDwgFile(file);
    for (const corvane::dwg::DwgObjectLocation& entry : dwg.objectMap.entries())
      benchmark::DoNotOptimize(dwg.frameAt(entry.offset).type);
    objects = dwg.objectMap.size();
  }
  state.counters["objects"] = double(objects);
  state.SetBytesProcessed(int64_t(state.iterations() * file.size()));
}

int registerCorpus() {
  for (const auto& path : corvane::testing::dwgCorpusFiles()) {
    std::string bytes = corvane::testing::readBytes(path);
    benchmark::RegisterBenchmark(path.filename().string().c_str(), readStructure,
                                 std::vector<uint8_t>(bytes.begin(), bytes.end()))
        ->Unit(benchmark::kMillisecond);
  }
  return 0;
}

const int registered = registerCorpus();

} // namespace

BENCHMARK_MAIN();
