// The R2007 container, read in the order its parts point to each other:
//   bytes 0..0x7F    version, code page and security flags, in the clear;
//   0x80             the file header: three interleaved code words of the
//                    system code holding a 32-byte prefix (two checks, a key,
//                    the compressed length) and the 34 header fields,
//                    compressed;
//   0x480 + offset   the pages, laid end to end from 0x480 as the page map
//                    lists them (size and id of each, in file order);
//   the page map     a system page at the offset the header gives;
//   the section map  a system page, found by the id the header gives: for
//                    each section its size, flags, UTF-16 name and pages
//                    (where in the section, which page id, both sizes);
//   a data page      code words of the data code, then compressed.
// A system page holds its compressed bytes, padded to a multiple of 8, as
// many times over as the header's correction factor says, then encoded.
// Every size read is checked against the stated file size before it is
// used; the file's 64-bit CRCs and page checksums are not checked (their
// seeding is not known), the Reed-Solomon parity of every code word is.
#include "dwg/dwg_container_r2007.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "dwg/dwg_error.h"
#include "dwg/dwg_r2007_decompress.h"
#include "dwg/dwg_r2007_reed_solomon.h"

namespace corvane::dwg {
namespace {

constexpr uint64_t kFileHeaderAt = 0x80;
constexpr uint64_t kPagesStart = 0x480;
constexpr size_t kFileHeaderWords = 3;
constexpr size_t kFileHeaderPrefix = 32;
constexpr size_t kFileHeaderFields = 34;
constexpr uint64_t kSecurityFlagsAt = 0x18;
constexpr uint64_t kCodePageAt = 0x13;
constexpr uint32_t kEncryptedData = 1;

constexpr uint64_t kPageMapEntryBytes = 16;
constexpr uint64_t kSectionEntryBytes = 64;
constexpr uint64_t kSectionPageBytes = 56;
constexpr uint64_t kEncodingPlain = 1;
constexpr uint64_t kEncodingInterleaved = 4;

// What all the decompressed bytes together may come to: enough for any real
// drawing (they compress a few times over), small enough that a hostile
// file can't make the reader allocate without bound.
constexpr uint64_t kBudgetBase = uint64_t(1) << 20;
constexpr uint64_t kBudgetPerFileByte = 256;

const char kFileHeader[] = "file header";
const char kPageMap[] = "page map";
const char kSectionMap[] = "section map";

// Little-endian fields of a record whose bytes are all present. Every read
// checks what remains; running out names the record and the byte.
class LeCursor {
public:
  LeCursor(std::span<const uint8_t> bytes, std::string_view where, uint64_t base)
      : bytes_(bytes), where_(where), base_(base) {}

  uint64_t u64() {
    need(8);
    uint64_t v = 0;
    for (size_t i = 0; i < 8; ++i) v |= uint64_t(bytes_[pos_ + i]) << (8 * i);
    pos_ += 8;
    return v;
  }
  std::span<const uint8_t> take(size_t n) {
    need(n);
    std::span<const uint8_t> s = bytes_.subspan(pos_, n);
    pos_ += n;
    return s;
  }
  size_t remaining() const { return bytes_.size() - pos_; }
  size_t position() const { return pos_; }
  [[noreturn]] void fail(const std::string& what) const {
    throw DwgError(std::string(where_), base_ + pos_, what);
  }

private:
  void need(size_t n) const {
    if (n > remaining()) fail("ends inside a record");
  }

