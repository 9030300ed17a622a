// What the loader refuses (one line naming file and line, nothing loaded)
// and what it loads with a warning.
#include <gtest/gtest.h>

#include <memory>

#include "drawing/drawing.h"
#include "drawing/record_geometry.h"
#include "dxf/dxf_text_builder.h"

namespace corvane {
namespace {

using testing::dxfText;
using testing::Groups;

std::string refusal(const std::string& text) {
  DrawingLoadResult r = Drawing::loadText(text, "bad.dxf");
  EXPECT_FALSE(r.drawing) << "loaded what should be refused";
  EXPECT_EQ(r.error.find('\n'), std::string::npos) << "error is more than one line";
  return r.error;
}

std::string entities(const Groups& body) {
  Groups g = {{0, "SECTION"}, {2, "ENTITIES"}};
  g.insert(g.end(), body.begin(), body.end());
  g.push_back({0, "ENDSEC"});
  g.push_back({0, "EOF"});
  return dxfText(g);
}

TEST(DxfLoad, RefusesWhatIsNotDxf) {
  EXPECT_EQ(refusal(""), "bad.dxf:1: the file is empty");
  EXPECT_EQ(refusal("AC1015\0\0\0\0\0\0"), "bad.dxf:1: this is a DWG drawing, not a DXF file");
}

TEST(DxfLoad, RefusesTruncatedFiles) {
  std::string good = entities({{0, "LINE"}, {8, "0"}});
  std::string noEof = good.substr(0, good.rfind("  0\nEOF"));
  EXPECT_EQ(refusal(noEof), "bad.dxf:10: the file ends without EOF (truncated)");
  EXPECT_EQ(refusal("  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n  8\n"),
            "bad.dxf:7: group code 8 has no value (file truncated)");
  EXPECT_EQ(refusal("  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n  8\n0\n"),
            "bad.dxf:8: the file ends inside a section (no ENDSEC, no EOF)");
  EXPECT_EQ(refusal("  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n  0\nEOF\n"),
            "bad.dxf:7: section ENTITIES is not closed by ENDSEC before EOF");
}

// Files in a form the loader does not read are named for what they are,
// and a file cut inside a group is called truncated.
TEST(DxfLoad, RefusesOtherEncodingsAndCutsInWords) {
  auto utf16 = [](const std::string& ascii, bool bigEndian, bool mark) {
    std::string out = mark ? (bigEndian ? "\xFE\xFF" : "\xFF\xFE") : "";
    for (char c : ascii) out += bigEndian ? std::string{'\0', c} : std::string{c, '\0'};
    return out;
  };
  std::string text = entities({{0, "LINE"}, {8, "0"}});
  const std::string kUtf16 = "bad.dxf:1: the file is UTF-16 text; DXF text is read as ASCII or UTF-8 (save it in one of those)";
  for (bool bigEndian : {false, true})
    for (bool mark : {false, true}) EXPECT_EQ(refusal(utf16(text, bigEndian, mark)), kUtf16);
  std::string crOnly = text;
  for (char& c : crOnly)
    if (c == '\n') c = '\r';
  EXPECT_EQ(refusal(crOnly), "bad.dxf:1: the lines end with CR alone; DXF lines end with LF or CR LF");
  EXPECT_EQ(refusal("  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n  8\n0\n 10\r1.0\r 20\n2.0\n"),
            "bad.dxf:9: the lines end with CR alone; DXF lines end with LF or CR LF");
  // Cut inside a code line, and inside a number.
  EXPECT_EQ(refusal("  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n "),
            "bad.dxf:7: the file ends inside a group code (truncated)");
  EXPECT_EQ(refusal("  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n 10\n1.5e"),
            "bad.dxf:8: the file ends inside the value of group 10 (truncated)");
  EXPECT_EQ(refusal("  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n 10\n1.5e\n"),
            "bad.dxf:8: group 10 needs a number, found '1.5e'");
}

TEST(DxfLoad, RefusesBadCodesAndNumbers) {
  EXPECT_EQ(refusal("  0\nSECTION\n  2\nENTITIES\n  0\nLINE\nx8\n0\n"),
            "bad.dxf:7: group code 'x8' is not a number");
  EXPECT_EQ(refusal("  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n 8.5\n0\n"),
            "bad.dxf:7: group code ' 8.5' is not a number");
  EXPECT_EQ(refusal("  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n-1\n0\n"),
            "bad.dxf:7: group code -1 is outside 0..1071");
  EXPECT_EQ(refusal(entities({{0, "LINE"}, {10, "1,5"}})),
            "bad.dxf:8: group 10 needs a number, found '1,5'");
  EXPECT_EQ(refusal(entities({{0, "LINE"}, {62, "red"}})),
            "bad.dxf:8: group 62 needs an integer, found 'red'");
  EXPECT_EQ(refusal(entities({{0, "LINE"}, {1040, ""}})),
            "bad.dxf:8: group 1040 needs a number, found ''");
  EXPECT_EQ(refusal(entities({{0, "LINE"}, {1070, "1.5"}})),
            "bad.dxf:8: group 1070 needs an integer, found '1.5'");
  EXPECT_EQ(refusal(entities({{0, "LINE"}, {40, "nan"}})),
            "bad.dxf:8: group 40 needs a number, found 'nan'");
  EXPECT_EQ(refusal(entities({{0, "LINE"}, {40, "1e999"}})),
            "bad.dxf:8: group 40 value '1e999' is not a finite number");
  std::string huge = refusal(entities({{0, "LINE"}, {20, "-" + std::string(400, '9')}}));
  EXPECT_EQ(huge.substr(0, 27), "bad.dxf:8: group 20 value '");
  EXPECT_NE(huge.find("...' is not a finite number"), std::string::npos) << huge;
  // Control bytes in a bad value are shown escaped.
  EXPECT_EQ(refusal(entities({{0, "LINE"}, {90, std::string("1\x01", 2)}})),
            "bad.dxf:8: group 90 needs an integer, found '1\\x01'");
}

TEST(DxfLoad, RefusesBrokenStructure) {
  EXPECT_EQ(refusal("  0\nLINE\n  8\n0\n  0\nEOF\n"), "bad.dxf:1: expected SECTION or EOF, found 'LINE'");
  EXPECT_EQ(refusal("  0\nSECTION\n  8\nX\n  0\nEOF\n"), "bad.dxf:1: SECTION without a name (2 group)");
  EXPECT_EQ(refusal("  0\nSECTION\n  2\nTABLES\n  0\nLAYER\n  0\nENDSEC\n  0\nEOF\n"),
            "bad.dxf:5: expected TABLE or ENDSEC in the TABLES section, found 'LAYER'");
}

TEST(DxfLoad, AcceptsEitherLineEndAndCodeStyle) {
  Groups g = {{999, "comment"}, {0, "SECTION"}, {2, "ENTITIES"}, {0, "LINE"}, {8, "0"}, {0, "ENDSEC"}, {0, "EOF"}};
  for (bool pad : {true, false})
    for (const char* end : {"\n", "\r\n"}) {
      std::string text = dxfText(g, {pad, end});
      DrawingLoadResult r = Drawing::loadText(text, "ok.dxf");
      ASSERT_TRUE(r.drawing) << r.error;
      EXPECT_EQ(r.drawing->records().modelSpace().size(), 1u);
      EXPECT_EQ(r.drawing->savedText(), text);
    }
  // No line end after EOF, and bytes after EOF, are kept as they are.
  std::string text = "0\nSECTION\n2\nENTITIES\n0\nENDSEC\n0\nEOF";
  DrawingLoadResult r = Drawing::loadText(text, "ok.dxf");
  ASSERT_TRUE(r.drawing) << r.error;
  EXPECT_EQ(r.drawing->savedText(), text);
  r = Drawing::loadText(text + "\ntrailing junk\x01", "ok.dxf");
  ASSERT_TRUE(r.drawing) << r.error;
}

TEST(DxfLoad, WarnsAboutPolyfaceIndexOutsideItsVertices) {
  std::string text = entities({{0, "POLYLINE"}, {5, "A1"}, {8, "0"}, {70, "64"},
                               {0, "VERTEX"}, {8, "0"}, {70, "192"},
                               {0, "VERTEX"}, {8, "0"}, {70, "192"},
                               {0, "VERTEX"}, {8, "0"}, {70, "128"}, {71, "1"}, {72, "2"}, {73, "-9"},
                               {0, "SEQEND"}});
  DrawingLoadResult r = Drawing::loadText(text, "mesh.dxf");
  ASSERT_TRUE(r.drawing) << r.error;
  ASSERT_EQ(r.warnings.size(), 1u);
  EXPECT_EQ(r.warnings[0], "mesh.dxf:5: POLYLINE A1: polyface face 1 refers to vertex 9 but the mesh has 2 vertices");
  // Kept as read: the face record is still there.
  auto mesh = polyfaceGeometry(*r.drawing, *r.drawing->records().firstModelSpace());
  ASSERT_TRUE(mesh);
  ASSERT_EQ(mesh->faces.size(), 1u);
  EXPECT_EQ(mesh->faces[0].index[2], -9);
}

TEST(DxfLoad, WarnsAboutPolygonMeshWhoseVertexCountIsNotMByN) {
  Groups body = {{0, "POLYLINE"}, {8, "0"}, {70, "16"}, {71, "2"}, {72, "3"}};
  for (int i = 0; i < 5; ++i) body.insert(body.end(), {{0, "VERTEX"}, {8, "0"}, {70, "64"}});
  body.push_back({0, "SEQEND"});
  DrawingLoadResult r = Drawing::loadText(entities(body), "mesh.dxf");
  ASSERT_TRUE(r.drawing) << r.error;
  ASSERT_EQ(r.warnings.size(), 1u);
  // Without a handle in the file the message names the one given at load.
  std::string handle = r.drawing->handleText(*r.drawing->records().firstModelSpace());
  EXPECT_EQ(r.warnings[0], "mesh.dxf:5: POLYLINE " + handle + ": polygon mesh of 2 by 3 has 5 vertices, not 6");
}

// A handle that an earlier object has is given a new one in memory, so
// that every object can be reached; saving writes the file's handles.
TEST(DxfLoad, DuplicateHandlesAreRenumberedInMemoryOnly) {
  Groups body = {{0, "3DFACE"}, {5, "2A"}, {8, "0"}, {10, "1.0"},
                 {0, "LINE"}, {5, "2a"}, {8, "0"},
                 {0, "3DFACE"}, {5, "2A"}, {8, "0"}, {10, "3.0"},
                 {0, "CIRCLE"}, {5, "2B"}, {8, "0"}};
  Groups g = {{0, "SECTION"}, {2, "ENTITIES"}};
  g.insert(g.end(), body.begin(), body.end());
  g.insert(g.end(), {{0, "ENDSEC"}, {0, "EOF"}});
  for (bool binary : {false, true}) {
    std::string bytes = binary ? testing::dxfBinary(g, DxfEncoding::kBinaryWordCodes) : dxfText(g);
    DrawingLoadResult r = Drawing::loadText(bytes, "dup.dxf");
    ASSERT_TRUE(r.drawing) << r.error;
    Drawing& d = *r.drawing;
    ASSERT_EQ(r.warnings.size(), 1u);
    EXPECT_EQ(r.warnings[0], std::string(binary ? "dup.dxf: byte 71" : "dup.dxf:13") +
                                 ": handle 2A is used by 3 objects; the later ones are reached as 2C, 2D "
                                 "until the drawing is closed (the file keeps its handles)");
    ASSERT_TRUE(d.records().findByHandle("2A") && d.records().findByHandle("2C") && d.records().findByHandle("2D"));
    EXPECT_EQ(faceGeometry(d, *d.records().findByHandle("2A"))->corners[0].x, 1.0);
    EXPECT_EQ(d.typeName(*d.records().findByHandle("2C")), "LINE");
    EXPECT_EQ(faceGeometry(d, *d.records().findByHandle("2D"))->corners[0].x, 3.0);
    EXPECT_EQ(d.typeName(*d.records().findByHandle("2B")), "CIRCLE");
    EXPECT_EQ(d.savedText(), bytes);
    // Data written to a renumbered object is saved without a second handle.
    ASSERT_TRUE(d.registerApp("APP"));
    resbuf* chain = ads_buildlist(1001, "APP", 1000, "x", 0);
    ASSERT_EQ(d.setXData(*d.records().findByHandle("2D"), chain), Acad::eOk);
    ads_relrb(chain);
    DrawingLoadResult again = Drawing::loadText(d.savedText(), "dup.dxf");
    ASSERT_TRUE(again.drawing) << again.error;
    AcDbObjectRecord& face = *again.drawing->records().modelSpace().at(2);
    EXPECT_EQ(again.drawing->xdataApplications(face), std::vector<std::string>{"APP"});
    EXPECT_EQ(again.drawing->groups(face).size(), 6u); // 0, 5, 8, 10, 1001, 1000
  }
}

// Handles and names are read back from an object's text where that gives
// what the loader found, and kept aside where it doesn't.
TEST(DxfLoad, HandlesAndNamesReadBackAsLoaded) {
  const std::string longName(300, 'L');
  const std::string longText(70000, 't');
  Groups g = {{0, "SECTION"}, {2, "TABLES"},
              {0, "TABLE"}, {2, "DIMSTYLE"}, {5, "3"}, {70, "2"},
              {0, "DIMSTYLE"}, {105, "40"}, {2, "Standard"}, {70, "0"},
              {0, "STYLE"}, {5, "43"}, {105, "42"}, {2, "Odd"}, {70, "0"},
              {0, "ENDTAB"}, {0, "ENDSEC"},
              {0, "SECTION"}, {2, "ENTITIES"},
              {0, "3DFACE"}, {1000, "stray"}, {5, "30"}, {8, longName},
              {0, "LINE"}, {5, " "}, {5, "31"}, {1, longText}, {8, "Far"},
              {0, "CIRCLE"}, {8, "0"}, {1001, "ACAD"}, {1000, "x"}, {5, "32"},
              {0, "3DFACE"}, {8, "0"},
              {0, "LINE"}, {5, "2A"}, {8, "0"},
              {0, "LINE"}, {5, "2A"}, {8, "0"},
              {0, "3DFACE"}, {8, "0"},
              {0, "ENDSEC"}, {0, "EOF"}};
  for (bool binary : {false, true}) {
    SCOPED_TRACE(binary ? "binary" : "text");
    std::string bytes = binary ? testing::dxfBinary(g, DxfEncoding::kBinaryWordCodes) : dxfText(g);
    DrawingLoadResult r = Drawing::loadText(bytes, "h.dxf");
    ASSERT_TRUE(r.drawing) << r.error;
    Drawing& d = *r.drawing;
    // The handle group of a DIMSTYLE table's records is 105, whatever their type.
    ASSERT_TRUE(d.records().findByHandle("40") && d.records().findByHandle("42"));
    EXPECT_EQ(d.typeName(*d.records().findByHandle("40")), "DIMSTYLE");
    EXPECT_EQ(d.typeName(*d.records().findByHandle("42")), "STYLE");
    EXPECT_EQ(d.typeName(*d.records().findByHandle("43")), "CIRCLE"); // numbered on from 42

    std::vector<AcDbObjectRecord*> all = d.records().modelSpace();
    ASSERT_EQ(all.size(), 7u);
    std::vector<std::string> handles;
    for (AcDbObjectRecord* e : all) handles.push_back(d.handleText(*e));
    // A stray 1000 group is passed over, a blank handle is none, and a 5
    // after extended data is not the object's: those without one, then the
    // second 2A, are numbered on from the highest handle in the file.
    EXPECT_EQ(handles, (std::vector<std::string>{"30", "31", "43", "44", "2A", "46", "45"}));
    for (AcDbObjectRecord* e : all) EXPECT_EQ(d.records().findByHandle(d.handleText(*e)), e);
    EXPECT_EQ(d.layerName(*all[0]), longName);
    EXPECT_EQ(d.layerName(*all[1]), "Far");
    EXPECT_EQ(d.xdataApplications(*all[2]), std::vector<std::string>{"ACAD"});
    EXPECT_EQ(d.savedText(), bytes);
  }
}

// Every prefix of a good file, each in a buffer of its own, is either
// refused or loaded: never read past its end (AddressSanitizer watches).
TEST(DxfLoad, EveryPrefixOfAGoodFileIsSafe) {
  std::string good = dxfText(testing::r2000Drawing(), {true, "\r\n"});
  size_t loaded = 0;
  for (size_t n = 0; n < good.size(); n += (n < 400 ? 1 : 7)) {
    std::string prefix = good.substr(0, n);
    DrawingLoadResult r = Drawing::loadText(std::move(prefix), "p.dxf");
    if (r.drawing) {
      ++loaded;
      (void)r.drawing->savedText();
    } else {
      EXPECT_FALSE(r.error.empty());
    }
  }
  EXPECT_EQ(loaded, 0u) << "a prefix without EOF loaded";
}

TEST(DxfLoad, MissingFileIsOneLine) {
  DrawingLoadResult r = Drawing::load("/nonexistent/dir/x.dxf");
  EXPECT_FALSE(r.drawing);
  EXPECT_EQ(r.error, "/nonexistent/dir/x.dxf: cannot open: No such file or directory");
  r = Drawing::load("/tmp");
  EXPECT_EQ(r.error, "/tmp: not a regular file");
}

} // namespace
} // namespace corvane
