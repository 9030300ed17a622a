// Binary model data written as model text: every tag in its text form, and
// the models of the corpus, which must read back to the same document and
// tessellate to the faces their text twins give; AutoCAD's own texts must
// come out of a read and a write byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "drawing/drawing.h"
#include "drawing/record_geometry.h"
#include "solids/dxf_model_text.h"
#include "solids/sab_reader.h"
#include "solids/sat_text_reader.h"
#include "solids/sat_text_writer.h"
#include "solids/solid_tessellator.h"
#include "support/corpus.h"

namespace corvane::solids::test {
namespace {

namespace fs = std::filesystem;

// Binary model data, tag by tag.
class SabBytes {
public:
  SabBytes& raw(const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  SabBytes& le(uint64_t v, int n) {
    for (int k = 0; k < n; ++k) b.push_back(uint8_t(v >> (8 * k)));
    return *this;
  }
  SabBytes& tag(uint8_t t) { return b.push_back(t), *this; }
  SabBytes& f64(double d) {
    uint64_t u;
    std::memcpy(&u, &d, 8);
    return le(u, 8);
  }
  SabBytes& str(uint8_t t, const std::string& s, int lengthBytes = 1) { return tag(t).le(s.size(), lengthBytes).raw(s); }
  SabBytes& ident(const std::string& s) { return str(0x0d, s); }
  SabBytes& part(const std::string& s) { return str(0x0e, s); }
  SabBytes& ptr(int32_t v) { return tag(0x0c).le(uint32_t(v), 4); }
  SabBytes& lng(int32_t v) { return tag(0x04).le(uint32_t(v), 4); }
  SabBytes& enm(int32_t v) { return tag(0x15).le(uint32_t(v), 4); }
  SabBytes& dbl(double d) { return tag(0x06).f64(d); }
  SabBytes& vec(uint8_t t, double x, double y, double z) { return tag(t).f64(x).f64(y).f64(z); }
  SabBytes& yes() { return tag(0x0a); }
  SabBytes& no() { return tag(0x0b); }
  SabBytes& end() { return tag(0x11); }
  std::vector<uint8_t> b;
};

std::string toText(const std::vector<uint8_t>& sab, SatTextStyle style) {
  std::string text, reason;
  EXPECT_TRUE(sabToSatText(sab.data(), sab.size(), style, text, reason)) << reason;
  return text;
}

TEST(SatTextWriter, WritesEveryBinaryValueInItsTextForm) {
  SabBytes s;
  s.raw("ACIS BinaryFile").le(21200, 4).le(0, 4).le(2, 4).le(26, 4);
  s.str(0x07, "Autodesk AutoCAD").str(0x07, "ASM 1.0").str(0x07, "Mon Jun 18 11:09:59 2018");
  s.dbl(25.4).dbl(1e-6).dbl(1e-10);
  s.ident("body").ptr(-1).lng(-1).ptr(-1).ptr(1).ptr(-1).ptr(-1).end();
  // A face: sense, sides, containment.
  s.ident("face").ptr(-1).lng(-1).ptr(2).no().yes().yes().end();
  // A spline surface: its sense, a block whose B-spline head has closures
  // (words) and singularities (numbers), then its four interval ends.
  s.part("spline").ident("surface").ptr(-1).lng(-1).ptr(-1).yes().tag(0x0f).ident("exactsur").ident("nubs")
      .lng(3).lng(3).enm(0).enm(2).enm(2).enm(2).lng(2).lng(2).tag(0x10).no().no().yes().dbl(2.5).no().end();
  s.part("straight").ident("curve").ptr(-1).lng(-1).ptr(-1).vec(0x13, 1, -2, 0.1).vec(0x14, 0, 0, 1).no().yes()
      .dbl(-0.0).end();
  // Every other tag, in a record nobody names the logicals of.
  s.part("my").ident("attrib").tag(0x02).le(uint8_t(-5), 1).tag(0x03).le(300, 2).tag(0x05).le(0x3F000000, 4)
      .str(0x07, "a b").str(0x08, "two", 2).str(0x09, "four", 4).str(0x12, "fourb", 4).tag(0x16).f64(0.25).f64(0.75)
      .yes().no().enm(7).part("sub").ident("word").end();
  s.part("End").part("of").part("ASM").ident("data");

  const std::string records =
      "body $-1 -1 $-1 $1 $-1 $-1 #\n"
      "face $-1 -1 $2 forward double in #\n"
      "spline-surface $-1 -1 $-1 reversed { exactsur nubs 3 3 open periodic 2 2 2 2 } I I F 2.5 I #\n"
      "straight-curve $-1 -1 $-1 1 -2 0.1000000000000000056 0 0 1 I F -0 #\n"
      "my-attrib -5 300 0.5 @3 a b @3 two @4 four @5 fourb 0.25 0.75 T F 7 sub-word #\n";
  EXPECT_EQ(toText(s.b, SatTextStyle::kFile),
            "21200 5 2 26\n"
            "16 Autodesk AutoCAD 7 ASM 1.0 24 Mon Jun 18 11:09:59 2018\n"
            "25.39999999999999858 9.999999999999999547e-07 1.000000000000000036e-10\n" +
                records + "End-of-ASM-data\n");
  // As a DXF stores it: no save date, no end marker.
  EXPECT_EQ(toText(s.b, SatTextStyle::kDxf),
            "21200 5 2 26\n"
            "16 Autodesk AutoCAD 7 ASM 1.0 0\n"
            "25.39999999999999858 9.999999999999999547e-07 1.000000000000000036e-10\n" +
                records);
}

// A scan keeps the header and the end but not the records: it shows each
// as read, the same records a read keeps, and stops where the look says.
TEST(SatTextWriter, AScanSeesTheRecordsAReadKeeps) {
  SabBytes s;
  s.raw("ASM BinaryFile4").le(21800, 4).le(0, 4).le(1, 4).le(0, 4);
  s.str(0x07, "product").str(0x07, "ASM 1.0").str(0x07, "a date").dbl(1).dbl(1e-6).dbl(1e-10);
  s.ident("body").ptr(-1).lng(-1).ptr(1).end();
  s.part("two").ident("part").str(0x07, "a\tname").part("key").ident("word").end();
  s.ident("face").ptr(-1).yes().end();
  s.part("End").part("of").part("ASM").ident("data");
  SatDocument read, scanned;
  std::string reason;
  ASSERT_TRUE(readSab(s.b.data(), s.b.size(), read, reason)) << reason;
  std::vector<SatRecord> seen;
  const SabRecordVisit keep = [&seen](const SatRecord& r, std::string&) {
    seen.push_back(r);
    return true;
  };
  ASSERT_TRUE(scanSab(s.b.data(), s.b.size(), scanned, keep, reason)) << reason;
  EXPECT_TRUE(scanned.records.empty());
  EXPECT_EQ(scanned.endAt, read.endAt);
  EXPECT_EQ(scanned.endMarker, "End-of-ASM-data");
  EXPECT_EQ(scanned.headerStrings, read.headerStrings);
  ASSERT_EQ(seen.size(), read.records.size());
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].at, read.records[i].at);
    EXPECT_EQ(seen[i].kind, read.records[i].kind);
    ASSERT_EQ(seen[i].values.size(), read.records[i].values.size()) << seen[i].kind;
    for (size_t k = 0; k < seen[i].values.size(); ++k) EXPECT_EQ(seen[i].values[k].text, read.records[i].values[k].text);
  }
  // The check in its parts says what the whole says: the string with a tab.
  std::string whole, parts;
  EXPECT_FALSE(hasSatTextForm(read, SatTextStyle::kDxf, whole));
  EXPECT_TRUE(satHeaderHasTextForm(scanned, SatTextStyle::kDxf, parts));
  EXPECT_FALSE(satRecordHasTextForm(seen[1], parts));
  EXPECT_EQ(parts, whole);
  // A look that says no stops the scan with its reason.
  size_t looked = 0;
  const SabRecordVisit stop = [&looked](const SatRecord&, std::string& why) {
    why = "stopped";
    return ++looked < 2;
  };
  EXPECT_FALSE(scanSab(s.b.data(), s.b.size(), scanned, stop, reason));
  EXPECT_EQ(reason, "stopped");
  EXPECT_EQ(looked, 2u);
}

