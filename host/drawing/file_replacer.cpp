#include "drawing/file_replacer.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "runtime/file_errors.h"
#include "runtime/link_rules.h"

namespace corvane {
namespace {

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// ".NAME.XXXXXXXXXX" beside PATH; files under it are made exclusively.
std::string nameBeside(const std::string& path) {
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  static unsigned long long counter = 0;
  unsigned long long random = 0;
  if (::getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random))
    random = (static_cast<unsigned long long>(::getpid()) << 32) ^ ++counter;
  size_t slash = path.rfind('/');
  size_t base = slash == std::string::npos ? 0 : slash + 1;
  std::string name = path.substr(0, base) + "." + path.substr(base) + ".";
  for (int i = 0; i < 10; ++i, random /= 36) name += kDigits[random % 36];
  return name;
}

} // namespace

FileReplacer::~FileReplacer() {
  if (fd_ >= 0) ::close(fd_);
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
}

std::string FileReplacer::fail(const std::string& what, int err) const {
  return path_ + ": " + what + ": " + fileErrorText(target_, err);
}

SaveResult FileReplacer::open(const std::string& path, unsigned newFileMode, Target target) {
  path_ = path;
  mode_ = target;
  if (path.empty()) return {{"cannot save: no file name"}};
  target_ = path;
  if (target == Target::kFollowLinks) {
    FollowedPath followed = followLinks(path);
    if (!followed.refused.empty()) return {{path + ": cannot save: " + refusedLinkText(followed.refused)}};
    target_ = std::move(followed.path);
  }
  struct stat st;
  bool exists = (target == Target::kFollowLinks ? ::stat(target_.c_str(), &st) : ::lstat(target_.c_str(), &st)) == 0;
  if (!exists && errno != ENOENT) return {{fail("cannot save", errno)}};
  if (exists && target == Target::kNewName) {
    SaveResult taken{{fail("cannot save", EEXIST)}};
    taken.nameTaken = true;
    return taken;
  }
  if (exists && S_ISLNK(st.st_mode)) exists = false; // kNameItself: the link goes, a new file takes its name
  if (exists && !S_ISREG(st.st_mode)) {
    const std::string kind = specialFileKind(st.st_mode);
    return {{path + ": cannot save: not a regular file" + (S_ISDIR(st.st_mode) ? "" : " but " + kind)}};
  }
  // A file the user may not write is not replaced behind his back.
  if (exists && ::access(target_.c_str(), W_OK) != 0) return {{fail("cannot save", errno)}};
  inPlace_ = exists && st.st_nlink > 1;
  // An unnamed file disappears with the process however it ends; only a
  // complete one gets a name.
  fd_ = ::open(folderOf(target_).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, newFileMode);
  if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
      std::string name = nameBeside(target_);
      fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, newFileMode);
      if (fd_ >= 0) tempPath_ = std::move(name);
      else if (errno != EEXIST) break;
    }
  }
  if (fd_ < 0) return {{fail("cannot create a file beside it", errno)}};
  if (exists && !inPlace_) {
    ::fchmod(fd_, st.st_mode & 07777);
    // Only an administrator may give a file away; a member of the file's
    // group can still keep the group; otherwise the file becomes the user's.
    [[maybe_unused]] bool ownerKept = ::fchown(fd_, st.st_uid, st.st_gid) == 0 ||
                                      ::fchown(fd_, static_cast<uid_t>(-1), st.st_gid) == 0;
  }
  return {};
}

std::string FileReplacer::oldContentName(const std::string& path) {
  const size_t slash = path.rfind('/');
  const size_t base = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= base) return path + ".before-save";
  return path.substr(0, dot) + ".before-save" + path.substr(dot);
}

bool FileReplacer::write(std::string_view bytes) {
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

SaveResult FileReplacer::commit() {
  if (fd_ < 0) return {{path_ + ": cannot save: the file was not opened"}};
  if (writeErrno_ != 0) return {{fail("cannot write", writeErrno_)}};
  if (inPlace_) return {rewriteInPlace()};
  if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) return {{fail("cannot write", errno)}};
  return placeNew();
}

