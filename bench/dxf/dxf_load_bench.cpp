// Load speed and peak memory of a large generated drawing.
//
//   dxf_load_bench [--size-mb=N] [benchmark flags]
//   CORVANE_BENCH_DXF=drawing.dxf dxf_load_bench
//
// Writes an R2000 drawing of about N MB (default 120) of 3DFACEs and
// polyface meshes to a temporary file, then loads it. Reports MB/s and the
// process's peak resident memory as a multiple of the file size.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "drawing/drawing.h"

namespace {

std::string gPath;
size_t gSize = 0;

// Streams the drawing to PATH in pieces, so that making it costs little
// memory of its own.
size_t writeDrawing(const std::string& path, size_t targetBytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::string buf;
  unsigned handle = 0x100;
  auto put = [&](int code, const std::string& value) {
    char c[16];
    std::snprintf(c, sizeof c, "%3d\n", code);
    buf += c;
    buf += value;
    buf += '\n';
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
    buf.clear();
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
  if (std::fclose(f) != 0) return 0;
  return written;
}

double peakRssBytes() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) * 1024.0;
}

void BM_LoadLargeDrawing(benchmark::State& state) {
  size_t objects = 0;
  for (auto _ : state) {
    corvane::DrawingLoadResult r = corvane::Drawing::load(gPath);
    if (!r.drawing) {
      state.SkipWithError(r.error.c_str());
      return;
    }
    objects = r.drawing->recordCount();
    benchmark::DoNotOptimize(objects);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * gSize));
  state.counters["file_MB"] = static_cast<double>(gSize) / 1e6;
  state.counters["objects"] = static_cast<double>(objects);
  state.counters["peak_rss_x_file"] = peakRssBytes() / static_cast<double>(gSize);
}
BENCHMARK(BM_LoadLargeDrawing)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

int main(int argc, char** argv) {
  size_t sizeMb = 120;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--size-mb=", 10) == 0) sizeMb = std::strtoul(argv[i] + 10, nullptr, 10);
  // CORVANE_BENCH_DXF names a drawing to load instead (kept afterwards).
  const char* given = std::getenv("CORVANE_BENCH_DXF");
  bool generated = given == nullptr;
  if (given) {
    gPath = given;
    FILE* f = std::fopen(given, "rb");
    if (f && std::fseek(f, 0, SEEK_END) == 0) gSize = static_cast<size_t>(std::ftell(f));
    if (f) std::fclose(f);
  } else {
    gPath = "/tmp/corvane-bench-" + std::to_string(::getpid()) + ".dxf";
    gSize = writeDrawing(gPath, sizeMb * 1000 * 1000);
  }
  if (gSize == 0) {
    std::fprintf(stderr, "cannot write %s\n", gPath.c_str());
    return 1;
  }
  if (std::getenv("CORVANE_BENCH_KEEP")) std::printf("drawing kept at %s\n", gPath.c_str()), generated = false;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (generated) std::remove(gPath.c_str());
  return 0;
}
