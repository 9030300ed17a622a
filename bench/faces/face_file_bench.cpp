// Cost of one face file for a large polygon mesh: tessellation with vertex
// normals, then encoding. Writing is left out: it is one write call.
#include <benchmark/benchmark.h>

#include "faces/face_builder.h"
#include "faces/face_file_writer.h"

namespace corvane {
namespace {

PolygonMeshGeometry wavyGrid(int size) {
  PolygonMeshGeometry g;
  g.m = g.n = size;
  g.closedN = true;
  for (int i = 0; i < size; ++i)
    for (int j = 0; j < size; ++j) g.vertices.push_back({double(j), double(i), double((i * 7 + j * 3) % 11)});
  return g;
}

void buildPolygonMesh(benchmark::State& state) {
  const PolygonMeshGeometry g = wavyGrid(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(buildFaces(g));
  state.SetItemsProcessed(state.iterations() * g.m * g.n);
}
BENCHMARK(buildPolygonMesh)->Arg(64)->Arg(512);

void encodePolygonMesh(benchmark::State& state) {
  FaceFileContent c;
  c.entities.push_back(buildFaces(wavyGrid(static_cast<int>(state.range(0)))));
  std::vector<uint8_t> bytes;
  for (auto _ : state) {
    bytes.clear();
    const HostResult encoded = encodeFaceFile(c, bytes);
    if (!encoded) state.SkipWithError(encoded.error.c_str());
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(encodePolygonMesh)->Arg(64)->Arg(512);

} // namespace
} // namespace corvane
