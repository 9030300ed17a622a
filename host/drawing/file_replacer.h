// The writer a drawing is saved through (DrawingFile::write).
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// Writes a file as a whole, so that a failure or an interruption never
// leaves it half written: open() prepares a new unnamed file in the folder
// of the file PATH leads to (a symbolic link is followed and stays a link),
// write() appends, commit() flushes it to the disk and renames it over that
// file, which keeps its mode and, where the user may set it, its owner. A
// file with other names (hard links) is instead rewritten in place at
// commit(), after room for all of it has been reserved, so that every name
// sees the new content. A file made where there was none gets NEWFILEMODE
// (less the umask). Each step returns an empty string or a one-line
// error naming the file; the file is as it was after any error but a failed
// rewrite in place, which says so. A writer destroyed without a successful
// commit leaves nothing behind.
class FileReplacer {
public:
  FileReplacer() = default;
  FileReplacer(const FileReplacer&) = delete;
  FileReplacer& operator=(const FileReplacer&) = delete;
  ~FileReplacer();

  std::string open(const std::string& path, unsigned newFileMode = 0666);
  bool write(std::string_view bytes);
  std::string commit();

private:
  std::string fail(const std::string& what, int err) const;
  std::string rewriteInPlace();

  std::string path_;     // as given, for messages
  std::string target_;   // the file PATH leads to
  std::string tempPath_; // a named temporary file, where the folder can't hold an unnamed one
  int fd_ = -1;
  int writeErrno_ = 0;
  bool inPlace_ = false;
};

} // namespace corvane
