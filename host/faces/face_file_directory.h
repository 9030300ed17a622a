// The private directory that holds the face files of one host process. It is
// made on first use (mode 0700, an unpredictable name) on a memory-backed
// file system when there is a writable one, and removed with whatever is
// left in it when the process that made it ends.
#pragma once

#include <list>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <vector>

namespace corvane {

// An owned file descriptor, closed on destruction unless close() took it.
class UniqueFd {
public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();
  int get() const { return fd_; }
  // Closes now; returns 0, or the errno of a failed close. Closed either way.
  int close();

private:
  int fd_ = -1;
};

class FaceFileDirectory {
public:
  // A directory made under the first of BASES that accepts one. Tests pass
  // their own; the host uses forProcess().
  explicit FaceFileDirectory(std::vector<std::string> bases);
  ~FaceFileDirectory();
  FaceFileDirectory(const FaceFileDirectory&) = delete;
  FaceFileDirectory& operator=(const FaceFileDirectory&) = delete;

  // The host's directory: under /dev/shm when it is a writable directory,
  // else under $TMPDIR (when absolute), else under /tmp.
  static FaceFileDirectory& forProcess();

  // A new empty file (mode 0600, unpredictable name), open for writing. On
  // success `name` is directory-owned and stays valid until the file is
  // gone (names of deleted files are dropped at a later createFile) or the
  // directory object ends. On failure fd is -1, name null, error says why.
  struct NewFile {
    UniqueFd fd;
    const char* name = nullptr;
    std::string error;
  };
  NewFile createFile();

  // Deletes the file NAME (a name createFile returned) and forgets the name.
  void discard(const char* name);

  // The directory's path; empty until the first createFile succeeds.
  std::string path() const;

private:
  bool ensureDirectory(std::string& error);
  void dropDeletedNames();

  mutable std::mutex mutex_;
  std::vector<std::string> bases_;
  std::string path_;
  pid_t owner_ = 0;
  std::list<std::string> names_;  // a list: each name's c_str stays put
};

} // namespace corvane
