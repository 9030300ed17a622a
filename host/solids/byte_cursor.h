// Checked reading of untrusted bytes: every read tests what remains and
// reports a short read by returning false (the cursor then stays where it
// was). Integers and floating-point numbers are assembled little-endian from
// bytes, never by casting pointers. The cursor does not own the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace corvane::solids {

class ByteCursor {
public:
  ByteCursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t remaining() const { return size_ - pos_; }
  size_t position() const { return pos_; }
  bool atEnd() const { return pos_ >= size_; }

  bool readU8(uint8_t& v) {
    if (remaining() < 1) return false;
    v = data_[pos_++];
    return true;
  }
  // Unsigned little-endian integer of `bytes` (1..8) bytes.
  bool readUnsigned(size_t bytes, uint64_t& v) {
    if (bytes == 0 || bytes > 8 || remaining() < bytes) return false;
    v = 0;
    for (size_t i = 0; i < bytes; ++i) v |= uint64_t(data_[pos_ + i]) << (8 * i);
    pos_ += bytes;
    return true;
  }
  // Two's-complement signed integer of `bytes` (1..8) bytes.
  bool readSigned(size_t bytes, int64_t& v) {
    uint64_t u = 0;
    if (!readUnsigned(bytes, u)) return false;
    if (bytes < 8 && (u >> (8 * bytes - 1)) & 1) u |= ~uint64_t(0) << (8 * bytes);
    v = static_cast<int64_t>(u);
    return true;
  }
  bool readF64(double& v) {
    uint64_t u = 0;
    if (!readUnsigned(8, u)) return false;
    std::memcpy(&v, &u, sizeof v);
    return true;
  }
  bool readF32(float& v) {
    uint64_t u = 0;
    if (!readUnsigned(4, u)) return false;
    uint32_t w = static_cast<uint32_t>(u);
    std::memcpy(&v, &w, sizeof v);
    return true;
  }
  // `n` bytes as a string; n is checked against what remains first.
  bool readString(size_t n, std::string& s) {
    if (remaining() < n) return false;
    s.assign(reinterpret_cast<const char*>(data_ + pos_), n);
    pos_ += n;
    return true;
  }
  bool startsWith(const char* prefix) const {
    size_t n = std::strlen(prefix);
    return remaining() >= n && std::memcmp(data_ + pos_, prefix, n) == 0;
  }
  bool skip(size_t n) {
    if (remaining() < n) return false;
    pos_ += n;
    return true;
  }

private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

} // namespace corvane::solids
