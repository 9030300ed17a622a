#include "face_file_reader.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

namespace {

// Layout sizes, in bytes.
constexpr std::size_t kHeaderSize = 28;
constexpr long kAfterHeaderSkip = 32;
constexpr std::size_t kBlockRecordSize = 32;
constexpr std::size_t kUPayloadSize = 136;
constexpr std::size_t kPointSize = 24;
constexpr std::size_t kFaceHeadSize = 20;
constexpr std::size_t kCornerEntrySize = 8;
constexpr std::size_t kEntryMinSize = 3;

constexpr unsigned char kKindU = 0x55;
constexpr unsigned char kKindE = 0x45;
constexpr unsigned kFlagUPayload = 2;
constexpr unsigned kFlagSecondTriple = 8;

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

// Forward-only reads over the stream. Every read reports a short read; the
// bytes that remain are known when the stream can tell its size, so that a
// count can be checked before memory is reserved for it.
class Cursor {
public:
  explicit Cursor(std::FILE* stream) : stream_(stream) {
    const long start = std::ftell(stream);
    // A regular file tells its size without moving (one system call, and
    // the stream keeps its buffer); anything else is measured by seeking.
    struct stat st {};
    const int fd = start >= 0 ? fileno(stream) : -1;
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
      if (st.st_size >= start) {
        sized_ = true;
        remaining_ = static_cast<std::uint64_t>(st.st_size - start);
      }
      return;
    }
    if (start >= 0 && std::fseek(stream, 0, SEEK_END) == 0) {
      const long end = std::ftell(stream);
      if (std::fseek(stream, start, SEEK_SET) == 0 && end >= start) {
        sized_ = true;
        remaining_ = static_cast<std::uint64_t>(end - start);
      } else {
        // Could not get back: treat the stream as unreadable.
        broken_ = true;
      }
    }
  }

  bool read(void* out, std::size_t n) {
    if (broken_) {
      return false;
    }
    if (n == 0) {
      return true;
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
    if (n == 0) {
      return true;
    }
    // Short skips are read through: a seek would drop the stream's buffer
    // and cost a system call for every record of every face file. Long
    // ones seek; streams that can't seek (or not past their end) are read
    // through too.
    constexpr long kReadThrough = 4096;
    if (n > kReadThrough && std::fseek(stream_, n, SEEK_CUR) == 0) {
      consume(static_cast<std::uint64_t>(n));
      return true;
    }
    unsigned char scratch[512];
    while (n > 0) {
      const std::size_t want = n < static_cast<long>(sizeof scratch) ? static_cast<std::size_t>(n)
                                                                     : sizeof scratch;
      const std::size_t got = std::fread(scratch, 1, want, stream_);
      consume(got);
      if (got < want) {
        return true;
      }
      n -= static_cast<long>(got);
    }
    return true;
  }

  // True when COUNT items of SIZE bytes may still be in the stream; always
  // true when its size is unknown (then memory follows the bytes read).
  bool mayHold(std::uint64_t count, std::size_t size) const {
    return !sized_ || count <= remaining_ / size;
  }

  // COUNT, or the number of SIZE-byte items that remain when that is fewer;
  // 0 for a stream of unknown size.
  std::uint64_t atMost(std::uint64_t count, std::size_t size) const {
    if (!sized_) {
      return 0;
    }
    return count < remaining_ / size ? count : remaining_ / size;
  }

  bool sized() const { return sized_; }

private:
  void consume(std::uint64_t n) { remaining_ = n < remaining_ ? remaining_ - n : 0; }

  std::FILE* stream_;
  bool sized_ = false;
  bool broken_ = false;
  std::uint64_t remaining_ = 0;
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
  if (cursor.sized()) {
    vertices.reserve(vertices.size() + static_cast<std::size_t>(count));
  }
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
  const std::uint64_t room = cursor.atMost(static_cast<std::uint64_t>(count), kFaceHeadSize);
  faces->reserve(faces->size() + static_cast<std::size_t>(room));
  for (std::int32_t f = 0; f < count; ++f) {
    unsigned char head[kFaceHeadSize];
    if (!cursor.read(head, sizeof head)) {
      return Outcome::kFail;
    }
    const std::int16_t cornerCount = loadI16(head + 18);
    MeshFace face;
    for (std::int32_t k = 0; k < cornerCount; ++k) {
      unsigned char entry[kCornerEntrySize];
      if (!cursor.read(entry, sizeof entry)) {
        return Outcome::kEndInCorners;
      }
      if (k <= 3) {
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
  if (!cursor.read(header, sizeof header) || !cursor.skip(kAfterHeaderSkip)) {
    return Outcome::kFail;
  }
  const std::int32_t blockCount = loadI32(header + 8);
  const std::int32_t entryCount = loadI32(header + 16);

  for (std::int32_t e = 0; e < entryCount; ++e) {
    unsigned char entry[kEntryMinSize];
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
    unsigned char record[kBlockRecordSize];
    if (!cursor.read(record, sizeof record)) {
      return Outcome::kFail;
    }
    const unsigned char kind = record[0];
    const unsigned flags = record[2];
    const std::int32_t faceCount = loadI32(record + 16);
    const std::int32_t vertexCount = loadI32(record + 20);

    if (kind == kKindU && (flags & kFlagUPayload) != 0) {
      unsigned char payload[kUPayloadSize];
      if (!cursor.read(payload, sizeof payload)) {
        return Outcome::kFail;
      }
    } else if (kind == kKindE) {
      if (!cursor.skip(1) ||
          !readBlockVertices(cursor, vertexCount, (flags & kFlagSecondTriple) != 0, vertices)) {
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
