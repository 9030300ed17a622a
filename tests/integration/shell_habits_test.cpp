// The habits a CAD user brings to corvane shell, at a real terminal: Enter
// or Space repeats the last command, an open list expression goes on, the
// replace question and a refused pick ask again.
#include <gtest/gtest.h>

#include "support/tmux_session.h"
#include "test_drawing.h"

namespace corvane::testing {
namespace {

class ShellHabits : public ::testing::Test {
protected:
  void SetUp() override {
    if (!TmuxSession::available()) GTEST_SKIP() << "tmux missing";
    dir_ = makeTempDir();
    TestDrawing d;
    d.face("2A", "0", 1).line("2B", "0", 2);
    writeFile(dir_ + "/d.dxf", d.text());
  }
  void TearDown() override { std::system(("rm -rf " + shellQuoted(dir_)).c_str()); }

  std::unique_ptr<TmuxSession> shell() {
    auto tmux = std::make_unique<TmuxSession>(
        "cd " + shellQuoted(dir_) + " && " + shellQuoted(corvanePath()) + " shell d.dxf", 100, 40);
    EXPECT_TRUE(tmux->started());
    EXPECT_TRUE(tmux->waitFor("Command:")) << tmux->screen();
    return tmux;
  }

  std::string dir_;
};

TEST_F(ShellHabits, EnterOrSpaceOnAnEmptyCommandLineRepeatsTheLastCommand) {
  auto tmux = shell();
  // Nothing to repeat yet: Enter only shows the prompt again.
  tmux->keys("Enter");
  tmux->enter("(+ 1 2)");
  ASSERT_TRUE(tmux->waitFor("\n3\n")) << tmux->screen();
  tmux->keys("LIST Enter 2A Enter Enter");
  ASSERT_TRUE(tmux->waitFor("3DFACE  Handle = 2A")) << tmux->screen();
  // A list expression is not a command: Enter repeats LIST.
  tmux->enter("(+ 1 2)");
  tmux->keys("Enter");
  ASSERT_TRUE(tmux->waitFor("Command:\nLIST\n")) << tmux->screen();
  ASSERT_TRUE(tmux->waitFor("Select objects:", 2)) << tmux->screen();
  tmux->keys("2B Enter Enter");
  ASSERT_TRUE(tmux->waitFor("LINE  Handle = 2B")) << tmux->screen();
  tmux->keys("Space");
  ASSERT_TRUE(tmux->waitFor("Select objects:", 3)) << tmux->screen();
  // At other prompts Space is a space.
  tmux->type("2A 2B");
  tmux->keys("Enter Enter");
  ASSERT_TRUE(tmux->waitFor("Select objects: 2A 2B\n2 found")) << tmux->screen();
  tmux->keys("C-d");
  EXPECT_TRUE(tmux->waitFor("EXIT 0")) << tmux->screen();
}

TEST_F(ShellHabits, AnOpenListExpressionAsksForTheRest) {
  auto tmux = shell();
  tmux->enter("(defun twice (x)");
  ASSERT_TRUE(tmux->waitFor("(_>")) << tmux->screen();
  tmux->enter("(* 2 x))");
  ASSERT_TRUE(tmux->waitFor("\nTWICE\n")) << tmux->screen();
  tmux->enter("(twice \"not closed");
  ASSERT_TRUE(tmux->waitFor("(_>", 2)) << tmux->screen();
  // Ctrl-C drops it and comes back to the command line.
  tmux->keys("C-c");
  ASSERT_TRUE(tmux->waitFor("*Cancel*")) << tmux->screen();
  tmux->enter("(twice 21)");
  ASSERT_TRUE(tmux->waitFor("\n42\n")) << tmux->screen();
  tmux->keys("C-d");
  EXPECT_TRUE(tmux->waitFor("EXIT 0")) << tmux->screen();
}

TEST_F(ShellHabits, DecliningToReplaceAndARefusedPickAskAgain) {
  writeFile(dir_ + "/keep.dxf", "precious");
  auto tmux = shell();
  tmux->keys("SAVEAS Space keep Enter");
  ASSERT_TRUE(tmux->waitFor("Do you want to replace it? <N>:")) << tmux->screen();
  tmux->keys("Enter");
  ASSERT_TRUE(tmux->waitFor("Save drawing as <d.dxf>:", 2)) << tmux->screen();
  tmux->enter("my copy");
  ASSERT_TRUE(tmux->waitFor("Saved my copy.dxf.")) << tmux->screen();
  EXPECT_EQ(readFile(dir_ + "/keep.dxf"), "precious");
  tmux->keys("vrmlprop Enter 2B Enter");
  ASSERT_TRUE(tmux->waitFor("LINE 2B is not an object the export converts")) << tmux->screen();
  ASSERT_TRUE(tmux->waitFor("Select object:", 2)) << tmux->screen();
  tmux->keys("2A Enter");
  ASSERT_TRUE(tmux->waitFor("VRML Properties")) << tmux->screen();
  tmux->keys("Escape");
  ASSERT_TRUE(tmux->waitFor("Select object: 2A\n\nCommand:")) << tmux->screen();
  tmux->keys("C-d");
  EXPECT_TRUE(tmux->waitFor("EXIT 0")) << tmux->screen();
}

} // namespace
} // namespace corvane::testing
