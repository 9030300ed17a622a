#include "faces/face_file_writer.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <unistd.h>

#include "face_file.h"

namespace corvane {

// The layout is the boundary's: face_file.h (host/include).

namespace {

using namespace face_file;

constexpr int64_t kMaxCount = std::numeric_limits<int32_t>::max();
constexpr int64_t kMaxEntryText = std::numeric_limits<int16_t>::max();

// Up to N bytes of the file assembled in place, little-endian, so that a
// record or a vertex reaches the sink in one copy. Bytes not stored are 0.
template <size_t N>
struct Piece {
  uint8_t bytes[N] = {};
  size_t size = 0;
  Piece& u8(uint8_t v) {
    bytes[size++] = v;
    return *this;
  }
  Piece& le(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) bytes[size++] = static_cast<uint8_t>(v >> (8 * i));
    return *this;
  }
  Piece& i16(int16_t v) { return le(static_cast<uint16_t>(v), 2); }
  Piece& i32(int32_t v) { return le(static_cast<uint32_t>(v), 4); }
  Piece& f64(double v) { return le(std::bit_cast<uint64_t>(v), 8); }
  Piece& vec3(const Vec3& v) { return f64(v.x).f64(v.y).f64(v.z); }
  Piece& skip(size_t n) {
    size += n;
    return *this;
  }
};

// Bytes into a buffer that is handed to FLUSH whenever it fills, so that a
// large file never has to be held whole. EXPECTED is the size the caller
// computed; storing more than that is refused.
class ByteSink {
public:
  using Flush = std::function<bool(const uint8_t* data, size_t size)>;
  ByteSink(size_t expected, Flush flush)
      : expected_(expected), flush_(std::move(flush)), buffer_(scratch()) {
    buffer_.resize(std::min<size_t>(expected, kBufferSize));
  }
  // Hands the rest to FLUSH; true when every store fitted, the total is
  // exactly the expected size and every flush succeeded.
  bool finish() {
    if (!overflow_ && used_ > 0 && !flush_(buffer_.data(), used_)) failed_ = true;
    used_ = 0;
    return !overflow_ && !failed_ && total_ == expected_;
  }
  bool flushFailed() const { return failed_; }
  void u8(uint8_t v) {
    if (room(1)) buffer_[used_++] = v;
  }
  void i16(int16_t v) { le(static_cast<uint16_t>(v), 2); }
  void i32(int32_t v) { le(static_cast<uint32_t>(v), 4); }
  void zeros(size_t n) {
    static const uint8_t kZeros[64] = {};
    while (n > 0) {
      const size_t piece = std::min(n, sizeof kZeros);
      bytes(kZeros, piece);
      n -= piece;
    }
  }
  void bytes(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    while (n > 0) {
      // Whatever fits before the next flush, in one copy.
      const size_t piece = std::min(n, std::max<size_t>(1, buffer_.size() - used_));
      if (!room(piece)) return;
      std::memcpy(buffer_.data() + used_, b, piece);
      used_ += piece;
      b += piece;
      n -= piece;
    }
  }
  template <size_t N>
  void put(const Piece<N>& piece) {
    bytes(piece.bytes, piece.size);
  }
  // One block record.
  void record(uint8_t kind, uint8_t part, uint8_t flags, int32_t entity, int32_t faces = 0,
              int32_t vertices = 0) {
    put(Piece<kRecordSize>().u8(kind).u8(part).u8(flags).u8(0).i32(entity).skip(8).i32(faces).i32(vertices).skip(8));
  }

private:
  static constexpr size_t kBufferSize = 1 << 20;
  // One buffer per thread, kept from file to file: a small file is encoded
  // without an allocation and written with one write.
  static std::vector<uint8_t>& scratch() {
    thread_local std::vector<uint8_t> buffer;
    return buffer;
  }
  bool room(size_t n) {
    if (overflow_ || failed_ || expected_ - total_ < n) {
      overflow_ = overflow_ || (!failed_ && expected_ - total_ < n);
      return false;
    }
    if (buffer_.size() - used_ < n) {
      if (!flush_(buffer_.data(), used_)) {
        failed_ = true;
        return false;
      }
      used_ = 0;
    }
    total_ += n;
    return true;
  }
  void le(uint64_t v, int n) {
    if (!room(static_cast<size_t>(n))) return;
    for (int i = 0; i < n; ++i) buffer_[used_++] = static_cast<uint8_t>(v >> (8 * i));
  }
  size_t expected_;
  Flush flush_;
  std::vector<uint8_t>& buffer_;
  size_t used_ = 0;
  size_t total_ = 0;
  bool overflow_ = false;
  bool failed_ = false;
};

// The E block an entity has in the file: its counts and its bytes; none
// (all zero) for an entity without faces.
struct BlockShape {
  int64_t vertices = 0, faces = 0;
  size_t bytes = 0;
  bool present() const { return vertices > 0; }
};

bool hasBlock(const EntityFaces& e) { return e.block && !e.block->vertices.empty(); }
bool hasGrid(const EntityFaces& e) { return e.grid && e.grid->vertexCount > 0; }

BlockShape shapeOf(const EntityFaces& e) {
  BlockShape shape;
  if (hasBlock(e)) {
    const FaceBlock& b = *e.block;
    shape.vertices = static_cast<int64_t>(b.vertices.size());
    shape.faces = static_cast<int64_t>(b.faces.size());
    shape.bytes = kRecordSize + 1 + b.vertices.size() * (b.normals.empty() ? 1 : 2) * kPointSize;
    for (const BlockFace& f : b.faces) shape.bytes += kFaceHeadSize + kCornerSize * static_cast<size_t>(f.cornerCount);
  } else if (hasGrid(e)) {
    const GridFaces& g = *e.grid;
    shape.vertices = static_cast<int64_t>(g.vertexCount);
    shape.faces = static_cast<int64_t>(g.faceCount);
    shape.bytes = kRecordSize + 1 + g.vertexCount * kPointSize + g.faceCount * (kFaceHeadSize + 4 * kCornerSize);
  }
  return shape;
}

bool checkContent(const FaceFileContent& content, std::string& error) {
  if (content.entries.size() > static_cast<size_t>(kMaxCount)) {
    error = "too many face file entries";
    return false;
  }
  for (const FaceFileEntry& entry : content.entries) {
    if (static_cast<int64_t>(entry.name.size() + 1 + entry.value.size()) > kMaxEntryText) {
      error = "face file entry '" + entry.name + "' is longer than 32767 bytes";
      return false;
    }
  }
  // The reader sums the vertex counts of all records in a 32-bit integer.
  int64_t records = 1, vertexTotal = 0;
  for (const EntityFaces& entity : content.entities) {
    records += 3;
    const BlockShape shape = shapeOf(entity);
    if (!shape.present()) continue;
    ++records;
    vertexTotal += shape.vertices;
    if (vertexTotal > kMaxCount || shape.faces > kMaxCount) {
      error = "too many vertices or faces for one face file";
      return false;
    }
    if (!entity.block) continue; // a grid's quads lie inside it by construction
    const FaceBlock& b = *entity.block;
    if (!b.normals.empty() && b.normals.size() != b.vertices.size()) {
      error = "vertex normals do not match the vertices";
      return false;
    }
    for (const BlockFace& f : b.faces) {
      if (f.cornerCount < 3 || f.cornerCount > 4) {
        error = "a face has " + std::to_string(f.cornerCount) + " corners";
        return false;
      }
      for (int k = 0; k < f.cornerCount; ++k) {
        if (f.corners[k] < 0 || static_cast<size_t>(f.corners[k]) >= b.vertices.size()) {
          error = "a face refers to vertex " + std::to_string(f.corners[k]) + " of " +
                  std::to_string(b.vertices.size());
          return false;
        }
      }
    }
  }
  if (records > kMaxCount || content.entities.size() > static_cast<size_t>(kMaxCount)) {
    error = "too many entities for one face file";
    return false;
  }
  return true;
}

void encodeBlock(ByteSink& out, const FaceBlock& b, int32_t entity) {
  const bool normals = !b.normals.empty();
  out.record(kEntityRecord, 0, normals ? kHasNormals : 0, entity, static_cast<int32_t>(b.faces.size()),
             static_cast<int32_t>(b.vertices.size()));
  out.u8(0);
  for (size_t i = 0; i < b.vertices.size(); ++i) {
    Piece<48> vertex;
    vertex.vec3(b.vertices[i]);
    if (normals) vertex.vec3(b.normals[i]);
    out.put(vertex);
  }
  for (const BlockFace& f : b.faces) {
    Piece<kFaceHeadSize + 4 * kCornerSize> face;
    face.i32(f.invisibleEdges & 0xF).skip(kFaceHeadSize - 6).i16(static_cast<int16_t>(f.cornerCount));
    for (int k = 0; k < f.cornerCount; ++k) face.i32((f.invisibleEdges >> k) & 1).i32(f.corners[k]);
    out.put(face);
  }
}

// A grid's vertices as its reader gives them, then its quads. False when the
// reader ends before the vertex count (a drawing whose file changed). The
// reader starts from the first vertex, so that a file written again (on
// another base of the directory) gets them all again.
bool encodeGrid(ByteSink& out, const GridFaces& g, int32_t entity) {
  out.record(kEntityRecord, 0, 0, entity, static_cast<int32_t>(g.faceCount), static_cast<int32_t>(g.vertexCount));
  out.u8(0);
  g.vertices->rewind();
  Vec3 chunk[4096];
  for (size_t left = g.vertexCount; left > 0;) {
    const size_t got = g.vertices->read(chunk, std::min(left, std::size(chunk)));
    if (got == 0) return false;
    for (size_t i = 0; i < got; ++i) out.put(Piece<kPointSize>().vec3(chunk[i]));
    left -= got;
  }
  forEachGridQuad(g.m, g.n, g.closedM, g.closedN, static_cast<int64_t>(g.vertexCount),
                  [&out](int a, int b, int c, int d) {
                    Piece<kFaceHeadSize + 4 * kCornerSize> face;
                    face.skip(kFaceHeadSize - 2).i16(4);
                    for (int corner : {a, b, c, d}) face.i32(0).i32(corner);
                    out.put(face);
                  });
  return true;
}

} // namespace

