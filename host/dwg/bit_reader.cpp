#include "dwg/bit_reader.h"

#include <bit>
#include <cstring>
#include <vector>

#include "dwg/dwg_error.h"

namespace corvane::dwg {

BitReader::BitReader(std::span<const uint8_t> bytes, uint64_t endBit, DwgVersion version,
                     std::string_view section, uint64_t base)
    : bytes_(bytes), end_(endBit), version_(version), section_(section), base_(base) {
  if (endBit > uint64_t(bytes.size()) * 8) {
    end_ = uint64_t(bytes.size()) * 8;
    fail("the stream's stated end lies past its bytes");
  }
}

void BitReader::failAt(uint64_t at, const std::string& what) const {
  throw DwgError(std::string(section_), base_ + at / 8, what);
}

void BitReader::fail(const std::string& what) const { failAt(pos_, what); }

void BitReader::failShort(uint64_t bits) const {
  fail("the data ends inside a value (" + std::to_string(bits) + " bits needed, " + std::to_string(end_ - pos_) +
       " left)");
}

uint64_t BitReader::windowNearEnd(size_t byte) const {
  uint64_t w = 0;
  for (size_t k = 0; k < 8 && byte + k < bytes_.size(); ++k) w |= uint64_t(bytes_[byte + k]) << (56 - 8 * k);
  return w;
}

void BitReader::seek(uint64_t pos) {
  if (pos > end_) failAt(pos, "the data ends before this byte");
  pos_ = pos;
}

void BitReader::limit(uint64_t end) {
  if (end < pos_ || end > end_) fail("a stream end outside the data (bit " + std::to_string(end) + ")");
  end_ = end;
}

void BitReader::alignToByte() {
  uint64_t aligned = (pos_ + 7) & ~uint64_t(7);
  if (aligned > end_) fail("the data ends before the next byte boundary");
  pos_ = aligned;
}

uint8_t BitReader::read3B() {
  if (!readB()) return 0;
  if (!readB()) return 2;
  return readB() ? 7 : 6;
}

uint64_t BitReader::readBits(unsigned n) {
  if (n > 64) fail("more than 64 bits asked of one read");
  need(n);
  if (n == 0) return 0;
  if (n > 57) {
    const uint64_t high = take(n - 32);
    return high << 32 | take(32);
  }
  return take(n);
}

uint16_t BitReader::readRSBigEndian() {
  need(16);
  uint16_t v = uint16_t((byteAt(pos_) << 8) | byteAt(pos_ + 8));
  pos_ += 16;
  return v;
}

void BitReader::readBytes(std::span<uint8_t> out) {
  if (out.size() > remaining() / 8)
    fail("the data ends inside a run of " + std::to_string(out.size()) + " bytes");
  if ((pos_ & 7) == 0) {
    if (!out.empty()) std::memcpy(out.data(), bytes_.data() + (pos_ >> 3), out.size());
  } else {
    // Eight bytes at a time from nine: the bytes as one big-endian word
    // moved up by the offset, and the top of the ninth below them.
    const uint8_t* from = bytes_.data() + (pos_ >> 3);
    const unsigned shift = unsigned(pos_ & 7);
    size_t i = 0;
    for (; i + 8 <= out.size(); i += 8) {
      uint64_t word;
      std::memcpy(&word, from + i, 8);
      if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
      word = (word << shift) | (from[i + 8] >> (8 - shift));
      if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
      std::memcpy(out.data() + i, &word, 8);
    }
    for (; i < out.size(); ++i) out[i] = byteAt(pos_ + 8 * i);
  }
  pos_ += uint64_t(out.size()) * 8;
}

std::span<const uint8_t> BitReader::viewBytes(size_t n) {
  if ((pos_ & 7) != 0) fail("a run of bytes that does not start on a byte boundary");
  if (n > remaining() / 8) fail("the data ends inside a run of " + std::to_string(n) + " bytes");
  std::span<const uint8_t> view = bytes_.subspan(size_t(pos_ >> 3), n);
  pos_ += uint64_t(n) * 8;
  return view;
}

uint32_t BitReader::readBL() {
  uint64_t at = pos_;
  switch (readBB()) {
  case 0: return readRL();
  case 1: return readRC();
  case 2: return 0;
  default: failAt(at, "a bit long with the unused code 11");
  }
}

uint64_t BitReader::readBLL() {
  unsigned count = unsigned(readBits(3));
  uint64_t v = 0;
  for (unsigned i = 0; i < count; ++i) v |= uint64_t(readRC()) << (8 * i);
  return v;
}

double BitReader::readDD(double defaultValue) {
  uint64_t bits = std::bit_cast<uint64_t>(defaultValue);
  switch (readBB()) {
  case 0: return defaultValue;
  case 1: { // the low four bytes replaced
    uint64_t low = readRL();
    return std::bit_cast<double>((bits & 0xFFFFFFFF00000000ull) | low);
  }
  case 2: { // bytes 4 and 5, then the low four, replaced
    uint64_t b4 = readRC(), b5 = readRC();
    uint64_t low = readRL();
    return std::bit_cast<double>((bits & 0xFFFF000000000000ull) | (b5 << 40) | (b4 << 32) | low);
  }
  default: return readRD();
  }
}

uint64_t BitReader::readModular(unsigned& lastShift) {
  uint64_t at = pos_;
  uint64_t v = 0;
  if ((pos_ & 7) == 0) {
    // On a byte boundary (the object map): the bytes themselves.
    const uint64_t bytes = (end_ - pos_) / 8;
    const uint8_t* p = bytes_.data() + (pos_ >> 3);
    for (unsigned i = 0; i < 9 && i < bytes; ++i) {
      v |= uint64_t(p[i] & 0x7F) << (7 * i);
      if ((p[i] & 0x80) == 0) {
        pos_ += 8 * (i + 1);
        lastShift = 7 * i;
        return v;
      }
    }
    v = 0; // the long way names what is wrong
  }
  // Nine bytes carry 63 bits: more than any handle or offset a file holds.
  for (unsigned shift = 0; shift < 63; shift += 7) {
    uint8_t b = readRC();
    v |= uint64_t(b & 0x7F) << shift;
    if ((b & 0x80) == 0) {
      lastShift = shift;
      return v;
    }
  }
  failAt(at, "a modular number longer than nine bytes");
}

uint64_t BitReader::readUMC() {
  unsigned lastShift = 0;
  return readModular(lastShift);
}

int64_t BitReader::readMC() {
  unsigned lastShift = 0;
  uint64_t v = readModular(lastShift);
  const uint64_t sign = uint64_t(0x40) << lastShift;
  return (v & sign) ? -int64_t(v & ~sign) : int64_t(v);
}

uint32_t BitReader::readMS() {
  uint64_t at = pos_;
  uint16_t low = readRS();
  if ((low & 0x8000) == 0) return low;
  uint16_t high = readRS();
  if (high & 0x8000) failAt(at, "a modular short longer than two words");
  return uint32_t(low & 0x7FFF) | (uint32_t(high) << 15);
}

double BitReader::readBT() {
  if (version_ >= DwgVersion::kR2000 && readB()) return 0.0;
  return readBD();
}

Vec3 BitReader::readBE() {
  if (version_ >= DwgVersion::kR2000 && readB()) return Vec3{0, 0, 1};
  return read3BD();
}

uint16_t BitReader::readOT() {
  if (version_ < DwgVersion::kR2010) return readBS();
  switch (readBB()) {
  case 0: return readRC();
  case 1: return uint16_t(readRC() + 0x1F0);
  default: return readRS();
  }
}

DwgColor BitReader::readCMC() { return readCMC(*this); }

DwgColor BitReader::readCMC(BitReader& strings) {
  DwgColor color;
  color.index = int16_t(readBS());
  if (version_ < DwgVersion::kR2004) return color;
  color.hasRgb = true;
  color.rgb = readBL();
  color.flags = readRC();
  // Before R2007 the names are in this stream whatever the caller passed.
  BitReader& names = version_ >= DwgVersion::kR2007 ? strings : *this;
  if (color.flags & 1) color.name = names.readT();
  if (color.flags & 2) color.bookName = names.readT();
  return color;
}

DwgColor BitReader::readENC() {
  DwgColor color;
  uint16_t stored = readBS();
  if (version_ < DwgVersion::kR2004) {
    color.index = int16_t(stored);
    return color;
  }
  color.index = int16_t(stored & 0x1FF);
  color.flags = uint8_t(stored >> 8);
  if (color.flags & 0x80) {
    color.hasRgb = true;
    color.rgb = readBL();
  }
  if (color.flags & 0x20) {
    color.hasTransparency = true;
    color.transparency = readBL();
  }
  return color;
}

DwgHandleRef BitReader::readH(uint64_t reference) {
  uint64_t at = pos_;
  uint8_t first = readRC();
  DwgHandleRef ref;
  ref.code = uint8_t(first >> 4);
  unsigned count = first & 0x0F;
  if (count > 8) failAt(at, "a handle reference of " + std::to_string(count) + " bytes");
  if (count != 0 && count < 8 && uint64_t(count) * 8 <= end_ - pos_) {
    ref.value = take(8 * count); // big-endian bytes: the bits in order
  } else {
    for (unsigned i = 0; i < count; ++i) ref.value = (ref.value << 8) | readRC();
  }
  switch (ref.code) {
  case 0: case 1: case 2: case 3: case 4: case 5:
    ref.handle = ref.value;
    break;
  case 6:
    if (reference == UINT64_MAX) failAt(at, "a relative handle past the largest handle");
    ref.handle = reference + 1;
    break;
  case 8:
    if (reference == 0) failAt(at, "a relative handle below handle 0");
    ref.handle = reference - 1;
    break;
  case 0xA:
    if (ref.value > UINT64_MAX - reference) failAt(at, "a relative handle past the largest handle");
    ref.handle = reference + ref.value;
    break;
  case 0xC:
    if (ref.value > reference) failAt(at, "a relative handle below handle 0");
    ref.handle = reference - ref.value;
    break;
  default:
    failAt(at, "a handle reference with code " + std::to_string(ref.code) + ", which the format doesn't use");
  }
  return ref;
}

std::string BitReader::readTV() {
  uint64_t at = pos_;
  uint16_t length = readBS();
  if (length > remaining() / 8)
    failAt(at, "a text of " + std::to_string(length) + " bytes runs past the end of the data");
  std::string text(length, '\0');
  readBytes(std::span<uint8_t>(reinterpret_cast<uint8_t*>(text.data()), text.size()));
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::string BitReader::readTU() {
  uint64_t at = pos_;
  uint16_t length = readBS();
  if (length > remaining() / 16)
    failAt(at, "a text of " + std::to_string(length) + " UTF-16 units runs past the end of the data");
  std::vector<uint16_t> units(length);
  for (uint16_t& unit : units) unit = readRS();
  while (!units.empty() && units.back() == 0) units.pop_back();
  return utf16ToUtf8(units);
}

std::string BitReader::readT() { return version_ >= DwgVersion::kR2007 ? readTU() : readTV(); }

void BitReader::expectSentinel(std::span<const uint8_t, 16> sentinel, std::string_view what) {
  uint64_t at = pos_;
  uint8_t found[16];
  readBytes(found);
  if (std::memcmp(found, sentinel.data(), 16) != 0) failAt(at, "the " + std::string(what) + " sentinel is missing");
}

uint16_t BitReader::readCRC() {
  alignToByte();
  return readRS();
}

std::string utf16ToUtf8(std::span<const uint16_t> units) {
  std::string out;
  out.reserve(units.size());
  auto put = [&out](uint32_t cp) {
    if (cp < 0x80) {
      out += char(cp);
    } else if (cp < 0x800) {
      out += char(0xC0 | (cp >> 6));
      out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += char(0xE0 | (cp >> 12));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    } else {
      out += char(0xF0 | (cp >> 18));
      out += char(0x80 | ((cp >> 12) & 0x3F));
      out += char(0x80 | ((cp >> 6) & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    }
  };
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t u = units[i];
    if (u >= 0xD800 && u < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      put(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else if (u >= 0xD800 && u < 0xE000) {
      put(0xFFFD);
    } else {
      put(u);
    }
  }
  return out;
}

} // namespace corvane::dwg
