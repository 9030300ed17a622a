// Why a file could not be written, in the words a one-line message uses.
#pragma once

#include <string>

namespace corvane {

// The reason for ERR (an errno value) when writing PATH failed: "the folder
// DIR does not exist", "permission denied", "the disk is full", "an I/O
// error", ...; the system's own text for the rarer ones.
std::string fileErrorText(const std::string& path, int err);

// What MODE (st_mode) makes of a file that is not a regular one, for the
// line that refuses it: "a FIFO", "a socket", "a device", "a folder"; empty
// for a regular file. A FIFO or a device is never opened to be read or
// written as a drawing or a world: opening one may wait for ever.
std::string specialFileKind(unsigned mode);

} // namespace corvane
