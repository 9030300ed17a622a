#include "dwg/dwg_sections.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "dwg/bit_reader.h"
#include "dwg/dwg_checksums.h"
#include "dwg/dwg_container_r2000.h"
#include "dwg/dwg_container_r2004.h"
#include "dwg/dwg_container_r2007.h"
#include "dwg/dwg_error.h"

namespace corvane::dwg {
namespace {

struct KnownMagic {
  std::string_view magic;
  DwgVersion version;
};
constexpr KnownMagic kMagics[] = {
    {"AC1012", DwgVersion::kR13},  {"AC1014", DwgVersion::kR14},  {"AC1015", DwgVersion::kR2000},
    {"AC1018", DwgVersion::kR2004}, {"AC1021", DwgVersion::kR2007}, {"AC1024", DwgVersion::kR2010},
    {"AC1027", DwgVersion::kR2013}, {"AC1032", DwgVersion::kR2018},
};

// Versions before R13, by the magic their files open with.
struct OldMagic {
  std::string_view magic;
  std::string_view release;
};
constexpr OldMagic kOldMagics[] = {
    {"AC1009", "R11/R12"}, {"AC1006", "R10"}, {"AC1004", "R9"},     {"AC1003", "R2.6"},
    {"AC1002", "R2.5"},    {"AC2.10", "R2.1"}, {"AC1.50", "R2.05"}, {"AC1.40", "R1.40"},
    {"AC1.2", "R1.2"},     {"MC0.0", "R1.1"},
};

std::string_view magicOf(std::span<const uint8_t> file) {
  return std::string_view(reinterpret_cast<const char*>(file.data()), std::min<size_t>(file.size(), 6));
}

// The one line a file that is no readable DWG gets.
[[noreturn]] void refuseVersion(std::span<const uint8_t> file) {
  std::string_view magic = magicOf(file);
  for (const OldMagic& old : kOldMagics)
    if (magic.starts_with(old.magic))
      throw DwgError("file header", 0,
                     std::string(old.magic) + " (" + std::string(old.release) +
                         ") drawings are older than the DWG versions this reader reads (R13 to R2018)");
  if (magic.size() == 6 && magic.starts_with("AC") &&
      std::all_of(magic.begin() + 2, magic.end(), [](char c) { return c >= '0' && c <= '9'; }))
    throw DwgError("file header", 0,
                   "DWG version " + std::string(magic) + " is not one this reader reads (R13 to R2018)");
  throw DwgError("file header", 0, "not a DWG drawing (its first bytes name no DWG version)");
}

} // namespace

const uint8_t kHeaderSentinel[16] = {0xCF, 0x7B, 0x1F, 0x23, 0xFD, 0xDE, 0x38, 0xA9,
                                     0x5F, 0x7C, 0x68, 0xB8, 0x4E, 0x6D, 0x33, 0x5F};
const uint8_t kClassesSentinel[16] = {0x8D, 0xA1, 0xC4, 0xB8, 0xC4, 0xA9, 0xF8, 0xC5,
                                      0xC0, 0xDC, 0xF4, 0x5F, 0xE7, 0xCF, 0xB6, 0x8A};

std::optional<DwgVersion> versionFromMagic(std::span<const uint8_t> file) {
  std::string_view magic = magicOf(file);
  for (const KnownMagic& known : kMagics)
    if (magic == known.magic) return known.version;
  return std::nullopt;
}

std::string_view versionMagic(DwgVersion version) {
  for (const KnownMagic& known : kMagics)
    if (known.version == version) return known.magic;
  return "AC????";
}

DwgSectionFrame frameSection(std::span<const uint8_t> section, std::span<const uint8_t, 16> begin,
                             std::string_view name, const DwgSections& sections) {
  BitReader in(section, sections.version, name);
  in.expectSentinel(begin, "start");
  uint64_t size = in.readRL();
  bool secondSize = sections.version >= DwgVersion::kR2018 ||
                    (sections.version >= DwgVersion::kR2010 && sections.maintenanceVersion > 3);
  if (secondSize) size |= uint64_t(in.readRL()) << 32;
  DwgSectionFrame frame;
  frame.dataBegin = size_t(in.position() / 8);
  // The data, its CRC and the end sentinel.
  if (size > section.size() - frame.dataBegin || section.size() - frame.dataBegin - size < 18)
    throw DwgError(std::string(name), 16,
                   "a stated size of " + std::to_string(size) + " bytes runs past the section's " +
                       std::to_string(section.size()) + " bytes");
  frame.dataEnd = frame.dataBegin + size_t(size);
  in.seek(uint64_t(frame.dataEnd) * 8);
  uint16_t stored = in.readRS();
  uint16_t computed = crc16(kCrc16SectionSeed, section.subspan(16, frame.dataEnd - 16));
  if (stored != computed) throw DwgError(std::string(name), frame.dataEnd, "checksum mismatch");
  uint8_t end[16];
  for (int i = 0; i < 16; ++i) end[i] = uint8_t(~begin[i]);
  in.expectSentinel(end, "end");
  return frame;
}

DwgObjectPages::DwgObjectPages(uint64_t size, std::vector<Slot> slots, Reader read)
    : bytes_(new uint8_t[size_t(size)]), size_(size), slots_(std::move(slots)), read_(slots_.size()),
      readSlot_(std::move(read)) {}

void DwgObjectPages::fetch(uint64_t begin, uint64_t end) {
  end = std::min(end, size_);
  if (begin >= end) return;
  // The first slot that ends after BEGIN, then each one up to END, with
  // the bytes before and between them.
  size_t i = size_t(std::upper_bound(slots_.begin(), slots_.end(), begin,
                                     [](uint64_t at, const Slot& s) { return at < s.end; }) -
                    slots_.begin());
  uint64_t at = begin;
  for (; at < end; ++i) {
    const uint64_t slotBegin = i < slots_.size() ? slots_[i].begin : size_;
    if (at < slotBegin) {
      const uint64_t gapEnd = std::min(slotBegin, end);
      std::memset(bytes_.get() + at, 0, size_t(gapEnd - at));
      at = gapEnd;
    }
    if (i >= slots_.size() || at >= end) break;
    if (!read_[i]) {
      readSlot_(i, std::span<uint8_t>(bytes_.get(), size_t(size_)));
      read_[i] = true;
    }
    at = slots_[i].end;
  }
}

std::span<const uint8_t> DwgSections::objectBytes(uint64_t begin, uint64_t end) const {
  end = std::min<uint64_t>(end, objects.size());
  if (begin >= end) return {};
  if (objectPages) objectPages->fetch(begin, end);
  return objects.subspan(size_t(begin), size_t(end - begin));
}

DwgSections readDwgSections(std::span<const uint8_t> file, DwgObjectReading reading) {
  std::optional<DwgVersion> version = versionFromMagic(file);
  if (!version) refuseVersion(file);
  DwgSections sections;
  switch (*version) {
  case DwgVersion::kR13:
  case DwgVersion::kR14:
  case DwgVersion::kR2000: sections = readR2000Container(file, *version); break;
  case DwgVersion::kR2007: sections = readR2007Container(file, reading); break;
  default: sections = readR2004Container(file, *version, reading); break;
  }
  frameSection(sections.header, kHeaderSentinel, "AcDb:Header", sections);
  frameSection(sections.classes, kClassesSentinel, "AcDb:Classes", sections);
  return sections;
}

} // namespace corvane::dwg
