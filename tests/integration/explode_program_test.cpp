// EXPLODE, objects made and deleted from the list language, and the export
// of whole drawings, through the corvane program. Drawings are written by
// ezdxf (an independent DXF library); what EXPLODE places is compared with
// what ezdxf's own explode places, and ezdxf audits what SAVEAS writes.
#include <gtest/gtest.h>

#include "test_drawing.h"

namespace corvane::testing {
namespace {

// Explodes every reference (two levels of nesting) and then every MESH,
// with (command ...) as a program would, and saves to SAVED.
std::string explodeEverything(const std::string& saved) {
  std::string explodeReferences = "(command \"EXPLODE\" (ssget \"X\" '((0 . \"INSERT\"))) \"\")\n";
  return "(setvar \"CMDECHO\" 0)\n" + explodeReferences + explodeReferences +
         "(command \"EXPLODE\" (ssget \"X\" '((0 . \"MESH\"))) \"\")\nSAVEAS\n" + saved + "\n";
}

// Lines of a blocks.py listing on LAYER of the kinds the export converts.
size_t exportableOn(const std::string& listing, const std::string& layer) {
  size_t n = 0;
  for (const std::string kind : {"3DFACE ", "SOLID ", "MESH "})
    n += occurrences("\n" + listing, "\n" + kind + layer + " ");
  return n;
}

// TEXT with CRLF line ends and group codes without their padding.
std::string restyled(const std::string& text) {
  std::string out;
  bool code = true;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    std::string line = text.substr(at, end - at);
    if (code) line.erase(0, line.find_first_not_of(' '));
    out += line + "\r\n";
    code = !code;
    at = end + 1;
  }
  return out;
}

// True when every line of TEXT ends in CRLF and no group code is padded.
bool keepsTheRestyledForm(const std::string& text) {
  bool code = true;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos || end == at || text[end - 1] != '\r') return false;
    if (code && text[at] == ' ') return false;
    code = !code;
    at = end + 1;
  }
  return true;
}

TEST(ExplodeProgram, PlacesWhatEzdxfPlacesAndSavesWhatEzdxfReads) {
  if (!haveEzdxf()) GTEST_SKIP() << "ezdxf is not installed";
  std::string dir = makeTempDir();
  // The last two: R12 with CRLF line ends and codes not padded, which the
  // objects EXPLODE adds must follow, and a binary drawing.
  for (const std::string version : {"R12", "R2000", "R2018", "R12 restyled", "R2018 bin"}) {
    SCOPED_TRACE(version);
    const bool restyle = version == "R12 restyled", binary = version == "R2018 bin";
    std::string dxf = dir + "/" + version.substr(0, version.find(' ')) + (restyle ? "-crlf" : binary ? "-bin" : "") +
                      ".dxf";
    std::string saved = dxf.substr(0, dxf.size() - 4) + "-exploded.dxf";
    ASSERT_EQ(blocks({"write", dxf, version.substr(0, version.find(' ')), binary ? "bin" : "asc"}).status, 0);
    if (restyle) writeFile(dxf, restyled(readFile(dxf)));
    if (binary) {
      ASSERT_EQ(readFile(dxf).rfind("AutoCAD Binary DXF", 0), 0u);
    }
    ASSERT_EQ(blocks({"expect", dxf, dir + "/expect.txt"}).status, 0);

    ProcessResult run = runProcess({corvanePath(), "run", dxf, "-"}, explodeEverything(saved), dir);
    ASSERT_NE(run.out.find("\nSaved " + saved), std::string::npos) << run.out << run.err;
    EXPECT_EQ(run.out.find("can't be exploded"), std::string::npos) << run.out;
    // Every object where ezdxf places it, on the layer and in the colour it
    // shows, with its extended data.
    ASSERT_EQ(blocks({"placed", saved, dir + "/placed.txt"}).status, 0);
    EXPECT_EQ(readFile(dir + "/placed.txt"), readFile(dir + "/expect.txt"));
    ProcessResult audit = blocks({"audit", saved});
    EXPECT_EQ(audit.status, 0) << audit.out << audit.err;
    if (restyle) {
      EXPECT_TRUE(keepsTheRestyledForm(readFile(saved)));
    }
    if (binary) {
      EXPECT_EQ(readFile(saved).rfind("AutoCAD Binary DXF", 0), 0u);
    }

    // The export explodes in memory what EXPLODE placed and saved: the same world.
    ProcessResult inMemory = runProcess({corvanePath(), "export", dxf, "-o", dir + "/memory.wrl"});
    ProcessResult fromSaved = runProcess({corvanePath(), "export", saved, "--keep-blocks", "-o", dir + "/saved.wrl"});
    ASSERT_EQ(inMemory.status, 0) << inMemory.err;
    ASSERT_EQ(fromSaved.status, 0) << fromSaved.err;
    EXPECT_EQ(convertedCount(inMemory.out), convertedCount(fromSaved.out));
    EXPECT_TRUE(readFile(dir + "/memory.wrl") == readFile(dir + "/saved.wrl"));
    EXPECT_EQ(coinCheck(dir + "/memory.wrl"), "");
    EXPECT_EQ(inMemory.err, "");
  }
}

