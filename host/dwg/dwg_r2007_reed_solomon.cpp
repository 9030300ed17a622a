#include "dwg/dwg_r2007_reed_solomon.h"

#include <array>
#include <cstring>

namespace corvane::dwg {
namespace {

// One field GF(256) built from its polynomial, with x as the generator, and
// the roots of a code over it. A word is read as a polynomial whose first
// byte is the highest coefficient; the code's roots are the last PARITY
// powers of x (x^(255-parity) ... x^254), which is what the parity of real
// files satisfies.
struct Field {
  std::array<uint8_t, 512> exp{};
  std::array<uint8_t, 256> log{};
  unsigned polynomial = 0;
  size_t parity = 0;
  std::array<uint8_t, 16> roots{};
  // Each root times x^b, b from 0 to 7: a product with the root, bit by bit.
  std::array<std::array<uint8_t, 8>, 16> rootTimesBit{};
  std::array<uint8_t, 17> generator{}; // monic, highest coefficient first

  constexpr Field(unsigned fieldPolynomial, size_t parityBytes) : polynomial(fieldPolynomial), parity(parityBytes) {
    unsigned x = 1;
    for (size_t i = 0; i < 255; ++i) {
      exp[i] = static_cast<uint8_t>(x);
      log[x] = static_cast<uint8_t>(i);
      x <<= 1;
      if (x & 0x100) x ^= fieldPolynomial;
    }
    for (size_t i = 255; i < exp.size(); ++i) exp[i] = exp[i - 255];
    for (size_t k = 0; k < parity; ++k) roots[k] = exp[255 - parity + k];
    for (size_t k = 0; k < parity; ++k)
      for (size_t b = 0; b < 8; ++b) rootTimesBit[k][b] = mul(roots[k], static_cast<uint8_t>(1u << b));
    // The generator: the product of (x + root) over the roots.
    generator[0] = 1;
    for (size_t k = 0; k < parity; ++k) {
      for (size_t i = k + 1; i > 0; --i) generator[i] ^= mul(roots[k], generator[i - 1]);
    }
  }

