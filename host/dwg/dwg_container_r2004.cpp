#include "dwg/dwg_container_r2004.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "dwg/bit_reader.h"
#include "dwg/dwg_checksums.h"
#include "dwg/dwg_error.h"
#include "dwg/r2004_decompressor.h"

namespace corvane::dwg {
namespace {

constexpr uint32_t kPageMapType = 0x41630E3B;
constexpr uint32_t kSectionMapType = 0x4163003B;
constexpr uint32_t kDataPageType = 0x4163043B;
constexpr uint32_t kDataPageMask = 0x4164536B;
// Pages are numbered from this file offset on.
constexpr uint64_t kFirstPageAddress = 0x100;
// No compressed byte yields more than 256 output bytes (a long back
// reference adds 255 a byte), so no page holds more than this times its
// compressed size, plus the short tail of its last opcode.
constexpr uint64_t kMaxExpansion = 256;
constexpr uint64_t kExpansionSlack = 1024;
// Writers cut sections into pages of 0x7400 bytes; a page stated larger
// than this is refused before anything is made for it.
constexpr uint32_t kMaxPageSize = 0x100000;

uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void putLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

struct PageLocation {
  uint64_t address = 0;
  uint32_t size = 0;
};

struct SectionPage {
  int32_t number = 0;
  uint32_t dataSize = 0;
  uint64_t start = 0;
};

struct SectionInfo {
  std::string name;
  uint64_t size = 0;
  uint32_t maxPageSize = 0;
  uint32_t compressed = 0;
  uint32_t id = 0;
  uint32_t encrypted = 0;
  std::vector<SectionPage> pages;
};

std::string pageName(const std::string& section, const SectionPage& sp) {
  return section + " page " + std::to_string(sp.number);
}

[[noreturn]] void refuseStart(const std::string& structure, const PageLocation& where, const SectionPage& sp) {
  throw DwgError(structure, where.address, "a start offset of " + std::to_string(sp.start) +
                                              " overlaps the page before it or lies past the section's end");
}

// The most bytes a data page of INFO may hold: its compressed bytes' worth.
size_t pageRoom(const SectionInfo& info, const SectionPage& sp) {
  if (info.compressed == 1) return info.maxPageSize;
  return size_t(std::min<uint64_t>(info.maxPageSize, uint64_t(sp.dataSize) * kMaxExpansion + kExpansionSlack));
}

// One data page of FILE: a 32-byte header XORed with a mask made from its
// file offset (type, section id, data size, page size, start offset, two
// checksums), then the data, checked and decoded into ROOM. Returns the
// bytes the page holds, or ROOM's size plus one once ROOM is full and the
// page holds more (what passes ROOM is not decoded).
size_t readDataPage(std::span<const uint8_t> file, const SectionInfo& info, const SectionPage& sp,
                    const PageLocation& where, const std::string& structure, std::span<uint8_t> room) {
  if (where.size < 32) throw DwgError(structure, where.address, "a page too short for its header");
  uint8_t head[32];
  std::memcpy(head, file.data() + where.address, 32);
  uint32_t mask = kDataPageMask ^ uint32_t(where.address);
  uint32_t words[8];
  for (int i = 0; i < 8; ++i) {
    words[i] = le32(head + 4 * i) ^ mask;
    putLe32(head + 4 * i, words[i]);
  }
  if (words[0] != kDataPageType) throw DwgError(structure, where.address, "not a data page (its type is wrong)");
  if (words[1] != info.id)
    throw DwgError(structure, where.address, "the page belongs to section " + std::to_string(words[1]) +
                                                 ", not " + std::to_string(info.id));
  uint32_t dataSize = words[2];
  if (dataSize != sp.dataSize || dataSize > where.size - 32)
    throw DwgError(structure, where.address + 8, "a data size of " + std::to_string(dataSize) +
                                                     " bytes that its page or the section map doesn't hold");
  if ((uint64_t(words[5]) << 32 | words[4]) != sp.start)
    throw DwgError(structure, where.address + 16, "a start offset that differs from the section map's");
  std::span<const uint8_t> data = file.subspan(size_t(where.address) + 32, dataSize);
  uint32_t dataChecksum = pageChecksum(0, data);
  if (dataChecksum != words[7]) throw DwgError(structure, where.address + 32, "checksum mismatch in the page's data");
  putLe32(head + 24, 0);
  if (pageChecksum(dataChecksum, head) != words[6])
    throw DwgError(structure, where.address, "checksum mismatch in the page's header");
  if (info.compressed == 1) {
    const size_t held = std::min<size_t>(data.size(), info.maxPageSize);
    std::memcpy(room.data(), data.data(), std::min(held, room.size()));
    return held;
  }
  return decompressR2004(data, room, pageRoom(info, sp), structure, where.address + 32);
}

class R2004Reader {
public:
  R2004Reader(std::span<const uint8_t> file, DwgVersion version, DwgObjectReading reading)
      : file_(file), version_(version), reading_(reading) {}