namespace {

// Encodes CONTENT, handing the bytes to FLUSH piece by piece. False with
// ERROR when the content can't be written faithfully or a flush failed
// (FLUSH_ERROR then tells the caller's own reason).
bool encodeFaceFileTo(const FaceFileContent& content, const ByteSink::Flush& flush, std::string& error) {
  if (!checkContent(content, error)) return false;
  int32_t blocks = 1, vertexTotal = 0;
  size_t size = kHeaderSize + kReservedSize + kRecordSize;
  for (const FaceFileEntry& entry : content.entries) size += 5 + entry.name.size() + entry.value.size();
  for (const EntityFaces& e : content.entities) {
    blocks += 3;
    size += 3 * kRecordSize + kPayloadSize;
    const BlockShape shape = shapeOf(e);
    if (shape.present()) {
      ++blocks;
      vertexTotal += static_cast<int32_t>(shape.vertices);
      size += shape.bytes;
    }
  }

  ByteSink out(size, flush);
  out.bytes(kMagic, sizeof kMagic);
  out.i32(blocks);
  out.i32(content.flags);
  out.i32(static_cast<int32_t>(content.entries.size()));
  out.i32(static_cast<int32_t>(content.entities.size()));
  out.i32(vertexTotal);
  static_assert(kHeaderSize == sizeof kMagic + 5 * 4);
  out.zeros(kReservedSize);

  for (const FaceFileEntry& entry : content.entries) {
    out.u8(kEntryTag);
    out.i16(static_cast<int16_t>(entry.name.size() + 1 + entry.value.size()));
    out.bytes(entry.name.data(), entry.name.size());
    out.u8('=');
    out.bytes(entry.value.data(), entry.value.size());
    out.u8(0);
  }

  // The frame record has no entity; its ordinal field repeats the flags.
  out.record(kUnitRecord, kFramePart, 0, content.flags);

  for (size_t i = 0; i < content.entities.size(); ++i) {
    const EntityFaces& e = content.entities[i];
    const auto ordinal = static_cast<int32_t>(i);
    out.record(kObjectRecord, kBeginPart, 0, ordinal);
    out.record(kUnitRecord, kTransformPart, kHasPayload, ordinal);
    Piece<kPayloadSize> payload;
    for (double m : e.transform) payload.f64(m);
    payload.i32(ordinal).skip(kPayloadSize - 16 * 8 - 4);
    out.put(payload);
    if (hasBlock(e)) {
      encodeBlock(out, *e.block, ordinal);
    } else if (hasGrid(e) && !encodeGrid(out, *e.grid, ordinal)) {
      error = "a mesh's vertices ended before its count: the drawing changed";
      return false;
    }
    out.record(kObjectRecord, kEndPart, 0, ordinal);
  }
  if (!out.finish()) {
    // Either a write failed, or the size computed above and the bytes
    // stored disagree: a fault here, never a file to hand out.
    if (!out.flushFailed()) error = "face file size mismatch";
    return false;
  }
  return true;
}

// Writes all of DATA to FD; returns 0 or the errno of the failure.
int writeAll(int fd, const uint8_t* data, size_t size) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return ENOSPC;
    done += static_cast<size_t>(n);
  }
  return 0;
}

} // namespace

