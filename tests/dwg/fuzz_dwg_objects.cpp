// libFuzzer target for the object decoders: each input is one object's
// streams as a decoder meets them (a version, a type number or a class's
// DXF name, then data, text and handle bits), so that every decoder reads
// bits no framing would have let through. Any input must end in an
// object's DXF text or a DwgError, without memory errors or unbounded
// allocation.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "dwg/bit_reader.h"
#include "dwg/dwg_error.h"
#include "dwg/dwg_object_reader.h"
#include "dwg/dwg_objects.h"

namespace {

using corvane::dwg::DwgVersion;

constexpr DwgVersion kVersions[] = {DwgVersion::kR13,  DwgVersion::kR14,  DwgVersion::kR2000, DwgVersion::kR2004,
                                    DwgVersion::kR2007, DwgVersion::kR2010, DwgVersion::kR2013, DwgVersion::kR2018};
const char* const kClasses[] = {"MESH", "LWPOLYLINE", "ACDBDICTIONARYWDFLT", "MATERIAL", "HATCH"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  const DwgVersion version = kVersions[data[0] % 8];
  const uint32_t type = (uint32_t{data[1]} | uint32_t{data[2]} << 8) % 600;
  const size_t textBytes = data[3], handleBytes = data[4];
  std::span<const uint8_t> rest(data + 5, size - 5);
  if (textBytes + handleBytes > rest.size()) return 0;
  const auto textStream = rest.subspan(0, textBytes);
  const auto handles = rest.subspan(textBytes, handleBytes);
  const auto bits = rest.subspan(textBytes + handleBytes);
  corvane::dwg::BitReader dataReader(bits, version, "fuzz data");
  corvane::dwg::BitReader textReader(textStream, version, "fuzz text");
  corvane::dwg::BitReader handleReader(handles, version, "fuzz handles");
  corvane::dwg::ObjectReader in(version, dataReader, version >= DwgVersion::kR2007 ? textReader : dataReader,
                                handleReader, 0x2F);
  corvane::dwg::DwgClassInfo cls{kClasses[data[1] % 5], data[2] % 2 == 0};
  corvane::dwg::DwgNames names;
  names.byHandle[0x10] = "0";
  names.modelSpace = 0x1F;
  corvane::dwg::DwgObject object;
  std::string text;
  try {
    corvane::dwg::decodeObject(in, type, type >= 500 ? &cls : nullptr, names, object, text);
  } catch (const corvane::dwg::DwgError&) {
  }
  return 0;
}