  DwgSections read() {
    DwgSections sections;
    sections.version = version_;
    readFileHeader(sections);
    readPageMap();
    readSectionMap();
    sections.header = section("AcDb:Header", true);
    sections.classes = section("AcDb:Classes", true);
    sections.handles = section("AcDb:Handles", true);
    if (reading_ == DwgObjectReading::kAsAsked) {
      sections.objectPages = sectionAsAsked("AcDb:AcDbObjects");
      sections.objects = sections.objectPages->bytes();
    } else {
      sections.ownedObjects = section("AcDb:AcDbObjects", true);
      sections.objects = sections.ownedObjects;
    }
    sections.dataStorage = section("AcDb:AcDsPrototype_1b", false);
    return sections;
  }

private:
  void readFileHeader(DwgSections& sections) {
    BitReader in(file_, version_, "file header");
    in.seek(0x0B * 8);
    sections.maintenanceVersion = in.readRC();
    in.seek(0x13 * 8);
    sections.codePage = in.readRS();
    in.seek(0x18 * 8);
    uint32_t security = in.readRL();
    // Bit 1: the data is encrypted; bit 2: the properties are. Signed or
    // time-stamped drawings (4, 8) read as any other.
    if (security & 3) throw DwgError("file header", 0x18, "password-protected drawings can't be read (the drawing is encrypted)");
    in.seek(0x80 * 8);
    uint8_t header[0x6C];
    in.readBytes(header);
    uint8_t mask[0x6C];
    r2004HeaderMask(mask);
    for (size_t i = 0; i < sizeof header; ++i) header[i] ^= mask[i];
    if (std::memcmp(header, "AcFssFcAJMB", 12) != 0)
      throw DwgError("file header", 0x80, "the encrypted file header doesn't decrypt to its identification");
    uint32_t stored = le32(header + 0x68);
    putLe32(header + 0x68, 0);
    if (crc32(0, header) != stored) throw DwgError("file header", 0x80 + 0x68, "checksum mismatch");
    BitReader fields(header, version_, "file header", 0x80);
    // A copy of these fields ends the file: a file that ends before it was
    // cut short.
    fields.seek(0x34 * 8);
    uint64_t copyAt = fields.readRLL();
    if (copyAt > file_.size() || file_.size() - copyAt < sizeof header)
      throw DwgError("file header", 0x80 + 0x34, "the file ends before the copy of its header at byte " +
                                                     std::to_string(copyAt) + " (cut short?)");
    fields.seek(0x54 * 8);
    uint64_t pageMap = fields.readRLL();
    sectionMapId_ = fields.readRL();
    if (pageMap > file_.size()) throw DwgError("file header", 0x80 + 0x54, "the page map lies past the end of the file");
    pageMapAddress_ = pageMap + kFirstPageAddress;
  }

  // A page map or section map: a 20-byte header (type, decompressed size,
  // compressed size, compression, checksum), then the compressed data.
  std::vector<uint8_t> readSystemPage(uint64_t address, uint32_t type, const char* name) {
    if (address > file_.size()) throw DwgError(name, address, "the page lies past the end of the file");
    BitReader in(file_, version_, name);
    in.seek(address * 8);
    if (in.readRL() != type) throw DwgError(name, address, "not a " + std::string(name) + " page (its type is wrong)");
    uint32_t decompressedSize = in.readRL();
    uint32_t compressedSize = in.readRL();
    uint32_t compression = in.readRL();
    uint32_t checksum = in.readRL();
    if (compression != 2) throw DwgError(name, address + 12, "an unknown compression (" + std::to_string(compression) + ")");
    if (compressedSize > in.remaining() / 8)
      throw DwgError(name, address + 8, std::to_string(compressedSize) + " compressed bytes run past the end of the file");
    // A map holds a few bytes for each page or section of the file: never
    // more than the file itself.
    if (decompressedSize > uint64_t(compressedSize) * kMaxExpansion + kExpansionSlack ||
        decompressedSize > file_.size() + kExpansionSlack)
      throw DwgError(name, address + 4, "a decompressed size of " + std::to_string(decompressedSize) +
                                            " bytes that " + std::to_string(compressedSize) + " compressed bytes can't hold");
    std::span<const uint8_t> data = in.viewBytes(compressedSize);
    uint8_t head[20];
    std::memcpy(head, file_.data() + address, 16);
    putLe32(head + 16, 0);
    if (pageChecksum(pageChecksum(0, head), data) != checksum) throw DwgError(name, address + 16, "checksum mismatch");
    std::vector<uint8_t> out(decompressedSize);
    size_t written = decompressR2004(data, out, out.size(), name, address + 20);
    if (written != decompressedSize)
      throw DwgError(name, address + 4, "the page decompresses to " + std::to_string(written) +
                                            " bytes, not the " + std::to_string(decompressedSize) + " it states");
    return out;
  }