TEST(SatTextWriter, OldVersionsAndBareDocumentsGetTheirOwnForms) {
  // Before version 7 strings carry no '@'; before version 2 there are no
  // product and units lines; a document without them gets the modeller's
  // tolerances.
  SatDocument doc;
  doc.version = 400;
  doc.declaredBodies = 1;
  doc.unitsMm = 1;
  doc.records.push_back({0, "edge", {}});
  SatValue s;
  s.kind = SatKind::String;
  s.text = "unknown";
  doc.records[0].values.push_back(s);
  std::string text, reason;
  ASSERT_TRUE(writeSatText(doc, SatTextStyle::kFile, text, reason)) << reason;
  EXPECT_EQ(text, "400 1 1 0\n0 0 0\n1 9.999999999999999547e-07 1.000000000000000036e-10\nedge 7 unknown #\n"
                  "End-of-ACIS-data\n");
  doc.version = 106;
  ASSERT_TRUE(writeSatText(doc, SatTextStyle::kDxf, text, reason)) << reason;
  EXPECT_EQ(text, "106 1 1 0\nedge 7 unknown #\n");
}

// hasSatTextForm refuses what the writer refuses, with its reason, and
// passes what it writes: a DWG export keeps models binary on its word.
void expectTheWritersVerdict(const SatDocument& doc, SatTextStyle style, const std::string& what) {
  std::string text, written, checked;
  const bool writes = writeSatText(doc, style, text, written);
  EXPECT_EQ(hasSatTextForm(doc, style, checked), writes) << what;
  if (!writes) {
    EXPECT_EQ(checked, written) << what;
  }
}

