// The corvane program as a user runs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "support/run_process.h"

namespace corvane::testing {
namespace {

const std::string kBanner = "\nCorvane loaded.\nUse VRMLHELP for list of commands.\n";

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(HostProgram, EmptyScriptPrintsTheBannerOnceAndEndsNormally) {
  ProcessResult r = runProcess({corvanePath(), "run", "-", "-"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.rfind(kBanner, 0), 0u) << r.out;
  EXPECT_EQ(count(r.out, kBanner), 1u);
  EXPECT_EQ(r.err, "");
}

TEST(HostProgram, ModuleThatCannotBeLoadedEndsWithStatusTwo) {
  ProcessResult r = runProcess({corvanePath(), "--module", "/nonexistent/Vrml.arx", "run", "-", "-"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("cannot load module /nonexistent/Vrml.arx"), std::string::npos) << r.err;
  EXPECT_EQ(count(r.err, "\n"), 1u) << "one line: " << r.err;
}

TEST(HostProgram, LeakingModuleIsReportedWithItsCount) {
  ProcessResult r = runProcess({corvanePath(), "--module", LEAKY_MODULE, "run", "-", "-"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.err.find("still holds 3 blocks"), std::string::npos) << r.err;
}

TEST(HostProgram, AbortEndsTheHostWithStatusThree) {
  ProcessResult r = runProcess({corvanePath(), "--module", ABORT_MODULE, "run", "-", "-"}, "quit\n");
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.out.find("\nFailed AcDbObject::close()\n"), std::string::npos) << r.out;
}

// The greeting is left out of an export, never an abort's reason: alone,
// and in a batch, where each drawing's worker says why it ended.
TEST(HostProgram, AnAbortDuringAnExportIsToldWithItsReason) {
  const std::string sample = std::string(CORVANE_BIN_DIR) + "/examples/pavilion.dxf";
  const std::string dir = makeTempDir();
  ProcessResult one =
      runProcess({corvanePath(), "--module", ABORT_MODULE, "export", sample, "-o", dir + "/one.wrl"});
  EXPECT_EQ(one.status, 3);
  EXPECT_EQ(one.out, "Failed AcDbObject::close()\n");
  for (const char* name : {"/a.dxf", "/b.dxf"}) {
    std::filesystem::create_directories(dir + "/lib");
    std::filesystem::copy_file(sample, dir + "/lib" + name);
  }
  ProcessResult batch = runProcess({corvanePath(), "--module", ABORT_MODULE, "export", "lib", "-o", "out"}, "", dir);
  EXPECT_EQ(batch.status, 3) << batch.out << batch.err;
  EXPECT_EQ(count(batch.out, ": aborted, "), 2u) << batch.out;
  EXPECT_EQ(count(batch.out, "; the host was aborted: Failed AcDbObject::close()\n"), 4u) << batch.out; // and the summary's
  EXPECT_NE(batch.out.find(": 0 exported (0 objects converted) to out, 2 aborted\n"), std::string::npos) << batch.out;
  std::filesystem::remove_all(dir);
}

TEST(HostProgram, TheModuleExportsExactlyItsThreeEntryPoints) {
  ProcessResult nm = runProcess({"/usr/bin/nm", "-D", "--defined-only", modulePath()});
  ASSERT_EQ(nm.status, 0) << nm.err;
  std::vector<std::string> names;
  size_t start = 0;
  while (start < nm.out.size()) {
    size_t end = nm.out.find('\n', start);
    if (end == std::string::npos) end = nm.out.size();
    std::string line = nm.out.substr(start, end - start);
    if (!line.empty()) names.push_back(line.substr(line.rfind(' ') + 1));
    start = end + 1;
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"_SetacrxPtp", "acrxEntryPoint", "acrxGetApiVersion"})) << nm.out;
}

TEST(HostProgram, HelpAndVersion) {
  EXPECT_EQ(runProcess({corvanePath(), "--version"}).status, 0);
  ProcessResult help = runProcess({corvanePath(), "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: corvane"), std::string::npos);
  // Every status the program can end with is told.
  EXPECT_NE(help.out.find("exit status: 0 success, 1 the export converted nothing, 2 a drawing, module,\n"
                          "usage or output-file error, 3 the host was aborted, 4 a step of corvane run\n"
                          "failed, 130 interrupted"),
            std::string::npos)
      << help.out;
  ProcessResult runHelp = runProcess({corvanePath(), "run", "--help"});
  EXPECT_NE(runHelp.out.find("usage: corvane run"), std::string::npos);
  ProcessResult exportHelp = runProcess({corvanePath(), "export", "--help"});
  EXPECT_NE(exportHelp.out.find("Exit status: 0 exported, 1 nothing converted, 2 drawing, module, usage or\n"
                                "output-file error, 3 aborted, 130 interrupted"),
            std::string::npos)
      << exportHelp.out;
  ProcessResult bad = runProcess({corvanePath(), "frobnicate"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("unknown command"), std::string::npos);
}

TEST(HostProgram, ScriptCommandsCommentsAndUnknownCommands) {
  ProcessResult r = runProcess({corvanePath(), "run", "-", "-"}, "; a comment\n\nnosuchcommand\n(princ \"after\")\n");
  // The unknown command is a failed step: the script stops there.
  EXPECT_EQ(r.status, 4) << r.err;
  EXPECT_EQ(r.out.find("a comment"), std::string::npos);
  EXPECT_NE(r.out.find("Unknown command \"NOSUCHCOMMAND\""), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("after"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "corvane: script line 3: Unknown command \"NOSUCHCOMMAND\"; the script stops there (--keep-going runs "
                   "on)\n");
}

} // namespace
} // namespace corvane::testing