  std::span<const uint8_t> bytes_;
  std::string_view where_;
  uint64_t base_;
  size_t pos_ = 0;
};

uint64_t readLe(std::span<const uint8_t> bytes, size_t at, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) v |= uint64_t(bytes[at + i]) << (8 * i);
  return v;
}

std::string number(uint64_t n) { return std::to_string(n); }

class Budget {
public:
  explicit Budget(uint64_t fileSize) : left_(kBudgetBase + kBudgetPerFileByte * fileSize) {}
  void take(uint64_t n, std::string_view where, uint64_t at) {
    if (n > left_)
      throw DwgError(std::string(where), at,
                     "states " + number(n) + " bytes of data, more than a file of this size can hold");
    left_ -= n;
  }

private:
  uint64_t left_;
};

// The fields of the file header the reader uses (of its 34).
struct FileHeader {
  uint64_t fileSize = 0;
  uint64_t pageMapCopies = 0, pageMapOffset = 0, pageMapCompressed = 0, pageMapSize = 0;
  uint64_t pageCount = 0;
  uint64_t sectionCount = 0;
  uint64_t sectionMapCompressed = 0, sectionMapId = 0, sectionMapSize = 0, sectionMapCopies = 0;
};

FileHeader readFileHeader(std::span<const uint8_t> file) {
  const size_t encodedBytes = kFileHeaderWords * kR2007WordBytes;
  std::optional<size_t> bad;
  std::vector<uint8_t> data =
      deinterleaveR2007(file.subspan(kFileHeaderAt, encodedBytes), kFileHeaderWords, R2007Code::kSystem, bad);
  if (bad) throw DwgError(kFileHeader, kFileHeaderAt, "Reed-Solomon parity mismatch in code word " + number(*bad));

  // The prefix: check, key, check of the compressed bytes, their length
  // (negative: stored as they are, that many bytes), a second length.
  const int32_t stored = int32_t(uint32_t(readLe(data, 24, 4)));
  const size_t room = data.size() - kFileHeaderPrefix;
  std::vector<uint8_t> fields(kFileHeaderFields * 8);
  std::span<const uint8_t> body(data.data() + kFileHeaderPrefix, room);
  if (stored > 0) {
    if (size_t(stored) > room)
      throw DwgError(kFileHeader, kFileHeaderAt, "states " + number(uint64_t(stored)) +
                                                     " compressed bytes, its code words hold " + number(room));
    decompressR2007(body.first(size_t(stored)), fields, kFileHeader, 0);
  } else {
    const uint64_t plain = stored == 0 ? 0 : uint64_t(-int64_t(stored));
    if (plain < fields.size() || plain > room)
      throw DwgError(kFileHeader, kFileHeaderAt, "states " + number(plain) + " bytes of fields, " +
                                                     number(fields.size()) + " expected");
    std::memcpy(fields.data(), body.data(), fields.size());
  }

  auto field = [&](size_t i) { return readLe(fields, i * 8, 8); };
  FileHeader h;
  h.fileSize = field(1);
  h.pageMapCopies = field(3);
  h.pageMapOffset = field(7);
  h.pageMapCompressed = field(10);
  h.pageMapSize = field(11);
  h.pageCount = field(12);
  h.sectionCount = field(20);
  h.sectionMapCompressed = field(22);
  h.sectionMapId = field(24);
  h.sectionMapSize = field(25);
  h.sectionMapCopies = field(27);
  if (h.fileSize > file.size())
    throw DwgError(kFileHeader, kFileHeaderAt, "states a file of " + number(h.fileSize) + " bytes, the file has " +
                                                   number(file.size()) + ": it is cut short");
  if (h.fileSize < kPagesStart)
    throw DwgError(kFileHeader, kFileHeaderAt, "states a file of " + number(h.fileSize) + " bytes, too small for its own header");
  return h;
}

// Reads the system page at file byte AT (within FILE, cut to its stated
// size): COMPRESSED bytes, stored COPIES times over and encoded, that
// decompress to SIZE bytes.
std::vector<uint8_t> readSystemPage(std::span<const uint8_t> file, uint64_t at, uint64_t compressed, uint64_t size,
                                    uint64_t copies, const char* what, Budget& budget) {
  if (compressed == 0 || size == 0)
    throw DwgError(what, at, "the file header states an empty page");
  if (copies == 0 || compressed > file.size() || copies > file.size() / ((compressed + 7) & ~uint64_t(7)))
    throw DwgError(what, at, "the file header states a page larger than the file");
  const uint64_t stored = ((compressed + 7) & ~uint64_t(7)) * copies;
  const size_t words = r2007WordCount(R2007Code::kSystem, stored);
  const uint64_t encoded = uint64_t(words) * kR2007WordBytes;
  if (at > file.size() || encoded > file.size() - at)
    throw DwgError(what, at, "the page runs past the end of the file");
  std::optional<size_t> bad;
  std::vector<uint8_t> data = deinterleaveR2007(file.subspan(at, encoded), words, R2007Code::kSystem, bad);
  if (bad) throw DwgError(what, at, "Reed-Solomon parity mismatch in code word " + number(*bad));
  budget.take(size, what, at);
  std::vector<uint8_t> out(size);
  if (compressed < size)
    decompressR2007(std::span<const uint8_t>(data).first(compressed), out, what, 0);
  else
    std::memcpy(out.data(), data.data(), size);
  return out;
}

struct PageLocation {
  uint64_t at = 0;
  uint64_t size = 0;
};

// The page map: each page's size and id, in file order from 0x480.
// Ids below 1 mark free space.
std::unordered_map<int64_t, PageLocation> readPageMap(std::span<const uint8_t> map, uint64_t fileSize,
                                                      const FileHeader& h) {
  if (map.size() % kPageMapEntryBytes != 0)
    throw DwgError(kPageMap, map.size() - map.size() % kPageMapEntryBytes, "ends inside an entry");
  if (map.size() / kPageMapEntryBytes != h.pageCount)
    throw DwgError(kPageMap, 0, "lists " + number(map.size() / kPageMapEntryBytes) + " pages, the file header states " +
                                    number(h.pageCount));
  std::unordered_map<int64_t, PageLocation> pages;
  LeCursor c(map, kPageMap, 0);
  uint64_t at = kPagesStart;
  while (c.remaining() > 0) {
    const size_t entryAt = c.position();
    const uint64_t size = c.u64();
    const int64_t id = int64_t(c.u64());
    if (size > fileSize - at)
      throw DwgError(kPageMap, entryAt, "page " + std::to_string(id) + " runs past the end of the file");
    if (id > 0 && !pages.emplace(id, PageLocation{at, size}).second)
      throw DwgError(kPageMap, entryAt, "page " + std::to_string(id) + " is listed twice");
    at += size;
  }
  return pages;
}

struct SectionPage {
  uint64_t offset = 0; // where its bytes go in the section
  int64_t id = 0;
  uint64_t size = 0;       // decompressed
  uint64_t compressed = 0;
};

struct Section {
  std::string name;
  uint64_t size = 0;
  uint64_t encrypted = 0;
  uint64_t encoding = 0;
  std::vector<SectionPage> pages;
};

// A section name as stored, UTF-16 ending in a zero; the names the reader
// looks for are ASCII, anything else is kept as '?'.
std::string sectionName(std::span<const uint8_t> utf16) {
  std::string name;
  for (size_t i = 0; i + 1 < utf16.size(); i += 2) {
    unsigned u = unsigned(utf16[i]) | unsigned(utf16[i + 1]) << 8;
    if (u == 0) break;
    name.push_back(u < 0x80 ? char(u) : '?');
  }
  return name;
}

std::vector<Section> readSectionMap(std::span<const uint8_t> map, const FileHeader& h) {
  std::vector<Section> sections;
  LeCursor c(map, kSectionMap, 0);
  while (c.remaining() > 0) {
    if (c.remaining() < kSectionEntryBytes) c.fail("ends inside a section entry");
    Section s;
    s.size = c.u64();
    c.u64(); // the largest page's size
    s.encrypted = c.u64();
    c.u64(); // a hash of the name
    const uint64_t nameBytes = c.u64();
    c.u64();
    s.encoding = c.u64();
    const uint64_t pageCount = c.u64();
    if (nameBytes > c.remaining()) c.fail("a section name runs past the end of the map");
    s.name = sectionName(c.take(size_t(nameBytes)));
    if (pageCount > c.remaining() / kSectionPageBytes)
      c.fail("section " + s.name + " lists more pages than the map holds");
    s.pages.reserve(size_t(pageCount));
    for (uint64_t i = 0; i < pageCount; ++i) {
      SectionPage p;
      p.offset = c.u64();
      c.u64(); // the page's size as laid out
      p.id = int64_t(c.u64());
      p.size = c.u64();
      p.compressed = c.u64();
      c.u64(); // checksum
      c.u64(); // CRC
      s.pages.push_back(p);
    }
    sections.push_back(std::move(s));
  }
  if (sections.size() != h.sectionCount)
    throw DwgError(kSectionMap, 0, "lists " + number(sections.size()) + " sections, the file header states " +
                                       number(h.sectionCount));
  return sections;
}

// The section NAME of SECTIONS, checked.
const Section& findSection(const std::vector<Section>& sections, const char* name, Budget& budget) {
  const Section* s = nullptr;
  for (const Section& candidate : sections) {
    if (candidate.name == name) {
      s = &candidate;
      break;
    }
  }
  if (!s) throw DwgError(name, 0, "the section map has no such section");
  if (s->encrypted != 0) throw DwgError(name, 0, "the section is encrypted: the drawing is password-protected");
  if (s->encoding != kEncodingPlain && s->encoding != kEncodingInterleaved)
    throw DwgError(name, 0, "unknown page encoding " + number(s->encoding));
  budget.take(s->size, name, 0);
  return *s;
}

// Page P of section S decoded into place in OUT (the section's bytes).
void readSectionPage(std::span<const uint8_t> file, const Section& s, const SectionPage& p,
                     const std::unordered_map<int64_t, PageLocation>& pageMap, const char* name,
                     std::span<uint8_t> out) {
  if (p.offset > s.size || p.size > s.size - p.offset)
    throw DwgError(name, p.offset, "a page runs past the section's stated size of " + number(s.size) + " bytes");
  if (p.size == 0) return;
  auto where = pageMap.find(p.id);
  if (where == pageMap.end())
    throw DwgError(name, p.offset, "page " + std::to_string(p.id) + " is not in the page map");
  const PageLocation& loc = where->second;
  if (p.compressed == 0 || p.compressed > loc.size)
    throw DwgError(name, p.offset, "page " + std::to_string(p.id) + " states " + number(p.compressed) +
                                       " stored bytes, it has " + number(loc.size) + " in the file");
  std::span<const uint8_t> stored;
  std::vector<uint8_t> decoded;
  if (s.encoding == kEncodingInterleaved) {
    const size_t words = r2007WordCount(R2007Code::kData, (p.compressed + 7) & ~uint64_t(7));
    const uint64_t encoded = uint64_t(words) * kR2007WordBytes;
    if (encoded > loc.size)
      throw DwgError(name, p.offset, "page " + std::to_string(p.id) + " needs " + number(encoded) +
                                         " bytes, it has " + number(loc.size) + " in the file");
    std::optional<size_t> bad;
    decoded = deinterleaveR2007(file.subspan(loc.at, encoded), words, R2007Code::kData, bad);
    if (bad)
      throw DwgError(name, p.offset, "Reed-Solomon parity mismatch in the page at file byte " + number(loc.at));
    stored = decoded;
  } else {
    stored = file.subspan(loc.at, loc.size);
  }
  std::span<uint8_t> dst = out.subspan(size_t(p.offset), size_t(p.size));
  if (p.compressed < p.size)
    decompressR2007(stored.first(p.compressed), dst, name, p.offset);
  else
    std::memcpy(dst.data(), stored.data(), dst.size());
}

std::vector<uint8_t> readPages(std::span<const uint8_t> file, const Section& s,
                               const std::unordered_map<int64_t, PageLocation>& pageMap, const char* name) {
  std::vector<uint8_t> out(s.size);
  for (const SectionPage& p : s.pages) readSectionPage(file, s, p, pageMap, name, out);
  return out;
}

std::vector<uint8_t> readSection(std::span<const uint8_t> file, const std::vector<Section>& sections,
                                 const std::unordered_map<int64_t, PageLocation>& pageMap, const char* name,
                                 Budget& budget) {
  return readPages(file, findSection(sections, name, budget), pageMap, name);
}

// The section NAME to be read page by page as it is asked for; all of it
// at once (null) when its pages overlap, where the later ones must win.
std::unique_ptr<DwgObjectPages> sectionAsAsked(std::span<const uint8_t> file, const Section& s,
                                               const std::unordered_map<int64_t, PageLocation>& pageMap,
                                               const char* name) {
  for (const SectionPage& p : s.pages)
    if (p.offset > s.size || p.size > s.size - p.offset) return nullptr; // refused as all of it is read
  std::vector<size_t> order(s.pages.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return s.pages[a].offset < s.pages[b].offset; });
  std::vector<DwgObjectPages::Slot> slots;
  for (size_t i : order) {
    const SectionPage& p = s.pages[i];
    if (!slots.empty() && p.offset < slots.back().end) return nullptr;
    slots.push_back({p.offset, p.offset + p.size});
  }
  return std::make_unique<DwgObjectPages>(
      s.size, std::move(slots), [file, s, order, pageMap, name](size_t i, std::span<uint8_t> section) {
        readSectionPage(file, s, s.pages[order[i]], pageMap, name, section);
      });
}

} // namespace

