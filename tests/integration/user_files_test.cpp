// A user's files under faults: the drawing is never an export's target, a
// world file is replaced only by a complete one whatever happens on the way
// (a full disk, a failed close, a signal), and SAVE writes where the drawing
// really is, as it was. Faults come from a small tmpfs where the test may
// mount one, and otherwise from fault_shim.c, preloaded into corvane.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "test_drawing.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

const std::string kOldWorld = "#VRML V1.0 ascii\n# the world that was there before\n";

// Polygon meshes of 30 x 30 vertices: some 20 KB of world each.
std::string bigDrawing(int meshes) {
  TestDrawing d;
  for (int i = 0; i < meshes; ++i) {
    std::ostringstream handle;
    handle << std::hex << std::uppercase << 0x100 + i;
    d.polygonMesh(handle.str(), "0", 1 + i % 200, 30, 30);
  }
  return d.text();
}

class WorldFileSafety : public ::testing::Test {
protected:
  void SetUp() override {
    home_ = makeTempDir();
    out_ = makeTempDir();
    writeFile(out_ + "/world.wrl", kOldWorld);
  }
  void TearDown() override {
    fs::remove_all(home_);
    fs::remove_all(out_);
  }

  // The folder that holds only the world file, as it was.
  void expectOldWorldAlone() {
    std::string world = readFile(out_ + "/world.wrl");
    EXPECT_TRUE(world == kOldWorld) << world.size() << " bytes: " << world.substr(0, 200);
    EXPECT_EQ(filesIn(out_), std::vector<std::string>{"world.wrl"});
  }

  std::string home_; // the drawings
  std::string out_;  // the world file, and nothing else
};

TEST_F(WorldFileSafety, AnExportNeverWritesTheOpenDrawing) {
  TestDrawing faces;
  faces.face("2A", "0", 1).face("2B", "0", 2, 5);
  TestDrawing lines; // nothing exportable: a run that converts nothing removed its output
  lines.line("2A", "0", 1);
  for (const std::string& text : {faces.text(), lines.text()}) {
    std::string dxf = home_ + "/d.dxf";
    writeFile(dxf, text);
    ASSERT_EQ(symlink("d.dxf", (home_ + "/link.dxf").c_str()), 0);
    ASSERT_EQ(link(dxf.c_str(), (home_ + "/other.wrl").c_str()), 0);
    for (std::string target : {"d.dxf", "link.dxf", "other.wrl"}) {
      ProcessResult r = runProcess({corvanePath(), "export", "d.dxf", "-o", target}, "", home_);
      EXPECT_EQ(r.status, 2) << target << r.out << r.err;
      EXPECT_EQ(r.out, "Cannot create output file.\n");
      EXPECT_EQ(r.err, "corvane: cannot write " + target +
                           ": it is the drawing that is open; only SAVE and SAVEAS write it\n");
    }
    ProcessResult script = runProcess({corvanePath(), "run", "d.dxf", "-"},
                                      "(vrml_wrlout (ssget \"X\") \"d.dxf\")\nvrmlout\nall\n\nlink.dxf\ny\n", home_);
    EXPECT_NE(script.out.find("\nCannot create output file.nil\n"), std::string::npos) << script.out;
    EXPECT_NE(script.out.find("\nCannot create output file.\nError while creating VRML file."), std::string::npos)
        << script.out;
    EXPECT_EQ(readFile(dxf), text);
    EXPECT_TRUE(fs::is_symlink(home_ + "/link.dxf"));
    EXPECT_EQ(filesIn(home_), (std::vector<std::string>{"d.dxf", "link.dxf", "other.wrl"}));
    fs::remove_all(home_);
    fs::create_directories(home_);
  }
}

