// `corvane export` on many drawings, through the whole program: folders and
// -r, the worlds against single exports, name clashes, what each drawing
// says (plain lines, JSON read by Python's own parser, the live display at
// a terminal), a worker that crashes or is killed, and a stop part-way.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "support/tmux_session.h"
#include "test_drawing.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

std::string faces(int count, int colour = 1) {
  TestDrawing d;
  for (int i = 0; i < count; ++i) d.face(std::to_string(0x100 + i), "0", colour, i * 12.0);
  return d.text();
}

std::string twoLines() {
  TestDrawing d;
  d.line("2A", "0", 1).line("2B", "0", 2);
  return d.text();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> all;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) all.push_back(line);
  return all;
}

// Every JSON line of TEXT read by Python's json module: per drawing, its
// fields as text ("ignored" as sorted JSON). Empty when Python is missing;
// a line it can't read fails the test.
std::map<std::string, std::map<std::string, std::string>> parsedJson(const std::string& text) {
  std::map<std::string, std::map<std::string, std::string>> drawings;
  if (access("/usr/bin/python3", X_OK) != 0) return drawings;
  const char* reader =
      "import json, sys\n"
      "for line in sys.stdin:\n"
      "    o = json.loads(line)\n"
      "    assert set(o) == {'drawing', 'world', 'status', 'verdict', 'converted', 'ignored', 'seconds',\n"
      "                      'message'}, sorted(o)\n"
      "    assert isinstance(o['seconds'], float) and o['seconds'] >= 0\n"
      "    for k in ('drawing', 'world', 'verdict', 'message'):\n"
      "        print(k + '\\t' + o['drawing'] + '\\t' + o[k])\n"
      "    for k in ('status', 'converted'):\n"
      "        print(k + '\\t' + o['drawing'] + '\\t' + str(o[k]))\n"
      "    print('ignored\\t' + o['drawing'] + '\\t' + json.dumps(o['ignored'], sort_keys=True))\n";
  ProcessResult r = runProcess({"/usr/bin/python3", "-c", reader}, text);
  EXPECT_EQ(r.status, 0) << r.err << text;
  for (const std::string& line : lines(r.out)) {
    size_t tab = line.find('\t'), second = line.find('\t', tab + 1);
    drawings[line.substr(tab + 1, second - tab - 1)][line.substr(0, tab)] = line.substr(second + 1);
  }
  return drawings;
}

// The process ids in the face-file folders logged to LOG (one a line,
// "...corvane-faces-PID-XXXXXX").
std::vector<pid_t> loggedWorkers(const std::string& log) {
  std::vector<pid_t> pids;
  for (const std::string& dir : lines(readFile(log))) {
    size_t at = dir.rfind("corvane-faces-");
    if (at != std::string::npos) pids.push_back(std::stoi(dir.substr(at + 14)));
  }
  return pids;
}

