#include "export/output_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

class OutputFileTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("corvane_output_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    path_ = (dir_ / "out.wrl").string();
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
  std::string path_;
};

TEST_F(OutputFileTest, ReplacesAnExistingFileAndWritesBytesAsGiven) {
  { std::ofstream(path_, std::ios::binary) << "old contents that are longer than the new ones"; }
  OutputFile out;
  ASSERT_TRUE(out.open(path_.c_str()));
  out.append("a\nb");
  out.append('\n');
  ASSERT_TRUE(out.close());
  EXPECT_EQ(contents(path_), "a\nb\n");
}

TEST_F(OutputFileTest, LargeOutputCrossesTheBufferIntact) {
  std::string expected;
  OutputFile out;
  ASSERT_TRUE(out.open(path_.c_str()));
  for (int i = 0; i < 40000; ++i) {
    const std::string piece = std::to_string(i) + (i % 7 == 0 ? "\n" : ",");
    out.append(piece);
    expected += piece;
  }
  const std::string big(OutputFile::kCapacity * 2 + 17, 'x');
  out.append(big);
  expected += big;
  ASSERT_TRUE(out.close());
  EXPECT_EQ(contents(path_), expected);
}

TEST_F(OutputFileTest, TheOldFileStaysUntilTheNewOneIsComplete) {
  { std::ofstream(path_, std::ios::binary) << "old"; }
  fs::permissions(path_, fs::perms(0640));
  {
    OutputFile out;
    ASSERT_TRUE(out.open(path_.c_str()));
    out.append(std::string(OutputFile::kCapacity + 5, 'n')); // some of it on disk already
    EXPECT_EQ(contents(path_), "old");
    out.discard();
    EXPECT_EQ(contents(path_), "old");
    ASSERT_TRUE(out.open(path_.c_str()));
    out.append("abandoned"); // and dropped as the file goes out of scope
  }
  EXPECT_EQ(contents(path_), "old");
  OutputFile out;
  ASSERT_TRUE(out.open(path_.c_str()));
  out.append("new");
  ASSERT_TRUE(out.close());
  EXPECT_EQ(contents(path_), "new");
  EXPECT_EQ(fs::status(path_).permissions(), fs::perms(0640)); // the replaced file's mode
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1); // nothing left beside it
}

TEST_F(OutputFileTest, ALinkIsFollowedAndStays) {
  { std::ofstream(dir_ / "real.wrl", std::ios::binary) << "old"; }
  fs::create_symlink("real.wrl", path_);
  OutputFile out;
  ASSERT_TRUE(out.open(path_.c_str()));
  out.append("new");
  ASSERT_TRUE(out.close());
  EXPECT_TRUE(fs::is_symlink(path_));
  EXPECT_EQ(contents((dir_ / "real.wrl").string()), "new");
}

TEST_F(OutputFileTest, AFileSomeoneHoldsLockedIsRefusedUntouched) {
  { std::ofstream(path_, std::ios::binary) << "held"; }
  // The host holds its open drawing so; a second export holds the target.
  const int holder = ::open(path_.c_str(), O_RDONLY);
  ASSERT_EQ(::flock(holder, LOCK_SH), 0);
  OutputFile out;
  EXPECT_FALSE(out.open(path_.c_str()));
  EXPECT_EQ(out.error(), EWOULDBLOCK);
  ::close(holder);
  OutputFile first;
  ASSERT_TRUE(first.open(path_.c_str()));
  OutputFile second;
  EXPECT_FALSE(second.open(path_.c_str()));
  first.append("first run");
  ASSERT_TRUE(first.close());
  EXPECT_EQ(contents(path_), "first run");
}

TEST_F(OutputFileTest, TwoRunsOnANewNameNeverMix) {
  OutputFile first;
  OutputFile second;
  ASSERT_TRUE(first.open(path_.c_str()));
  ASSERT_TRUE(second.open(path_.c_str()));
  first.append(std::string(OutputFile::kCapacity * 2, '1'));
  second.append(std::string(OutputFile::kCapacity, '2'));
  ASSERT_TRUE(second.close());
  ASSERT_TRUE(first.close());
  EXPECT_EQ(contents(path_), std::string(OutputFile::kCapacity * 2, '1'));
}

TEST_F(OutputFileTest, WritingToAFileThatIsNotOpenDropsTheBytes) {
  OutputFile out;
  out.append("dropped");
  char* at = out.reserve(OutputFile::kMaxReserve);
  at[OutputFile::kMaxReserve - 1] = 'x';
  out.commit(at + OutputFile::kMaxReserve);
  ASSERT_TRUE(out.open(path_.c_str()));
  out.append("kept");
  ASSERT_TRUE(out.close());
  out.append("after close");
  EXPECT_EQ(contents(path_), "kept");
}

TEST_F(OutputFileTest, RefusalsSayWhy) {
  OutputFile out;
  EXPECT_FALSE(out.open((dir_ / "missing" / "out.wrl").string().c_str()));
  EXPECT_EQ(out.error(), ENOENT);
  EXPECT_FALSE(out.open(nullptr));
  EXPECT_FALSE(out.close());
  if (::geteuid() != 0) { // the administrator may write anything
    { std::ofstream(path_, std::ios::binary) << "read-only"; }
    fs::permissions(path_, fs::perms(0444));
    EXPECT_FALSE(out.open(path_.c_str()));
    EXPECT_EQ(out.error(), EACCES);
    EXPECT_EQ(contents(path_), "read-only");
  }
}

TEST_F(OutputFileTest, FullDiskIsReportedByFailedAndClose) {
  if (!fs::exists("/dev/full")) {
    GTEST_SKIP() << "no /dev/full";
  }
  OutputFile out;
  ASSERT_TRUE(out.open("/dev/full")); // a device is written in place
  out.append("x");
  EXPECT_FALSE(out.failed()); // still in the buffer
  EXPECT_FALSE(out.close());
  EXPECT_TRUE(out.failed());
  EXPECT_EQ(out.error(), ENOSPC);

  OutputFile big;
  ASSERT_TRUE(big.open("/dev/full"));
  big.append(std::string(OutputFile::kCapacity + 1, 'y'));
  EXPECT_TRUE(big.failed()); // the first buffer-full already failed
  EXPECT_FALSE(big.close());
}

} // namespace
