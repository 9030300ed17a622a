// What a DWG file's container holds, once its structure has been read: the
// version, and the bytes of each section the object reader needs, after
// decoding and decompression. Three containers fill it (R13 to R2000; the
// paged layout of R2004, R2010 and later; R2007's own); everything above it
// reads sections, never file offsets, except that R13 to R2000 keep their
// objects at offsets of the file itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace corvane::dwg {

enum class DwgVersion : uint8_t { kR13, kR14, kR2000, kR2004, kR2007, kR2010, kR2013, kR2018 };

// The version named by the file's first six bytes ("AC1012" ... "AC1032");
// nullopt for any other file, earlier DWG versions included.
std::optional<DwgVersion> versionFromMagic(std::span<const uint8_t> file);
// "AC1015" for kR2000, and so on.
std::string_view versionMagic(DwgVersion version);

// How a container reads the objects' section (R2004 and later): all of it
// at once, or each page when a byte of it is first asked for
// (DwgSections::objectBytes), so that a reader that needs a few objects
// decompresses, checks and holds in memory only their pages.
enum class DwgObjectReading : uint8_t { kAll, kAsAsked };

// The objects' section read as it is asked for: memory for the whole
// section, taken once but touched only where pages are read, and the pages
// laid over it. Each page fills a stretch of the section (its "slot"); a
// byte no slot covers reads as zero.
class DwgObjectPages {
public:
  struct Slot {
    uint64_t begin = 0, end = 0; // ascending, apart
  };
  // READ fills slot I of SECTION (the whole section's bytes) from its page,
  // or throws DwgError for a page that can't be read.
  using Reader = std::function<void(size_t i, std::span<uint8_t> section)>;
  DwgObjectPages(uint64_t size, std::vector<Slot> slots, Reader read);

  std::span<const uint8_t> bytes() const { return {bytes_.get(), size_}; }
  // Makes [BEGIN, END) readable (END clamped to the size): the slots it
  // touches read, the bytes between them zeroed.
  void fetch(uint64_t begin, uint64_t end);

private:
  std::unique_ptr<uint8_t[]> bytes_;
  uint64_t size_;
  std::vector<Slot> slots_;
  std::vector<bool> read_;
  Reader readSlot_;
};

struct DwgSections {
  DwgVersion version = DwgVersion::kR2000;
  uint16_t codePage = 0; // the file header's code page number (30 = ANSI_1252)
  // The file header's maintenance release (byte 0x0B), which R2010 and
  // R2013 need to know where a section's data begins (see frameSection).
  // The R2007 container may leave it 0.
  uint8_t maintenanceVersion = 0;

  // Each section's bytes as the object reader reads them: for R2004 and
  // later the section's pages decompressed and joined; for R13 to R2000 the
  // bytes the file header's locator names. The header and classes sections
  // keep their sentinels, sizes and CRCs.
  std::vector<uint8_t> header;      // AcDb:Header, the header variables
  std::vector<uint8_t> classes;     // AcDb:Classes
  std::vector<uint8_t> handles;     // AcDb:Handles, the object map
  std::vector<uint8_t> dataStorage; // AcDb:AcDsPrototype_1b (R2013 and later); empty when absent

  // The bytes the object map's offsets point into: AcDb:AcDbObjects for
  // R2004 and later (held in ownedObjects), the whole file for R13 to
  // R2000, whose offsets are file offsets. Valid while the file's bytes and
  // this struct live. Since `objects` may point into `ownedObjects`, the
  // struct moves but never copies.
  std::span<const uint8_t> objects;
  std::vector<uint8_t> ownedObjects;
  // Set when the objects are read as asked for: `objects` then views its
  // bytes, and only what objectBytes() gave may be read.
  std::unique_ptr<DwgObjectPages> objectPages;

  // The bytes [BEGIN, END) of `objects` (END clamped to its size), read
  // first where they are read as asked for. Throws DwgError for a page that
  // can't be read.
  std::span<const uint8_t> objectBytes(uint64_t begin, uint64_t end) const;

  DwgSections() = default;
  DwgSections(DwgSections&&) = default;
  DwgSections& operator=(DwgSections&&) = default;
  DwgSections(const DwgSections&) = delete;
  DwgSections& operator=(const DwgSections&) = delete;
};

// Reads FILE's structure into its sections, whatever its version (the
// first six bytes say which container reads it: R13 to R2000, R2007, or the
// paged layout of R2004, R2010, R2013 and R2018). Every checksum the
// container keeps is checked, and the header and classes sections' frames
// (frameSection). Throws DwgError naming the structure and byte offset of
// the first thing that can't be trusted; a file that is no DWG, a DWG older
// than R13 or newer than R2018, and a password-protected drawing are
// refused by name. The result's `objects` may point into FILE (R13 to
// R2000), and its pages are read from FILE when read as asked for
// (READING): keep FILE alive while it is used.
DwgSections readDwgSections(std::span<const uint8_t> file, DwgObjectReading reading = DwgObjectReading::kAll);

// Where the data of a header or classes section lies: after its start
// sentinel and size (R2010 and R2013 from maintenance release 4 on, and
// R2018, a second size word follows), before its CRC and end sentinel. Both
// offsets are bytes within the section.
struct DwgSectionFrame {
  size_t dataBegin = 0;
  size_t dataEnd = 0;
};
// Checks SECTION's start sentinel (BEGIN; the end sentinel is its
// complement), that the size it states fits its bytes, and its CRC (seed
// 0xC0C1, over the size words and the data). NAME names the section in the
// DwgError thrown for any of these.
DwgSectionFrame frameSection(std::span<const uint8_t> section, std::span<const uint8_t, 16> begin,
                             std::string_view name, const DwgSections& sections);

// The start sentinels of the header variables and the classes.
extern const uint8_t kHeaderSentinel[16];
extern const uint8_t kClassesSentinel[16];

} // namespace corvane::dwg
