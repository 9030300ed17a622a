// SAVE of a drawing with other names (hard links) rewrites it in place, so
// every name sees the change; killed at any moment, it leaves the old
// drawing, the new one, or the old one whole in house.before-save.dxf,
// which the next session names.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <thread>

#include "test_drawing.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

ino_t inodeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

timespec modified(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_mtim : timespec{};
}

class HardLinkedSave : public ::testing::Test {
protected:
  void SetUp() override {
    // In memory where there is room: three 50 MB files flushed per SAVE
    // cost a disk seconds, and nothing here depends on one.
    std::string pattern = "/dev/shm/corvane-save-XXXXXX";
    dir_ = ::access("/dev/shm", W_OK) == 0 && ::mkdtemp(pattern.data()) != nullptr ? pattern : makeTempDir();
    writeFile(dir_ + "/script.txt", "(regapp \"SAVED_IN_PLACE\")\nSAVE\n");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // d.dxf holding OLD, with a second name other.dxf.
  void linkedDrawing(const std::string& old) {
    fs::remove(dir_ + "/d.dxf");
    fs::remove(dir_ + "/other.dxf");
    writeFile(dir_ + "/d.dxf", old);
    fs::create_hard_link(dir_ + "/d.dxf", dir_ + "/other.dxf");
  }

  std::string dir_;
};

TEST_F(HardLinkedSave, AKillAtAnyMomentLeavesTheOldDrawingOrTheNewOrTheOldBesideIt) {
  const std::string old = readFile(largeDrawingPath());
  // The drawing as a SAVE that finishes leaves it, and how long that takes.
  linkedDrawing(old);
  const auto started = std::chrono::steady_clock::now();
  ProcessResult whole = runProcess({corvanePath(), "run", "d.dxf", "script.txt"}, "", dir_);
  const auto took = std::chrono::steady_clock::now() - started;
  ASSERT_EQ(whole.status, 0) << whole.err;
  const std::string saved = readFile(dir_ + "/d.dxf");
  ASSERT_NE(saved, old);
  ASSERT_EQ(readFile(dir_ + "/other.dxf"), saved);
  EXPECT_EQ(filesIn(dir_), (std::vector<std::string>{"d.dxf", "other.dxf", "script.txt"}));

  // Kills spread over the whole run, SIGKILL and a logout's pair alike
  // (which ends the run between steps), and SIGKILLs aimed at the rewrite
  // itself: 0 to 60 ms after the drawing's first byte changed.
  struct Kill {
    double share;     // of the whole run, or
    int afterWriteMs; // after the drawing was first written (share < 0)
    bool logout;
  };
  const std::vector<Kill> kills = {
      {1.0 / 3, 0, false}, {0.5, 0, true}, {-1, 0, false}, {-1, 15, false}, {-1, 60, false}};
  const std::string kept = dir_ + "/d.before-save.dxf";
  int torn = 0, before = 0;
  for (const Kill& kill : kills) {
    SCOPED_TRACE(kill.share >= 0 ? "killed at " + std::to_string(kill.share) + " of the run"
                                 : "killed " + std::to_string(kill.afterWriteMs) + " ms into the rewrite");
    linkedDrawing(old);
    const timespec loaded = modified(dir_ + "/d.dxf");
    {
      RunningProcess run({corvanePath(), "run", "d.dxf", "script.txt"}, {}, dir_);
      if (kill.share >= 0) {
        std::this_thread::sleep_for(std::chrono::duration_cast<std::chrono::microseconds>(took * kill.share));
      } else {
        for (int i = 0; i < 10000; ++i) {
          const timespec now = modified(dir_ + "/d.dxf");
          if (now.tv_sec != loaded.tv_sec || now.tv_nsec != loaded.tv_nsec) break;
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kill.afterWriteMs));
      }
      if (kill.logout) {
        run.signal(SIGTERM);
        run.signal(SIGHUP);
      } else {
        run.signal(SIGKILL);
      }
      run.wait();
    }
    ASSERT_EQ(inodeOf(dir_ + "/d.dxf"), inodeOf(dir_ + "/other.dxf")) << "the names were parted";
    const std::string now = readFile(dir_ + "/d.dxf");
    if (now != old && now != saved) {
      ++torn;
      ASSERT_TRUE(fs::exists(kept)) << "a torn drawing and nothing to recover it from";
    }
    if (fs::exists(kept)) {
      ++before;
      EXPECT_TRUE(readFile(kept) == old) << "the copy beside it is not the old drawing";
      ProcessResult next = runProcess({corvanePath(), "run", "d.dxf", "-"}, "", dir_);
      EXPECT_NE(next.err.find("corvane: d.before-save.dxf holds d.dxf as it was before a SAVE that did not "
                              "finish; if d.dxf is damaged, open the copy with 'corvane shell "
                              "d.before-save.dxf', then SAVEAS\n"),
                std::string::npos)
          << next.err;
      fs::remove(kept);
    }
    // A stop signal between the change and SAVE keeps the change, as ever.
    if (fs::exists(dir_ + "/d.recover.dxf")) {
      EXPECT_NE(readFile(dir_ + "/d.recover.dxf").find("SAVED_IN_PLACE"), std::string::npos);
      fs::remove(dir_ + "/d.recover.dxf");
    }
    EXPECT_EQ(filesIn(dir_), (std::vector<std::string>{"d.dxf", "other.dxf", "script.txt"}));
  }
  // Timing varies; say what the kills hit.
  std::cout << "[          ] " << torn << " torn drawings, " << before << " copies of the old one, of " << kills.size()
            << " kills\n";
}

TEST_F(HardLinkedSave, ACopyLeftByAnEarlierSaveIsNeverOverwritten) {
  TestDrawing d;
  d.face("2A", "0", 1);
  linkedDrawing(d.text());
  writeFile(dir_ + "/d.before-save.dxf", "an earlier drawing\n");
  ProcessResult run = runProcess({corvanePath(), "run", "d.dxf", "script.txt"}, "", dir_);
  EXPECT_EQ(run.status, 4) << run.out << run.err;
  EXPECT_NE(run.out.find("\nd.dxf: cannot save: d.before-save.dxf is in the way (an earlier SAVE that did not "
                         "finish left the drawing's old content there): open it, or move it away\n"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(readFile(dir_ + "/d.before-save.dxf"), "an earlier drawing\n");
  EXPECT_EQ(readFile(dir_ + "/other.dxf"), d.text());
}

} // namespace
} // namespace corvane::testing
