#include "dwg/dwg_checksums.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "dwg/cpu_features.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace corvane::dwg {
namespace {

template <typename Word, Word kPolynomial>
constexpr std::array<Word, 256> reflectedTable() {
  std::array<Word, 256> table{};
  for (unsigned i = 0; i < 256; ++i) {
    Word v = Word(i);
    for (int bit = 0; bit < 8; ++bit) v = (v & 1) ? Word((v >> 1) ^ kPolynomial) : Word(v >> 1);
    table[i] = v;
  }
  return table;
}

constexpr auto kCrc16Table = reflectedTable<uint16_t, 0xA001>();

// The CRC-16 of sixteen bytes at a time ("slicing by sixteen"): table K
// gives what a byte contributes when K more bytes follow it. Every object
// an export reads is checked, its model among them, so this is on the
// loading path of every DWG.
constexpr size_t kCrc16Slice = 16;
constexpr std::array<std::array<uint16_t, 256>, kCrc16Slice> crc16Slices() {
  std::array<std::array<uint16_t, 256>, kCrc16Slice> t{};
  t[0] = reflectedTable<uint16_t, 0xA001>();
  for (size_t k = 1; k < kCrc16Slice; ++k)
    for (unsigned i = 0; i < 256; ++i) t[k][i] = uint16_t((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
  return t;
}
constexpr auto kCrc16Slices = crc16Slices();
constexpr auto kCrc32Table = reflectedTable<uint32_t, 0xEDB88320u>();

uint16_t crc16Sliced(uint16_t seed, std::span<const uint8_t> bytes) {
  uint16_t crc = seed;
  size_t i = 0;
  for (; i + kCrc16Slice <= bytes.size(); i += kCrc16Slice) {
    const uint8_t* b = bytes.data() + i;
    uint16_t next = uint16_t(kCrc16Slices[15][(crc ^ b[0]) & 0xFF] ^ kCrc16Slices[14][((crc >> 8) ^ b[1]) & 0xFF]);
    for (size_t k = 2; k < kCrc16Slice; ++k) next ^= kCrc16Slices[kCrc16Slice - 1 - k][b[k]];
    crc = next;
  }
  for (; i < bytes.size(); ++i) crc = uint16_t((crc >> 8) ^ kCrc16Table[(crc ^ bytes[i]) & 0xFF]);
  return crc;
}

#if defined(__x86_64__)
// Where the processor multiplies without carries, the CRC-16 folds the data
// sixteen bytes at a time and only the last sixteen go through the tables.
// The CRC is the remainder of the message (times x^16) by the polynomial
// P = x^16 + x^15 + x^2 + 1, so a block A followed by a block B may be
// replaced by any block congruent to A * x^128 + B: A's two halves are
// multiplied by x^192 and x^128 modulo P and added to B. The seed is the
// same as the first two bytes XORed with it. In a 128-bit load of
// reflected data, bit k is the coefficient of x^(127 - k), and a carry-less
// product of two such halves comes out one power short, so the constants
// are x^191 and x^127.
constexpr uint32_t xPowerModP(unsigned n) {
  uint32_t r = 1;
  for (unsigned i = 0; i < n; ++i) {
    r <<= 1;
    if (r & 0x10000) r ^= 0x18005;
  }
  return r;
}

// A polynomial of degree below 16 with the coefficient of x^j at bit 63 - j.
constexpr uint64_t reflected64(uint32_t polynomial) {
  uint64_t r = 0;
  for (unsigned j = 0; j < 16; ++j)
    if ((polynomial >> j) & 1) r |= uint64_t(1) << (63 - j);
  return r;
}

__attribute__((target("pclmul,sse4.1"))) uint16_t crc16Folded(uint16_t seed, std::span<const uint8_t> bytes) {
  const size_t blocks = bytes.size() / 16;
  const uint8_t* p = bytes.data();
  const __m128i k = _mm_set_epi64x(int64_t(reflected64(xPowerModP(127))), int64_t(reflected64(xPowerModP(191))));
  __m128i a = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_cvtsi32_si128(seed));
  for (size_t i = 1; i < blocks; ++i) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    a = _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11)), b);
  }
  uint8_t folded[16];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(folded), a);
  return crc16Sliced(crc16Sliced(0, folded), bytes.subspan(16 * blocks));
}

