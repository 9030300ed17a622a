// The limit on what exploding may place, through the corvane program: a
// few kilobytes of multiple inserts and nested references are refused in
// one line (the reference, its count, the limit) before anything is placed,
// by `corvane export` with status 2 and by EXPLODE in the shell, which
// leaves the drawing as it was; --explode-limit and EXPLODELIMIT move the
// bound exactly.
#include <gtest/gtest.h>

#include "test_drawing.h"

namespace corvane::testing {
namespace {

// A 3D face, for a block.
std::string blockFace() {
  return group(0, "3DFACE") + group(8, "0") + group(10, "0") + group(20, "0") + group(30, "0") + group(11, "1") +
         group(21, "0") + group(31, "0") + group(12, "1") + group(22, "1") + group(32, "0") + group(13, "0") +
         group(23, "1") + group(33, "0");
}

// A multiple insert of BLOCK, COLUMNS by ROWS; HANDLE empty inside a block.
std::string gridInsert(const std::string& handle, const std::string& block, int columns, int rows) {
  return group(0, "INSERT") + (handle.empty() ? "" : group(5, handle)) + group(8, "0") + group(2, block) +
         group(10, "0") + group(20, "0") + group(30, "0") + group(70, std::to_string(columns)) +
         group(71, std::to_string(rows)) + group(44, "2") + group(45, "2");
}

// The diagnostics, which must be one line.
void expectOneLine(const std::string& err) {
  ASSERT_FALSE(err.empty());
  EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
}

TEST(ExplodeLimit, BombsOfAFewKilobytesAreRefusedInOneLineAndTheOldWorldStays) {
  if (!haveEzdxf()) GTEST_SKIP() << "ezdxf is not installed";
  const std::string dir = makeTempDir();
  ASSERT_EQ(blocks({"grid", dir + "/grid.dxf", "32767"}).status, 0);
  ASSERT_EQ(blocks({"nested", dir + "/nested.dxf", "8"}).status, 0);
  EXPECT_LT(readFile(dir + "/grid.dxf").size(), 16000u);
  EXPECT_LT(readFile(dir + "/nested.dxf").size(), 27000u);
  const std::string old = "#VRML V1.0 ascii\n# the world that was there\n";
  for (const std::string name : {"grid", "nested"}) {
    SCOPED_TRACE(name);
    writeFile(dir + "/" + name + ".wrl", old);
    ProcessResult run = runProcess({corvanePath(), "export", name + ".dxf"}, "", dir);
    EXPECT_EQ(run.status, 2) << run.out << run.err;
    expectOneLine(run.err);
    // 32767 x 32767 copies; ten references, each to 10^8 faces.
    const std::string count = name == "grid" ? " would place 1,073,676,289 objects, more than the limit of "
                                             : " would place 100,000,000 objects, more than the limit of ";
    EXPECT_EQ(run.err.rfind("corvane: cannot export: INSERT ", 0), 0u) << run.err;
    EXPECT_NE(run.err.find(count), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(" (EXPLODELIMIT); --explode-limit raises it\n"), std::string::npos) << run.err;
    EXPECT_EQ(readFile(dir + "/" + name + ".wrl"), old);
  }
  // EXPLODE in the shell says the same, and the reference stays.
  ProcessResult shell = runProcess({corvanePath(), "run", "grid.dxf", "-"},
                                   "EXPLODE\nALL\n\n(sslength (ssget \"X\" '((0 . \"INSERT\"))))\n", dir);
  EXPECT_NE(shell.out.find(" would place 1,073,676,289 objects, more than the limit of "), std::string::npos)
      << shell.out;
  EXPECT_NE(shell.out.find("Nothing was exploded.\n\nCommand: (sslength (ssget \"X\" '((0 . \"INSERT\"))))\n1\n"),
            std::string::npos)
      << shell.out;
}

TEST(ExplodeLimit, TheOptionAndTheVariableMoveTheBoundExactly) {
  const std::string dir = makeTempDir();
  TestDrawing d;
  d.block("CELL", blockFace()).raw(gridInsert("2A", "CELL", 3, 4));
  writeFile(dir + "/grid.dxf", d.text());

  ProcessResult under = runProcess({corvanePath(), "export", "grid.dxf", "--explode-limit=11"}, "", dir);
  EXPECT_EQ(under.status, 2);
  expectOneLine(under.err);
  EXPECT_NE(under.err.find("INSERT 2A would place 12 objects, more than the limit of 11 (EXPLODELIMIT)"),
            std::string::npos)
      << under.err;
  ProcessResult at = runProcess({corvanePath(), "export", "grid.dxf", "--explode-limit", "12"}, "", dir);
  EXPECT_EQ(at.status, 0) << at.err;
  EXPECT_EQ(convertedCount(at.out), "12") << at.out;

  // A batch: each worker keeps to the option.
  ASSERT_EQ(runProcess({"/bin/mkdir", dir + "/many"}).status, 0);
  writeFile(dir + "/many/a.dxf", d.text());
  writeFile(dir + "/many/b.dxf", d.text());
  ProcessResult batch =
      runProcess({corvanePath(), "export", "many", "-o", "worlds", "--explode-limit=11"}, "", dir);
  EXPECT_EQ(batch.status, 2) << batch.out << batch.err;
  for (const std::string name : {"a", "b"})
    EXPECT_NE(batch.out.find("many/" + name + ".dxf: refused, "), std::string::npos) << batch.out << batch.err;
  EXPECT_EQ(occurrences(batch.out, "refused, 0.0"), 2u) << batch.out;
  EXPECT_EQ(occurrences(batch.out, "would place 12 objects, more than the limit of 11"), 4u) << batch.out;

  // Not a count: a usage error before anything is read.
  for (const std::string bad : {"--explode-limit=-1", "--explode-limit=1e6", "--explode-limit=99999999999999999999"}) {
    ProcessResult refused = runProcess({corvanePath(), "export", "grid.dxf", bad}, "", dir);
    EXPECT_EQ(refused.status, 2) << bad;
    EXPECT_NE(refused.err.find("--explode-limit takes a count of objects"), std::string::npos) << refused.err;
  }
  ProcessResult help = runProcess({corvanePath(), "export", "--help"});
  EXPECT_NE(help.out.find("--explode-limit N"), std::string::npos);
}

TEST(ExplodeLimit, CountsAddUpAcrossReferencesAndSaturatePastSixtyFourBits) {
  const std::string dir = makeTempDir();
  // Two references of six each: the second passes eleven with the first.
  TestDrawing two;
  two.block("CELL", blockFace()).raw(gridInsert("2A", "CELL", 2, 3)).raw(gridInsert("2B", "CELL", 3, 2));
  writeFile(dir + "/two.dxf", two.text());
  ProcessResult run = runProcess({corvanePath(), "export", "two.dxf", "--explode-limit=11"}, "", dir);
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("INSERT 2B would place 6 objects (12 with the references before it), more than the "
                         "limit of 11"),
            std::string::npos)
      << run.err;

