// A FIFO, socket or device given as the drawing or as the world is refused
// at once with the reason, where opening it would wait for ever for the
// other end (a FIFO) or write where no file is.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "test_drawing.h"

namespace corvane::testing {
namespace {

class SpecialFiles : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = makeTempDir();
    TestDrawing d;
    d.face("2A", "0", 1);
    writeFile(dir_ + "/d.dxf", d.text());
    ASSERT_EQ(::mkfifo((dir_ + "/fifo.dxf").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir_ + "/fifo.wrl").c_str(), 0600), 0);
    socket_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = dir_ + "/socket.wrl";
    ASSERT_LT(path.size(), sizeof address.sun_path);
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  void TearDown() override {
    ::close(socket_);
    std::filesystem::remove_all(dir_);
  }
  // corvane with ARGS in the test's folder; a run that waits on a FIFO is
  // ended after ten seconds and fails the test.
  ProcessResult corvane(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"/usr/bin/timeout", "10", corvanePath()});
    return runProcess(args, input, dir_);
  }

  std::string dir_;
  int socket_ = -1;
};

TEST_F(SpecialFiles, AsTheDrawingAreRefusedAtOnce) {
  ProcessResult exported = corvane({"export", "fifo.dxf", "-o", "out.wrl"});
  EXPECT_EQ(exported.status, 2);
  EXPECT_EQ(exported.err, "corvane: fifo.dxf: not a regular file but a FIFO\n");
  ProcessResult shell = corvane({"shell", "fifo.dxf"});
  EXPECT_EQ(shell.status, 2);
  EXPECT_EQ(shell.err, "corvane: fifo.dxf: not a regular file but a FIFO\n");
  ProcessResult device = corvane({"export", "/dev/zero", "-o", "out.wrl"});
  EXPECT_EQ(device.err, "corvane: /dev/zero: not a regular file but a device\n");
  EXPECT_EQ(filesIn(dir_), (std::vector<std::string>{"d.dxf", "fifo.dxf", "fifo.wrl", "socket.wrl"}));
}

TEST_F(SpecialFiles, AsTheWorldAreRefusedAtOnceAndStandardOutputIsTheWayOut) {
  for (const std::string world : {"fifo.wrl", "socket.wrl", "/dev/null"}) {
    SCOPED_TRACE(world);
    ProcessResult r = corvane({"export", "d.dxf", "-o", world});
    EXPECT_EQ(r.status, 2);
    const std::string kind = world == "fifo.wrl" ? "a FIFO" : world == "socket.wrl" ? "a socket" : "a device";
    EXPECT_EQ(r.err, "corvane: cannot write " + world + ": it is " + kind +
                         ", not a regular file (-o - writes standard output)\n");
  }
  // A link to one is the same: it is where the world would go.
  ASSERT_EQ(::symlink("fifo.wrl", (dir_ + "/link.wrl").c_str()), 0);
  ProcessResult linked = corvane({"export", "d.dxf", "-o", "link.wrl"});
  EXPECT_EQ(linked.err, "corvane: cannot write link.wrl: it is a FIFO, not a regular file (-o - writes standard "
                        "output)\n");
  ProcessResult out = corvane({"export", "d.dxf", "-o", "-"});
  EXPECT_EQ(out.status, 0) << out.err;
  EXPECT_EQ(out.out.rfind("#VRML V1.0 ascii", 0), 0u);
}

} // namespace
} // namespace corvane::testing
