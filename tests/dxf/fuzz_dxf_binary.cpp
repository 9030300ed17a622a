// libFuzzer target for the binary reader: the bytes follow the binary DXF
// sentinel, so that every input is read as binary groups. An input that
// opens with the sentinel itself (a binary drawing of the shared corpus,
// read in place as a seed) is taken as it is.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dxf/dxf_values.h"
#include "fuzz_drawing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::string bytes = input.starts_with(corvane::kDxfBinarySentinel) ? std::string() :
                                                                       std::string(corvane::kDxfBinarySentinel);
  bytes.append(input);
  corvane::testing::fuzzDrawing(std::move(bytes));
  return 0;
}
