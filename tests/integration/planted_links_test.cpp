// Links another user plants in a shared sticky folder (/tmp) at the names
// corvane writes: followed only where the kernel would follow them, and
// never followed when planted between a check and the write. The second
// user is uid 65534, which only root can become: elsewhere these skip.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "test_drawing.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSecret = "the user's own file, in a folder only the user may enter\n";

class PlantedLinks : public ::testing::Test {
protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "acting as a second user (uid 65534) needs root";
    if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv missing";
    // Anyone may write the shared folder; its parent must let anyone in.
    std::string pattern = "/tmp/corvane-shared-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    shared_ = pattern;
    ASSERT_EQ(::chmod(shared_.c_str(), 01777), 0);
    private_ = makeTempDir();
    ASSERT_EQ(::chmod(private_.c_str(), 0700), 0);
    secret_ = private_ + "/secret";
    writeFile(secret_, kSecret);
    TestDrawing d;
    d.face("2A", "0", 1).face("2B", "0", 2, 5);
    drawing_ = d.text();
    writeFile(shared_ + "/d.dxf", drawing_);
  }
  void TearDown() override {
    if (!shared_.empty()) fs::remove_all(shared_);
    if (!private_.empty()) fs::remove_all(private_);
  }

  // Runs COMMAND (a shell command line) as uid 65534.
  static std::vector<std::string> asOtherUser(const std::string& command) {
    return {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "/bin/sh", "-c", command};
  }
  static ProcessResult other(const std::string& command) { return runProcess(asOtherUser(command)); }
  void plant(const std::string& name) {
    ASSERT_EQ(other("ln -s " + shellQuoted(secret_) + " " + shellQuoted(shared_ + "/" + name)).status, 0);
  }
  std::string refused(const std::string& name) const {
    return shared_ + "/" + name + " is a link another user made in a folder anyone may write; the system would "
                                  "not follow it, and neither does corvane";
  }

  std::string shared_, private_, secret_, drawing_;
};

TEST_F(PlantedLinks, AnotherUsersLinkInASharedFolderIsRefusedWithTheReason) {
  plant("house.wrl");
  ProcessResult exported = runProcess({corvanePath(), "export", shared_ + "/d.dxf", "-o", shared_ + "/house.wrl"});
  EXPECT_EQ(exported.status, 2) << exported.out;
  EXPECT_EQ(exported.err, "corvane: cannot write " + shared_ + "/house.wrl: " + refused("house.wrl") + "\n");

  plant("saved.dxf");
  // SAVEAS asks before it replaces what the name shows: the answer is yes.
  ProcessResult saved =
      runProcess({corvanePath(), "run", "d.dxf", "-"}, "SAVEAS\n" + shared_ + "/saved.dxf\ny\n", shared_);
  EXPECT_EQ(saved.status, 4) << saved.out << saved.err; // a step failed
  EXPECT_NE(saved.out.find("\n" + shared_ + "/saved.dxf: cannot save: " + refused("saved.dxf") + "\n"),
            std::string::npos)
      << saved.out;
  EXPECT_EQ(readFile(secret_), kSecret);
  EXPECT_TRUE(fs::is_symlink(shared_ + "/house.wrl"));

  // The user's own link there, and any link in a folder that is not
  // shared, lead where they point, as before.
  ASSERT_EQ(::symlink((private_ + "/mine.wrl").c_str(), (shared_ + "/own.wrl").c_str()), 0);
  ProcessResult own = runProcess({corvanePath(), "export", shared_ + "/d.dxf", "-o", shared_ + "/own.wrl"});
  EXPECT_EQ(own.status, 0) << own.err;
  EXPECT_TRUE(fs::is_symlink(shared_ + "/own.wrl"));
  EXPECT_EQ(readFile(private_ + "/mine.wrl").rfind("#VRML V1.0 ascii", 0), 0u);
}

// Another user toggles a link at the name between the check and the write,
// as fast as it can: the user's file is never reached.
TEST_F(PlantedLinks, ALinkToggledAtANameBeingWrittenIsNeverFollowed) {
  const std::string toggle = "while :; do ln -s " + shellQuoted(secret_) + " NAME 2>/dev/null; rm -f NAME; done";
  auto toggling = [&](const std::string& name) {
    std::string command = toggle;
    for (size_t at; (at = command.find("NAME")) != std::string::npos;)
      command.replace(at, 4, shellQuoted(shared_ + "/" + name));
    return std::make_unique<RunningProcess>(asOtherUser(command));
  };

  {
    auto toggler = toggling("d.recover.dxf");
    for (int i = 0; i < 20; ++i) {
      ProcessResult r = runProcess({corvanePath(), "shell", "d.dxf"}, "(regapp \"KEPT\")\n", shared_);
      EXPECT_NE(r.err.find("unsaved changes to d.dxf are kept in d.recover"), std::string::npos) << r.err;
      ASSERT_EQ(readFile(secret_), kSecret) << "the recovery copy went through the link";
      for (const auto& entry : fs::directory_iterator(shared_)) {
        const std::string base = entry.path().filename().string();
        // One look at the name: the other user's link comes and goes under
        // it, so "not a link" and "a regular file" are different answers.
        // A regular file there can only be ours (the other user makes links).
        if (base.starts_with("d.recover") && fs::symlink_status(entry.path()).type() == fs::file_type::regular) {
          EXPECT_NE(readFile(entry.path().string()).find("\nKEPT\n"), std::string::npos) << base;
          fs::remove(entry.path());
        }
      }
    }
  }
  {
    auto toggler = toggling("house.wrl");
    int written = 0;
    for (int i = 0; i < 20; ++i) {
      ProcessResult r =
          runProcess({corvanePath(), "export", shared_ + "/d.dxf", "-o", shared_ + "/house.wrl"});
      ASSERT_EQ(readFile(secret_), kSecret) << "the world went through the link";
      if (r.status == 0) {
        ++written;
        // Put in place of the link, never through it: the other user
        // can't remove a file of ours from the sticky folder.
        EXPECT_FALSE(fs::is_symlink(shared_ + "/house.wrl"));
        fs::remove(shared_ + "/house.wrl");
      } else {
        // The reason is looked up again after the refusal: the link may be
        // gone by then, and the kernel's own word is all that is left.
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_TRUE(r.err == "corvane: cannot write " + shared_ + "/house.wrl: " + refused("house.wrl") + "\n" ||
                    r.err == "corvane: cannot write " + shared_ + "/house.wrl: permission denied\n")
            << r.err;
      }
    }
    std::cout << "[          ] " << written << " of 20 worlds written past the toggled link\n";
  }
  EXPECT_EQ(readFile(shared_ + "/d.dxf"), drawing_);
}

} // namespace
} // namespace corvane::testing