TEST(SatTextWriter, RefusesValuesWithoutATextForm) {
  auto refusal = [](SatKind kind, const std::string& value) {
    SatDocument doc;
    doc.version = 21800;
    doc.records.push_back({0, "attrib", {}});
    SatValue v;
    v.kind = kind;
    v.text = value;
    doc.records[0].values.push_back(v);
    std::string text, reason;
    EXPECT_FALSE(writeSatText(doc, SatTextStyle::kFile, text, reason)) << value;
    expectTheWritersVerdict(doc, SatTextStyle::kFile, value);
    return reason;
  };
  EXPECT_EQ(refusal(SatKind::String, "two\nlines"), "solid model string holds a control character");
  EXPECT_EQ(refusal(SatKind::Word, "two words"), "solid model keyword \"two words\" has no text form");
  EXPECT_EQ(refusal(SatKind::Word, ""), "solid model keyword \"\" has no text form");
  // Record kinds and header strings; DXF's style leaves the save date out,
  // so a date no text can hold refuses a file only.
  SatDocument doc;
  doc.version = 21800;
  doc.headerStrings = {"product", "modeller", "a\tdate"};
  doc.records.push_back({0, "body", {}});
  SatValue fine;
  fine.kind = SatKind::String;
  fine.text = "a name";
  doc.records[0].values.push_back(fine);
  expectTheWritersVerdict(doc, SatTextStyle::kFile, "date");
  expectTheWritersVerdict(doc, SatTextStyle::kDxf, "date in DXF");
  std::string reason;
  EXPECT_TRUE(hasSatTextForm(doc, SatTextStyle::kDxf, reason));
  EXPECT_FALSE(hasSatTextForm(doc, SatTextStyle::kFile, reason));
  doc.headerStrings = {"pro\nduct", "modeller"};
  expectTheWritersVerdict(doc, SatTextStyle::kDxf, "product");
  doc.headerStrings = {"product", "modeller"};
  doc.records[0].kind = "two kinds";
  expectTheWritersVerdict(doc, SatTextStyle::kDxf, "kind");
  EXPECT_FALSE(hasSatTextForm(doc, SatTextStyle::kDxf, reason));
  EXPECT_EQ(reason, "solid model record kind \"two kinds\" has no text form");
  std::string text;
  EXPECT_FALSE(sabToSatText(reinterpret_cast<const uint8_t*>("ACIS BinaryFile"), 15, SatTextStyle::kFile, text,
                            reason));
  EXPECT_EQ(reason, "binary solid model header is truncated");
}

