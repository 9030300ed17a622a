// The private directory that holds the face files of one host process. It is
// made on first use (mode 0700, an unpredictable name that carries the
// process id) under the first base that takes it: a memory-backed file
// system when there is one, else the temporary folder. A base that is
// missing, read-only or full is passed over. The directory is removed with
// whatever is left in it when the process that made it ends; one left by a
// process that died is removed by the next process that makes its own. A
// process holds an exclusive lock (flock) on each of its directories for
// as long as it lives, and a directory is removed as abandoned only by a
// process that can take that lock: a process id means nothing across PID
// namespaces that share /dev/shm (containers), a lock does.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

#include "runtime/host_result.h"

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

// Every member is safe to call from any thread.
class FaceFileDirectory {
public:
  // A directory made under the first of BASES that accepts one. Tests pass
  // their own; the host uses forProcess(), whose directories alone
  // removeForSignal() knows (PROCESS_OWN).
  explicit FaceFileDirectory(std::vector<std::string> bases, bool processOwn = false);
  ~FaceFileDirectory();
  FaceFileDirectory(const FaceFileDirectory&) = delete;
  FaceFileDirectory& operator=(const FaceFileDirectory&) = delete;

  // The host's directory: under /dev/shm, else under $TMPDIR (when
  // absolute), else under /tmp.
  static FaceFileDirectory& forProcess();

  // A new empty file (mode 0600), created exclusively and open for writing.
  // A name whose file has been deleted is used again, so that a file costs
  // one system call to create; names are made by mkostemp, so nobody can
  // predict them. On success `name` is directory-owned and stays readable as
  // long as the directory object; once the file is deleted the same name may
  // come back for a later file. On failure fd is -1, name null, and error
  // says why.
  struct NewFile : HostResult {
    UniqueFd fd;
    const char* name = nullptr;
  };
  NewFile createFile();

  // The file NAME is written; the directory keeps FD, its descriptor, open
  // until the file has gone out and a newer one after it, and then closes
  // it at the next createFile (or at discard or sweep). The caller deleting
  // the file meanwhile only removes its name, and the file system frees the
  // file when the directory closes it: on the thread that makes files.
  void keepOpen(const char* name, UniqueFd fd);

  // Deletes the file NAME (a name createFile returned) now.
  void discard(const char* name);

  // The file NAME goes to a caller, who deletes it when done with it. Once a
  // later file has been handed out, NAME may be used again (if its file is
  // gone by then); sweep() deletes it if it is still there.
  void handOut(const char* name);

  // Deletes every handed-out file that is still there. The host calls it
  // when a module's command or list function returns.
  void sweep();

  // A write into the file NAME failed with ERR. When ERR says the file
  // system is full or read-only (ENOSPC, EDQUOT, EROFS), later files go to a
  // new private directory under the next base that takes one; returns true
  // when the caller should try again there (also when another thread has
  // moved on already), false when there is nowhere else to go.
  bool fallBack(const char* name, int err);

  // The current directory's path; empty until the first createFile succeeds.
  std::string path() const;

  // Deletes the files of the host's directories and the directories, using
  // only async-signal-safe calls, and refuses new files from then on: for a
  // signal handler that ends the process. A file that another thread is
  // creating at that moment may stay behind; the next run removes it with
  // the directory.
  static void removeForSignal();

private:
  enum class State { kHeld, kOut, kFree };
  struct Slot {
    std::string name;
    size_t dir = 0; // index into dirs_
    State state = State::kHeld;
    UniqueFd open;  // see keepOpen
  };
  struct Directory {
    std::string path;
    size_t base = 0; // index into bases_
    UniqueFd lock;   // the directory, locked exclusively while we live
  };
  static constexpr size_t kNone = static_cast<size_t>(-1);

  bool ensureDirectory(size_t firstBase, std::string& error);
  Slot* reuse(Slot* slot, int& fd);
  Slot* slotOf(const char* name);

  void retireCurrent();
  bool moveOn();

  mutable std::mutex mutex_;
  std::vector<std::string> bases_;
  std::vector<Directory> dirs_;   // every directory made, removed at the end
  size_t current_ = kNone;        // index of the one that takes new files
  pid_t owner_ = 0;
  bool swept_ = false;            // abandoned directories looked for
  const bool processOwn_;         // removeForSignal knows its directories
  std::deque<Slot> slots_;        // a deque: each name's c_str stays put
  std::unordered_map<const char*, Slot*> byName_;
  std::vector<Slot*> free_;       // deleted by the host: names to use again
  std::deque<Slot*> out_;         // handed out, oldest first
  std::vector<Slot*> toClose_;    // handed out before the newest, descriptor open
};

} // namespace corvane
