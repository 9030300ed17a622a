#include "export/number_format.h"

#include <bit>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::string fixed(double v) {
  char buffer[kMaxNumberChars];
  return std::string(buffer, formatFixed6(buffer, v));
}
std::string general(double v) {
  char buffer[kMaxNumberChars];
  return std::string(buffer, formatGeneral6(buffer, v));
}

TEST(NumberFormat, FixedHasSixDecimals) {
  EXPECT_EQ(fixed(0.3), "0.300000");
  EXPECT_EQ(fixed(1.0), "1.000000");
  EXPECT_EQ(fixed(0.0), "0.000000");
  EXPECT_EQ(fixed(0.5), "0.500000");
  EXPECT_EQ(fixed(0.0000004), "0.000000");
  EXPECT_EQ(fixed(0.0000006), "0.000001");
  EXPECT_EQ(fixed(-2.25), "-2.250000");
  EXPECT_EQ(fixed(0.09375), "0.093750");
}

TEST(NumberFormat, GeneralUsesThreeDigitExponents) {
  EXPECT_EQ(general(1000000.0), "1e+006");
  EXPECT_EQ(general(0.00001), "1e-005");
  EXPECT_EQ(general(-0.00001), "-1e-005");
  EXPECT_EQ(general(2000000.0), "2e+006");
  EXPECT_EQ(general(1234.5678), "1234.57");
  EXPECT_EQ(general(10.0), "10");
  EXPECT_EQ(general(-2.5), "-2.5");
  EXPECT_EQ(general(0.0), "0");
  EXPECT_EQ(general(5.5), "5.5");
  EXPECT_EQ(general(999999.0), "999999");
  EXPECT_EQ(general(999999.5), "1e+006"); // rounds up into exponent form
  EXPECT_EQ(general(0.0001), "0.0001");
  EXPECT_EQ(general(1.5e-300), "1.5e-300");
  EXPECT_EQ(general(1.7976931348623157e308), "1.79769e+308");
  EXPECT_EQ(general(123456789.0), "1.23457e+008");
}

TEST(NumberFormat, GeneralAgreesWithTheCLibraryApartFromTheExponentWidth) {
  // The C library writes two exponent digits; ours always three.
  const double values[] = {3.14159265, 1e-4, 9.9999949e-5, 123456.4, 1e15, -7.0e-10, 0.1, 65535.0,
                           1e100, 2.5e-7};
  for (double v : values) {
    char c[64];
    std::snprintf(c, sizeof c, "%g", v);
    std::string expected = c;
    const auto e = expected.find('e');
    if (e != std::string::npos && expected.size() - (e + 2) == 2) {
      expected.insert(e + 2, "0");
    }
    EXPECT_EQ(general(v), expected) << v;
  }
}

// The formats as std::to_chars writes them (with the exponent widened to
// three digits): the exact reference the fast formatting must match.
std::string referenceFixed(double v) {
  char buffer[kMaxNumberChars];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 6).ptr);
}
std::string referenceGeneral(double v) {
  char buffer[kMaxNumberChars];
  std::string text(buffer, std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 6).ptr);
  const auto e = text.find('e');
  if (e != std::string::npos && text.size() - (e + 2) == 2) {
    text.insert(e + 2, "0");
  }
  return text;
}

TEST(NumberFormat, AgreesWithTheExactReferenceEverywhere) {
  std::mt19937_64 random(20240611);
  std::vector<double> values = {0.0078125, 0.0234375, 1234.125, 1234.375, 100000.5, 999999.5, 9.999995,
                                99999.95, 0.000099999949, 1e-5, 1e15, 4503599627370496.0, 17592186044415.99,
                                17592186044416.0, -0.0, 5e-324, 1e-300};
  for (int i = 0; i < 60000; ++i) {
    // Any bit pattern that is a finite number.
    const double bits = std::bit_cast<double>(random());
    if (std::isfinite(bits)) {
      values.push_back(bits);
    }
    // Decimal values as drawings hold them, over the whole range.
    const double decimal = static_cast<double>(random() % 2000000000) / std::pow(10.0, random() % 16);
    values.push_back(decimal * std::pow(10.0, static_cast<int>(random() % 12) - 6));
    // Exact binary ties: odd multiples of a power of two.
    values.push_back(static_cast<double>(random() % 100000 * 2 + 1) / std::ldexp(1.0, static_cast<int>(random() % 40)));
    // Values next to a rounding boundary of six digits.
    const double boundary = (static_cast<double>(random() % 900000 + 100000) + 0.5) *
                            std::pow(10.0, static_cast<int>(random() % 24) - 12);
    values.push_back(std::nextafter(boundary, 0.0));
    values.push_back(boundary);
    values.push_back(std::nextafter(boundary, 1e300));
  }
  int mismatches = 0;
  for (double v : values) {
    for (double signed_ : {v, -v}) {
      if (general(signed_) != referenceGeneral(signed_) && ++mismatches < 10) {
        ADD_FAILURE() << std::hexfloat << signed_ << ": general " << general(signed_) << " reference "
                      << referenceGeneral(signed_);
      }
      if (fixed(signed_) != referenceFixed(signed_) && ++mismatches < 10) {
        ADD_FAILURE() << std::hexfloat << signed_ << ": fixed " << fixed(signed_) << " reference "
                      << referenceFixed(signed_);
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
}

TEST(NumberFormat, LongestFixedFitsTheBuffer) {
  EXPECT_LE(fixed(-std::numeric_limits<double>::max()).size(), kMaxNumberChars);
}

TEST(NumberFormat, IgnoresACommaDecimalLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
  }
  const std::string f = fixed(0.3);
  const std::string g = general(5.5);
  const std::string e = general(0.00001);
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(f, "0.300000");
  EXPECT_EQ(g, "5.5");
  EXPECT_EQ(e, "1e-005");
}

} // namespace
