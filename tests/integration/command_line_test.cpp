// The command line as a user types it: help wherever it is asked for,
// values after '=' or as the next word, faults named for what they are,
// the world on standard output, and what the single export prints where.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/program.h"
#include "support/tmux_session.h"
#include "test_drawing.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

TEST(CommandLine, HelpWhereverItIsAskedFor) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> asked = {
      {{"-h"}, "usage: corvane [--module PATH]"},
      {{"--help"}, "usage: corvane [--module PATH]"},
      {{"shell", "-h"}, "usage: corvane shell [DRAWING]"},
      {{"run", "-h"}, "usage: corvane run DRAWING SCRIPT"},
      {{"export", "-h"}, "usage: corvane export [DRAWING|FOLDER]..."},
      {{"export", "house.dxf", "--help"}, "usage: corvane export [DRAWING|FOLDER]..."},
      {{"--module", "x.arx", "shell", "--help"}, "usage: corvane shell [DRAWING]"},
  };
  for (const auto& [args, usage] : asked) {
    InProcessRun run = runInProcess(args);
    EXPECT_EQ(run.status, 0) << args.back();
    EXPECT_EQ(run.out.rfind(usage, 0), 0u) << args.back() << run.out;
    EXPECT_EQ(run.err, "");
  }
  // Every option of export is told in its help.
  InProcessRun help = runInProcess({"export", "--help"});
  for (const char* option : {"-o, --output OUT", "-r, --recursive", "-j, --jobs N", "--layer NAME", "--keep-blocks",
                             "--json", "--progress"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

TEST(CommandLine, FaultsAreNamedForWhatTheyAre) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> faults = {
      {{"export", "-o"}, "export: option '-o' needs a value (OUT)\nTry 'corvane export --help'.\n"},
      {{"export", "a.dxf", "--layer", "--json"}, "export: option '--layer' needs a value (NAME)\nTry 'corvane export --help'.\n"},
      {{"export", "--output"}, "export: option '--output' needs a value (OUT)\nTry 'corvane export --help'.\n"},
      {{"--module"}, "option '--module' needs a value (PATH)\nTry 'corvane --help'.\n"},
      {{"export", "--keep-blocks=yes"}, "export: option '--keep-blocks' takes no value\nTry 'corvane export --help'.\n"},
      {{"export", "-j", "0"},
       "export: -j takes the number of drawings to export at once (1 to 1024), not '0'\nTry 'corvane export --help'.\n"},
      {{"export", "--jobs=many"},
       "export: -j takes the number of drawings to export at once (1 to 1024), not 'many'\nTry 'corvane export --help'.\n"},
      {{"export", "-rx"}, "export: unknown option '-rx'\nTry 'corvane export --help'.\n"},
      {{"--layer", "ROOF", "export"},
       "option '--layer' belongs to export (corvane export ... --layer)\nTry 'corvane export --help'.\n"},
      {{"shell", "-o", "x"}, "shell: option '-o' belongs to export (corvane export ... -o)\nTry 'corvane shell --help'.\n"},
      {{"frobnicate"}, "unknown command 'frobnicate'\nTry 'corvane --help'.\n"},
      {{"pavilion.dxf"}, "'pavilion.dxf' is not a command; to open the drawing: corvane shell pavilion.dxf; to "
                         "export it: corvane export pavilion.dxf\nTry 'corvane --help'.\n"},
      {{"House.DWG"}, "'House.DWG' is not a command; to open the drawing: corvane shell House.DWG; to export it: "
                      "corvane export House.DWG\nTry 'corvane --help'.\n"},
  };
  for (const auto& [args, said] : faults) {
    InProcessRun run = runInProcess(args);
    EXPECT_EQ(run.status, 2) << args[0];
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "corvane: " + said);
  }
}

