// How a host step that can fail says so: the one shape of such results
// inside the host. `error` is empty on success; otherwise it is the one line
// the user reads, naming where, what failed and why ("house.dxf:12: the file
// ends without EOF (truncated)", "house.dxf: cannot save: Permission
// denied"), never empty. A step that makes something returns a struct
// derived from HostResult whose other fields hold what it made and mean
// something only when ok() (DrawingLoadResult, DxfScanResult,
// FaceFileResult, ...). At the module boundary the interface's result codes
// stand instead.
#pragma once

#include <string>

namespace corvane {

struct HostResult {
  std::string error;

  bool ok() const { return error.empty(); }
  explicit operator bool() const { return ok(); }
};

} // namespace corvane
