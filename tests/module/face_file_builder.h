// Face files for the reader tests, built to the host's layout. Records where
// the corner entries of each face lie, so that tests can tell which prefixes
// of a file end inside them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "export/mesh.h"

class FaceFileBuilder {
public:
  struct CornerRange {
    std::size_t begin, end; // bytes of the face's corner entries
    std::size_t facesBefore;  // faces completed before this one
    std::size_t verticesWithBlock; // vertices in the mesh once its block is read
  };

  FaceFileBuilder& header(std::int32_t blockCount, std::int32_t entryCount) {
    pad(8);
    i32(blockCount);
    pad(4);
    i32(entryCount);
    pad(8);
    pad(32, 0xAB); // skipped
    return *this;
  }

  FaceFileBuilder& entry(std::int16_t length) {
    u8(0x11);
    i16(length);
    pad(static_cast<std::size_t>(length + 1), 0xCD);
    return *this;
  }

  FaceFileBuilder& record(unsigned char kind, unsigned char flags, std::int32_t faceCount,
                          std::int32_t vertexCount) {
    u8(kind);
    u8(0xEE);
    u8(flags);
    pad(13, 0xEE);
    i32(faceCount);
    i32(vertexCount);
    pad(8, 0xEE);
    if (kind == 'U' && (flags & 2) != 0) {
      pad(136, 0x77);
    }
    return *this;
  }

  // An E block: record, its skipped byte, the vertices (with a second triple
  // of junk each when secondTriple), then the faces of block-local indices.
  FaceFileBuilder& eBlock(const std::vector<Point3>& points,
                          const std::vector<std::vector<std::int32_t>>& faces,
                          bool secondTriple = false) {
    record('E', secondTriple ? 8 : 0, static_cast<std::int32_t>(faces.size()),
           static_cast<std::int32_t>(points.size()));
    u8(0x99);
    for (const Point3& p : points) {
      f64(p.x);
      f64(p.y);
      f64(p.z);
      if (secondTriple) {
        f64(-111.0);
        f64(-222.0);
        f64(-333.0);
      }
    }
    meshVertices_ += points.size();
    for (const auto& corners : faces) {
      pad(18, 0x33);
      i16(static_cast<std::int16_t>(corners.size()));
      if (!corners.empty()) {
        ranges_.push_back({bytes_.size(), bytes_.size() + 8 * corners.size(), meshFaces_,
                           meshVertices_});
      }
      for (std::int32_t c : corners) {
        pad(4, 0x44);
        i32(c);
      }
      ++meshFaces_;
    }
    return *this;
  }

  FaceFileBuilder& u8(unsigned v) {
    bytes_.push_back(static_cast<unsigned char>(v));
    return *this;
  }
  FaceFileBuilder& i16(std::int16_t v) {
    const auto u = static_cast<std::uint16_t>(v);
    return u8(u & 0xFF).u8(u >> 8);
  }
  FaceFileBuilder& i32(std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    for (int s = 0; s < 32; s += 8) {
      u8((u >> s) & 0xFF);
    }
    return *this;
  }
  FaceFileBuilder& f64(double v) {
    std::uint64_t u;
    std::memcpy(&u, &v, sizeof u);
    for (int s = 0; s < 64; s += 8) {
      u8(static_cast<unsigned>((u >> s) & 0xFF));
    }
    return *this;
  }
  FaceFileBuilder& pad(std::size_t n, unsigned char v = 0) {
    bytes_.insert(bytes_.end(), n, v);
    return *this;
  }

  const std::vector<unsigned char>& bytes() const { return bytes_; }
  const std::vector<CornerRange>& cornerRanges() const { return ranges_; }

private:
  std::vector<unsigned char> bytes_;
  std::vector<CornerRange> ranges_;
  std::size_t meshFaces_ = 0;
  std::size_t meshVertices_ = 0;
};
