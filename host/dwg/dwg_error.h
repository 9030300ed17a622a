// The one failure of the DWG reader: a file it refuses. Every reader of the
// room throws it where the file's bytes can't be trusted; the reader's entry
// point catches it and turns it into the drawing's one-line refusal, so that
// nothing half-read ever reaches the database.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace corvane::dwg {

class DwgError : public std::runtime_error {
public:
  // SECTION names where the reader was ("file header", "AcDb:Handles",
  // "AcDb:AcDbObjects", ...); OFFSET is the byte within that section (the
  // file, for the container's own structures); WHAT says what is wrong in
  // words ("checksum mismatch", "page decompresses past its stated size").
  // what() is "SECTION at byte OFFSET: WHAT".
  DwgError(std::string section, uint64_t offset, const std::string& what)
      : std::runtime_error(section + " at byte " + std::to_string(offset) + ": " + what),
        section_(std::move(section)), offset_(offset) {}

  const std::string& section() const { return section_; }
  uint64_t offset() const { return offset_; }

private:
  std::string section_;
  uint64_t offset_;
};

} // namespace corvane::dwg
