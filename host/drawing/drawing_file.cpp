#include "drawing/drawing_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "drawing/file_replacer.h"

namespace corvane {

DrawingFile::~DrawingFile() {
  if (heldFd_ >= 0) ::close(heldFd_);
}

void DrawingFile::holdFile() {
  if (heldFd_ >= 0) ::close(heldFd_);
  heldFd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  // Held even when another holder's lock refuses ours: the identity alone
  // still serves isOwnFile.
  if (heldFd_ >= 0) ::flock(heldFd_, LOCK_SH | LOCK_NB);
}

void DrawingFile::moveTo(std::string path) {
  path_ = std::move(path);
  holdFile();
}

bool DrawingFile::isOwnFile(const std::string& path) const {
  struct stat own, other;
  return heldFd_ >= 0 && ::fstat(heldFd_, &own) == 0 && ::stat(path.c_str(), &other) == 0 &&
         own.st_dev == other.st_dev && own.st_ino == other.st_ino;
}

unsigned DrawingFile::mode() const {
  struct stat own;
  return heldFd_ >= 0 && ::fstat(heldFd_, &own) == 0 ? own.st_mode & 0666 : 0666;
}

void DrawingFile::doneWith(std::string_view part) const {
  const std::string_view all = text();
  const auto at = reinterpret_cast<uintptr_t>(part.data());
  const auto base = reinterpret_cast<uintptr_t>(all.data());
  if (at < base || at - base > all.size()) return; // not the file's bytes
  bytes_.doneWith(at - base, at - base + part.size());
}

std::string DrawingFile::patched(std::vector<DxfPatch> patches) const {
  std::string out;
  out.reserve(text().size());
  emitPatched(text(), std::move(patches), [&out](std::string_view piece) {
    out.append(piece);
    return true;
  });
  return out;
}

SaveResult DrawingFile::write(const std::string& path, std::vector<DxfPatch> patches, unsigned newFileMode,
                              FileReplacer::Target target) const {
  FileReplacer writer;
  SaveResult opened = writer.open(path, newFileMode, target);
  if (!opened) return opened;
  emitPatched(text(), std::move(patches), [&writer](std::string_view piece) { return writer.write(piece); });
  // A mapped file that changed since it was read no longer holds the
  // drawing's bytes; the temporary file goes with the writer.
  if (bytes_.changed()) return {{path_ + ": the file changed since it was read; the drawing is not saved"}};
  return writer.commit();
}

} // namespace corvane
