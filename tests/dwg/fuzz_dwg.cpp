// libFuzzer target for the DWG reader's structure. An input opening with
// "AC" is a whole file: its structure is read and every object framed, and
// it is read again as an export reads it (objects' pages as asked for, the
// DXF put together in export scope). Any
// other input is one part of a file, wrapped so that its sentinels, sizes
// and CRCs hold and the fuzzer's bytes reach the bit-level readers behind
// them: byte 0 picks the part (header variables, classes, object map, one
// object), byte 1 the version, the rest is the part's data.
//
//   build/fuzz/fuzz/fuzz_dwg NEW_INPUTS_DIR tests/dwg/fuzz_seeds ../shared/corpus/dwg
// reads hand-made parts and the shared corpus in place as seeds (libFuzzer
// writes new inputs to the first folder only).
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "dwg/dwg_checksums.h"
#include "dwg/dwg_error.h"
#include "dwg/dwg_file.h"
#include "dwg/dwg_reader.h"
#include "dwg/dwg_section_streams.h"

namespace {

using namespace corvane::dwg;

constexpr DwgVersion kVersions[] = {DwgVersion::kR13,  DwgVersion::kR14,  DwgVersion::kR2000, DwgVersion::kR2004,
                                    DwgVersion::kR2007, DwgVersion::kR2010, DwgVersion::kR2013, DwgVersion::kR2018};

void putLe(std::vector<uint8_t>& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// SENTINEL, the size word(s), DATA, its CRC and the end sentinel.
std::vector<uint8_t> framedSection(const uint8_t (&sentinel)[16], std::span<const uint8_t> data, const DwgSections& s) {
  std::vector<uint8_t> out(sentinel, sentinel + 16);
  putLe(out, data.size(), 4);
  if (s.version >= DwgVersion::kR2018) putLe(out, 0, 4);
  out.insert(out.end(), data.begin(), data.end());
  uint16_t crc = crc16(kCrc16SectionSeed, std::span(out).subspan(16));
  putLe(out, crc, 2);
  for (uint8_t b : sentinel) out.push_back(uint8_t(~b));
  return out;
}

// DATA cut into object-map pages, each with its big-endian size and CRC,
// then the closing page.
std::vector<uint8_t> mapPages(std::span<const uint8_t> data) {
  std::vector<uint8_t> out;
  for (;;) {
    size_t n = std::min<size_t>(data.size(), 2030);
    size_t start = out.size();
    out.push_back(uint8_t((n + 2) >> 8));
    out.push_back(uint8_t(n + 2));
    out.insert(out.end(), data.begin(), data.begin() + n);
    uint16_t crc = crc16(kCrc16SectionSeed, std::span(out).subspan(start));
    out.push_back(uint8_t(crc >> 8));
    out.push_back(uint8_t(crc));
    if (n == 0) return out;
    data = data.subspan(n);
  }
}

void readWholeFile(std::span<const uint8_t> file) {
  try {
    readDwgAsDxf(file, DwgReadScope::kExport);
  } catch (const DwgError&) {
    // Refused; the structure is read on all the same.
  }
  DwgFile dwg = readDwgFile(file);
  for (const DwgObjectLocation& entry : dwg.objectMap.entries()) {
    DwgObjectFrame f = dwg.frameAt(entry.offset);
    DwgObjectStreams streams = f.streams();
    while (streams.handles.remaining() >= 8) streams.handles.readH(f.handle);
  }
}

void readPart(uint8_t part, DwgVersion version, std::span<const uint8_t> data) {
  DwgSections s;
  s.version = version;
  std::vector<uint8_t> objects(4096);
  s.objects = objects;
  switch (part % 4) {
  case 0:
    s.header = framedSection(kHeaderSentinel, data, s);
    readHeaderVariables(s);
    break;
  case 1:
    s.classes = framedSection(kClassesSentinel, data, s);
    readClasses(s);
    break;
  case 2:
    s.handles = mapPages(data);
    readObjectMap(s);
    break;
  default: {
    // One object: its size, from R2010 on a handle stream size taken from
    // the data's first byte, the data, its CRC.
    std::vector<uint8_t> object;
    uint64_t handleBits = 0;
    if (version >= DwgVersion::kR2010 && !data.empty()) {
      handleBits = data[0];
      data = data.subspan(1);
    }
    size_t n = std::min<size_t>(data.size(), 0x7FFF);
    putLe(object, n, 2);
    if (version >= DwgVersion::kR2010) object.push_back(uint8_t(handleBits & 0x7F));
    object.insert(object.end(), data.begin(), data.begin() + n);
    putLe(object, crc16(kCrc16SectionSeed, object), 2);
    s.objects = object;
    std::vector<DwgClass> classes(1);
    classes[0].number = 500;
    classes[0].itemClassId = 0x1F2;
    DwgObjectFrame f = frameObject(s, classes, 0);
    DwgObjectStreams streams = f.streams();
    while (streams.handles.remaining() >= 8) streams.handles.readH(f.handle);
    while (streams.text().remaining() >= 2) streams.text().readT();
    break;
  }
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::span<const uint8_t> input(data, size);
  try {
    if (size >= 2 && data[0] == 'A' && data[1] == 'C')
      readWholeFile(input);
    else if (size >= 2)
      readPart(data[0], kVersions[data[1] % 8], input.subspan(2));
  } catch (const DwgError&) {
    // Refused: what every damaged input must come to.
  }
  return 0;
}
