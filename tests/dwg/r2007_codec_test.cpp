// R2007's two codecs on their own: the decompressor against hand-made
// streams (each opcode class, the literal shuffle, every way a stream can
// lie), and the Reed-Solomon layer against the code words of the corpus
// drawing, which an independent writer encoded.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "dwg/cpu_features.h"
#include "dwg/dwg_error.h"
#include "dwg/dwg_r2007_decompress.h"
#include "dwg/dwg_r2007_reed_solomon.h"
#include "dwg/r2007_corpus.h"

namespace corvane::dwg {
namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> list) {
  std::vector<uint8_t> v;
  for (int b : list) v.push_back(uint8_t(b));
  return v;
}

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::string& text) {
  a.insert(a.end(), text.begin(), text.end());
  return a;
}
std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::vector<uint8_t> decompress(const std::vector<uint8_t>& src, size_t size) {
  std::vector<uint8_t> out(size);
  decompressR2007(src, out, "test", 0);
  return out;
}

std::string text(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

std::vector<uint8_t> iota(size_t n) {
  std::vector<uint8_t> v(n);
  std::iota(v.begin(), v.end(), uint8_t(0));
  return v;
}

// The message of the DwgError that decompressing SRC into SIZE bytes throws
// (at byte 100 of section "AcDb:Test"), or "no error".
std::string failure(const std::vector<uint8_t>& src, size_t size, uint64_t* offset = nullptr) {
  std::vector<uint8_t> out(size);
  try {
    decompressR2007(src, out, "AcDb:Test", 100);
  } catch (const DwgError& e) {
    EXPECT_EQ(e.section(), "AcDb:Test");
    if (offset) *offset = e.offset();
    return e.what();
  }
  return "no error";
}

TEST(R2007Decompress, LiteralRunsComeOutLastPieceFirst) {
  // A run of n bytes is cut into pieces of 1, 4 and 8 from its start and
  // written last piece first; runs past 31 go by chunks of 32.
  EXPECT_EQ(decompress(bytes({0x05}) + iota(13), 13), bytes({12, 8, 9, 10, 11, 0, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(decompress(bytes({0x0F, 0x08}) + iota(31), 31),
            bytes({30, 26, 27, 28, 29, 18, 19, 20, 21, 22, 23, 24, 25, 10, 11, 12,
                   13, 14, 15, 16, 17, 2,  3,  4,  5,  6,  7,  8,  9,  1,  0}));
  EXPECT_EQ(decompress(bytes({0x0F, 0x10}) + iota(39), 39),
            bytes({24, 25, 26, 27, 28, 29, 30, 31, 16, 17, 18, 19, 20, 21, 22, 23, 8,  9,  10, 11,
                   12, 13, 14, 15, 0,  1,  2,  3,  4,  5,  6,  7,  38, 37, 33, 34, 35, 36, 32}));
  EXPECT_EQ(text(decompress(bytes({0x00}) + "ABCDEFGH", 8)), "ABCDEFGH");
  // An opening 0x2? gives a short run in the low bits of its fourth byte.
  EXPECT_EQ(text(decompress(bytes({0x20, 0xAA, 0xBB, 0x03}) + "xyz", 3)), "zyx");
}

TEST(R2007Decompress, LongLiteralLengthsAddExtensionBytes) {
  // 0x0F: 23 plus the next byte; a byte of 0xFF adds 16-bit words for as
  // long as they are 0xFFFF.
  const size_t n = 0x17 + 0xFF + 0xFFFF + 2;
  std::vector<uint8_t> src = bytes({0x0F, 0xFF, 0xFF, 0xFF, 0x02, 0x00}) + std::vector<uint8_t>(n, 'q');
  EXPECT_EQ(decompress(src, n), std::vector<uint8_t>(n, 'q'));
}

TEST(R2007Decompress, EachCopyClassReachesBackAndCarriesTheNextRun) {
  // 0x40 00: 4 bytes from 1 back (a run of H); 0x12 0B 00: 5 bytes from 12
  // back; 0xF0 10 01: 19 bytes from 17 back, overlapping what it writes,
  // its last byte's low bits announcing a literal run of 1.
  std::vector<uint8_t> src =
      bytes({0x00}) + "ABCDEFGH" + bytes({0x40, 0x00, 0x12, 0x0B, 0x00, 0xF0, 0x10, 0x01}) + "z";
  EXPECT_EQ(text(decompress(src, 37)), "ABCDEFGHHHHHABCDEABCDEFGHHHHHABCDEABz");
  // 0x21 08 00 08: 16-bit offset 8, length 1 + (0x08 & 0xF8).
  EXPECT_EQ(text(decompress(bytes({0x00}) + "ABCDEFGH" + bytes({0x21, 0x08, 0x00, 0x08}), 17)),
            "ABCDEFGHABCDEFGHA");
  // 0x28 00 00 00 00: the long form, offset 0 + 1, length 0x100.
  EXPECT_EQ(text(decompress(bytes({0x00}) + "ABCDEFGH" + bytes({0x28, 0x00, 0x00, 0x00, 0x00}), 264)),
            "ABCDEFGH" + std::string(256, 'H'));
}

TEST(R2007Decompress, RefusesStreamsThatLie) {
  const std::vector<uint8_t> run = bytes({0x00}) + "ABCDEFGH";
  uint64_t at = 0;
  EXPECT_EQ(failure(run, 7, &at), "AcDb:Test at byte 100: page decompresses past its stated size");
  EXPECT_EQ(failure(run + bytes({0x40, 0x00}), 10, &at),
            "AcDb:Test at byte 108: page decompresses past its stated size");
  EXPECT_EQ(at, 108u);
  EXPECT_EQ(failure(run, 10), "AcDb:Test at byte 108: page decompresses to 8 bytes, 10 stated");
  EXPECT_EQ(failure(run + bytes({0x12, 0x08, 0x00}), 20),
            "AcDb:Test at byte 108: compressed data copies from before the start of the page");
  EXPECT_EQ(failure(run + bytes({0x21, 0x00, 0x00, 0x08}), 20),
            "AcDb:Test at byte 108: compressed data copies from before the start of the page");
  EXPECT_EQ(failure(run + bytes({0x12}), 20), "AcDb:Test at byte 108: compressed data ends inside an opcode");
  EXPECT_EQ(failure(bytes({0x05, 'a', 'b'}), 13),
            "AcDb:Test at byte 100: compressed data ends inside a literal run");
  EXPECT_EQ(failure(bytes({0x0F, 0xFF, 0xFF, 0xFF}), 300),
            "AcDb:Test at byte 100: compressed data ends inside an opcode");
  EXPECT_EQ(failure({}, 1), "AcDb:Test at byte 100: compressed data ends inside an opcode");
  EXPECT_EQ(failure(bytes({0x20, 0, 0, 0x08}), 4),
            "AcDb:Test at byte 100: compressed data opens with an empty literal run");
}

TEST(R2007ReedSolomon, InterleavesWordsByteByByte) {
  // Two words of the system code: byte j of word i lies at i + 2j, the
  // parity after each word's 239 data bytes.
  std::vector<uint8_t> data = iota(300);
  std::vector<uint8_t> encoded = interleaveR2007(data, R2007Code::kSystem);
  ASSERT_EQ(encoded.size(), 2 * kR2007WordBytes);
  EXPECT_EQ(encoded[0], data[0]);
  EXPECT_EQ(encoded[1], data[239]);
  EXPECT_EQ(encoded[2], data[1]);
  EXPECT_EQ(encoded[2 * 60 + 1], data[299]);
  EXPECT_EQ(encoded[2 * 61 + 1], 0); // word 1 padded with zeros

  std::optional<size_t> bad;
  std::vector<uint8_t> back = deinterleaveR2007(encoded, 2, R2007Code::kSystem, bad);
  EXPECT_FALSE(bad);
  ASSERT_EQ(back.size(), 2 * 239u);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
}

TEST(R2007ReedSolomon, ADamagedByteAnywhereNamesItsWord) {
  for (R2007Code code : {R2007Code::kSystem, R2007Code::kData}) {
    std::vector<uint8_t> encoded = interleaveR2007(iota(600), code);
    const size_t words = encoded.size() / kR2007WordBytes;
    ASSERT_EQ(words, 3u);
    for (size_t j = 0; j < kR2007WordBytes; ++j) {
      std::vector<uint8_t> damaged = encoded;
      damaged[1 + j * words] ^= 0x5A; // byte j of word 1
      std::optional<size_t> bad;
      deinterleaveR2007(damaged, words, code, bad);
      ASSERT_EQ(bad, std::optional<size_t>(1)) << "byte " << j;
    }
  }
}

// Runs of words are checked sixteen at a time (thirty-two where the
// processor has AVX2), the rest gathered: a damaged byte names its word in
// any part, the first of two damaged words is named, and the data comes
// back whole, in both forms of the check.
TEST(R2007ReedSolomon, LongRunsNameTheFirstDamagedWord) {
  const CpuFeatures saved = cpuFeatures();
  for (bool wide : {saved.avx2, false}) {
    cpuFeatures().avx2 = wide;
    for (R2007Code code : {R2007Code::kSystem, R2007Code::kData}) {
      const std::vector<uint8_t> data = iota(70 * r2007DataBytes(code));
      const std::vector<uint8_t> encoded = interleaveR2007(data, code);
      const size_t words = encoded.size() / kR2007WordBytes;
      ASSERT_EQ(words, 70u);
      std::optional<size_t> bad;
      const std::vector<uint8_t> back = deinterleaveR2007(encoded, words, code, bad);
      EXPECT_FALSE(bad);
      EXPECT_EQ(back, data);
      for (size_t word : {0u, 5u, 15u, 16u, 31u, 32u, 47u, 63u, 64u, 69u}) {
        for (size_t j : {size_t{0}, size_t{100}, kR2007WordBytes - 1}) {
          std::vector<uint8_t> damaged = encoded;
          damaged[word + j * words] ^= 0x01;
          if (word + 3 < words) damaged[word + 3 + 7 * words] ^= 0x80; // a later word too
          deinterleaveR2007(damaged, words, code, bad);
          ASSERT_EQ(bad, std::optional<size_t>(word)) << "word " << word << " byte " << j << " wide " << wide;
        }
      }
    }
  }
  cpuFeatures() = saved;
}

TEST(R2007ReedSolomon, ParityEqualsTheCorpusWriters) {
  // The corpus drawing's file header (3 system words at 0x80) and the
  // single page of its AcDb:Header section (3 data words at 0x6C840, where
  // its page map puts page 20): our parity must be the writer's, byte for
  // byte.
  std::vector<uint8_t> file = testing::readFileBytes(testing::r2007CorpusDwg());
  if (file.empty()) GTEST_SKIP() << "the shared corpus is not beside the project";
  struct Run {
    size_t at;
    R2007Code code;
  };
  for (Run run : {Run{0x80, R2007Code::kSystem}, Run{0x6C840, R2007Code::kData}}) {
    std::span<const uint8_t> words(file.data() + run.at, 3 * kR2007WordBytes);
    std::optional<size_t> bad;
    std::vector<uint8_t> data = deinterleaveR2007(words, 3, run.code, bad);
    EXPECT_FALSE(bad) << run.at;
    std::vector<uint8_t> again = interleaveR2007(data, run.code);
    EXPECT_TRUE(std::equal(again.begin(), again.end(), words.begin())) << run.at;
  }
}

} // namespace
} // namespace corvane::dwg