#endif

} // namespace

uint16_t crc16(uint16_t seed, std::span<const uint8_t> bytes) {
#if defined(__x86_64__)
  if (bytes.size() >= 32 && cpuFeatures().carrylessMultiply) return crc16Folded(seed, bytes);
#endif
  return crc16Sliced(seed, bytes);
}

uint32_t crc32(uint32_t seed, std::span<const uint8_t> bytes) {
  uint32_t crc = ~seed;
  for (uint8_t b : bytes) crc = (crc >> 8) ^ kCrc32Table[(crc ^ b) & 0xFF];
  return ~crc;
}

namespace {

// The page checksum's two sums over BYTES (whose length is a multiple of
// 32), 32 bytes a step: LOW gains the bytes, HIGH gains LOW before each
// step 32 times and the bytes weighted 32, 31, ..., 1. The step's sums are
// gathered per lane (byte sums by SAD, weighted ones by multiply-adds) and
// folded into LOW and HIGH at the end.
#if defined(__x86_64__)
__attribute__((target("avx2"))) void pageSumsWide(std::span<const uint8_t> bytes, uint64_t& low, uint64_t& high) {
  const __m256i weights = _mm256_setr_epi8(32, 31, 30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15,
                                           14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1);
  const __m256i ones = _mm256_set1_epi16(1), zero = _mm256_setzero_si256();
  __m256i sums = zero, before = zero, weighted = zero;
  for (size_t i = 0; i < bytes.size(); i += 32) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes.data() + i));
    before = _mm256_add_epi64(before, sums);
    sums = _mm256_add_epi64(sums, _mm256_sad_epu8(x, zero));
    weighted = _mm256_add_epi32(weighted, _mm256_madd_epi16(_mm256_maddubs_epi16(x, weights), ones));
  }
  alignas(32) uint64_t s[4], b[4];
  alignas(32) uint32_t w[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(s), sums);
  _mm256_store_si256(reinterpret_cast<__m256i*>(b), before);
  _mm256_store_si256(reinterpret_cast<__m256i*>(w), weighted);
  uint64_t weightedSum = 0;
  for (uint32_t v : w) weightedSum += v;
  const uint64_t steps = bytes.size() / 32;
  high += 32 * steps * low + 32 * (b[0] + b[1] + b[2] + b[3]) + weightedSum;
  low += s[0] + s[1] + s[2] + s[3];
}
#endif

} // namespace

uint32_t pageChecksum(uint32_t seed, std::span<const uint8_t> bytes) {
  // The sums are folded every 0x15B0 bytes, as the format does (the longest
  // run that can't overflow 32 bits); here they are kept in 64.
  uint64_t low = seed & 0xFFFF, high = seed >> 16;
#if defined(__x86_64__)
  const bool wide = cpuFeatures().avx2;
#endif
  while (!bytes.empty()) {
    size_t n = std::min<size_t>(bytes.size(), 0x15B0);
    size_t i = 0;
#if defined(__x86_64__)
    if (wide) {
      i = n / 32 * 32;
      pageSumsWide(bytes.first(i), low, high);
    }
#endif
    // Eight bytes at a time: HIGH gains eight times LOW and the bytes
    // weighted 8, 7, ..., 1; both sums are taken as four 16-bit lanes
    // multiplied into the top lane (no lane can carry into the next).
    for (; i + 8 <= n; i += 8) {
      uint64_t w;
      std::memcpy(&w, bytes.data() + i, 8);
      if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
      const uint64_t even = w & 0x00FF00FF00FF00FFull, odd = (w >> 8) & 0x00FF00FF00FF00FFull;
      const uint32_t sum = uint32_t(((even + odd) * 0x0001000100010001ull) >> 48);
      const uint32_t weightedSum = uint32_t((even * 0x0008000600040002ull) >> 48) +
                                   uint32_t((odd * 0x0007000500030001ull) >> 48);
      high += 8 * low + weightedSum;
      low += sum;
    }
    for (; i < n; ++i) {
      low += bytes[i];
      high += low;
    }
    low %= 0xFFF1;
    high %= 0xFFF1;
    bytes = bytes.subspan(n);
  }
  return uint32_t(high << 16) | uint32_t(low & 0xFFFF);
}

} // namespace corvane::dwg
