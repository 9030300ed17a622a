// Load speed and peak memory of a large generated drawing.
//
//   dxf_load_bench [--size-mb=N] [benchmark flags]
//   CORVANE_BENCH_DXF=drawing.dxf dxf_load_bench
//
// Writes an R2000 drawing of about N MB (default 120) of 3DFACEs and
// polyface meshes to a temporary file, and the same groups as a binary DXF
// file beside it, then loads each, as the shell keeps a drawing (its own
// copy) and as an export reads one (the file mapped). Reports MB/s of each
// file's own size in wall time, and the peak resident memory the load adds
// to the process as a multiple of the file size.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "drawing/drawing.h"

namespace {

struct BenchFile {
  std::string path;
  size_t size = 0;
};
BenchFile gText, gBinary;

// Streams the drawing to TEXT and its binary twin to BINARY in pieces, so
// that making them costs little memory of their own. The text file is
// about TARGETBYTES long.
bool writeDrawing(BenchFile& text, BenchFile& binary, size_t targetBytes) {
  FILE* f = std::fopen(text.path.c_str(), "wb");
  FILE* fb = std::fopen(binary.path.c_str(), "wb");
  if (!f || !fb) return false;
  std::string buf, bufBinary(corvane::kDxfBinarySentinel);
  corvane::DxfStyle textStyle, binaryStyle;
  binaryStyle.encoding = corvane::DxfEncoding::kBinaryWordCodes;
  unsigned handle = 0x100;
  auto put = [&](int code, const std::string& value) {
    buf += textStyle.group(code, value);
    bufBinary += binaryStyle.group(code, value);
  };
  auto real = [](double v) {
    char s[32];
    std::snprintf(s, sizeof s, "%.6f", v);
    return std::string(s);
  };
  auto hex = [](unsigned h) {
    char s[16];
    std::snprintf(s, sizeof s, "%X", h);
    return std::string(s);
  };
  size_t written = 0;
  auto flush = [&] {
    written += std::fwrite(buf.data(), 1, buf.size(), f);
    binary.size += std::fwrite(bufBinary.data(), 1, bufBinary.size(), fb);
    buf.clear();
    bufBinary.clear();
  };
  for (auto [c, v] : std::initializer_list<std::pair<int, const char*>>{
           {0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1015"}, {9, "$HANDSEED"}, {5, "FFFFFFF"},
           {0, "ENDSEC"}, {0, "SECTION"}, {2, "TABLES"}, {0, "TABLE"}, {2, "LAYER"}, {5, "2"}, {70, "     1"},
           {0, "LAYER"}, {5, "10"}, {2, "0"}, {70, "     0"}, {62, "     7"}, {0, "ENDTAB"}, {0, "ENDSEC"},
           {0, "SECTION"}, {2, "ENTITIES"}})
    put(c, v);
  for (unsigned i = 0; written + buf.size() < targetBytes; ++i) {
    double x = i % 1000, y = (i / 1000) % 1000;
    if (i % 50 == 49) {
      // A polyface mesh of 8 vertices and 6 faces (a box).
      put(0, "POLYLINE"); put(5, hex(handle++)); put(330, "1F"); put(100, "AcDbEntity"); put(8, "0");
      put(100, "AcDbPolyFaceMesh"); put(66, "     1"); put(10, "0.0"); put(20, "0.0"); put(30, "0.0");
      put(70, "    64"); put(71, "     8"); put(72, "     6");
      for (int v = 0; v < 8; ++v) {
        put(0, "VERTEX"); put(5, hex(handle++)); put(330, "1F"); put(100, "AcDbEntity"); put(8, "0");
        put(100, "AcDbVertex"); put(100, "AcDbPolyFaceMeshVertex");
        put(10, real(x + (v & 1))); put(20, real(y + ((v >> 1) & 1))); put(30, real((v >> 2) & 1));
        put(70, "   192");
      }
      static const int kFaces[6][4] = {{1, 2, 4, 3}, {5, 6, 8, 7}, {1, 2, 6, 5},
                                       {3, 4, 8, 7}, {1, 3, 7, 5}, {2, 4, 8, 6}};
      for (const auto& face : kFaces) {
        put(0, "VERTEX"); put(5, hex(handle++)); put(330, "1F"); put(100, "AcDbEntity"); put(8, "0");
        put(100, "AcDbFaceRecord"); put(10, "0.0"); put(20, "0.0"); put(30, "0.0"); put(70, "   128");
        for (int k = 0; k < 4; ++k) put(71 + k, std::to_string(face[k]));
      }
      put(0, "SEQEND"); put(5, hex(handle++)); put(330, "1F"); put(100, "AcDbEntity"); put(8, "0");
    } else {
      put(0, "3DFACE"); put(5, hex(handle++)); put(330, "1F"); put(100, "AcDbEntity"); put(8, "0");
      put(100, "AcDbFace");
      put(10, real(x)); put(20, real(y)); put(30, real(0.25 * i));
      put(11, real(x + 1)); put(21, real(y)); put(31, real(0.25 * i));
      put(12, real(x + 1)); put(22, real(y + 1)); put(32, real(0.25 * i + 1));
      put(13, real(x)); put(23, real(y + 1)); put(33, real(0.25 * i + 1));
    }
    if (buf.size() > (1 << 20)) flush();
  }
  put(0, "ENDSEC");
  put(0, "EOF");
  flush();
  text.size = written;
  bool closed = std::fclose(f) == 0;
  return std::fclose(fb) == 0 && closed;
}

// The process's peak resident memory since the last resetPeakRss(), from
// /proc (getrusage's figure can't be reset between benchmarks).
double peakRssBytes() {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return 0;
  char line[256];
  double kib = 0;
  while (std::fgets(line, sizeof line, f))
    if (std::strncmp(line, "VmHWM:", 6) == 0) kib = std::strtod(line + 6, nullptr);
  std::fclose(f);
  return kib * 1024.0;
}

void resetPeakRss() {
  if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}

// Loads FILE as the shell does (its own copy, kept for saving) or as an
// export does (the file mapped). MB/s of wall time: a load is what a user
// waits for.
void loadDrawing(benchmark::State& state, const BenchFile& file, corvane::DrawingBytes::Kind kind) {
  if (file.size == 0) {
    state.SkipWithError("no binary twin of a given drawing");
    return;
  }
  size_t objects = 0;
  resetPeakRss();
  const double before = peakRssBytes();
  for (auto _ : state) {
    corvane::DrawingLoadResult r = corvane::Drawing::load(file.path, kind);
    if (!r.drawing) {
      state.SkipWithError(r.error.c_str());
      return;
    }
    objects = r.drawing->records().count();
    benchmark::DoNotOptimize(objects);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * file.size));
  state.counters["file_MB"] = static_cast<double>(file.size) / 1e6;
  state.counters["objects"] = static_cast<double>(objects);
  // What the load adds to the process, as a multiple of the file's size.
  state.counters["peak_x_file"] = (peakRssBytes() - before) / static_cast<double>(file.size);
}

using Kind = corvane::DrawingBytes::Kind;
void BM_LoadLargeDrawing(benchmark::State& state) { loadDrawing(state, gText, Kind::kCopy); }
void BM_LoadLargeDrawingMapped(benchmark::State& state) { loadDrawing(state, gText, Kind::kMapped); }
// The same drawing in binary form: at least as many MB/s as the text.
void BM_LoadLargeBinaryDrawing(benchmark::State& state) { loadDrawing(state, gBinary, Kind::kCopy); }
void BM_LoadLargeBinaryDrawingMapped(benchmark::State& state) { loadDrawing(state, gBinary, Kind::kMapped); }
BENCHMARK(BM_LoadLargeDrawing)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_LoadLargeDrawingMapped)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_LoadLargeBinaryDrawing)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_LoadLargeBinaryDrawingMapped)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
  size_t sizeMb = 120;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--size-mb=", 10) == 0) sizeMb = std::strtoul(argv[i] + 10, nullptr, 10);
  // CORVANE_BENCH_DXF names a drawing to load instead (kept afterwards).
  const char* given = std::getenv("CORVANE_BENCH_DXF");
  bool generated = given == nullptr;
  if (given) {
    gText.path = given;
    FILE* f = std::fopen(given, "rb");
    if (f && std::fseek(f, 0, SEEK_END) == 0) gText.size = static_cast<size_t>(std::ftell(f));
    if (f) std::fclose(f);
  } else {
    std::string base = "/tmp/corvane-bench-" + std::to_string(::getpid());
    gText.path = base + ".dxf";
    gBinary.path = base + "-binary.dxf";
    if (!writeDrawing(gText, gBinary, sizeMb * 1000 * 1000)) gText.size = 0;
  }
  if (gText.size == 0) {
    std::fprintf(stderr, "cannot write %s\n", gText.path.c_str());
    return 1;
  }
  if (std::getenv("CORVANE_BENCH_KEEP")) {
    std::printf("drawings kept at %s and %s\n", gText.path.c_str(), gBinary.path.c_str());
    generated = false;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (generated) {
    std::remove(gText.path.c_str());
    std::remove(gBinary.path.c_str());
  }
  return 0;
}
