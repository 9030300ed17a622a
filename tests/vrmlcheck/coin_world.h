// Reading a world file with Coin, shared by vrmlcheck and vrmlrender.
#pragma once

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/errors/SoReadError.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
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

} // namespace coinworld
