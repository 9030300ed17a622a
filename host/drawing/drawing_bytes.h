// The bytes of a loaded drawing file, held in one of two ways:
// * a copy of the file, the drawing's own: what a drawing that may be saved
//   needs, since saving writes the file back from these bytes whatever has
//   happened to the file since it was read;
// * the file itself, mapped read-only: what a drawing that is only read (an
//   export) needs. Nothing is copied; pages are read from the file as they
//   are touched and can be let go again, so that a big drawing need not be
//   resident as a whole.
// A mapped file may change under the program. A read past the end of a file
// that was cut short finds zeros rather than a fault, and changed() tells
// that the bytes can no longer be trusted; the file itself is never written.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>

#include "runtime/host_result.h"

namespace corvane {

class DrawingBytes {
public:
  enum class Kind : uint8_t {
    kCopy,   // the drawing's own copy
    kMapped, // the file mapped read-only
  };

  DrawingBytes() = default;
  DrawingBytes(const DrawingBytes&) = delete;
  DrawingBytes& operator=(const DrawingBytes&) = delete;
  ~DrawingBytes();

  // Starts holding PATH, replacing what was held: maps it, or for a copy
  // maps it and reads the copy on a second thread meanwhile, so that the
  // caller can read the mapping while the copy is made. Fails with one line
  // "PATH: why" (cannot open, not a regular file, larger than 4 GiB, cannot
  // read), with nothing held.
  HostResult open(const std::string& path, Kind kind);
  // Ends what open() began: a copy is complete and takes the mapping's
  // place (views of the mapping must be taken again from view()). Fails with
  // one line "PATH: why" (cannot read, the file changed while it was being
  // read).
  HostResult settle();
  // Holds TEXT itself as the copy (a drawing made in memory).
  void hold(std::string text);

  std::string_view view() const { return view_; }
  bool mapped() const { return kind_ == Kind::kMapped && mapping_ != nullptr; }

  // The bytes in [BEGIN, END) have been read and are not needed again soon.
  // A mapping counts them, and once several MiB have been read this way
  // lets all its pages go; they are read back from the file when touched
  // again. A copy keeps everything. Safe from any thread that reads.
  void doneWith(size_t begin, size_t end) const;
  // Lets the whole pages inside [BEGIN, END) of a mapping go now.
  void release(size_t begin, size_t end) const;

  // Whether a read past the end of the mapped file (cut short since it was
  // mapped) has met zeros in place of its bytes. No system call; safe from
  // any thread.
  bool cutShort() const;
  // Whether the mapped file changed since it was mapped: cutShort(), or its
  // size, modification or change time moved (one fstat). Always false for
  // a copy.
  bool changed() const;

private:
  void reset();
  void unmap();

  Kind kind_ = Kind::kCopy;
  std::string path_;
  std::string owned_;          // a copy given as a string
  char* copy_ = nullptr;       // a copy read from a file (anonymous memory)
  size_t copySize_ = 0;
  const char* mapping_ = nullptr;
  size_t mappingSize_ = 0;
  int fd_ = -1;                // the mapped file, kept open to see whether it changed
  int guardSlot_ = -1;
  int64_t size_ = 0, mtimeNs_ = 0;
  std::string_view view_;
  std::thread reader_;         // reading the copy beside the mapping
  int readErrno_ = 0;
  size_t readSize_ = 0;
  mutable std::atomic<size_t> readSinceRelease_{0};
};

} // namespace corvane