  void readPageMap() {
    std::vector<uint8_t> map = readSystemPage(pageMapAddress_, kPageMapType, "page map");
    BitReader in(map, version_, "page map");
    uint64_t address = kFirstPageAddress;
    while (in.remaining() >= 64) {
      uint64_t at = in.position() / 8;
      int32_t number = int32_t(in.readRL());
      uint32_t size = in.readRL();
      if (number < 0) {
        // A gap: parent, left and right neighbours and a zero follow.
        in.readRL();
        in.readRL();
        in.readRL();
        in.readRL();
      } else if (!pages_.emplace(number, PageLocation{address, size}).second) {
        throw DwgError("page map", at, "page " + std::to_string(number) + " appears twice");
      }
      address += size;
    }
  }

  const PageLocation& page(int32_t number, const std::string& structure, uint64_t at) const {
    auto found = pages_.find(number);
    if (found == pages_.end()) throw DwgError(structure, at, "page " + std::to_string(number) + " is not in the page map");
    if (found->second.address > file_.size() || found->second.size > file_.size() - found->second.address)
      throw DwgError(structure, at, "page " + std::to_string(number) + " lies past the end of the file (" +
                                        std::to_string(found->second.address) + " + " + std::to_string(found->second.size) + ")");
    return found->second;
  }

  void readSectionMap() {
    const PageLocation& where = page(int32_t(sectionMapId_), "file header", 0x80 + 0x5C);
    std::vector<uint8_t> map = readSystemPage(where.address, kSectionMapType, "section map");
    BitReader in(map, version_, "section map");
    uint32_t count = in.readRL();
    in.readRL(); // 2
    in.readRL(); // 0x7400
    in.readRL(); // 0
    in.readRL(); // the count again
    // Each description takes 96 bytes before its pages.
    if (count > in.remaining() / (96 * 8))
      throw DwgError("section map", 0, std::to_string(count) + " section descriptions can't fit in the map");
    for (uint32_t i = 0; i < count; ++i) {
      SectionInfo info;
      info.size = in.readRLL();
      uint32_t pageCount = in.readRL();
      info.maxPageSize = in.readRL();
      in.readRL();
      info.compressed = in.readRL();
      info.id = in.readRL();
      info.encrypted = in.readRL();
      char name[64];
      in.readBytes(std::span<uint8_t>(reinterpret_cast<uint8_t*>(name), sizeof name));
      info.name.assign(name, strnlen(name, sizeof name));
      if (pageCount > in.remaining() / (16 * 8))
        throw DwgError("section map", in.position() / 8, std::to_string(pageCount) + " pages of " + info.name + " can't fit in the map");
      for (uint32_t p = 0; p < pageCount; ++p) {
        SectionPage page;
        page.number = int32_t(in.readRL());
        page.dataSize = in.readRL();
        page.start = in.readRLL();
        info.pages.push_back(page);
      }
      if (!info.name.empty()) {
        std::string key = info.name;
        sections_.emplace(std::move(key), std::move(info));
      }
    }
  }

  // The section NAME as the section map states it, checked; null when the
  // drawing has none and it is not REQUIRED.
  const SectionInfo* sectionInfo(const std::string& name, bool required) const {
    auto found = sections_.find(name);
    if (found == sections_.end()) {
      if (required) throw DwgError("section map", 0, "the drawing has no " + name + " section");
      return nullptr;
    }
    const SectionInfo& info = found->second;
    if (info.encrypted == 1)
      throw DwgError("section map", 0, "password-protected drawings can't be read (its " + name + " section is encrypted)");
    if (info.compressed != 1 && info.compressed != 2)
      throw DwgError("section map", 0, name + " has an unknown compression (" + std::to_string(info.compressed) + ")");
    if (info.maxPageSize > kMaxPageSize)
      throw DwgError("section map", 0, name + " states pages of " + std::to_string(info.maxPageSize) + " bytes");
    if (info.size > uint64_t(info.pages.size()) * info.maxPageSize)
      throw DwgError("section map", 0, name + " states " + std::to_string(info.size) + " bytes, more than its " +
                                           std::to_string(info.pages.size()) + " pages of " +
                                           std::to_string(info.maxPageSize) + " bytes hold");
    if (info.size > uint64_t(file_.size()) * kMaxExpansion + kExpansionSlack)
      throw DwgError("section map", 0, name + " states " + std::to_string(info.size) + " bytes, more than a file of " +
                                           std::to_string(file_.size()) + " bytes can hold");
    return &info;
  }

