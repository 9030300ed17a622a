// libFuzzer target for the R2007 container. Random bytes rarely get past
// the Reed-Solomon parity, so an input is also read as an image (the file
// header's fields, the two maps and the data pages, each behind a length)
// and laid out with its codes, which lets every stated size and count
// reach the check that judges it. Any input must end in sections or a
// DwgError, without memory errors or unbounded allocation.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dwg/dwg_container_r2007.h"
#include "dwg/dwg_error.h"
#include "dwg/r2007_builder.h"

namespace {

using namespace corvane::dwg;
using namespace corvane::dwg::testing;

class Input {
public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint64_t le(size_t bytes) {
    uint64_t v = 0;
    for (size_t i = 0; i < bytes && pos_ < size_; ++i) v |= uint64_t(data_[pos_++]) << (8 * i);
    return v;
  }
  std::vector<uint8_t> block() {
    size_t n = size_t(le(2));
    if (n > size_ - pos_) n = size_ - pos_;
    std::vector<uint8_t> b(data_ + pos_, data_ + pos_ + n);
    pos_ += n;
    return b;
  }
  bool atEnd() const { return pos_ >= size_; }

private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

void read(const std::vector<uint8_t>& file) {
  try {
    readR2007Container(file);
  } catch (const DwgError&) {
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  read(std::vector<uint8_t>(data, data + size));

  // The image: code page, security flags, the 34 fields, the page map and
  // section map, then up to 16 data pages (a flag byte, then the bytes).
  Input in(data, size);
  R2007Image image;
  image.codePage = uint16_t(in.le(2));
  image.securityFlags = uint32_t(in.le(4));
  for (uint64_t& f : image.fields) f = in.le(8);
  image.pageMap = in.block();
  image.sectionMap = in.block();
  while (!in.atEnd() && image.dataPages.size() < 16) {
    R2007ImagePage page;
    page.interleaved = (in.le(1) & 1) == 0;
    page.stored = in.block();
    image.dataPages.push_back(std::move(page));
  }
  read(layOutR2007(image));
  return 0;
}