TEST_F(WorldFileSafety, AFailedWriteOrCloseLeavesTheOldFileAndSaysWhy) {
  writeFile(home_ + "/big.dxf", bigDrawing(60)); // a megabyte goes to the disk before the end
  struct Fault {
    std::vector<std::string> env;
    std::string reason;
  };
  const std::vector<Fault> faults = {
      {{"CORVANE_FAULT_WRITE=ENOSPC", "CORVANE_FAULT_AFTER=300000"}, "the disk is full"},
      {{"CORVANE_FAULT_WRITE=EIO"}, "an I/O error"},
      {{"CORVANE_FAULT_CLOSE=EIO"}, "an I/O error"},
      {{"CORVANE_FAULT_WRITE=ENOSPC", "CORVANE_FAULT_AFTER=300000", "CORVANE_FAULT_NO_TMPFILE=1"}, "the disk is full"},
  };
  for (const Fault& fault : faults) {
    std::vector<std::string> env = fault.env;
    env.push_back("CORVANE_FAULT_DIR=" + out_);
    ProcessResult r = runProcess({corvanePath(), "export", "big.dxf", "-o", out_ + "/world.wrl"}, "", home_,
                                 withShim(env));
    EXPECT_EQ(r.status, 2) << fault.env[0] << r.err;
    EXPECT_EQ(r.err, "corvane: cannot write " + out_ + "/world.wrl: " + fault.reason + "\n") << fault.env[0];
    EXPECT_EQ(r.out.find("objects converted"), std::string::npos) << r.out;
    expectOldWorldAlone();
  }
  // Where there was no file, there is none.
  ProcessResult fresh = runProcess({corvanePath(), "export", "big.dxf", "-o", out_ + "/new.wrl"}, "", home_,
                                   withShim({"CORVANE_FAULT_DIR=" + out_, "CORVANE_FAULT_WRITE=ENOSPC"}));
  EXPECT_EQ(fresh.status, 2) << fresh.err;
  expectOldWorldAlone();
}

TEST_F(WorldFileSafety, ASmallFileSystemThatFillsUp) {
  // A private mount namespace: the tmpfs vanishes with the shell that made
  // it, so the whole check runs inside it.
  std::string mount = home_ + "/small";
  fs::create_directories(mount);
  writeFile(home_ + "/big.dxf", bigDrawing(30));
  std::string script =
      "mount -t tmpfs -o size=512k tmpfs " + mount + " || exit 99\n"
      "printf 'old' > " + mount + "/world.wrl\n" +
      shellQuoted(corvanePath()) + " export " + home_ + "/big.dxf -o " + mount + "/world.wrl >/dev/null 2>" + home_ +
      "/err\n"
      "echo \"status=$?\"; echo \"world=$(cat " + mount + "/world.wrl)\"; echo \"files=$(ls -A " + mount + ")\"\n"
      "cat " + home_ + "/err\n";
  ProcessResult r = runProcess({"/usr/bin/unshare", "--map-root-user", "--mount", "/bin/sh", "-c", script});
  if (r.status != 0 && ::geteuid() == 0) r = runProcess({"/usr/bin/unshare", "--mount", "/bin/sh", "-c", script});
  if (r.status != 0) GTEST_SKIP() << "no tmpfs can be mounted here: " << r.err;
  EXPECT_EQ(r.out, "status=2\nworld=old\nfiles=world.wrl\ncorvane: cannot write " + mount +
                       "/world.wrl: the disk is full\n");
}

TEST_F(WorldFileSafety, AnAbortedRunStillPutsItsWholeGroupsInPlace) {
  TestDrawing d;
  d.face("2A", "0", 1).face("2B", "0", 2, 5).face("2C", "0", 3, 10).face("2D", "0", 4, 15);
  writeFile(home_ + "/d.dxf", d.text());
  ProcessResult r = runProcess({corvanePath(), "export", "d.dxf", "-o", out_ + "/world.wrl", "--progress"}, "", home_,
                               withShim({"CORVANE_FAULT_FACES=2"}));
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.out.find("\rProcessing 2 of 4.\nCannot open face file."), std::string::npos) << r.out;
  std::string world = readFile(out_ + "/world.wrl");
  EXPECT_EQ(occurrences(world, "Separator {"), 2u) << world;
  EXPECT_TRUE(world.ends_with("\t]\n}\n}\n")) << world; // the second group, closed
  EXPECT_EQ(coinCheck(out_ + "/world.wrl", {"--groups", "2"}), "");
  EXPECT_EQ(filesIn(out_), std::vector<std::string>{"world.wrl"});
}

