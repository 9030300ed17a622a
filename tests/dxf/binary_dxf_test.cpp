// Binary DXF: groups against bytes written out by hand, values at their
// limits, every cut through the corpus's groups, refusals that name the
// byte, and binary drawings read through the same views as their text twins.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "drawing/drawing.h"
#include "dxf/dxf_cursor.h"
#include "dxf/dxf_text_builder.h"
#include "support/corpus.h"

namespace corvane {
namespace {

using testing::dxfBinary;
using testing::dxfText;
using testing::Groups;

using std::string_literals::operator""s;

DxfStyle binaryStyle(DxfEncoding encoding) {
  DxfStyle style;
  style.encoding = encoding;
  return style;
}

const DxfEncoding kBinaryForms[] = {DxfEncoding::kBinaryByteCodes, DxfEncoding::kBinaryWordCodes};

// BYTES in a heap block of exactly their size, so that AddressSanitizer
// sees a read past the end.
struct ExactBuffer {
  std::unique_ptr<char[]> data;
  size_t size;
  explicit ExactBuffer(std::string_view bytes) : data(new char[bytes.size()]), size(bytes.size()) {
    if (size) std::memcpy(data.get(), bytes.data(), size);
  }
  std::string_view view() const { return {data.get(), size}; }
};

TEST(BinaryDxf, GroupsAreEncodedAsTheFilesStoreThem) {
  DxfStyle word = binaryStyle(DxfEncoding::kBinaryWordCodes);
  EXPECT_EQ(word.group(0, "SECTION"), "\0\0SECTION\0"s);
  EXPECT_EQ(word.group(5, "2F"), "\x05\0" "2F\0"s);
  EXPECT_EQ(word.intGroup(70, -2), "\x46\0\xFE\xFF"s);
  EXPECT_EQ(word.group(70, "    64"), "\x46\0\x40\0"s); // a text file's padded integer
  EXPECT_EQ(word.intGroup(90, 70000), "\x5A\0\x70\x11\x01\0"s);
  EXPECT_EQ(word.intGroup(160, 1LL << 40), "\xA0\0\0\0\0\0\0\x01\0\0"s);
  EXPECT_EQ(word.intGroup(290, 1), "\x22\x01\x01"s);
  EXPECT_EQ(word.realGroup(10, 1.5), "\x0A\0\0\0\0\0\0\0\xF8\x3F"s);
  EXPECT_EQ(word.group(310, "0aFF"), "\x36\x01\x02\x0A\xFF"s);
  EXPECT_EQ(word.intGroup(1071, -1), "\x2F\x04\xFF\xFF\xFF\xFF"s);
  EXPECT_EQ(word.intGroup(70, 70000), "\x46\0\xFF\x7F"s) << "16 bits hold at most 32767";
  EXPECT_EQ(word.intValue(5, 70), "\x05\0"s);
  EXPECT_EQ(word.intValue(5, 1071), "\x05\0\0\0"s);

  DxfStyle byte = binaryStyle(DxfEncoding::kBinaryByteCodes);
  EXPECT_EQ(byte.group(0, "EOF"), "\0EOF\0"s);
  EXPECT_EQ(byte.intGroup(62, 7), "\x3E\x07\0"s);
  EXPECT_EQ(byte.group(1001, "ACAD"), "\xFF\xE9\x03" "ACAD\0"s);
  EXPECT_EQ(byte.intGroup(1070, 3), "\xFF\x2E\x04\x03\0"s);
  EXPECT_EQ(byte.group(1004, "0102"), "\xFF\xEC\x03\x02\x01\x02"s);

  DxfStyle text; // the text form keeps its padding
  EXPECT_EQ(text.intValue(5), "     5");
}

// One group of every binary type at the edges of its range, in both code
// widths, read back through the cursor from an exact-size buffer.
TEST(BinaryDxf, ValuesReadBackAtTheirLimits) {
  const double reals[] = {DBL_MAX, -DBL_MAX, DBL_TRUE_MIN, -0.0, 0.1};
  const long long int16s[] = {-32768, 32767}, int32s[] = {INT32_MIN, INT32_MAX},
                  int64s[] = {INT64_MIN, INT64_MAX};
  std::string chunk(255, '\0');
  for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<char>(255 - i);
  for (DxfEncoding encoding : kBinaryForms) {
    SCOPED_TRACE(static_cast<int>(encoding));
    DxfStyle style = binaryStyle(encoding);
    std::string bytes;
    for (double v : reals) bytes += style.realGroup(40, v);
    for (long long v : int16s) bytes += style.intGroup(70, v) + style.intGroup(1070, v);
    for (long long v : int32s) bytes += style.intGroup(90, v) + style.intGroup(1071, v);
    for (long long v : int64s) bytes += style.intGroup(160, v);
    bytes += style.intGroup(290, 0) + style.intGroup(290, 255);
    bytes += style.group(310, encodeDxfHex(chunk)) + style.group(1004, "");
    bytes += style.group(1, "") + style.group(1000, "\xC3\xA4 \t ") + style.group(254, "x") +
             style.group(255, "y") + style.group(999, "z");

    ExactBuffer buffer(bytes);
    DxfGroupCursor cursor(buffer.view(), encoding);
    DxfGroupView g;
    std::string chunkRead;
    for (double v : reals) {
      ASSERT_TRUE(cursor.next(g));
      EXPECT_EQ(g.code, 40);
      EXPECT_EQ(std::signbit(g.real()), std::signbit(v));
      EXPECT_EQ(g.real(), v);
      EXPECT_EQ(g.text(), "") << "a number stored in binary has no text";
    }
    for (long long v : int16s)
      for (int code : {70, 1070}) {
        ASSERT_TRUE(cursor.next(g));
        EXPECT_EQ(g.code, code);
        EXPECT_EQ(g.integer(), v);
        EXPECT_EQ(g.real(), static_cast<double>(v));
      }
    for (long long v : int32s)
      for (int code : {90, 1071}) {
        ASSERT_TRUE(cursor.next(g));
        EXPECT_EQ(g.code, code);
        EXPECT_EQ(g.integer(), v);
      }
    for (long long v : int64s) {
      ASSERT_TRUE(cursor.next(g));
      EXPECT_EQ(g.integer(), v);
    }
    for (long long v : {0, 255}) {
      ASSERT_TRUE(cursor.next(g));
      EXPECT_EQ(g.integer(), v);
    }
    ASSERT_TRUE(cursor.next(g));
    ASSERT_TRUE(g.bytes(chunkRead));
    EXPECT_EQ(chunkRead, chunk);
    ASSERT_TRUE(cursor.next(g));
    EXPECT_EQ(g.code, 1004);
    ASSERT_TRUE(g.bytes(chunkRead));
    EXPECT_EQ(chunkRead, "");
    for (auto [code, value] : {std::pair<int, std::string_view>{1, ""}, {1000, "\xC3\xA4 \t "}, {254, "x"},
                               {255, "y"}, {999, "z"}}) {
      ASSERT_TRUE(cursor.next(g));
      EXPECT_EQ(g.code, code);
      EXPECT_EQ(g.text(), value);
    }
    EXPECT_FALSE(cursor.next(g));
    EXPECT_FALSE(cursor.failed());
    EXPECT_EQ(cursor.position(), bytes.size());
  }
}

// The corpus's binary files walk group by group to their last byte, 0 EOF
// (which pins the width of every type they use), and every cut through a
// group is reported as one, read from a buffer that ends at the cut.
TEST(BinaryDxf, EveryCutThroughACorpusGroupIsACut) {
  auto files = testing::binaryCorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no binary corpus at " << testing::binaryCorpusDir();
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    std::string bytes = testing::readBytes(file);
    ASSERT_EQ(bytes.compare(0, kDxfBinarySentinel.size(), kDxfBinarySentinel), 0);
    DxfEncoding encoding = bytes[23] == 0 ? DxfEncoding::kBinaryWordCodes : DxfEncoding::kBinaryByteCodes;
    size_t pos = kDxfBinarySentinel.size();
    DxfGroupView g;
    size_t cuts = 0;
    while (pos < bytes.size()) {
      ASSERT_EQ(readBinaryGroup(bytes, pos, encoding, g), DxfBinaryProblem::kNone) << "at byte " << pos;
      for (size_t end = pos; end < g.end; ++end) {
        ExactBuffer cut(std::string_view(bytes).substr(pos, end - pos));
        DxfGroupView partial;
        DxfBinaryProblem problem = readBinaryGroup(cut.view(), 0, encoding, partial);
        ASSERT_TRUE(problem == DxfBinaryProblem::kCutInCode || problem == DxfBinaryProblem::kCutInValue)
            << "cut at byte " << end << " of the group at " << pos;
        ++cuts;
      }
      pos = g.end;
    }
    EXPECT_EQ(pos, bytes.size());
    EXPECT_EQ(g.code, 0);
    EXPECT_EQ(g.text(), "EOF");
    EXPECT_EQ(cuts, bytes.size() - kDxfBinarySentinel.size());
  }
}

std::string refusal(std::string bytes) {
  DrawingLoadResult r = Drawing::loadText(std::move(bytes), "bad.dxf");
  EXPECT_FALSE(r.drawing) << "loaded what should be refused";
  EXPECT_EQ(r.error.find('\n'), std::string::npos) << "error is more than one line";
  return r.error;
}

// Prefixes of the corpus's binary files through the loader: every one of
// the first bytes, then a spread over the whole file. Each is refused with
// one line that names a byte within the prefix.
TEST(BinaryDxf, PrefixesOfCorpusFilesAreRefusedAtTheirByte) {
  auto files = testing::binaryCorpusFiles();
  if (files.empty()) GTEST_SKIP() << "no binary corpus at " << testing::binaryCorpusDir();
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    std::string bytes = testing::readBytes(file);
    size_t stride = bytes.size() / 60 + 1;
    for (size_t n = 1; n < bytes.size(); n += n < 400 ? 1 : stride + n % 7) {
      std::string error = refusal(bytes.substr(0, n));
      size_t at = error.find(": byte ");
      ASSERT_NE(at, std::string::npos) << error;
      EXPECT_LE(std::stoul(error.substr(at + 7)), n) << error;
    }
  }
}

