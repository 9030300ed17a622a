#include "face_file_reader.h"

#include <sys/stat.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#include "face_file.h"

namespace {

// The layout: face_file.h.
using face_file::kCornerSize;
using face_file::kEntityRecord;
using face_file::kEntryHeadSize;
using face_file::kFaceHeadSize;
using face_file::kHasNormals;
using face_file::kHasPayload;
using face_file::kHeaderSize;
using face_file::kPayloadSize;
using face_file::kPointSize;
using face_file::kRecordSize;
using face_file::kReservedSize;
using face_file::kUnitRecord;

std::uint32_t loadU32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::int32_t loadI32(const unsigned char* p) { return static_cast<std::int32_t>(loadU32(p)); }

std::int16_t loadI16(const unsigned char* p) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | p[1] << 8));
}

double loadF64(const unsigned char* p) {
  const std::uint64_t bits = static_cast<std::uint64_t>(loadU32(p)) |
                             static_cast<std::uint64_t>(loadU32(p + 4)) << 32;
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

Point3 loadPoint(const unsigned char* p) { return {loadF64(p), loadF64(p + 8), loadF64(p + 16)}; }

// Forward-only reads over the stream. Every read reports a short read. A
// skip is only noted, and made together with the read that follows it: one
// call into the stream instead of two (a skip that runs past the end makes
// that read come short, just as it would have after a separate skip, and a
// skip with no read after it changes nothing). The bytes that remain are
// measured only when a count is too large to take on trust (a regular file
// tells its size with one fstat; other streams are measured by seeking), so
// that a small face file costs no system call beyond its read, and a large
// count is checked before memory is reserved for it.
class Cursor {
public:
  explicit Cursor(std::FILE* stream) : stream_(stream) {}

  bool read(void* out, std::size_t n) {
    if (broken_) {
      return false;
    }
    if (n == 0) {
      return true;
    }
    if (skipped_ > 0 && skipped_ + n <= sizeof scratch_) {
      const std::size_t want = static_cast<std::size_t>(skipped_) + n;
      skipped_ = 0;
      const std::size_t got = std::fread(scratch_, 1, want, stream_);
      consume(got);
      if (got < want) {
        return false;
      }
      std::memcpy(out, scratch_ + (want - n), n);
      return true;
    }
    if (!makeSkip()) {
      return false;
    }
    const std::size_t got = std::fread(out, 1, n, stream_);
    consume(got);
    return got == n;
  }

  // Moves N bytes forward. Running past the end is not a failure in itself:
  // the next read reports it.
  bool skip(long n) {
    if (broken_ || n < 0) {
      return false;
    }
    skipped_ += static_cast<std::uint64_t>(n);
    return true;
  }

  // True when COUNT items of SIZE bytes may still be in the stream: always
  // for a count small enough to take on trust, and for a stream of unknown
  // size (memory then follows the bytes read).
  bool mayHold(std::uint64_t count, std::size_t size) {
    if (trusted(count, size)) {
      return true;
    }
    measure();
    return !sized_ || count <= remaining() / size;
  }

  // How many of COUNT items of SIZE bytes memory may be reserved for now:
  // COUNT when small, else as many as the bytes that remain can hold (none
  // for a stream of unknown size).
  std::uint64_t reservable(std::uint64_t count, std::size_t size) {
    if (trusted(count, size)) {
      return count;
    }
    measure();
    if (!sized_) {
      return 0;
    }
    return count < remaining() / size ? count : remaining() / size;
  }

private:
  // Counts up to this many bytes are reserved without measuring the stream.
  static constexpr std::uint64_t kTrustedBytes = 64 * 1024;

  static bool trusted(std::uint64_t count, std::size_t size) { return count <= kTrustedBytes / size; }

  void measure() {
    if (measured_ || broken_) {
      return;
    }
    measured_ = true;
    const long at = std::ftell(stream_);
    if (at < 0) {
      return;
    }
    struct stat st {};
    const int fd = fileno(stream_);
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
      if (st.st_size >= at) {
        sized_ = true;
        remaining_ = static_cast<std::uint64_t>(st.st_size - at);
      }
      return;
    }
    if (std::fseek(stream_, 0, SEEK_END) == 0) {
      const long end = std::ftell(stream_);
      if (std::fseek(stream_, at, SEEK_SET) == 0 && end >= at) {
        sized_ = true;
        remaining_ = static_cast<std::uint64_t>(end - at);
      } else {
        // Could not get back: treat the stream as unreadable.
        broken_ = true;
      }
    }
  }

  // The noted skip, made now. Short skips are read through: a seek would
  // drop the stream's buffer. Long ones seek; streams that can't seek (or
  // not past their end) are read through too. False only for a broken
  // stream.
  bool makeSkip() {
    constexpr std::uint64_t kReadThrough = 4096;
    std::uint64_t n = skipped_;
    skipped_ = 0;
    if (n > kReadThrough && n <= static_cast<std::uint64_t>(LONG_MAX) &&
        std::fseek(stream_, static_cast<long>(n), SEEK_CUR) == 0) {
      consume(n);
      return true;
    }
    while (n > 0) {
      const std::size_t want = n < sizeof scratch_ ? static_cast<std::size_t>(n) : sizeof scratch_;
      const std::size_t got = std::fread(scratch_, 1, want, stream_);
      consume(got);
      if (got < want) {
        break;
      }
      n -= got;
    }
    return !broken_;
  }

  // Bytes left for reads: in the stream, less the skip not yet made.
  std::uint64_t remaining() const { return skipped_ < remaining_ ? remaining_ - skipped_ : 0; }
  void consume(std::uint64_t n) { remaining_ = n < remaining_ ? remaining_ - n : 0; }

  std::FILE* stream_;
  bool measured_ = false;
  bool sized_ = false;
  bool broken_ = false;
  std::uint64_t remaining_ = 0; // in the stream, once measured
  std::uint64_t skipped_ = 0;   // noted, not yet made
  unsigned char scratch_[1024];
};