TEST_F(WorldFileSafety, ASignalMidExportLeavesTheOldFileAndNoTemporaryOnes) {
  writeFile(home_ + "/big.dxf", bigDrawing(40));
  struct Case {
    int signal;
    bool unnamed; // the file system makes unnamed files
    int status;
  };
  for (const Case& c : {Case{SIGINT, true, 130}, Case{SIGTERM, true, 130}, Case{SIGHUP, true, 130},
                        Case{SIGINT, false, 130}, Case{SIGKILL, true, 128 + SIGKILL}}) {
    std::string log = home_ + "/dirs.log";
    std::vector<std::string> env = {"CORVANE_FAULT_SLOW_MS=25", "CORVANE_FAULT_LOG=" + log};
    if (!c.unnamed) env.push_back("CORVANE_FAULT_NO_TMPFILE=1");
    RunningProcess child({corvanePath(), "export", "big.dxf", "-o", out_ + "/world.wrl", "--progress"}, withShim(env),
                         home_);
    // Part-way: the rest takes most of a second at least.
    ASSERT_TRUE(child.waitForOutput("Processing 10 of 40.")) << c.signal;
    child.signal(c.signal);
    ProcessResult r = child.wait();
    EXPECT_EQ(r.status, c.status) << c.signal << r.out << r.err;
    // The private face-file folder went with the process, unless nothing
    // could run at its end.
    std::string dirs = readFile(log);
    EXPECT_FALSE(dirs.empty());
    std::istringstream made(dirs);
    for (std::string dir; std::getline(made, dir);) {
      EXPECT_TRUE(c.signal == SIGKILL || !fs::exists(dir)) << dir;
      fs::remove_all(dir);
    }
    EXPECT_TRUE(c.signal == SIGKILL || r.err == "corvane: interrupted; " + out_ + "/world.wrl was not written\n")
        << r.err;
    EXPECT_EQ(r.out.find("objects converted"), std::string::npos) << r.out;
    expectOldWorldAlone();
    fs::remove(log);
  }
}

