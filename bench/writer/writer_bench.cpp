// writeMesh of a 1,000,000-face mesh against the same numbers formatted with
// std::to_chars into memory and written to a file of the same kind. The
// writer is meant to stay within 1.5 times the baseline.
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "export/mesh.h"
#include "export/output_file.h"

namespace {

constexpr int kSide = 1000; // a kSide x kSide grid of quads, about 1e6 faces

const Mesh& gridMesh() {
  static const Mesh mesh = [] {
    Mesh m;
    auto& vertices = m.vertices.emplace();
    const int n = kSide + 1;
    vertices.reserve(static_cast<std::size_t>(n) * n);
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) {
        vertices.push_back({i * 0.731 - 250.0, j * 1.37 + 0.001, (i * j % 97) * 0.0123});
      }
    }
    auto& faces = m.faces.emplace();
    faces.reserve(static_cast<std::size_t>(kSide) * kSide);
    for (int j = 0; j < kSide; ++j) {
      for (int i = 0; i < kSide; ++i) {
        MeshFace f;
        f.cornerCount = 4;
        f.corners[0] = j * n + i;
        f.corners[1] = j * n + i + 1;
        f.corners[2] = (j + 1) * n + i + 1;
        f.corners[3] = (j + 1) * n + i;
        faces.push_back(f);
      }
    }
    return m;
  }();
  return mesh;
}

std::string benchPath(const char* name) {
  return (std::filesystem::temp_directory_path() /
          (std::string("corvane_bench_") + std::to_string(getpid()) + "_" + name))
      .string();
}

void BM_WriteMesh(benchmark::State& state) {
  const Mesh& mesh = gridMesh();
  const std::string path = benchPath("writer.wrl");
  for (auto _ : state) {
    OutputFile out;
    if (!out.open(path.c_str())) {
      state.SkipWithError("cannot open output");
      break;
    }
    mesh.writeMesh(&out);
    if (!out.close()) {
      state.SkipWithError("write failed");
      break;
    }
  }
  state.counters["faces"] = static_cast<double>(mesh.faces->size());
  std::filesystem::remove(path);
}

// The same text, formatted with std::to_chars ("%g" precision 6, integers)
// into one memory buffer and written with a single fwrite.
void BM_ToCharsBaseline(benchmark::State& state) {
  const Mesh& mesh = gridMesh();
  const std::string path = benchPath("baseline.wrl");
  std::vector<char> buffer;
  for (auto _ : state) {
    buffer.resize(mesh.vertices->size() * 3 * 40 + mesh.faces->size() * 64 + 256);
    char* at = buffer.data();
    char* const end = buffer.data() + buffer.size();
    for (const Point3& p : *mesh.vertices) {
      at = std::to_chars(at, end, p.x, std::chars_format::general, 6).ptr;
      *at++ = '\t';
      at = std::to_chars(at, end, p.y, std::chars_format::general, 6).ptr;
      *at++ = '\t';
      at = std::to_chars(at, end, p.z, std::chars_format::general, 6).ptr;
      *at++ = ',';
      *at++ = '\n';
    }
    for (const MeshFace& f : *mesh.faces) {
      for (int k = 0; k < f.cornerCount; ++k) {
        at = std::to_chars(at, end, f.corners[k]).ptr;
        *at++ = ',';
      }
      *at++ = '-';
      *at++ = '1';
      *at++ = ',';
      *at++ = '\n';
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
      state.SkipWithError("cannot open output");
      break;
    }
    std::fwrite(buffer.data(), 1, static_cast<std::size_t>(at - buffer.data()), file);
    std::fclose(file);
  }
  std::filesystem::remove(path);
}

BENCHMARK(BM_ToCharsBaseline)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_WriteMesh)->Unit(benchmark::kMillisecond)->MinTime(2.0);

} // namespace

BENCHMARK_MAIN();
