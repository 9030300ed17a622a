// Helpers of the integration tests: drawings written as DXF, scripts run by
// the real corvane with the real Vrml.arx, transcripts captured.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/run_process.h"

namespace program {

namespace fs = std::filesystem;

// Entity handles of the drawing below.
constexpr const char* kFace = "2F";
constexpr const char* kSolid = "30";
constexpr const char* kPolyface = "31";
constexpr const char* kMesh = "38";
constexpr const char* kLine = "3E";

inline std::string group(int code, const std::string& value) { return std::to_string(code) + "\n" + value + "\n"; }

// A minimal R12 drawing with handles: a 3DFACE, a SOLID, a polyface mesh, a
// 3x2... polygon mesh and a LINE. EXTRA is spliced into the SOLID (extended
// data) and LINEEXTRA into the LINE.
inline std::string drawing(const std::string& solidExtra = "", const std::string& lineExtra = "",
                           const std::string& appIds = "") {
  std::string d;
  d += group(0, "SECTION") + group(2, "HEADER") + group(9, "$ACADVER") + group(1, "AC1009") + group(9, "$HANDLING") +
       group(70, "1") + group(9, "$HANDSEED") + group(5, "100") + group(0, "ENDSEC");
  d += group(0, "SECTION") + group(2, "TABLES");
  d += group(0, "TABLE") + group(2, "LTYPE") + group(70, "1") + group(0, "LTYPE") + group(5, "14") +
       group(2, "CONTINUOUS") + group(70, "0") + group(3, "Solid line") + group(72, "65") + group(73, "0") +
       group(40, "0.0") + group(0, "ENDTAB");
  d += group(0, "TABLE") + group(2, "LAYER") + group(70, "1") + group(0, "LAYER") + group(5, "10") + group(2, "0") +
       group(70, "0") + group(62, "1") + group(6, "CONTINUOUS") + group(0, "ENDTAB");
  d += group(0, "TABLE") + group(2, "APPID") + group(70, "1") + group(0, "APPID") + group(5, "12") +
       group(2, "ACAD") + group(70, "0") + appIds + group(0, "ENDTAB");
  d += group(0, "ENDSEC");
  d += group(0, "SECTION") + group(2, "ENTITIES");
  d += group(0, "3DFACE") + group(5, kFace) + group(8, "0") + group(10, "0.0") + group(20, "0.0") + group(30, "0.0") +
       group(11, "1.0") + group(21, "0.0") + group(31, "0.0") + group(12, "1.0") + group(22, "1.0") +
       group(32, "0.0") + group(13, "0.0") + group(23, "1.0") + group(33, "0.0");
  d += group(0, "SOLID") + group(5, kSolid) + group(8, "0") + group(10, "2.0") + group(20, "0.0") +
       group(30, "0.0") + group(11, "3.0") + group(21, "0.0") + group(31, "0.0") + group(12, "2.0") +
       group(22, "1.0") + group(32, "0.0") + group(13, "3.0") + group(23, "1.0") + group(33, "0.0") + solidExtra;
  d += group(0, "POLYLINE") + group(5, kPolyface) + group(8, "0") + group(66, "1") + group(10, "0.0") +
       group(20, "0.0") + group(30, "0.0") + group(70, "64") + group(71, "3") + group(72, "1");
  const char* pfVertices[][3] = {{"0.0", "0.0", "1.0"}, {"1.0", "0.0", "1.0"}, {"0.0", "1.0", "1.0"}};
  const char* pfHandles[] = {"32", "33", "34"};
  for (int i = 0; i < 3; ++i)
    d += group(0, "VERTEX") + group(5, pfHandles[i]) + group(8, "0") + group(10, pfVertices[i][0]) +
         group(20, pfVertices[i][1]) + group(30, pfVertices[i][2]) + group(70, "192");
  d += group(0, "VERTEX") + group(5, "35") + group(8, "0") + group(10, "0.0") + group(20, "0.0") + group(30, "0.0") +
       group(70, "128") + group(71, "1") + group(72, "2") + group(73, "3");
  d += group(0, "SEQEND") + group(5, "37") + group(8, "0");
  d += group(0, "POLYLINE") + group(5, kMesh) + group(8, "0") + group(66, "1") + group(10, "0.0") +
       group(20, "0.0") + group(30, "0.0") + group(70, "16") + group(71, "2") + group(72, "2");
  const char* meshVertices[][2] = {{"0.0", "0.0"}, {"0.0", "1.0"}, {"1.0", "0.0"}, {"1.0", "1.0"}};
  const char* meshHandles[] = {"39", "3A", "3B", "3C"};
  for (int i = 0; i < 4; ++i)
    d += group(0, "VERTEX") + group(5, meshHandles[i]) + group(8, "0") + group(10, meshVertices[i][0]) +
         group(20, meshVertices[i][1]) + group(30, "2.0") + group(70, "64");
  d += group(0, "SEQEND") + group(5, "3D") + group(8, "0");
  d += group(0, "LINE") + group(5, kLine) + group(8, "0") + group(10, "0.0") + group(20, "0.0") + group(30, "0.0") +
       group(11, "5.0") + group(21, "5.0") + group(31, "0.0") + lineExtra;
  d += group(0, "ENDSEC") + group(0, "EOF");
  return d;
}

inline void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// A fresh folder for one test.
inline fs::path scratch(const std::string& name) {
  fs::path dir = fs::temp_directory_path() / ("corvane-props-" + std::to_string(getpid()) + "-" + name);
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

struct Result {
  int status;
  std::string output; // stdout and stderr together
};

// Runs COMMAND through the shell; its output and exit status.
inline Result shell(const std::string& command) {
  Result r{-1, {}};
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (p == nullptr) return r;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) r.output.append(buffer, n);
  int status = pclose(p);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

using corvane::testing::shellQuoted;

// corvane run DRAWING SCRIPT with the corvane of the build (bin/ is the
// working folder of the tests).
inline Result runScript(const fs::path& dir, const std::string& drawingText, const std::string& script,
                        const std::string& corvane = CORVANE_BIN_DIR "/corvane") {
  writeFile(dir / "drawing.dxf", drawingText);
  writeFile(dir / "script.txt", script);
  // From the test's own folder, so that the current folder on the search
  // path holds only what the test put there.
  return shell("cd " + shellQuoted(dir.string()) + " && " + shellQuoted(corvane) + " run " +
               shellQuoted((dir / "drawing.dxf").string()) + " " +
               shellQuoted((dir / "script.txt").string()));
}

// The answer to "Select object: " that picks the entity with HANDLE.
inline std::string pick(const std::string& handle) { return handle; }

inline size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

} // namespace program
