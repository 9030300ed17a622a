// The copy both DWG compressions end in: COUNT bytes from DISTANCE bytes
// back, where the source may overlap what is written (a run of one byte
// repeated is a copy from one byte back).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace corvane::dwg {

// Writes TO[0..COUNT) as TO[i - DISTANCE] (DISTANCE >= 1; the bytes from
// TO - DISTANCE on are the caller's to read, TO + COUNT its to write).
// ROOM is how far past TO the caller may write: with eight bytes to spare
// and a source at least eight back, whole words are copied and the last
// may write past COUNT.
inline void copyBackReference(uint8_t* to, size_t distance, size_t count, size_t room) {
  if (distance >= 16 && room >= count + 16) {
    for (size_t i = 0; i < count; i += 16) std::memcpy(to + i, to - distance + i, 16);
    return;
  }
  if (distance >= 8 && room >= count + 8) {
    for (size_t i = 0; i < count; i += 8) std::memcpy(to + i, to - distance + i, 8);
    return;
  }
  // What is written repeats with period DISTANCE: each copy takes all that
  // the period allows so far, from DISTANCE back, never overlapping itself,
  // and the written part stays a whole number of periods until the last.
  for (size_t written = 0; written < count;) {
    const size_t n = written + distance < count - written ? written + distance : count - written;
    std::memcpy(to + written, to - distance, n);
    written += n;
  }
}

} // namespace corvane::dwg
