// The one reader of the DWG room: a position in bits over a span of bytes,
// and every code the format packs values in. Bits are read most significant
// first within each byte; multi-byte values are little-endian unless a
// function says otherwise. Every read checks what remains before the reader's
// end and throws DwgError naming the reader's section and the byte where the
// read ran short; a reader that has thrown is not read again. The reader
// does not own its bytes, nor its section's name (a string literal).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "geometry/entity_geometry.h"
#include "dwg/dwg_sections.h"

namespace corvane::dwg {

struct Vec2 {
  double x = 0, y = 0;
};

// A handle reference as an object stores it: a code (the high four bits of
// its first byte) and the value of the bytes that follow. Codes 2 to 5 name
// a handle outright (soft/hard, pointer/owner); 6 and 8 are the referring
// object's handle plus or minus one, 0xA and 0xC plus or minus the value.
// `handle` is the handle named, resolved against the reference handle the
// read was given (0 for the codes that name one outright).
struct DwgHandleRef {
  uint8_t code = 0;
  uint64_t value = 0;  // the bytes as stored (big-endian, up to eight)
  uint64_t handle = 0; // the handle named
};

// A colour as the format stores it. CMC (table and header colours) and ENC
// (entity colours, R2004 and later) both land here; the fields a version or
// code doesn't store keep their defaults.
struct DwgColor {
  int16_t index = 256;      // colour number: 0 by block, 256 by layer
  bool hasRgb = false;      // R2004+: `rgb` was stored
  uint32_t rgb = 0;         // R2004+: the method byte (0xC0 by layer, 0xC1 by
                            // block, 0xC2 true colour, 0xC3 colour number)
                            // above 24 bits of red, green, blue
  std::string name;         // CMC R2004+: the colour's name, when stored
  std::string bookName;     // CMC R2004+: its colour book's name, when stored
  uint8_t flags = 0;        // ENC: the flag byte (0x80 rgb, 0x40 book handle,
                            // 0x20 transparency); CMC: its name flags (1, 2)
  bool hasTransparency = false;
  uint32_t transparency = 0; // ENC: as stored (type in the low byte, alpha above)
  // ENC: a colour-book handle follows in the object's handle stream, where
  // the entity's common handles are read (the caller reads it there).
  bool bookHandleFollows() const { return (flags & 0x40) != 0; }
  // The colour number DXF writes for this colour (group 62): 256 by layer,
  // 0 by block, an index colour's number; beside a true colour, the number
  // stored with it. R2004 and later CMC keep it in the method byte alone.
  int16_t colorNumber() const {
    if (!hasRgb) return index;
    switch (rgb >> 24) {
    case 0xC0: return 256;
    case 0xC1: return 0;
    case 0xC3: return int16_t(rgb & 0xFF);
    default: return index;
    }
  }
};

class BitReader {
public:
  // Reads BYTES[0, endBit / 8) and the first endBit % 8 bits after them.
  // SECTION names the bytes in errors; BASE is the byte offset of BYTES[0]
  // within that section, added to every offset an error reports. VERSION
  // picks the codes that differ between versions (BE, BT, OT, CMC, ENC, T).
  // endBit must not pass the bytes (checked: a DwgError otherwise).
  BitReader(std::span<const uint8_t> bytes, uint64_t endBit, DwgVersion version,
            std::string_view section, uint64_t base = 0);
  // The same over all of BYTES.
  BitReader(std::span<const uint8_t> bytes, DwgVersion version, std::string_view section,
            uint64_t base = 0)
      : BitReader(bytes, uint64_t(bytes.size()) * 8, version, section, base) {}

  DwgVersion version() const { return version_; }
  std::string_view section() const { return section_; }
  uint64_t base() const { return base_; }
  std::span<const uint8_t> bytes() const { return bytes_; }
  uint64_t position() const { return pos_; }  // in bits from BYTES[0]
  uint64_t end() const { return end_; }
  uint64_t remaining() const { return end_ - pos_; }
  // Moves to bit POS (at most end()); throws DwgError past it.
  void seek(uint64_t pos);
  // Lowers the end to bit END (between position() and the current end);
  // throws DwgError otherwise.
  void limit(uint64_t end);
  // Moves to the next byte boundary (nothing when already on one).
  void alignToByte();
  // A DwgError at the current position (or at bit AT) in this reader's
  // section: "SECTION at byte OFFSET: WHAT".
  [[noreturn]] void fail(const std::string& what) const;
  [[noreturn]] void failAt(uint64_t at, const std::string& what) const;
  // The 7-bit groups of a UMC or MC, in order; LASTSHIFT is where the last
  // byte's group starts (MC's sign is that group's 0x40).
  uint64_t readModular(unsigned& lastShift);

  // Raw values.
  bool readB() { return take(1) != 0; }               // B: one bit
  uint8_t readBB() { return uint8_t(take(2)); }       // BB: two bits
  uint8_t read3B();             // 3B: 1 to 3 bits, up to the first 0: 0, 2, 6 or 7
  uint64_t readBits(unsigned n); // N (0..64) bits, the first read the most significant
  uint8_t readRC() { return uint8_t(take(8)); }       // RC: a byte
  uint16_t readRS() { return __builtin_bswap16(uint16_t(take(16))); } // RS
  uint32_t readRL() { return __builtin_bswap32(uint32_t(take(32))); } // RL
  uint64_t readRLL() {                                // RLL
    need(64);
    const uint64_t low = readRL();
    return low | uint64_t(readRL()) << 32;
  }
  double readRD() { return std::bit_cast<double>(readRLL()); } // RD: IEEE 754 double
  uint16_t readRSBigEndian();   // the object map's sizes and CRCs
  // N bytes into OUT (N checked against what remains first).
  void readBytes(std::span<uint8_t> out);
  // The next N bytes, when the reader is on a byte boundary: a view of the
  // reader's own bytes. Throws DwgError when N passes the end or the reader
  // is between bytes.
  std::span<const uint8_t> viewBytes(size_t n);

