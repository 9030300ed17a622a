// Unsaved work in the shell outlives the session: a stop signal, a terminal
// that goes away or a crash after an automatic save leave a recovery copy
// beside the drawing, which is never touched itself; the user's word (SAVE,
// a discarding QUIT) removes the copy, and the next session names it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "support/tmux_session.h"
#include "test_drawing.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

std::string drawingWithLinkApps() {
  TestDrawing d;
  d.appId("VRML_Application").appId("PE_URL").appId("VRML_Url_Data");
  d.face("2A", "0", 1).face("2B", "0", 2, 5);
  return d.text();
}

class UnsavedWork : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = makeTempDir();
    drawing_ = drawingWithLinkApps();
    writeFile(dir_ + "/d.dxf", drawing_);
  }
  void TearDown() override {
    fs::remove_all(dir_);
    fs::remove(dir_ + ".err");
  }

  // corvane shell on d.dxf in tmux, its process id in pid_ and what it
  // says on stderr in the file errors() reads (both outside the drawing's
  // folder).
  std::unique_ptr<TmuxSession> shell(int cols = 100, int rows = 30) {
    std::string pidFile = dir_ + ".pid";
    auto tmux = std::make_unique<TmuxSession>(
        "cd " + shellQuoted(dir_) + " && sh -c " +
            shellQuoted("echo $$ > " + shellQuoted(pidFile) + "; exec " + shellQuoted(corvanePath()) +
                        " shell d.dxf 2>" + shellQuoted(dir_ + ".err")),
        cols, rows);
    EXPECT_TRUE(tmux->started());
    EXPECT_TRUE(tmux->waitFor("Command:")) << tmux->screen();
    pid_ = std::atoi(readFile(pidFile).c_str());
    fs::remove(pidFile);
    return tmux;
  }
  std::string errors() const { return readFile(dir_ + ".err"); }
  void command(TmuxSession& tmux, const std::string& line) {
    tmux.enter(line);
  }

  std::string dir_;
  std::string drawing_;
  pid_t pid_ = 0;
};

TEST_F(UnsavedWork, StopSignalsKeepUnsavedChangesBesideTheDrawing) {
  if (!TmuxSession::available()) GTEST_SKIP() << "tmux missing";
  for (int sig : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sig);
    // A terminal too small for the dialog: it is answered on the command line.
    auto tmux = shell(60, 15);
    command(*tmux, "vrmlprop");
    command(*tmux, "2A");
    ASSERT_TRUE(tmux->waitFor("The dialog needs")) << tmux->screen();
    command(*tmux, "@1018 http://kept.example");
    command(*tmux, "@1");
    command(*tmux, "(entmake '((0 . \"3DFACE\") (62 . 77) (10 0 0 0) (11 1 0 0) (12 1 1 0)))");
    ASSERT_TRUE(tmux->waitFor("\n((0 . \"3DFACE\") (62 . 77)")) << tmux->screen(true);
    ::kill(pid_, sig);
    ASSERT_TRUE(tmux->waitFor("EXIT 130")) << tmux->screen(true);
    EXPECT_EQ(errors(), std::string("corvane: stopped by a signal; unsaved changes to d.dxf are kept in "
                                    "d.recover.dxf\n"));
    EXPECT_EQ(readFile(dir_ + "/d.dxf"), drawing_);
    std::string back = runProcess({corvanePath(), "run", "d.recover.dxf", "-"},
                                  "(vrml_geturl (handent \"2A\"))\n(cdr (assoc 62 (entget (entlast))))\n", dir_)
                           .out;
    EXPECT_NE(back.find("\n(\"http://kept.example\" nil)\n"), std::string::npos) << back;
    EXPECT_NE(back.find("\n77\n"), std::string::npos) << back;

    // The next session names the copy and leaves it where it is.
    ProcessResult next = runProcess({corvanePath(), "run", "d.dxf", "-"}, "", dir_);
    EXPECT_EQ(next.err, "corvane: d.recover.dxf is a recovery copy newer than d.dxf: open it with "
                        "'corvane shell d.recover.dxf', then SAVEAS\n");
    EXPECT_EQ(filesIn(dir_), (std::vector<std::string>{"d.dxf", "d.recover.dxf"}));
    fs::remove(dir_ + "/d.recover.dxf");
  }
}

TEST_F(UnsavedWork, NoChangesNoCopy) {
  if (!TmuxSession::available()) GTEST_SKIP() << "tmux missing";
  auto tmux = shell();
  command(*tmux, "(vrml_geturl (handent \"2A\"))");
  ASSERT_TRUE(tmux->waitFor("(nil nil)")) << tmux->screen();
  ::kill(pid_, SIGTERM);
  ASSERT_TRUE(tmux->waitFor("EXIT 130")) << tmux->screen(true);
  EXPECT_EQ(errors(), "");
  EXPECT_EQ(filesIn(dir_), std::vector<std::string>{"d.dxf"});
}

