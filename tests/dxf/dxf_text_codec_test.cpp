// Text values between a drawing's encoding and UTF-8: code pages with
// "\U+XXXX" escapes before R2007, UTF-8 after.
#include <gtest/gtest.h>

#include "dxf/dxf_text_codec.h"

namespace corvane {
namespace {

TEST(DxfTextCodec, VersionsAndCodePagesChooseTheEncoding) {
  EXPECT_TRUE(DxfTextCodec("AC1021", "ANSI_1252").utf8());
  EXPECT_TRUE(DxfTextCodec("AC1032", "").utf8());
  EXPECT_EQ(DxfTextCodec("AC1018", "ANSI_1251").codePage(), "CP1251");
  EXPECT_EQ(DxfTextCodec("AC1015", "dos850").codePage(), "CP850");
  // R12 (no $ACADVER), a missing or unknown code page: ANSI_1252.
  EXPECT_EQ(DxfTextCodec("", "").codePage(), "CP1252");
  EXPECT_EQ(DxfTextCodec("AC1009", "ANSI_99999").codePage(), "CP1252");
  EXPECT_EQ(DxfTextCodec("AC1015", "UTF8").codePage(), "CP1252");
}

TEST(DxfTextCodec, CodePageTextRoundTripsWithEscapesForWhatItLacks) {
  const DxfTextCodec cp1252("AC1015", "ANSI_1252");
  EXPECT_EQ(cp1252.fromUtf8("café €5"), "caf\xE9 \x80" "5");
  EXPECT_EQ(cp1252.toUtf8("caf\xE9 \x80" "5"), "café €5");
  EXPECT_EQ(cp1252.fromUtf8("Ж"), "\\U+0416");
  EXPECT_EQ(cp1252.toUtf8("\\U+0416 \\u+00e9"), "Ж é");
  // Past U+FFFF: two halves, each of four digits, read back as one.
  EXPECT_EQ(cp1252.fromUtf8("😀"), "\\U+D83D\\U+DE00");
  EXPECT_EQ(cp1252.toUtf8("\\U+D83D\\U+DE00"), "😀");
  EXPECT_EQ(cp1252.toUtf8("\\U+D83D!"), "\xEF\xBF\xBD!"); // a lone half
  // Not an escape: too few digits, or no digits at all.
  EXPECT_EQ(cp1252.toUtf8("\\U+12 \\U+XYZW"), "\\U+12 \\U+XYZW");
  // A byte the code page leaves undefined; bytes that are no UTF-8 on the
  // way in stay as they are.
  EXPECT_EQ(cp1252.toUtf8("a\x81" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(cp1252.fromUtf8("a\xFF" "b"), "a\xFF" "b");

  const DxfTextCodec cp1251("AC1018", "ANSI_1251");
  EXPECT_EQ(cp1251.fromUtf8("Жé"), "\xC6\\U+00E9");
  EXPECT_EQ(cp1251.toUtf8("\xC6"), "Ж");
  // A double-byte code page.
  const DxfTextCodec cp932("AC1015", "ANSI_932");
  EXPECT_EQ(cp932.toUtf8(cp932.fromUtf8("日本 Ж")), "日本 Ж");
}

TEST(DxfTextCodec, Utf8DrawingsKeepTheirBytes) {
  const DxfTextCodec utf8("AC1032", "ANSI_1252");
  EXPECT_EQ(utf8.fromUtf8("café 😀"), "café 😀");
  EXPECT_EQ(utf8.toUtf8("café \\U+0416"), "café Ж"); // as a DWG's text is written
  const DxfTextCodec none;
  EXPECT_TRUE(none.utf8());
  EXPECT_EQ(none.toUtf8("plain"), "plain");
}

} // namespace
} // namespace corvane