TEST(BinaryDxf, RefusalsNameTheByte) {
  Groups line = {{0, "SECTION"}, {2, "ENTITIES"}, {0, "LINE"}, {8, "0"}, {10, "1.0"}};
  DxfStyle word = binaryStyle(DxfEncoding::kBinaryWordCodes);
  std::string head = dxfBinary(line, DxfEncoding::kBinaryWordCodes);
  std::string at = "bad.dxf: byte " + std::to_string(head.size()) + ": ";
  EXPECT_EQ(refusal(head + "\x30\x04"s), at + "group code 1072 is outside 0..1071");
  EXPECT_EQ(refusal(head + "\xFF\xFF\0"s), at + "group code -1 is outside 0..1071");
  EXPECT_EQ(refusal(dxfBinary({{0, "LINE"}, {0, "EOF"}}, DxfEncoding::kBinaryWordCodes)),
            "bad.dxf: byte 22: expected SECTION or EOF, found 'LINE'");
  std::string nan = word.realGroup(30, 0.0);
  nan.replace(2, 8, "\0\0\0\0\0\0\xF8\x7F"s);
  EXPECT_EQ(refusal(head + nan), at + "group 30 value is not a finite number");
  std::string inf = word.realGroup(30, 0.0);
  inf.replace(2, 8, "\0\0\0\0\0\0\xF0\xFF"s);
  EXPECT_EQ(refusal(head + inf), at + "group 30 value is not a finite number");
  EXPECT_EQ(refusal(head.substr(0, head.size() - 3)),
            "bad.dxf: byte " + std::to_string(head.size() - 10) + ": the file ends inside group 10 (truncated)");
  EXPECT_EQ(refusal(head + "\x14"s), at + "the file ends inside a group code (truncated)");
  EXPECT_EQ(refusal(head + word.group(0, "ENDSEC")),
            "bad.dxf: byte " + std::to_string(head.size() + 9) + ": the file ends without EOF (truncated)");
  std::string r12 = dxfBinary(line, DxfEncoding::kBinaryByteCodes);
  EXPECT_EQ(refusal(r12 + "\xFF\xE9"s),
            "bad.dxf: byte " + std::to_string(r12.size()) + ": the file ends inside a group code (truncated)");
  EXPECT_EQ(refusal(dxfBinary({{0, "SECTION"}, {2, "ENTITIES"}, {0, "EOF"}}, DxfEncoding::kBinaryWordCodes)),
            "bad.dxf: byte 43: section ENTITIES is not closed by ENDSEC before EOF");
  EXPECT_EQ(refusal(std::string(kDxfBinarySentinel.substr(0, 20))),
            "bad.dxf: byte 20: the file ends inside the binary DXF sentinel (truncated)");
  EXPECT_EQ(refusal("AutoCAD Binary DXF\n\n\x1a\0"s + word.group(0, "EOF")),
            "bad.dxf: byte 18: the binary DXF sentinel is damaged (CR LF SUB NUL should follow its name)");
}

