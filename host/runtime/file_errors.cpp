#include "runtime/file_errors.h"

#include <cerrno>
#include <cstring>

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

} // namespace corvane
