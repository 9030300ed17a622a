// The export through the corvane program: vrmlout at the command line,
// vrml_wrlout from the list language and `corvane export`, checked against
// golden worlds and by Coin, an independent VRML reader.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "support/corpus.h"
#include "support/golden.h"
#include "test_drawing.h"

namespace corvane::testing {
namespace {

std::string materialXdata(int useDrawingColour, double shininess, double transparency) {
  std::string x = group(1001, "VRML_Application") + group(1070, std::to_string(useDrawingColour));
  for (double v : {0.3, 0.3, 0.3, 0.8, 0.8, 0.8, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0}) x += group(1040, std::to_string(v));
  return x + group(1040, std::to_string(shininess)) + group(1040, std::to_string(transparency));
}

std::string linkXdata(const std::string& link, const std::string& description) {
  return group(1001, "PE_URL") + group(1000, link) + group(1001, "VRML_Url_Data") + group(1000, description);
}

TestDrawing withApps() {
  TestDrawing d;
  d.appId("VRML_Application").appId("PE_URL").appId("VRML_Url_Data");
  return d;
}

TEST(ExportProgram, VrmloutCountsConvertedAndIgnoredObjects) {
  TestDrawing d = withApps();
  d.face("2A", "0", 1).line("2B", "0", 1).solid("2C", "0", 3, 1.0).line("2D", "0", 1).polyface("2E", "0", 5);
  ScriptRun run = runScript(d.text(), "vrmlout\n2A 2B 2C 2D 2E\n\nout\n");
  const std::string& out = run.result.out;
  // The module's prompt is the one that shows: once, not twice on one line.
  EXPECT_NE(out.find("\nSelect objects: 2A 2B 2C 2D 2E\n5 found\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\nCreate VRML File: out\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\rProcessing 0 of 5.\rProcessing 1 of 5.\rProcessing 2 of 5.\rProcessing 3 of 5."
                     "\rProcessing 4 of 5.\n3 objects converted.\n2 invalid objects ignored."),
            std::string::npos) << out;
  EXPECT_EQ(coinCheck(run.dir + "/out.wrl", {"--groups", "3", "--materials", "3", "--anchors", "0", "--faces", "11"}), "");
}

TEST(ExportProgram, NothingConvertedDeletesTheFileAndSaysWhy) {
  TestDrawing d;
  d.line("2A", "0", 1).line("2B", "0", 2);
  ScriptRun run = runScript(d.text(), "vrmlout\nall\n\nlines.wrl\n(vrml_wrlout (ssget \"X\") \"lines2.wrl\")\n");
  const std::string& out = run.result.out;
  // After the module's own message, the host's line saying why.
  const std::string why = "nothing converted: 2 lines, which the export does not convert";
  EXPECT_NE(out.find("\rProcessing 1 of 2.\nError while creating VRML file.\n" + why + "\nCommand: "),
            std::string::npos) << out;
  EXPECT_EQ(out.find("objects converted"), std::string::npos) << out;
  EXPECT_NE(out.find("(vrml_wrlout (ssget \"X\") \"lines2.wrl\")\n\rProcessing 0 of 2.\rProcessing 1 of 2.\n" + why +
                     "\nnil\n"),
            std::string::npos) << out;
  EXPECT_FALSE(std::ifstream(run.dir + "/lines.wrl").good());
  EXPECT_FALSE(std::ifstream(run.dir + "/lines2.wrl").good());
}

// Why nothing was converted, as the shell and `corvane export` say it: one
// line, the kinds counted, block references with what to do about them.
TEST(ExportProgram, BlockReferencesThatHoldTheObjectsAreNamedWithWhatToDo) {
  TestDrawing d;
  d.block("FRAME", group(0, "3DFACE") + group(8, "0") + group(10, "0") + group(20, "0") + group(30, "0") +
                       group(11, "1") + group(21, "0") + group(31, "0") + group(12, "1") + group(22, "1") +
                       group(32, "0") + group(13, "0") + group(23, "1") + group(33, "0"));
  d.block("NOTE", group(0, "LINE") + group(8, "0") + group(10, "0") + group(20, "0") + group(30, "0") +
                      group(11, "1") + group(21, "1") + group(31, "0"));
  d.insert("2A", "0", 1, "FRAME").insert("2B", "0", 1, "FRAME", 5).line("2C", "0", 1).insert("2D", "0", 1, "NOTE");
  ScriptRun run = runScript(d.text(), "vrmlout\n2A 2B 2C\n\nf.wrl\n(vrml_wrlout (ssget \"X\" '((0 . \"INSERT\")))"
                                      " \"g.wrl\")\nvrmlout\n2A\n\nh.wrl\n");
  EXPECT_NE(run.result.out.find("\nError while creating VRML file.\nnothing converted: 2 block references (EXPLODE "
                                "them first), 1 line, which the export does not convert\nCommand: "),
            std::string::npos) << run.result.out;
  EXPECT_NE(run.result.out.find("\nnothing converted: 3 block references (EXPLODE them first)\nnil\n"),
            std::string::npos) << run.result.out;
  EXPECT_NE(run.result.out.find("\nError while creating VRML file.\nnothing converted: 1 block reference (EXPLODE it "
                                "first)\nCommand: "),
            std::string::npos) << run.result.out;
  // Cancelled before the export ran: nothing to explain.
  ScriptRun cancelled = runScript(d.text(), "vrmlout\n2C\n\n^C\n");
  EXPECT_EQ(cancelled.result.out.find("nothing converted"), std::string::npos) << cancelled.result.out;

  writeFile(run.dir + "/d.dxf", d.text());
  ProcessResult kept = runProcess({corvanePath(), "export", "d.dxf", "--keep-blocks"}, "", run.dir);
  EXPECT_EQ(kept.status, 1);
  EXPECT_EQ(kept.err, "corvane: nothing converted: 3 block references kept by --keep-blocks, 1 line, which the "
                      "export does not convert\n");
  // Placed in memory, the frames export; the note's reference shows nothing.
  ProcessResult placed = runProcess({corvanePath(), "export", "d.dxf", "--layer", "0"}, "", run.dir);
  EXPECT_EQ(placed.status, 0) << placed.err;
  EXPECT_EQ(placed.out, "2 objects converted.\n2 invalid objects ignored.\n");
  ProcessResult nowhere = runProcess({corvanePath(), "export", "d.dxf", "--layer", "NOTHING"}, "", run.dir);
  EXPECT_EQ(nowhere.err, "corvane: nothing converted: no object is on layer NOTHING\n");
  TestDrawing notes;
  notes.block("NOTE", group(0, "LINE") + group(8, "0") + group(10, "0") + group(20, "0") + group(30, "0") +
                          group(11, "1") + group(21, "1") + group(31, "0"));
  notes.insert("2A", "0", 1, "NOTE").line("2B", "0", 1).line("2C", "0", 1);
  writeFile(run.dir + "/notes.dxf", notes.text());
  ProcessResult note = runProcess({corvanePath(), "export", "notes.dxf"}, "", run.dir);
  EXPECT_EQ(note.status, 1);
  EXPECT_EQ(note.err, "corvane: nothing converted: 1 block reference that shows nothing it converts or can't be "
                      "placed, 2 lines, which the export does not convert\n");
}

TEST(ExportProgram, MaterialFollowsTheDrawingColourAndWhiteHasNone) {
  TestDrawing d = withApps();
  d.layer("WHITE", 7).layer("GREEN", 3);
  d.face("2A", "0", 7, 0, false, materialXdata(0, 0.9, 0.5));      // own colour 7
  d.face("2B", "WHITE", -1, 0, false, materialXdata(0, 0.9, 0.5)); // by layer, layer 7
  d.face("2C", "NOSUCH", -1, 0, false, materialXdata(0, 0.9, 0.5)); // by layer, no layer
  d.face("2D", "GREEN", -1);                                       // by layer 3, no data
  d.face("2E", "0", 1, 0, false, materialXdata(1, 0.5, 1.0));       // stored, drawing colour
  d.face("2F", "0", 0);                                            // by block
  ScriptRun run = runScript(d.text(), "(vrml_wrlout (ssget \"X\") \"m.wrl\")\n");
  std::string wrl = readFile(run.dir + "/m.wrl");
  EXPECT_EQ(occurrences(wrl, "Material {"), 3u) << wrl;
  EXPECT_NE(wrl.find("\tambientColor\t0.000000\t1.000000\t0.000000\n\tdiffuseColor\t0.800000\t0.800000\t0.800000\n"
                     "\tspecularColor\t0.000000\t0.000000\t0.000000\n\temissiveColor\t0.000000\t0.000000\t0.000000\n"
                     "\tshininess\t0.200000\n\ttransparency\t0.000000\n"),
            std::string::npos) << wrl;
  EXPECT_NE(wrl.find("\tambientColor\t1.000000\t0.000000\t0.000000\n"), std::string::npos) << wrl;
  EXPECT_NE(wrl.find("\tshininess\t0.500000\n\ttransparency\t1.000000\n"), std::string::npos) << wrl;
  // By block: the material's own ambient colour, not the previous object's.
  size_t last = wrl.rfind("Separator {");
  EXPECT_NE(wrl.find("\tambientColor\t0.300000\t0.300000\t0.300000\n", last), std::string::npos) << wrl;
  EXPECT_EQ(coinCheck(run.dir + "/m.wrl", {"--groups", "6", "--materials", "3"}), "");
}

TEST(ExportProgram, AnchorsCloseInsideTheirGroupAndQuotesAreEscaped) {
  TestDrawing d = withApps();
  d.face("2A", "0", 1, 0, false, linkXdata("room \"2\".wrl", "Next room"));
  d.face("2B", "0", 1, 20);
  ScriptRun run = runScript(d.text(), "(vrml_wrlout (ssget \"X\") \"a.wrl\")\n");
  std::string wrl = readFile(run.dir + "/a.wrl");
  EXPECT_NE(wrl.find("WWWAnchor {\n\tname \"room \\\"2\\\".wrl\"\n\tdescription \"Next room\"\nCoordinate3 {"),
            std::string::npos) << wrl;
  EXPECT_NE(wrl.find("\t]\n}\n}\n}\nSeparator {\n"), std::string::npos) << wrl;
  EXPECT_EQ(occurrences(wrl, "WWWAnchor"), 1u);
  EXPECT_EQ(coinCheck(run.dir + "/a.wrl", {"--groups", "2", "--anchors", "1"}), "");
}

TEST(ExportProgram, ObjectThatCannotBeOpenedIsSkippedWithItsPosition) {
  TestDrawing d;
  d.face("2A", "0", 1).face("2B", "0", 2, 20).face("2C", "0", 3, 40);
  ScriptRun run = runScript(d.text(), "HOLDOPEN\n2B\nwrite\nvrmlout\nall\n\nheld\n");
  const std::string& out = run.result.out;
  EXPECT_NE(out.find("\rProcessing 1 of 3.\nCannot open entity for reading - 1.\rProcessing 2 of 3.\n"
                     "2 objects converted."),
            std::string::npos) << out;
}

TEST(ExportProgram, FileDialogAsksBeforeReplacing) {
  TestDrawing d;
  d.face("2A", "0", 1);
  // Declining asks for another name.
  ScriptRun run = runScript(d.text(), "vrmlout\nall\n\nw.wrl\nvrmlout\nall\n\nw\n\nw2\nvrmlout\nall\n\nw\ny\n");
  const std::string& out = run.result.out;
  EXPECT_EQ(occurrences(out, "1 objects converted."), 3u) << out;
  EXPECT_NE(out.find("replace it? <N>: \n\nCreate VRML File: w2\n"), std::string::npos) << out;
  EXPECT_TRUE(std::ifstream(run.dir + "/w2.wrl").good());
  EXPECT_EQ(occurrences(out, "Do you want to replace it? <N>: "), 2u) << out;
}

TEST(ExportProgram, WrloutUsage) {
  TestDrawing d;
  d.face("2A", "0", 1);
  ScriptRun run = runScript(d.text(), "(vrml_wrlout \"x\" \"y.wrl\")\n(vrml_wrlout (ssget \"X\"))\n(vrml_wrlout)\n"
                                "(vrml_wrlout (ssget \"X\") 5)\n(vrml_wrlout (ssget \"X\") \"z.wrl\" 1)\n");
  EXPECT_EQ(occurrences(run.result.out, "\nUsage: vrml_wrlout selection_set filename\nnil\n"), 4u) << run.result.out;
  EXPECT_NE(run.result.out.find("1 objects converted.T\n"), std::string::npos) << run.result.out;
  EXPECT_FALSE(std::ifstream(run.dir + "/y.wrl").good());
}

TEST(ExportProgram, FullDiskEndsTheRunInOrder) {
  TestDrawing d;
  d.face("2A", "0", 1).polygonMesh("2B", "0", 2, 40, 40);
  std::string dir = makeTempDir();
  writeFile(dir + "/d.dxf", d.text());
  const std::string full = makeTempDir();
  ProcessResult batch = runProcess({corvanePath(), "export", dir + "/d.dxf", "-o", full + "/d.wrl"}, "", "",
                                   withShim({"CORVANE_FAULT_DIR=" + full, "CORVANE_FAULT_WRITE=ENOSPC"}));
  EXPECT_EQ(batch.status, 2) << batch.out << batch.err;
  EXPECT_EQ(batch.err, "corvane: cannot write " + full + "/d.wrl: the disk is full\n");
  EXPECT_EQ(filesIn(full), std::vector<std::string>{});
  std::filesystem::remove_all(full);
  // The file dialog adds ".wrl" to a name without one; a link named so
  // leads to the full device.
  ASSERT_EQ(symlink("/dev/full", (dir + "/full.wrl").c_str()), 0);
  ProcessResult shell = runProcess({corvanePath(), "run", dir + "/d.dxf", "-"}, "vrmlout\nall\n\nfull.wrl\ny\n", dir);
  EXPECT_NE(shell.out.find("\nError while creating VRML file."), std::string::npos) << shell.out;
  EXPECT_EQ(shell.err.find("still holds"), std::string::npos) << shell.err;
  EXPECT_EQ(shell.status, 0);
}

TEST(ExportProgram, BatchExportNamesAndLayers) {
  TestDrawing d;
  d.layer("A", 1).layer("B", 2);
  d.face("2A", "A", -1).face("2B", "B", -1, 20).line("2C", "A", 1);
  std::string dir = makeTempDir();
  writeFile(dir + "/scene.dxf", d.text());
  ProcessResult all = runProcess({corvanePath(), "export", dir + "/scene.dxf"}, "", dir);
  EXPECT_EQ(all.status, 0) << all.err;
  EXPECT_EQ(coinCheck(dir + "/scene.wrl", {"--groups", "2"}), "");
  ProcessResult one = runProcess({corvanePath(), "export", "scene.dxf", "--layer", "b", "-o", "b.wrl"}, "", dir);
  EXPECT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(coinCheck(dir + "/b.wrl", {"--groups", "1"}), "");
  EXPECT_EQ(runProcess({corvanePath(), "export", "scene.dxf", "--layer", "NONE"}, "", dir).status, 1);
  EXPECT_EQ(runProcess({corvanePath(), "export", "missing.dxf"}, "", dir).status, 2);
  EXPECT_EQ(runProcess({corvanePath(), "export", "--bogus"}, "", dir).status, 2);
}

// One golden world per exportable kind, compared byte for byte
// (UPDATE_GOLDEN=1 writes them anew, and fails).
TEST(ExportProgram, GoldenWorldPerKind) {
  struct Kind {
    const char* name;
    TestDrawing drawing;
  };
  std::vector<Kind> kinds;
  kinds.push_back({"face", std::move(withApps().face("2A", "0", 1, 0, false, linkXdata("room2.wrl", "Next room")))});
  kinds.push_back({"triangle", std::move(TestDrawing().face("2A", "0", 2, 0, true))});
  kinds.push_back({"solid_prism", std::move(TestDrawing().solid("2A", "0", 3, 1.5))});
  kinds.push_back({"polyface", std::move(withApps().polyface("2A", "0", 5).raw(""))});
  kinds.push_back({"polygon_mesh", std::move(TestDrawing().polygonMesh("2A", "0", 30, 3, 4))});
  std::string dir = makeTempDir();
  for (Kind& k : kinds) {
    std::string dxf = dir + "/" + k.name + ".dxf";
    std::string wrl = dir + "/" + k.name + ".wrl";
    writeFile(dxf, k.drawing.text());
    ProcessResult r = runProcess({corvanePath(), "export", dxf, "-o", wrl});
    ASSERT_EQ(r.status, 0) << k.name << r.out << r.err;
    expectGolden("tests/integration/golden/" + std::string(k.name) + ".wrl", readFile(wrl));
    EXPECT_EQ(coinCheck(wrl, {"--groups", "1"}), "") << k.name;
  }
}

// Every corpus drawing exports what model space shows, inside references
// or not: as many objects as ezdxf finds through model space and every
// reference, read by Coin.
TEST(ExportProgram, EveryCorpusDrawingExportsAndCoinReadsIt) {
  std::vector<std::filesystem::path> files = corpusFiles();
  if (files.empty()) GTEST_SKIP() << "the shared corpus is not beside the project";
  std::string dir = makeTempDir();
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    std::string wrl = dir + "/" + file.stem().string() + ".wrl";
    ProcessResult r = runProcess({corvanePath(), "export", file.string(), "-o", wrl});
    ASSERT_TRUE(r.status == 0 || r.status == 1) << r.err;
    EXPECT_EQ(r.err.find("still holds"), std::string::npos) << r.err;
    std::string expected = "0";
    if (haveEzdxf()) {
      ProcessResult count = blocks({"count", file.string()});
      ASSERT_EQ(count.status, 0) << count.err;
      expected = count.out.substr(0, count.out.find('\n'));
    }
    if (r.status == 1) {
      EXPECT_EQ(expected, "0");
      EXPECT_FALSE(std::ifstream(wrl).good());
      continue;
    }
    EXPECT_NE(convertedCount(r.out), "");
    if (haveEzdxf()) {
      EXPECT_EQ(convertedCount(r.out), expected);
    }
    EXPECT_EQ(coinCheck(wrl), "");
    // The one model in the corpus that holds no body: exported without
    // geometry, with one warning naming it. Models whose text lacks its
    // end marker are whole: nothing to warn about.
    if (file.filename() == "r2013_netdxf_3dsolid_body.dxf") {
      EXPECT_EQ(r.err, "corvane: warning: entity 6E: solid model has no body\n");
    } else {
      EXPECT_EQ(r.err, "");
    }
  }
}

size_t facesIn(const std::string& wrl) { return occurrences(readFile(wrl), "-1,\n"); }

TEST(ExportProgram, CurvedSolidsFollowTheChordTolerance) {
  std::string sample = std::string(CORVANE_BIN_DIR) + "/examples/pavilion.dxf";
  std::string dir = makeTempDir();
  ProcessResult fine = runProcess({corvanePath(), "run", sample, "-"},
                                  "(vrml_wrlout (ssget \"X\" '((0 . \"3DSOLID,BODY\"))) \"fine.wrl\")\n", dir);
  ProcessResult coarse = runProcess({corvanePath(), "run", sample, "-"},
                                    "(setvar \"FACETCHORD\" 0.05)\n"
                                    "(vrml_wrlout (ssget \"X\" '((0 . \"3DSOLID,BODY\"))) \"coarse.wrl\")\n",
                                    dir);
  ASSERT_NE(fine.out.find("2 objects converted."), std::string::npos) << fine.out << fine.err;
  ASSERT_NE(coarse.out.find("2 objects converted."), std::string::npos) << coarse.out << coarse.err;
  EXPECT_GT(facesIn(dir + "/fine.wrl"), facesIn(dir + "/coarse.wrl"));
  EXPECT_GT(facesIn(dir + "/coarse.wrl"), 0u);
  EXPECT_EQ(coinCheck(dir + "/coarse.wrl", {"--groups", "2"}), "");
}

} // namespace
} // namespace corvane::testing
