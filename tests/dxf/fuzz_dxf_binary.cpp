// libFuzzer target for the binary reader: the bytes follow the binary DXF
// sentinel, so that every input is read as binary groups.
#include <cstddef>
#include <cstdint>

#include "dxf/dxf_values.h"
#include "fuzz_drawing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(corvane::kDxfBinarySentinel);
  bytes.append(reinterpret_cast<const char*>(data), size);
  corvane::testing::fuzzDrawing(std::move(bytes));
  return 0;
}