// Text and binary files of the same groups give the same drawing: objects,
// their properties, every group's value and extended data.
void expectSameDrawing(const Drawing& text, const Drawing& binary) {
  ASSERT_EQ(text.records().count(), binary.records().count());
  EXPECT_EQ(text.file().version(), binary.file().version());
  for (size_t i = 0; i < text.records().count(); ++i) {
    const AcDbObjectRecord& a = *text.records().at(i);
    const AcDbObjectRecord& b = *binary.records().at(i);
    SCOPED_TRACE(std::string(text.typeName(a)) + " " + text.handleText(a));
    EXPECT_EQ(a.cls, b.cls);
    EXPECT_EQ(a.role, b.role);
    EXPECT_EQ(a.flags, b.flags);
    EXPECT_EQ(text.typeName(a), binary.typeName(b));
    EXPECT_EQ(text.handleText(a), binary.handleText(b));
    EXPECT_EQ(text.layerName(a), binary.layerName(b));
    EXPECT_EQ(text.colorIndex(a), binary.colorIndex(b));
    std::vector<DxfGroupView> ga = text.groups(a), gb = binary.groups(b);
    std::vector<DxfGroupView> sa = text.subEntityGroups(a), sb = binary.subEntityGroups(b);
    ga.insert(ga.end(), sa.begin(), sa.end());
    gb.insert(gb.end(), sb.begin(), sb.end());
    ASSERT_EQ(ga.size(), gb.size());
    for (size_t k = 0; k < ga.size(); ++k) {
      EXPECT_EQ(ga[k].code, gb[k].code);
      switch (dxfValueKind(ga[k].code)) {
      case DxfValueKind::kReal: EXPECT_EQ(ga[k].real(), gb[k].real()); break;
      case DxfValueKind::kInt: EXPECT_EQ(ga[k].integer(), gb[k].integer()); break;
      case DxfValueKind::kText: EXPECT_EQ(ga[k].text(), gb[k].text()); break;
      }
    }
    EXPECT_EQ(text.xdataApplications(a), binary.xdataApplications(b));
  }
}

