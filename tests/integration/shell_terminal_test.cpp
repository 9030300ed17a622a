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
  tmux->enter("(while t)");
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
  tmux->enter("(vrml_geturl (handent \"2A\"))");
  ASSERT_TRUE(tmux->waitFor("\n(nil nil)\n")) << tmux->screen(); // nothing stored
  tmux->enter("(regapp \"CHANGED\")");
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
  tmux->enter("@1018 http://a.b");
  tmux->enter("@1");
  ASSERT_TRUE(tmux->waitFor("[VRML Properties: OK]")) << tmux->screen();
  tmux->enter("(vrml_geturl (handent \"2A\"))");
  EXPECT_TRUE(tmux->waitFor("(\"http://a.b\" nil)")) << tmux->screen();
  tmux->keys("QUIT Enter y Enter");
}

TEST_F(ShellTerminal, DialogFieldsTakeWholeCharacters) {
  auto tmux = shell();
  tmux->keys("vrmlprop Enter 2A Enter");
  ASSERT_TRUE(tmux->waitFor("VRML Properties")) << tmux->screen();
  tmux->keys("Tab Tab Tab Tab"); // from OK to the URL field
  tmux->type("café€x");
  ASSERT_TRUE(tmux->waitFor("URL Link:    café€x ")) << tmux->screen();
  // Backspace takes one character, however many bytes it has; the caret
  // moves over characters.
  tmux->keys("BSpace BSpace Left");
  tmux->type("ß");
  ASSERT_TRUE(tmux->waitFor("URL Link:    cafßé ")) << tmux->screen();
  tmux->keys("Enter");
  ASSERT_TRUE(tmux->waitFor("Command:", 2)) << tmux->screen();
  tmux->enter("(vrml_geturl (handent \"2A\"))");
  EXPECT_TRUE(tmux->waitFor("\n(\"cafßé\" nil)\n")) << tmux->screen();
  tmux->keys("QUIT Enter y Enter");
  EXPECT_TRUE(tmux->waitFor("EXIT 0")) << tmux->screen();
}

TEST_F(ShellTerminal, TheDialogFollowsTheTerminalsSize) {
  auto tmux = shell(100, 30);
  tmux->keys("vrmlprop Enter 2A Enter");
  ASSERT_TRUE(tmux->waitFor("VRML Properties")) << tmux->screen();
  // Smaller, still large enough: drawn again, centred on the new size.
  tmux->resize(80, 21);
  ASSERT_TRUE(tmux->waitFor("\n  ┌─ VRML Properties ─")) << tmux->screen();
  // Too small: the dialog is answered on the command line, each control
  // named by its label.
  tmux->resize(60, 15);
  ASSERT_TRUE(tmux->waitFor("The dialog needs a 76x19 terminal; this one is 60x15.")) << tmux->screen();
  EXPECT_TRUE(tmux->waitFor("\n  1018 URL Link:\n  1020 Description:\n  1038 [x] Use AutoCAD Color\n"
                            "  1014 Shininess: 20 (0 to 100)\n  1015 Transparency: 0 (0 to 100)\n     1 [OK] (Enter)\n"
                            "     2 [Cancel]\n"))
      << tmux->screen(true);
  tmux->enter("@1018 http://a.b");
  tmux->enter("@1015 40");
  // Large enough again: the full dialog, centred, as the answers left it,
  // with nothing of the text form left on the screen.
  tmux->resize(120, 40);
  ASSERT_TRUE(tmux->waitFor("\n                      ┌─ VRML Properties ─")) << tmux->screen();
  ASSERT_TRUE(tmux->waitFor("URL Link:    http://a.b ")) << tmux->screen();
  EXPECT_EQ(TmuxSession::count(tmux->screen(), "VRML Properties"), 1u) << tmux->screen();
  EXPECT_EQ(TmuxSession::count(tmux->screen(), "@1018"), 0u) << tmux->screen();
  tmux->keys("Enter");
  ASSERT_TRUE(tmux->waitFor("Command:", 2)) << tmux->screen();
  tmux->enter("(list (vrml_geturl (handent \"2A\")) (vrml_getmaterial (handent \"2A\")))");
  EXPECT_TRUE(tmux->waitFor("((\"http://a.b\" nil) (1 ")) << tmux->screen();
  EXPECT_TRUE(tmux->waitFor(" 0.4)")) << tmux->screen();
  tmux->keys("QUIT Enter y Enter");
  EXPECT_TRUE(tmux->waitFor("EXIT 0")) << tmux->screen();
}

