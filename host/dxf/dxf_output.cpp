#include "dxf/dxf_output.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

bool emitPatched(std::string_view text, std::vector<DxfPatch> patches,
                 const std::function<bool(std::string_view)>& sink) {
  std::stable_sort(patches.begin(), patches.end(),
                   [](const DxfPatch& a, const DxfPatch& b) { return a.begin < b.begin; });
  size_t pos = 0;
  for (const DxfPatch& p : patches) {
    size_t begin = std::min(std::max(p.begin, pos), text.size());
    if (begin > pos && !sink(text.substr(pos, begin - pos))) return false;
    if (!p.text.empty() && !sink(p.text)) return false;
    pos = std::max(begin, std::min(p.end, text.size()));
  }
  if (pos < text.size() && !sink(text.substr(pos))) return false;
  return true;
}

AtomicFileWriter::~AtomicFileWriter() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !tempPath_.empty()) ::unlink(tempPath_.c_str());
}

std::string AtomicFileWriter::open(const std::string& path) {
  path_ = path;
  if (path.empty()) return "cannot save: no file name";
  std::string pattern = path + ".XXXXXX";
  fd_ = ::mkstemp(pattern.data());
  if (fd_ < 0) return path + ": cannot create a file beside it: " + std::strerror(errno);
  tempPath_ = pattern;
  // mkstemp makes the file private; give it the mode the target has (or a
  // new file's usual mode).
  struct stat st;
  mode_t mode;
  if (::stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd_, mode);
  return {};
}

bool AtomicFileWriter::write(std::string_view bytes) {
  if (fd_ < 0 || writeErrno_ != 0) return false;
  const char* p = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t n = ::write(fd_, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      writeErrno_ = errno;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

std::string AtomicFileWriter::commit() {
  if (fd_ < 0) return path_ + ": cannot save: the file was not opened";
  if (writeErrno_ != 0) return path_ + ": cannot write: " + std::strerror(writeErrno_);
  if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
    return path_ + ": cannot write: " + std::strerror(errno);
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return path_ + ": cannot write: " + std::strerror(errno);
  if (::rename(tempPath_.c_str(), path_.c_str()) != 0)
    return path_ + ": cannot replace the file: " + std::strerror(errno);
  committed_ = true;
  return {};
}

} // namespace corvane