bool waitForWorkers(const std::string& log, size_t count) {
  for (int i = 0; i < 600; ++i) {
    if (fs::exists(log) && loggedWorkers(log).size() >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class BatchExport : public ::testing::Test {
protected:
  void SetUp() override { dir_ = makeTempDir(); }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  void write(const std::string& name, const std::string& text) {
    fs::create_directories(fs::path(path(name)).parent_path());
    writeFile(path(name), text);
  }
  ProcessResult corvane(std::vector<std::string> args, const std::vector<std::string>& env = {}) {
    args.insert(args.begin(), corvanePath());
    return runProcess(args, "", dir_, env);
  }
  // The world the single export writes for the drawing NAME.
  std::string singleWorld(const std::string& name) {
    ProcessResult r = corvane({"export", name, "-o", "single.wrl"});
    EXPECT_EQ(r.status, 0) << name << r.err;
    std::string world = readFile(path("single.wrl"));
    fs::remove(path("single.wrl"));
    return world;
  }

  std::string dir_;
};

TEST_F(BatchExport, DrawingsAndFoldersGiveTheWorldsTheirSingleExportsGive) {
  write("lib/a.dxf", faces(3));
  write("lib/b.DXF", faces(2, 5));
  write("lib/notes.txt", "not a drawing");
  write("lib/sub/c.dxf", faces(1, 3));
  write("lib/sub/deeper/d.dxf", faces(4, 2));
  write("e.dxf", faces(5, 6));

  ProcessResult flat = corvane({"export", "lib", "e.dxf", "-o", "out", "-j", "2"});
  EXPECT_EQ(flat.status, 0) << flat.out << flat.err;
  EXPECT_EQ(flat.err, "");
  EXPECT_EQ(filesIn(path("out")), (std::vector<std::string>{"a.wrl", "b.wrl", "e.wrl"}));
  // Not on a terminal: one plain line per drawing as it ends, then the
  // summary; no carriage return anywhere.
  EXPECT_EQ(flat.out.find('\r'), std::string::npos) << flat.out;
  std::vector<std::string> said = lines(flat.out);
  ASSERT_GE(said.size(), 4u) << flat.out;
  std::sort(said.begin(), said.begin() + 3);
  EXPECT_EQ(said[0].rfind("e.dxf: 5 converted, 0 ignored, ", 0), 0u) << flat.out;
  EXPECT_EQ(said[1].rfind("lib/a.dxf: 3 converted, 0 ignored, ", 0), 0u) << flat.out;
  EXPECT_EQ(said[2].rfind("lib/b.DXF: 2 converted, 0 ignored, ", 0), 0u) << flat.out;
  EXPECT_EQ(said[3].rfind("3 drawings in ", 0), 0u) << flat.out;
  EXPECT_NE(said[3].find(": 3 exported (10 objects converted) to out"), std::string::npos) << flat.out;
  EXPECT_EQ(said.size(), 4u) << flat.out;

  // -r goes down, keeping the sub-folders (a link to a folder above is not
  // followed); the worlds are the single exports'.
  fs::create_directory_symlink("..", path("lib/sub/up"));
  ProcessResult deep = corvane({"export", "-r", "lib", "--output=deep"});
  EXPECT_EQ(deep.status, 0) << deep.out << deep.err;
  EXPECT_NE(deep.out.find("4 drawings in "), std::string::npos) << deep.out;
  for (const auto& [world, drawing] : std::vector<std::pair<std::string, std::string>>{
           {"deep/a.wrl", "lib/a.dxf"},
           {"deep/b.wrl", "lib/b.DXF"},
           {"deep/sub/c.wrl", "lib/sub/c.dxf"},
           {"deep/sub/deeper/d.wrl", "lib/sub/deeper/d.dxf"}}) {
    ASSERT_TRUE(fs::exists(path(world))) << world << deep.out;
    EXPECT_TRUE(readFile(path(world)) == singleWorld(drawing)) << world;
  }
  EXPECT_TRUE(readFile(path("out/e.wrl")) == singleWorld("e.dxf"));
  // --layer and --keep-blocks reach every worker.
  ProcessResult none = corvane({"export", "lib", "-o", "layered", "--layer", "NOSUCH", "--keep-blocks"});
  EXPECT_EQ(none.status, 1) << none.out;
  EXPECT_NE(none.out.find("lib/a.dxf: 0 converted, 0 ignored, "), std::string::npos) << none.out;
  EXPECT_NE(none.out.find("; nothing converted: no object is on layer NOSUCH\n"), std::string::npos) << none.out;
  EXPECT_TRUE(!fs::exists(path("layered")) || fs::is_empty(path("layered")));
}

TEST_F(BatchExport, TwoDrawingsGivingOneWorldNameAreRefusedBeforeAnythingIsWritten) {
  write("one/house.dxf", faces(1));
  write("two/house.dxf", faces(2));
  write("two/shed.dxf", faces(1));
  write("two/shed.dwg", "AC1032 and more");
  ProcessResult r = corvane({"export", "one", "two", "-o", "out"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "corvane: one/house.dxf and two/house.dxf would both be written to out/house.wrl\n"
                   "corvane: two/shed.dwg and two/shed.dxf would both be written to out/shed.wrl\n"
                   "corvane: two drawings may not give one world name; nothing was exported\n");
  EXPECT_FALSE(fs::exists(path("out")));
  // The same drawing named twice is one drawing.
  ProcessResult twice = corvane({"export", "one/house.dxf", "./one/house.dxf", "-o", "out"});
  EXPECT_EQ(twice.status, 0) << twice.err;
  EXPECT_EQ(lines(twice.out).size(), 2u) << twice.out;
  // Usage faults of a batch.
  ProcessResult stdoutBatch = corvane({"export", "one", "two/shed.dxf", "-o", "-"});
  EXPECT_EQ(stdoutBatch.status, 2);
  EXPECT_EQ(stdoutBatch.err, "corvane: export: -o - takes one drawing; with several, -o names a folder\n");
  ProcessResult notAFolder = corvane({"export", "one", "two/shed.dxf", "-o", "one/house.dxf"});
  EXPECT_EQ(notAFolder.status, 2);
  EXPECT_EQ(notAFolder.err, "corvane: export: one/house.dxf is not a folder; with several drawings, -o names the "
                            "folder of the worlds\n");
  fs::create_directories(path("nothing/here"));
  ProcessResult empty = corvane({"export", "nothing"});
  EXPECT_EQ(empty.status, 2);
  EXPECT_EQ(empty.err, "corvane: no drawing (.dxf or .dwg) in nothing (-r looks in sub-folders)\n");
}

TEST_F(BatchExport, EachDrawingSaysWhatBecameOfItAndTheStatusIsTheWorst) {
  write("lib/good.dxf", faces(2));
  write("lib/lines.dxf", twoLines());
  write("lib/broken.dxf", "  0\nSECTION\n  2\nENTITIES\n  0\n3DFACE\n 10\nnot a number\n");
  write("lib/drawing.dwg", "AC1032\0 a DWG file's first bytes");
  writeFile(path("old.wrl"), "old");
  ProcessResult r = corvane({"export", "lib", "-o", ".", "--json"});
  EXPECT_EQ(r.status, 2) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(lines(r.out).size(), 4u) << r.out; // nothing but the JSON lines
  auto json = parsedJson(r.out);
  if (json.empty()) GTEST_SKIP() << "python3 missing";
  EXPECT_EQ(json["lib/good.dxf"]["status"], "0");
  EXPECT_EQ(json["lib/good.dxf"]["verdict"], "exported");
  EXPECT_EQ(json["lib/good.dxf"]["converted"], "2");
  EXPECT_EQ(json["lib/good.dxf"]["world"], "good.wrl");
  EXPECT_EQ(json["lib/good.dxf"]["ignored"], "{}");
  EXPECT_EQ(json["lib/good.dxf"]["message"], "");
  EXPECT_EQ(json["lib/lines.dxf"]["status"], "1");
  EXPECT_EQ(json["lib/lines.dxf"]["ignored"], "{\"LINE\": 2}");
  EXPECT_EQ(json["lib/lines.dxf"]["message"], "nothing converted: 2 lines, which the export does not convert");
  EXPECT_EQ(json["lib/broken.dxf"]["status"], "2");
  EXPECT_EQ(json["lib/broken.dxf"]["verdict"], "refused");
  EXPECT_NE(json["lib/broken.dxf"]["message"].find("lib/broken.dxf:"), std::string::npos);
  EXPECT_EQ(json["lib/drawing.dwg"]["status"], "2");
  EXPECT_NE(json["lib/drawing.dwg"]["message"].find("DWG"), std::string::npos);
  EXPECT_TRUE(readFile(path("good.wrl")) == singleWorld("lib/good.dxf"));
  EXPECT_FALSE(fs::exists(path("lines.wrl")));

  // The same facts as plain lines, and the summary with the reasons.
  ProcessResult plain = corvane({"export", "lib", "-o", "plain"});
  EXPECT_EQ(plain.status, 2);
  EXPECT_NE(("\n" + plain.out).find("\nlib/lines.dxf: 0 converted, 2 ignored, "), std::string::npos) << plain.out;
  EXPECT_NE(plain.out.find("4 drawings in "), std::string::npos) << plain.out;
  EXPECT_NE(plain.out.find(": 1 exported (2 objects converted) to plain, 1 with nothing to convert, 2 refused\n"),
            std::string::npos) << plain.out;
  EXPECT_NE(plain.out.find("\n  lib/lines.dxf: nothing converted: 2 lines, which the export does not convert\n"),
            std::string::npos) << plain.out;
  EXPECT_NE(plain.out.find("\n  lib/broken.dxf: refused; lib/broken.dxf:"), std::string::npos) << plain.out;

  // The single export says the same in one JSON line.
  ProcessResult one = corvane({"export", "lib/lines.dxf", "--json"});
  EXPECT_EQ(one.status, 1);
  EXPECT_EQ(one.err, "corvane: nothing converted: 2 lines, which the export does not convert\n");
  auto single = parsedJson(one.out);
  EXPECT_EQ(single["lib/lines.dxf"]["world"], "lines.wrl");
  EXPECT_EQ(single["lib/lines.dxf"]["message"], json["lib/lines.dxf"]["message"]);
}

TEST_F(BatchExport, AWorkerThatCrashesIsReportedAndTheOthersFinish) {
  write("lib/a.dxf", faces(2));
  write("lib/crash.dxf", faces(2));
  write("lib/b.dxf", faces(3));
  ProcessResult r = corvane({"export", "lib", "-o", "out", "-j", "2"}, withShim({"CORVANE_FAULT_ABORT=crash"}));
  EXPECT_EQ(r.status, 3) << r.out << r.err;
  EXPECT_NE(r.out.find("lib/crash.dxf: crashed, "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("; its worker was killed by signal " + std::to_string(SIGABRT) + " ("), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(": 2 exported (5 objects converted) to out, 1 crashed\n"), std::string::npos) << r.out;
  EXPECT_EQ(filesIn(path("out")), (std::vector<std::string>{"a.wrl", "b.wrl"}));

  // A worker killed from outside: one at a time, the biggest drawing first.
  write("slow/big.dxf", faces(60));
  write("slow/small1.dxf", faces(1));
  write("slow/small2.dxf", faces(1));
  const std::string log = path("dirs.log");
  RunningProcess batch({corvanePath(), "export", "slow", "-o", "slow-out", "-j", "1"},
                       withShim({"CORVANE_FAULT_SLOW_MS=40", "CORVANE_FAULT_LOG=" + log}), dir_);
  ASSERT_TRUE(waitForWorkers(log, 1));
  ASSERT_EQ(::kill(loggedWorkers(log)[0], SIGKILL), 0);
  ProcessResult killed = batch.wait();
  EXPECT_EQ(killed.status, 3) << killed.out << killed.err;
  EXPECT_NE(killed.out.find("slow/big.dxf: crashed, "), std::string::npos) << killed.out;
  EXPECT_NE(killed.out.find("; its worker was killed by signal 9 ("), std::string::npos) << killed.out;
  EXPECT_NE(killed.out.find(": 2 exported (2 objects converted) to slow-out, 1 crashed\n"), std::string::npos)
      << killed.out;
  EXPECT_EQ(filesIn(path("slow-out")), (std::vector<std::string>{"small1.wrl", "small2.wrl"}));
  for (const std::string& dir : lines(readFile(log))) fs::remove_all(dir); // the killed worker's
}

TEST_F(BatchExport, ASignalStopsEveryWorkerAndLeavesEveryOldWorldWhole) {
  const std::string old = "#VRML V1.0 ascii\n# the world that was there before\n";
  for (const char* name : {"a", "b", "c", "d"}) {
    write(std::string("lib/") + name + ".dxf", faces(40));
    write(std::string("out/") + name + ".wrl", old);
  }
  for (int signal : {SIGINT, SIGTERM}) {
    const std::string log = path("dirs.log");
    RunningProcess batch({corvanePath(), "export", "lib", "-o", "out", "-j", "2"},
                         withShim({"CORVANE_FAULT_SLOW_MS=30", "CORVANE_FAULT_LOG=" + log}), dir_);
    // Both workers are part-way through their drawings (each takes over a second).
    ASSERT_TRUE(waitForWorkers(log, 2));
    batch.signal(signal);
    ProcessResult r = batch.wait();
    EXPECT_EQ(r.status, 130) << signal << r.out << r.err;
    EXPECT_EQ(occurrences(r.out, ": interrupted, "), 2u) << r.out;
    EXPECT_NE(r.out.find(", 2 interrupted, 2 not started\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" was not written"), std::string::npos) << r.out;
    EXPECT_EQ(filesIn(path("out")), (std::vector<std::string>{"a.wrl", "b.wrl", "c.wrl", "d.wrl"}));
    for (const char* name : {"a", "b", "c", "d"}) EXPECT_TRUE(readFile(path("out/") + name + ".wrl") == old) << name;
    // The workers' face-file folders went with them.
    for (const std::string& dir : lines(readFile(log))) EXPECT_FALSE(fs::exists(dir)) << dir;
    fs::remove(log);
  }
}

TEST_F(BatchExport, AtATerminalOneLiveLineAndALineOnlyForWhatIsWorthSaying) {
  if (!TmuxSession::available()) GTEST_SKIP() << "tmux missing";
  write("lib/a.dxf", faces(20));
  write("lib/b.dxf", faces(30));
  write("lib/lines.dxf", twoLines());
  TmuxSession tmux("cd " + shellQuoted(dir_) + " && " + shellAssignments(withShim({"CORVANE_FAULT_SLOW_MS=50"})) +
                       shellQuoted(corvanePath()) + " export lib -o out -j 2",
                   200, 20);
  ASSERT_TRUE(tmux.started());
  // The biggest drawings first; the estimate once one is done.
  ASSERT_TRUE(tmux.waitFor("Exporting: 0 of 3 drawings done, 0 objects converted, 0:0")) << tmux.screen();
  EXPECT_NE(tmux.screen().find("; now lib/b.dxf, lib/a.dxf"), std::string::npos) << tmux.screen();
  ASSERT_TRUE(tmux.waitFor("Exporting: 2 of 3 drawings done, 20 objects converted, 0:0")) << tmux.screen();
  EXPECT_NE(tmux.screen().find(" left; now lib/b.dxf"), std::string::npos) << tmux.screen();
  ASSERT_TRUE(tmux.waitFor("EXIT 1")) << tmux.screen();
  const std::string screen = tmux.screen();
  // The drawing that converted nothing left its line; the others none; the
  // live line gave way to the summary.
  EXPECT_EQ(TmuxSession::count(screen, "lib/lines.dxf: 0 converted, 2 ignored, "), 1u) << screen;
  EXPECT_EQ(TmuxSession::count(screen, "lib/a.dxf"), 0u) << screen;
  EXPECT_EQ(TmuxSession::count(screen, "Exporting:"), 0u) << screen;
  EXPECT_NE(screen.find("3 drawings in "), std::string::npos) << screen;
  EXPECT_NE(screen.find(": 2 exported (50 objects converted) to out, 1 with nothing to convert\n"),
            std::string::npos) << screen;
}

// The many-machine recipe of the README, run as written with this machine
// (":") as the only one in the login file.
TEST_F(BatchExport, TheReadmesGnuParallelRecipeRunsAsWritten) {
  if (access("/usr/bin/parallel", X_OK) != 0) GTEST_SKIP() << "GNU parallel missing (Debian's parallel)";
  std::string readme = readFile(std::string(CORVANE_SOURCE_DIR) + "/README.md");
  size_t section = readme.find("### Many machines");
  ASSERT_NE(section, std::string::npos);
  size_t begin = readme.find("```sh\n", section);
  ASSERT_NE(begin, std::string::npos);
  begin += 6;
  const std::string recipe = readme.substr(begin, readme.find("```", begin) - begin);
  ASSERT_NE(recipe.find("--sshloginfile machines.txt"), std::string::npos) << recipe;

  write("library/a.dxf", faces(2));
  write("library/b.dxf", faces(3));
  write("library/lines.dxf", twoLines());
  writeFile(path("library/machines.txt"), ":\n");
  fs::create_directories(path("home/.parallel"));
  writeFile(path("home/.parallel/will-cite"), "");
  const std::string bin = fs::path(corvanePath()).parent_path().string();
  ProcessResult r = runProcess({"/bin/bash", "-c", recipe}, "", path("library"),
                               {"PATH=" + bin + ":/usr/bin:/bin", "HOME=" + path("home")});
  EXPECT_EQ(r.status, 1) << r.out << r.err; // parallel counts the drawings that failed
  auto json = parsedJson(readFile(path("library/results.jsonl")));
  if (json.empty()) GTEST_SKIP() << "python3 missing";
  EXPECT_EQ(json.size(), 3u);
  EXPECT_EQ(json["a.dxf"]["status"], "0");
  EXPECT_EQ(json["a.dxf"]["world"], "worlds/a.wrl");
  EXPECT_EQ(json["lines.dxf"]["status"], "1");
  for (const char* name : {"a", "b"})
    EXPECT_TRUE(readFile(path(std::string("library/worlds/") + name + ".wrl")) ==
                singleWorld(std::string("library/") + name + ".dxf"))
        << name;
}

} // namespace
} // namespace corvane::testing
