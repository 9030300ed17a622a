// corvane run as a script's author relies on it: a step that fails stops
// the script (status 4) and the error stream names its line; SAVEAS and the
// file prompts take the paths people type; the README's examples run as
// written on the bundled sample.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "test_drawing.h"

namespace corvane::testing {
namespace fs = std::filesystem;
namespace {

const char* const kStops = "; the script stops there (--keep-going runs on)\n";

// Faces 2A (ROOF) and 2C (WALLS), a line 2B (WALLS).
std::string drawing() {
  TestDrawing d;
  d.layer("ROOF", 1).layer("WALLS", 2).appId("PE_URL");
  d.face("2A", "ROOF", 1).line("2B", "WALLS", 3).face("2C", "WALLS", 2, 5);
  return d.text();
}

TEST(ScriptSteps, EachKindOfFailedStepStopsTheScriptAtItsLine) {
  struct Case {
    std::string steps;
    int line; // counting the comment the script starts with
    std::string why;
  };
  const Case cases[] = {
      {"LIST\nall\n\nSAV\n", 5, "Unknown command \"SAV\""},
      {"LIST\n2A ZZ\n", 3, "invalid selection: 2A ZZ"},
      {"(setq a 1)\n(car a)\n", 3, "error: bad argument type: consp: 1"},
      {"SAVEAS\nno/such/folder/copy.dxf\n", 3, "no/such/folder/copy.dxf"},
      {"SAVEAS copy.dwg\n", 2, "copy.dwg: this host writes DXF drawings, never DWG; SAVEAS NAME.dxf saves it as DXF"},
      {"SAVEAS notes.txt\n", 2, "notes.txt: not a name for a drawing this host writes"},
      {"vrmlprop\n2A\n@9999 x\n", 4, "*Invalid* "},
      {"HOLDOPEN\n99\n", 3, "No object with handle 99"},
      {"MENU\n99\n", 3, "No menu entry \"99\""},
  };
  for (const Case& c : cases) {
    ScriptRun run = runScript(drawing(), "; the steps\n" + c.steps + "(princ \"NOT REACHED\")\n");
    const std::string& err = run.result.err;
    EXPECT_EQ(run.result.status, 4) << c.steps << run.result.out << err;
    const std::string where = "corvane: script line " + std::to_string(c.line) + ": " + c.why;
    EXPECT_EQ(err.substr(0, where.size()), where) << c.steps << err;
    EXPECT_TRUE(err.ends_with(kStops)) << c.steps << err;
    EXPECT_EQ(occurrences(err, "\n"), 1u) << c.steps << err;
    EXPECT_EQ(run.result.out.find("NOT REACHED"), std::string::npos) << c.steps << run.result.out;
    // Nothing was written where the failed step would have.
    EXPECT_EQ(filesIn(run.dir), (std::vector<std::string>{"drawing.dxf", "script.txt"})) << c.steps;
  }
}

TEST(ScriptSteps, KeepGoingRunsEveryLineAndStillFails) {
  ScriptRun run = runScript(drawing(), "SAV\n(car 1)\n(regapp \"MINE\")\nSAVEAS copy\n", {"--keep-going"});
  EXPECT_EQ(run.result.status, 4) << run.result.err;
  EXPECT_EQ(run.result.err, "corvane: script line 1: Unknown command \"SAV\"\n"
                            "corvane: script line 2: error: bad argument type: consp: 1\n");
  EXPECT_NE(readFile(run.dir + "/copy.dxf").find("MINE"), std::string::npos) << run.result.out;
  // A script whose steps all pass ends with 0, with or without it.
  EXPECT_EQ(runScript(drawing(), "LIST\nall\n\n", {"--keep-going"}).result.status, 0);
}

TEST(ScriptSteps, SaveAsTakesTheRestOfTheLineAndAddsDxf) {
  // A bare name, a path with a space and non-ASCII letters, the same in
  // quotes, and a name given at the prompt.
  fs::path dir = makeTempDir();
  fs::create_directory(dir / "my drawings");
  writeFile((dir / "drawing.dxf").string(), drawing());
  ProcessResult r = runProcess({corvanePath(), "run", "drawing.dxf", "-"},
                               "SAVEAS copy\nSAVEAS my drawings/maison é.dxf\nSAVEAS \"my drawings/q\"\n"
                               "SAVEAS\nmy drawings/at prompt\n",
                               dir.string());
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(readFile((dir / "copy.dxf").string()), drawing());
  EXPECT_EQ(filesIn((dir / "my drawings").string()),
            (std::vector<std::string>{"at prompt.dxf", "maison é.dxf", "q.dxf"}));
  EXPECT_FALSE(fs::exists(dir / "my")) << "a path cut at its space";
  EXPECT_FALSE(fs::exists(dir / "\"my")) << "quotes kept in the name";
  // The drawing being edited is the last one saved.
  EXPECT_NE(r.out.find("Save drawing as <my drawings/q.dxf>: "), std::string::npos) << r.out;
  fs::remove_all(dir);
}

TEST(ScriptSteps, SaveAsReplacesAFileOnlyWhenToldAndElseAsksAnotherName) {
  fs::path dir = makeTempDir();
  writeFile((dir / "drawing.dxf").string(), drawing());
  writeFile((dir / "keep.dxf").string(), "precious");
  // No (Enter), then another name; the end of the script at the question
  // replaces nothing either.
  ProcessResult declined =
      runProcess({corvanePath(), "run", "drawing.dxf", "-"}, "SAVEAS keep\n\nother\nSAVEAS keep\n", dir.string());
  EXPECT_EQ(readFile((dir / "keep.dxf").string()), "precious");
  EXPECT_EQ(readFile((dir / "other.dxf").string()), drawing());
  EXPECT_EQ(occurrences(declined.out, "keep.dxf already exists.\nDo you want to replace it? <N>: "), 2u)
      << declined.out;
  EXPECT_EQ(declined.status, 0) << declined.err;
  ProcessResult replaced =
      runProcess({corvanePath(), "run", "drawing.dxf", "-"}, "SAVEAS keep.DXF\n", dir.string());
  EXPECT_EQ(readFile((dir / "keep.dxf").string()), "precious") << "a name that differs in case is another file";
  ProcessResult yes = runProcess({corvanePath(), "run", "drawing.dxf", "-"}, "SAVEAS keep\nyes\n", dir.string());
  EXPECT_EQ(readFile((dir / "keep.dxf").string()), drawing()) << yes.out;
  // SAVEAS to the drawing's own file is SAVE: nothing to ask.
  ProcessResult own = runProcess({corvanePath(), "run", "drawing.dxf", "-"}, "SAVEAS\n\n", dir.string());
  EXPECT_EQ(own.out.find("replace it?"), std::string::npos) << own.out;
  EXPECT_NE(own.out.find("Saved drawing.dxf."), std::string::npos) << own.out;
  fs::remove_all(dir);
}

TEST(ScriptSteps, FilePromptsExpandTheHomeFolder) {
  fs::path dir = makeTempDir();
  fs::create_directory(dir / "home");
  writeFile((dir / "drawing.dxf").string(), drawing());
  ProcessResult r = runProcess({corvanePath(), "run", "drawing.dxf", "-"},
                               "SAVEAS ~/saved\nvrmlout\nall\n\n\"~/the world\"\nSAVEAS ~\n",
                               dir.string(), {"HOME=" + (dir / "home").string()});
  EXPECT_EQ(filesIn((dir / "home").string()), (std::vector<std::string>{"saved.dxf", "the world.wrl"})) << r.out;
  // "~" alone is the home folder: not a name for a drawing.
  EXPECT_EQ(r.status, 4) << r.out;
  EXPECT_NE(r.err.find("/home: a folder; SAVEAS FOLDER/NAME.dxf saves the drawing in it"), std::string::npos) << r.err;
  fs::remove_all(dir);
}

TEST(ScriptSteps, WordsAfterACommandKeepQuotesAndLayerNamesTogether) {
  ScriptRun run = runScript(drawing(), "LIST layer ROOF WALLS\n\nvrmlout all \"\" \"a world\"\n");
  const std::string& out = run.result.out;
  EXPECT_EQ(run.result.status, 0) << out << run.result.err;
  EXPECT_NE(out.find("Select objects: layer ROOF WALLS\n3 found\n"), std::string::npos) << out;
  EXPECT_EQ(occurrences(out, "Handle = "), 3u) << out;
  EXPECT_TRUE(fs::exists(run.dir + "/a world.wrl")) << out;
}

TEST(ScriptSteps, VrmlpropAsksAgainAfterAPickOfAKindItCantTake) {
  // 2B is a line: the command says which kinds it takes and asks again.
  ScriptRun run = runScript(drawing(), "vrmlprop\n2B\n2A\n@1018 http://a\n@1\n(vrml_geturl (handent \"2A\"))\n",
                            {"--keep-going"});
  const std::string& out = run.result.out;
  EXPECT_NE(out.find("Invalid object type.\nLINE 2B is not an object the export converts; pick a 3D face, 2D solid, "
                     "polyface or polygon mesh, 3D solid or body (Enter ends).\nSelect object: 2A\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("(\"http://a\" nil)"), std::string::npos) << out;
  // Enter ends it; in a script that stops at failures, the bad pick ends it.
  ScriptRun ended = runScript(drawing(), "vrmlprop\n2B\n\n(princ \"next\")\n", {"--keep-going"});
  EXPECT_NE(ended.result.out.find("(Enter ends).\nSelect object: \n\nCommand: (princ \"next\")"), std::string::npos)
      << ended.result.out;
  ScriptRun stopped = runScript(drawing(), "vrmlprop\n2B\n2A\n");
  EXPECT_EQ(stopped.result.status, 4);
  EXPECT_EQ(stopped.result.out.find("VRML Properties"), std::string::npos) << stopped.result.out;
}

TEST(ScriptSteps, AnOpenListExpressionGoesOnOnTheNextLine) {
  ScriptRun run = runScript(drawing(), "(defun twice (x)\n  (* 2 x))\n(twice\n21)\n(princ \"open\n^C\n(princ 1)\n");
  const std::string& out = run.result.out;
  EXPECT_EQ(run.result.status, 0) << out << run.result.err;
  EXPECT_NE(out.find("(defun twice (x)\n(_>   (* 2 x))\nTWICE\n"), std::string::npos) << out;
  EXPECT_NE(out.find("(twice\n(_> 21)\n42\n"), std::string::npos) << out;
  // ^C drops what was typed.
  EXPECT_NE(out.find("(_> *Cancel*\n\nCommand: (princ 1)\n11\n"), std::string::npos) << out;
  // The end of the script leaves the expression's error.
  ScriptRun ended = runScript(drawing(), "(princ\n");
  EXPECT_NE(ended.result.out.find("; error: malformed list on input"), std::string::npos) << ended.result.out;
  EXPECT_EQ(ended.result.status, 4);
}

TEST(ScriptSteps, AnEmptyLineInAScriptRepeatsNothing) {
  ScriptRun run = runScript(drawing(), "LIST\n2A\n\n\n\n");
  EXPECT_EQ(occurrences(run.result.out, "Select objects:"), 2u) << run.result.out;
}

// The README's script and list expressions, as the README shows them, on a
// copy of the bundled sample.
TEST(ScriptSteps, TheReadmesExamplesRunAsWritten) {
  std::string readme = readFile(std::string(CORVANE_SOURCE_DIR) + "/README.md");
  ASSERT_FALSE(readme.empty());
  // The script: the fenced block after "### Scripts".
  size_t scripts = readme.find("### Scripts");
  ASSERT_NE(scripts, std::string::npos);
  size_t open = readme.find("```\n", scripts);
  size_t close = readme.find("```\n", open + 4);
  ASSERT_NE(close, std::string::npos);
  std::string script = readme.substr(open + 4, close - open - 4);
  // The list expressions: the indented block after "List expressions"; a
  // pick answers (entsel).
  size_t list = readme.find("List expressions, for example:\n\n");
  ASSERT_NE(list, std::string::npos);
  std::string expressions;
  for (size_t at = list + 32; readme.compare(at, 4, "    ") == 0;) {
    size_t end = readme.find('\n', at);
    std::string line = readme.substr(at + 4, end - at - 4);
    expressions += line + "\n";
    if (line.find("(entsel)") != std::string::npos) expressions += "54\n";
    at = end + 1;
  }
  ASSERT_GE(occurrences(expressions, "\n"), 6u) << expressions;
  fs::path dir = makeTempDir();
  fs::copy_file(std::string(CORVANE_BIN_DIR) + "/examples/pavilion.dxf", dir / "pavilion.dxf");
  writeFile((dir / "script.txt").string(), script);
  writeFile((dir / "expressions.txt").string(), expressions);
  for (const char* file : {"script.txt", "expressions.txt"}) {
    ProcessResult r = runProcess({corvanePath(), "run", "pavilion.dxf", file}, "", dir.string());
    EXPECT_EQ(r.status, 0) << file << "\n" << r.out << r.err;
    EXPECT_EQ(r.out.find("Usage:"), std::string::npos) << file << "\n" << r.out;
    EXPECT_EQ(r.out.find("nil\n\nCommand: (entmake"), std::string::npos) << r.out;
  }
  std::string saved = readFile((dir / "pavilion.dxf").string());
  EXPECT_NE(saved.find("https://example.com/roof.html"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir / "out.wrl"));
  fs::remove_all(dir);
}

} // namespace
} // namespace corvane::testing