enum class Outcome { kOk, kFail, kEndInCorners };

// The vertices of one E block, appended to VERTICES as they are read.
bool readBlockVertices(Cursor& cursor, std::int32_t count, bool secondTriple,
                       std::vector<Point3>& vertices) {
  const std::size_t stride = secondTriple ? 2 * kPointSize : kPointSize;
  if (count < 0 || !cursor.mayHold(static_cast<std::uint64_t>(count), stride)) {
    return false;
  }
  // A stream of unknown size gets its memory chunk by chunk, as bytes arrive.
  vertices.reserve(vertices.size() +
                   static_cast<std::size_t>(cursor.reservable(static_cast<std::uint64_t>(count), stride)));
  constexpr std::size_t kChunkPoints = 256;
  unsigned char chunk[kChunkPoints * 2 * kPointSize];
  std::size_t left = static_cast<std::size_t>(count);
  while (left > 0) {
    const std::size_t points = left < kChunkPoints ? left : kChunkPoints;
    if (!cursor.read(chunk, points * stride)) {
      return false;
    }
    for (std::size_t i = 0; i < points; ++i) {
      vertices.push_back(loadPoint(chunk + i * stride));
    }
    left -= points;
  }
  return true;
}

Outcome readBlockFaces(Cursor& cursor, std::int32_t count, std::int64_t vertexBase,
                       std::optional<std::vector<MeshFace>>& faces) {
  if (count <= 0) {
    return Outcome::kOk;
  }
  if (!faces) {
    faces.emplace();
  }
  // Not a failure when the bytes can't hold the count: a file may end inside
  // a face's corner entries. Memory is reserved only for what can be there.
  const std::uint64_t room = cursor.reservable(static_cast<std::uint64_t>(count), kFaceHeadSize);
  faces->reserve(faces->size() + static_cast<std::size_t>(room));
  for (std::int32_t f = 0; f < count; ++f) {
    unsigned char head[kFaceHeadSize];
    if (!cursor.read(head, sizeof head)) {
      return Outcome::kFail;
    }
    const std::int16_t cornerCount = loadI16(head + 18);
    MeshFace face;
    // The corner entries are read in runs of up to 64; the file ending
    // inside any of them ends the read as inside one.
    constexpr std::int32_t kRun = 64;
    unsigned char entries[kRun * kCornerSize];
    for (std::int32_t k = 0; k < cornerCount; ++k) {
      const std::int32_t inRun = k % kRun;
      if (inRun == 0) {
        const std::int32_t run = cornerCount - k < kRun ? cornerCount - k : kRun;
        if (!cursor.read(entries, static_cast<std::size_t>(run) * kCornerSize)) {
          return Outcome::kEndInCorners;
        }
      }
      if (k <= 3) {
        const unsigned char* entry = entries + static_cast<std::size_t>(inRun) * kCornerSize;
        const std::int64_t index = static_cast<std::int64_t>(loadI32(entry + 4)) + vertexBase;
        if (index < std::numeric_limits<std::int32_t>::min() ||
            index > std::numeric_limits<std::int32_t>::max()) {
          return Outcome::kFail;
        }
        face.corners[k] = static_cast<std::int32_t>(index);
      }
    }
    if (cornerCount == 3 || cornerCount == 4) {
      face.cornerCount = cornerCount;
    }
    faces->push_back(face);
  }
  return Outcome::kOk;
}

