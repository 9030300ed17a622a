#include "faces/face_file_directory.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace corvane {
namespace {

namespace fs = std::filesystem;

mode_t modeOf(const std::string& path) {
  struct stat st{};
  EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

class FaceFileDirectoryTest : public ::testing::Test {
protected:
  void SetUp() override { fs::create_directories(base_); }
  void TearDown() override { fs::remove_all(base_); }
  const fs::path base_ = fs::temp_directory_path() / ("faces-dir-test-" + std::to_string(getpid()));
};

TEST_F(FaceFileDirectoryTest, PrivateWithUnpredictableNames) {
  FaceFileDirectory dir({(base_ / "missing").string(), base_.string()}), other({base_.string()});
  std::set<std::string> names;
  std::set<char> lastChars;
  for (int i = 0; i < 20; ++i) {
    auto f = dir.createFile();
    ASSERT_NE(f.name, nullptr) << f.error;
    EXPECT_EQ(modeOf(f.name), 0600u);
    names.insert(f.name);
    lastChars.insert(std::string(f.name).back());
  }
  ASSERT_NE(other.createFile().name, nullptr);
  EXPECT_EQ(fs::path(dir.path()).parent_path(), base_);  // the missing base was skipped
  EXPECT_EQ(modeOf(dir.path()), 0700u);
  EXPECT_NE(dir.path(), other.path());
  EXPECT_EQ(names.size(), 20u);
  EXPECT_GT(lastChars.size(), 5u);  // not a counter
}

TEST_F(FaceFileDirectoryTest, NamesStayValidUntilTheirFileIsDeleted) {
  FaceFileDirectory dir({base_.string()});
  const char* kept = dir.createFile().name;
  const std::string keptCopy = kept;
  ASSERT_EQ(unlink(dir.createFile().name), 0);
  for (int i = 0; i < 200; ++i) ASSERT_NE(dir.createFile().name, nullptr);
  EXPECT_EQ(std::string(kept), keptCopy);
}

TEST_F(FaceFileDirectoryTest, RemovedWithLeftoversByItsOwnProcessOnly) {
  auto dir = std::make_unique<FaceFileDirectory>(std::vector<std::string>{base_.string()});
  ASSERT_NE(dir->createFile().name, nullptr);
  const std::string path = dir->path();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    dir.reset();
    _exit(0);
  }
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(fs::exists(path));
  dir.reset();
  EXPECT_FALSE(fs::exists(path));
}

TEST_F(FaceFileDirectoryTest, RecreatedWhenRemovedUnderneathAndFailsCleanlyWithoutBase) {
  FaceFileDirectory dir({base_.string()});
  ASSERT_NE(dir.createFile().name, nullptr);
  fs::remove_all(dir.path());
  auto f = dir.createFile();
  ASSERT_NE(f.name, nullptr) << f.error;
  EXPECT_TRUE(fs::exists(f.name));

  FaceFileDirectory none({(base_ / "missing").string()});
  f = none.createFile();
  EXPECT_EQ(f.name, nullptr);
  EXPECT_EQ(f.fd.get(), -1);
  EXPECT_NE(f.error.find("missing"), std::string::npos);
}

TEST_F(FaceFileDirectoryTest, NamesComeBackOnlyOnceTheirFileIsGone) {
  FaceFileDirectory dir({base_.string()});
  auto first = dir.createFile();
  const std::string firstName = first.name;
  dir.keepOpen(first.name, std::move(first.fd));
  dir.handOut(first.name);
  auto second = dir.createFile();
  dir.handOut(second.name);
  // The caller still holds the first file: the next one gets another name.
  auto third = dir.createFile();
  ASSERT_NE(third.name, nullptr) << third.error;
  EXPECT_NE(std::string(third.name), firstName);
  EXPECT_TRUE(fs::exists(firstName));
  dir.handOut(third.name);
  // Once the caller has deleted its files, their names are used again, by
  // the very pointers handed out before.
  ASSERT_EQ(unlink(firstName.c_str()), 0);
  ASSERT_EQ(unlink(second.name), 0);
  auto fourth = dir.createFile();
  EXPECT_TRUE(fourth.name == first.name || fourth.name == second.name) << fourth.name;
  EXPECT_EQ(fs::file_size(fourth.name), 0u);
  dir.discard(fourth.name);
  // Files handed out and still there are deleted by sweep().
  dir.sweep();
  EXPECT_FALSE(fs::exists(third.name));
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(FaceFileDirectoryTest, AFullOrReadOnlyBaseHandsOverToTheNext) {
  fs::create_directories(base_ / "a");
  fs::create_directories(base_ / "b");
  FaceFileDirectory dir({(base_ / "a").string(), (base_ / "b").string()});
  auto f = dir.createFile();
  ASSERT_NE(f.name, nullptr) << f.error;
  EXPECT_EQ(fs::path(dir.path()).parent_path(), base_ / "a");
  EXPECT_FALSE(dir.fallBack(f.name, EIO)); // another error: nothing to gain
  EXPECT_TRUE(dir.fallBack(f.name, ENOSPC));
  EXPECT_EQ(fs::path(dir.path()).parent_path(), base_ / "b");
  EXPECT_TRUE(dir.fallBack(f.name, ENOSPC)); // moved on already
  auto g = dir.createFile();
  ASSERT_NE(g.name, nullptr);
  EXPECT_EQ(fs::path(g.name).parent_path().parent_path(), base_ / "b");
  EXPECT_FALSE(dir.fallBack(g.name, EROFS)); // no base after the last
  EXPECT_EQ(fs::path(dir.path()).parent_path(), base_ / "b");
}

TEST_F(FaceFileDirectoryTest, DirectoriesOfDeadProcessesAreRemovedAndNoOthers) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  auto leave = [&](const std::string& name, fs::perms perms) {
    fs::create_directories(base_ / name);
    std::ofstream(base_ / name / "faces-abcdef") << "left";
    fs::permissions(base_ / name, perms);
    return base_ / name;
  };
  const fs::perms privateDir = fs::perms::owner_all;
  const fs::path dead = leave("corvane-faces-" + std::to_string(child) + "-aaaaaa", privateDir);
  const fs::path alive = leave("corvane-faces-" + std::to_string(getppid()) + "-bbbbbb", privateDir);
  const fs::path shared = leave("corvane-faces-" + std::to_string(child) + "-cccccc", fs::perms::all);
  const fs::path other = leave("corvane-facesX" + std::to_string(child) + "-dddddd", privateDir);
  // A live export in another PID namespace sharing the base: its process id
  // names no process here, but it holds its directory's lock.
  const fs::path elsewhere = leave("corvane-faces-" + std::to_string(child) + "-eeeeee", privateDir);
  const int held = open(elsewhere.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  FaceFileDirectory dir({base_.string()});
  ASSERT_NE(dir.createFile().name, nullptr);
  EXPECT_TRUE(fs::exists(elsewhere / "faces-abcdef"));
  close(held);
  // Ours is locked likewise while it lives.
  const int ours = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(ours, 0);
  EXPECT_NE(flock(ours, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(errno, EWOULDBLOCK);
  close(ours);
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_TRUE(fs::exists(alive / "faces-abcdef"));
  EXPECT_TRUE(fs::exists(shared / "faces-abcdef"));
  EXPECT_TRUE(fs::exists(other / "faces-abcdef"));
}

TEST(FaceFileDirectoryForProcess, ASignalHandlerCanRemoveEverything) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    FaceFileDirectory& dir = FaceFileDirectory::forProcess();
    for (int i = 0; i < 50; ++i) {
      auto f = dir.createFile();
      if (!f.name) _exit(2);
      dir.keepOpen(f.name, std::move(f.fd));
      if (i % 2 == 0) dir.handOut(f.name);
    }
    const std::string path = dir.path();
    FaceFileDirectory::removeForSignal();
    const bool refused = dir.createFile().name == nullptr;
    _exit(!fs::exists(path) && refused ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST(FaceFileDirectoryForProcess, PrefersMemoryBackedStorage) {
  FaceFileDirectory& dir = FaceFileDirectory::forProcess();
  auto f = dir.createFile();
  ASSERT_NE(f.name, nullptr) << f.error;
  if (access("/dev/shm", W_OK | X_OK) == 0) {
    EXPECT_EQ(dir.path().rfind("/dev/shm/", 0), 0u) << dir.path();
  }
  EXPECT_EQ(modeOf(dir.path()), 0700u);
  EXPECT_NE(dir.path().find("/corvane-faces-" + std::to_string(getpid()) + "-"), std::string::npos);
  dir.discard(f.name);
}

} // namespace
} // namespace corvane
