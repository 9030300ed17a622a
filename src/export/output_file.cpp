#include "output_file.h"

#include <cerrno>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

OutputFile::~OutputFile() {
  if (fd_ >= 0) {
    close();
  }
}

bool OutputFile::open(const char* path) {
  if (fd_ >= 0 || path == nullptr) {
    return false;
  }
  if (!buffer_) {
    try {
      buffer_ = std::make_unique_for_overwrite<char[]>(kCapacity);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }
  // Not O_TRUNC: the file is emptied only after the lock is ours.
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  struct stat info;
  if (::fstat(fd, &info) != 0 || (S_ISREG(info.st_mode) && ::ftruncate(fd, 0) != 0)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  failed_ = false;
  used_ = 0;
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
      failed_ = true;
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
    return discard_;
  }
  return buffer_.get() + used_;
}

void OutputFile::commit(char* end) {
  if (fd_ < 0 || failed_) {
    return;
  }
  used_ = static_cast<std::size_t>(end - buffer_.get());
}

bool OutputFile::close() {
  if (fd_ < 0) {
    return false;
  }
  if (!failed_) {
    flush();
  }
  // Closing the descriptor releases the lock; a close that reports an error
  // (a delayed write failure on some file systems) fails the file too.
  if (::close(fd_) != 0) {
    failed_ = true;
  }
  fd_ = -1;
  used_ = 0;
  return !failed_;
}
