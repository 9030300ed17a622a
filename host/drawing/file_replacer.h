// The writer a drawing is saved through (DrawingFile::write).
#pragma once

#include <string>
#include <string_view>

#include "runtime/host_result.h"

namespace corvane {

// Writes a file as a whole, so that a failure or an interruption never
// leaves it half written: open() prepares a new unnamed file in the folder
// of the file PATH leads to (a symbolic link is followed and stays a link),
// write() appends, commit() flushes it to the disk and renames it over that
// file, which keeps its mode and, where the user may set it, its owner. A
// file with other names (hard links) is instead rewritten in place at
// commit(), after room for all of it has been reserved, so that every name
// sees the new content. A file made where there was none gets NEWFILEMODE
// (less the umask). A step that fails says why in one line naming the
// file; the file is as it was after any failure but a failed rewrite in
// place, which says so. A writer destroyed without a successful
// commit leaves nothing behind.
class FileReplacer {
public:
  FileReplacer() = default;
  FileReplacer(const FileReplacer&) = delete;
  FileReplacer& operator=(const FileReplacer&) = delete;
  ~FileReplacer();

  HostResult open(const std::string& path, unsigned newFileMode = 0666);
  // False once a write failed; commit() then tells why.
  bool write(std::string_view bytes);
  HostResult commit();

private:
  std::string fail(const std::string& what, int err) const;
  HostResult rewriteInPlace();

  std::string path_;     // as given, for messages
  std::string target_;   // the file PATH leads to
  std::string tempPath_; // a named temporary file, where the folder can't hold an unnamed one
  int fd_ = -1;
  int writeErrno_ = 0;
  bool inPlace_ = false;
};

} // namespace corvane
