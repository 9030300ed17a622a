#include "output_file.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kMaxLinks = 40; // as the kernel's limit on a path's links

std::string folderOf(const std::string& path);

// The kernel's rule for following a link (fs.protected_symlinks): in a
// sticky folder anyone may write, only a link of the user's or of the
// folder's owner is followed.
bool kernelFollows(const std::string& link, const struct stat& linkInfo) {
  if (linkInfo.st_uid == ::geteuid()) {
    return true;
  }
  struct stat folder;
  if (::stat(folderOf(link).c_str(), &folder) != 0) {
    return false;
  }
  const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return !shared || folder.st_uid == linkInfo.st_uid;
}

// PATH with the symbolic links of its last part followed, so that the file
// a link leads to is the one replaced and the link itself stays. A loop of
// links is left for open() to report. A link the kernel would not follow
// is not followed here either: the result is empty.
std::string followLinks(std::string path) {
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      return path;
    }
    if (!kernelFollows(path, info)) {
      return {};
    }
    char link[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), link, sizeof link);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof link) {
      return path;
    }
    std::string next(link, static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    if (next[0] != '/' && slash != std::string::npos) {
      next.insert(0, path, 0, slash + 1);
    }
    path = std::move(next);
  }
  return path;
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    return ".";
  }
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A name beside PATH that no one will guess: ".NAME.XXXXXXXXXX" in its
// folder. Every file made under such a name is made exclusively, so a
// guessed or repeated name costs one more try, never a file.
std::string nameBeside(const std::string& path) {
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  static unsigned long long counter = 0;
  unsigned long long random = 0;
  if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
    random = (static_cast<unsigned long long>(::getpid()) << 32) ^ ++counter;
  }
  const std::size_t slash = path.rfind('/');
  const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
  std::string name = path.substr(0, base) + "." + path.substr(base) + ".";
  for (int i = 0; i < 10; ++i, random /= 36) {
    name += kDigits[random % 36];
  }
  return name;
}

} // namespace

OutputFile::~OutputFile() { discard(); }

void OutputFile::fail(int err) {
  if (!failed_) {
    error_ = err;
  }
  failed_ = true;
}

bool OutputFile::open(const char* path) {
  if (fd_ >= 0 || path == nullptr) {
    return false;
  }
  failed_ = false;
  error_ = 0;
  used_ = 0;
  direct_ = false;
  tempName_.clear();
  if (!buffer_) {
    try {
      buffer_ = std::make_unique_for_overwrite<char[]>(kCapacity);
    } catch (const std::bad_alloc&) {
      error_ = ENOMEM;
      return false;
    }
  }
  target_ = followLinks(path);
  if (target_.empty()) {
    // What the kernel says of a link it refuses to follow.
    error_ = EACCES;
    return false;
  }
  struct stat info;
  const bool exists = ::stat(target_.c_str(), &info) == 0;
  if (!exists && errno != ENOENT) {
    error_ = errno;
    return false;
  }
  if (exists && !S_ISREG(info.st_mode)) {
    // A device or a pipe has nothing to replace.
    fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    direct_ = fd_ >= 0;
    error_ = fd_ >= 0 ? 0 : errno;
    return fd_ >= 0;
  }
  if (exists) {
    // Opening for writing checks that the user may write the file; the lock
    // keeps out a second writer until the file has been replaced.
    targetFd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (targetFd_ < 0 || ::flock(targetFd_, LOCK_EX | LOCK_NB) != 0) {
      error_ = errno;
      discard();
      return false;
    }
  }
  // An unnamed file vanishes with the process however it ends; it gets its
  // name only when it is complete. Where the file system can't make one, a
  // hidden name beside the target serves.
  int fd = -1;
  bool unnamedRefused = true;
  if (::access("/proc/self/fd", X_OK) == 0) {
    fd = ::open(folderOf(target_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    unnamedRefused = fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL);
  }
  for (int attempt = 0; fd < 0 && unnamedRefused && attempt < 100; ++attempt) {
    std::string name = nameBeside(target_);
    fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0) {
      tempName_ = std::move(name);
    } else if (errno != EEXIST) {
      break;
    }
  }
  if (fd < 0) {
    error_ = errno;
    discard();
    return false;
  }
  fd_ = fd;
  if (exists) {
    ::fchmod(fd_, info.st_mode & 07777);
  }
  return true;
}

void OutputFile::flush() {
  std::size_t done = 0;
  while (!failed_ && done < used_) {
    const ssize_t written = ::write(fd_, buffer_.get() + done, used_ - done);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      fail(written < 0 ? errno : ENOSPC);
      break;
    }
    done += static_cast<std::size_t>(written);
  }
  used_ = 0;
}

void OutputFile::append(std::string_view text) {
  if (fd_ < 0 || failed_) {
    return;
  }
  while (!text.empty()) {
    if (used_ == kCapacity) {
      flush();
      if (failed_) {
        return;
      }
    }
    const std::size_t n = text.size() < kCapacity - used_ ? text.size() : kCapacity - used_;
    std::memcpy(buffer_.get() + used_, text.data(), n);
    used_ += n;
    text.remove_prefix(n);
  }
}

void OutputFile::append(char c) {
  if (fd_ < 0 || failed_) {
    return;
  }
  if (used_ == kCapacity) {
    flush();
    if (failed_) {
      return;
    }
  }
  buffer_[used_++] = c;
}

char* OutputFile::reserve(std::size_t n) {
  if (fd_ >= 0 && !failed_ && kCapacity - used_ < n) {
    flush();
  }
  // Nothing can reach the file: the bytes go to scratch and are dropped.
  if (fd_ < 0 || failed_) {
    return scratch_;
  }
  return buffer_.get() + used_;
}

void OutputFile::commit(char* end) {
  if (fd_ < 0 || failed_) {
    return;
  }
  used_ = static_cast<std::size_t>(end - buffer_.get());
}

// Gives the complete file its name beside the target (when it has none
// yet) and renames it over the target, which is one step for every reader.
bool OutputFile::placeFile() {
  if (tempName_.empty()) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < 100 && tempName_.empty(); ++attempt) {
      std::string name = nameBeside(target_);
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        tempName_ = std::move(name);
      } else if (errno != EEXIST) {
        fail(errno);
        return false;
      }
    }
    if (tempName_.empty()) {
      fail(EEXIST);
      return false;
    }
  }
  const int fd = fd_;
  fd_ = -1;
  // Some file systems report a failed write only at the close.
  if (::close(fd) != 0 && errno != EINTR) {
    fail(errno);
    return false;
  }
  if (::rename(tempName_.c_str(), target_.c_str()) != 0) {
    fail(errno);
    return false;
  }
  tempName_.clear();
  return true;
}

bool OutputFile::close() {
  if (fd_ < 0) {
    return false;
  }
  if (!failed_) {
    flush();
  }
  if (direct_) {
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR) {
      fail(errno);
    }
    discard();
    return !failed_;
  }
  // The data reaches the disk before the name does, so that even a lost
  // machine leaves the old file or the new one, never a mix.
  if (!failed_ && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) {
    fail(errno);
  }
  const bool placed = !failed_ && placeFile();
  discard();
  return placed;
}

// Closes what is still open and removes a named file that never took the
// target's place; the target's lock goes with its descriptor.
void OutputFile::discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!tempName_.empty()) {
    ::unlink(tempName_.c_str());
    tempName_.clear();
  }
  if (targetFd_ >= 0) {
    ::close(targetFd_);
    targetFd_ = -1;
  }
  used_ = 0;
}
