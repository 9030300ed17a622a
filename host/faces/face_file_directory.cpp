#include "faces/face_file_directory.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

constexpr char kDirectoryPrefix[] = "corvane-faces-";

std::string errnoText(int err) { return std::strerror(err); }

bool isFullOrReadOnly(int err) { return err == ENOSPC || err == EDQUOT || err == EROFS; }

// The host's directories as a signal handler can see them: paths in static
// storage, published by the count.
constexpr int kMaxSignalDirs = 8;
char gSignalDirs[kMaxSignalDirs][PATH_MAX];
std::atomic<int> gSignalDirCount{0};
std::atomic<bool> gRefuseFiles{false};

void publishForSignals(const std::string& path) {
  const int n = gSignalDirCount.load(std::memory_order_relaxed);
  if (n >= kMaxSignalDirs || path.size() >= PATH_MAX) return;
  std::memcpy(gSignalDirs[n], path.c_str(), path.size() + 1);
  gSignalDirCount.store(n + 1, std::memory_order_release);
}

// Deletes every entry of the directory open on FD (files only: the
// directories never hold anything else). Async-signal-safe. Entries are
// read again from the start until a pass finds nothing, since deleting
// while reading may skip some.
void removeEntries(int fd) {
  alignas(8) char buffer[2048];
  for (int pass = 0; pass < 4; ++pass) {
    if (lseek(fd, 0, SEEK_SET) != 0) return;
    int deleted = 0;
    for (;;) {
      const ssize_t n = getdents64(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      for (ssize_t at = 0; at < n;) {
        const auto* entry = reinterpret_cast<const struct dirent64*>(buffer + at);
        const char* name = entry->d_name;
        const bool dot = name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
        if (!dot && unlinkat(fd, name, 0) == 0) ++deleted;
        at += entry->d_reclen;
      }
    }
    if (deleted == 0) return;
  }
}

// The process id in a directory name of ours ("corvane-faces-PID-XXXXXX"),
// or 0 for any other name.
pid_t ownerInName(const char* name) {
  const size_t prefix = sizeof kDirectoryPrefix - 1;
  if (std::strncmp(name, kDirectoryPrefix, prefix) != 0) return 0;
  long pid = 0;
  const char* p = name + prefix;
  for (; *p >= '0' && *p <= '9'; ++p) {
    pid = pid * 10 + (*p - '0');
    if (pid > INT_MAX) return 0;
  }
  return p > name + prefix && *p == '-' ? static_cast<pid_t>(pid) : 0;
}

// Removes the face-file directories under BASE that processes now gone left
// behind: only directories of ours (our user, mode 0700, our name with a
// process id) whose process no longer exists here and whose lock can be
// taken, which no live process holds, in whatever PID namespace it runs.
void removeAbandoned(const std::string& base) {
  DIR* listing = opendir(base.c_str());
  if (listing == nullptr) return;
  const int baseFd = dirfd(listing);
  while (const struct dirent* entry = readdir(listing)) {
    const pid_t pid = ownerInName(entry->d_name);
    if (pid <= 0 || pid == getpid()) continue;
    if (kill(pid, 0) == 0 || errno != ESRCH) continue; // alive, or not ours to judge
    const int fd = openat(baseFd, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st{};
    if (fstat(fd, &st) == 0 && st.st_uid == geteuid() && (st.st_mode & 07777) == 0700 &&
        flock(fd, LOCK_EX | LOCK_NB) == 0) {
      removeEntries(fd);
      unlinkat(baseFd, entry->d_name, AT_REMOVEDIR);
    }
    ::close(fd);
  }
  closedir(listing);
}

} // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

UniqueFd::~UniqueFd() { close(); }

int UniqueFd::close() {
  if (fd_ < 0) return 0;
  // Linux releases the descriptor even when close reports an error, so it is
  // never retried (a retry could close a descriptor opened meanwhile).
  const int rc = ::close(fd_);
  fd_ = -1;
  return rc == 0 ? 0 : errno;
}

FaceFileDirectory::FaceFileDirectory(std::vector<std::string> bases, bool processOwn)
    : bases_(std::move(bases)), processOwn_(processOwn) {}

FaceFileDirectory::~FaceFileDirectory() {
  // A child forked after a directory was made inherits this object; only
  // the process that made the directories may remove them.
  if (dirs_.empty() || getpid() != owner_) return;
  for (const Directory& dir : dirs_) {
    std::error_code ec;
    std::filesystem::remove_all(dir.path, ec);
  }
}

FaceFileDirectory& FaceFileDirectory::forProcess() {
  static FaceFileDirectory directory([] {
    std::vector<std::string> bases{"/dev/shm"};
    if (const char* tmp = std::getenv("TMPDIR"); tmp && tmp[0] == '/') bases.push_back(tmp);
    bases.push_back("/tmp");
    return bases;
  }(), true);
  return directory;
}

bool FaceFileDirectory::ensureDirectory(size_t firstBase, std::string& error) {
  if (current_ != kNone) return true;
  if (!swept_) {
    swept_ = true;
    for (const std::string& base : bases_) removeAbandoned(base);
  }
  error = "no usable temporary directory";
  int lockRetries = 0;
  for (size_t b = firstBase; b < bases_.size(); ++b) {
    std::string templ = bases_[b] + "/" + kDirectoryPrefix + std::to_string(getpid()) + "-XXXXXX";
    // mkdtemp makes the directory with mode 0700 under an unguessable name.
    if (mkdtemp(templ.data()) != nullptr) {
      // Locked before it is used: a directory another process's sweep
      // locked (or removed) first is given up for a new one. On a file
      // system without locks it is used unlocked: no sweep can lock it either.
      UniqueFd lock(::open(templ.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
      const int err = lock.get() < 0 ? errno : flock(lock.get(), LOCK_EX | LOCK_NB) == 0 ? 0 : errno;
      if ((err == EWOULDBLOCK || err == ENOENT) && ++lockRetries < 5) {
        --b; // the same base again (wraps below 0 and back)
        continue;
      }
      if (processOwn_) publishForSignals(templ);
      dirs_.push_back({std::move(templ), b, std::move(lock)});
      current_ = dirs_.size() - 1;
      owner_ = getpid();
      error.clear();
      return true;
    }
    error = "cannot create a temporary directory in " + bases_[b] + ": " + errnoText(errno);
  }
  return false;
}

FaceFileDirectory::Slot* FaceFileDirectory::reuse(Slot* slot, int& fd) {
  slot->open.close();
  fd = ::open(slot->name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    slot->state = State::kHeld;
    return slot;
  }
  if (errno == EEXIST) {
    // Its file is still there: the caller it went to still has it.
    slot->state = State::kOut;
    out_.push_back(slot);
  }
  return nullptr;
}

FaceFileDirectory::Slot* FaceFileDirectory::slotOf(const char* name) {
  auto it = byName_.find(name);
  return it == byName_.end() ? nullptr : it->second;
}

void FaceFileDirectory::retireCurrent() {
  current_ = kNone;
  free_.clear(); // their names lie in a directory no longer used
}

bool FaceFileDirectory::moveOn() {
  // The full directory stays current unless another base takes over.
  const size_t full = current_;
  current_ = kNone;
  std::string error;
  if (!ensureDirectory(dirs_[full].base + 1, error)) {
    current_ = full;
    return false;
  }
  free_.clear();
  return true;
}

FaceFileDirectory::NewFile FaceFileDirectory::createFile() {
  std::lock_guard lock(mutex_);
  NewFile out;
  if (gRefuseFiles.load(std::memory_order_relaxed)) {
    out.error = "the host is ending";
    return out;
  }
  // Files handed out before the newest are done with, deleted or not.
  for (Slot* slot : toClose_)
    if (slot->state == State::kOut) slot->open.close();
  toClose_.clear();
  int fd = -1;
  // A name whose file the host deleted, or failing that the oldest one
  // handed out (its caller has had a newer one since, so it is most likely
  // done with it): one exclusive create, and no pruning of names.
  while (!free_.empty() && current_ != kNone) {
    Slot* slot = free_.back();
    free_.pop_back();
    if (slot->dir == current_ && reuse(slot, fd) != nullptr) {
      out.fd = UniqueFd(fd);
      out.name = slot->name.c_str();
      return out;
    }
  }
  if (out_.size() > 1 && current_ != kNone) {
    Slot* slot = out_.front();
    out_.pop_front();
    if (slot->dir != current_) {
      out_.push_back(slot); // kept for sweep(); never used again
    } else if (reuse(slot, fd) != nullptr) {
      out.fd = UniqueFd(fd);
      out.name = slot->name.c_str();
      return out;
    }
  }
  // A new name. A directory removed underneath (a temp cleaner) is made
  // again; a base that is full or read-only hands over to the next.
  const size_t firstBase = dirs_.empty() ? 0 : dirs_.back().base;
  for (size_t attempt = 0; attempt <= bases_.size(); ++attempt) {
    if (!ensureDirectory(firstBase, out.error)) return out;
    std::string templ = dirs_[current_].path + "/faces-XXXXXX";
    fd = mkostemp(templ.data(), O_CLOEXEC);
    if (fd >= 0) {
      Slot& slot = slots_.emplace_back(Slot{std::move(templ), current_, State::kHeld, UniqueFd()});
      byName_[slot.name.c_str()] = &slot;
      out.fd = UniqueFd(fd);
      out.name = slot.name.c_str();
      out.error.clear(); // a base that refused before another took the file
      return out;
    }
    const int err = errno;
    out.error = "cannot create a face file in " + dirs_[current_].path + ": " + errnoText(err);
    if (err == ENOENT) {
      retireCurrent();
    } else if (!isFullOrReadOnly(err) || !moveOn()) {
      return out;
    }
  }
  return out;
}

void FaceFileDirectory::keepOpen(const char* name, UniqueFd fd) {
  std::lock_guard lock(mutex_);
  if (Slot* slot = slotOf(name)) slot->open = std::move(fd);
}

void FaceFileDirectory::discard(const char* name) {
  std::lock_guard lock(mutex_);
  Slot* slot = slotOf(name);
  if (slot == nullptr || slot->state == State::kFree) return;
  ::unlink(slot->name.c_str());
  slot->open.close();
  if (slot->state == State::kOut) out_.erase(std::find(out_.begin(), out_.end(), slot));
  slot->state = State::kFree;
  if (slot->dir == current_) free_.push_back(slot);
}

void FaceFileDirectory::handOut(const char* name) {
  std::lock_guard lock(mutex_);
  Slot* slot = slotOf(name);
  if (slot == nullptr || slot->state != State::kHeld) return;
  if (!out_.empty() && out_.back()->open.get() >= 0) toClose_.push_back(out_.back());
  slot->state = State::kOut;
  out_.push_back(slot);
}

void FaceFileDirectory::sweep() {
  std::lock_guard lock(mutex_);
  for (Slot* slot : out_) {
    ::unlink(slot->name.c_str());
    slot->open.close();
    slot->state = State::kFree;
    if (slot->dir == current_) free_.push_back(slot);
  }
  out_.clear();
  toClose_.clear();
}

bool FaceFileDirectory::fallBack(const char* name, int err) {
  if (!isFullOrReadOnly(err)) return false;
  std::lock_guard lock(mutex_);
  Slot* slot = slotOf(name);
  if (slot == nullptr) return false;
  if (slot->dir != current_) return true; // another file has moved on already
  return moveOn();
}

std::string FaceFileDirectory::path() const {
  std::lock_guard lock(mutex_);
  return current_ != kNone ? dirs_[current_].path : std::string();
}

void FaceFileDirectory::removeForSignal() {
  gRefuseFiles.store(true);
  const int n = gSignalDirCount.load(std::memory_order_acquire);
  for (int i = 0; i < n; ++i) {
    const int fd = ::open(gSignalDirs[i], O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    removeEntries(fd);
    ::close(fd);
    ::rmdir(gSignalDirs[i]);
  }
}

} // namespace corvane
