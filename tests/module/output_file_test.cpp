#include "export/output_file.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

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

TEST_F(OutputFileTest, SecondHolderIsRefusedAndLeavesTheFileAlone) {
  OutputFile first;
  ASSERT_TRUE(first.open(path_.c_str()));
  first.append("first run");
  OutputFile second;
  EXPECT_FALSE(second.open(path_.c_str()));
  EXPECT_FALSE(second.isOpen());
  ASSERT_TRUE(first.close());
  EXPECT_EQ(contents(path_), "first run");
  // Released with the close.
  OutputFile third;
  EXPECT_TRUE(third.open(path_.c_str()));
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

TEST_F(OutputFileTest, CannotCreateInAMissingDirectory) {
  OutputFile out;
  EXPECT_FALSE(out.open((dir_ / "missing" / "out.wrl").string().c_str()));
  EXPECT_FALSE(out.open(nullptr));
  EXPECT_FALSE(out.close());
}

TEST_F(OutputFileTest, FullDiskIsReportedByFailedAndClose) {
  if (!fs::exists("/dev/full")) {
    GTEST_SKIP() << "no /dev/full";
  }
  OutputFile out;
  ASSERT_TRUE(out.open("/dev/full"));
  out.append("x");
  EXPECT_FALSE(out.failed()); // still in the buffer
  EXPECT_FALSE(out.close());
  EXPECT_TRUE(out.failed());

  OutputFile big;
  ASSERT_TRUE(big.open("/dev/full"));
  big.append(std::string(OutputFile::kCapacity + 1, 'y'));
  EXPECT_TRUE(big.failed()); // the first buffer-full already failed
  EXPECT_FALSE(big.close());
}

} // namespace
