// Reading a world file with Coin, shared by vrmlcheck and vrmlrender.
#pragma once

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/errors/SoReadError.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace coinworld {

inline std::string& firstReadError() {
  static std::string text;
  return text;
}

inline void keepReadError(const SoError* error, void*) {
  if (firstReadError().empty()) firstReadError() = error->getDebugString().getString();
}

// Reads NAME. The root (referenced once: unref() it when done), or null with
// a one-line reason in ERROR ("cannot open the file", "does not parse as
// VRML 1.0: ..."). IS_VRML1 tells whether the file said it was VRML 1.0.
inline SoSeparator* readWorld(const std::string& name, std::string& error, bool* isVrml1 = nullptr) {
  SoInput input;
  if (!input.openFile(name.c_str(), TRUE)) {
    error = "cannot open the file";
    return nullptr;
  }
  firstReadError().clear();
  SoReadError::setHandlerCallback(keepReadError, nullptr);
  SoSeparator* root = SoDB::readAll(&input);
  if (root == nullptr) {
    error = "does not parse as VRML 1.0: " + (firstReadError().empty() ? "no further detail" : firstReadError());
    std::replace(error.begin(), error.end(), '\n', ' ');
    return nullptr;
  }
  root->ref();
  if (isVrml1 != nullptr) *isVrml1 = input.isFileVRML1();
  return root;
}

// Exit statuses of the Coin tools.
constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2;

// The main() of a Coin tool: --help prints USAGE; otherwise PARSE reads the
// arguments (false with a reason: usage error) and RUN does the work between
// Coin's start and finish. Returns the exit status.
template <typename Options>
int runTool(const char* program, const char* usage, int argc, char** argv,
            const std::function<bool(int, char**, Options&, std::string&)>& parse,
            const std::function<int(const Options&)>& run) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(usage, stdout);
    return kExitOk;
  }
  Options options;
  std::string error;
  if (!parse(argc, argv, options, error)) {
    std::fprintf(stderr, "%s: %s\n%s", program, error.c_str(), usage);
    return kExitUsage;
  }
  SoDB::init();
  const int status = run(options);
  SoDB::finish();
  return status;
}

} // namespace coinworld
