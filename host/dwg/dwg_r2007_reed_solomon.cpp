#include "dwg/dwg_r2007_reed_solomon.h"

#include <array>
#include <cstring>

#include "dwg/cpu_features.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

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
  // Each root times every low nibble and every high nibble: a product is
  // the sum of the two.
  std::array<std::array<uint8_t, 16>, 16> rootTimesLow{}, rootTimesHigh{};

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
    for (size_t k = 0; k < parity; ++k)
      for (unsigned n = 0; n < 16; ++n) {
        rootTimesLow[k][n] = mul(roots[k], static_cast<uint8_t>(n));
        rootTimesHigh[k][n] = mul(roots[k], static_cast<uint8_t>(n << 4));
      }
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

// Rows of sixteen bytes to words: byte l of row j becomes byte j of word l,
// for the LANES words (at most sixteen) whose data bytes go to DATA, word
// after word. Sixteen rows at a time are turned over whole, the rest byte
// by byte.
void rowsToWords(const uint8_t* rows, size_t rowStride, size_t dataBytes, size_t lanes, uint8_t* data) {
  size_t j = 0;
  for (; j + 16 <= dataBytes; j += 16) {
    Lanes block[16];
    for (size_t r = 0; r < 16; ++r) std::memcpy(&block[r], rows + (j + r) * rowStride, 16);
    transpose16(block);
    for (size_t l = 0; l < lanes; ++l) std::memcpy(data + l * dataBytes + j, &block[l], 16);
  }
  for (size_t l = 0; l < lanes; ++l) {
    uint8_t* out = data + l * dataBytes;
    for (size_t r = j; r < dataBytes; ++r) out[r] = rows[r * rowStride + l];
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
  rowsToWords(&rows[0][0], 16, kR2007WordBytes - kParity, lanes, data);
  for (size_t l = 0; l < lanes; ++l)
    if (bad[l] != 0) return l;
  return std::nullopt;
}

#if defined(__x86_64__)
// Up to thirty-two words side by side, as deinterleaveLanes takes sixteen,
// where the processor has AVX2: each product with a root is two table
// lookups, one per nibble, thirty-two bytes at once.
template <size_t kParity>
__attribute__((target("avx2"))) std::optional<size_t> deinterleave32(const uint8_t* first, size_t stride,
                                                                     size_t lanes, const Field& f, uint8_t* data) {
  static_assert(kParity <= 16);
  __m256i low[kParity], high[kParity], syndromes[kParity];
  for (size_t k = 0; k < kParity; ++k) {
    low[k] = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(f.rootTimesLow[k].data())));
    high[k] = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(f.rootTimesHigh[k].data())));
    syndromes[k] = _mm256_setzero_si256();
  }
  const __m256i nibble = _mm256_set1_epi8(0x0F);
  alignas(32) uint8_t rows[kR2007WordBytes][32];
  for (size_t j = 0; j < kR2007WordBytes; ++j) {
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(first + j * stride));
    _mm256_store_si256(reinterpret_cast<__m256i*>(rows[j]), b);
    for (size_t k = 0; k < kParity; ++k) {
      const __m256i s = syndromes[k];
      const __m256i product = _mm256_xor_si256(_mm256_shuffle_epi8(low[k], _mm256_and_si256(s, nibble)),
                                               _mm256_shuffle_epi8(high[k], _mm256_and_si256(_mm256_srli_epi16(s, 4), nibble)));
      syndromes[k] = _mm256_xor_si256(product, b);
    }
  }
  __m256i any = _mm256_setzero_si256();
  for (size_t k = 0; k < kParity; ++k) any = _mm256_or_si256(any, syndromes[k]);
  const uint32_t bad = ~uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi8(any, _mm256_setzero_si256())));
  const size_t dataBytes = kR2007WordBytes - kParity;
  rowsToWords(&rows[0][0], 32, dataBytes, std::min<size_t>(lanes, 16), data);
  if (lanes > 16) rowsToWords(&rows[0][16], 32, dataBytes, lanes - 16, data + 16 * dataBytes);
  if (bad != 0) return size_t(__builtin_ctz(bad));
  return std::nullopt;
}
#endif

} // namespace

std::vector<uint8_t> deinterleaveR2007(std::span<const uint8_t> encoded, size_t words, R2007Code code,
                                       std::optional<size_t>& firstBadWord) {
  const Field& f = fieldOf(code);
  const size_t dataBytes = kR2007WordBytes - f.parity;
  firstBadWord.reset();
  std::vector<uint8_t> data(words * dataBytes);
#if defined(__x86_64__)
  const bool wide = cpuFeatures().avx2;
#else
  const bool wide = false;
#endif
  const size_t width = wide ? 32 : 16;
  // LANES words from word W on, their rows STRIDE apart from FIRST.
  auto run = [&](const uint8_t* first, size_t stride, size_t w, size_t lanes) {
    uint8_t* out = data.data() + w * dataBytes;
    // The two codes' parities: the data pages' 4, the system pages' 16.
    const bool dataCode = f.parity == kDataField.parity;
    std::optional<size_t> bad;
#if defined(__x86_64__)
    if (wide)
      bad = dataCode ? deinterleave32<kDataField.parity>(first, stride, lanes, f, out)
                     : deinterleave32<kSystemField.parity>(first, stride, lanes, f, out);
    else
#endif
      bad = dataCode ? deinterleaveLanes<kDataField.parity>(first, stride, lanes, f, out)
                     : deinterleaveLanes<kSystemField.parity>(first, stride, lanes, f, out);
    if (!firstBadWord && bad) firstBadWord = w + *bad;
  };
  size_t w = 0;
  for (; w + width <= words; w += width) run(encoded.data() + w, words, w, width);
  if (w < words) {
    // The last few words, gathered into rows (zero words after them).
    alignas(32) uint8_t rest[kR2007WordBytes][32] = {};
    for (size_t j = 0; j < kR2007WordBytes; ++j) std::memcpy(rest[j], encoded.data() + w + j * words, words - w);
    run(&rest[0][0], 32, w, words - w);
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
