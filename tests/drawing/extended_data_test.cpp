// Extended data: reading, replacing one application's data, what is
// refused, and what saving writes (checked again by a fresh load and by an
// independent DXF reader when one is installed).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "acdb.h"
#include "drawing/drawing.h"
#include "dxf/dxf_cursor.h"
#include "dxf/dxf_text_builder.h"
#include "support/corpus.h"

namespace corvane {
namespace {

// A chain from (code, value) items, released with ads_relrb.
struct Chain {
  resbuf* head = nullptr;
  resbuf** tail = &head;
  ~Chain() { ads_relrb(head); }
  Chain& add(int code) {
    *tail = ads_newrb(code);
    resbuf* rb = *tail;
    tail = &rb->rbnext;
    return *this;
  }
  Chain& text(int code, const char* s) {
    add(code);
    last()->resval.rstring = acad__strdup(s);
    return *this;
  }
  Chain& real(int code, double v) {
    add(code);
    last()->resval.rreal = v;
    return *this;
  }
  Chain& shortInt(int code, short v) {
    add(code);
    last()->resval.rint = v;
    return *this;
  }
  Chain& point(int code, double x, double y, double z) {
    add(code);
    last()->resval.rpoint[0] = x;
    last()->resval.rpoint[1] = y;
    last()->resval.rpoint[2] = z;
    return *this;
  }
  resbuf* last() {
    resbuf* rb = head;
    while (rb->rbnext) rb = rb->rbnext;
    return rb;
  }
};

// "code:value" for each item of a chain.
std::vector<std::string> describe(const resbuf* rb) {
  std::vector<std::string> out;
  for (; rb; rb = rb->rbnext) {
    std::string v;
    int c = rb->restype;
    if (c >= 1000 && c <= 1009 && c != 1004) v = rb->resval.rstring;
    else if (c >= 1010 && c <= 1013)
      v = formatDxfReal(rb->resval.rpoint[0]) + "," + formatDxfReal(rb->resval.rpoint[1]) + "," +
          formatDxfReal(rb->resval.rpoint[2]);
    else if (c >= 1040 && c <= 1042) v = formatDxfReal(rb->resval.rreal);
    else if (c == 1070) v = std::to_string(rb->resval.rint);
    else if (c == 1071) v = std::to_string(rb->resval.rlong);
    out.push_back(std::to_string(c) + ":" + v);
  }
  return out;
}

std::vector<std::string> xdataOf(const Drawing& d, const char* handle, const char* app) {
  resbuf* rb = d.xData(*d.records().findByHandle(handle), app);
  std::vector<std::string> out = describe(rb);
  ads_relrb(rb);
  return out;
}

using Items = std::vector<std::string>;

std::unique_ptr<Drawing> load(const testing::Groups& g, testing::TextStyle style = {}) {
  DrawingLoadResult r = Drawing::loadText(testing::dxfText(g, style), "x.dxf");
  EXPECT_TRUE(r.drawing) << r.error;
  return std::move(r.drawing);
}

// The lines of A and B that differ, as "-old" / "+new", after a common
// prefix and suffix of lines are taken away.
std::vector<std::string> lineDiff(const std::string& a, const std::string& b) {
  auto split = [](const std::string& s) {
    std::vector<std::string> lines;
    size_t p = 0;
    while (p < s.size()) {
      size_t n = s.find('\n', p);
      if (n == std::string::npos) n = s.size();
      lines.push_back(s.substr(p, n - p));
      p = n + 1;
    }
    return lines;
  };
  std::vector<std::string> x = split(a), y = split(b);
  size_t pre = 0;
  while (pre < x.size() && pre < y.size() && x[pre] == y[pre]) ++pre;
  size_t suf = 0;
  while (suf < x.size() - pre && suf < y.size() - pre && x[x.size() - 1 - suf] == y[y.size() - 1 - suf]) ++suf;
  std::vector<std::string> out;
  for (size_t i = pre; i < x.size() - suf; ++i) out.push_back("-" + x[i]);
  for (size_t i = pre; i < y.size() - suf; ++i) out.push_back("+" + y[i]);
  return out;
}

const char* kVrml = "VRML_Application";

void writeMaterial(Drawing& d, AcDbObjectRecord& r) {
  Chain c;
  c.text(1001, kVrml).shortInt(1070, 1);
  for (double v : {0.3, 0.3, 0.3, 0.8, 0.8, 0.8, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.2, 0.0}) c.real(1040, v);
  ASSERT_EQ(d.setXData(r, c.head), Acad::eOk);
}

TEST(ExtendedData, ReadsTheFilesDataInOrder) {
  auto d = load(testing::r2000Drawing());
  EXPECT_EQ(xdataOf(*d, "40", "acad"), (Items{"1001:ACAD", "1000:keep me", "1070:7", "1040:0.3"}));
  EXPECT_EQ(xdataOf(*d, "40", nullptr), xdataOf(*d, "40", "ACAD"));
  EXPECT_TRUE(xdataOf(*d, "40", "OTHER").empty());
  EXPECT_TRUE(xdataOf(*d, "2F", nullptr).empty());
}

TEST(ExtendedData, WritingOneApplicationLeavesTheOthers) {
  auto d = load(testing::r2000Drawing());
  AcDbObjectRecord& circle = *d->records().findByHandle("40");
  ASSERT_TRUE(d->registerApp(kVrml));
  ASSERT_TRUE(d->registerApp("PE_URL"));
  writeMaterial(*d, circle);
  Chain url;
  url.text(1001, "PE_URL").text(1000, "http://example.com/a b");
  ASSERT_EQ(d->setXData(circle, url.head), Acad::eOk);
  EXPECT_EQ(d->xdataApplications(circle), (std::vector<std::string>{"ACAD", kVrml, "PE_URL"}));
  EXPECT_EQ(xdataOf(*d, "40", "ACAD"), (Items{"1001:ACAD", "1000:keep me", "1070:7", "1040:0.3"}));
  Items material = xdataOf(*d, "40", kVrml);
  ASSERT_EQ(material.size(), 16u);
  EXPECT_EQ(material[1], "1070:1");
  EXPECT_EQ(material[2], "1040:0.3");

  // Replacing ACAD keeps its place; a chain with only the name removes it.
  Chain acad;
  acad.text(1001, "ACAD").point(1010, 1, 2, 3.5);
  ASSERT_EQ(d->setXData(circle, acad.head), Acad::eOk);
  EXPECT_EQ(d->xdataApplications(circle), (std::vector<std::string>{"ACAD", kVrml, "PE_URL"}));
  EXPECT_EQ(xdataOf(*d, "40", "ACAD"), (Items{"1001:ACAD", "1010:1.0,2.0,3.5"}));
  Chain nameOnly;
  nameOnly.text(1001, "PE_URL");
  ASSERT_EQ(d->setXData(circle, nameOnly.head), Acad::eOk);
  EXPECT_TRUE(xdataOf(*d, "40", "PE_URL").empty());
  EXPECT_EQ(d->xdataApplications(circle), (std::vector<std::string>{"ACAD", kVrml}));
}

TEST(ExtendedData, RefusedChainsChangeNothing) {
  auto d = load(testing::r2000Drawing());
  AcDbObjectRecord& circle = *d->records().findByHandle("40");
  ASSERT_TRUE(d->registerApp(kVrml));
  std::string before = d->savedText();
  auto refused = [&](Chain& c) { EXPECT_EQ(d->setXData(circle, c.head), Acad::eInvalidInput); };
  { Chain c; c.text(1000, "no name first"); refused(c); }
  { Chain c; c.text(1001, "NOT_REGISTERED").text(1000, "x"); refused(c); }
  { Chain c; c.text(1001, kVrml).text(1000, "line\nbreak"); refused(c); }
  { Chain c; c.text(1001, kVrml).text(1000, std::string(256, 'x').c_str()); refused(c); }
  { Chain c; c.text(1001, kVrml).text(1002, "{"); refused(c); }
  { Chain c; c.text(1001, kVrml).text(1002, "}").text(1002, "{"); refused(c); }
  { Chain c; c.text(1001, kVrml).text(1002, "("); refused(c); }
  { Chain c; c.text(1001, kVrml).real(1040, NAN); refused(c); }
  { Chain c; c.text(1001, kVrml).real(1040, INFINITY); refused(c); }
  { Chain c; c.text(1001, kVrml).text(RTSTR, "not extended data"); refused(c); }
  { Chain c; c.text(1001, kVrml).text(1005, "not-hex"); refused(c); }
  { Chain c; c.text(1001, kVrml).real(1040, 1).text(1001, "vrml_application"); refused(c); }
  { Chain c; c.add(1071).last()->resval.rlong = 1L << 40; refused(c); }
  EXPECT_EQ(d->setXData(circle, nullptr), Acad::eInvalidInput);
  EXPECT_EQ(d->savedText(), before);
  EXPECT_FALSE(d->modified() && d->savedText() != before);

  // Through the interface, writing needs the object open for writing.
  AcDbObject* object = nullptr;
  ASSERT_EQ(acdbOpenAcDbObject(object, AcDbObjectId(&circle), AcDb::kForRead), Acad::eOk);
  Chain ok;
  ok.text(1001, kVrml).real(1040, 0.5);
  EXPECT_EQ(object->setXData(ok.head), Acad::eNotOpenForWrite);
  object->close();
  ASSERT_EQ(acdbOpenAcDbObject(object, AcDbObjectId(&circle), AcDb::kForWrite), Acad::eOk);
  EXPECT_EQ(object->setXData(ok.head), Acad::eOk);
  resbuf* rb = object->xData(kVrml);
  EXPECT_EQ(describe(rb), (Items{"1001:VRML_Application", "1040:0.5"}));
  ads_relrb(rb);
  object->close();
}

TEST(ExtendedData, UnchangedItemsKeepTheirText) {
  auto d = load(testing::r2000Drawing());
  AcDbObjectRecord& circle = *d->records().findByHandle("40");
  std::string original = d->savedText();
  Chain same;
  same.text(1001, "ACAD").text(1000, "keep me").shortInt(1070, 7).real(1040, 0.3);
  ASSERT_EQ(d->setXData(circle, same.head), Acad::eOk);
  EXPECT_EQ(d->savedText(), original); // "0.30000" stays as it was written
  Chain changed;
  changed.text(1001, "ACAD").text(1000, "keep me").shortInt(1070, 8).real(1040, 0.3);
  ASSERT_EQ(d->setXData(circle, changed.head), Acad::eOk);
  EXPECT_EQ(lineDiff(original, d->savedText()), (Items{"-     7", "+     8"}));
}

TEST(ExtendedData, OneChainMayNameSeveralApplications) {
  auto d = load(testing::r2000Drawing());
  AcDbObjectRecord& circle = *d->records().findByHandle("40");
  ASSERT_TRUE(d->registerApp("PE_URL"));
  Chain both;
  both.text(1001, "PE_URL").text(1000, "link").text(1001, "ACAD").text(1002, "{").shortInt(1070, 2)
      .text(1002, "}");
  ASSERT_EQ(d->setXData(circle, both.head), Acad::eOk);
  EXPECT_EQ(d->xdataApplications(circle), (std::vector<std::string>{"ACAD", "PE_URL"}));
  EXPECT_EQ(xdataOf(*d, "40", "ACAD"), (Items{"1001:ACAD", "1002:{", "1070:2", "1002:}"}));
  EXPECT_EQ(xdataOf(*d, "40", "pe_url"), (Items{"1001:PE_URL", "1000:link"}));
}

// Binary chunks come back as binary (clen and buf), and a chain holding
// one is released by ads_relrb without touching what it does not own.
TEST(ExtendedData, BinaryChunksReadBackAsBinary) {
  auto d = load({{0, "SECTION"}, {2, "ENTITIES"}, {0, "LINE"}, {8, "0"}, {1001, "ACAD"}, {1004, "0A0bFF"},
                 {0, "ENDSEC"}, {0, "EOF"}});
  resbuf* rb = d->xData(*d->records().firstModelSpace(), "ACAD");
  ASSERT_NE(rb, nullptr);
  ASSERT_NE(rb->rbnext, nullptr);
  EXPECT_EQ(rb->rbnext->restype, 1004);
  ASSERT_EQ(rb->rbnext->resval.rbinary.clen, 3);
  EXPECT_EQ(std::string(rb->rbnext->resval.rbinary.buf, 3), "\x0A\x0B\xFF");
  ads_relrb(rb);
}

// ---- saving ----------------------------------------------------------------------

struct TempDir {
  std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("corvane-xdata-" + std::to_string(::getpid()));
  TempDir() { std::filesystem::create_directories(path); }
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string file(const char* name) const { return (path / name).string(); }
};

// Runs the independent reader on FILE: the items of APP on the entity with
// HANDLE (or, with "T:TYPE", the first entity of that type), one per line.
// The system's python, where the distribution's DXF package lives.
std::string python() { return std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3"; }

std::string ezdxfItems(const std::string& file, const std::string& which, const std::string& app) {
  const char* script =
      "import sys, ezdxf\n"
      "doc = ezdxf.readfile(sys.argv[1])\n"
      "w = sys.argv[2]\n"
      "e = doc.modelspace().query(w[2:])[0] if w.startswith('T:') else doc.entitydb[w]\n"
      "def f(v):\n"
      "    if isinstance(v, float): return repr(v)\n"
      "    if isinstance(v, tuple) or hasattr(v, 'x'): return ','.join(repr(float(c)) for c in v)\n"
      "    return str(v)\n"
      "for t in e.get_xdata(sys.argv[3]): print('%d:%s' % (t[0], f(t[1])))\n"
      "print('apps:' + ' '.join(sorted(a.dxf.name for a in doc.appids)))\n";
  std::string command = python() + " -c \"$CORVANE_PY\" '" + file + "' '" + which + "' '" + app + "' 2>&1";
  ::setenv("CORVANE_PY", script, 1);
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return "popen failed";
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  ::pclose(p);
  return out;
}

bool haveEzdxf() {
  static int have = -1;
  if (have < 0) have = std::system((python() + " -c 'import ezdxf' >/dev/null 2>&1").c_str()) == 0;
  return have == 1;
}

const char* kMaterialLines =
    "1070:1\n1040:0.3\n1040:0.3\n1040:0.3\n1040:0.8\n1040:0.8\n1040:0.8\n1040:0.0\n1040:0.0\n"
    "1040:0.0\n1040:0.0\n1040:0.0\n1040:0.0\n1040:0.2\n1040:0.0\n";

TEST(ExtendedData, SurvivesSaveAndAFreshLoadR2000) {
  TempDir dir;
  auto d = load(testing::r2000Drawing());
  std::string original = d->savedText();
  ASSERT_TRUE(d->registerApp(kVrml));
  writeMaterial(*d, *d->records().findByHandle("2F"));
  std::string out = dir.file("r2000.dxf");
  ASSERT_TRUE(d->saveAs(out)) << "save failed";
  EXPECT_FALSE(d->modified());

  DrawingLoadResult again = Drawing::load(out);
  ASSERT_TRUE(again.drawing) << again.error;
  Drawing& e = *again.drawing;
  Items material = xdataOf(e, "2F", kVrml);
  ASSERT_EQ(material.size(), 16u);
  EXPECT_EQ(material[0], "1001:VRML_Application");
  EXPECT_EQ(material[14], "1040:0.2");
  EXPECT_TRUE(e.isAppRegistered(kVrml));
  EXPECT_EQ(xdataOf(e, "40", "ACAD"), (Items{"1001:ACAD", "1000:keep me", "1070:7", "1040:0.3"}));
  // Every other object's text is as it was; only the 3DFACE, the APPID
  // table and the handle seed changed.
  for (const char* h : {"30", "31", "32", "40", "41", "10", "11"})
    EXPECT_EQ(e.records().fullText(*e.records().findByHandle(h)), d->records().fullText(*d->records().findByHandle(h))) << h;
  std::string saved = testing::readBytes(out);
  std::vector<std::string> diff = lineDiff(original, saved);
  ASSERT_FALSE(diff.empty());
  EXPECT_EQ(diff.front(), "-100"); // $HANDSEED moved past the new APPID record's handle
  EXPECT_NE(saved.find(" 70\n     2\n  0\nAPPID\n  5\n13\n"), std::string::npos) << "APPID count not bumped";
  EXPECT_NE(saved.find("  0\nAPPID\n  5\n100\n330\n9\n100\nAcDbSymbolTableRecord\n100\n"
                       "AcDbRegAppTableRecord\n  2\nVRML_Application\n 70\n     0\n  0\nENDTAB\n"),
            std::string::npos);
  EXPECT_NE(saved.find("  9\n$HANDSEED\n  5\n101\n"), std::string::npos);
  EXPECT_NE(saved.find(" 33\n0.5\n 70\n     5\n1001\nVRML_Application\n1070\n     1\n1040\n0.3\n"),
            std::string::npos);

  if (!haveEzdxf()) GTEST_SKIP() << "python3-ezdxf not installed: independent check skipped";
  EXPECT_EQ(ezdxfItems(out, "2F", kVrml), std::string(kMaterialLines) + "apps:ACAD VRML_Application\n");
  EXPECT_EQ(ezdxfItems(out, "40", "ACAD"), "1000:keep me\n1070:7\n1040:0.3\napps:ACAD VRML_Application\n");
}

TEST(ExtendedData, R12FileGetsAHandleOnlyWhereDataWasWritten) {
  TempDir dir;
  auto d = load(testing::r12Drawing(), {true, "\r\n"});
  ASSERT_TRUE(d->registerApp(kVrml));
  AcDbObjectRecord& face = *d->records().firstModelSpace();
  writeMaterial(*d, face);
  std::string out = dir.file("r12.dxf");
  ASSERT_TRUE(d->saveAs(out));
  std::string saved = testing::readBytes(out);
  std::string handle = d->handleText(face);
  EXPECT_NE(saved.find("  0\r\n3DFACE\r\n  5\r\n" + handle + "\r\n  8\r\n0\r\n"), std::string::npos);
  EXPECT_EQ(saved.find("POLYLINE\r\n  5\r\n"), std::string::npos) << "an untouched entity got a handle";
  // R12 style APPID record: no handle, no subclass markers; count bumped.
  EXPECT_NE(saved.find("  2\r\nAPPID\r\n 70\r\n     2\r\n"), std::string::npos);
  EXPECT_NE(saved.find("  0\r\nAPPID\r\n  2\r\nVRML_Application\r\n 70\r\n     0\r\n  0\r\nENDTAB\r\n"),
            std::string::npos);
  EXPECT_EQ(saved.find("\n1001"), saved.find("\r\n1001") + 1) << "a new line end is not the file's";

  DrawingLoadResult again = Drawing::load(out);
  ASSERT_TRUE(again.drawing) << again.error;
  EXPECT_EQ(xdataOf(*again.drawing, handle.c_str(), kVrml).size(), 16u);
  if (!haveEzdxf()) GTEST_SKIP() << "python3-ezdxf not installed: independent check skipped";
  EXPECT_EQ(ezdxfItems(out, "T:3DFACE", kVrml), std::string(kMaterialLines) + "apps:ACAD VRML_Application\n");
}

// A binary drawing saves the same change group for group as its text twin
// does, in binary; a fresh load and the independent reader read it back.
TEST(ExtendedData, BinaryDrawingSavesTheChangeInBinary) {
  TempDir dir;
  struct Form {
    testing::Groups groups;
    DxfEncoding encoding;
    const char* name;
  };
  for (const Form& form : {Form{testing::r2000Drawing(), DxfEncoding::kBinaryWordCodes, "r2000.dxf"},
                           Form{testing::r12Drawing(), DxfEncoding::kBinaryByteCodes, "r12.dxf"}}) {
    SCOPED_TRACE(form.name);
    std::unique_ptr<Drawing> text = load(form.groups);
    DrawingLoadResult loaded = Drawing::loadText(testing::dxfBinary(form.groups, form.encoding), "b.dxf");
    ASSERT_TRUE(loaded.drawing) << loaded.error;
    Drawing& binary = *loaded.drawing;
    for (Drawing* d : {text.get(), &binary}) {
      ASSERT_TRUE(d->registerApp(kVrml));
      writeMaterial(*d, *d->records().firstModelSpace());
    }
    // The text save, read group by group and written in binary.
    testing::Groups expected;
    std::string textSaved = text->savedText();
    DxfGroupCursor cursor(textSaved, DxfEncoding::kText);
    for (DxfGroupView g; cursor.next(g);) expected.push_back({g.code, std::string(g.text())});
    std::string out = dir.file(form.name);
    ASSERT_TRUE(binary.saveAs(out));
    std::string saved = testing::readBytes(out);
    EXPECT_TRUE(saved == testing::dxfBinary(expected, form.encoding)) << "binary save differs from the text one";

    DrawingLoadResult again = Drawing::load(out);
    ASSERT_TRUE(again.drawing) << again.error;
    std::string handle = again.drawing->handleText(*again.drawing->records().firstModelSpace());
    EXPECT_EQ(xdataOf(*again.drawing, handle.c_str(), kVrml).size(), 16u);
    EXPECT_TRUE(again.drawing->isAppRegistered(kVrml));
    if (!haveEzdxf()) GTEST_SKIP() << "python3-ezdxf not installed: independent check skipped";
    EXPECT_EQ(ezdxfItems(out, "T:3DFACE", kVrml), std::string(kMaterialLines) + "apps:ACAD VRML_Application\n");
  }
}

// An APPID table that the next table closes, without ENDTAB, takes the new
// record at its end (not at the start of the file).
TEST(ExtendedData, AppIdTableWithoutEndTabTakesTheNewRecord) {
  auto d = load({{0, "SECTION"}, {2, "TABLES"}, {0, "TABLE"}, {2, "APPID"}, {70, "1"},
                 {0, "APPID"}, {2, "ACAD"}, {70, "0"},
                 {0, "TABLE"}, {2, "LAYER"}, {70, "0"}, {0, "ENDTAB"}, {0, "ENDSEC"}, {0, "EOF"}});
  ASSERT_TRUE(d->registerApp("NEW"));
  std::string saved = d->savedText();
  EXPECT_NE(saved.find("  2\nACAD\n 70\n0\n  0\nAPPID\n  2\nNEW\n 70\n0\n  0\nTABLE\n  2\nLAYER\n"),
            std::string::npos) << saved;
  DrawingLoadResult again = Drawing::loadText(saved, "again.dxf");
  ASSERT_TRUE(again.drawing) << again.error;
  EXPECT_TRUE(again.drawing->isAppRegistered("NEW"));
}

TEST(ExtendedData, EntitiesOnlyFileGetsAnAppIdTable) {
  TempDir dir;
  auto d = load({{0, "SECTION"}, {2, "ENTITIES"}, {0, "3DFACE"}, {8, "0"}, {10, "0"}, {20, "0"}, {30, "0"},
                 {11, "1"}, {21, "0"}, {31, "0"}, {12, "1"}, {22, "1"}, {32, "0"}, {13, "1"}, {23, "1"},
                 {33, "0"}, {0, "ENDSEC"}, {0, "EOF"}},
                {false, "\n"});
  ASSERT_TRUE(d->registerApp("PE_URL"));
  Chain url;
  url.text(1001, "PE_URL").text(1000, "http://example.com/");
  ASSERT_EQ(d->setXData(*d->records().firstModelSpace(), url.head), Acad::eOk);
  std::string out = dir.file("bare.dxf");
  ASSERT_TRUE(d->saveAs(out));
  std::string saved = testing::readBytes(out);
  const std::string table =
      "0\nSECTION\n2\nTABLES\n0\nTABLE\n2\nAPPID\n70\n1\n0\nAPPID\n2\nPE_URL\n70\n0\n0\nENDTAB\n0\nENDSEC\n";
  EXPECT_EQ(saved.substr(0, table.size()), table);
  DrawingLoadResult again = Drawing::load(out);
  ASSERT_TRUE(again.drawing) << again.error;
  EXPECT_TRUE(again.drawing->isAppRegistered("PE_URL"));
  if (!haveEzdxf()) GTEST_SKIP() << "python3-ezdxf not installed: independent check skipped";
  EXPECT_EQ(ezdxfItems(out, "T:3DFACE", "PE_URL"), "1000:http://example.com/\napps:ACAD PE_URL\n");
}

TEST(ExtendedData, CorpusDrawingWithDataOnA3dSolid) {
  auto files = testing::corpusFiles();
  auto it = std::find_if(files.begin(), files.end(),
                         [](const auto& f) { return f.filename() == "r2000_ezdxf_torus_3dsolid.dxf"; });
  if (it == files.end()) GTEST_SKIP() << "corpus drawing not found";
  TempDir dir;
  DrawingLoadResult r = Drawing::load(it->string());
  ASSERT_TRUE(r.drawing) << r.error;
  Drawing& d = *r.drawing;
  AcDbObjectRecord& solid = *d.records().firstModelSpace();
  std::vector<std::string> appsBefore = d.xdataApplications(solid);
  ASSERT_TRUE(d.registerApp(kVrml));
  writeMaterial(d, solid);
  std::string out = dir.file("torus.dxf");
  ASSERT_TRUE(d.saveAs(out));
  DrawingLoadResult again = Drawing::load(out);
  ASSERT_TRUE(again.drawing) << again.error;
  std::vector<std::string> appsAfter = appsBefore;
  appsAfter.push_back(kVrml);
  EXPECT_EQ(again.drawing->xdataApplications(*again.drawing->records().firstModelSpace()), appsAfter);
  if (!haveEzdxf()) GTEST_SKIP() << "python3-ezdxf not installed: independent check skipped";
  std::string items = ezdxfItems(out, d.handleText(solid), kVrml);
  EXPECT_EQ(items.substr(0, std::string(kMaterialLines).size()), kMaterialLines) << items;
}

TEST(ExtendedData, SaveReportsAFolderThatCannotBeWritten) {
  auto d = load(testing::r2000Drawing());
  HostResult r = d->saveAs("/nonexistent-dir/x.dxf");
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.error, "/nonexistent-dir/x.dxf: cannot create a file beside it: the folder /nonexistent-dir does not exist");
  EXPECT_EQ(d->file().path(), "x.dxf");
}

} // namespace
} // namespace corvane
