// libFuzzer target for the loader: any bytes, read as the file they are.
#include <cstddef>
#include <cstdint>

#include "fuzz_drawing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  corvane::testing::fuzzDrawing(std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}
