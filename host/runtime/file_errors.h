// Why a file could not be written, in the words a one-line message uses.
#pragma once

#include <string>

namespace corvane {

// The reason for ERR (an errno value) when writing PATH failed: "the folder
// DIR does not exist", "permission denied", "the disk is full", "an I/O
// error", ...; the system's own text for the rarer ones.
std::string fileErrorText(const std::string& path, int err);

} // namespace corvane