Outcome readFile(Cursor& cursor, Mesh& mesh, std::vector<Point3>& vertices) {
  unsigned char header[kHeaderSize];
  if (!cursor.read(header, sizeof header) || !cursor.skip(static_cast<long>(kReservedSize))) {
    return Outcome::kFail;
  }
  const std::int32_t blockCount = loadI32(header + 8);
  const std::int32_t entryCount = loadI32(header + 16);

  for (std::int32_t e = 0; e < entryCount; ++e) {
    unsigned char entry[kEntryHeadSize];
    if (!cursor.read(entry, sizeof entry)) {
      return Outcome::kFail;
    }
    // L + 1 bytes follow; a negative L would move backwards.
    if (!cursor.skip(static_cast<long>(loadI16(entry + 1)) + 1)) {
      return Outcome::kFail;
    }
  }

  // Sum of the vertexCount fields of the records read so far; 64 bits, so
  // that absurd counts in records without vertices cannot overflow it.
  std::int64_t vertexBase = 0;
  for (std::int32_t b = 0; b < blockCount; ++b) {
    unsigned char record[kRecordSize];
    if (!cursor.read(record, sizeof record)) {
      return Outcome::kFail;
    }
    const unsigned char kind = record[0];
    const unsigned flags = record[2];
    const std::int32_t faceCount = loadI32(record + 16);
    const std::int32_t vertexCount = loadI32(record + 20);

    if (kind == kUnitRecord && (flags & kHasPayload) != 0) {
      unsigned char payload[kPayloadSize];
      if (!cursor.read(payload, sizeof payload)) {
        return Outcome::kFail;
      }
    } else if (kind == kEntityRecord) {
      if (!cursor.skip(1) ||
          !readBlockVertices(cursor, vertexCount, (flags & kHasNormals) != 0, vertices)) {
        return Outcome::kFail;
      }
      // The block's vertices are already in the mesh's list, so that faces
      // completed before an early end still index real vertices.
      const Outcome outcome = readBlockFaces(cursor, faceCount, vertexBase, mesh.faces);
      if (outcome != Outcome::kOk) {
        return outcome;
      }
    }
    vertexBase += vertexCount;
  }
  return Outcome::kOk;
}

} // namespace

int readFaceFile(std::FILE* stream, std::unique_ptr<Mesh>& mesh) {
  mesh.reset();
  if (stream == nullptr) {
    return 0;
  }
  try {
    Cursor cursor(stream);
    auto built = std::make_unique<Mesh>();
    std::vector<Point3> vertices;
    if (readFile(cursor, *built, vertices) == Outcome::kFail) {
      return 0;
    }
    built->vertices.emplace(std::move(vertices));
    mesh = std::move(built);
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}
