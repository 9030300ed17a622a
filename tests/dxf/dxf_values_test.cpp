#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <random>

#include "dxf/dxf_cursor.h"
#include "dxf/dxf_values.h"
#include "runtime/text.h"

namespace corvane {
namespace {

TEST(DxfValues, RealsAreCheckedStrictly) {
  for (const char* ok : {"0", "-1.5", "+2.", ".5", "  3.25  ", "1e5", "1.0E-300", "-0.0", "1e-400",
                         "00012", "1.7976931348623157e308"})
    EXPECT_EQ(checkDxfReal(ok), NumberCheck::kOk) << ok;
  for (const char* bad : {"", " ", "-", ".", "1,5", "1.5.2", "0x10", "nan", "inf", "1e", "1e+", "e5", "1 2",
                          "--1", "1d5"})
    EXPECT_EQ(checkDxfReal(bad), NumberCheck::kNotNumber) << bad;
  for (const char* huge : {"1e309", "-1.8e308", "1e99999999999"})
    EXPECT_EQ(checkDxfReal(huge), NumberCheck::kNotFinite) << huge;
  EXPECT_EQ(checkDxfReal(std::string(309, '9')), NumberCheck::kNotFinite);
  EXPECT_EQ(checkDxfReal("0." + std::string(400, '0') + "1"), NumberCheck::kOk);
  EXPECT_EQ(parseDxfReal("1e-400"), 0.0);
  EXPECT_EQ(parseDxfReal(" +2.5 "), 2.5);
}

// Reals as DXF writers print them ("%.6f", shortest round trip, long
// fractions) read to the very double the general conversion gives.
TEST(DxfValues, RealsReadExactlyInEveryShape) {
  std::mt19937_64 random(11);
  auto general = [](const std::string& s) {
    double v = 0;
    std::from_chars(s.data() + (s[0] == '+'), s.data() + s.size(), v);
    return v;
  };
  for (int i = 0; i < 200000; ++i) {
    std::string s = (random() & 1) ? "-" : "";
    const int whole = static_cast<int>(random() % 12), fraction = static_cast<int>(random() % 24);
    for (int k = 0; k < whole; ++k) s += static_cast<char>('0' + random() % 10);
    if (whole == 0 || random() % 4 != 0) s += '.';
    for (int k = 0; k < fraction; ++k) s += static_cast<char>('0' + random() % 10);
    if (checkDxfReal(s) != NumberCheck::kOk) continue;
    ASSERT_EQ(std::bit_cast<uint64_t>(parseDxfReal(s, NAN)), std::bit_cast<uint64_t>(general(s))) << s;
  }
  EXPECT_EQ(parseDxfReal("9007199254740993"), 9007199254740992.0); // past 2^53: rounded, not exact
  EXPECT_EQ(parseDxfReal("0.1000000000000000055511151231257827"), 0.1);
  EXPECT_TRUE(std::signbit(parseDxfReal("-0.0")));
  EXPECT_EQ(parseDxfInt("   -12"), -12);
  EXPECT_EQ(parseDxfInt("9223372036854775807"), 9223372036854775807LL);
  EXPECT_EQ(parseDxfInt("12x", 5), 5);
}

TEST(DxfValues, IntegersAndCodes) {
  for (const char* ok : {"0", "     7", "-32768", "+5", "9223372036854775807"})
    EXPECT_EQ(checkDxfInt(ok), NumberCheck::kOk) << ok;
  for (const char* bad : {"", "1.0", "7a", "9223372036854775808", "- 1"})
    EXPECT_EQ(checkDxfInt(bad), NumberCheck::kNotNumber) << bad;
  EXPECT_EQ(parseGroupCode("  0"), 0);
  EXPECT_EQ(parseGroupCode("1001"), 1001);
  EXPECT_EQ(parseGroupCode(" 70 "), 70);
  EXPECT_EQ(parseGroupCode("99999999999"), std::nullopt);
  EXPECT_EQ(parseGroupCode(""), std::nullopt);
  EXPECT_EQ(parseHandle("2f"), 0x2F);
  EXPECT_EQ(parseHandle("FFFFFFFFFFFFFFFF"), 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(parseHandle("10000000000000000"), std::nullopt);
  EXPECT_EQ(parseHandle("G1"), std::nullopt);
  EXPECT_EQ(formatHandle(0x2F), "2F");
}

// The quick reader of a code line takes exactly the usual lines (up to
// three blanks, one to four digits, LF or CR LF) and leaves every other
// line to the general parser: every line of up to six characters from a
// small alphabet, in a buffer with room behind it.
TEST(DxfValues, UsualCodeLinesAndNothingElse) {
  const char alphabet[] = {' ', '0', '1', '7', '9', '-', 'x', '\r', '\n'};
  auto expected = [](const std::string& s, int& code, size_t& used) {
    size_t end = s.find('\n');
    if (end == std::string::npos) return false;
    used = end + 1;
    if (end > 0 && s[end - 1] == '\r') --end;
    size_t i = 0;
    while (i < end && i < 3 && s[i] == ' ') ++i;
    const size_t digits = end - i;
    if (digits < 1 || digits > 4) return false;
    code = 0;
    for (size_t k = i; k < end; ++k) {
      if (s[k] < '0' || s[k] > '9') return false;
      code = code * 10 + (s[k] - '0');
    }
    return true;
  };
  for (int length = 1; length <= 6; ++length) {
    std::vector<int> at(static_cast<size_t>(length), 0);
    while (true) {
      std::string line;
      for (int k : at) line += alphabet[k];
      std::string buffer = line + std::string(16, 'z');
      int code = -1, want = -1;
      size_t used = 0;
      const char* after = readUsualCodeLine(buffer.data(), code);
      if (expected(line, want, used)) {
        ASSERT_NE(after, nullptr) << '"' << line << '"';
        EXPECT_EQ(code, want) << '"' << line << '"';
        EXPECT_EQ(static_cast<size_t>(after - buffer.data()), used) << '"' << line << '"';
      } else {
        ASSERT_EQ(after, nullptr) << '"' << line << '"';
      }
      size_t k = 0;
      while (k < at.size() && ++at[k] == static_cast<int>(sizeof alphabet)) at[k++] = 0;
      if (k == at.size()) break;
    }
  }
}

TEST(DxfValues, RealsAreWrittenShortestAndReadBackExactly) {
  EXPECT_EQ(formatDxfReal(0.3), "0.3");
  EXPECT_EQ(formatDxfReal(1.0), "1.0");
  EXPECT_EQ(formatDxfReal(0.0), "0.0");
  EXPECT_EQ(formatDxfReal(-2.5), "-2.5");
  EXPECT_EQ(formatDxfReal(1e-7), "1e-07");
  EXPECT_EQ(formatDxfReal(1e22), "1e+22");
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = random();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) continue;
    std::string s = formatDxfReal(v);
    ASSERT_EQ(checkDxfReal(s), NumberCheck::kOk) << s;
    ASSERT_EQ(parseDxfReal(s, NAN), v) << s;
  }
  // Whole numbers take a short way: the same text as the shortest form,
  // up to where an exponent is shorter.
  EXPECT_EQ(formatDxfReal(-0.0), "-0.0");
  EXPECT_EQ(formatDxfReal(99999.0), "99999.0");
  EXPECT_EQ(formatDxfReal(100000.0), "1e+05");
  EXPECT_EQ(formatDxfReal(-100000.0), "-1e+05");
  EXPECT_EQ(formatDxfReal(10000.0), "10000.0");
  for (double v = -100003; v <= 100003; v += v > -99990 && v < 99990 ? 97 : 1) {
    char digits[64];
    const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
    std::string shortest(digits, end);
    if (shortest.find_first_of(".e") == std::string::npos) shortest += ".0";
    ASSERT_EQ(formatDxfReal(v), shortest);
  }
}

TEST(DxfValues, GroupsInTheFilesStyle) {
  DxfStyle cad;
  EXPECT_EQ(cad.group(0, "APPID"), "  0\nAPPID\n");
  EXPECT_EQ(cad.intGroup(70, 3), " 70\n     3\n");
  EXPECT_EQ(cad.realGroup(1040, 0.5), "1040\n0.5\n");
  DxfStyle plain{false, false, "\r\n"};
  EXPECT_EQ(plain.intGroup(70, 3), "70\r\n3\r\n");
}

// Names (layers, applications, blocks) fold ASCII letters only: a byte of
// the drawing's code page stays as it is, so that "Mauer\xC4" and
// "MAUER\xE4" stay two names.
TEST(DxfValues, NamesFoldAsciiLettersOnly) {
  EXPECT_TRUE(equalsIgnoreCase("Vrml_Application", "VRML_APPLICATION"));
  EXPECT_FALSE(equalsIgnoreCase("ACAD", "ACAD2"));
  EXPECT_FALSE(equalsIgnoreCase("Mauer\xC4", "MAUER\xE4"));
  EXPECT_EQ(asciiUpper("caf\xE9 z{"), "CAF\xE9 Z{");
  EXPECT_EQ(asciiLower("CAF\xC9 A@[Z"), "caf\xC9 a@[z");
  EXPECT_EQ(formatHandle(0xABCDEF), "ABCDEF");
}

} // namespace
} // namespace corvane
