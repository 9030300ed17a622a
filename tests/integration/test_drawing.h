// Small R12 drawings written by tests, and running corvane on them.
#pragma once

#include <string>
#include <vector>

#include "support/run_process.h"

namespace corvane::testing {

// One DXF group: the code right-aligned in three columns, then the value.
std::string group(int code, const std::string& value);

// Builds an R12 drawing: layers, then entities in order.
class TestDrawing {
public:
  TestDrawing& layer(const std::string& name, int colour);
  TestDrawing& appId(const std::string& name);
  // Entities; COLOUR -1 leaves out group 62 (colour by layer).
  TestDrawing& face(const std::string& handle, const std::string& layer, int colour, double x = 0,
                    bool triangle = false, const std::string& xdata = "");
  TestDrawing& solid(const std::string& handle, const std::string& layer, int colour, double thickness);
  TestDrawing& polyface(const std::string& handle, const std::string& layer, int colour);
  TestDrawing& polygonMesh(const std::string& handle, const std::string& layer, int colour, int m, int n);
  TestDrawing& line(const std::string& handle, const std::string& layer, int colour);
  TestDrawing& raw(const std::string& groups);
  // A block definition NAME (base point 0,0,0) holding ENTITIES (groups),
  // and a reference to a block at (x, 0, 0).
  TestDrawing& block(const std::string& name, const std::string& entities);
  TestDrawing& insert(const std::string& handle, const std::string& layer, int colour, const std::string& block,
                      double x = 0);
  std::string text() const;

private:
  std::vector<std::pair<std::string, int>> layers_;
  std::vector<std::string> appIds_;
  std::string blocks_;
  std::string entities_;
};

// What the corvane program run inside the test (runProgram, string
// streams) returned and printed.
struct InProcessRun {
  int status = -1;
  std::string out;
  std::string err;
};
// Runs the program with ARGS in this process, INPUT as its standard input.
InProcessRun runInProcess(const std::vector<std::string>& args, const std::string& input = "");

struct ScriptRun {
  ProcessResult result;
  std::string dir; // where the drawing and the script were written
};

// Writes DRAWING and SCRIPT into a fresh folder and runs
// `corvane run drawing.dxf script.txt [OPTIONS]` there (a script that goes
// on past a step meant to fail passes --keep-going).
ScriptRun runScript(const std::string& drawing, const std::string& script,
                    const std::vector<std::string>& options = {});
// The number of the export's "N objects converted." in OUT; empty when
// OUT has none.
std::string convertedCount(const std::string& out);
// The number of times WHAT occurs in TEXT.
size_t occurrences(const std::string& text, const std::string& what);
// The names of the files in DIR, sorted.
std::vector<std::string> filesIn(const std::string& dir);
// The environment that puts fault_shim.c into corvane, with FAULTS
// ("CORVANE_FAULT_...=..." each; see there). The loader splits LD_PRELOAD
// at spaces and colons: a build whose path holds one names the shim by a
// link in a folder of its own.
std::vector<std::string> withShim(std::vector<std::string> faults);
// ENV ("NAME=VALUE" each) as words that set it in front of a shell
// command, each quoted.
std::string shellAssignments(const std::vector<std::string>& env);
// True when /usr/bin/python3 has ezdxf, the independent DXF library the
// tests compare with.
bool haveEzdxf();
// tests/integration/explode/blocks.py with ARGS (see there).
ProcessResult blocks(const std::vector<std::string>& args);
// A drawing of about 50 MB (3D faces), written once into the build's tests
// folder and kept there; tests only read it.
const std::string& largeDrawingPath();
// vrmlcheck on FILE with extra expectations; empty when it passes (or when
// vrmlcheck isn't built), else its complaint.
std::string coinCheck(const std::string& file, const std::vector<std::string>& expectations = {});

} // namespace corvane::testing
