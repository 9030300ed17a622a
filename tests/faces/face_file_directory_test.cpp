#include "faces/face_file_directory.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <set>
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

TEST(FaceFileDirectoryForProcess, PrefersMemoryBackedStorage) {
  FaceFileDirectory& dir = FaceFileDirectory::forProcess();
  auto f = dir.createFile();
  ASSERT_NE(f.name, nullptr) << f.error;
  if (access("/dev/shm", W_OK | X_OK) == 0) {
    EXPECT_EQ(dir.path().rfind("/dev/shm/", 0), 0u) << dir.path();
  }
  EXPECT_EQ(modeOf(dir.path()), 0700u);
  dir.discard(f.name);
}

} // namespace
} // namespace corvane
