// The R2007 container of the corpus drawing (../shared/corpus/dwg), read
// from memory: file header, maps and the four sections the object reader
// needs (their code words checked, their pages decompressed); and its three
// binary models written as model text. Reports MB/s of the file's size.
//
//   dwg_r2007_bench [benchmark flags]
//   CORVANE_BENCH_DWG=drawing.dwg dwg_r2007_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "dwg/dwg_container_r2007.h"
#include "solids/sat_text_writer.h"

namespace {

std::vector<uint8_t> drawingBytes() {
  const char* given = std::getenv("CORVANE_BENCH_DWG");
  std::filesystem::path path =
      given ? std::filesystem::path(given)
            : std::filesystem::path(CORVANE_SOURCE_DIR) / ".." / "shared" / "corpus" / "dwg" / "r2007_libredwg_example.dwg";
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void readContainer(benchmark::State& state) {
  const std::vector<uint8_t> file = drawingBytes();
  if (file.empty()) {
    state.SkipWithError("no R2007 drawing (set CORVANE_BENCH_DWG)");
    return;
  }
  for (auto _ : state) {
    corvane::dwg::DwgSections s = corvane::dwg::readR2007Container(file);
    benchmark::DoNotOptimize(s.objects.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(file.size()));
}
BENCHMARK(readContainer)->Unit(benchmark::kMillisecond);

// The binary models of the objects section, wherever a signature starts on
// a bit boundary (the object reader finds them by their entity; this finds
// them without one).
std::vector<std::vector<uint8_t>> binaryModels(const std::vector<uint8_t>& file) {
  static const std::string kSignature = "ACIS BinaryFile";
  corvane::dwg::DwgSections s = corvane::dwg::readR2007Container(file);
  std::vector<std::vector<uint8_t>> models;
  for (unsigned shift = 0; shift < 8; ++shift) {
    std::vector<uint8_t> bits(s.objects.size());
    for (size_t i = 0; i + 1 < bits.size(); ++i)
      bits[i] = uint8_t(s.objects[i] << shift | (shift ? s.objects[i + 1] >> (8 - shift) : 0));
    for (auto at = bits.begin();
         (at = std::search(at, bits.end(), kSignature.begin(), kSignature.end())) != bits.end(); ++at)
      models.emplace_back(at, bits.end());
  }
  return models;
}

void writeModelText(benchmark::State& state) {
  const std::vector<uint8_t> file = drawingBytes();
  if (file.empty()) {
    state.SkipWithError("no R2007 drawing (set CORVANE_BENCH_DWG)");
    return;
  }
  const std::vector<std::vector<uint8_t>> models = binaryModels(file);
  int64_t bytes = 0;
  for (auto _ : state) {
    for (const std::vector<uint8_t>& m : models) {
      std::string text, reason;
      corvane::solids::sabToSatText(m.data(), m.size(), corvane::solids::SatTextStyle::kDxf, text, reason);
      bytes += int64_t(text.size());
    }
  }
  state.SetBytesProcessed(bytes);
  state.counters["models"] = double(models.size());
}
BENCHMARK(writeModelText)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
