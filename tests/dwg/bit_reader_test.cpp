// The bit reader against golden bits for every code, its version
// differences, and its refusals: short reads, absurd lengths and codes the
// format doesn't have, each naming its section and byte.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "dwg/bit_reader.h"
#include "dwg/dwg_error.h"
#include "dwg_test_bytes.h"

namespace corvane::dwg {
namespace {

using testing::bits;
using testing::hexBytes;

// Runs READ on a reader over BYTES and returns the DwgError's message.
template <typename Read>
std::string failure(const std::vector<uint8_t>& bytes, Read read, DwgVersion version = DwgVersion::kR2000,
                    uint64_t base = 0) {
  BitReader in(bytes, version, "test", base);
  try {
    read(in);
  } catch (const DwgError& e) {
    return e.what();
  }
  return "no error";
}

TEST(BitReader, SingleBitsAndShortCodes) {
  // B 1, BB 01, 3B "10" (2), 3B "111" (7), 3B "0" (0), 3B "110" (6).
  std::vector<uint8_t> data = bits("1 01 10 111 0 110");
  BitReader in(data, DwgVersion::kR2000, "test");
  EXPECT_TRUE(in.readB());
  EXPECT_EQ(in.readBB(), 1);
  EXPECT_EQ(in.read3B(), 2);
  EXPECT_EQ(in.read3B(), 7);
  EXPECT_EQ(in.read3B(), 0);
  EXPECT_EQ(in.read3B(), 6);
  EXPECT_EQ(in.position(), 12u);
}

TEST(BitReader, RawValuesOnAndOffByteBoundaries) {
  // One bit, then RC 0xA5, RS 0x1234, RL 0x89ABCDEF, RLL and RD 1.5, all
  // straddling bytes.
  std::vector<uint8_t> data = bits("1 10100101 00110100 00010010 11101111 11001101 10101011 10001001"
                                   " 00001000 00000111 00000110 00000101 00000100 00000011 00000010 00000001"
                                   " 00000000 00000000 00000000 00000000 00000000 00000000 11111000 00111111");
  BitReader in(data, DwgVersion::kR2000, "test");
  EXPECT_TRUE(in.readB());
  EXPECT_EQ(in.readRC(), 0xA5);
  EXPECT_EQ(in.readRS(), 0x1234);
  EXPECT_EQ(in.readRL(), 0x89ABCDEFu);
  EXPECT_EQ(in.readRLL(), 0x0102030405060708ull);
  EXPECT_EQ(in.readRD(), 1.5);
  EXPECT_EQ(in.remaining(), 7u);

  std::vector<uint8_t> aligned = hexBytes("12 34 56");
  BitReader be(aligned, DwgVersion::kR2000, "test");
  EXPECT_EQ(be.readRSBigEndian(), 0x1234);
  EXPECT_EQ(be.readBits(8), 0x56u);
}

// A run of bytes at every bit offset and of every length up to past two
// words: the bytes are those the bits hold, and the run may end on the
// stream's last bit.
TEST(BitReader, ByteRunsAtEveryBitOffset) {
  std::vector<uint8_t> data(40);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 37 + 11);
  auto bitAt = [&](size_t bit) { return (data[bit / 8] >> (7 - bit % 8)) & 1; };
  for (unsigned offset = 0; offset < 8; ++offset)
    for (size_t n = 0; n <= 20; ++n) {
      // Only the bytes the run touches, so that a read past them shows.
      const std::vector<uint8_t> exact(data.begin(), data.begin() + (offset + 8 * n + 7) / 8);
      BitReader in(exact, DwgVersion::kR2000, "test");
      in.seek(offset);
      std::vector<uint8_t> run(n);
      in.readBytes(run);
      for (size_t i = 0; i < n; ++i) {
        uint8_t expected = 0;
        for (size_t b = 0; b < 8; ++b) expected = uint8_t(expected << 1 | bitAt(offset + 8 * i + b));
        ASSERT_EQ(run[i], expected) << "offset " << offset << ", length " << n << ", byte " << i;
      }
      EXPECT_LT(in.remaining(), 8u);
    }
}

TEST(BitReader, BitShortAndBitLong) {
  std::vector<uint8_t> data = bits("00 00110100 00010010"  // BS: RS 0x1234
                                   "01 11111111"           // BS: RC 255
                                   "10 11"                 // BS: 0, 256
                                   "00 01111000 01010110 00110100 00010010" // BL: RL
                                   "01 00000111 10");      // BL: RC 7, 0
  BitReader in(data, DwgVersion::kR2000, "test");
  EXPECT_EQ(in.readBS(), 0x1234);
  EXPECT_EQ(in.readBS(), 255);
  EXPECT_EQ(in.readBS(), 0);
  EXPECT_EQ(in.readBS(), 256);
  EXPECT_EQ(in.readBL(), 0x12345678u);
  EXPECT_EQ(in.readBL(), 7u);
  EXPECT_EQ(in.readBL(), 0u);
  EXPECT_EQ(failure(bits("11"), [](BitReader& r) { r.readBL(); }),
            "test at byte 0: a bit long with the unused code 11");
}

TEST(BitReader, BitLongLong) {
  // Three bits of byte count, then the bytes, least significant first.
  std::vector<uint8_t> data = bits("010 00110100 00010010 000 111 00000001 00000010 00000011 00000100"
                                   " 00000101 00000110 00000111");
  BitReader in(data, DwgVersion::kR2013, "test");
  EXPECT_EQ(in.readBLL(), 0x1234u);
  EXPECT_EQ(in.readBLL(), 0u);
  EXPECT_EQ(in.readBLL(), 0x07060504030201ull);
}

TEST(BitReader, BitDoubleAndDoubleWithDefault) {
  std::vector<uint8_t> data = bits("01 10 00 00000000 00000000 00000000 00000000 00000000 00000000 00000100 11000000");
  BitReader in(data, DwgVersion::kR2000, "test");
  EXPECT_EQ(in.readBD(), 1.0);
  EXPECT_EQ(in.readBD(), 0.0);
  EXPECT_EQ(in.readBD(), -2.5);
  EXPECT_EQ(failure(bits("11"), [](BitReader& r) { r.readBD(); }),
            "test at byte 0: a bit double with the unused code 11");

  // DD with default 1.5 (3FF8000000000000): 00 keeps it; 01 patches the low
  // four bytes; 10 patches bytes 4 and 5, then the low four; 11 is an RD.
  std::vector<uint8_t> dd = bits("00 01 00000001 00000010 00000011 00000100"
                                 " 10 10101010 10111011 00000001 00000010 00000011 00000100"
                                 " 11 00000000 00000000 00000000 00000000 00000000 00000000 00000000 01000000");
  BitReader d(dd, DwgVersion::kR2000, "test");
  EXPECT_EQ(d.readDD(1.5), 1.5);
  EXPECT_EQ(std::bit_cast<uint64_t>(d.readDD(1.5)), 0x3FF8000004030201ull);
  EXPECT_EQ(std::bit_cast<uint64_t>(d.readDD(1.5)), 0x3FF8BBAA04030201ull);
  EXPECT_EQ(d.readDD(1.5), 2.0);
}

TEST(BitReader, ModularNumbers) {
  // MC 4610 (82 24), MC -1413 (85 4B), UMC 1674217 (E9 97 E6 00), MS
  // 4650033 (31 F4 8D 00), MS 7 (07 00).
  std::vector<uint8_t> data = hexBytes("82 24 85 4B E9 97 E6 00 31 F4 8D 00 07 00");
  BitReader in(data, DwgVersion::kR2000, "test");
  EXPECT_EQ(in.readMC(), 4610);
  EXPECT_EQ(in.readMC(), -1413);
  EXPECT_EQ(in.readUMC(), 0x69u | 0x17u << 7 | 0x66u << 14);
  EXPECT_EQ(in.readMS(), 0x7431u | 0x8Du << 15);
  EXPECT_EQ(in.readMS(), 7u);
  EXPECT_TRUE(in.remaining() == 0);

  EXPECT_EQ(failure(hexBytes("80 80 80 80 80 80 80 80 80 01"), [](BitReader& r) { r.readUMC(); }),
            "test at byte 0: a modular number longer than nine bytes");
  EXPECT_EQ(failure(hexBytes("FF FF FF FF 00"), [](BitReader& r) { r.readMS(); }),
            "test at byte 0: a modular short longer than two words");
  EXPECT_EQ(failure(hexBytes("80 80"), [](BitReader& r) { r.readMC(); }),
            "test at byte 2: the data ends inside a value (8 bits needed, 0 left)");
}

TEST(BitReader, HandleReferencesAndTheirCodes) {
  std::vector<uint8_t> data = hexBytes("51 0A 32 12 34 60 80 A1 05 C1 05 40");
  BitReader in(data, DwgVersion::kR2000, "test");
  DwgHandleRef h = in.readH(0x100);
  EXPECT_EQ(h.code, 5);
  EXPECT_EQ(h.handle, 0x0Au);
  EXPECT_EQ(in.readH(0x100).handle, 0x1234u);  // big-endian bytes
  EXPECT_EQ(in.readH(0x100).handle, 0x101u);   // 6: reference + 1
  EXPECT_EQ(in.readH(0x100).handle, 0xFFu);    // 8: reference - 1
  EXPECT_EQ(in.readH(0x100).handle, 0x105u);   // A: reference + value
  DwgHandleRef minus = in.readH(0x100);        // C: reference - value
  EXPECT_EQ(minus.code, 0xC);
  EXPECT_EQ(minus.value, 5u);
  EXPECT_EQ(minus.handle, 0xFBu);
  DwgHandleRef null = in.readH(0x100);
  EXPECT_EQ(null.code, 4);
  EXPECT_EQ(null.handle, 0u);

  EXPECT_EQ(failure(hexBytes("C1 05"), [](BitReader& r) { r.readH(3); }),
            "test at byte 0: a relative handle below handle 0");
  EXPECT_EQ(failure(hexBytes("80"), [](BitReader& r) { r.readH(0); }),
            "test at byte 0: a relative handle below handle 0");
  EXPECT_EQ(failure(hexBytes("71 01"), [](BitReader& r) { r.readH(0); }),
            "test at byte 0: a handle reference with code 7, which the format doesn't use");
  EXPECT_EQ(failure(hexBytes("09 01 02 03 04 05 06 07 08 09"), [](BitReader& r) { r.readH(0); }),
            "test at byte 0: a handle reference of 9 bytes");
}

TEST(BitReader, CodePageAndUtf16Text) {
  // TV "abc" after one bit, then TV "ab" with its NUL.
  std::vector<uint8_t> tv = bits("1 01 00000011 01100001 01100010 01100011 01 00000011 01100001 01100010 00000000");
  BitReader in(tv, DwgVersion::kR2000, "test");
  in.readB();
  EXPECT_EQ(in.readT(), "abc");
  EXPECT_EQ(in.readTV(), "ab");

  // TU: "hé" then an emoji (a surrogate pair), then a lone surrogate.
  std::vector<uint8_t> tu = bits("01 00000011 01101000 00000000 11101001 00000000 00000000 00000000"
                                 " 01 00000010 00111101 11011000 00000000 11011110"
                                 " 01 00000001 00000000 11011000");
  BitReader u(tu, DwgVersion::kR2007, "test");
  EXPECT_EQ(u.readT(), "h\xC3\xA9");
  EXPECT_EQ(u.readTU(), "\xF0\x9F\x98\x80");
  EXPECT_EQ(u.readTU(), "\xEF\xBF\xBD");
}

TEST(BitReader, TextLengthsAreCheckedBeforeAllocating) {
  // A BS length of 65535 bytes (or units) over four bytes of data.
  std::vector<uint8_t> absurd = bits("00 11111111 11111111 01100001 01100010 01100011 01100100");
  EXPECT_EQ(failure(absurd, [](BitReader& r) { r.readTV(); }, DwgVersion::kR2000, 40),
            "test at byte 40: a text of 65535 bytes runs past the end of the data");
  EXPECT_EQ(failure(absurd, [](BitReader& r) { r.readTU(); }, DwgVersion::kR2007, 40),
            "test at byte 40: a text of 65535 UTF-16 units runs past the end of the data");
}

TEST(BitReader, ColoursByVersion) {
  // R2000 CMC and ENC: a colour number.
  std::vector<uint8_t> old = bits("01 00000111 01 00000011");
  BitReader r2000(old, DwgVersion::kR2000, "test");
  EXPECT_EQ(r2000.readCMC().index, 7);
  DwgColor enc = r2000.readENC();
  EXPECT_EQ(enc.index, 3);
  EXPECT_FALSE(enc.hasRgb);

  // R2004 CMC: BS 0, BL 0xC2FF8000, flags 1, TV "red".
  std::vector<uint8_t> cmc = bits("10 00 00000000 10000000 11111111 11000010 00000001 01 00000011 01110010 01100101 01100100");
  BitReader r2004(cmc, DwgVersion::kR2004, "test");
  DwgColor c = r2004.readCMC();
  EXPECT_TRUE(c.hasRgb);
  EXPECT_EQ(c.rgb, 0xC2FF8000u);
  EXPECT_EQ(c.name, "red");
  EXPECT_EQ(c.bookName, "");
  EXPECT_EQ(c.colorNumber(), 0);  // a true colour: the number stored beside it
  DwgColor byLayer, byBlock, indexed;
  byLayer.hasRgb = byBlock.hasRgb = indexed.hasRgb = true;
  byLayer.rgb = 0xC0000000;
  byBlock.rgb = 0xC1000000;
  indexed.rgb = 0xC3000005;
  EXPECT_EQ(byLayer.colorNumber(), 256);
  EXPECT_EQ(byBlock.colorNumber(), 0);
  EXPECT_EQ(indexed.colorNumber(), 5);

  // R2007 CMC: the name comes from the string stream.
  std::vector<uint8_t> main = bits("10 10 00000010");
  std::vector<uint8_t> strings = bits("01 00000001 01111000 00000000");
  BitReader r2007(main, DwgVersion::kR2007, "test");
  BitReader names(strings, DwgVersion::kR2007, "test");
  DwgColor n = r2007.readCMC(names);
  EXPECT_EQ(n.bookName, "x");
  EXPECT_EQ(r2007.remaining(), 4u);

  // R2004 ENC: flags 0xA0 in the BS's high byte (true colour, then
  // transparency), colour number 5; then flags 0x40 (a book handle follows
  // in the handle stream).
  std::vector<uint8_t> e = bits("00 00000101 10100000 00 00110011 00100010 00010001 11000010 00 11111111 00000000 00000000 00000010"
                                " 00 00000000 01000000");
  BitReader r(e, DwgVersion::kR2004, "test");
  DwgColor entity = r.readENC();
  EXPECT_EQ(entity.index, 5);
  EXPECT_EQ(entity.rgb, 0xC2112233u);
  EXPECT_TRUE(entity.hasTransparency);
  EXPECT_EQ(entity.transparency, 0x020000FFu);
  EXPECT_FALSE(entity.bookHandleFollows());
  EXPECT_TRUE(r.readENC().bookHandleFollows());
}

TEST(BitReader, ThicknessExtrusionAndObjectTypeByVersion) {
  // R2000+: BT 1 is 0.0, BE 1 is (0,0,1); R13 reads a BD and a 3BD.
  std::vector<uint8_t> r2000 = bits("1 1 0 01 0 10 01 10");
  BitReader in(r2000, DwgVersion::kR2000, "test");
  EXPECT_EQ(in.readBT(), 0.0);
  Vec3 up = in.readBE();
  EXPECT_EQ(up.z, 1.0);
  EXPECT_EQ(in.readBT(), 1.0);
  Vec3 y = in.readBE();
  EXPECT_EQ(y.x, 0.0);
  EXPECT_EQ(y.y, 1.0);
  EXPECT_EQ(y.z, 0.0);

  std::vector<uint8_t> r13 = bits("01 10 01 10");
  BitReader old(r13, DwgVersion::kR13, "test");
  EXPECT_EQ(old.readBT(), 1.0);
  Vec3 e = old.readBE();
  EXPECT_EQ(e.x, 0.0);
  EXPECT_EQ(e.y, 1.0);

  // OT from R2010: RC, RC + 0x1F0, RS; a BS before.
  std::vector<uint8_t> ot = bits("00 00010011 01 00000010 10 00000011 00000010");
  BitReader r2010(ot, DwgVersion::kR2010, "test");
  EXPECT_EQ(r2010.readOT(), 0x13);
  EXPECT_EQ(r2010.readOT(), 0x1F2);
  EXPECT_EQ(r2010.readOT(), 0x0203);
  std::vector<uint8_t> bs = bits("01 00010011");
  BitReader r2004(bs, DwgVersion::kR2004, "test");
  EXPECT_EQ(r2004.readOT(), 0x13);
}

TEST(BitReader, Points) {
  std::vector<uint8_t> data = bits("10 01 10"                                      // 3BD (0, 1, 0)
                                   "00 01 00000000 00000000 00000000 00000000 00"  // 3DD from (5, 6, 7)
                                   "01 01");                                       // 2BD (1, 1)
  BitReader in(data, DwgVersion::kR2000, "test");
  Vec3 p = in.read3BD();
  EXPECT_EQ(p.y, 1.0);
  Vec3 d = in.read3DD(Vec3{5, 6, 7});
  EXPECT_EQ(d.x, 5.0);
  EXPECT_EQ(d.y, 6.0);  // 6.0's low four bytes are zero already
  EXPECT_EQ(d.z, 7.0);
  Vec2 q = in.read2BD();
  EXPECT_EQ(q.x, 1.0);
  EXPECT_EQ(q.y, 1.0);

  // 2RD (0.5, 2) and 3RD (1, -1, 0) after a bit, then 2DD from (3, 4): 3
  // and a full RD 8.
  std::vector<uint8_t> raw = bits("1 00000000 00000000 00000000 00000000 00000000 00000000 11100000 00111111"
                                  " 00000000 00000000 00000000 00000000 00000000 00000000 00000000 01000000"
                                  " 00000000 00000000 00000000 00000000 00000000 00000000 11110000 00111111"
                                  " 00000000 00000000 00000000 00000000 00000000 00000000 11110000 10111111"
                                  " 00000000 00000000 00000000 00000000 00000000 00000000 00000000 00000000"
                                  " 00 11 00000000 00000000 00000000 00000000 00000000 00000000 00100000 01000000");
  BitReader r(raw, DwgVersion::kR2000, "test");
  r.readB();
  Vec2 a = r.read2RD();
  EXPECT_EQ(a.x, 0.5);
  EXPECT_EQ(a.y, 2.0);
  Vec3 b = r.read3RD();
  EXPECT_EQ(b.x, 1.0);
  EXPECT_EQ(b.y, -1.0);
  EXPECT_EQ(b.z, 0.0);
  Vec2 c = r.read2DD(Vec2{3, 4});
  EXPECT_EQ(c.x, 3.0);
  EXPECT_EQ(c.y, 8.0);
}

TEST(BitReader, SentinelAndCrc) {
  const uint8_t sentinel[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  std::vector<uint8_t> data = hexBytes("01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 80 34 12");
  BitReader in(data, DwgVersion::kR2000, "test");
  in.expectSentinel(sentinel, "start");
  in.readB();
  EXPECT_EQ(in.readCRC(), 0x1234);  // after the rest of the byte
  std::vector<uint8_t> wrong = hexBytes("01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 11");
  EXPECT_EQ(failure(wrong, [&](BitReader& r) { r.expectSentinel(sentinel, "start"); }, DwgVersion::kR2000, 7),
            "test at byte 7: the start sentinel is missing");
}

TEST(BitReader, ShortReadsNameTheSectionAndByte) {
  std::vector<uint8_t> three = hexBytes("01 02 03");
  // Base 1000: the bytes start at byte 1000 of their section.
  EXPECT_EQ(failure(three, [](BitReader& r) { r.readRL(); }, DwgVersion::kR2000, 1000),
            "test at byte 1000: the data ends inside a value (32 bits needed, 24 left)");
  EXPECT_EQ(failure(three, [](BitReader& r) { r.readRC(); r.readRS(); r.readRS(); }),
            "test at byte 3: the data ends inside a value (16 bits needed, 0 left)");
  EXPECT_EQ(failure(three, [](BitReader& r) { r.readBits(7); r.readRD(); }),
            "test at byte 0: the data ends inside a value (64 bits needed, 17 left)");
  std::vector<uint8_t> none;
  for (auto read : {+[](BitReader& r) { r.readB(); }, +[](BitReader& r) { r.readBS(); },
                    +[](BitReader& r) { r.readBD(); }, +[](BitReader& r) { r.readMC(); },
                    +[](BitReader& r) { r.readH(0); }, +[](BitReader& r) { r.readT(); },
                    +[](BitReader& r) { r.readCMC(); }, +[](BitReader& r) { r.readENC(); },
                    +[](BitReader& r) { r.readOT(); }, +[](BitReader& r) { r.readCRC(); }})
    EXPECT_NE(failure(none, read).find("test at byte 0: the data ends"), std::string::npos);

  // A stream's end can be lowered below its bytes, never raised past them.
  BitReader limited(three, 12, DwgVersion::kR2000, "test");
  limited.readRC();
  EXPECT_THROW(limited.readRC(), DwgError);
  EXPECT_THROW(BitReader(three, 25, DwgVersion::kR2000, "test"), DwgError);
  BitReader in(three, DwgVersion::kR2000, "test");
  EXPECT_THROW(in.seek(25), DwgError);
  in.seek(8);
  EXPECT_THROW(in.limit(7), DwgError);
  in.limit(16);
  EXPECT_EQ(in.readRC(), 2);
  EXPECT_THROW(in.readB(), DwgError);
  std::vector<uint8_t> buffer(4);
  BitReader bytesReader(three, DwgVersion::kR2000, "test");
  EXPECT_THROW(bytesReader.readBytes(buffer), DwgError);
  EXPECT_EQ(bytesReader.position(), 0u);
}

} // namespace
} // namespace corvane::dwg
