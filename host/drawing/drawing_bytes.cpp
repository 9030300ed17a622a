#include "drawing/drawing_bytes.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "runtime/file_errors.h"

namespace corvane {

namespace {

// ---- reads past the end of a file cut short -----------------------------------
//
// A mapped file that is truncated while mapped faults (SIGBUS) where its
// pages are gone. The handler puts zero-filled memory in their place, from
// the faulting page to the end of the mapping, notes it, and returns: the
// read then finds zeros, which no reader of the drawing takes for a group,
// and the owner learns from cutShort() that its bytes can't be trusted.
// Faults elsewhere go to the handler that was there before.

constexpr int kGuardSlots = 16;

struct GuardSlot {
  std::atomic<uintptr_t> begin{0}; // 0: free
  std::atomic<uintptr_t> end{0};   // page-rounded end of the mapping
  std::atomic<bool> hit{false};
};

GuardSlot gSlots[kGuardSlots];
struct sigaction gPreviousBus;
uintptr_t gPageSize = 4096;

void onBusError(int sig, siginfo_t* info, void* context) {
  const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
  for (GuardSlot& slot : gSlots) {
    const uintptr_t begin = slot.begin.load(std::memory_order_acquire);
    const uintptr_t end = slot.end.load(std::memory_order_acquire);
    if (begin == 0 || address < begin || address >= end) continue;
    const uintptr_t page = address & ~(gPageSize - 1);
    void* zeros = ::mmap(reinterpret_cast<void*>(page), end - page, PROT_READ,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
    if (zeros == MAP_FAILED) break;
    slot.hit.store(true, std::memory_order_release);
    return;
  }
  if ((gPreviousBus.sa_flags & SA_SIGINFO) != 0 && gPreviousBus.sa_sigaction != nullptr) {
    gPreviousBus.sa_sigaction(sig, info, context);
    return;
  }
  if (gPreviousBus.sa_handler != SIG_DFL && gPreviousBus.sa_handler != SIG_IGN) {
    gPreviousBus.sa_handler(sig);
    return;
  }
  // The fault was not ours: let it end the program as it would have.
  ::signal(SIGBUS, SIG_DFL);
  ::raise(SIGBUS);
}

void installGuard() {
  static std::once_flag once;
  std::call_once(once, [] {
    gPageSize = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGBUS, &action, &gPreviousBus);
  });
}

// A slot for the mapping [BEGIN, END), or -1 when all are taken (the
// mapping then goes unguarded, and its owner copies instead).
int guard(uintptr_t begin, uintptr_t end) {
  installGuard();
  for (int i = 0; i < kGuardSlots; ++i) {
    uintptr_t expected = 0;
    if (!gSlots[i].begin.compare_exchange_strong(expected, UINTPTR_MAX)) continue;
    gSlots[i].hit.store(false);
    gSlots[i].end.store(end, std::memory_order_release);
    gSlots[i].begin.store(begin, std::memory_order_release);
    return i;
  }
  return -1;
}

void unguard(int slot) {
  if (slot < 0) return;
  gSlots[slot].end.store(0, std::memory_order_release);
  gSlots[slot].begin.store(0, std::memory_order_release);
}

// ---- files -------------------------------------------------------------------------

constexpr size_t kReleaseEvery = size_t{8} << 20;

size_t pageSize() {
  static const size_t size = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  return size;
}

int64_t nanoseconds(const struct timespec& t) { return int64_t{t.tv_sec} * 1000000000 + t.tv_nsec; }

// Reads SIZE bytes of FD from its start into DATA; 0 or the errno of the
// failure. A file that turns out shorter reads as what it has (GOT).
int readFully(int fd, char* data, size_t size, size_t& got) {
  got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, data + got, size - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  return 0;
}

// Anonymous memory for a copy of SIZE bytes, or null. Not a string: a
// string would be filled with zeros first, only to be overwritten. Huge
// pages, where the system has them, take far fewer faults.
char* copyMemory(size_t size) {
  void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  ::madvise(p, size, MADV_HUGEPAGE);
  return static_cast<char*>(p);
}

} // namespace

void DrawingBytes::hold(std::string text) {
  reset();
  owned_ = std::move(text);
  view_ = owned_;
}

DrawingBytes::~DrawingBytes() { reset(); }

void DrawingBytes::unmap() {
  if (mapping_ != nullptr) {
    unguard(guardSlot_);
    ::munmap(const_cast<char*>(mapping_), mappingSize_);
  }
  if (fd_ >= 0) ::close(fd_);
  mapping_ = nullptr;
  mappingSize_ = 0;
  guardSlot_ = -1;
  fd_ = -1;
}

void DrawingBytes::reset() {
  if (reader_.joinable()) reader_.join();
  unmap();
  if (copy_ != nullptr) ::munmap(copy_, copySize_);
  owned_.clear();
  copy_ = nullptr;
  copySize_ = 0;
  kind_ = Kind::kCopy;
  view_ = {};
}

HostResult DrawingBytes::open(const std::string& path, Kind kind) {
  reset();
  path_ = path;
  kind_ = kind;
  // A FIFO, socket or device is refused before it is opened (opening a FIFO
  // waits for a writer), and without waiting should one be put there since.
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
    return {path + ": not a regular file but " + specialFileKind(st.st_mode)};
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return {path + ": cannot open: " + std::strerror(errno)};
  if (::fstat(fd, &st) != 0) {
    const int e = errno;
    ::close(fd);
    return {path + ": cannot read: " + std::strerror(e)};
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return {path + ": not a regular file" + (S_ISDIR(st.st_mode) ? "" : " but " + specialFileKind(st.st_mode))};
  }
  if (static_cast<unsigned long long>(st.st_size) >= (1ULL << 32)) {
    ::close(fd);
    return {path + ": the file is larger than 4 GiB"};
  }
  const auto size = static_cast<size_t>(st.st_size);
  if (size == 0) {
    ::close(fd);
    return {};
  }
  const size_t rounded = (size + pageSize() - 1) / pageSize() * pageSize();
  fd_ = fd;
  size_ = st.st_size;
  mtimeNs_ = nanoseconds(st.st_mtim);

  void* p = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  if (p != MAP_FAILED) {
    guardSlot_ = guard(reinterpret_cast<uintptr_t>(p), reinterpret_cast<uintptr_t>(p) + rounded);
    if (guardSlot_ >= 0) {
      mapping_ = static_cast<const char*>(p);
      mappingSize_ = size;
    } else {
      ::munmap(p, size);
    }
  }
  if (mapping_ != nullptr && kind == Kind::kMapped) {
    view_ = std::string_view(mapping_, size);
    return {};
  }

  copy_ = copyMemory(rounded);
  if (copy_ == nullptr) {
    const int e = errno;
    reset();
    return {path + ": cannot read: " + std::strerror(e)};
  }
  copySize_ = rounded;
  if (mapping_ != nullptr) {
    // The copy is read while the caller scans the mapping.
    view_ = std::string_view(mapping_, size);
    reader_ = std::thread([this, size] { readErrno_ = readFully(fd_, copy_, size, readSize_); });
    return {};
  }
  // A file that can't be mapped (or guarded) is read first.
  kind_ = Kind::kCopy;
  readErrno_ = readFully(fd_, copy_, size, readSize_);
  unmap();
  if (readErrno_ != 0) {
    const int e = readErrno_;
    reset();
    return {path + ": cannot read: " + std::strerror(e)};
  }
  view_ = std::string_view(copy_, readSize_);
  return {};
}

HostResult DrawingBytes::settle() {
  if (reader_.joinable()) reader_.join();
  if (mapping_ == nullptr) return {};
  // A file that changed while it was read may differ from what the caller
  // read of it, and from the copy.
  const bool moved = changed();
  if (kind_ == Kind::kMapped) return {moved ? path_ + ": the file changed while it was being read" : ""};
  const int e = readErrno_;
  const bool whole = readSize_ == mappingSize_;
  unmap();
  if (e != 0) return {path_ + ": cannot read: " + std::strerror(e)};
  if (moved || !whole) return {path_ + ": the file changed while it was being read"};
  view_ = std::string_view(copy_, readSize_);
  return {};
}

void DrawingBytes::doneWith(size_t begin, size_t end) const {
  if (mapping_ == nullptr || end <= begin) return;
  const size_t total = readSinceRelease_.fetch_add(end - begin, std::memory_order_relaxed) + (end - begin);
  if (total < kReleaseEvery) return;
  readSinceRelease_.store(0, std::memory_order_relaxed);
  release(0, mappingSize_);
}

void DrawingBytes::release(size_t begin, size_t end) const {
  if (mapping_ == nullptr) return;
  const size_t page = pageSize();
  end = std::min(end, mappingSize_);
  // The last page of the file goes too when the range reaches the end.
  const size_t from = (begin + page - 1) / page * page;
  const size_t to = end == mappingSize_ ? (end + page - 1) / page * page : end / page * page;
  if (to > from) ::madvise(const_cast<char*>(mapping_) + from, to - from, MADV_DONTNEED);
}

bool DrawingBytes::cutShort() const {
  return guardSlot_ >= 0 && gSlots[guardSlot_].hit.load(std::memory_order_acquire);
}

bool DrawingBytes::changed() const {
  if (mapping_ == nullptr) return false;
  if (cutShort()) return true;
  struct stat st;
  if (::fstat(fd_, &st) != 0) return true;
  return st.st_size != size_ || nanoseconds(st.st_mtim) != mtimeNs_;
}

} // namespace corvane
