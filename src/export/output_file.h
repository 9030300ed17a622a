// The world file being written. The bytes go to a new file beside the
// target (unnamed where the file system allows it), which takes the target's
// place only when close() has written all of it; until then, and whenever
// something fails, a file of that name stays exactly as it was. Written in
// binary through one buffer, every write checked.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

class OutputFile {
public:
  OutputFile() = default;
  ~OutputFile(); // a file still open is discarded, as by discard()
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Prepares to write PATH. A symbolic link is followed: the file it leads
  // to is replaced and the link stays; but a link the kernel would not
  // follow (another user's, in a sticky folder anyone may write) is refused
  // as the kernel refuses it (EACCES). An existing file must be writable; it
  // is locked exclusively without waiting, so a second run on the same file
  // (or a file that another program holds locked, such as the drawing the
  // host has open) is refused before anything is written. A device or pipe
  // is written directly. The replacement keeps the mode of the file it
  // replaces; a new file gets 0666 less the umask. Returns true when ready;
  // false, with error() set and nothing held, otherwise.
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
  // The errno of the first thing that failed (open, a write, the close);
  // 0 when nothing has.
  int error() const { return error_; }

  // Writes out the buffer, flushes the file to the disk and puts it in the
  // target's place. True only when all of that succeeded; on false the
  // target is as it was before open() and nothing is left beside it.
  // Closing a file that isn't open returns false.
  bool close();
  // Drops everything written: the target stays as it was, nothing is left
  // beside it. Does nothing on a file that isn't open.
  void discard();

  static constexpr std::size_t kCapacity = 1024 * 1024;
  static constexpr std::size_t kMaxReserve = 4096;

private:
  void flush();
  void fail(int err);
  bool placeFile();

  int fd_ = -1;
  int targetFd_ = -1;     // the file being replaced, held locked
  bool direct_ = false;   // writing a device or pipe in place
  bool failed_ = false;
  int error_ = 0;
  std::string target_;    // the path the file takes in the end
  std::string tempName_;  // the file's name beside the target, once it has one
  std::size_t used_ = 0;
  std::unique_ptr<char[]> buffer_; // kCapacity bytes, made by open
  char scratch_[kMaxReserve];
};
