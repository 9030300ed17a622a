// libFuzzer target: any bytes as a face file. A successful read must leave a
// mesh with a vertex list; a failed one must leave none.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "export/face_file_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  std::FILE* stream = size == 0 ? std::tmpfile() : fmemopen(const_cast<unsigned char*>(data), size, "rb");
  if (stream == nullptr) {
    return 0;
  }
  std::unique_ptr<Mesh> mesh;
  const int result = readFaceFile(stream, mesh);
  std::fclose(stream);
  if ((result == 1) != static_cast<bool>(mesh) || (mesh && !mesh->vertices)) {
    std::abort();
  }
  return 0;
}
