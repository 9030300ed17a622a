#include "dwg/dwg_object_frame.h"

#include <string>

#include "dwg/dwg_checksums.h"
#include "dwg/dwg_error.h"
#include "dwg/dwg_section_streams.h"

namespace corvane::dwg {
namespace {

constexpr const char* kSection = "AcDb:AcDbObjects";

// Moves IN past N bytes, refusing a count that passes its end.
void skipBytes(BitReader& in, uint64_t n, const char* what) {
  if (n > in.remaining() / 8) in.fail(std::string(what) + " of " + std::to_string(n) + " bytes runs past the object");
  in.seek(in.position() + n * 8);
}

// The sizes before the object at OFFSET: F's size and data offset, and
// (R2010 and later) the handle stream's bits, returned.
uint64_t readSizes(const DwgSections& sections, uint64_t offset, DwgObjectFrame& f) {
  const uint64_t total = sections.objects.size();
  if (offset >= total) throw DwgError(kSection, offset, "an object past the end of the objects");
  // The sizes take at most 13 bytes (two words, nine bytes).
  BitReader head(sections.objectBytes(offset, offset + 16), sections.version, kSection, offset);
  f.size = head.readMS();
  uint64_t handleStreamBits = 0;
  if (sections.version >= DwgVersion::kR2010) handleStreamBits = head.readUMC();
  f.dataOffset = offset + head.position() / 8;
  if (f.size > total - f.dataOffset || total - f.dataOffset - f.size < 2)
    throw DwgError(kSection, offset, "an object of " + std::to_string(f.size) + " bytes runs past the objects");
  return handleStreamBits;
}

} // namespace

uint16_t objectTypeAt(const DwgSections& sections, uint64_t offset) {
  DwgObjectFrame f;
  readSizes(sections, offset, f);
  // The type takes at most three bytes.
  BitReader in(sections.objectBytes(f.dataOffset, f.dataOffset + std::min<uint32_t>(f.size, 8)), sections.version,
               kSection, f.dataOffset);
  return sections.version >= DwgVersion::kR2010 ? in.readOT() : in.readBS();
}

DwgObjectFrame frameObject(const DwgSections& sections, const std::vector<DwgClass>& classes, uint64_t offset) {
  DwgObjectFrame f;
  f.version = sections.version;
  f.offset = offset;
  const uint64_t handleStreamBits = readSizes(sections, offset, f);
  // The object from its sizes to its CRC, read: `objects` may be read there.
  sections.objectBytes(offset, f.dataOffset + f.size + 2);
  const std::span<const uint8_t> objects = sections.objects;
  uint16_t crcStored = uint16_t(objects[f.dataOffset + f.size] | objects[f.dataOffset + f.size + 1] << 8);
  if (crc16(kCrc16SectionSeed, objects.subspan(size_t(offset), size_t(f.dataOffset + f.size - offset))) != crcStored)
    throw DwgError(kSection, f.dataOffset + f.size, "checksum mismatch");
  f.data = objects.subspan(size_t(f.dataOffset), f.size);
  const uint64_t endBit = uint64_t(f.size) * 8;
  BitReader in(f.data, sections.version, kSection, f.dataOffset);

  uint64_t handlesBit = 0;
  if (sections.version >= DwgVersion::kR2010) {
    if (handleStreamBits > endBit) in.fail("a handle stream of " + std::to_string(handleStreamBits) + " bits, longer than the object");
    handlesBit = endBit - handleStreamBits;
    f.type = in.readOT();
  } else {
    f.type = in.readBS();
    if (sections.version >= DwgVersion::kR2000) handlesBit = in.readRL();
  }
  f.handle = in.readH().handle;
  f.eedBit = in.position();

  if (sections.version <= DwgVersion::kR14) {
    // The extended data: runs of (size, application handle, bytes) until a
    // size of zero; then an entity's graphic, then where the handles start.
    while (uint16_t eedSize = in.readBS()) {
      in.readH();
      skipBytes(in, eedSize, "extended data");
    }
    std::optional<bool> entity = isEntityType(f.type, classes);
    if (!entity) in.failAt(0, "object type " + std::to_string(f.type) + " is neither one the format defines nor a class's");
    if (*entity && in.readB()) skipBytes(in, in.readRL(), "a graphic");
    handlesBit = in.readRL();
  }
  if (handlesBit > endBit || handlesBit < f.eedBit)
    in.failAt(0, "handles said to start at bit " + std::to_string(handlesBit) + ", outside the object's " +
                     std::to_string(endBit) + " bits");
  f.handlesBit = handlesBit;
  f.dataEndBit = handlesBit;
  if (sections.version >= DwgVersion::kR2007) {
    BitReader whole(f.data, sections.version, kSection, f.dataOffset);
    DwgStringStream text = findStringStream(whole, f.eedBit, handlesBit);
    f.hasStrings = text.present;
    f.stringsBit = text.begin;
    f.stringsEndBit = text.end;
    f.dataEndBit = text.dataEnd;
  }
  return f;
}

DwgObjectStreams DwgObjectFrame::streams() const {
  BitReader main(data, dataEndBit, version, kSection, dataOffset);
  main.seek(eedBit);
  BitReader text(data, stringsEndBit, version, kSection, dataOffset);
  text.seek(stringsBit);
  BitReader handleStream(data, version, kSection, dataOffset);
  handleStream.seek(handlesBit);
  return DwgObjectStreams{main, text, handleStream, version >= DwgVersion::kR2007};
}

} // namespace corvane::dwg
