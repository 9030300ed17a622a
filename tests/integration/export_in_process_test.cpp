// The corvane program run inside the test (runProgram with string streams)
// against the same program as a child process: what each prints, the
// worlds they write and their exit statuses must be the same, so that the
// streams a run is given carry everything it says.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "cli/program.h"
#include "runtime/host_services.h"
#include "test_drawing.h"

namespace corvane::testing {
namespace {

// corvane's arguments: this build's module and support files, then ARGS.
std::vector<std::string> withModule(std::vector<std::string> args) {
  args.insert(args.begin(), {"--module", modulePath(), "--support", CORVANE_BIN_DIR});
  return args;
}

ProcessResult runChild(const std::vector<std::string>& args) {
  std::vector<std::string> argv = withModule(args);
  argv.insert(argv.begin(), corvanePath());
  return runProcess(argv);
}

class ExportInProcess : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = makeTempDir();
    TestDrawing d;
    d.layer("ROOF", 1).face("2A", "ROOF", 1).solid("2B", "0", 3, 1.0).line("2C", "0", 2).polyface("2D", "ROOF", 5);
    drawing_ = dir_ + "/house.dxf";
    writeFile(drawing_, d.text());
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string dir_;
  std::string drawing_;
};

TEST_F(ExportInProcess, PrintsAndWritesWhatTheProgramDoes) {
  for (std::vector<std::string> options : {std::vector<std::string>{}, {"--keep-blocks"}, {"--layer", "ROOF"}}) {
    std::vector<std::string> inside = {"export", drawing_, "-o", dir_ + "/world.wrl"};
    std::vector<std::string> outside = {"export", drawing_, "-o", dir_ + "/child.wrl"};
    inside.insert(inside.end(), options.begin(), options.end());
    outside.insert(outside.end(), options.begin(), options.end());
    InProcessRun run = runInProcess(withModule(inside));
    ProcessResult child = runChild(outside);
    const std::string shown = options.empty() ? "(all)" : options[0];
    EXPECT_EQ(run.status, 0) << shown << run.err;
    EXPECT_EQ(run.status, child.status) << shown;
    EXPECT_EQ(run.out, child.out) << shown;
    EXPECT_EQ(run.err, child.err) << shown;
    EXPECT_NE(run.out.find("objects converted."), std::string::npos) << shown << run.out;
    EXPECT_EQ(readFile(dir_ + "/world.wrl"), readFile(dir_ + "/child.wrl")) << shown;
  }
}

TEST_F(ExportInProcess, AnOutputFileFailureEndsOnlyItsOwnSession) {
  const std::string missing = dir_ + "/missing/world.wrl";
  InProcessRun failed = runInProcess(withModule({"export", drawing_, "-o", missing}));
  ProcessResult child = runChild({"export", drawing_, "-o", missing});
  EXPECT_EQ(failed.status, 2);
  EXPECT_EQ(failed.err, "corvane: cannot write " + missing + ": the folder " + dir_ + "/missing does not exist\n");
  EXPECT_NE(failed.out.find("Cannot create output file."), std::string::npos) << failed.out;
  EXPECT_EQ(failed.status, child.status);
  EXPECT_EQ(failed.out, child.out);
  EXPECT_EQ(failed.err, child.err);

  // The next session in the process starts without the failure, and the
  // export naming the open drawing is refused with the drawing's reason.
  InProcessRun next = runInProcess(withModule({"export", drawing_, "-o", dir_ + "/world.wrl"}));
  EXPECT_EQ(next.status, 0) << next.err;
  EXPECT_EQ(next.err, "");
  InProcessRun own = runInProcess(withModule({"export", drawing_, "-o", drawing_}));
  EXPECT_EQ(own.status, 2);
  EXPECT_EQ(own.err, "corvane: cannot write " + drawing_ +
                         ": it is the drawing that is open; only SAVE and SAVEAS write it\n");
}

TEST_F(ExportInProcess, NothingOnTheLayersIsStatusOne) {
  InProcessRun run = runInProcess(withModule({"export", drawing_, "-o", dir_ + "/world.wrl", "--layer", "NONE"}));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "Nothing to export.\n");
  EXPECT_EQ(run.err, "corvane: nothing converted: no object is on layer NONE\n");
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/world.wrl"));
}

TEST_F(ExportInProcess, UsageErrorsAndHelpGoToTheGivenStreams) {
  InProcessRun bad = runInProcess({"export", "--bogus"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(bad.err, "corvane: export: unknown option '--bogus'\nTry 'corvane export --help'.\n");
  InProcessRun help = runInProcess({"export", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: corvane export [DRAWING|FOLDER]...", 0), 0u) << help.out;
  EXPECT_EQ(help.err, "");
  InProcessRun none = runInProcess({});
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.err, "corvane: no command given\nTry 'corvane --help'.\n");
}

TEST_F(ExportInProcess, AScriptOnTheInputStreamRunsAndTheStreamsAreLetGoAfterwards) {
  std::istringstream in("(+ 1 2)\n(vrml_geturl (handent \"2A\"))\n");
  std::ostringstream out, err;
  EXPECT_EQ(runProgram(withModule({"run", drawing_, "-"}), in, OutputStreams{out, err}), 0) << err.str();
  EXPECT_NE(out.str().find("Command: (+ 1 2)\n3\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("(nil nil)"), std::string::npos) << out.str();
  // Once the session has ended, what the host prints goes to the process's
  // streams again, not to the session's.
  const std::string printed = out.str(), said = err.str();
  hostPrint("\n");
  hostError("\n");
  EXPECT_EQ(out.str(), printed);
  EXPECT_EQ(err.str(), said);
}

} // namespace
} // namespace corvane::testing
