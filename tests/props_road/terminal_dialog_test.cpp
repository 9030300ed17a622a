// The terminal dialog driven by real keystrokes: corvane shell runs in a
// detached tmux session, the test types into it and reads the screen.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "road_helpers.h"

namespace {

class TerminalDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (road::shell("command -v tmux").status != 0) GTEST_SKIP() << "tmux missing";
    session = "corvane-props-" + std::to_string(getpid());
  }
  void TearDown() override {
    if (!session.empty()) road::shell("tmux kill-session -t " + session);
    road::fs::remove_all(dir);
  }
  void keys(const std::string& k) { road::shell("tmux send-keys -t " + session + " " + k); }
  std::string screen() { return road::shell("tmux capture-pane -p -t " + session).output; }
  // Waits until the screen shows WHAT at least TIMES times; false after ten
  // seconds.
  bool waitFor(const std::string& what, size_t times = 1) {
    for (int i = 0; i < 100; ++i) {
      if (road::count(screen(), what) >= times) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  std::string session;
  road::fs::path dir = road::scratch("terminal");
};

TEST_F(TerminalDialogTest, TypedLinkAndMovedTrackBarAreStored) {
  road::writeFile(dir / "drawing.dxf", road::drawing());
  road::Result start = road::shell("tmux new-session -d -x 100 -y 30 -s " + session + " " +
                                   road::quote(std::string(CORVANE_BIN_DIR "/corvane shell ") +
                                               (dir / "drawing.dxf").string()));
  ASSERT_EQ(start.status, 0) << start.output;
  ASSERT_TRUE(waitFor("Command:")) << screen();
  keys("vrmlprop Enter");
  ASSERT_TRUE(waitFor("Select object")) << screen();
  keys(std::string(road::kFace) + " Enter");
  ASSERT_TRUE(waitFor("VRML Properties")) << screen();
  // Focus starts on OK; the tab order is OK, Cancel, Shininess, Transparency,
  // URL Link, Description, check box.
  keys("Tab Tab Tab Tab");
  keys("h t t p : / / x . o r g / t");
  keys("BTab BTab"); // back to Shininess
  keys("Right Right Right Right Right NPage");
  ASSERT_TRUE(waitFor("http://x.org/t")) << screen();
  // The prompt after the dialog is one more "Command:" than the screen held
  // before it opened; keys typed earlier could reach the dialog instead.
  size_t prompts = road::count(screen(), "Command:");
  keys("Enter");
  ASSERT_TRUE(waitFor("Command:", prompts + 1)) << screen();
  keys(road::quote("(vrml_geturl (handent \"2F\"))") + " Enter");
  keys(road::quote("(vrml_getmaterial (handent \"2F\"))") + " Enter");
  EXPECT_TRUE(waitFor("(\"http://x.org/t\" nil)")) << screen();
  EXPECT_TRUE(waitFor("(1 0.45 0.0)")) << screen(); // 20 + 5 arrows + a page of 20
  keys("quit Enter");
}

} // namespace
