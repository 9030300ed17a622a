// Face files made ahead of the module, through the program: the same worlds
// with the read-ahead on and off, no stale file after a change, and no face
// file left behind by an export that aborts or is interrupted.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "support/corpus.h"
#include "test_drawing.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

// RUN with CORVANE_READ_AHEAD=0 in the child's environment.
template <typename Run>
auto withoutReadAhead(Run run) {
  setenv("CORVANE_READ_AHEAD", "0", 1);
  auto result = run();
  unsetenv("CORVANE_READ_AHEAD");
  return result;
}

// Face-file directories of process PID under the places the host uses.
std::vector<std::string> faceDirectoriesOf(pid_t pid) {
  std::vector<std::string> found;
  const std::string prefix = "corvane-faces-" + std::to_string(pid) + "-";
  const char* tmp = std::getenv("TMPDIR");
  for (const char* base : {"/dev/shm", "/tmp", tmp}) {
    if (base == nullptr) continue;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(base, ec))
      if (entry.path().filename().string().rfind(prefix, 0) == 0) found.push_back(entry.path());
  }
  return found;
}

struct Export {
  ProcessResult result;
  std::string world;
};

Export exportOf(const std::string& drawing, const std::string& dir, const std::string& name) {
  Export e;
  e.result = runProcess({corvanePath(), "export", drawing, "-o", dir + "/" + name});
  e.world = readFile(dir + "/" + name);
  return e;
}

void expectSameExport(const Export& a, const Export& b, const std::string& what) {
  EXPECT_EQ(a.result.status, b.result.status) << what;
  EXPECT_EQ(a.result.out, b.result.out) << what;
  EXPECT_EQ(a.result.err, b.result.err) << what;
  EXPECT_TRUE(a.world == b.world) << what << ": the worlds differ";
}

TEST(ReadAheadProgram, EveryCorpusDrawingGivesTheSameWorldWithAndWithout) {
  std::vector<fs::path> files = corpusFiles();
  if (files.empty()) GTEST_SKIP() << "the corpus is absent";
  files.push_back(fs::path(CORVANE_BIN_DIR) / "examples" / "pavilion.dxf");
  const std::string dir = makeTempDir();
  for (const fs::path& file : files) {
    const Export on = exportOf(file, dir, "on.wrl");
    const Export off = withoutReadAhead([&] { return exportOf(file, dir, "off.wrl"); });
    expectSameExport(on, off, file.filename().string());
  }
  fs::remove_all(dir);
}

TEST(ReadAheadProgram, ChangesBetweenExportsAreNeverServedStale) {
  // A coarser chord tolerance changes the solids' faces, and new extended
  // data the face's anchor: every export shows the drawing as it is then.
  const std::string sample = std::string(CORVANE_BIN_DIR) + "/examples/pavilion.dxf";
  const std::string script = "(vrml_wrlout (ssget \"X\") \"a.wrl\")\n"
                             "(setvar \"FACETCHORD\" 0.05)\n"
                             "(vrml_wrlout (ssget \"X\") \"b.wrl\")\n"
                             "(regapp \"PE_URL\")\n"
                             "(entmod (list (cons -1 (handent \"3A\")) '(-3 (\"PE_URL\" (1000 . \"next.wrl\")))))\n"
                             "(vrml_wrlout (ssget \"X\") \"c.wrl\")\n";
  const std::string on = makeTempDir(), off = makeTempDir();
  const ProcessResult r = runProcess({corvanePath(), "run", sample, "-"}, script, on);
  const ProcessResult s = withoutReadAhead([&] { return runProcess({corvanePath(), "run", sample, "-"}, script, off); });
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.out, s.out);
  for (const char* world : {"a.wrl", "b.wrl", "c.wrl"})
    EXPECT_TRUE(readFile(on + "/" + world) == readFile(off + "/" + world)) << world;
  EXPECT_NE(readFile(on + "/a.wrl"), readFile(on + "/b.wrl"));
  EXPECT_NE(readFile(on + "/c.wrl").find("next.wrl"), std::string::npos);
  fs::remove_all(on);
  fs::remove_all(off);
}

// Runs SCRIPT with /bin/sh in DIR, in a private mount namespace where it
// may mount small file systems; nullopt when this machine doesn't allow it.
std::optional<ProcessResult> inPrivateMounts(const std::string& script, const std::string& dir) {
  const std::vector<std::string> unshare = {"/usr/bin/unshare", "--mount", "--propagation", "private"};
  std::vector<std::string> probe = unshare;
  probe.push_back("/bin/true");
  if (access(unshare[0].c_str(), X_OK) != 0 || runProcess(probe).status != 0) return std::nullopt;
  std::vector<std::string> argv = unshare;
  argv.insert(argv.end(), {"/bin/sh", "-c", script});
  return runProcess(argv, "", dir);
}