// The models of a corpus drawing by entity handle: binary bytes or decoded
// text. Empty when the drawing is absent.
struct Model {
  std::vector<uint8_t> binary;
  std::string text;
};
std::map<std::string, Model> modelsOf(const fs::path& path) {
  std::map<std::string, Model> models;
  if (!fs::exists(path)) return models;
  DrawingLoadResult loaded = Drawing::load(path.string());
  EXPECT_TRUE(loaded.drawing) << loaded.error;
  if (!loaded.drawing) return models;
  const Drawing& drawing = *loaded.drawing;
  for (size_t i = 0; i < drawing.records().count(); ++i) {
    const AcDbObjectRecord* record = drawing.records().at(i);
    std::string type(drawing.typeName(*record));
    if (type != "3DSOLID" && type != "REGION" && type != "BODY") continue;
    std::optional<SolidModelData> data = solidModelData(drawing, *record);
    if (!data) continue;
    Model& m = models[data->handle];
    m.binary = data->binary;
    std::string reason;
    if (m.binary.empty()) {
      EXPECT_TRUE(decodeModelText(*data, m.text, reason)) << reason;
    }
  }
  return models;
}

// Two documents hold the same model: the same records, values equal, a
// binary position or vector equal to three numbers of text, a binary
// logical a word of its field, an enumeration a word or its number.
void expectSameDocument(const SatDocument& binary, const SatDocument& text, const std::string& what) {
  EXPECT_EQ(binary.version, text.version) << what;
  EXPECT_EQ(binary.flags, text.flags) << what;
  EXPECT_EQ(binary.declaredBodies, text.declaredBodies) << what;
  EXPECT_EQ(binary.headerNumbers, text.headerNumbers) << what;
  ASSERT_EQ(binary.records.size(), text.records.size()) << what;
  for (size_t r = 0; r < binary.records.size(); ++r) {
    const SatRecord& a = binary.records[r];
    const SatRecord& b = text.records[r];
    SCOPED_TRACE(what + " record " + std::to_string(r) + " " + a.kind);
    ASSERT_EQ(a.kind, b.kind);
    size_t j = 0;
    for (const SatValue& v : a.values) {
      ASSERT_LT(j, b.values.size());
      const SatValue& w = b.values[j];
      switch (v.kind) {
        case SatKind::Vector:
          ASSERT_LE(j + 3, b.values.size());
          EXPECT_EQ(b.values[j].number, v.vec.x);
          EXPECT_EQ(b.values[j + 1].number, v.vec.y);
          EXPECT_EQ(b.values[j + 2].number, v.vec.z);
          j += 3;
          continue;
        case SatKind::True:
        case SatKind::False:
          EXPECT_EQ(w.kind, SatKind::Word);
          break;
        case SatKind::Double:
          EXPECT_EQ(w.number, v.number);
          break;
        case SatKind::Integer:
          if (v.enumerated) {
            EXPECT_TRUE(w.kind == SatKind::Word || w.integer == v.integer);
          } else {
            EXPECT_EQ(w.integer, v.integer);
          }
          break;
        default:
          EXPECT_EQ(w.kind, v.kind);
          EXPECT_EQ(w.integer, v.integer);
          EXPECT_EQ(w.text, v.text);
      }
      ++j;
    }
    EXPECT_EQ(j, b.values.size());
  }
}

// Both models tessellate to the same faces: bodies, faces and points equal
// within a millionth of the body's size.
void expectSameFaces(const std::string& ours, const std::string& twin, const std::string& what) {
  SolidTessellation a, b;
  std::string reason;
  ASSERT_TRUE(tessellateSatText(ours, 0, a, reason)) << what << ": " << reason;
  ASSERT_TRUE(tessellateSatText(twin, 0, b, reason)) << what << ": " << reason;
  ASSERT_EQ(a.bodies.size(), b.bodies.size()) << what;
  for (size_t i = 0; i < a.bodies.size(); ++i) {
    const SolidMesh& p = a.bodies[i];
    const SolidMesh& q = b.bodies[i];
    EXPECT_EQ(p.faces, q.faces) << what;
    ASSERT_EQ(p.points.size(), q.points.size()) << what;
    double size = 0;
    for (const Vec3& v : q.points) size = std::max({size, std::abs(v.x), std::abs(v.y), std::abs(v.z)});
    for (size_t k = 0; k < p.points.size(); ++k) {
      EXPECT_NEAR(p.points[k].x, q.points[k].x, 1e-6 * size) << what;
      EXPECT_NEAR(p.points[k].y, q.points[k].y, 1e-6 * size) << what;
      EXPECT_NEAR(p.points[k].z, q.points[k].z, 1e-6 * size) << what;
    }
  }
}