  // Compressed values.
  uint16_t readBS() {  // BS: 00 RS, 01 RC, 10 0, 11 256
    switch (readBB()) {
    case 0: return readRS();
    case 1: return readRC();
    case 2: return 0;
    default: return 256;
    }
  }
  uint32_t readBL();  // BL: 00 RL, 01 RC, 10 0 (11 is refused)
  uint64_t readBLL(); // BLL: a 3-bit byte count, then that many bytes
  double readBD() {   // BD: 00 RD, 01 1.0, 10 0.0 (11 is refused)
    switch (readBB()) {
    case 0: return readRD();
    case 1: return 1.0;
    case 2: return 0.0;
    default: failAt(pos_ - 2, "a bit double with the unused code 11");
    }
  }
  double readDD(double defaultValue); // DD: the default, or it with bytes patched in
  uint64_t readUMC(); // UMC: 7 bits a byte, high bit set while more follow
  int64_t readMC();   // MC: as UMC, 0x40 of the last byte the sign
  uint32_t readMS();  // MS: 15 bits a word, high bit set while more follow (2 words at most)

  // Version-dependent codes.
  double readBT();    // BT thickness: R2000+ a bit (1: 0.0) before a BD
  Vec3 readBE();      // BE extrusion: R2000+ a bit (1: 0,0,1) before a 3BD
  uint16_t readOT();  // OT object type: R2010+ BB then RC, RC + 0x1F0 or RS; a BS before
  DwgColor readCMC(); // CMC: BS before R2004; BS, BL, RC flags and names after
  // CMC where the names live in another stream: R2007+ reads them from
  // STRINGS (the object's string stream), earlier versions from this reader.
  DwgColor readCMC(BitReader& strings);
  DwgColor readENC(); // ENC: a BS before R2004; the flags in its high byte after

  // Points: their coordinates in turn (a braced list is evaluated left to
  // right, so the reads happen in the file's order).
  Vec2 read2RD() { return {readRD(), readRD()}; }
  Vec3 read3RD() { return {readRD(), readRD(), readRD()}; }
  Vec2 read2BD() { return {readBD(), readBD()}; }
  Vec3 read3BD() { return {readBD(), readBD(), readBD()}; }
  // DD points: each coordinate against its default.
  Vec2 read2DD(Vec2 defaults) { return {readDD(defaults.x), readDD(defaults.y)}; }
  Vec3 read3DD(Vec3 defaults) { return {readDD(defaults.x), readDD(defaults.y), readDD(defaults.z)}; }

  // Handles. REFERENCE is the handle relative codes count from (the
  // object's own handle); a code the format does not have, more than eight
  // bytes, or a relative code that leaves the handle range throws DwgError.
  DwgHandleRef readH(uint64_t reference = 0);

  // Text. readTV: a BS length, then that many bytes in the drawing's code
  // page (a trailing NUL dropped). readTU: a BS length in UTF-16 units, then
  // the units, returned as UTF-8 (a lone surrogate becomes U+FFFD). readT
  // picks by version: TU from R2007 on, TV before. Lengths are checked
  // against what remains before anything is allocated.
  std::string readTV();
  std::string readTU();
  std::string readT();

  // SN: the 16 bytes of SENTINEL, or a DwgError naming WHAT is missing.
  void expectSentinel(std::span<const uint8_t, 16> sentinel, std::string_view what);
  // CRC: moves to the next byte boundary and reads an RS.
  uint16_t readCRC();

private:
  // Every read checks once that its bits remain before the end.
  void need(uint64_t bits) const {
    if (bits > end_ - pos_) [[unlikely]] failShort(bits);
  }
  [[noreturn, gnu::noinline]] void failShort(uint64_t bits) const;
  // The 64 bits from bit POS on, the first the most significant; bytes past
  // the span read as zeros (the callers' checks keep them out of values).
  uint64_t window(uint64_t pos) const {
    const size_t i = size_t(pos >> 3);
    uint64_t w;
    if (bytes_.size() >= 8 && i <= bytes_.size() - 8) [[likely]] {
      std::memcpy(&w, bytes_.data() + i, 8);
      if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
    } else {
      w = windowNearEnd(i);
    }
    return w << (pos & 7);
  }
  uint64_t windowNearEnd(size_t byte) const;
  // N (1 to 57) bits, checked.
  uint64_t take(unsigned n) {
    need(n);
    const uint64_t v = window(pos_) >> (64 - n);
    pos_ += n;
    return v;
  }
  uint8_t byteAt(uint64_t bitPos) const { return uint8_t(window(bitPos) >> 56); } // eight bits, not checked

  std::span<const uint8_t> bytes_;
  uint64_t pos_ = 0;
  uint64_t end_ = 0;
  DwgVersion version_;
  std::string_view section_;
  uint64_t base_ = 0;
};

// The UTF-8 form of UNITS UTF-16 code units (little-endian pairs of bytes);
// lone surrogates become U+FFFD. Shared by the TU reader and the containers'
// names stored as UTF-16.
std::string utf16ToUtf8(std::span<const uint16_t> units);

} // namespace corvane::dwg
