// The checksums a DWG file keeps over its own bytes. Each takes the seed the
// format names for the structure it protects and returns the value the file
// should hold.
#pragma once

#include <cstdint>
#include <span>

namespace corvane::dwg {

// The seed of the 16-bit CRC of the header variables, the classes, each
// object and each page of the object map.
constexpr uint16_t kCrc16SectionSeed = 0xC0C1;

// The 16-bit CRC (reflected polynomial 0xA001) over BYTES, from SEED. R13
// to R2000 keep it over their file header (seed 0, then XORed with a
// constant for the number of section locators), and every version over the
// sections and objects named above.
uint16_t crc16(uint16_t seed, std::span<const uint8_t> bytes);

// The CRC-32 of zlib and PNG over BYTES, continuing from SEED (0 to start).
// R2004 and later keep it over their decrypted file header.
uint32_t crc32(uint32_t seed, std::span<const uint8_t> bytes);

// The checksum of an R2004-family page: two running sums modulo 0xFFF1 over
// BYTES (low sum from SEED's low half, high sum from its high half), folded
// every 0x15B0 bytes; the high sum above the low one.
uint32_t pageChecksum(uint32_t seed, std::span<const uint8_t> bytes);

} // namespace corvane::dwg
