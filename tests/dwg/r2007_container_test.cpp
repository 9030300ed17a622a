// The R2007 container: the corpus drawing read into its sections and held
// against its DXF twin; every prefix of it refused; built files that state
// every kind of wrong size, count or flag refused with the structure and
// byte named.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "dwg/dwg_container_r2007.h"
#include "dwg/dwg_error.h"
#include "dwg/dwg_r2007_decompress.h"
#include "dwg/r2007_builder.h"
#include "dwg/r2007_corpus.h"

namespace corvane::dwg {
namespace {

using namespace testing;

// What reading FILE says: "read", or the refusal's message.
std::string verdict(const std::vector<uint8_t>& file) {
  try {
    readR2007Container(file);
  } catch (const DwgError& e) {
    return e.what();
  }
  return "read";
}

std::string text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

const std::array<uint8_t, 16> kHeaderSentinel = {0xCF, 0x7B, 0x1F, 0x23, 0xFD, 0xDE, 0x38, 0xA9,
                                                 0x5F, 0x7C, 0x68, 0xB8, 0x4E, 0x6D, 0x33, 0x5F};
const std::array<uint8_t, 16> kClassesSentinel = {0x8D, 0xA1, 0xC4, 0xB8, 0xC4, 0xA9, 0xF8, 0xC5,
                                                  0xC0, 0xDC, 0xF4, 0x5F, 0xE7, 0xCF, 0xB6, 0x8A};
const std::array<uint8_t, 16> kClassesEndSentinel = {0x72, 0x5E, 0x3B, 0x47, 0x3B, 0x56, 0x07, 0x3A,
                                                     0x3F, 0x23, 0x0B, 0xA0, 0x18, 0x30, 0x49, 0x75};

bool startsWith(const std::vector<uint8_t>& v, const std::array<uint8_t, 16>& s) {
  return v.size() >= s.size() && std::equal(s.begin(), s.end(), v.begin());
}

// True when NEEDLE's UTF-16 form lies in BITS at any bit position: strings
// of R2007 sections sit in bit streams, not on byte boundaries.
bool holdsUtf16(const std::vector<uint8_t>& bits, const std::string& needle) {
  std::string pattern;
  for (char c : needle) {
    pattern.push_back(c);
    pattern.push_back('\0');
  }
  for (unsigned shift = 0; shift < 8; ++shift) {
    std::string shifted(bits.size(), '\0');
    for (size_t i = 0; i + 1 < bits.size(); ++i)
      shifted[i] = char(uint8_t(bits[i] << shift | (shift ? bits[i + 1] >> (8 - shift) : 0)));
    if (shifted.find(pattern) != std::string::npos) return true;
  }
  return false;
}

// Group values of the twin DXF: every value of CODE inside the section
// SECTION (and, when RECORD is given, only in records of that type).
std::vector<std::string> twinValues(const std::string& dxf, std::string_view section, std::string_view record,
                                    std::string_view code) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < dxf.size()) {
    size_t end = dxf.find('\n', start);
    if (end == std::string::npos) end = dxf.size();
    std::string line = dxf.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  auto trim = [](std::string s) {
    s.erase(0, s.find_first_not_of(' '));
    return s;
  };
  std::vector<std::string> values;
  std::string inSection, inRecord;
  for (size_t i = 0; i + 1 < lines.size(); i += 2) {
    std::string c = trim(lines[i]);
    const std::string& v = lines[i + 1];
    if (c == "0") inRecord = v;
    if (c == "2" && inRecord == "SECTION") inSection = v;
    if (inSection == section && (record.empty() || inRecord == record) && c == code) values.push_back(v);
  }
  return values;
}

// A modular char of the object map: 7 bits a byte, low first; the last
// byte's bit 6 is the sign when SIGNED.
bool modularChar(const std::vector<uint8_t>& b, size_t& at, size_t end, bool isSigned, int64_t& value) {
  uint64_t v = 0;
  for (unsigned shift = 0; at < end && shift < 63; shift += 7) {
    uint8_t byte = b[at++];
    if (byte & 0x80) {
      v |= uint64_t(byte & 0x7F) << shift;
      continue;
    }
    if (isSigned) {
      v |= uint64_t(byte & 0x3F) << shift;
      value = (byte & 0x40) ? -int64_t(v) : int64_t(v);
    } else {
      v |= uint64_t(byte) << shift;
      value = int64_t(v);
    }
    return true;
  }
  return false;
}

class R2007Corpus : public ::testing::Test {
protected:
  void SetUp() override {
    file_ = readFileBytes(r2007CorpusDwg());
    if (file_.empty()) GTEST_SKIP() << "the shared corpus is not beside the project";
  }
  std::vector<uint8_t> file_;
};

TEST_F(R2007Corpus, ReadsTheFourSectionsTheObjectReaderNeeds) {
  DwgSections s = readR2007Container(file_);
  EXPECT_EQ(s.version, DwgVersion::kR2007);
  EXPECT_EQ(s.codePage, 30); // ANSI_1252
  // Sizes as the section map states them; the header and classes keep
  // their sentinels, the classes their closing one before the padding.
  EXPECT_EQ(s.header.size(), 852u);
  EXPECT_TRUE(startsWith(s.header, kHeaderSentinel));
  EXPECT_EQ(s.classes.size(), 4538u);
  EXPECT_TRUE(startsWith(s.classes, kClassesSentinel));
  EXPECT_NE(std::search(s.classes.begin(), s.classes.end(), kClassesEndSentinel.begin(), kClassesEndSentinel.end()),
            s.classes.end());
  EXPECT_EQ(s.handles.size(), 1739u);
  // The objects: seven pages joined, opening with the section's 0x0DCA.
  ASSERT_EQ(s.ownedObjects.size(), 417109u);
  EXPECT_EQ(s.objects.data(), s.ownedObjects.data());
  EXPECT_EQ(s.objects.size(), s.ownedObjects.size());
  EXPECT_EQ(s.objects[0] | s.objects[1] << 8 | s.objects[2] << 16 | s.objects[3] << 24, 0x0DCA);
  EXPECT_TRUE(s.dataStorage.empty());
}

TEST_F(R2007Corpus, ClassesAndLayersAreTheTwins) {
  // The twin's classes (record name, class name, application) are strings
  // of the classes section; its layer names strings of the objects.
  std::string dxf = corvane::testing::readBytes(r2007CorpusDxf());
  if (dxf.empty()) GTEST_SKIP() << "the DXF twin is not beside the drawing";
  DwgSections s = readR2007Container(file_);
  size_t classes = 0;
  for (std::string_view code : {"1", "2", "3"}) {
    for (const std::string& name : twinValues(dxf, "CLASSES", "CLASS", code)) {
      EXPECT_TRUE(holdsUtf16(s.classes, name)) << name;
      ++classes;
    }
  }
  EXPECT_EQ(classes, 3 * 33u);
  std::vector<uint8_t> objects(s.objects.begin(), s.objects.end());
  std::vector<std::string> layers = twinValues(dxf, "TABLES", "LAYER", "2");
  ASSERT_EQ(layers.size(), 5u);
  for (const std::string& layer : layers) EXPECT_TRUE(holdsUtf16(objects, layer)) << layer;
}

TEST_F(R2007Corpus, ObjectMapPointsIntoTheObjects) {
  // The first page of the object map: its big-endian size, then handle and
  // offset steps; every object it locates lies in the objects section and
  // opens with a size that fits there.
  DwgSections s = readR2007Container(file_);
  ASSERT_GE(s.handles.size(), 2u);
  const size_t pageSize = size_t(s.handles[0]) << 8 | s.handles[1];
  ASSERT_LE(pageSize, 2032u);
  ASSERT_LE(pageSize + 2, s.handles.size()); // and its CRC
  size_t at = 2;
  int64_t handle = 0, offset = 0;
  size_t entries = 0;
  while (at < pageSize) {
    int64_t dh = 0, doff = 0;
    ASSERT_TRUE(modularChar(s.handles, at, pageSize, false, dh));
    ASSERT_TRUE(modularChar(s.handles, at, pageSize, true, doff));
    handle += dh;
    offset += doff;
    ASSERT_GT(dh, 0);
    ASSERT_GE(offset, 0);
    ASSERT_LT(size_t(offset), s.objects.size());
    // The object's size: a modular short (15 bits a 16-bit word).
    size_t o = size_t(offset);
    ASSERT_LE(o + 2, s.objects.size());
    size_t size = s.objects[o] | (s.objects[o + 1] & 0x7F) << 8;
    if (s.objects[o + 1] & 0x80) {
      ASSERT_LE(o + 4, s.objects.size());
      size |= size_t(s.objects[o + 2] | (s.objects[o + 3] & 0x7F) << 8) << 15;
    }
    EXPECT_GT(size, 0u);
    EXPECT_LE(o + size, s.objects.size());
    ++entries;
  }
  EXPECT_EQ(at, pageSize);
  EXPECT_GT(entries, 100u);
}

TEST_F(R2007Corpus, EveryPrefixIsRefused) {
  // About 150 cut points: the structure boundaries and either side of
  // them, then an even spread; each prefix is a fresh buffer of its own.
  std::set<size_t> cuts;
  for (size_t b : {size_t(0), size_t(5), size_t(6), size_t(0x14), size_t(0x80), size_t(0x81), size_t(0x37C),
                   size_t(0x47F), size_t(0x480), size_t(0x481), size_t(0x880), size_t(0xC80), size_t(0xD20),
                   size_t(0x4C000), size_t(0x6BB40), size_t(0x6C840), size_t(0x6CB40), size_t(0x6DE40),
                   size_t(0x6F140)}) {
    for (size_t d : {size_t(0), size_t(1), size_t(7)}) {
      if (b + d < file_.size()) cuts.insert(b + d);
      if (b >= d) cuts.insert(b - d);
    }
  }
  for (size_t i = 1; cuts.size() < 150; ++i) cuts.insert(i * file_.size() / 101);
  cuts.insert(file_.size() - 1);
  for (size_t cut : cuts) {
    std::vector<uint8_t> prefix(file_.begin(), file_.begin() + long(cut));
    EXPECT_NE(verdict(prefix), "read") << cut;
  }
}

// The corpus file's header fields, decoded as the reader decodes them.
std::array<uint64_t, kR2007FieldCount> corpusFields(const std::vector<uint8_t>& file) {
  std::optional<size_t> bad;
  std::vector<uint8_t> data =
      deinterleaveR2007(std::span<const uint8_t>(file).subspan(0x80, 3 * kR2007WordBytes), 3, R2007Code::kSystem, bad);
  const size_t compressed = data[24] | data[25] << 8;
  std::vector<uint8_t> fields(kR2007FieldCount * 8);
  decompressR2007(std::span<const uint8_t>(data).subspan(32, compressed), fields, "file header", 0);
  std::array<uint64_t, kR2007FieldCount> out{};
  for (size_t i = 0; i < kR2007FieldCount; ++i)
    for (size_t b = 0; b < 8; ++b) out[i] |= uint64_t(fields[i * 8 + b]) << (8 * b);
  return out;
}

TEST_F(R2007Corpus, CutFilesThatStateTheirCutSizeAreRefusedOrReadWhole) {
  // A cut file whose header is rewritten to state the cut size gets past
  // the first check and must be refused where a page is missing; a cut
  // after the last page the sections need reads as the whole file does.
  const DwgSections whole = readR2007Container(file_);
  const std::array<uint64_t, kR2007FieldCount> fields = corpusFields(file_);
  EXPECT_EQ(fields[kFileSize], file_.size());
  size_t refused = 0, read = 0;
  for (size_t i = 0; i <= 40; ++i) {
    size_t cut = 0x480 + i * (file_.size() - 0x480) / 40;
    std::vector<uint8_t> prefix(file_.begin(), file_.begin() + long(cut));
    std::array<uint64_t, kR2007FieldCount> restated = fields;
    restated[kFileSize] = cut;
    writeR2007Header(prefix, restated);
    try {
      DwgSections s = readR2007Container(prefix);
      EXPECT_EQ(s.header, whole.header);
      EXPECT_EQ(s.ownedObjects, whole.ownedObjects);
      ++read;
    } catch (const DwgError& e) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 30u);
  EXPECT_GE(read, 1u);
}

TEST_F(R2007Corpus, DamageIsNamed) {
  auto damaged = [&](size_t at, uint8_t mask) {
    std::vector<uint8_t> f = file_;
    f[at] ^= mask;
    return verdict(f);
  };
  EXPECT_EQ(damaged(0x80 + 100, 0x01), "file header at byte 128: Reed-Solomon parity mismatch in code word 1");
  EXPECT_EQ(damaged(0x480 + 9, 0x40), "page map at byte 1152: Reed-Solomon parity mismatch in code word 1");
  EXPECT_EQ(damaged(0x6CB40 + 300, 0x10), "section map at byte 445248: Reed-Solomon parity mismatch in code word 12");
  EXPECT_EQ(damaged(0x6BB40 + 2, 0x80),
            "AcDb:Classes at byte 0: Reed-Solomon parity mismatch in the page at file byte 441152");
  EXPECT_EQ(damaged(0x18, 0x01), "file header at byte 24: the drawing is password-protected");
  EXPECT_EQ(damaged(5, 0x02), "file header at byte 0: not an AC1021 (R2007) drawing");
  // Damage to a page none of the four sections uses (the preview) is not
  // the reader's concern.
  EXPECT_EQ(damaged(0xD20 + 1000, 0xFF), "read");
}

TEST(R2007Built, ReadsItsSections) {
  std::vector<uint8_t> file = layOutR2007(makeR2007Image(smallR2007Sections()));
  DwgSections s = readR2007Container(file);
  EXPECT_EQ(s.version, DwgVersion::kR2007);
  EXPECT_EQ(s.codePage, 30);
  EXPECT_EQ(text(s.header), "header variables");
  std::string eight;
  for (int i = 0; i < 8; ++i) eight += "CLASSES!";
  EXPECT_EQ(text(s.classes), eight);
  EXPECT_EQ(text(s.handles), "object map");
  EXPECT_EQ(text(s.ownedObjects), "the objects of the drawing");
  EXPECT_EQ(std::string(s.objects.begin(), s.objects.end()), "the objects of the drawing");
}

// The objects in three pages given out of order, one of them compressed;
// the object map stored without code words (encoding 1).
std::vector<R2007SectionSpec> severalPageSections() {
  std::vector<R2007SectionSpec> sections = smallR2007Sections();
  R2007SectionSpec& objects = sections[3];
  objects.size = 8 + 8 + 16;
  objects.pages = {{16, 16, {0x00, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 0x20, 0x08, 0x00, 0x08}},
                   {0, 8, {'o', 'b', 'j', 'e', 'c', 't', 's', ':'}},
                   {8, 8, {' ', 'p', 'a', 'g', 'e', 's', ' ', '3'}}};
  sections[2].encoding = 1;
  return sections;
}

TEST(R2007Built, SectionsOfSeveralPagesAndPlainPagesJoin) {
  DwgSections s = readR2007Container(layOutR2007(makeR2007Image(severalPageSections())));
  EXPECT_EQ(text(s.ownedObjects), "objects: pages 3ABCDEFGHABCDEFGH");
  EXPECT_EQ(text(s.handles), "object map");
}

// Edits of a consistent image, each with the refusal it must meet.
struct Lie {
  const char* what;
  std::function<void(R2007Image&)> edit;
  const char* refusal;
};

void setLe(std::vector<uint8_t>& bytes, size_t at, uint64_t v) {
  for (size_t i = 0; i < 8; ++i) bytes[at + i] = uint8_t(v >> (8 * i));
}

// Byte offsets in the section map of smallR2007Sections: the header's
// entry (64 bytes, a 24-byte name, one page of 56), then the classes'.
constexpr size_t kHeaderEntry = 0;
constexpr size_t kClassesEntry = 64 + 24 + 56;
constexpr size_t kClassesPage = kClassesEntry + 64 + 26;

TEST(R2007Built, StatedSizesAndCountsAreCheckedBeforeUse) {
  const std::vector<Lie> lies = {
      {"a cut file", [](R2007Image& im) { im.fields[kFileSize] += 1; }, "states a file of"},
      {"a file smaller than its header", [](R2007Image& im) { im.fields[kFileSize] = 0x100; },
       "too small for its own header"},
      {"encrypted", [](R2007Image& im) { im.securityFlags = 1; }, "password-protected"},
      {"page map past the end", [](R2007Image& im) { im.fields[kPageMapOffset] = uint64_t(1) << 62; },
       "page map at byte 4611686018427387904: lies past the end of the file"},
      {"no page map copies", [](R2007Image& im) { im.fields[kPageMapCopies] = 0; },
       "page map at byte 1152: the file header states a page larger than the file"},
      {"page map copies overflow", [](R2007Image& im) { im.fields[kPageMapCopies] = uint64_t(1) << 61; },
       "page map at byte 1152: the file header states a page larger than the file"},
      {"empty page map", [](R2007Image& im) { im.fields[kPageMapSize] = 0; }, "states an empty page"},
      {"page map decompresses to a huge size",
       [](R2007Image& im) { im.fields[kPageMapSize] = uint64_t(1) << 40; },
       "page map at byte 1152: states 1099511627776 bytes of data, more than a file of this size can hold"},
      {"page map stated longer than stored, not compressed",
       [](R2007Image& im) { im.fields[kPageMapSize] += 16; },
       "page map at byte"},
      {"page count", [](R2007Image& im) { im.fields[kPageCount] += 1; },
       "page map at byte 0: lists 6 pages, the file header states 7"},
      {"a page past the end",
       [](R2007Image& im) { setLe(im.pageMap, 16 * 3, uint64_t(1) << 63); },
       "page map at byte 48: page 4 runs past the end of the file"},
      {"a page listed twice", [](R2007Image& im) { setLe(im.pageMap, 16 * 3 + 8, 3); },
       "page map at byte 48: page 3 is listed twice"},
      {"the section map's page missing", [](R2007Image& im) { im.fields[kSectionMapId] = 77; },
       "section map at byte 0: its page 77 is not in the page map"},
      {"section count", [](R2007Image& im) { im.fields[kSectionCount] = 2; },
       "section map at byte 0: lists 5 sections, the file header states 2"},
      {"section map cut inside an entry",
       [](R2007Image& im) {
         im.sectionMap.resize(im.sectionMap.size() - 10);
         im.fields[kSectionMapSize] = im.fields[kSectionMapCompressed] = im.sectionMap.size();
       },
       "section map at byte"},
      {"a name past the map", [](R2007Image& im) { setLe(im.sectionMap, kHeaderEntry + 32, 1u << 20); },
       "section map at byte 64: a section name runs past the end of the map"},
      {"more pages than the map holds",
       [](R2007Image& im) { setLe(im.sectionMap, kHeaderEntry + 56, uint64_t(1) << 60); },
       "section map at byte 88: section AcDb:Header lists more pages than the map holds"},
      {"a missing section", [](R2007Image& im) { im.sectionMap[kClassesEntry + 64 + 2] = 'X'; },
       "AcDb:Classes at byte 0: the section map has no such section"},
      {"an encrypted section", [](R2007Image& im) { setLe(im.sectionMap, kClassesEntry + 16, 1); },
       "AcDb:Classes at byte 0: the section is encrypted: the drawing is password-protected"},
      {"an unknown encoding", [](R2007Image& im) { setLe(im.sectionMap, kClassesEntry + 48, 7); },
       "AcDb:Classes at byte 0: unknown page encoding 7"},
      {"a huge section", [](R2007Image& im) { setLe(im.sectionMap, kClassesEntry, uint64_t(1) << 50); },
       "AcDb:Classes at byte 0: states 1125899906842624 bytes of data"},
      {"a page past the section", [](R2007Image& im) { setLe(im.sectionMap, kClassesPage, 60); },
       "AcDb:Classes at byte 60: a page runs past the section's stated size of 64 bytes"},
      {"a page offset that wraps",
       [](R2007Image& im) { setLe(im.sectionMap, kClassesPage, ~uint64_t(0) - 10); },
       "a page runs past the section's stated size"},
      {"an unknown page", [](R2007Image& im) { setLe(im.sectionMap, kClassesPage + 16, 99); },
       "AcDb:Classes at byte 0: page 99 is not in the page map"},
      {"more stored bytes than the page has",
       [](R2007Image& im) { setLe(im.sectionMap, kClassesPage + 32, 4096); },
       "AcDb:Classes at byte 0: page 4 states 4096 stored bytes, it has 256 in the file"},
      {"a page that decompresses past its size",
       [](R2007Image& im) {
         setLe(im.sectionMap, kClassesPage + 24, 40);
         setLe(im.sectionMap, kClassesEntry, 40);
       },
       "AcDb:Classes at byte 8: page decompresses past its stated size"},
      {"a page that decompresses short",
       [](R2007Image& im) {
         setLe(im.sectionMap, kClassesPage + 24, 65);
         setLe(im.sectionMap, kClassesEntry, 65);
       },
       "AcDb:Classes at byte 64: page decompresses to 64 bytes, 65 stated"},
  };
  for (const Lie& lie : lies) {
    R2007Image image = makeR2007Image(smallR2007Sections());
    lie.edit(image);
    std::string v = verdict(layOutR2007(image));
    EXPECT_NE(v.find(lie.refusal), std::string::npos) << lie.what << ": " << v;
  }
}

TEST(R2007Built, DamagedCodeWordsOfADataPageAreRefused) {
  std::vector<uint8_t> file = layOutR2007(makeR2007Image(smallR2007Sections()));
  ASSERT_EQ(verdict(file), "read");
  // The classes page (id 4) is the fourth page: after the page map,
  // section map and header pages; its first code word starts there.
  R2007Image image = makeR2007Image(smallR2007Sections());
  size_t at = 0x480;
  for (size_t i = 0; i < 3; ++i) at += size_t(image.pageMap[16 * i] | image.pageMap[16 * i + 1] << 8);
  file[at + 5] ^= 0x20;
  EXPECT_EQ(verdict(file), "AcDb:Classes at byte 0: Reed-Solomon parity mismatch in the page at file byte " +
                               std::to_string(at));
}

} // namespace
} // namespace corvane::dwg

namespace corvane::dwg {
namespace {

// The fuzz target's seeds are the images of built files, each of which
// reads. UPDATE_GOLDEN=1 writes them anew from the builder.
TEST(R2007Built, FuzzSeedsAreImagesThatRead) {
  const std::filesystem::path dir = std::filesystem::path(CORVANE_SOURCE_DIR) / "tests/dwg/fuzz_seeds_r2007";
  const bool update = std::getenv("UPDATE_GOLDEN") != nullptr;
  const std::pair<const char*, std::vector<R2007SectionSpec>> seeds[] = {{"small", smallR2007Sections()},
                                                                         {"several_pages", severalPageSections()}};
  for (const auto& [name, sections] : seeds) {
    const std::vector<uint8_t> image = serializeR2007Image(makeR2007Image(sections));
    const std::filesystem::path path = dir / name;
    if (update) {
      std::filesystem::create_directories(dir);
      std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), long(image.size()));
    }
    EXPECT_EQ(readFileBytes(path), image) << path << " (UPDATE_GOLDEN=1 writes it anew)";
    EXPECT_EQ(verdict(layOutR2007(parseR2007Image(image))), "read") << name;
  }
}

} // namespace
} // namespace corvane::dwg