  // The bytes of the section NAME, its pages decompressed into place.
  std::vector<uint8_t> section(const std::string& name, bool required) {
    const SectionInfo* found = sectionInfo(name, required);
    if (found == nullptr) return {};
    const SectionInfo& info = *found;
    // The section's bytes, made once and filled page by page: each page
    // is decompressed where it goes (through a buffer of its own only
    // where it could pass the section's end). Memory is taken as pages
    // are read, so that a file that lies about its sizes is refused at
    // its first bad page.
    std::vector<uint8_t> out;
    out.reserve(size_t(info.size));
    for (const SectionPage& sp : info.pages) {
      std::string structure = pageName(name, sp);
      const PageLocation& where = page(sp.number, structure, 0);
      // A page that starts past what the pages before it filled follows
      // pages of zeros that were not written.
      if (sp.start < out.size() || sp.start > info.size) refuseStart(structure, where, sp);
      const size_t left = size_t(info.size - sp.start);
      out.resize(size_t(sp.start) + std::min(left, pageRoom(info, sp)), 0);
      const size_t held =
          readDataPage(file_, info, sp, where, structure, std::span<uint8_t>(out).subspan(size_t(sp.start)));
      out.resize(size_t(sp.start) + std::min(held, left));
    }
    out.resize(size_t(info.size), 0);
    return out;
  }

  // The section NAME to be read page by page as it is asked for: each
  // page's slot runs from its start to the next page's; a page that holds
  // more than its slot overlaps the next, which is refused as section()
  // refuses it.
  std::unique_ptr<DwgObjectPages> sectionAsAsked(const std::string& name) {
    const SectionInfo& info = *sectionInfo(name, true);
    std::vector<DwgObjectPages::Slot> slots;
    std::vector<PageLocation> where;
    for (size_t i = 0; i < info.pages.size(); ++i) {
      const SectionPage& sp = info.pages[i];
      const std::string structure = pageName(name, sp);
      where.push_back(page(sp.number, structure, 0));
      if (sp.start > info.size || (i > 0 && sp.start < info.pages[i - 1].start)) refuseStart(structure, where.back(), sp);
      if (i > 0) slots.back().end = sp.start;
      slots.push_back({sp.start, info.size});
    }
    const std::span<const uint8_t> file = file_;
    return std::make_unique<DwgObjectPages>(
        info.size, std::move(slots),
        [file, info, where, name](size_t i, std::span<uint8_t> section) {
          const SectionPage& sp = info.pages[i];
          const uint64_t slotEnd = i + 1 < info.pages.size() ? info.pages[i + 1].start : info.size;
          const std::span<uint8_t> slot = section.subspan(size_t(sp.start), size_t(slotEnd - sp.start));
          const size_t held = std::min<uint64_t>(
              readDataPage(file, info, sp, where[i], pageName(name, sp), slot), info.size - sp.start);
          if (held > slot.size()) refuseStart(pageName(name, info.pages[i + 1]), where[i + 1], info.pages[i + 1]);
          std::memset(slot.data() + held, 0, slot.size() - held);
        });
  }

  std::span<const uint8_t> file_;
  DwgVersion version_;
  DwgObjectReading reading_;
  uint64_t pageMapAddress_ = 0;
  uint32_t sectionMapId_ = 0;
  std::map<int32_t, PageLocation> pages_;
  std::map<std::string, SectionInfo> sections_;
};

} // namespace

void r2004HeaderMask(std::span<uint8_t, 0x6C> mask) {
  uint32_t seed = 1;
  for (uint8_t& b : mask) {
    seed = seed * 0x343FD + 0x269EC3;
    b = uint8_t(seed >> 16);
  }
}

DwgSections readR2004Container(std::span<const uint8_t> file, DwgVersion version, DwgObjectReading reading) {
  return R2004Reader(file, version, reading).read();
}

} // namespace corvane::dwg
