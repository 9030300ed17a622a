#include "dwg/dwg_object_reader.h"

#include "dwg/dxf_text_writer.h"

namespace corvane::dwg {

std::string ObjectReader::bytes(uint64_t count) {
  if (count > data_.remaining() / 8) data_.fail("a size of " + std::to_string(count) + " bytes runs past the object");
  std::string out(static_cast<size_t>(count), '\0');
  data_.readBytes(std::span<uint8_t>(reinterpret_cast<uint8_t*>(out.data()), out.size()));
  return out;
}

void ObjectReader::skipBytes(uint64_t count) {
  if (count > data_.remaining() / 8) data_.fail("a size of " + std::to_string(count) + " bytes runs past the object");
  data_.seek(data_.position() + count * 8);
}

std::string ObjectReader::T() {
  return since(DwgVersion::kR2007) ? dxfUnicodeEscapes(strings_.readTU()) : data_.readTV();
}

std::vector<uint64_t> ObjectReader::handles(uint32_t count) {
  if (count > handles_.remaining() / 8)
    handles_.fail(std::to_string(count) + " handles run past the object's handle stream");
  std::vector<uint64_t> out(count);
  for (uint64_t& h : out) h = H();
  return out;
}

uint32_t ObjectReader::count(uint64_t stated, uint64_t minBits, const char* what) {
  if (minBits == 0) minBits = 1;
  if (stated > data_.remaining() / minBits || stated > UINT32_MAX)
    data_.fail(std::to_string(stated) + " " + what + " run past the object");
  return static_cast<uint32_t>(stated);
}

uint32_t ObjectReader::countTexts(uint64_t stated, const char* what) {
  BitReader& texts = since(DwgVersion::kR2007) ? strings_ : data_;
  if (stated > texts.remaining() / 2) texts.fail(std::to_string(stated) + " " + what + " run past the object");
  return static_cast<uint32_t>(stated);
}

} // namespace corvane::dwg
