// The containers against golden bytes and against damage: the checksums'
// published values, the R2004 decompressor's opcodes and refusals, the
// object map's pages, files that are no DWG, every prefix of two corpus
// drawings and targeted corruptions of them, each refused with a DwgError.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>

#include "dwg/back_reference.h"
#include "dwg/cpu_features.h"
#include "dwg/dwg_checksums.h"
#include "dwg/dwg_container_r2004.h"
#include "dwg/dwg_error.h"
#include "dwg/dwg_file.h"
#include "dwg/r2004_decompressor.h"
#include "dwg_test_bytes.h"
#include "support/corpus.h"

namespace corvane::dwg {
namespace {

using testing::hexBytes;

std::vector<uint8_t> corpusFile(const char* name) {
  std::filesystem::path path = corvane::testing::dwgCorpusDir() / name;
  if (!std::filesystem::exists(path)) return {};
  std::string bytes = corvane::testing::readBytes(path);
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// Reads FILE's whole structure and frames every object; the DwgError's
// message, or "read" when nothing was refused.
std::string readAll(std::span<const uint8_t> file) {
  try {
    DwgFile dwg = readDwgFile(file);
    for (const DwgObjectLocation& entry : dwg.objectMap.entries()) dwg.frameAt(entry.offset);
  } catch (const DwgError& e) {
    return e.what();
  }
  return "read";
}

// Decompresses IN into ROOM bytes of OUT, for a page that may hold LIMIT
// (by default ROOM); OUT keeps what was written.
std::string decompress(const std::vector<uint8_t>& in, size_t room, std::vector<uint8_t>& out, size_t limit = 0) {
  out.assign(room, 0);
  try {
    out.resize(std::min(room, decompressR2004(in, out, limit ? limit : room, "page", 100)));
  } catch (const DwgError& e) {
    return e.what();
  }
  return "ok";
}

// Bytes stored as one literal run, the simplest stream the compression has.
std::vector<uint8_t> storeAsLiterals(std::span<const uint8_t> bytes) {
  std::vector<uint8_t> out;
  size_t n = bytes.size();
  if (n <= 18) {
    out.push_back(uint8_t(n - 3));
  } else {
    out.push_back(0);
    size_t rest = n - 3 - 0x0F;
    for (; rest > 0xFF; rest -= 0xFF) out.push_back(0);
    out.push_back(uint8_t(rest));
  }
  out.insert(out.end(), bytes.begin(), bytes.end());
  out.push_back(0x11);
  return out;
}

uint32_t le32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
void putLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

TEST(DwgChecksums, PublishedCheckValues) {
  const std::string check = "123456789";
  std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(check.data()), check.size());
  EXPECT_EQ(crc16(0, bytes), 0xBB3D);        // CRC-16/ARC
  EXPECT_EQ(crc32(0, bytes), 0xCBF43926u);   // CRC-32
  EXPECT_EQ(pageChecksum(0, bytes), 0x091501DDu);
  EXPECT_EQ(pageChecksum(0x12345678, bytes), 0x25AE5855u);
  // The CRC runs on from its seed: two halves give the whole's.
  EXPECT_EQ(crc16(crc16(kCrc16SectionSeed, bytes.first(4)), bytes.subspan(4)), crc16(kCrc16SectionSeed, bytes));
  // The sums fold every 0x15B0 bytes: a long run of 0xFF stays in range.
  std::vector<uint8_t> ones(0x15B0 * 3 + 7, 0xFF);
  uint32_t sum = pageChecksum(0, ones);
  EXPECT_LT(sum & 0xFFFF, 0xFFF1u);
  EXPECT_LT(sum >> 16, 0xFFF1u);
}

// The CRC-16 runs sixteen bytes at a time (or folds them), then byte by
// byte: every length around and across those steps, from any seed, gives
// what a bit-by-bit reckoning does.
TEST(DwgChecksums, Crc16OfEveryLengthMatchesBitByBit) {
  auto bitByBit = [](uint16_t crc, std::span<const uint8_t> bytes) {
    for (uint8_t b : bytes) {
      crc ^= b;
      for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? uint16_t((crc >> 1) ^ 0xA001) : uint16_t(crc >> 1);
    }
    return crc;
  };
  std::vector<uint8_t> bytes(300);
  uint32_t x = 12345;
  for (uint8_t& b : bytes) b = uint8_t((x = x * 1103515245u + 12345u) >> 16);
  // Both forms: folded by carry-less products where the processor has
  // them, and by tables.
  const CpuFeatures saved = cpuFeatures();
  for (bool folded : {saved.carrylessMultiply, false}) {
    cpuFeatures().carrylessMultiply = folded;
    for (uint16_t seed : {uint16_t(0), kCrc16SectionSeed, uint16_t(0xFFFF)})
      for (size_t n = 0; n <= bytes.size(); ++n)
        for (size_t from : {size_t(0), size_t(1), size_t(7)})
          if (from <= n) {
            const std::span<const uint8_t> part = std::span<const uint8_t>(bytes).subspan(from, n - from);
            ASSERT_EQ(crc16(seed, part), bitByBit(seed, part))
                << "seed " << seed << ", bytes " << from << " to " << n << ", folded " << folded;
          }
  }
  cpuFeatures() = saved;
}

// The page checksum runs 32 bytes a step where the processor has AVX2, else
// eight, then byte by byte: every length across those steps and across the
// folds, from any seed, gives what a byte-by-byte reckoning does.
TEST(DwgChecksums, PageChecksumOfEveryLengthMatchesByteByByte) {
  auto byteByByte = [](uint32_t seed, std::span<const uint8_t> bytes) {
    uint64_t low = seed & 0xFFFF, high = seed >> 16;
    for (uint8_t b : bytes) {
      low = (low + b) % 0xFFF1;
      high = (high + low) % 0xFFF1;
    }
    return uint32_t(high << 16 | low);
  };
  std::vector<uint8_t> bytes(0x15B0 * 2 + 200);
  uint32_t x = 777;
  for (uint8_t& b : bytes) b = uint8_t((x = x * 1103515245u + 12345u) >> 16);
  const std::vector<uint8_t> ones(0x15B0 * 3 + 41, 0xFF);
  const CpuFeatures saved = cpuFeatures();
  for (bool wide : {saved.avx2, false}) {
    cpuFeatures().avx2 = wide;
    for (uint32_t seed : {0u, 0x12345678u, 0xFFF0FFF0u})
      for (size_t n = 0; n <= bytes.size(); n += n < 300 ? 1 : 97)
        ASSERT_EQ(pageChecksum(seed, std::span(bytes).first(n)), byteByByte(seed, std::span(bytes).first(n)))
            << "seed " << seed << ", " << n << " bytes, wide " << wide;
    EXPECT_EQ(pageChecksum(0, ones), byteByByte(0, ones)) << "wide " << wide;
  }
  cpuFeatures() = saved;
}

TEST(R2004Decompressor, OpcodesGoldenBytes) {
  std::vector<uint8_t> out;
  // A literal "abca", then 8 bytes from 3 back (0x98 0x00), then the end.
  EXPECT_EQ(decompress(hexBytes("01 61 62 63 61 98 00 11"), 64, out), "ok");
  EXPECT_EQ(std::string(out.begin(), out.end()), "abcabcabcabc");
  // The same reference with two literals after it (its low bits), then
  // 0x22: 4 bytes from 4 back (offset byte 0x0C) and one literal.
  EXPECT_EQ(decompress(hexBytes("01 61 62 63 61 9A 00 78 79 22 0D 00 7A 11"), 64, out), "ok");
  EXPECT_EQ(std::string(out.begin(), out.end()), "abcabcabcabcxybcxyz");
  // After a reference without literals, a byte below 0x10 is a literal run
  // (0x02: 5 bytes).
  EXPECT_EQ(decompress(hexBytes("01 61 62 63 61 98 00 02 31 32 33 34 35 11"), 64, out), "ok");
  EXPECT_EQ(std::string(out.begin(), out.end()), "abcabcabcabc12345");
  // 0x20: a long count, 0xFF for each zero, here 0x21 + 0x1FE + 3 bytes.
  EXPECT_EQ(decompress(hexBytes("01 61 62 63 64 20 00 00 03 0C 00 11"), 2048, out), "ok");
  EXPECT_EQ(out.size(), 4u + 0x21 + 0x1FE + 3);
  EXPECT_EQ(out[4 + 0x21 + 0x1FE + 2], 'b');
  // A long first literal run: 0x00, then 0x0F + 5 + 3 bytes.
  std::vector<uint8_t> longRun = hexBytes("00 05");
  for (int i = 0; i < 23; ++i) longRun.push_back(uint8_t('A' + i));
  longRun.push_back(0x11);
  EXPECT_EQ(decompress(longRun, 64, out), "ok");
  EXPECT_EQ(out.size(), 23u);
  EXPECT_EQ(out.back(), 'W');
}

// A page padded past what its section wants is decoded as far as wanted:
// the result says it holds more, and what it holds beyond its stated size
// is refused all the same when that is where the output stops.
TEST(R2004Decompressor, StopsOnceTheOutputIsFull) {
  const std::vector<uint8_t> in = hexBytes("01 61 62 63 61 98 00 02 31 32 33 34 35 11"); // "abcabcabcabc12345"
  std::vector<uint8_t> out(64);
  for (size_t room : {size_t{1}, size_t{4}, size_t{5}, size_t{12}, size_t{14}, size_t{16}}) {
    out.assign(room, 0);
    ASSERT_EQ(decompressR2004(in, out, 64, "page", 100), room + 1) << room;
    EXPECT_EQ(std::string(out.begin(), out.end()), std::string("abcabcabcabc12345").substr(0, room));
  }
  out.assign(17, 0);
  EXPECT_EQ(decompressR2004(in, out, 64, "page", 100), 17u);
  EXPECT_EQ(decompress(in, 5, out, 10), "page at byte 107: the page decompresses past its stated size of 10 bytes");
  EXPECT_EQ(decompress(in, 5, out, 12), "ok");
  EXPECT_EQ(std::string(out.begin(), out.end()), "abcab");
}

TEST(R2004Decompressor, FarReferences) {
  // 0x4007 stored bytes; then 0x12 (4 bytes, 0x4000 back plus the offset
  // bytes' 7) copies the start again, and 0x10 (9 plus a long count of 1,
  // 0x4008 back) the bytes from 3 on.
  std::vector<uint8_t> text(0x4007);
  for (size_t i = 0; i < text.size(); ++i) text[i] = uint8_t(i * 7);
  std::vector<uint8_t> in = storeAsLiterals(text);
  in.pop_back();
  for (uint8_t b : hexBytes("12 1C 00 10 01 20 00 11")) in.push_back(b);
  std::vector<uint8_t> out;
  ASSERT_EQ(decompress(in, 0x5000, out), "ok");
  ASSERT_EQ(out.size(), text.size() + 4 + 10);
  EXPECT_TRUE(std::equal(out.begin() + 0x4007, out.begin() + 0x400B, text.begin()));
  EXPECT_TRUE(std::equal(out.begin() + 0x400B, out.end(), out.begin() + 3));
}

// The copy both compressions end in, against the byte-by-byte reading of
// a back reference: every distance that overlaps and some that don't,
// every count up to several periods, with room to spare and without.
TEST(R2004Decompressor, BackReferencesRepeatWhatTheyOverlap) {
  for (size_t distance = 1; distance <= 20; ++distance)
    for (size_t count = 0; count <= 70; ++count)
      for (size_t spare : {size_t{0}, size_t{3}, size_t{8}, size_t{64}}) {
        std::vector<uint8_t> want(distance + count + spare), got;
        for (size_t i = 0; i < distance; ++i) want[i] = static_cast<uint8_t>(0xA0 + i);
        got = want;
        for (size_t i = 0; i < count; ++i) want[distance + i] = want[i];
        copyBackReference(got.data() + distance, distance, count, count + spare);
        ASSERT_TRUE(std::equal(want.begin(), want.begin() + static_cast<long>(distance + count), got.begin()))
            << distance << " back, " << count << " bytes, " << spare << " spare";
      }
}

TEST(R2004Decompressor, RefusesWhatItCantTrust) {
  std::vector<uint8_t> out;
  EXPECT_EQ(decompress(hexBytes("01 61 62 63 61 98 00 11"), 10, out),
            "page at byte 107: the page decompresses past its stated size of 10 bytes");
  EXPECT_EQ(decompress(hexBytes("01 61 62 63 61 98 00"), 64, out),
            "page at byte 107: the compressed data ends before its closing opcode");
  EXPECT_EQ(decompress(hexBytes("98 00 11"), 64, out),
            "page at byte 102: a back reference 3 bytes back, before the page's start");
  EXPECT_EQ(decompress(hexBytes("01 61 62 63 61 05 11"), 64, out),
            "page at byte 105: an opcode the compression doesn't have (5)");
  EXPECT_EQ(decompress(hexBytes("01 61 62"), 64, out),
            "page at byte 101: a literal run of 4 bytes runs past the page");
  EXPECT_EQ(decompress({}, 64, out), "page at byte 100: the compressed data ends before its closing opcode");
  // A hostile count: thousands of zero bytes make a count the page can't
  // hold, refused when the copy would pass the end, not before.
  std::vector<uint8_t> huge = hexBytes("01 61 62 63 61 20");
  huge.insert(huge.end(), 5000, 0);
  for (uint8_t b : hexBytes("01 0C 00 11")) huge.push_back(b);
  EXPECT_NE(decompress(huge, 0x7400, out).find("past its stated size"), std::string::npos);
}

TEST(DwgObjectMapPages, GoldenPagesAndRefusals) {
  // One page: handles 1 (offset 0) and 3 (offset 20), then the end page.
  auto page = [](std::vector<uint8_t> entries) {
    std::vector<uint8_t> bytes;
    bytes.reserve(entries.size() + 4);
    bytes.push_back(0);
    bytes.push_back(uint8_t(entries.size() + 2));
    for (uint8_t e : entries) bytes.push_back(e);
    uint16_t crc = crc16(kCrc16SectionSeed, bytes);
    bytes.push_back(uint8_t(crc >> 8));
    bytes.push_back(uint8_t(crc));
    return bytes;
  };
  auto mapOf = [&](std::vector<uint8_t> entries, std::vector<uint8_t>& objects) {
    DwgSections s;
    s.handles = page(entries);
    std::vector<uint8_t> end = page({});
    s.handles.insert(s.handles.end(), end.begin(), end.end());
    s.objects = objects;
    return readObjectMap(s);
  };
  std::vector<uint8_t> objects(64);
  DwgObjectMap map = mapOf(hexBytes("01 00 02 14"), objects);
  ASSERT_EQ(map.size(), 2u);
  EXPECT_EQ(map.find(3), 20u);
  EXPECT_EQ(map.find(1), 0u);
  EXPECT_FALSE(map.find(2));

  auto refusal = [&](std::vector<uint8_t> entries) {
    try {
      mapOf(entries, objects);
    } catch (const DwgError& e) {
      return std::string(e.what());
    }
    return std::string("read");
  };
  EXPECT_EQ(refusal(hexBytes("01 00 02 3F")), "read");
  EXPECT_EQ(refusal(hexBytes("01 00 02 80 01")),
            "AcDb:Handles at byte 4: the object of handle 3 lies outside the objects (offset 128 of 64)");
  EXPECT_EQ(refusal(hexBytes("01 00 02 41")),
            "AcDb:Handles at byte 4: the object of handle 3 lies outside the objects (offset -1 of 64)");
  EXPECT_EQ(refusal(hexBytes("01 00 00 01")), "AcDb:Handles at byte 0: handle 1 appears twice in the map");

  DwgSections cut;
  cut.handles = hexBytes("07 F2 01 00");
  cut.objects = objects;
  EXPECT_THROW(readObjectMap(cut), DwgError);
  DwgSections bad;
  bad.handles = page(hexBytes("01 00"));
  bad.handles[2] ^= 1;
  bad.objects = objects;
  try {
    readObjectMap(bad);
    ADD_FAILURE() << "a damaged page read";
  } catch (const DwgError& e) {
    EXPECT_STREQ(e.what(), "AcDb:Handles at byte 4: checksum mismatch");
  }
}

TEST(DwgVersions, OnlyR13ToR2018AreRead) {
  auto refusal = [](std::string bytes) { return readAll(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())); };
  EXPECT_EQ(refusal("AC1009" + std::string(200, '\0')),
            "file header at byte 0: AC1009 (R11/R12) drawings are older than the DWG versions this reader reads (R13 to R2018)");
  EXPECT_EQ(refusal("AC1006"), "file header at byte 0: AC1006 (R10) drawings are older than the DWG versions this reader reads (R13 to R2018)");
  EXPECT_EQ(refusal("AC1040" + std::string(200, '\0')),
            "file header at byte 0: DWG version AC1040 is not one this reader reads (R13 to R2018)");
  EXPECT_EQ(refusal("0\nSECTION\n"), "file header at byte 0: not a DWG drawing (its first bytes name no DWG version)");
  EXPECT_EQ(refusal(""), "file header at byte 0: not a DWG drawing (its first bytes name no DWG version)");
  EXPECT_EQ(refusal("AC1015"), "file header at byte 11: the data ends before this byte");
}

// Every prefix of FILE (sampled at about 200 cut points, each in a buffer
// of its own so that AddressSanitizer sees any read past it) is refused.
void everyPrefixIsRefused(const std::vector<uint8_t>& file) {
  size_t step = file.size() / 200 + 1;
  for (size_t cut = 0; cut < file.size(); cut += (cut < 4096 ? 61 : step)) {
    std::vector<uint8_t> prefix(file.begin(), file.begin() + cut);
    EXPECT_NE(readAll(prefix), "read") << "cut at " << cut;
  }
  for (size_t cut = file.size() - 8; cut < file.size(); ++cut) {
    std::vector<uint8_t> prefix(file.begin(), file.begin() + cut);
    EXPECT_NE(readAll(prefix), "read") << "cut at " << cut;
  }
}

TEST(DwgDamage, EveryPrefixOfR2000AndR2018IsRefused) {
  for (const char* name : {"r2000_libredwg_example.dwg", "r2018_libredwg_example.dwg"}) {
    SCOPED_TRACE(name);
    std::vector<uint8_t> file = corpusFile(name);
    if (file.empty()) GTEST_SKIP() << "no DWG corpus";
    ASSERT_EQ(readAll(file), "read");
    everyPrefixIsRefused(file);
  }
}

TEST(DwgDamage, R2000Corruptions) {
  std::vector<uint8_t> file = corpusFile("r2000_libredwg_example.dwg");
  if (file.empty()) GTEST_SKIP() << "no DWG corpus";
  auto damaged = [&](auto change) {
    std::vector<uint8_t> copy = file;
    change(copy);
    return readAll(copy);
  };
  // The locators (record, offset, size) start at 0x19; the header CRC
  // follows the sixth. Rewriting one needs the CRC written anew.
  auto reseal = [](std::vector<uint8_t>& f) {
    uint16_t crc = crc16(0, std::span(f).first(0x19 + 6 * 9)) ^ 0x8461;
    f[0x19 + 6 * 9] = uint8_t(crc);
    f[0x19 + 6 * 9 + 1] = uint8_t(crc >> 8);
  };
  EXPECT_EQ(damaged([](std::vector<uint8_t>& f) { f[0x19 + 1] ^= 1; }), "file header at byte 79: checksum mismatch");
  EXPECT_EQ(damaged([&](std::vector<uint8_t>& f) {
              putLe32(&f[0x19 + 9 * 2 + 1], uint32_t(f.size() - 10));
              reseal(f);
            }),
            "file header at byte 43: section locator 2 points past the end of the file (582562 + 2184 > 582572)");
  EXPECT_EQ(damaged([&](std::vector<uint8_t>& f) { putLe32(&f[0x15], 0xFFFFFFFF); }),
            "file header at byte 21: a file header with 4294967295 section locators");
  // A byte of the header variables, of the classes, of the object map and
  // of an object.
  uint32_t headerAt = le32(&file[0x19 + 1]), classesAt = le32(&file[0x19 + 9 + 1]), mapAt = le32(&file[0x19 + 18 + 1]);
  EXPECT_EQ(damaged([&](std::vector<uint8_t>& f) { f[headerAt + 40] ^= 0x10; }), "AcDb:Header at byte 560: checksum mismatch");
  EXPECT_NE(damaged([&](std::vector<uint8_t>& f) { f[classesAt + 40] ^= 0x10; }).find("AcDb:Classes at byte"), std::string::npos);
  EXPECT_NE(damaged([&](std::vector<uint8_t>& f) { f[mapAt + 40] ^= 0x10; }).find("AcDb:Handles"), std::string::npos);
  DwgFile dwg = readDwgFile(file);
  uint64_t object = dwg.objectMap.entries()[100].offset;
  EXPECT_NE(damaged([&](std::vector<uint8_t>& f) { f[object + 5] ^= 0x10; }).find(": checksum mismatch"), std::string::npos);
  // The object nearest the end, its size made to run past the file.
  uint64_t last = 0;
  for (const DwgObjectLocation& entry : dwg.objectMap.entries()) last = std::max(last, entry.offset);
  EXPECT_NE(damaged([&](std::vector<uint8_t>& f) {
              f[last] = 0xFF;
              f[last + 1] = 0x7F;
            }).find("runs past the objects"),
            std::string::npos);
  EXPECT_THROW(dwg.frame(dwg.header.handSeed), DwgError);
}

// The R2004-family file header's encrypted fields, decrypted.
struct R2004Header {
  uint8_t bytes[0x6C];
  explicit R2004Header(const std::vector<uint8_t>& file) {
    uint8_t mask[0x6C];
    r2004HeaderMask(mask);
    for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = file[0x80 + i] ^ mask[i];
  }
  // Writes the fields back into FILE with their CRC-32 and encryption.
  void store(std::vector<uint8_t>& file) {
    putLe32(bytes + 0x68, 0);
    putLe32(bytes + 0x68, crc32(0, bytes));
    uint8_t mask[0x6C];
    r2004HeaderMask(mask);
    for (size_t i = 0; i < sizeof bytes; ++i) file[0x80 + i] = bytes[i] ^ mask[i];
  }
};

TEST(DwgDamage, R2018Corruptions) {
  std::vector<uint8_t> file = corpusFile("r2018_libredwg_example.dwg");
  if (file.empty()) GTEST_SKIP() << "no DWG corpus";
  auto damaged = [&](auto change) {
    std::vector<uint8_t> copy = file;
    change(copy);
    return readAll(copy);
  };
  EXPECT_EQ(damaged([](std::vector<uint8_t>& f) { f[0x90] ^= 1; }), "file header at byte 232: checksum mismatch");
  EXPECT_EQ(damaged([](std::vector<uint8_t>& f) { f[0x18] = 1; }),
            "file header at byte 24: password-protected drawings can't be read (the drawing is encrypted)");
  // The page map placed past the end of the file.
  EXPECT_EQ(damaged([&](std::vector<uint8_t>& f) {
              R2004Header h(f);
              putLe32(h.bytes + 0x54, uint32_t(f.size()));
              h.store(f);
            }),
            "page map at byte " + std::to_string(file.size() + 0x100) + ": the page lies past the end of the file");
  // Every data page's header with a byte flipped: its data size, then its
  // start offset. Data pages are found by their masked type (0x4163043B
  // under 0x4164536B and the page's address), on 32-byte boundaries.
  int pages = 0;
  for (size_t at = 0x100; at + 32 <= file.size(); at += 32) {
    if (le32(&file[at]) != (0x4163043Bu ^ 0x4164536Bu ^ uint32_t(at))) continue;
    ++pages;
    for (size_t field : {8, 16, 24}) {
      std::string refused = damaged([&](std::vector<uint8_t>& f) { f[at + field] ^= 0x04; });
      // Pages of sections the reader doesn't need are never opened.
      if (refused != "read") {
        EXPECT_NE(refused.find(" page "), std::string::npos) << refused;
      }
    }
  }
  EXPECT_GT(pages, 15);
  // An absurd count of section descriptions: the section map rewritten
  // (stored as literals) to state 0x7FFFFFFF of them.
  size_t mapAt = 0;
  for (size_t at = 0x100; at + 20 <= file.size() && !mapAt; at += 32)
    if (le32(&file[at]) == 0x4163003B && le32(&file[at + 12]) == 2) mapAt = at;
  ASSERT_NE(mapAt, 0u);
  EXPECT_EQ(damaged([&](std::vector<uint8_t>& f) {
              uint8_t fields[20];
              putLe32(fields, 0x7FFFFFFF);
              putLe32(fields + 4, 2);
              putLe32(fields + 8, 0x7400);
              putLe32(fields + 12, 0);
              putLe32(fields + 16, 0x7FFFFFFF);
              std::vector<uint8_t> data = storeAsLiterals(fields);
              putLe32(&f[mapAt + 4], sizeof fields);
              putLe32(&f[mapAt + 8], uint32_t(data.size()));
              putLe32(&f[mapAt + 16], 0);
              std::memcpy(&f[mapAt + 20], data.data(), data.size());
              uint8_t head[20];
              std::memcpy(head, &f[mapAt], 20);
              putLe32(&f[mapAt + 16], pageChecksum(pageChecksum(0, head), data));
            }),
            "section map at byte 0: 2147483647 section descriptions can't fit in the map");
}

} // namespace
} // namespace corvane::dwg