TEST(CommandLine, ValuesFollowEqualsOrComeAsTheNextWord) {
  ProgramOptions o;
  std::string error;
  ASSERT_TRUE(parseCommandLine({"--module=m.arx", "--support", "s1", "export", "--layer=ROOF", "a.dxf", "--layer",
                                "WALL", "-j4", "--output=out", "-r", "--", "-odd.dxf"},
                               o, error))
      << error;
  EXPECT_EQ(o.session.modulePath, "m.arx");
  EXPECT_EQ(o.session.supportDirs, std::vector<std::string>{"s1"});
  EXPECT_EQ(o.command, "export");
  EXPECT_EQ(o.exportOptions.layers, (std::vector<std::string>{"ROOF", "WALL"}));
  EXPECT_EQ(o.exportOptions.drawings, (std::vector<std::string>{"a.dxf", "-odd.dxf"}));
  EXPECT_EQ(o.exportOptions.jobs, 4u);
  EXPECT_EQ(o.exportOptions.output, "out");
  EXPECT_TRUE(o.exportOptions.recursive);
  ASSERT_TRUE(parseCommandLine({"export", "-o", "-", "--jobs", "2", "-oworld.wrl"}, o, error)) << error;
  EXPECT_EQ(o.exportOptions.output, "world.wrl");
  EXPECT_EQ(o.exportOptions.jobs, 2u);
  // The layer named after '=' picks what the next word picks.
  TestDrawing d;
  d.layer("ROOF", 1).face("2A", "ROOF", -1).face("2B", "0", 2, 20);
  std::string dir = makeTempDir();
  writeFile(dir + "/d.dxf", d.text());
  ProcessResult equals = runProcess({corvanePath(), "export", "d.dxf", "--layer=ROOF", "--output=eq.wrl"}, "", dir);
  ProcessResult word = runProcess({corvanePath(), "export", "d.dxf", "--layer", "ROOF", "-o", "word.wrl"}, "", dir);
  EXPECT_EQ(equals.status, 0) << equals.err;
  EXPECT_EQ(equals.out, "1 objects converted.\n");
  EXPECT_TRUE(readFile(dir + "/eq.wrl") == readFile(dir + "/word.wrl"));
  fs::remove_all(dir);
}

class SingleExport : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = makeTempDir();
    TestDrawing d;
    d.face("2A", "0", 1).line("2B", "0", 1).polyface("2C", "0", 5);
    writeFile(dir_ + "/d.dxf", d.text());
    TestDrawing lines;
    lines.line("2A", "0", 1);
    writeFile(dir_ + "/lines.dxf", lines.text());
    fs::create_directories(dir_ + "/tmp");
  }
  void TearDown() override { fs::remove_all(dir_); }

  ProcessResult corvane(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"/bin/sh", "-c", "exec \"$0\" \"$@\"" + redirect_, corvanePath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProcess(argv, "", dir_, {"TMPDIR=" + dir_ + "/tmp"});
  }

  std::string dir_;
  std::string redirect_;
};

