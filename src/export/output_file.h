// The world file being written: created or emptied, held for exclusive use
// while open, written in binary through one buffer, every write checked.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

class OutputFile {
public:
  OutputFile() = default;
  ~OutputFile(); // closes the file if it is still open (result lost)
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates PATH (mode 0666 less the umask) or opens an existing file, takes
  // an exclusive lock on it without waiting, and only then empties it, so a
  // file that another run holds is neither locked nor touched. Returns true
  // when the file is open; false (nothing held) when it can't be created or
  // opened, another holder has the lock, emptying fails or there is no
  // memory for the buffer.
  bool open(const char* path);

  // Appends bytes to the buffer, writing the buffer out when it fills. A
  // failed write makes the file failed(); later appends are dropped.
  void append(std::string_view text);
  void append(char c);
  // Room for N more bytes (N at most kMaxReserve), writing out the buffer
  // first if needed; returns where to put them, and commit(one past the
  // last) appends them. On a file that isn't open or has failed the bytes
  // are dropped.
  char* reserve(std::size_t n);
  void commit(char* end);

  // True once a write has failed (a full disk, for instance).
  bool failed() const { return failed_; }
  bool isOpen() const { return fd_ >= 0; }

  // Writes out the buffer, releases the lock and closes the file. Returns
  // true only when every write and the close succeeded. Closing a file that
  // isn't open returns false.
  bool close();

  static constexpr std::size_t kCapacity = 1024 * 1024;
  static constexpr std::size_t kMaxReserve = 4096;

private:
  void flush();

  int fd_ = -1;
  bool failed_ = false;
  std::size_t used_ = 0;
  std::unique_ptr<char[]> buffer_; // kCapacity bytes, made by open
  char discard_[kMaxReserve];
};
