// The writer a drawing is saved through (DrawingFile::write).
#pragma once

#include <string>
#include <string_view>

#include "runtime/host_result.h"

namespace corvane {

// Writes a file as a whole, so that a failure or an interruption never
// leaves it half written: open() prepares a new unnamed file in the folder
// of the file PATH leads to, write() appends, commit() flushes it to the
// disk and puts it in that file's place, which keeps its mode and, where the
// user may set it, its owner. How PATH is taken is open()'s TARGET:
//   kFollowLinks  a symbolic link is followed (and stays a link), but only
//                 where the kernel would follow it (runtime/link_rules.h);
//   kNameItself   the name itself is replaced, a link there too: never followed;
//   kNewName      PATH must name nothing: commit() fails, naming the file,
//                 when something (a link included) took the name meanwhile.
// The new file only ever takes a name by rename or link, so a link put at
// PATH after open() is replaced or refused, never written through.
// A file with other names (hard links) is instead rewritten in place at
// commit(), after room for all of it has been reserved, so that every name
// sees the new content; its content before is first copied, whole and
// flushed, to oldContentName(), which is removed once the rewrite is on the
// disk: whenever the process ends, the file holds the old content or the
// new, or oldContentName() holds the old. A file made where there was none
// gets NEWFILEMODE (less the umask). A step that fails says why in one line
// naming the file; the file is as it was after any failure but a failed
// rewrite in place, which says so and where the old content is. A writer
// destroyed without a successful commit leaves nothing behind.
// What open() or commit() did: HostResult's line, and whether the failure
// was only that something bears a kNewName name (or took it since open()):
// the caller may try another name.
struct SaveResult : HostResult {
  bool nameTaken = false;
};

class FileReplacer {
public:
  enum class Target { kFollowLinks, kNameItself, kNewName };

  FileReplacer() = default;
  FileReplacer(const FileReplacer&) = delete;
  FileReplacer& operator=(const FileReplacer&) = delete;
  ~FileReplacer();

  SaveResult open(const std::string& path, unsigned newFileMode = 0666, Target target = Target::kFollowLinks);
  // False once a write failed; commit() then tells why.
  bool write(std::string_view bytes);
  SaveResult commit();

  // Where a rewrite in place of the file at PATH keeps its old content
  // while it runs: house.dxf -> house.before-save.dxf, beside it.
  static std::string oldContentName(const std::string& path);

private:
  std::string fail(const std::string& what, int err) const;
  HostResult rewriteInPlace();
  HostResult keepOldContent(const std::string& name);
  SaveResult placeNew();

  std::string path_;     // as given, for messages
  std::string target_;   // the file PATH leads to
  std::string tempPath_; // a named temporary file, where the folder can't hold an unnamed one
  int fd_ = -1;
  int writeErrno_ = 0;
  bool inPlace_ = false;
  Target mode_ = Target::kFollowLinks;
};

} // namespace corvane
