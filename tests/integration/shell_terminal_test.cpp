// corvane shell at a real terminal: tmux runs it, the tests type keys and
// read the screen.
#include <gtest/gtest.h>

#include "support/tmux_session.h"
#include "test_drawing.h"

namespace corvane::testing {
namespace {

class ShellTerminal : public ::testing::Test {
protected:
  void SetUp() override {
    if (!TmuxSession::available()) GTEST_SKIP() << "tmux missing";
    dir_ = makeTempDir();
    TestDrawing d;
    d.appId("VRML_Application").appId("PE_URL").appId("VRML_Url_Data");
    d.face("2A", "0", 1).face("2B", "0", 2, 5);
    drawing_ = d.text();
    writeFile(dir_ + "/d.dxf", drawing_);
  }
  void TearDown() override { std::system(("rm -rf " + shellQuoted(dir_)).c_str()); }

  std::unique_ptr<TmuxSession> shell(int cols = 100, int rows = 30) {
    auto tmux = std::make_unique<TmuxSession>(
        "cd " + shellQuoted(dir_) + " && " + shellQuoted(corvanePath()) + " shell d.dxf", cols, rows);
    EXPECT_TRUE(tmux->started());
    EXPECT_TRUE(tmux->waitFor("Command:")) << tmux->screen();
    return tmux;
  }

  std::string dir_;
  std::string drawing_;
};

TEST_F(ShellTerminal, PromptsShowOnceAndCtrlCOrEscapeCancelThem) {
  auto tmux = shell();
  tmux->keys("vrmlout Enter");
  ASSERT_TRUE(tmux->waitFor("Select objects:")) << tmux->screen();
  tmux->type("2A");
  // The module's prompt and the selection's are one, and typing over it
  // leaves it whole.
  ASSERT_TRUE(tmux->waitFor("\nSelect objects: 2A\n")) << tmux->screen();
  EXPECT_EQ(TmuxSession::count(tmux->screen(), "Select objects:"), 1u) << tmux->screen();
  tmux->keys("C-c");
  ASSERT_TRUE(tmux->waitFor("*Cancel*")) << tmux->screen();
  tmux->keys("vrmlout Enter");
  ASSERT_TRUE(tmux->waitFor("Select objects:", 2)) << tmux->screen();
  tmux->keys("Escape");
  ASSERT_TRUE(tmux->waitFor("*Cancel*", 2)) << tmux->screen();
  // At "Command: " they cancel nothing and say how to leave.
  tmux->keys("C-c");
  ASSERT_TRUE(tmux->waitFor("Type QUIT or press Ctrl-D to leave.")) << tmux->screen();
  tmux->keys("Escape");
  ASSERT_TRUE(tmux->waitFor("Type QUIT or press Ctrl-D to leave.", 2)) << tmux->screen();
  // And they stop an expression that would run forever.
  tmux->type("(while t)");
  tmux->keys("Enter");
  ASSERT_TRUE(tmux->waitFor("Command: (while t)")) << tmux->screen();
  tmux->keys("C-c");
  ASSERT_TRUE(tmux->waitFor("; error: Function cancelled")) << tmux->screen();
  EXPECT_EQ(TmuxSession::count(tmux->screen(true), "EXIT"), 0u);
  tmux->keys("C-d");
  EXPECT_TRUE(tmux->waitFor("EXIT 0")) << tmux->screen();
}

TEST_F(ShellTerminal, CtrlCCancelsTheDialogAndCtrlDAsksBeforeDiscarding) {
  auto tmux = shell();
  tmux->keys("vrmlprop Enter 2A Enter");
  ASSERT_TRUE(tmux->waitFor("VRML Properties")) << tmux->screen();
  tmux->type("x");
  tmux->keys("C-c");
  ASSERT_TRUE(tmux->waitFor("*Cancel*")) << tmux->screen();
  tmux->type("(vrml_geturl (handent \"2A\"))");
  tmux->keys("Enter");
  ASSERT_TRUE(tmux->waitFor("\n(nil nil)\n")) << tmux->screen(); // nothing stored
  tmux->type("(regapp \"CHANGED\")");
  tmux->keys("Enter");
  tmux->keys("C-d");
  ASSERT_TRUE(tmux->waitFor("Discard them? <N>:")) << tmux->screen();
  tmux->keys("C-d"); // no
  ASSERT_TRUE(tmux->waitFor("*Cancel*", 2)) << tmux->screen();
  tmux->keys("C-d");
  ASSERT_TRUE(tmux->waitFor("Discard them? <N>:", 2)) << tmux->screen();
  EXPECT_EQ(TmuxSession::count(tmux->screen(true), "EXIT"), 0u);
  tmux->keys("y Enter");
  EXPECT_TRUE(tmux->waitFor("EXIT 0")) << tmux->screen();
  EXPECT_EQ(readFile(dir_ + "/d.dxf"), drawing_);
}

TEST_F(ShellTerminal, ADialogLargerThanTheTerminalIsAnsweredOnTheCommandLine) {
  auto tmux = shell(60, 15);
  tmux->keys("vrmlprop Enter 2A Enter");
  ASSERT_TRUE(tmux->waitFor("The dialog needs a 76x19 terminal; this one is 60x15.")) << tmux->screen();
  tmux->type("@1018 http://a.b");
  tmux->keys("Enter");
  tmux->type("@1");
  tmux->keys("Enter");
  ASSERT_TRUE(tmux->waitFor("[VRML Properties: OK]")) << tmux->screen();
  tmux->type("(vrml_geturl (handent \"2A\"))");
  tmux->keys("Enter");
  EXPECT_TRUE(tmux->waitFor("(\"http://a.b\" nil)")) << tmux->screen();
  tmux->keys("QUIT Enter y Enter");
}

TEST_F(ShellTerminal, HelpKeepsTheIndentationOfItsText) {
  auto tmux = shell(50, 40);
  tmux->keys("vrmlhelp Enter");
  ASSERT_TRUE(tmux->waitFor("Help Topics")) << tmux->screen();
  tmux->keys("2 Enter");
  // Wrapped to the narrow screen, a described term keeps its description's
  // column.
  EXPECT_TRUE(tmux->waitFor("\n    URL Link        the address the object links\n"
                            "                    to in the world; the export\n"
                            "                    puts a WWWAnchor around the\n"))
      << tmux->screen();
  tmux->keys("Escape Escape");
  ASSERT_TRUE(tmux->waitFor("Command:", 2)) << tmux->screen();
  tmux->keys("C-d");
  EXPECT_TRUE(tmux->waitFor("EXIT 0")) << tmux->screen();
}

} // namespace
} // namespace corvane::testing
