#include "face_file_test_reader.h"

#include <bit>
#include <cstring>
#include <fstream>
#include <iterator>

namespace corvane::test {
namespace {

class Cursor {
public:
  explicit Cursor(std::span<const uint8_t> b) : bytes_(b) {}
  bool ok() const { return ok_; }
  size_t remaining() const { return bytes_.size() - pos_; }
  uint64_t le(int n) {
    if (!take(n)) return 0;
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= uint64_t{bytes_[pos_ - n + i]} << (8 * i);
    return v;
  }
  uint8_t u8() { return static_cast<uint8_t>(le(1)); }
  int16_t i16() { return static_cast<int16_t>(le(2)); }
  int32_t i32() { return static_cast<int32_t>(le(4)); }
  double f64() { return std::bit_cast<double>(le(8)); }
  Vec3 vec3() {
    Vec3 v;
    v.x = f64();
    v.y = f64();
    v.z = f64();
    return v;
  }
  std::string text(size_t n) {
    if (!take(n)) return {};
    return std::string(reinterpret_cast<const char*>(bytes_.data() + pos_ - n), n);
  }
  // Consumes N bytes that must all be zero.
  bool zeros(size_t n) {
    if (!take(n)) return false;
    for (size_t i = pos_ - n; i < pos_; ++i)
      if (bytes_[i] != 0) return false;
    return true;
  }

private:
  bool take(size_t n) {
    if (!ok_ || remaining() < n) {
      ok_ = false;
      return false;
    }
    pos_ += n;
    return true;
  }
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  bool ok_ = true;
};

} // namespace

std::optional<ParsedFaceFile> parseFaceFile(std::span<const uint8_t> bytes, std::string& error) {
  Cursor in(bytes);
  ParsedFaceFile file;
  auto fail = [&](const char* what) {
    error = in.ok() ? what : std::string("short file at ") + what;
    return std::nullopt;
  };
  if (in.text(8) != std::string("CVFACES\1", 8)) return fail("magic");
  file.blockCount = in.i32();
  file.flags = in.i32();
  file.entryCount = in.i32();
  file.entityCount = in.i32();
  file.vertexTotal = in.i32();
  if (!in.zeros(32)) return fail("reserved area");
  for (int i = 0; i < file.entryCount; ++i) {
    if (in.u8() != 'S') return fail("entry tag");
    const int16_t len = in.i16();
    if (len < 0) return fail("entry length");
    file.entries.push_back(in.text(static_cast<size_t>(len)));
    if (in.u8() != 0 || !in.ok()) return fail("entry terminator");
  }
  for (int b = 0; b < file.blockCount; ++b) {
    ParsedRecord r;
    r.kind = static_cast<char>(in.u8());
    r.part = static_cast<char>(in.u8());
    r.flags = in.u8();
    if (!in.zeros(1)) return fail("record byte 3");
    r.ordinal = in.i32();
    if (!in.zeros(8)) return fail("record bytes 8-15");
    r.faceCount = in.i32();
    r.vertexCount = in.i32();
    if (!in.zeros(8)) return fail("record bytes 24-31");
    if (r.kind == 'U' && (r.flags & 2)) {
      for (int k = 0; k < 16; ++k) r.matrix.push_back(in.f64());
      r.payloadOrdinal = in.i32();
      if (!in.zeros(4)) return fail("payload tail");
    }
    if (r.kind == 'E') {
      if (!in.zeros(1)) return fail("block byte");
      if (r.vertexCount < 0 || static_cast<size_t>(r.vertexCount) > in.remaining() / 24)
        return fail("vertex count");
      for (int v = 0; v < r.vertexCount; ++v) {
        r.vertices.push_back(in.vec3());
        if (r.flags & 8) r.normals.push_back(in.vec3());
      }
      if (r.faceCount < 0 || static_cast<size_t>(r.faceCount) > in.remaining() / 20)
        return fail("face count");
      for (int f = 0; f < r.faceCount; ++f) {
        ParsedFace face;
        face.invisibleEdges = in.i32();
        if (!in.zeros(14)) return fail("face head");
        const int16_t corners = in.i16();
        for (int k = 0; k < corners; ++k) {
          face.cornerEdgeFlags.push_back(in.i32());
          face.corners.push_back(in.i32());
        }
        if (!in.ok()) return fail("corner entry");
        r.faces.push_back(std::move(face));
      }
    }
    if (!in.ok()) return fail("block record");
    file.records.push_back(std::move(r));
  }
  if (in.remaining() != 0) return fail("end of file (bytes after the last block)");
  return file;
}

ReaderMesh readerMesh(const ParsedFaceFile& file) {
  ReaderMesh mesh;
  int base = 0;
  for (const ParsedRecord& r : file.records) {
    if (r.kind == 'E') {
      for (const ParsedFace& f : r.faces) {
        std::vector<int> corners;
        for (int c : f.corners) corners.push_back(c + base);
        mesh.faces.push_back(std::move(corners));
      }
      mesh.vertices.insert(mesh.vertices.end(), r.vertices.begin(), r.vertices.end());
    }
    base += r.vertexCount;
  }
  return mesh;
}

std::vector<uint8_t> fileBytes(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

} // namespace corvane::test
