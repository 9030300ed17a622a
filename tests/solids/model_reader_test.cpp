// Readers of the text and binary model forms on good, truncated and hostile
// input: every failure is a false with a reason, never a crash (run under
// AddressSanitizer).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "mesh_checks.h"
#include "sat_builder.h"
#include "solids/sab_reader.h"
#include "solids/sat_text_reader.h"
#include "solids/solid_tessellator.h"

namespace corvane::solids::test {
namespace {

std::string unitCubeText(bool old = false) {
  SatBuilder s;
  int v[8];
  for (int i = 0; i < 8; ++i) v[i] = s.addVertex({double(i & 1), double((i >> 1) & 1), double((i >> 2) & 1)});
  std::map<std::pair<int, int>, int> lines;
  auto face = [&](std::vector<int> vs, corvane::Vec3 n) {
    SatBuilder::FaceSpec f;
    f.surface = "plane-surface " + SatBuilder::vec(s.vertices[size_t(vs[0])]) + " " + SatBuilder::vec(n) + " 1 0 0";
    std::vector<std::pair<int, bool>> loop;
    for (size_t i = 0; i < vs.size(); ++i) {
      int a = vs[i], b = vs[(i + 1) % vs.size()];
      auto it = lines.find({b, a});
      if (it != lines.end()) {
        loop.push_back({it->second, true});
      } else {
        loop.push_back({lines[{a, b}] = s.addLine(a, b), false});
      }
    }
    f.loops = {loop};
    s.faces.push_back(f);
  };
  face({v[0], v[2], v[3], v[1]}, {0, 0, -1});
  face({v[4], v[5], v[7], v[6]}, {0, 0, 1});
  face({v[0], v[1], v[5], v[4]}, {0, -1, 0});
  face({v[1], v[3], v[7], v[5]}, {1, 0, 0});
  face({v[3], v[2], v[6], v[7]}, {0, 1, 0});
  face({v[2], v[0], v[4], v[6]}, {-1, 0, 0});
  return s.text(old);
}

bool run(const std::string& text, std::string& reason, SolidTessellation* out = nullptr) {
  SolidTessellation t;
  bool ok = tessellateSatText(text, 0.01, t, reason);
  if (out) *out = t;
  if (!ok) {
    EXPECT_TRUE(t.bodies.empty());
  }
  return ok;
}

TEST(SatTextReader, ReadsHeaderStringsIndicesAndUnknownRecords) {
  std::string text =
      "700 0 1 0\n@7 writer @5 x 1.0 @24 Mon Jan  1 00:00:00 2024\n25.4 1e-06 1e-10\n"
      "-0 name_attrib-gen-attrib $-1 -1 $-1 $-1 @13 has # inside #\n"
      "-1 body $-1 -1 $-1 $-1 $-1 $-1 T 1.5 F #\nEnd-of-ACIS-data\n";
  SatDocument doc;
  std::string reason;
  ASSERT_TRUE(readSatText(text, doc, reason)) << reason;
  EXPECT_EQ(doc.version, 700);
  EXPECT_DOUBLE_EQ(doc.unitsMm, 25.4);
  ASSERT_EQ(doc.records.size(), 2u);
  EXPECT_EQ(doc.records[0].values[4].text, "has # inside ");
  EXPECT_EQ(doc.records[1].kind, "body");
  EXPECT_EQ(doc.records[1].values[6].kind, SatKind::Word);
}

TEST(SatTextReader, EveryPrefixOfAGoodModelFailsCleanly) {
  for (bool old : {false, true}) {
    std::string text = unitCubeText(old);
    std::string reason;
    ASSERT_TRUE(run(text, reason)) << reason;
    for (size_t n = 0; n + 18 < text.size(); n += 3) {
      // A fresh copy, so AddressSanitizer sees reads past the prefix.
      std::string prefix = text.substr(0, n);
      reason.clear();
      // Only a prefix holding every record may read (its end marker
      // missing), and then it is the whole model: nothing to warn about.
      bool whole = n >= text.find("End-of-ACIS-data");
      SolidTessellation t;
      bool ok = run(prefix, reason, &t);
      if (ok) {
        EXPECT_TRUE(whole) << n;
        EXPECT_TRUE(t.warnings.empty()) << n << ": " << t.warnings.front();
      } else {
        EXPECT_FALSE(reason.empty()) << n;
      }
    }
  }
}

TEST(SatTextReader, HostileModelsGiveReasons) {
  std::string good = unitCubeText();
  struct Case {
    const char* what;
    std::string text;
  };
  auto replace = [&](const std::string& from, const std::string& to) {
    std::string t = good;
    size_t p = t.find(from);
    EXPECT_NE(p, std::string::npos) << from;
    return t.replace(p, from.size(), to);
  };
  Case cases[] = {
      {"absurd record count", replace("700 0 1 0", "700 999999999999 1 0")},
      {"unsupported version", replace("700 0 1 0", "7 0 1 0")},
      {"reference to a missing record", replace("body $-1 -1 $-1 $1", "body $-1 -1 $-1 $99999")},
      {"reference to the wrong kind", replace("body $-1 -1 $-1 $1", "body $-1 -1 $-1 $0")},
      {"negative reference", replace("body $-1 -1 $-1 $1", "body $-1 -1 $-1 $-7")},
      {"string longer than the text", replace("@7 unknown", "@7000 unknown")},
      {"record without terminator", replace(" #\nEnd-of-ACIS-data", "\nEnd-of-ACIS-data")},
      {"no body", replace("body $-1", "bodyx $-1")},
      {"not a number where coordinates belong", replace("point $-1 -1 $-1 0 0 0", "point $-1 -1 $-1 0 x 0")},
      {"coordinates out of range", replace("point $-1 -1 $-1 0 0 0", "point $-1 -1 $-1 0 1e999 0")},
  };
  for (const Case& c : cases) {
    std::string reason;
    EXPECT_FALSE(run(c.text, reason)) << c.what;
    EXPECT_FALSE(reason.empty()) << c.what;
    EXPECT_EQ(reason.find('\n'), std::string::npos) << c.what;
  }
  // Huge but finite coordinates are no reason to crash or to loop.
  std::string reason;
  std::string huge = replace("point $-1 -1 $-1 0 0 0", "point $-1 -1 $-1 0 0 1e300");
  run(huge, reason);
}

TEST(SatTextReader, UnknownRecordKindsAreSkipped) {
  std::string text = unitCubeText();
  // An extra record of an unknown kind at the end, referred to by nothing.
  size_t end = text.find("End-of-ACIS-data");
  text.insert(end, "fancy_new-attrib $-1 -1 $-1 $-1 { 1 2 3 } @3 abc #\n");
  std::string reason;
  SolidTessellation t;
  ASSERT_TRUE(run(text, reason, &t)) << reason;
  EXPECT_NEAR(meshVolume(t.bodies[0]), 1, 1e-12);
  // A face on a surface kind nobody knows: still a closed mesh, with a warning.
  text = unitCubeText();
  size_t p = text.find("plane-surface");
  text.replace(p, std::strlen("plane-surface"), "weird-surface");
  ASSERT_TRUE(run(text, reason, &t)) << reason;
  EXPECT_EQ(closednessFault(t.bodies[0]), "");
  EXPECT_FALSE(t.warnings.empty());
}

// A sphere of radius 0.5 at (4, 1, 0) in the binary form, as bytes.
std::vector<uint8_t> sphereSab() {
  std::vector<uint8_t> b;
  auto bytes = [&](const std::string& s) { b.insert(b.end(), s.begin(), s.end()); };
  auto i32 = [&](int32_t v) {
    for (int k = 0; k < 4; ++k) b.push_back(uint8_t(uint32_t(v) >> (8 * k)));
  };
  auto f64 = [&](double d) {
    uint64_t u;
    std::memcpy(&u, &d, 8);
    for (int k = 0; k < 8; ++k) b.push_back(uint8_t(u >> (8 * k)));
  };
  auto str = [&](uint8_t tag, const std::string& s) {
    b.push_back(tag);
    b.push_back(uint8_t(s.size()));
    bytes(s);
  };
  auto ptr = [&](int32_t v) { b.push_back(0x0c), i32(v); };
  auto lng = [&](int32_t v) { b.push_back(0x04), i32(v); };
  auto vec = [&](uint8_t tag, double x, double y, double z) { b.push_back(tag), f64(x), f64(y), f64(z); };
  auto dbl = [&](double d) { b.push_back(0x06), f64(d); };
  bytes("ACIS BinaryFile");
  i32(21800), i32(0), i32(1), i32(12);
  str(0x07, "test"), str(0x07, "ASM 218"), str(0x07, "today");
  dbl(1), dbl(1e-6), dbl(1e-10);
  str(0x0d, "asmheader"), ptr(-1), lng(-1), str(0x07, "218"), b.push_back(0x11);
  str(0x0d, "body"), ptr(-1), lng(-1), ptr(-1), ptr(2), ptr(-1), ptr(3), b.push_back(0x11);
  str(0x0d, "lump"), ptr(-1), lng(-1), ptr(-1), ptr(-1), ptr(4), ptr(1), b.push_back(0x11);
  str(0x0d, "transform"), ptr(-1), lng(-1), vec(0x14, 1, 0, 0), vec(0x14, 0, 1, 0), vec(0x14, 0, 0, 1),
      vec(0x14, 4, 1, 0), dbl(1), b.push_back(0x0b), b.push_back(0x0b), b.push_back(0x0b), b.push_back(0x11);
  str(0x0d, "shell"), ptr(-1), lng(-1), ptr(-1), ptr(-1), ptr(-1), ptr(5), ptr(-1), ptr(2), b.push_back(0x11);
  str(0x0d, "face"), ptr(-1), lng(-1), ptr(-1), ptr(-1), ptr(-1), ptr(4), ptr(-1), ptr(6), b.push_back(0x0b),
      b.push_back(0x0b), b.push_back(0x11);
  str(0x0e, "sphere"), str(0x0d, "surface"), ptr(-1), lng(-1), ptr(-1), vec(0x13, 0, 0, 0), dbl(0.5),
      vec(0x14, 1, 0, 0), vec(0x14, 0, 0, 1);
  for (int k = 0; k < 5; ++k) b.push_back(0x0b);
  b.push_back(0x11);
  str(0x0e, "End"), str(0x0e, "of"), str(0x0e, "ASM"), str(0x0d, "data");
  return b;
}

TEST(SabReader, ReadsTaggedRecordsAndEveryPrefixFailsCleanly) {
  std::vector<uint8_t> sab = sphereSab();
  SolidTessellation t;
  std::string reason;
  ASSERT_TRUE(tessellateSab(sab.data(), sab.size(), 0.001, t, reason)) << reason;
  ASSERT_EQ(t.bodies.size(), 1u);
  EXPECT_EQ(closednessFault(t.bodies[0]), "");
  Box3 box = meshBounds(t.bodies[0]);
  EXPECT_NEAR(box.lo.x, 3.5, 0.002);
  EXPECT_NEAR(box.hi.y, 1.5, 0.002);
  double v = meshVolume(t.bodies[0]), exact = 4.0 / 3 * 3.14159265358979 * 0.125;
  EXPECT_LT(v, exact);
  EXPECT_GT(v, exact * 0.99);
  for (size_t n = 0; n < sab.size(); ++n) {
    std::vector<uint8_t> prefix(sab.begin(), sab.begin() + long(n));
    EXPECT_FALSE(tessellateSab(prefix.data(), prefix.size(), 0.01, t, reason)) << n;
    EXPECT_FALSE(reason.empty());
  }
}

TEST(SabReader, RejectsUnknownTagsAndAbsurdLengths) {
  std::vector<uint8_t> sab = sphereSab();
  SolidTessellation t;
  std::string reason;
  std::vector<uint8_t> bad = sab;
  // The tag of the sphere record's name.
  const std::string name = "sphere";
  auto at = std::search(bad.begin(), bad.end(), name.begin(), name.end());
  ASSERT_NE(at, bad.end());
  *(at - 2) = 0x7f;
  EXPECT_FALSE(tessellateSab(bad.data(), bad.size(), 0.01, t, reason));
  // A string claiming more bytes than there are.
  bad = sab;
  size_t p = 15 + 16 + 1;  // length byte of the first header string
  bad[p] = 0xff;
  EXPECT_FALSE(tessellateSab(bad.data(), bad.size(), 0.01, t, reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_FALSE(looksLikeSab(reinterpret_cast<const uint8_t*>("ACIS Binary"), 11));
}

TEST(SolidModelData, BinaryWinsOverTextAndEmptyDataIsAReason) {
  corvane::SolidModelData data;
  SolidMesh m;
  std::string reason;
  EXPECT_FALSE(tessellateSolidModel(data, 0, m, reason));
  EXPECT_FALSE(reason.empty());
  data.binary = sphereSab();
  ASSERT_TRUE(tessellateSolidModel(data, 0, m, reason)) << reason;
  EXPECT_FALSE(m.faces.empty());
  data.textGroups = {"x"};
  data.textGroupCodes = {3, 1};
  data.binary.clear();
  EXPECT_FALSE(tessellateSolidModel(data, 0, m, reason));
  EXPECT_TRUE(m.faces.empty());
}

}  // namespace
}  // namespace corvane::solids::test
