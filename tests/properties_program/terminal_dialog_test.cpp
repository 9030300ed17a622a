// The terminal dialog driven by real keystrokes: corvane shell runs in a
// detached tmux session, the test types into it and reads the screen.
#include <gtest/gtest.h>

#include "program_helpers.h"
#include "support/tmux_session.h"

namespace {

using corvane::testing::TmuxSession;

TEST(TerminalDialogTest, TypedLinkAndMovedTrackBarAreStored) {
  if (!TmuxSession::available()) GTEST_SKIP() << "tmux missing";
  program::fs::path dir = program::scratch("terminal");
  program::writeFile(dir / "drawing.dxf", program::drawing());
  TmuxSession tmux(program::shellQuoted(CORVANE_BIN_DIR "/corvane") + " shell " +
                       program::shellQuoted((dir / "drawing.dxf").string()),
                   100, 30);
  ASSERT_TRUE(tmux.started());
  ASSERT_TRUE(tmux.waitFor("Command:")) << tmux.screen();
  tmux.keys("vrmlprop Enter");
  ASSERT_TRUE(tmux.waitFor("Select object")) << tmux.screen();
  tmux.keys(std::string(program::kFace) + " Enter");
  ASSERT_TRUE(tmux.waitFor("VRML Properties")) << tmux.screen();
  // Focus starts on OK; the tab order is OK, Cancel, Shininess, Transparency,
  // URL Link, Description, check box.
  tmux.keys("Tab Tab Tab Tab");
  tmux.type("http://x.org/t");
  tmux.keys("BTab BTab"); // back to Shininess
  tmux.keys("Right Right Right Right Right NPage");
  ASSERT_TRUE(tmux.waitFor("http://x.org/t")) << tmux.screen();
  // The prompt after the dialog is one more "Command:" than the screen held
  // before it opened; keys typed earlier could reach the dialog instead.
  size_t prompts = TmuxSession::count(tmux.screen(true), "Command:");
  tmux.keys("Enter");
  ASSERT_TRUE(tmux.waitFor("Command:", prompts + 1)) << tmux.screen();
  tmux.enter("(vrml_geturl (handent \"2F\"))");
  tmux.enter("(vrml_getmaterial (handent \"2F\"))");
  EXPECT_TRUE(tmux.waitFor("(\"http://x.org/t\" nil)")) << tmux.screen();
  EXPECT_TRUE(tmux.waitFor("(1 0.45 0.0)")) << tmux.screen(); // 20 + 5 arrows + a page of 20
  tmux.keys("quit Enter y Enter");
  program::fs::remove_all(dir);
}

} // namespace
