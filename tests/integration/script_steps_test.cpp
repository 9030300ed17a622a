// corvane run as a script's author relies on it: a step that fails makes
// the run fail (status 4), and the transcript says which step it was.
#include <gtest/gtest.h>

#include "test_drawing.h"

namespace corvane::testing {
namespace {

std::string twoFaces() { return TestDrawing().face("2A", "0", 1).face("2B", "0", 2, 5).text(); }

TEST(ScriptSteps, AFailedSaveMakesTheRunFail) {
  ScriptRun saved = runScript(twoFaces(), "SAVEAS\ncopy.dxf\n");
  EXPECT_EQ(saved.result.status, 0) << saved.result.out << saved.result.err;
  ScriptRun failed = runScript(twoFaces(), "SAVEAS\nno/such/folder/copy.dxf\n");
  EXPECT_EQ(failed.result.status, 4) << failed.result.out << failed.result.err;
  EXPECT_NE(failed.result.out.find("no/such/folder/copy.dxf"), std::string::npos) << failed.result.out;
}

} // namespace
} // namespace corvane::testing
