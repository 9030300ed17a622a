#include "faces/face_file_directory.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

std::string errnoText(int err) { return std::strerror(err); }

bool isWritableDirectory(const std::string& dir) {
  struct stat st{};
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(dir.c_str(), W_OK | X_OK) == 0;
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

FaceFileDirectory::FaceFileDirectory(std::vector<std::string> bases) : bases_(std::move(bases)) {}

FaceFileDirectory::~FaceFileDirectory() {
  // A child forked after the directory was made inherits this object; only
  // the process that made the directory may remove it.
  if (path_.empty() || getpid() != owner_) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

FaceFileDirectory& FaceFileDirectory::forProcess() {
  static FaceFileDirectory directory([] {
    std::vector<std::string> bases;
    if (isWritableDirectory("/dev/shm")) bases.push_back("/dev/shm");
    if (const char* tmp = std::getenv("TMPDIR"); tmp && tmp[0] == '/') bases.push_back(tmp);
    bases.push_back("/tmp");
    return bases;
  }());
  return directory;
}

bool FaceFileDirectory::ensureDirectory(std::string& error) {
  if (!path_.empty()) return true;
  error = "no usable temporary directory";
  for (const std::string& base : bases_) {
    std::string templ = base + "/corvane-faces-XXXXXX";
    // mkdtemp makes the directory with mode 0700 under an unguessable name.
    if (mkdtemp(templ.data()) != nullptr) {
      path_ = std::move(templ);
      owner_ = getpid();
      error.clear();
      return true;
    }
    error = "cannot create a temporary directory in " + base + ": " + errnoText(errno);
  }
  return false;
}

void FaceFileDirectory::dropDeletedNames() {
  names_.remove_if([](const std::string& name) {
    struct stat st{};
    return lstat(name.c_str(), &st) != 0 && errno == ENOENT;
  });
}

FaceFileDirectory::NewFile FaceFileDirectory::createFile() {
  std::lock_guard lock(mutex_);
  NewFile out;
  if (!ensureDirectory(out.error)) return out;
  dropDeletedNames();
  std::string templ = path_ + "/faces-XXXXXX";
  int fd = mkostemp(templ.data(), O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    // Someone removed the directory under us (a temp cleaner): make another.
    path_.clear();
    names_.clear();
    if (!ensureDirectory(out.error)) return out;
    templ = path_ + "/faces-XXXXXX";
    fd = mkostemp(templ.data(), O_CLOEXEC);
  }
  if (fd < 0) {
    out.error = "cannot create a face file in " + path_ + ": " + errnoText(errno);
    return out;
  }
  out.fd = UniqueFd(fd);
  names_.push_back(std::move(templ));
  out.name = names_.back().c_str();
  return out;
}

void FaceFileDirectory::discard(const char* name) {
  std::lock_guard lock(mutex_);
  for (auto it = names_.begin(); it != names_.end(); ++it) {
    if (it->c_str() == name) {
      unlink(it->c_str());
      names_.erase(it);
      return;
    }
  }
}

std::string FaceFileDirectory::path() const {
  std::lock_guard lock(mutex_);
  return path_;
}

} // namespace corvane
