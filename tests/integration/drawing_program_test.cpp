// Drawings through the corvane program: every corpus drawing loads and
// saves back unchanged, unreadable files are refused with one line, odd but
// readable ones load with a warning, and the host's drawing commands.
#include <gtest/gtest.h>

#include "support/corpus.h"
#include "test_drawing.h"

namespace corvane::testing {
namespace {

TEST(DrawingProgram, EveryCorpusDrawingSavesBackByteIdentical) {
  std::vector<std::filesystem::path> files = corpusFiles();
  if (files.empty()) GTEST_SKIP() << "the shared corpus is not beside the project";
  std::string dir = makeTempDir();
  for (const auto& file : files) {
    std::string saved = dir + "/" + file.filename().string();
    ProcessResult r = runProcess({corvanePath(), "run", file.string(), "-"}, "SAVEAS\n" + saved + "\n");
    ASSERT_EQ(r.status, 0) << file << r.err;
    EXPECT_EQ(r.err, "") << file;
    EXPECT_TRUE(readBytes(saved) == readBytes(file)) << file.filename() << " changed on save";
  }
}

TEST(DrawingProgram, UnreadableFilesAreRefusedWithOneLine) {
  std::string dir = makeTempDir();
  struct Case {
    const char* name;
    std::string bytes;
    const char* why;
  };
  const std::vector<Case> cases = {
      {"empty.dxf", "", "empty"},
      {"binary.dxf", std::string("AutoCAD Binary DXF\r\n\x1a\0", 22), "byte 22: the file ends"},
      // DWGs are read now: a cut one is refused where it stops, an R12 one
      // by name.
      {"drawing.dwg", "AC1015\0\0\0\0\0\0", "file header at byte"},
      {"r12.dwg", "AC1009\0\0\0\0\0\0", "AC1009 (R11/R12)"},
      {"utf16.dxf", std::string("\xFF\xFE \0 \0" "0\0\n\0", 10), "UTF-16"},
      {"cr.dxf", "  0\rSECTION\r  2\rENTITIES\r", "CR alone"},
      {"cutcode.dxf", group(0, "SECTION") + group(2, "ENTITIES") + " ", "inside a group code (truncated)"},
      {"truncated.dxf", group(0, "SECTION") + group(2, "ENTITIES") + group(0, "LINE") + " 10\n", ""},
      {"badcode.dxf", group(0, "SECTION") + "xyz\nENTITIES\n", ""},
      {"badnumber.dxf", group(0, "SECTION") + group(2, "ENTITIES") + group(0, "LINE") + group(10, "one"), ""},
      {"nan.dxf", group(0, "SECTION") + group(2, "ENTITIES") + group(0, "LINE") + group(10, "nan"), ""},
  };
  for (const Case& c : cases) {
    writeFile(dir + "/" + c.name, c.bytes);
    ProcessResult r = runProcess({corvanePath(), "run", dir + "/" + c.name, "-"}, "");
    EXPECT_EQ(r.status, 2) << c.name;
    EXPECT_EQ(occurrences(r.err, "\n"), 1u) << c.name << ": " << r.err;
    EXPECT_NE(r.err.find(c.name), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "") << c.name << ": the module is not even loaded";
    if (*c.why) {
      EXPECT_NE(r.err.find(c.why), std::string::npos) << r.err;
    }
  }
}

TEST(DrawingProgram, InconsistentMeshesLoadWithAWarningNamingTheHandle) {
  std::string badFace = group(0, "POLYLINE") + group(5, "3A") + group(8, "0") + group(66, "1") +
                        group(70, "64") + group(71, "3") + group(72, "1");
  for (int i = 0; i < 3; ++i)
    badFace += group(0, "VERTEX") + group(8, "0") + group(10, std::to_string(i)) + group(20, "0") +
               group(30, "0") + group(70, "192");
  badFace += group(0, "VERTEX") + group(8, "0") + group(10, "0") + group(20, "0") + group(30, "0") +
             group(70, "128") + group(71, "1") + group(72, "2") + group(73, "9") + group(0, "SEQEND");
  std::string badMesh = group(0, "POLYLINE") + group(5, "3B") + group(8, "0") + group(66, "1") +
                        group(70, "16") + group(71, "3") + group(72, "3");
  for (int i = 0; i < 4; ++i)
    badMesh += group(0, "VERTEX") + group(8, "0") + group(10, std::to_string(i)) + group(20, "0") +
               group(30, "0") + group(70, "64");
  badMesh += group(0, "SEQEND");
  ScriptRun run = runScript(TestDrawing().raw(badFace + badMesh).text(),
                      "(vrml_wrlout (ssget \"X\") \"out.wrl\")\n");
  EXPECT_EQ(run.result.status, 0) << run.result.err;
  EXPECT_EQ(occurrences(run.result.err, "\n"), 2u) << run.result.err;
  EXPECT_NE(run.result.err.find("3A"), std::string::npos) << run.result.err;
  EXPECT_NE(run.result.err.find("3B"), std::string::npos) << run.result.err;
  // The faces that can be built are exported; none points outside its list.
  EXPECT_NE(run.result.out.find("2 objects converted."), std::string::npos) << run.result.out;
  EXPECT_EQ(coinCheck(run.dir + "/out.wrl"), "");
}

TEST(DrawingProgram, DuplicateHandlesWarnAndEveryObjectIsReached) {
  TestDrawing d;
  d.face("2A", "0", 1, 0).face("2A", "0", 2, 5).line("2B", "0", 3);
  std::string drawing = d.text();
  // The warning names the handle the second face is reached by.
  std::string dir = makeTempDir();
  writeFile(dir + "/drawing.dxf", drawing);
  ProcessResult load = runProcess({corvanePath(), "run", dir + "/drawing.dxf", "-"}, "");
  EXPECT_EQ(occurrences(load.err, "\n"), 1u) << load.err;
  EXPECT_EQ(load.err.rfind("corvane: warning: " + dir + "/drawing.dxf:", 0), 0u) << load.err;
  const std::string said = "handle 2A is used by 2 objects; the later ones are reached as ";
  size_t at = load.err.find(said);
  ASSERT_NE(at, std::string::npos) << load.err;
  std::string renumbered = load.err.substr(at + said.size(), load.err.find(' ', at + said.size()) - at - said.size());

  ScriptRun run = runScript(drawing, "(cdr (assoc 62 (entget (handent \"2A\"))))\n"
                                     "(cdr (assoc 62 (entget (handent \"" + renumbered + "\"))))\n"
                                     "vrmlprop\n" + renumbered + "\n@1018 https://example.com/\n@1\nSAVE\n");
  EXPECT_EQ(run.result.status, 0) << run.result.err;
  EXPECT_NE(run.result.out.find("(handent \"2A\"))))\n1\n"), std::string::npos) << run.result.out;
  EXPECT_NE(run.result.out.find("(handent \"" + renumbered + "\"))))\n2\n"), std::string::npos) << run.result.out;
  // Saved with the file's handles; the link is on the second face.
  std::string saved = readFile(run.dir + "/drawing.dxf");
  EXPECT_EQ(occurrences(saved, group(5, "2A")), 2u);
  size_t second = saved.find(group(5, "2A"), saved.find(group(5, "2A")) + 1);
  EXPECT_GT(saved.find("https://example.com/"), second) << saved;
  EXPECT_LT(saved.find("https://example.com/"), saved.find(group(5, "2B"))) << saved;

  ScriptRun unchanged = runScript(drawing, "SAVE\n");
  EXPECT_EQ(readFile(unchanged.dir + "/drawing.dxf"), drawing);
}

TEST(DrawingProgram, ListShowsWhatWasSelected) {
  TestDrawing d;
  d.layer("ROOF", 1).appId("PE_URL");
  d.face("2A", "ROOF", -1, 0, false, group(1001, "PE_URL") + group(1000, "http://x"));
  d.line("2B", "0", 3).polyface("2C", "ROOF", 5);
  ScriptRun run = runScript(d.text(), "LIST\nlayer ROOF\n2B\nnosuch\n^C\nLIST\nall\n\n", {"--keep-going"});
  const std::string& out = run.result.out;
  EXPECT_NE(out.find("2 found"), std::string::npos) << out;
  EXPECT_NE(out.find("*Invalid selection*: nosuch"), std::string::npos) << out;
  EXPECT_NE(out.find("3DFACE  Handle = 2A  Layer: ROOF  Color: BYLAYER  Extended data: PE_URL"),
            std::string::npos) << out;
  EXPECT_NE(out.find("LINE  Handle = 2B  Layer: 0  Color: 3"), std::string::npos) << out;
  EXPECT_EQ(occurrences(out, "Handle = "), 3u) << "the cancelled LIST lists nothing: " << out;
  ScriptRun unknown = runScript(d.text(), "NOSUCH\n");
  EXPECT_NE(unknown.result.out.find("Unknown command \"NOSUCH\".\n"), std::string::npos) << unknown.result.out;
}

TEST(DrawingProgram, ChangesAreSavedOrDiscardedWithANotice) {
  TestDrawing d;
  d.face("2A", "0", 1);
  std::string drawing = d.text();
  ScriptRun run = runScript(drawing, "(regapp \"MYAPP\")\n(entmod (list (cons -1 (handent \"2A\")) "
                               "(list -3 (list \"MYAPP\" (cons 1000 \"kept\") (cons 1070 7)))))\nSAVE\n");
  EXPECT_NE(run.result.out.find("Saved drawing.dxf."), std::string::npos) << run.result.out;
  std::string saved = readFile(run.dir + "/drawing.dxf");
  EXPECT_NE(saved.find("1001\nMYAPP\n1000\nkept\n1070\n"), std::string::npos) << saved;
  ProcessResult again = runProcess({corvanePath(), "run", run.dir + "/drawing.dxf", "-"},
                                   "(entget (handent \"2A\") '(\"MYAPP\"))\n");
  EXPECT_NE(again.out.find("(-3 (\"MYAPP\" (1000 . \"kept\") (1070 . 7)))"), std::string::npos) << again.out;

  ScriptRun discarded = runScript(drawing, "(regapp \"OTHER\")\nQUIT\n");
  EXPECT_NE(discarded.result.out.find("Unsaved changes to drawing.dxf discarded."), std::string::npos)
      << discarded.result.out;
  EXPECT_EQ(readFile(discarded.dir + "/drawing.dxf"), drawing);
}

} // namespace
} // namespace corvane::testing