  // 32767^6 copies: past 2^64, and refused, however high the limit.
  TestDrawing huge;
  huge.block("CELL", blockFace())
      .block("MIDDLE", gridInsert("", "CELL", 32767, 32767))
      .block("UPPER", gridInsert("", "MIDDLE", 32767, 32767))
      .raw(gridInsert("2A", "UPPER", 32767, 32767));
  writeFile(dir + "/huge.dxf", huge.text());
  ProcessResult past =
      runProcess({corvanePath(), "export", "huge.dxf", "--explode-limit=18446744073709551614"}, "", dir);
  EXPECT_EQ(past.status, 2);
  EXPECT_NE(past.err.find("INSERT 2A would place more than 18,446,744,073,709,551,615 objects"), std::string::npos)
      << past.err;

  // A block that holds a reference to itself is counted without end, and
  // refused as before; a grid of a block that places nothing takes no time.
  TestDrawing loop;
  loop.block("SELF", blockFace() + gridInsert("", "SELF", 2, 1))
      .block("EMPTY", group(0, "LINE") + group(8, "0"))
      .raw(gridInsert("2A", "SELF", 1, 1))
      .raw(gridInsert("2B", "EMPTY", 32767, 32767))
      .face("2C", "0", 1);
  writeFile(dir + "/loop.dxf", loop.text());
  ProcessResult looped = runProcess({corvanePath(), "export", "loop.dxf"}, "", dir);
  EXPECT_EQ(looped.status, 0) << looped.err;
  EXPECT_NE(looped.err.find("warning: INSERT 2A can't be exploded: block SELF refers to itself."), std::string::npos)
      << looped.err;
}

TEST(ExplodeLimit, ExplodeInTheShellKeepsToTheVariableAndLeavesTheDrawing) {
  TestDrawing d;
  d.block("CELL", blockFace()).raw(gridInsert("2A", "CELL", 3, 4));
  ScriptRun run = runScript(d.text(), "(setvar \"EXPLODELIMIT\" 11)\nEXPLODE\n2A\n\nSAVEAS\nsame.dxf\n"
                                      "(setvar \"EXPLODELIMIT\" 12)\nEXPLODE\n2A\n\n"
                                      "(sslength (ssget \"X\"))\n(setvar \"EXPLODELIMIT\" -1)\n");
  const std::string& out = run.result.out;
  EXPECT_NE(out.find("\nCannot explode: INSERT 2A would place 12 objects, more than the limit of 11 "
                     "(EXPLODELIMIT). Nothing was exploded.\n"),
            std::string::npos)
      << out;
  EXPECT_EQ(readFile(run.dir + "/same.dxf"), readFile(run.dir + "/drawing.dxf"));
  EXPECT_NE(out.find("\n1 exploded, 0 could not be exploded.\n"), std::string::npos) << out;
  EXPECT_NE(out.find("(sslength (ssget \"X\"))\n12\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("(setvar \"EXPLODELIMIT\" -1)\n-1\n"), std::string::npos) << out;
}

} // namespace
} // namespace corvane::testing