// Many small faces, then a mesh whose face file is far larger than 64 KiB.
std::string smallFacesThenABigMesh() {
  TestDrawing d;
  for (int i = 0; i < 40; ++i) d.face(std::to_string(100 + i), "0", 1, i);
  d.polygonMesh("300", "0", 3, 60, 60);
  for (int i = 0; i < 5; ++i) d.face(std::to_string(400 + i), "0", 2, i);
  return d.text();
}

TEST(ReadAheadProgram, AFullMemoryFileSystemHandsOverToTheTemporaryFolder) {
  const std::string dir = makeTempDir();
  writeFile(dir + "/drawing.dxf", smallFacesThenABigMesh());
  fs::create_directories(dir + "/tmp");
  // /dev/shm holds 256 KiB: the small faces fit, the mesh does not.
  const auto full = inPrivateMounts("mount -t tmpfs -o size=256k tmpfs /dev/shm && TMPDIR=" + shellQuoted(dir + "/tmp") +
                                        " exec " + shellQuoted(corvanePath()) + " export drawing.dxf -o full.wrl",
                                    dir);
  if (!full) GTEST_SKIP() << "no private mount namespace here";
  const ProcessResult plain = runProcess({corvanePath(), "export", "drawing.dxf", "-o", "plain.wrl"}, "", dir);
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(full->status, 0) << full->out << full->err;
  EXPECT_EQ(full->out, plain.out);
  EXPECT_EQ(full->err, "");
  EXPECT_TRUE(readFile(dir + "/full.wrl") == readFile(dir + "/plain.wrl"));
  EXPECT_TRUE(fs::is_empty(dir + "/tmp"));
  fs::remove_all(dir);
}

TEST(ReadAheadProgram, AnExportThatAbortsPartWayLeavesNoFaceFile) {
  const std::string dir = makeTempDir();
  writeFile(dir + "/drawing.dxf", smallFacesThenABigMesh());
  // No place takes the mesh: /dev/shm is too small and the temporary folder
  // read-only (a read-only view of it, which hides nothing: this checkout
  // may lie there), but for the test's own folder. The export stops at the
  // mesh with message 12, with faces made ahead after it; none of them
  // stays.
  const std::string here = shellQuoted(dir);
  const auto r = inPrivateMounts("mount -t tmpfs -o size=256k tmpfs /dev/shm && "
                                 "mount --bind /tmp /tmp && mount -o remount,bind,ro /tmp && "
                                 "mount --bind " + here + " " + here + " && mount -o remount,bind,rw " + here +
                                     " && cd " + here + " && env -u TMPDIR " + shellQuoted(corvanePath()) +
                                     " export drawing.dxf -o aborted.wrl --progress; s=$?; "
                                     "ls -A /dev/shm > left.txt; exit $s",
                                 dir);
  if (!r) GTEST_SKIP() << "no private mount namespace here";
  EXPECT_EQ(r->status, 1) << r->out << r->err;
  EXPECT_NE(r->out.find("\rProcessing 40 of 46.\nCannot open face file."), std::string::npos) << r->out;
  EXPECT_NE(r->err.find("No space left on device"), std::string::npos) << r->err;
  EXPECT_EQ(readFile(dir + "/left.txt"), "");
  EXPECT_EQ(occurrences(readFile(dir + "/aborted.wrl"), "Separator {"), 40u);
  fs::remove_all(dir);
}

// A drawing of many faces, so that an export runs long enough to be
// interrupted.
std::string manyFaces() {
  TestDrawing d;
  for (int i = 0; i < 20000; ++i) d.face(std::to_string(0x100 + i), "0", 1 + i % 200, i * 0.5);
  return d.text();
}

TEST(ReadAheadProgram, AnInterruptedExportLeavesNoFaceDirectoryAfterTheNextRun) {
  const std::string dir = makeTempDir();
  writeFile(dir + "/many.dxf", manyFaces());
  for (int signal : {SIGINT, SIGKILL}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (chdir(dir.c_str()) != 0) _exit(126);
      execl(corvanePath().c_str(), "corvane", "export", "many.dxf", "-o", "many.wrl", static_cast<char*>(nullptr));
      _exit(127);
    }
    // Interrupted once its face files are being written.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (faceDirectoriesOf(child).empty() && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_FALSE(faceDirectoriesOf(child).empty()) << "the export made no face file";
    kill(child, signal);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) || WIFEXITED(status));
    // Whatever the interrupted run left, the next one removes.
    const ProcessResult next = runProcess({corvanePath(), "export", "-o", dir + "/next.wrl"});
    EXPECT_EQ(next.status, 0) << next.err;
    EXPECT_TRUE(faceDirectoriesOf(child).empty()) << "signal " << signal;
  }
  fs::remove_all(dir);
}

} // namespace
} // namespace corvane::testing
