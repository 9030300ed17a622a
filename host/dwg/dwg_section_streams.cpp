#include "dwg/dwg_section_streams.h"

#include <string>

namespace corvane::dwg {

DwgStringStream findStringStream(const BitReader& in, uint64_t start, uint64_t end) {
  DwgStringStream found;
  if (end < start + 1 || end > in.end()) in.failAt(start, "the data is too short to end in a text flag");
  BitReader at = in;
  at.seek(end - 1);
  found.present = at.readB();
  found.dataEnd = end - 1;
  if (!found.present) return found;
  uint64_t sizeAt = end - 1;
  if (sizeAt < start + 16) in.failAt(start, "the data is too short for the size of its text");
  sizeAt -= 16;
  at.seek(sizeAt);
  uint64_t size = at.readRS();
  if (size & 0x8000) {
    if (sizeAt < start + 16) in.failAt(start, "the data is too short for the size of its text");
    sizeAt -= 16;
    at.seek(sizeAt);
    size = (size & 0x7FFF) | (uint64_t(at.readRS()) << 15);
  }
  if (size > sizeAt - start)
    in.failAt(sizeAt, "a text of " + std::to_string(size) + " bits, more than the data before it holds");
  found.end = sizeAt;
  found.begin = sizeAt - size;
  found.dataEnd = found.begin;
  return found;
}

DwgSectionStreams sectionStreams(std::span<const uint8_t> section, std::span<const uint8_t, 16> begin,
                                 std::string_view name, const DwgSections& sections) {
  DwgSectionFrame frame = frameSection(section, begin, name, sections);
  BitReader data(section, uint64_t(frame.dataEnd) * 8, sections.version, name);
  data.seek(uint64_t(frame.dataBegin) * 8);
  if (sections.version < DwgVersion::kR2007) return DwgSectionStreams{data, data, data, false};
  // The size in bits counts from its own first bit; the handles follow the
  // data it covers, up to the section's data end.
  uint64_t start = data.position();
  uint64_t bits = data.readRL();
  if (bits > data.end() - start) data.failAt(start, "a size of " + std::to_string(bits) + " bits runs past the data");
  DwgStringStream text = findStringStream(data, data.position(), start + bits);
  DwgSectionStreams streams{data, data, data, true};
  streams.handleStream.seek(start + bits);
  streams.strings.seek(text.begin);
  streams.strings.limit(text.present ? text.end : text.begin);
  streams.data.limit(text.dataEnd);
  return streams;
}

} // namespace corvane::dwg
