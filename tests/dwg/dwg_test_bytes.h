// Golden inputs for the DWG reader's tests, written inline: bit strings
// ("01 1010...", spaces ignored, the last byte padded with zeros) and hex
// strings ("CF 7B ...").
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace corvane::dwg::testing {

inline std::vector<uint8_t> bits(std::string_view text) {
  std::vector<uint8_t> out;
  size_t n = 0;
  for (char c : text) {
    if (c == ' ') continue;
    if (c != '0' && c != '1') throw std::invalid_argument("bits: not a bit");
    if (n % 8 == 0) out.push_back(0);
    if (c == '1') out.back() |= uint8_t(0x80 >> (n % 8));
    ++n;
  }
  return out;
}

inline std::vector<uint8_t> hexBytes(std::string_view text) {
  std::vector<uint8_t> out;
  int high = -1;
  for (char c : text) {
    int v = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(uint8_t(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

} // namespace corvane::dwg::testing