HostResult encodeFaceFile(const FaceFileContent& content, std::vector<uint8_t>& bytes) {
  const size_t start = bytes.size();
  HostResult result;
  const bool ok = encodeFaceFileTo(
      content,
      [&bytes](const uint8_t* data, size_t size) {
        bytes.insert(bytes.end(), data, data + size);
        return true;
      },
      result.error);
  if (!ok) bytes.resize(start);
  return result;
}

FaceFileResult writeFaceFile(const FaceFileContent& content, FaceFileDirectory& directory, bool keepOpen) {
  FaceFileResult result;
  // Refuse bad content before a file exists.
  if (!checkContent(content, result.error)) return result;
  // A file system that turns out full or read-only hands over to the next
  // base of the directory, once per base at most.
  for (int attempt = 0;; ++attempt) {
    FaceFileDirectory::NewFile file = directory.createFile();
    if (!file.name) {
      result.error = file.error;
      return result;
    }
    int err = 0;
    size_t written = 0;
    const int fd = file.fd.get();
    std::string encodeError;
    encodeFaceFileTo(
        content,
        [fd, &err, &written](const uint8_t* data, size_t size) {
          err = writeAll(fd, data, size);
          written += size;
          return err == 0;
        },
        encodeError);
    if (err == 0 && !encodeError.empty()) err = EINVAL;
    if (keepOpen && err == 0) {
      // Every byte is in the file system now; the close follows later.
      directory.keepOpen(file.name, std::move(file.fd));
    } else if (const int closeErr = file.fd.close(); err == 0) {
      err = closeErr;
    }
    if (err == 0) {
      result.fileName = file.name;
      result.size = written;
      return result;
    }
    directory.discard(file.name);
    if (attempt < 4 && directory.fallBack(file.name, err)) continue;
    result.error = std::string("cannot write face file ") + file.name + ": " +
                   (encodeError.empty() ? std::strerror(err) : encodeError);
    return result;
  }
}

} // namespace corvane
