// Builds R2007 files for tests and for the fuzz target: an image (the file
// header's fields, the page map and section map as they decode, and the
// stored bytes of each data page) is laid out as a file, every part encoded
// with its Reed-Solomon code, so that a test can state any size or count it
// likes and still reach the part of the reader that judges it. The file
// header is written with its fields uncompressed; system pages are stored
// as they are (compressed size = size), data pages as the test gives them.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "dwg/dwg_r2007_reed_solomon.h"

namespace corvane::dwg::testing {

// Indices of the file header's fields the tests set.
enum R2007Field : size_t {
  kHeaderSize = 0,
  kFileSize = 1,
  kPageMapCopies = 3,
  kPageMapOffset = 7,
  kPageMapId = 8,
  kPageMapCompressed = 10,
  kPageMapSize = 11,
  kPageCount = 12,
  kPageMaxId = 13,
  kSectionCount = 20,
  kSectionMapCompressed = 22,
  kSectionMapId = 24,
  kSectionMapSize = 25,
  kSectionMapCopies = 27,
  kStreamVersion = 29,
};
constexpr size_t kR2007FieldCount = 34;

struct R2007ImagePage {
  bool interleaved = true; // data code words; false: stored as they are
  std::vector<uint8_t> stored;
};

struct R2007Image {
  uint16_t codePage = 30;
  uint32_t securityFlags = 0;
  std::array<uint64_t, kR2007FieldCount> fields{};
  std::vector<uint8_t> pageMap, sectionMap;  // page ids 1 and 2
  std::vector<R2007ImagePage> dataPages;     // page ids 3, 4, ...
};

// A section as the tests describe it; a page whose stored bytes are fewer
// than its size holds them compressed.
struct R2007PageSpec {
  uint64_t offset = 0;
  uint64_t size = 0;
  std::vector<uint8_t> stored;
};
struct R2007SectionSpec {
  std::string name;
  uint64_t size = 0;
  uint64_t encrypted = 0;
  uint64_t encoding = 4;
  std::vector<R2007PageSpec> pages;
};

inline void putLe(std::vector<uint8_t>& out, uint64_t v, size_t bytes = 8) {
  for (size_t i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

inline uint64_t roundUp8(uint64_t n) { return (n + 7) & ~uint64_t(7); }

// File bytes a page takes: its code words, rounded up to 8.
inline uint64_t systemPageBytes(size_t payload, uint64_t copies) {
  return roundUp8(r2007WordCount(R2007Code::kSystem, roundUp8(payload) * copies) * kR2007WordBytes);
}
inline uint64_t dataPageBytes(const R2007ImagePage& p) {
  if (!p.interleaved) return roundUp8(p.stored.size());
  return roundUp8(r2007WordCount(R2007Code::kData, roundUp8(p.stored.size())) * kR2007WordBytes);
}

inline void appendPage(std::vector<uint8_t>& file, std::vector<uint8_t> bytes) {
  file.insert(file.end(), bytes.begin(), bytes.end());
  file.resize(roundUp8(file.size()));
}

inline std::vector<uint8_t> systemPage(const std::vector<uint8_t>& payload, uint64_t copies) {
  std::vector<uint8_t> padded = payload;
  padded.resize(roundUp8(padded.size()));
  std::vector<uint8_t> repeated;
  for (uint64_t i = 0; i < copies; ++i) repeated.insert(repeated.end(), padded.begin(), padded.end());
  return interleaveR2007(repeated, R2007Code::kSystem);
}

// Writes the file header at 0x80 of FILE (at least 0x480 bytes): FIELDS
// stored as they are, after a prefix of zero checks.
inline void writeR2007Header(std::vector<uint8_t>& file, const std::array<uint64_t, kR2007FieldCount>& fields) {
  std::vector<uint8_t> header;
  putLe(header, 0); // the checks and key
  putLe(header, 0);
  putLe(header, 0);
  putLe(header, uint32_t(-int32_t(kR2007FieldCount * 8)), 4); // fields stored as they are
  putLe(header, 0, 4);
  for (uint64_t f : fields) putLe(header, f);
  header.resize(3 * r2007DataBytes(R2007Code::kSystem)); // always three code words
  std::vector<uint8_t> words = interleaveR2007(header, R2007Code::kSystem);
  std::copy(words.begin(), words.end(), file.begin() + 0x80);
}

// The image as a file. The pages go end to end from 0x480 in id order,
// whatever the maps say; the page map copies are capped at 16 in the
// layout (the header still states the image's count).
inline std::vector<uint8_t> layOutR2007(const R2007Image& image) {
  std::vector<uint8_t> file(0x480, 0);
  std::memcpy(file.data(), "AC1021", 6);
  file[0x13] = uint8_t(image.codePage);
  file[0x14] = uint8_t(image.codePage >> 8);
  for (size_t i = 0; i < 4; ++i) file[0x18 + i] = uint8_t(image.securityFlags >> (8 * i));
  file[0x28] = 0x80;

  writeR2007Header(file, image.fields);

  auto copies = [](uint64_t n) { return n == 0 ? 1 : n > 16 ? 16 : n; };
  appendPage(file, systemPage(image.pageMap, copies(image.fields[kPageMapCopies])));
  appendPage(file, systemPage(image.sectionMap, copies(image.fields[kSectionMapCopies])));
  for (const R2007ImagePage& p : image.dataPages)
    appendPage(file, p.interleaved ? interleaveR2007(p.stored, R2007Code::kData) : p.stored);
  return file;
}

// A consistent image holding SECTIONS: maps and header fields that agree
// with the layout (and an empty last section entry, as real files have).
inline R2007Image makeR2007Image(const std::vector<R2007SectionSpec>& sections) {
  R2007Image image;
  for (const R2007SectionSpec& s : sections) {
    for (const R2007PageSpec& p : s.pages) image.dataPages.push_back({s.encoding == 4, p.stored});
  }
  int64_t id = 3;
  for (const R2007SectionSpec& s : sections) {
    putLe(image.sectionMap, s.size);
    putLe(image.sectionMap, 0xF800);
    putLe(image.sectionMap, s.encrypted);
    putLe(image.sectionMap, 0);
    putLe(image.sectionMap, 2 * (s.name.size() + 1));
    putLe(image.sectionMap, 0);
    putLe(image.sectionMap, s.encoding);
    putLe(image.sectionMap, s.pages.size());
    for (char c : s.name) putLe(image.sectionMap, uint8_t(c), 2);
    putLe(image.sectionMap, 0, 2);
    for (const R2007PageSpec& p : s.pages) {
      putLe(image.sectionMap, p.offset);
      putLe(image.sectionMap, 0xF800);
      putLe(image.sectionMap, uint64_t(id++));
      putLe(image.sectionMap, p.size);
      putLe(image.sectionMap, p.stored.size());
      putLe(image.sectionMap, 0);
      putLe(image.sectionMap, 0);
    }
  }
  // The last entry: no name, no pages.
  for (uint64_t v : {0, 0xF800, 0, 0, 0, 0, 4, 0}) putLe(image.sectionMap, v);

  const uint64_t pageCount = 2 + image.dataPages.size();
  image.pageMap.clear();
  uint64_t fileSize = 0x480;
  std::vector<uint64_t> sizes;
  sizes.push_back(systemPageBytes(pageCount * 16, 1));
  sizes.push_back(systemPageBytes(image.sectionMap.size(), 1));
  for (const R2007ImagePage& p : image.dataPages) sizes.push_back(dataPageBytes(p));
  for (size_t i = 0; i < sizes.size(); ++i) {
    putLe(image.pageMap, sizes[i]);
    putLe(image.pageMap, i + 1);
    fileSize += sizes[i];
  }

  auto& f = image.fields;
  f[kHeaderSize] = 0x70;
  f[kFileSize] = fileSize;
  f[kPageMapCopies] = 1;
  f[kPageMapOffset] = 0;
  f[kPageMapId] = 1;
  f[kPageMapCompressed] = f[kPageMapSize] = image.pageMap.size();
  f[kPageCount] = f[kPageMaxId] = pageCount;
  f[kSectionCount] = sections.size() + 1;
  f[kSectionMapCompressed] = f[kSectionMapSize] = image.sectionMap.size();
  f[kSectionMapId] = 2;
  f[kSectionMapCopies] = 1;
  f[kStreamVersion] = 0x60100;
  return image;
}

// An image as bytes, the fuzz target's input: code page (2 bytes),
// security flags (4), the 34 fields (8 each), the page map and the section
// map, then the data pages (a byte whose bit 0 set means stored as they
// are, then the bytes); each map and page is preceded by its length (2).
inline std::vector<uint8_t> serializeR2007Image(const R2007Image& image) {
  std::vector<uint8_t> out;
  putLe(out, image.codePage, 2);
  putLe(out, image.securityFlags, 4);
  for (uint64_t f : image.fields) putLe(out, f);
  auto block = [&](const std::vector<uint8_t>& b) {
    putLe(out, b.size(), 2);
    out.insert(out.end(), b.begin(), b.end());
  };
  block(image.pageMap);
  block(image.sectionMap);
  for (const R2007ImagePage& p : image.dataPages) {
    out.push_back(p.interleaved ? 0 : 1);
    block(p.stored);
  }
  return out;
}

// The inverse, for any bytes: what is missing reads as zeros, a length
// past the end takes what is there, and at most 16 data pages are taken.
inline R2007Image parseR2007Image(std::span<const uint8_t> bytes) {
  size_t pos = 0;
  auto le = [&](size_t n) {
    uint64_t v = 0;
    for (size_t i = 0; i < n && pos < bytes.size(); ++i) v |= uint64_t(bytes[pos++]) << (8 * i);
    return v;
  };
  auto block = [&] {
    size_t n = size_t(le(2));
    n = std::min(n, bytes.size() - pos);
    std::vector<uint8_t> b(bytes.begin() + long(pos), bytes.begin() + long(pos + n));
    pos += n;
    return b;
  };
  R2007Image image;
  image.codePage = uint16_t(le(2));
  image.securityFlags = uint32_t(le(4));
  for (uint64_t& f : image.fields) f = le(8);
  image.pageMap = block();
  image.sectionMap = block();
  while (pos < bytes.size() && image.dataPages.size() < 16) {
    R2007ImagePage page;
    page.interleaved = (le(1) & 1) == 0;
    page.stored = block();
    image.dataPages.push_back(std::move(page));
  }
  return image;
}

// The four sections the reader needs, each one plain page of recognisable
// bytes; the classes section's page is compressed (a literal run and a
// copy: "CLASSES!" eight times).
inline std::vector<R2007SectionSpec> smallR2007Sections() {
  auto plain = [](const std::string& name, const std::string& text) {
    R2007SectionSpec s{name, text.size(), 0, 4, {}};
    s.pages.push_back({0, text.size(), std::vector<uint8_t>(text.begin(), text.end())});
    return s;
  };
  R2007SectionSpec classes{"AcDb:Classes", 64, 0, 4, {}};
  // Opcode 0 opens a literal run of 8 (one piece of 8, kept in order);
  // 0x20 08 00 38 copies 56 bytes from 8 back (0x38 & 0xF8), no run after.
  classes.pages.push_back({0, 64, {0x00, 'C', 'L', 'A', 'S', 'S', 'E', 'S', '!', 0x20, 0x08, 0x00, 0x38}});
  return {plain("AcDb:Header", "header variables"), classes, plain("AcDb:Handles", "object map"),
          plain("AcDb:AcDbObjects", "the objects of the drawing")};
}

} // namespace corvane::dwg::testing
