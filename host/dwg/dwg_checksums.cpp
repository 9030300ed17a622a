#include "dwg/dwg_checksums.h"

#include <algorithm>
#include <array>

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
constexpr auto kCrc32Table = reflectedTable<uint32_t, 0xEDB88320u>();

} // namespace

uint16_t crc16(uint16_t seed, std::span<const uint8_t> bytes) {
  uint16_t crc = seed;
  for (uint8_t b : bytes) crc = uint16_t((crc >> 8) ^ kCrc16Table[(crc ^ b) & 0xFF]);
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
    for (size_t i = 0; i < n; ++i) {
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