TEST_F(UnsavedWork, AutomaticSavesCoverACrashAndGoWithSaveOrADiscardingQuit) {
  if (!TmuxSession::available()) GTEST_SKIP() << "tmux missing";
  {
    auto tmux = shell();
    command(*tmux, "(setvar \"SAVETIME\" 0.02)"); // 1.2 seconds
    command(*tmux, "(regapp \"FIRST\")");
    // Written while the prompt waits, and said above the line being typed.
    tmux->type("(regapp");
    ASSERT_TRUE(tmux->waitFor("\nAutomatic save to d.recover.dxf.\nCommand: (regapp")) << tmux->screen(true);
    ::kill(pid_, SIGKILL);
    ASSERT_TRUE(tmux->waitFor("EXIT 137")) << tmux->screen(true);
  }
  EXPECT_EQ(readFile(dir_ + "/d.dxf"), drawing_);
  EXPECT_NE(readFile(dir_ + "/d.recover.dxf").find("\nFIRST\n"), std::string::npos);
  fs::remove(dir_ + "/d.recover.dxf");

  auto tmux = shell();
  command(*tmux, "(setvar \"SAVETIME\" 0.02)");
  command(*tmux, "(regapp \"SECOND\")");
  ASSERT_TRUE(tmux->waitFor("Automatic save to d.recover.dxf.")) << tmux->screen(true);
  command(*tmux, "SAVE");
  ASSERT_TRUE(tmux->waitFor("Saved d.dxf.\n\nCommand:")) << tmux->screen(true);
  EXPECT_EQ(filesIn(dir_), std::vector<std::string>{"d.dxf"});
  command(*tmux, "(regapp \"THIRD\")");
  ASSERT_TRUE(tmux->waitFor("Automatic save to d.recover.dxf.", 2)) << tmux->screen(true);
  command(*tmux, "QUIT");
  command(*tmux, "y");
  ASSERT_TRUE(tmux->waitFor("EXIT 0")) << tmux->screen(true);
  EXPECT_EQ(filesIn(dir_), std::vector<std::string>{"d.dxf"});
  EXPECT_EQ(readFile(dir_ + "/d.dxf").find("THIRD"), std::string::npos);
}

// Without tmux: a shell whose input ends (a pipe) with changes unsaved.
TEST_F(UnsavedWork, ACopyIsWhatSaveWritesAndNeverReplacesAnotherSessionsCopy) {
  const std::string change = "(regapp \"MINE\")\n";
  ASSERT_EQ(::chmod((dir_ + "/d.dxf").c_str(), 0640), 0);
  ProcessResult first = runProcess({corvanePath(), "shell", "d.dxf"}, change, dir_);
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.err, "corvane: the input ended; unsaved changes to d.dxf are kept in d.recover.dxf\n");
  ProcessResult saved = runProcess({corvanePath(), "run", "d.dxf", "-"}, change + "SAVEAS\nsaved.dxf\n", dir_);
  EXPECT_EQ(readFile(dir_ + "/d.recover.dxf"), readFile(dir_ + "/saved.dxf"));
  EXPECT_EQ(fs::status(dir_ + "/d.recover.dxf").permissions(), fs::perms(0640));
  fs::remove(dir_ + "/saved.dxf");

  // The first copy stays as it is; the second session's goes beside it.
  std::string firstCopy = readFile(dir_ + "/d.recover.dxf");
  ProcessResult second = runProcess({corvanePath(), "shell", "d.dxf"}, "(regapp \"OTHER\")\n", dir_);
  EXPECT_NE(second.err.find("d.recover.dxf is a recovery copy newer than d.dxf"), std::string::npos) << second.err;
  EXPECT_NE(second.err.find("kept in d.recover-2.dxf\n"), std::string::npos) << second.err;
  EXPECT_EQ(readFile(dir_ + "/d.recover.dxf"), firstCopy);
  EXPECT_NE(readFile(dir_ + "/d.recover-2.dxf").find("OTHER"), std::string::npos);
  EXPECT_EQ(readFile(dir_ + "/d.dxf"), drawing_);

  // A script's end is its QUIT: changes go with a notice, and no copy.
  ProcessResult script = runProcess({corvanePath(), "run", "d.dxf", "-"}, change, dir_);
  EXPECT_NE(script.out.find("Unsaved changes to d.dxf discarded."), std::string::npos) << script.out;
  EXPECT_EQ(filesIn(dir_), (std::vector<std::string>{"d.dxf", "d.recover-2.dxf", "d.recover.dxf"}));
}

TEST_F(UnsavedWork, AFolderThatCantBeWrittenSendsTheCopyToTheTemporaryFolder) {
  const std::string tmp = makeTempDir();
  ProcessResult r = runProcess({corvanePath(), "shell", "d.dxf"}, "(regapp \"MINE\")\n", dir_,
                               withShim({"TMPDIR=" + tmp, "CORVANE_FAULT_DIR=" + dir_, "CORVANE_FAULT_WRITE=ENOSPC"}));
  std::smatch where;
  ASSERT_TRUE(std::regex_search(r.err, where, std::regex("kept in (" + tmp + "/d-[0-9a-f]{8}\\.recover\\.dxf)\n")))
      << r.err;
  EXPECT_EQ(filesIn(dir_), std::vector<std::string>{"d.dxf"});
  EXPECT_EQ(fs::status(where[1].str()).permissions(), fs::perms(0600));
  EXPECT_NE(readFile(where[1].str()).find("MINE"), std::string::npos);
  // The next session, wherever it is started from, finds it.
  ProcessResult next = runProcess({corvanePath(), "run", dir_ + "/d.dxf", "-"}, "", "/", {"TMPDIR=" + tmp});
  EXPECT_NE(next.err.find(where[1].str() + " is a recovery copy newer than " + dir_ + "/d.dxf"), std::string::npos)
      << next.err;
  fs::remove_all(tmp);
}

TEST(SaveTime, IsMinutesAndNeverNegative) {
  std::string out = runProcess({corvanePath(), "run", "-", "-", "--keep-going"},
                               "(getvar \"SAVETIME\")\n(setvar \"SAVETIME\" -1)\n(setvar \"SAVETIME\" 0)\n")
                        .out;
  EXPECT_NE(out.find("\n10.0\n"), std::string::npos) << out;
  EXPECT_NE(out.find("; error: variable setting rejected: \"SAVETIME\" -1"), std::string::npos) << out;
  EXPECT_NE(out.find("(setvar \"SAVETIME\" 0)\n0\n"), std::string::npos) << out;
}

} // namespace
} // namespace corvane::testing