TEST(BinaryDxf, BinaryAndTextTwinsReadTheSame) {
  struct Twin {
    Groups groups;
    DxfEncoding encoding;
  };
  for (const Twin& twin : {Twin{testing::r2000Drawing(), DxfEncoding::kBinaryWordCodes},
                           Twin{testing::r12Drawing(), DxfEncoding::kBinaryByteCodes}}) {
    std::string bytes = dxfBinary(twin.groups, twin.encoding);
    DrawingLoadResult text = Drawing::loadText(dxfText(twin.groups), "t.dxf");
    DrawingLoadResult binary = Drawing::loadText(bytes, "b.dxf");
    ASSERT_TRUE(text.drawing) << text.error;
    ASSERT_TRUE(binary.drawing) << binary.error;
    EXPECT_EQ(binary.drawing->file().encoding(), twin.encoding);
    expectSameDrawing(*text.drawing, *binary.drawing);
    EXPECT_EQ(binary.drawing->savedText(), bytes);
  }
}

// The polyface and polygon-mesh warnings point at the object's byte.
TEST(BinaryDxf, WarningsNameTheByte) {
  Groups g = {{0, "SECTION"}, {2, "ENTITIES"}, {0, "POLYLINE"}, {5, "A1"}, {8, "0"}, {70, "64"},
              {0, "VERTEX"}, {8, "0"}, {70, "192"},
              {0, "VERTEX"}, {8, "0"}, {70, "128"}, {71, "1"}, {72, "5"}, {73, "1"},
              {0, "SEQEND"}, {0, "ENDSEC"}, {0, "EOF"}};
  DrawingLoadResult r = Drawing::loadText(dxfBinary(g, DxfEncoding::kBinaryWordCodes), "mesh.dxf");
  ASSERT_TRUE(r.drawing) << r.error;
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_EQ(r.warnings[0],
            "mesh.dxf: byte 43: POLYLINE A1: polyface face 1 refers to vertex 5 but the mesh has 1 vertices");
}

} // namespace
} // namespace corvane