  constexpr uint8_t mul(uint8_t a, uint8_t b) const {
    return (a == 0 || b == 0) ? 0 : exp[size_t(log[a]) + log[b]];
  }
};

constexpr Field kSystemField(0x169, 16);
constexpr Field kDataField(0x11D, 4);

const Field& fieldOf(R2007Code code) { return code == R2007Code::kSystem ? kSystemField : kDataField; }

} // namespace

size_t r2007DataBytes(R2007Code code) { return kR2007WordBytes - fieldOf(code).parity; }

size_t r2007WordCount(R2007Code code, uint64_t dataBytes) {
  uint64_t per = r2007DataBytes(code);
  return dataBytes == 0 ? 1 : size_t((dataBytes + per - 1) / per);
}

namespace {

// Sixteen words side by side, a byte of each: the checks of the code run
// on all sixteen at once.
using Lanes = uint8_t __attribute__((vector_size(16)));

// Each lane times x^-1 in a field whose polynomial has a constant term
// (both codes' do): the low bit is folded back in before the shift.
inline Lanes timesInverseX(Lanes s, uint8_t halfPolynomial) {
  const Lanes low = s & 1;
  return (s >> 1) ^ ((Lanes{} - low) & halfPolynomial);
}

// Each lane times the constant whose products with x^0 ... x^7 are BITS: a
// product is linear in the lane's bits.
inline Lanes timesConstant(Lanes s, const std::array<uint8_t, 8>& bits) {
  Lanes r = {};
  for (size_t b = 0; b < 8; ++b) r ^= (Lanes{} - ((s >> b) & 1)) & bits[b];
  return r;
}

// Turns sixteen rows of sixteen bytes over: byte c of row r becomes byte
// r of row c. Each round interleaves row i with row i + 8, which moves an
// element's row and column bits (4 each) one place round; four rounds make
// the turn.
inline void transpose16(Lanes (&rows)[16]) {
  for (int round = 0; round < 4; ++round) {
    Lanes next[16];
    for (size_t i = 0; i < 8; ++i) {
      next[2 * i] = __builtin_shufflevector(rows[i], rows[i + 8], 0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
      next[2 * i + 1] =
          __builtin_shufflevector(rows[i], rows[i + 8], 8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
    }
    std::memcpy(rows, next, sizeof next);
  }
}

// Up to sixteen words side by side: byte j of word l at FIRST[l + j *
// STRIDE] (sixteen bytes readable in each row; lanes past LANES hold zero
// words, which are valid). Their data bytes go to DATA, word after word;
// returns the first of them whose parity disagrees (nullopt when all
// agree). The code's roots are x^-P to x^-1 (P its parity bytes), so each
// check is a Horner sum whose factor is a few steps of timesInverseX.
template <size_t kParity>
std::optional<size_t> deinterleaveLanes(const uint8_t* first, size_t stride, size_t lanes, const Field& f,
                                        uint8_t* data) {
  // The parity fixed at compile time: the checks' steps unrolled.
  static_assert(kParity <= 16);
  const size_t dataBytes = kR2007WordBytes - kParity;
  const uint8_t half = static_cast<uint8_t>(f.polynomial >> 1);
  Lanes syndromes[16] = {};
  alignas(16) uint8_t rows[kR2007WordBytes][16];
  for (size_t j = 0; j < kR2007WordBytes; ++j) {
    Lanes b;
    std::memcpy(&b, first + j * stride, 16);
    std::memcpy(rows[j], &b, 16);
    for (size_t k = 0; k < kParity; ++k) {
      Lanes s = syndromes[k];
      // Root k is x^-(P-k): that many steps, or one product where they
      // would cost more.
      if (kParity - k <= 6) {
        for (size_t step = k; step < kParity; ++step) s = timesInverseX(s, half);
      } else {
        s = timesConstant(s, f.rootTimesBit[k]);
      }
      syndromes[k] = s ^ b;
    }
  }
  Lanes bad = {};
  for (size_t k = 0; k < kParity; ++k) bad |= syndromes[k];
  // Rows to words: sixteen rows at a time turned over whole, the rest
  // byte by byte.
  size_t j = 0;
  for (; j + 16 <= dataBytes; j += 16) {
    Lanes block[16];
    std::memcpy(block, rows[j], sizeof block);
    transpose16(block);
    for (size_t l = 0; l < lanes; ++l) std::memcpy(data + l * dataBytes + j, &block[l], 16);
  }
  for (size_t l = 0; l < lanes; ++l) {
    uint8_t* out = data + l * dataBytes;
    for (size_t r = j; r < dataBytes; ++r) out[r] = rows[r][l];
  }
  for (size_t l = 0; l < lanes; ++l)
    if (bad[l] != 0) return l;
  return std::nullopt;
}

} // namespace

std::vector<uint8_t> deinterleaveR2007(std::span<const uint8_t> encoded, size_t words, R2007Code code,
                                       std::optional<size_t>& firstBadWord) {
  const Field& f = fieldOf(code);
  const size_t dataBytes = kR2007WordBytes - f.parity;
  firstBadWord.reset();
  std::vector<uint8_t> data(words * dataBytes);
  auto run = [&](const uint8_t* first, size_t stride, size_t w, size_t lanes) {
    uint8_t* out = data.data() + w * dataBytes;
    // The two codes' parities: the data pages' 4, the system pages' 16.
    const std::optional<size_t> bad = f.parity == kDataField.parity ? deinterleaveLanes<kDataField.parity>(first, stride, lanes, f, out)
                                                                    : deinterleaveLanes<kSystemField.parity>(first, stride, lanes, f, out);
    if (!firstBadWord && bad) firstBadWord = w + *bad;
  };
  size_t w = 0;
  for (; w + 16 <= words; w += 16) run(encoded.data() + w, words, w, 16);
  if (w < words) {
    // The last few words, gathered into rows of sixteen.
    alignas(16) uint8_t rest[kR2007WordBytes][16] = {};
    for (size_t j = 0; j < kR2007WordBytes; ++j)
      for (size_t l = 0; w + l < words; ++l) rest[j][l] = encoded[w + l + j * words];
    run(&rest[0][0], 16, w, words - w);
  }
  return data;
}

std::vector<uint8_t> interleaveR2007(std::span<const uint8_t> data, R2007Code code) {
  const Field& f = fieldOf(code);
  const size_t dataBytes = kR2007WordBytes - f.parity;
  const size_t words = r2007WordCount(code, data.size());
  std::vector<uint8_t> encoded(words * kR2007WordBytes);
  std::array<uint8_t, kR2007WordBytes> word{};
  for (size_t w = 0; w < words; ++w) {
    word.fill(0);
    for (size_t j = 0; j < dataBytes && w * dataBytes + j < data.size(); ++j) word[j] = data[w * dataBytes + j];
    // The parity is the remainder of the data (times x^parity) divided by
    // the generator, kept in a shift register.
    std::array<uint8_t, 16> rem{};
    for (size_t j = 0; j < dataBytes; ++j) {
      uint8_t feedback = word[j] ^ rem[0];
      for (size_t i = 0; i + 1 < f.parity; ++i) rem[i] = rem[i + 1] ^ f.mul(feedback, f.generator[i + 1]);
      rem[f.parity - 1] = f.mul(feedback, f.generator[f.parity]);
    }
    std::copy(rem.begin(), rem.begin() + f.parity, word.begin() + dataBytes);
    for (size_t j = 0; j < kR2007WordBytes; ++j) encoded[w + j * words] = word[j];
  }
  return encoded;
}

} // namespace corvane::dwg