// Gives the complete file a hidden name beside the target (when it has
// none yet), then the target's name: rename replaces whatever bears it (a
// link as a link, never what it leads to); for kNewName the name must still
// be free.
SaveResult FileReplacer::placeNew() {
  if (tempPath_.empty()) {
    std::string self = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < 100 && tempPath_.empty(); ++attempt) {
      std::string name = nameBeside(target_);
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) tempPath_ = std::move(name);
      else if (errno != EEXIST) return {{fail("cannot write", errno)}};
    }
    if (tempPath_.empty()) return {{fail("cannot write", EEXIST)}};
  }
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR) return {{fail("cannot write", errno)}};
  if (mode_ == Target::kNewName) {
    // Never replaces a name, nor follows a link that holds it; link() and
    // unlink() where the file system can't rename so.
    int placed = ::renameat2(AT_FDCWD, tempPath_.c_str(), AT_FDCWD, target_.c_str(), RENAME_NOREPLACE);
    if (placed != 0 && errno == EINVAL) {
      placed = ::link(tempPath_.c_str(), target_.c_str());
      if (placed == 0) ::unlink(tempPath_.c_str());
    }
    if (placed != 0) {
      const int err = errno;
      SaveResult failed{{fail("cannot save", err)}};
      failed.nameTaken = err == EEXIST;
      return failed;
    }
  } else if (::rename(tempPath_.c_str(), target_.c_str()) != 0) {
    return {{fail("cannot replace the file", errno)}};
  }
  tempPath_.clear();
  return {};
}

// Copies the file's present content, whole and flushed, to NAME (which must
// be free), so that the rewrite in place can be interrupted at any byte.
HostResult FileReplacer::keepOldContent(const std::string& name) {
  int in = ::open(target_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (in < 0) return {fail("cannot read", errno)};
  struct stat st;
  FileReplacer copy;
  SaveResult opened = ::fstat(in, &st) == 0 ? copy.open(name, st.st_mode & 0666, Target::kNewName)
                                            : SaveResult{{fail("cannot read", errno)}};
  if (!opened) {
    ::close(in);
    if (opened.nameTaken)
      return {path_ + ": cannot save: " + name + " is in the way (an earlier SAVE that did not finish left the "
                                                 "drawing's old content there): open it, or move it away"};
    return opened;
  }
  std::vector<char> buffer(1 << 20);
  int err = 0;
  for (;;) {
    ssize_t got = ::read(in, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) err = errno;
    if (got <= 0) break;
    if (!copy.write(std::string_view(buffer.data(), static_cast<size_t>(got)))) break;
  }
  ::close(in);
  if (err != 0) return {fail("cannot read", err)};
  HostResult placed = copy.commit();
  if (!placed) return placed;
  // The copy's name reaches the disk before a byte of the file changes.
  int folder = ::open(folderOf(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return {};
}

// Copies the complete new content over the file itself. Room for all of it
// is reserved first, so a full disk stops the save before a byte changes;
// the old content waits in oldContentName() until the new is on the disk.
HostResult FileReplacer::rewriteInPlace() {
  off_t size = ::lseek(fd_, 0, SEEK_END);
  if (size < 0) return {fail("cannot write", errno)};
  int out = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW);
  if (out < 0) return {fail("cannot save", errno)};
  // Copied before the reservation, which may lengthen the file.
  const std::string oldContent = oldContentName(target_);
  if (HostResult kept = keepOldContent(oldContent); !kept) {
    ::close(out);
    return kept;
  }
  struct stat before, after;
  const bool measured = ::fstat(out, &before) == 0;
  int reserved = ::posix_fallocate(out, 0, size);
  if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL) {
    // A reservation that failed part-way may have lengthened the file.
    const bool unchanged = measured && ::fstat(out, &after) == 0 && after.st_size == before.st_size;
    ::close(out);
    if (!unchanged) return {fail("cannot save", reserved) + "; its content before the SAVE is in " + oldContent};
    ::unlink(oldContent.c_str());
    return {fail("cannot save", reserved)};
  }
  std::vector<char> buffer(1 << 20);
  int err = 0;
  for (off_t at = 0; at < size && err == 0;) {
    ssize_t got = ::pread(fd_, buffer.data(), buffer.size(), at);
    if (got <= 0) {
      err = got < 0 ? errno : EIO;
      break;
    }
    for (ssize_t done = 0; done < got;) {
      ssize_t put = ::pwrite(out, buffer.data() + done, static_cast<size_t>(got - done), at + done);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) {
        err = put < 0 ? errno : EIO;
        break;
      }
      done += put;
    }
    at += got;
  }
  if (err == 0 && ::ftruncate(out, size) != 0) err = errno;
  if (err == 0 && ::fsync(out) != 0 && errno != EINVAL && errno != EROFS) err = errno;
  if (::close(out) != 0 && err == 0 && errno != EINTR) err = errno;
  if (err != 0)
    return {fail("cannot write", err) + "; the file may be damaged: its content before the SAVE is in " + oldContent};
  ::unlink(oldContent.c_str());
  return {};
}

} // namespace corvane
