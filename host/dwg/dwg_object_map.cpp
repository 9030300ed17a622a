#include "dwg/dwg_object_map.h"

#include <algorithm>
#include <string>

#include "dwg/bit_reader.h"
#include "dwg/dwg_checksums.h"
#include "dwg/dwg_error.h"
#include "dxf/dxf_values.h"

namespace corvane::dwg {

std::optional<size_t> DwgObjectMap::indexOf(uint64_t handle) const {
  auto at = std::lower_bound(entries_.begin(), entries_.end(), handle,
                             [](const DwgObjectLocation& l, uint64_t h) { return l.handle < h; });
  if (at == entries_.end() || at->handle != handle) return std::nullopt;
  return static_cast<size_t>(at - entries_.begin());
}

std::optional<uint64_t> DwgObjectMap::find(uint64_t handle) const {
  const std::optional<size_t> i = indexOf(handle);
  if (!i) return std::nullopt;
  return entries_[*i].offset;
}

DwgObjectMap readObjectMap(const DwgSections& sections) {
  static constexpr const char* kSection = "AcDb:Handles";
  DwgObjectMap map;
  BitReader in(sections.handles, sections.version, kSection);
  for (;;) {
    uint64_t pageStart = in.position() / 8;
    uint16_t size = in.readRSBigEndian();
    // The size counts its own two bytes; the CRC follows the page.
    if (size < 2 || uint64_t(size - 2) > in.remaining() / 8)
      throw DwgError(kSection, pageStart, "a page of " + std::to_string(size) + " bytes runs past the map's end");
    uint64_t pageEnd = pageStart + size;
    BitReader page(std::span<const uint8_t>(sections.handles).first(size_t(pageEnd)), sections.version, kSection);
    page.seek(in.position());
    uint64_t handle = 0;
    int64_t offset = 0;
    while (page.remaining() > 0) {
      uint64_t at = page.position() / 8;
      uint64_t handleDelta = page.readUMC();
      int64_t offsetDelta = page.readMC();
      if (handleDelta > UINT64_MAX - handle) throw DwgError(kSection, at, "a handle past the largest handle");
      handle += handleDelta;
      offset += offsetDelta;
      if (offset < 0 || uint64_t(offset) >= sections.objects.size())
        throw DwgError(kSection, at, "the object of handle " + formatHandle(handle) + " lies outside the objects (offset " +
                                         std::to_string(offset) + " of " + std::to_string(sections.objects.size()) + ")");
      map.entries_.push_back(DwgObjectLocation{handle, uint64_t(offset)});
    }
    in.seek(pageEnd * 8);
    uint16_t stored = in.readRSBigEndian();
    if (stored != crc16(kCrc16SectionSeed, std::span<const uint8_t>(sections.handles).subspan(size_t(pageStart), size)))
      throw DwgError(kSection, pageEnd, "checksum mismatch");
    if (size == 2) break;
  }
  // Writers list handles in order, page after page: sorted only if not.
  const auto byHandle = [](const DwgObjectLocation& a, const DwgObjectLocation& b) { return a.handle < b.handle; };
  if (!std::is_sorted(map.entries_.begin(), map.entries_.end(), byHandle))
    std::sort(map.entries_.begin(), map.entries_.end(), byHandle);
  for (size_t i = 1; i < map.entries_.size(); ++i)
    if (map.entries_[i].handle == map.entries_[i - 1].handle)
      throw DwgError(kSection, 0, "handle " + formatHandle(map.entries_[i].handle) + " appears twice in the map");
  return map;
}

} // namespace corvane::dwg