// Lines of A that B has at the same place.
size_t sameLines(const std::string& a, const std::string& b) {
  size_t same = 0, i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    size_t ei = a.find('\n', i), ej = b.find('\n', j);
    if (a.compare(i, ei - i, b, j, ej - j) == 0) ++same;
    i = ei + 1;
    j = ej + 1;
  }
  return same;
}

TEST(SatTextWriter, CorpusBinaryModelsReadBackAndTessellateAsTheirTextTwins) {
  // The same drawings saved with binary models (R2013 and later) and with
  // model text of an earlier version (R2007, R2010): the models keep their
  // entity handles.
  struct Pair {
    fs::path binary, text;
  };
  const fs::path dwg = corvane::testing::corpusDir().parent_path() / "dwg";
  const Pair pairs[] = {
      {dwg / "r2013_libredwg_example.dxf", dwg / "r2010_libredwg_example.dxf"},
      {dwg / "r2018_libredwg_example.dxf", dwg / "r2010_libredwg_example.dxf"},
      {corvane::testing::corpusDir() / "r2013_acadsharp_sample_sab.dxf",
       corvane::testing::corpusDir() / "r2007_acadsharp_sample.dxf"},
      {corvane::testing::binaryCorpusDir() / "r2018bin_acadsharp_sample_sab.dxf",
       corvane::testing::corpusDir() / "r2007_acadsharp_sample.dxf"},
  };
  size_t compared = 0;
  for (const Pair& pair : pairs) {
    std::map<std::string, Model> binary = modelsOf(pair.binary), text = modelsOf(pair.text);
    for (const auto& [handle, m] : binary) {
      const std::string what = pair.binary.filename().string() + " " + handle;
      ASSERT_FALSE(m.binary.empty()) << what;
      std::string ours, reason;
      ASSERT_TRUE(sabToSatText(m.binary.data(), m.binary.size(), SatTextStyle::kDxf, ours, reason)) << reason;
      SatDocument fromBinary, fromText;
      ASSERT_TRUE(readSab(m.binary.data(), m.binary.size(), fromBinary, reason)) << reason;
      ASSERT_TRUE(readSatText(ours, fromText, reason)) << what << ": " << reason;
      expectSameDocument(fromBinary, fromText, what);
      auto twin = text.find(handle);
      ASSERT_NE(twin, text.end()) << what;
      expectSameFaces(ours, twin->second.text, what);
      std::cout << "  " << what << ": " << sameLines(ours, twin->second.text) << " of "
                << std::count(twin->second.text.begin(), twin->second.text.end(), '\n')
                << " lines as in the text twin " << pair.text.filename().string() << "\n";
      ++compared;
    }
  }
  if (compared == 0) GTEST_SKIP() << "the shared corpus is not beside the project";
  EXPECT_EQ(compared, 12u);
}

TEST(SatTextWriter, AutoCadModelTextReadAndWrittenIsTheSameBytes) {
  // Numbers with 19 digits, "@n" strings, words, the product line with an
  // empty date and no end marker: what the CAD program wrote into these
  // DXFs comes out of a read and a write unchanged.
  const fs::path dwg = corvane::testing::corpusDir().parent_path() / "dwg";
  size_t models = 0;
  for (const char* name : {"r2007_libredwg_example.dxf", "r2010_libredwg_example.dxf", "r2004_libredwg_example.dxf"}) {
    for (const auto& [handle, m] : modelsOf(dwg / name)) {
      SatDocument doc;
      std::string reason, again;
      ASSERT_TRUE(readSatText(m.text, doc, reason)) << reason;
      ASSERT_TRUE(writeSatText(doc, SatTextStyle::kDxf, again, reason)) << reason;
      EXPECT_EQ(again, m.text) << name << " " << handle;
      ++models;
    }
  }
  if (models == 0) GTEST_SKIP() << "the shared corpus is not beside the project";
  EXPECT_EQ(models, 9u);
}

} // namespace
} // namespace corvane::solids::test