TEST_F(SingleExport, InAPipeTheReportWithoutGreetingOrProgress) {
  ProcessResult r = corvane({"export", "d.dxf"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "2 objects converted.\n1 invalid objects ignored.\n");
  EXPECT_EQ(r.err, "");
  // --progress: every record as the module prints it; still no greeting.
  ProcessResult shown = corvane({"export", "d.dxf", "--progress"});
  EXPECT_EQ(shown.out, "\rProcessing 0 of 3.\rProcessing 1 of 3.\rProcessing 2 of 3.\n2 objects converted.\n"
                       "1 invalid objects ignored.\n");
  // corvane run keeps the module's whole transcript.
  ProcessResult script = runProcess({corvanePath(), "run", "d.dxf", "-"}, "(vrml_wrlout (ssget \"X\") \"s.wrl\")\n",
                                    dir_);
  EXPECT_NE(script.out.find("\nCorvane loaded.\n"), std::string::npos) << script.out;
  EXPECT_NE(script.out.find("\rProcessing 0 of 3.\rProcessing 1 of 3."), std::string::npos) << script.out;
}

TEST_F(SingleExport, AtATerminalTheProgressLineAndTheReport) {
  if (!TmuxSession::available()) GTEST_SKIP() << "tmux missing";
  TestDrawing d;
  for (int i = 0; i < 30; ++i) d.face(std::to_string(0x100 + i), "0", 1, i * 12.0);
  writeFile(dir_ + "/many.dxf", d.text());
  TmuxSession tmux("cd " + shellQuoted(dir_) + " && " + shellAssignments(withShim({"CORVANE_FAULT_SLOW_MS=30"})) +
                       shellQuoted(corvanePath()) + " export many.dxf",
                   100, 10);
  ASSERT_TRUE(tmux.started());
  ASSERT_TRUE(tmux.waitFor("Processing 1")) << tmux.screen();
  ASSERT_TRUE(tmux.waitFor("EXIT 0")) << tmux.screen();
  // The line ends as the module left it, then the report; no greeting.
  EXPECT_NE(tmux.screen().find("Processing 29 of 30.\n30 objects converted.\nEXIT 0"), std::string::npos)
      << tmux.screen();
  EXPECT_EQ(tmux.screen(true).find("Corvane loaded"), std::string::npos) << tmux.screen(true);
}

TEST_F(SingleExport, DashWritesTheWorldToStandardOutputOnlyWhenItIsWhole) {
  ProcessResult file = corvane({"export", "d.dxf", "-o", "d.wrl"});
  ASSERT_EQ(file.status, 0) << file.err;
  ProcessResult piped = corvane({"export", "d.dxf", "-o", "-"});
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_TRUE(piped.out == readFile(dir_ + "/d.wrl")) << piped.out.substr(0, 200);
  EXPECT_EQ(piped.err, file.out); // the report, on standard error
  EXPECT_TRUE(fs::is_empty(dir_ + "/tmp"));
  // Nothing converted: nothing on standard output, and why on standard error.
  ProcessResult none = corvane({"export", "lines.dxf", "-o", "-"});
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, "corvane: nothing converted: 1 line, which the export does not convert\n");
  // A standard output that can't take the world is a failure.
  redirect_ = " > /dev/full";
  ProcessResult full = corvane({"export", "d.dxf", "-o", "-"});
  EXPECT_EQ(full.status, 2);
  EXPECT_NE(full.err.find("corvane: cannot write the world to standard output: the disk is full\n"),
            std::string::npos) << full.err;
  EXPECT_TRUE(fs::is_empty(dir_ + "/tmp"));
  redirect_.clear();
  InProcessRun both = runInProcess({"export", dir_ + "/d.dxf", "-o", "-", "--json"});
  EXPECT_EQ(both.status, 2);
  EXPECT_EQ(both.err, "corvane: export: --json and -o - both write standard output\nTry 'corvane export --help'.\n");
}

TEST_F(SingleExport, AnExistingFolderTakesTheWorldByTheDrawingsName) {
  fs::create_directories(dir_ + "/worlds");
  ProcessResult r = corvane({"export", "d.dxf", "-o", "worlds"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(filesIn(dir_ + "/worlds"), std::vector<std::string>{"d.wrl"});
}

TEST(CommandLineVersion, NamesTheProgramAndTheModuleAsItsAboutBoxDoes) {
  ProcessResult version = runProcess({corvanePath(), "--version"});
  EXPECT_EQ(version.status, 0) << version.err;
  // The About box, read through the shell, is the independent word.
  ProcessResult about = runProcess({corvanePath(), "run", "-", "-"}, "vrmlabout\n@1\n");
  size_t at = about.out.find("Version: ");
  ASSERT_NE(at, std::string::npos) << about.out;
  std::string stated = about.out.substr(at + 9, about.out.find_first_of("\" \n", at + 9) - at - 9);
  EXPECT_EQ(version.out, std::string("corvane 1.0.0\nVrml.arx ") + stated + "\n");
  EXPECT_EQ(stated, "1.0.61");
  ProcessResult missing = runProcess({corvanePath(), "--module", "/nonexistent/Vrml.arx", "--version"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.out, "corvane 1.0.0\n");
  EXPECT_NE(missing.err.find("cannot load module /nonexistent/Vrml.arx"), std::string::npos) << missing.err;
}

} // namespace
} // namespace corvane::testing
