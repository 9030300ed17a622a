#include "dwg/dwg_container_r2000.h"

#include <string>

#include "dwg/bit_reader.h"
#include "dwg/dwg_checksums.h"
#include "dwg/dwg_error.h"

namespace corvane::dwg {
namespace {

const uint8_t kFileHeaderSentinel[16] = {0x95, 0xA0, 0x4E, 0x28, 0x99, 0x82, 0x1A, 0xE5,
                                         0x5E, 0x41, 0xE0, 0x5F, 0x9D, 0x3A, 0x4D, 0x00};

// The file header's CRC is XORed with a constant that depends on how many
// locators it holds; these are the counts the format knows.
bool crcMask(uint32_t locators, uint16_t& mask) {
  switch (locators) {
  case 3: mask = 0xA598; return true;
  case 4: mask = 0x8101; return true;
  case 5: mask = 0x3CC4; return true;
  case 6: mask = 0x8461; return true;
  default: return false;
  }
}

struct Locator {
  bool present = false;
  uint32_t offset = 0;
  uint32_t size = 0;
};

} // namespace

DwgSections readR2000Container(std::span<const uint8_t> file, DwgVersion version) {
  DwgSections sections;
  sections.version = version;
  BitReader in(file, version, "file header");
  in.seek(0x0B * 8);
  sections.maintenanceVersion = in.readRC();
  in.seek(0x13 * 8);
  sections.codePage = in.readRS();
  uint32_t count = in.readRL();
  uint16_t mask = 0;
  if (!crcMask(count, mask))
    throw DwgError("file header", 0x15, "a file header with " + std::to_string(count) + " section locators");
  // Record 0 is the header variables, 1 the classes, 2 the object map; the
  // others (an unknown block, the measurement, the auxiliary header) are
  // not needed.
  Locator locators[3];
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t at = in.position() / 8;
    uint8_t record = in.readRC();
    uint32_t offset = in.readRL();
    uint32_t size = in.readRL();
    // Every locator, needed or not, must lie in the file: a file cut short
    // loses the last of them first.
    if (offset > file.size() || size > file.size() - offset)
      throw DwgError("file header", at,
                     "section locator " + std::to_string(record) + " points past the end of the file (" +
                         std::to_string(offset) + " + " + std::to_string(size) + " > " +
                         std::to_string(file.size()) + ")");
    if (record >= 3) continue;
    if (locators[record].present)
      throw DwgError("file header", at, "section locator " + std::to_string(record) + " appears twice");
    locators[record] = Locator{true, offset, size};
  }
  uint64_t crcAt = in.position() / 8;
  uint16_t stored = in.readRS();
  uint16_t computed = uint16_t(crc16(0, file.first(size_t(crcAt))) ^ mask);
  if (stored != computed) throw DwgError("file header", crcAt, "checksum mismatch");
  in.expectSentinel(kFileHeaderSentinel, "file header's end");
  static const char* const kNames[3] = {"header variables", "classes", "object map"};
  for (int record = 0; record < 3; ++record)
    if (!locators[record].present)
      throw DwgError("file header", 0x15, std::string("no locator for the ") + kNames[record] + " section");
  auto bytesOf = [&](const Locator& l) {
    return std::vector<uint8_t>(file.begin() + l.offset, file.begin() + l.offset + l.size);
  };
  sections.header = bytesOf(locators[0]);
  sections.classes = bytesOf(locators[1]);
  sections.handles = bytesOf(locators[2]);
  sections.objects = file;
  return sections;
}

} // namespace corvane::dwg
