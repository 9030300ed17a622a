#include "test_drawing.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "cli/program.h"

namespace corvane::testing {

std::string group(int code, const std::string& value) {
  char c[16];
  std::snprintf(c, sizeof c, "%3d", code);
  return std::string(c) + "\n" + value + "\n";
}

namespace {
std::string num(double v) {
  char b[32];
  std::snprintf(b, sizeof b, "%.10g", v);
  return b;
}
std::string point(int code, double x, double y, double z) {
  return group(code, num(x)) + group(code + 10, num(y)) + group(code + 20, num(z));
}
std::string head(const std::string& type, const std::string& handle, const std::string& layer, int colour) {
  std::string g = group(0, type) + group(5, handle) + group(8, layer);
  if (colour >= 0) g += group(62, std::to_string(colour));
  return g;
}
} // namespace

TestDrawing& TestDrawing::layer(const std::string& name, int colour) {
  layers_.emplace_back(name, colour);
  return *this;
}

TestDrawing& TestDrawing::appId(const std::string& name) {
  appIds_.push_back(name);
  return *this;
}

TestDrawing& TestDrawing::face(const std::string& handle, const std::string& layer, int colour, double x,
                               bool triangle, const std::string& xdata) {
  entities_ += head("3DFACE", handle, layer, colour) + point(10, x, 0, 0) + point(11, x + 10, 0, 0) +
               point(12, x + 10, 5.5, 0) + (triangle ? point(13, x + 10, 5.5, 0) : point(13, x, 5.5, 0)) +
               xdata;
  return *this;
}

TestDrawing& TestDrawing::solid(const std::string& handle, const std::string& layer, int colour,
                                double thickness) {
  entities_ += head("SOLID", handle, layer, colour) + group(39, num(thickness)) + point(10, 0, 0, 0) +
               point(11, 2, 0, 0) + point(12, 0, 1, 0) + point(13, 2, 1, 0);
  return *this;
}

TestDrawing& TestDrawing::polyface(const std::string& handle, const std::string& layer, int colour) {
  // A tetrahedron: four vertices, four triangles.
  entities_ += head("POLYLINE", handle, layer, colour) + group(66, "1") + point(10, 0, 0, 0) +
               group(70, "64") + group(71, "4") + group(72, "4");
  const double v[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  for (auto& p : v) entities_ += group(0, "VERTEX") + group(8, layer) + point(10, p[0], p[1], p[2]) + group(70, "192");
  const int f[4][3] = {{1, 3, 2}, {1, 2, 4}, {2, 3, 4}, {3, 1, 4}};
  for (auto& t : f)
    entities_ += group(0, "VERTEX") + group(8, layer) + point(10, 0, 0, 0) + group(70, "128") +
                 group(71, std::to_string(t[0])) + group(72, std::to_string(t[1])) + group(73, std::to_string(t[2]));
  entities_ += group(0, "SEQEND") + group(8, layer);
  return *this;
}

TestDrawing& TestDrawing::polygonMesh(const std::string& handle, const std::string& layer, int colour, int m,
                                      int n) {
  entities_ += head("POLYLINE", handle, layer, colour) + group(66, "1") + point(10, 0, 0, 0) +
               group(70, "16") + group(71, std::to_string(m)) + group(72, std::to_string(n));
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < n; ++j)
      entities_ += group(0, "VERTEX") + group(8, layer) + point(10, i, j, (i + j) * 0.25) + group(70, "64");
  entities_ += group(0, "SEQEND") + group(8, layer);
  return *this;
}

TestDrawing& TestDrawing::line(const std::string& handle, const std::string& layer, int colour) {
  entities_ += head("LINE", handle, layer, colour) + point(10, 0, 0, 0) + point(11, 1, 1, 0);
  return *this;
}

TestDrawing& TestDrawing::raw(const std::string& groups) {
  entities_ += groups;
  return *this;
}

TestDrawing& TestDrawing::block(const std::string& name, const std::string& entities) {
  blocks_ += group(0, "BLOCK") + group(8, "0") + group(2, name) + group(70, "0") + point(10, 0, 0, 0) + entities +
             group(0, "ENDBLK") + group(8, "0");
  return *this;
}

TestDrawing& TestDrawing::insert(const std::string& handle, const std::string& layer, int colour,
                                 const std::string& block, double x) {
  entities_ += head("INSERT", handle, layer, colour) + group(2, block) + point(10, x, 0, 0);
  return *this;
}

std::string TestDrawing::text() const {
  std::string t = group(0, "SECTION") + group(2, "HEADER") + group(9, "$ACADVER") + group(1, "AC1009") +
                  group(9, "$HANDSEED") + group(5, "FFFF") + group(0, "ENDSEC");
  t += group(0, "SECTION") + group(2, "TABLES");
  t += group(0, "TABLE") + group(2, "LAYER") + group(70, std::to_string(layers_.size() + 1));
  t += group(0, "LAYER") + group(2, "0") + group(70, "0") + group(62, "7") + group(6, "CONTINUOUS");
  for (auto& [name, colour] : layers_)
    t += group(0, "LAYER") + group(2, name) + group(70, "0") + group(62, std::to_string(colour)) +
         group(6, "CONTINUOUS");
  t += group(0, "ENDTAB");
  t += group(0, "TABLE") + group(2, "APPID") + group(70, std::to_string(appIds_.size() + 1));
  t += group(0, "APPID") + group(2, "ACAD") + group(70, "0");
  for (const std::string& a : appIds_) t += group(0, "APPID") + group(2, a) + group(70, "0");
  t += group(0, "ENDTAB") + group(0, "ENDSEC");
  if (!blocks_.empty()) t += group(0, "SECTION") + group(2, "BLOCKS") + blocks_ + group(0, "ENDSEC");
  t += group(0, "SECTION") + group(2, "ENTITIES") + entities_ + group(0, "ENDSEC") + group(0, "EOF");
  return t;
}

InProcessRun runInProcess(const std::vector<std::string>& args, const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out, err;
  InProcessRun run;
  run.status = runProgram(args, in, OutputStreams{out, err});
  run.out = out.str();
  run.err = err.str();
  return run;
}

ScriptRun runScript(const std::string& drawing, const std::string& script, const std::vector<std::string>& options) {
  ScriptRun run;
  run.dir = makeTempDir();
  writeFile(run.dir + "/drawing.dxf", drawing);
  writeFile(run.dir + "/script.txt", script);
  std::vector<std::string> args = {corvanePath(), "run", "drawing.dxf", "script.txt"};
  args.insert(args.end(), options.begin(), options.end());
  run.result = runProcess(args, "", run.dir);
  return run;
}

std::string convertedCount(const std::string& out) {
  size_t end = out.find(" objects converted.");
  if (end == std::string::npos) return "";
  size_t begin = out.rfind('\n', end);
  return out.substr(begin + 1, end - begin - 1);
}

size_t occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::vector<std::string> filesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> withShim(std::vector<std::string> faults) {
  static const std::string shim = [] {
    const std::string built = FAULT_SHIM;
    if (built.find_first_of(" :") == std::string::npos) return built;
    const std::string link = makeTempDir() + "/libfault_shim.so";
    std::filesystem::create_symlink(built, link);
    return link;
  }();
  const char* asan = std::getenv("ASAN_OPTIONS");
  faults.push_back("LD_PRELOAD=" + shim);
  // Sanitized builds want their runtime first; the shim is harmless before it.
  faults.push_back(std::string("ASAN_OPTIONS=") + (asan ? std::string(asan) + ":" : "") +
                   "verify_asan_link_order=0");
  return faults;
}

std::string shellAssignments(const std::vector<std::string>& env) {
  std::string words;
  for (const std::string& assignment : env) {
    const size_t equals = assignment.find('=');
    words += assignment.substr(0, equals + 1) + shellQuoted(assignment.substr(equals + 1)) + " ";
  }
  return words;
}

bool haveEzdxf() {
  static const bool have = runProcess({"/usr/bin/python3", "-c", "import ezdxf"}).status == 0;
  return have;
}

ProcessResult blocks(const std::vector<std::string>& args) {
  std::vector<std::string> argv{"/usr/bin/python3",
                                std::string(CORVANE_SOURCE_DIR) + "/tests/integration/explode/blocks.py"};
  argv.insert(argv.end(), args.begin(), args.end());
  return runProcess(argv);
}

const std::string& largeDrawingPath() {
  // Kept in the build's tests folder: ctest runs each test in a process of
  // its own, and the drawing is the same every time.
  static const std::string path = [] {
    const std::string file = std::string(CORVANE_BIN_DIR) + "/../tests/large_drawing.dxf";
    // Only ever put there whole (below): if it is there, it is done.
    if (std::filesystem::exists(file)) return file;
    TestDrawing d;
    // 3DFACE records of about 130 bytes: 380,000 of them make 50 MB.
    for (int i = 0; i < 380000; ++i) {
      char handle[16];
      std::snprintf(handle, sizeof handle, "%X", 0x100 + i);
      d.face(handle, "0", 1 + i % 200, i * 0.001);
    }
    // Written whole under another name first: two tests may write it at once.
    const std::string partial = file + "." + std::to_string(::getpid());
    writeFile(partial, d.text());
    std::filesystem::rename(partial, file);
    return file;
  }();
  return path;
}

std::string coinCheck(const std::string& file, const std::vector<std::string>& expectations) {
  std::string checker = std::string(CORVANE_BIN_DIR) + "/vrmlcheck";
  if (access(checker.c_str(), X_OK) != 0) return "";
  std::vector<std::string> argv = {checker, file};
  argv.insert(argv.end(), expectations.begin(), expectations.end());
  ProcessResult r = runProcess(argv);
  return r.status == 0 ? "" : r.out + r.err;
}

} // namespace corvane::testing