TEST(ExplodeProgram, SolidsKeepTheirKindUnlessTheTransformWouldDistortThem) {
  if (!haveEzdxf()) GTEST_SKIP() << "ezdxf is not installed";
  std::string dir = makeTempDir();
  std::string dxf = dir + "/d.dxf", saved = dir + "/e.dxf";
  ASSERT_EQ(blocks({"write", dxf, "R2000"}).status, 0);
  ProcessResult run = runProcess({corvanePath(), "run", dxf, "-"},
                                 explodeEverything(saved) + "(sslength (ssget \"X\" '((0 . \"3DSOLID\"))))\n"
                                                            "(sslength (ssget \"X\" '((8 . \"SOLIDS\"))))\n");
  // A mirror with a uniform scale goes into the solid model; a stretch
  // makes a polyface mesh of the solid's faces.
  EXPECT_NE(run.out.find("(sslength (ssget \"X\" '((0 . \"3DSOLID\"))))\n1\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("(sslength (ssget \"X\" '((8 . \"SOLIDS\"))))\n2\n"), std::string::npos) << run.out;
  ProcessResult audit = blocks({"audit", saved});
  EXPECT_EQ(audit.status, 0) << audit.out;
}

TEST(ExplodeProgram, KeepBlocksAndLayersPickWhatTheyAskFor) {
  if (!haveEzdxf()) GTEST_SKIP() << "ezdxf is not installed";
  std::string dir = makeTempDir();
  std::string dxf = dir + "/d.dxf";
  ASSERT_EQ(blocks({"write", dxf, "R12"}).status, 0);
  // Model space holds one face beside the references: what vrmlout sees.
  ProcessResult kept = runProcess({corvanePath(), "export", dxf, "--keep-blocks", "-o", dir + "/k.wrl"});
  EXPECT_NE(kept.out.find("1 objects converted.\n13 invalid objects ignored."), std::string::npos) << kept.out;
  // Objects that were on layer 0 in the block are on the reference's layer.
  ASSERT_EQ(blocks({"expect", dxf, dir + "/expect.txt"}).status, 0);
  size_t onRef = exportableOn(readFile(dir + "/expect.txt"), "REF");
  ProcessResult ref = runProcess({corvanePath(), "export", dxf, "--layer", "ref", "-o", dir + "/r.wrl"});
  EXPECT_EQ(convertedCount(ref.out), std::to_string(onRef)) << ref.out;
  EXPECT_GT(onRef, 10u);
}

TEST(ExplodeProgram, WhatCantBeExplodedStaysAndIsNamed) {
  TestDrawing d;
  d.layer("REF", 3);
  d.block("HATCHED", group(0, "HATCH") + group(8, "0"));
  d.insert("2A", "REF", -1, "HATCHED").insert("2B", "REF", -1, "MISSING").line("2C", "0", 1).line("2D", "0", 1);
  d.face("2E", "0", 1);
  ScriptRun run = runScript(d.text(), "EXPLODE\n2A 2B 2C 2D 2E\n\nLIST\nall\n\n");
  const std::string& out = run.result.out;
  EXPECT_NE(out.find("\nINSERT 2A can't be exploded: block HATCHED holds HATCH"), std::string::npos) << out;
  EXPECT_NE(out.find("\nINSERT 2B can't be exploded: block MISSING is not defined."), std::string::npos) << out;
  // The objects of other kinds are counted by kind in the summary, not
  // named one by one.
  EXPECT_EQ(out.find("2C can't"), std::string::npos) << out;
  EXPECT_NE(out.find("\n0 exploded, 5 could not be exploded (2 lines and 1 3D face: not block references or "
                     "meshes).\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(occurrences(out, "INSERT  Handle = "), 2u) << out;
}

TEST(ExplodeProgram, EntmakeAndEntdelAreSavedInTheFilesOwnForm) {
  if (!haveEzdxf()) GTEST_SKIP() << "ezdxf is not installed";
  std::string dir = makeTempDir();
  for (const std::string version : {"R12", "R2018"}) {
    SCOPED_TRACE(version);
    std::string dxf = dir + "/" + version + ".dxf", saved = dir + "/" + version + "-made.dxf";
    ASSERT_EQ(blocks({"write", dxf, version}).status, 0);
    std::string script =
        "(setq f (entmake '((0 . \"3DFACE\") (8 . \"OWN\") (62 . 1) (10 0 0 9) (11 1 0 9) (12 1 1 9))))\n"
        "(entmake '((0 . \"POLYLINE\") (70 . 64) (71 . 3) (72 . 1)))\n"
        "(entmake '((0 . \"VERTEX\") (10 0 0 7) (70 . 192)))\n"
        "(entmake '((0 . \"VERTEX\") (10 1 0 7) (70 . 192)))\n"
        "(entmake '((0 . \"VERTEX\") (10 0 1 7) (70 . 192)))\n"
        "(entmake '((0 . \"VERTEX\") (70 . 128) (71 . 1) (72 . 2) (73 . 3)))\n"
        "(entmake '((0 . \"SEQEND\")))\n"
        "(setq p (entlast))\n"
        "(entmake '((0 . \"3DFACE\") (8 . \"NOSUCH\") (10 0 0 0) (11 1 0 0) (12 1 1 0)))\n"
        "(entmake '((0 . \"HATCH\")))\n"
        "(entdel p)\n(entdel p)\n"
        "(entdel (ssname (ssget \"X\" '((0 . \"INSERT\"))) 0))\n"
        "SAVEAS\n" + saved + "\n";
    ProcessResult run = runProcess({corvanePath(), "run", dxf, "-"}, script, dir);
    EXPECT_NE(run.out.find("\nentmake: layer NOSUCH does not exist.\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("\nentmake: objects of type HATCH can't be made.\n"), std::string::npos) << run.out;
    ASSERT_NE(run.out.find("\nSaved "), std::string::npos) << run.out << run.err;
    ProcessResult audit = blocks({"audit", saved});
    EXPECT_EQ(audit.status, 0) << audit.out;
    // Reloaded: the face and the polyface mesh (deleted twice, so back),
    // and one reference fewer.
    ProcessResult reload = runProcess({corvanePath(), "export", saved, "--keep-blocks", "-o", dir + "/m.wrl"});
    // (the R2018 drawing has two references to solids more)
    std::string references = version == "R12" ? "12" : "14";
    EXPECT_NE(reload.out.find("3 objects converted.\n" + references + " invalid objects ignored."),
              std::string::npos) << reload.out;
    std::string wrl = readFile(dir + "/m.wrl");
    EXPECT_NE(wrl.find("\n0\t0\t9"), std::string::npos);
    EXPECT_NE(wrl.find("\n1\t0\t7"), std::string::npos);
  }
}

} // namespace
} // namespace corvane::testing
