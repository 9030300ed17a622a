#include "dwg/dwg_checksums.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

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

} // namespace

uint16_t crc16(uint16_t seed, std::span<const uint8_t> bytes) {
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

uint32_t crc32(uint32_t seed, std::span<const uint8_t> bytes) {
  uint32_t crc = ~seed;
  for (uint8_t b : bytes) crc = (crc >> 8) ^ kCrc32Table[(crc ^ b) & 0xFF];
  return ~crc;
}

uint32_t pageChecksum(uint32_t seed, std::span<const uint8_t> bytes) {
  // 0x15B0 bytes is the longest run whose sums can't overflow 32 bits before
  // they are folded.
  uint32_t low = seed & 0xFFFF, high = seed >> 16;
  while (!bytes.empty()) {
    size_t n = std::min<size_t>(bytes.size(), 0x15B0);
    size_t i = 0;
    // Eight bytes at a time: HIGH gains eight times LOW and the bytes
    // weighted 8, 7, ..., 1; both sums are taken as four 16-bit lanes
    // multiplied into the top lane (no lane can carry into the next).
    for (; i + 8 <= n; i += 8) {
      uint64_t w;
      std::memcpy(&w, bytes.data() + i, 8);
      if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
      const uint64_t even = w & 0x00FF00FF00FF00FFull, odd = (w >> 8) & 0x00FF00FF00FF00FFull;
      const uint32_t sum = uint32_t(((even + odd) * 0x0001000100010001ull) >> 48);
      const uint32_t weighted = uint32_t((even * 0x0008000600040002ull) >> 48) +
                                uint32_t((odd * 0x0007000500030001ull) >> 48);
      high += 8 * low + weighted;
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
  return (high << 16) | (low & 0xFFFF);
}

} // namespace corvane::dwg