// A failure the host finds (the drawing's file cut short or rewritten under
// the export) keeps the old world whole, unlike the module's own aborts.
TEST_F(WorldFileSafety, ADrawingChangedMidExportLeavesTheOldWorld) {
  const std::string text = bigDrawing(40);
  for (const bool cut : {true, false}) {
    SCOPED_TRACE(cut ? "cut short" : "rewritten in place");
    writeFile(home_ + "/big.dxf", text);
    RunningProcess child({corvanePath(), "export", "big.dxf", "-o", out_ + "/world.wrl", "--progress"},
                         withShim({"CORVANE_FAULT_SLOW_MS=25"}), home_);
    ASSERT_TRUE(child.waitForOutput("Processing 10 of 40."));
    if (cut) {
      ASSERT_EQ(::truncate((home_ + "/big.dxf").c_str(), static_cast<off_t>(text.size() / 2)), 0);
    } else {
      // The same size, a byte changed, through the same file.
      std::string other = text;
      other[other.size() / 2] = other[other.size() / 2] == '1' ? '2' : '1';
      FILE* f = std::fopen((home_ + "/big.dxf").c_str(), "r+");
      ASSERT_NE(f, nullptr);
      ASSERT_EQ(std::fwrite(other.data(), 1, other.size(), f), other.size());
      ASSERT_EQ(std::fclose(f), 0);
    }
    ProcessResult r = child.wait();
    EXPECT_EQ(r.status, 2) << r.out << r.err;
    EXPECT_NE(r.err.find("corvane: big.dxf: the file changed during the export; " + out_ +
                         "/world.wrl was left as it was\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out.find("objects converted"), std::string::npos) << r.out;
    expectOldWorldAlone();
  }
}

TEST_F(WorldFileSafety, TwoExportsToOneNameNeverMix) {
  writeFile(home_ + "/a.dxf", bigDrawing(20));
  TestDrawing faces;
  for (int i = 0; i < 200; ++i) faces.face(std::to_string(100 + i), "0", 1, i);
  writeFile(home_ + "/b.dxf", faces.text());
  for (const char* name : {"a", "b"}) {
    ProcessResult alone = runProcess({corvanePath(), "export", std::string(name) + ".dxf"}, "", home_);
    ASSERT_EQ(alone.status, 0) << alone.err;
  }
  const std::vector<std::string> env = withShim({"CORVANE_FAULT_SLOW_MS=2"});
  RunningProcess a({corvanePath(), "export", "a.dxf", "-o", out_ + "/world.wrl"}, env, home_);
  RunningProcess b({corvanePath(), "export", "b.dxf", "-o", out_ + "/world.wrl"}, env, home_);
  ProcessResult ra = a.wait();
  ProcessResult rb = b.wait();
  // Each run either finished or was refused because the other held the file.
  for (const ProcessResult* r : {&ra, &rb}) {
    EXPECT_TRUE(r->status == 0 || (r->status == 2 && r->err.find("holds it open") != std::string::npos))
        << r->status << r->err;
  }
  std::string world = readFile(out_ + "/world.wrl");
  EXPECT_TRUE(world == readFile(home_ + "/a.wrl") || world == readFile(home_ + "/b.wrl"));
  EXPECT_EQ(filesIn(out_), std::vector<std::string>{"world.wrl"});
}

TEST(SaveSafety, SaveWritesThroughALinkAndKeepsModeOwnerAndHardLinks) {
  TestDrawing d;
  d.face("2A", "0", 1);
  const std::string dir = makeTempDir();
  const std::string script = "(regapp \"SAVED\")\nSAVE\n";
  writeFile(dir + "/real.dxf", d.text());
  ASSERT_EQ(chmod((dir + "/real.dxf").c_str(), 0640), 0);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown((dir + "/real.dxf").c_str(), 4321, 4321), 0);
  }
  ASSERT_EQ(symlink("real.dxf", (dir + "/link.dxf").c_str()), 0);
  ProcessResult linked = runProcess({corvanePath(), "run", "link.dxf", "-"}, script, dir);
  EXPECT_NE(linked.out.find("Saved link.dxf."), std::string::npos) << linked.out << linked.err;
  EXPECT_TRUE(fs::is_symlink(dir + "/link.dxf"));
  EXPECT_NE(readFile(dir + "/real.dxf").find("SAVED"), std::string::npos);
  struct stat st;
  ASSERT_EQ(stat((dir + "/real.dxf").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_TRUE(!root || st.st_uid == 4321u) << st.st_uid;

  // A drawing with a second name is rewritten in place: both names see it.
  writeFile(dir + "/twin.dxf", d.text());
  ASSERT_EQ(link((dir + "/twin.dxf").c_str(), (dir + "/twin2.dxf").c_str()), 0);
  ProcessResult twin = runProcess({corvanePath(), "run", "twin.dxf", "-"}, script, dir);
  EXPECT_NE(twin.out.find("Saved twin.dxf."), std::string::npos) << twin.out << twin.err;
  EXPECT_NE(readFile(dir + "/twin2.dxf").find("SAVED"), std::string::npos);
  EXPECT_EQ(readFile(dir + "/twin2.dxf"), readFile(dir + "/twin.dxf"));

  // Where the file system makes no unnamed files, the named one goes too.
  writeFile(dir + "/plain.dxf", d.text());
  ProcessResult plain = runProcess({corvanePath(), "run", "plain.dxf", "-"}, script, dir,
                                   withShim({"CORVANE_FAULT_NO_TMPFILE=1"}));
  EXPECT_NE(plain.out.find("Saved plain.dxf."), std::string::npos) << plain.out << plain.err;
  EXPECT_NE(readFile(dir + "/plain.dxf").find("SAVED"), std::string::npos);
  EXPECT_EQ(filesIn(dir),
            (std::vector<std::string>{"link.dxf", "plain.dxf", "real.dxf", "twin.dxf", "twin2.dxf"}));
  fs::remove_all(dir);
}

TEST(SaveSafety, AFullDiskLeavesTheDrawingAsItWas) {
  TestDrawing d;
  d.face("2A", "0", 1);
  const std::string dir = makeTempDir();
  for (bool twin : {false, true}) {
    writeFile(dir + "/d.dxf", d.text());
    if (twin) {
      ASSERT_EQ(link((dir + "/d.dxf").c_str(), (dir + "/d2.dxf").c_str()), 0);
    }
    ProcessResult r = runProcess({corvanePath(), "run", "d.dxf", "-"}, "(regapp \"SAVED\")\nSAVE\n", dir,
                                 withShim({"CORVANE_FAULT_DIR=" + dir, "CORVANE_FAULT_WRITE=ENOSPC"}));
    EXPECT_NE(r.out.find("\nd.dxf: cannot write: the disk is full\n"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(dir + "/d.dxf"), d.text());
    const std::vector<std::string> expected = twin ? std::vector<std::string>{"d.dxf", "d2.dxf"}
                                                   : std::vector<std::string>{"d.dxf"};
    EXPECT_EQ(filesIn(dir), expected);
  }
  fs::remove_all(dir);
}

} // namespace
} // namespace corvane::testing
