#include "runtime/file_errors.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>

namespace corvane {

std::string fileErrorText(const std::string& path, int err) {
  switch (err) {
  case ENOENT:
  case ENOTDIR: {
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    return "the folder " + folder + " does not exist";
  }
  case EACCES:
  case EPERM: return "permission denied";
  case ENOSPC:
  case EDQUOT: return "the disk is full";
  case EIO: return "an I/O error";
  case EROFS: return "the file system is read-only";
  case EISDIR: return "it is a folder";
  case EWOULDBLOCK: return "another program holds it open for writing";
  default: return std::strerror(err);
  }
}

std::string specialFileKind(unsigned mode) {
  if (S_ISREG(mode)) return {};
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISDIR(mode)) return "a folder";
  return "not a regular file";
}

} // namespace corvane