DwgSections readR2007Container(std::span<const uint8_t> file, DwgObjectReading reading) {
  if (file.size() < 6 || std::memcmp(file.data(), "AC1021", 6) != 0)
    throw DwgError(kFileHeader, 0, "not an AC1021 (R2007) drawing");
  if (file.size() < kPagesStart)
    throw DwgError(kFileHeader, file.size(), "the file ends inside its file header");
  if (readLe(file, kSecurityFlagsAt, 4) & kEncryptedData)
    throw DwgError(kFileHeader, kSecurityFlagsAt, "the drawing is password-protected");

  const FileHeader h = readFileHeader(file);
  // Everything the container points to lies within the size it states.
  const std::span<const uint8_t> stated = file.first(size_t(h.fileSize));
  Budget budget(h.fileSize);

  const uint64_t pageMapAt = kPagesStart + h.pageMapOffset;
  if (h.pageMapOffset > h.fileSize) throw DwgError(kPageMap, h.pageMapOffset, "lies past the end of the file");
  const std::vector<uint8_t> pageMapBytes =
      readSystemPage(stated, pageMapAt, h.pageMapCompressed, h.pageMapSize, h.pageMapCopies, kPageMap, budget);
  const auto pageMap = readPageMap(pageMapBytes, h.fileSize, h);

  auto sectionMapPage = pageMap.find(int64_t(h.sectionMapId));
  if (h.sectionMapId == 0 || sectionMapPage == pageMap.end())
    throw DwgError(kSectionMap, 0, "its page " + number(h.sectionMapId) + " is not in the page map");
  const std::vector<uint8_t> sectionMapBytes =
      readSystemPage(stated, sectionMapPage->second.at, h.sectionMapCompressed, h.sectionMapSize,
                     h.sectionMapCopies, kSectionMap, budget);
  const std::vector<Section> sections = readSectionMap(sectionMapBytes, h);

  DwgSections out;
  out.version = DwgVersion::kR2007;
  out.codePage = uint16_t(readLe(file, kCodePageAt, 2));
  out.header = readSection(stated, sections, pageMap, "AcDb:Header", budget);
  out.classes = readSection(stated, sections, pageMap, "AcDb:Classes", budget);
  out.handles = readSection(stated, sections, pageMap, "AcDb:Handles", budget);
  const char* const objects = "AcDb:AcDbObjects";
  const Section& objectSection = findSection(sections, objects, budget);
  if (reading == DwgObjectReading::kAsAsked) out.objectPages = sectionAsAsked(stated, objectSection, pageMap, objects);
  if (out.objectPages) {
    out.objects = out.objectPages->bytes();
  } else {
    out.ownedObjects = readPages(stated, objectSection, pageMap, objects);
    out.objects = out.ownedObjects;
  }
  return out;
}

} // namespace corvane::dwg
