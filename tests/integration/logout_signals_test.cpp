// Stop signals that come in pairs (a desktop logout sends SIGTERM and then
// SIGHUP within a millisecond or two) still leave the shell's unsaved work
// in its recovery copy: the second signal is noted, never fatal, and the
// shell ends with 130 once the copy is written and the terminal restored.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/tmux_session.h"
#include "test_drawing.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

struct SignalPair {
  int first;
  int second;
  int gapMs;
};

std::string describe(const SignalPair& pair) {
  return std::string(strsignal(pair.first)) + " then " + strsignal(pair.second) + ", " + std::to_string(pair.gapMs) +
         " ms apart";
}

// A shell on DRAWING (a copy in a fresh folder) in tmux that has unsaved
// changes, stopped by PAIR: its copy must hold the change and the drawing
// must be untouched.
void stopWithPair(const std::string& drawingBytes, const SignalPair& pair) {
  SCOPED_TRACE(describe(pair));
  const std::string dir = makeTempDir();
  writeFile(dir + "/d.dxf", drawingBytes);
  const std::string pidFile = dir + ".pid";
  const std::string errFile = dir + ".err";
  const std::string ttyBefore = dir + ".tty-before";
  const std::string ttyAfter = dir + ".tty-after";
  // The terminal's settings before and after: the shell must give it back
  // as it found it.
  TmuxSession tmux("stty -a > " + shellQuoted(ttyBefore) + "; cd " + shellQuoted(dir) + " && sh -c " +
                       shellQuoted("echo $$ > " + shellQuoted(pidFile) + "; exec " + shellQuoted(corvanePath()) +
                                   " shell d.dxf 2>" + shellQuoted(errFile)) +
                       "; s=$?; stty -a > " + shellQuoted(ttyAfter) + "; (exit $s)",
                   100, 30);
  ASSERT_TRUE(tmux.started());
  ASSERT_TRUE(tmux.waitFor("Command:")) << tmux.screen();
  const pid_t pid = std::atoi(readFile(pidFile).c_str());
  tmux.enter("(regapp \"LOGGED_OUT\")");
  ASSERT_TRUE(tmux.waitFor("\"LOGGED_OUT\"\n")) << tmux.screen(true);
  ::kill(pid, pair.first);
  if (pair.gapMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pair.gapMs));
  ::kill(pid, pair.second);
  ASSERT_TRUE(tmux.waitFor("EXIT 130")) << tmux.screen(true);
  EXPECT_EQ(readFile(errFile),
            "corvane: stopped by a signal; unsaved changes to d.dxf are kept in d.recover.dxf\n");
  const std::string copy = readFile(dir + "/d.recover.dxf");
  EXPECT_NE(copy.find("\nLOGGED_OUT\n"), std::string::npos);
  EXPECT_TRUE(copy.ends_with("\n  0\nEOF\n")) << "the copy is cut short";
  EXPECT_TRUE(readFile(dir + "/d.dxf") == drawingBytes) << "the drawing itself was written";
  EXPECT_EQ(readFile(ttyAfter), readFile(ttyBefore));
  fs::remove_all(dir);
  for (const std::string& file : {pidFile, errFile, ttyBefore, ttyAfter}) fs::remove(file);
}

std::string smallDrawing() {
  TestDrawing d;
  d.face("2A", "0", 1).face("2B", "0", 2, 5);
  return d.text();
}

TEST(LogoutSignals, ASecondStopSignalStillLeavesTheRecoveryCopy) {
  if (!TmuxSession::available()) GTEST_SKIP() << "tmux missing";
  const std::string drawing = smallDrawing();
  for (const SignalPair& pair : {SignalPair{SIGTERM, SIGHUP, 0}, SignalPair{SIGTERM, SIGHUP, 2},
                                 SignalPair{SIGHUP, SIGTERM, 0}, SignalPair{SIGHUP, SIGTERM, 5},
                                 SignalPair{SIGTERM, SIGTERM, 0}, SignalPair{SIGTERM, SIGTERM, 1}})
    stopWithPair(drawing, pair);
}

// The copy of a large drawing takes long enough for the second signal to
// arrive while it is being written.
TEST(LogoutSignals, ALargeDrawingsCopyIsWrittenWholeThroughASecondSignal) {
  if (!TmuxSession::available()) GTEST_SKIP() << "tmux missing";
  const std::string drawing = readFile(largeDrawingPath());
  for (const SignalPair& pair : {SignalPair{SIGTERM, SIGHUP, 5}, SignalPair{SIGHUP, SIGTERM, 0}})
    stopWithPair(drawing, pair);
}

} // namespace
} // namespace corvane::testing