TEST_F(ShellTerminal, TheHelpListScrollsToEveryTopic) {
  auto tmux = shell(50, 12);
  tmux->keys("vrmlhelp Enter");
  ASSERT_TRUE(tmux->waitFor("Help Topics")) << tmux->screen();
  // Eight rows for nine topics: the last one comes into view as it is
  // chosen, and the list says where it stands.
  ASSERT_TRUE(tmux->waitFor(" 1-8 of 9 ")) << tmux->screen();
  EXPECT_EQ(TmuxSession::count(tmux->screen(), "(vrml_init)"), 0u) << tmux->screen();
  tmux->keys("End");
  ASSERT_TRUE(tmux->waitFor(" 2-9 of 9 ")) << tmux->screen();
  EXPECT_EQ(TmuxSession::count(tmux->screen(), "(vrml_init)"), 1u) << tmux->screen();
  // Taller: the introduction shows, wrapped between words.
  tmux->resize(50, 30);
  ASSERT_TRUE(tmux->waitFor("\n  The VRML module writes the three-dimensional\n"
                            "  objects of a drawing to a VRML 1.0 world file,\n"))
      << tmux->screen();
  tmux->keys("Escape");
  ASSERT_TRUE(tmux->waitFor("Command:", 2)) << tmux->screen();
  tmux->keys("C-d");
  EXPECT_TRUE(tmux->waitFor("EXIT 0")) << tmux->screen();
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

TEST_F(ShellTerminal, EscapeStopsARunningExportAsCtrlCDoes) {
  // Enough faces for the export to be still running when the key comes.
  TestDrawing d;
  for (int i = 0; i < 60000; ++i) {
    char handle[16];
    std::snprintf(handle, sizeof handle, "%X", 0x100 + i);
    d.face(handle, "0", 1, i);
  }
  writeFile(dir_ + "/d.dxf", d.text());
  writeFile(dir_ + "/w.wrl", "the world before\n");
  auto tmux = shell();
  tmux->keys("vrmlout Enter all Enter Enter w Enter y Enter");
  ASSERT_TRUE(tmux->waitFor("Processing ")) << tmux->screen();
  // Keys typed while it runs neither show raw on the progress line nor get
  // lost: they wait for the next prompt.
  tmux->type("(+ 1 2)");
  tmux->keys("Escape");
  ASSERT_TRUE(tmux->waitFor("*Cancel*\ninterrupted; w.wrl was not written\n")) << tmux->screen();
  ASSERT_TRUE(tmux->waitFor("Command: (+ 1 2)")) << tmux->screen();
  std::string screen = tmux->screen();
  size_t progress = screen.find("Processing ");
  ASSERT_NE(progress, std::string::npos) << screen;
  EXPECT_EQ(screen.substr(progress, screen.find('\n', progress) - progress).find_first_of("[^("), std::string::npos)
      << screen;
  EXPECT_EQ(readFile(dir_ + "/w.wrl"), "the world before\n");
  tmux->keys("Enter");
  EXPECT_TRUE(tmux->waitFor("\n3\n")) << tmux->screen();
  // Ctrl-C the same (the terminal drops what was typed ahead of it).
  tmux->keys("vrmlout Enter all Enter Enter w Enter y Enter");
  ASSERT_TRUE(tmux->waitFor("Processing ", 2)) << tmux->screen();
  tmux->keys("C-c");
  ASSERT_TRUE(tmux->waitFor("interrupted; w.wrl was not written", 2)) << tmux->screen();
  EXPECT_EQ(readFile(dir_ + "/w.wrl"), "the world before\n");
  // And an expression that runs on and on.
  tmux->enter("(while t)");
  ASSERT_TRUE(tmux->waitFor("Command: (while t)")) << tmux->screen();
  tmux->keys("Escape");
  ASSERT_TRUE(tmux->waitFor("; error: Function cancelled")) << tmux->screen();
  tmux->keys("C-d");
  EXPECT_TRUE(tmux->waitFor("EXIT 0")) << tmux->screen();
}

} // namespace
} // namespace corvane::testing
