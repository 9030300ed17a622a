// Writing a loaded text back with changes: a change replaces one byte range
// of the original text (or inserts at a position), everything else is
// copied as read. Files are written to a temporary file beside the target
// and renamed over it only when every write and the close succeeded.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

struct DxfPatch {
  size_t begin = 0; // replaced range [begin, end); begin == end inserts
  size_t end = 0;
  std::string text;
};

// Calls SINK with the pieces of TEXT with PATCHES applied, in order. Patches
// must not overlap; they are applied in order of position, ties in the order
// given. Stops and returns false as soon as SINK returns false.
bool emitPatched(std::string_view text, std::vector<DxfPatch> patches,
                 const std::function<bool(std::string_view)>& sink);

// Writes a file as a whole: open() makes a temporary file in the folder of
// PATH, write() appends, commit() flushes, closes and renames it to PATH.
// Each returns an empty string or a one-line error naming the file. A writer
// destroyed without a successful commit removes its temporary file.
class AtomicFileWriter {
public:
  AtomicFileWriter() = default;
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
  ~AtomicFileWriter();

  std::string open(const std::string& path);
  bool write(std::string_view bytes);
  std::string commit();

private:
  std::string path_;
  std::string tempPath_;
  int fd_ = -1;
  int writeErrno_ = 0;
  bool committed_ = false;
};

} // namespace corvane
