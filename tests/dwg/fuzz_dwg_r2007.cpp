// libFuzzer target for the R2007 container. Random bytes rarely get past
// the Reed-Solomon parity, so each input is read twice: as a file, and as
// an image (the file header's fields, the two maps and the data pages;
// r2007_builder.h) laid out with its codes, which lets every stated size
// and count reach the check that judges it. Seeds: tests/dwg/fuzz_seeds_r2007.
// Any input must end in sections or a DwgError, without memory errors or
// unbounded allocation.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dwg/dwg_container_r2007.h"
#include "dwg/dwg_error.h"
#include "dwg/r2007_builder.h"

namespace {

void read(const std::vector<uint8_t>& file) {
  try {
    corvane::dwg::readR2007Container(file);
  } catch (const corvane::dwg::DwgError&) {
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  read(std::vector<uint8_t>(data, data + size));
  read(corvane::dwg::testing::layOutR2007(corvane::dwg::testing::parseR2007Image({data, size})));
  return 0;
}
