// The face file: how adsi_ent2face hands an entity's faces to the module.
// The host writes it (faces/face_file_writer.cpp under host/); the module
// reads it with its own reader. Both take the layout from here.
//
// Integers little-endian two's complement, doubles IEEE 754 binary64
// little-endian; every byte not named here is zero.
//
//   header, kHeaderSize bytes: kMagic (the format's name and version 1) at
//     0; int32 block count at 8; int32 request flags at 12; int32 entry
//     count at 16; int32 entity count at 20; int32 total vertex count of all
//     E blocks at 24
//   kReservedSize reserved bytes
//   entries: kEntryTag, int16 length L, the L bytes "name=value", a zero byte
//   block records, kRecordSize bytes each: kind at 0, part at 1, flags at 2,
//     int32 entity ordinal (zero-based, in selection order) at 4, int32 face
//     count at 16, int32 vertex count at 20 (both 0 except for E)
//
// Records in file order: one U W (no payload; the request flags again at
// 4), then per entity O B (begin), U T with kHasPayload and a kPayloadSize
// payload (the entity's transform as 16 doubles, row-major, then int32
// entity ordinal and 4 zero bytes), its E block when it has one, O E (end).
// An E record is followed by one zero byte, the vertices (x, y, z, each
// kPointSize bytes; with kHasNormals each followed by its unit normal), then
// per face a kFaceHeadSize head (int32 invisible-edge bits at 0, int16
// corner count at 18) and per corner kCornerSize bytes (int32 1 when the
// edge from this corner is invisible, else 0; int32 block-local vertex
// index at 4).
#pragma once

#include <cstddef>

namespace face_file {

inline constexpr unsigned char kMagic[8] = {'C', 'V', 'F', 'A', 'C', 'E', 'S', 1};
inline constexpr std::size_t kHeaderSize = 28;
inline constexpr std::size_t kReservedSize = 32;
inline constexpr unsigned char kEntryTag = 'S';
inline constexpr std::size_t kEntryHeadSize = 3; // the tag and the length

inline constexpr std::size_t kRecordSize = 32;
// Record kinds, and their parts.
inline constexpr unsigned char kUnitRecord = 'U', kObjectRecord = 'O', kEntityRecord = 'E';
inline constexpr unsigned char kFramePart = 'W', kTransformPart = 'T', kBeginPart = 'B', kEndPart = 'E';
// Record flags.
inline constexpr unsigned kHasPayload = 2, kHasNormals = 8;

inline constexpr std::size_t kPayloadSize = 136;
inline constexpr std::size_t kPointSize = 24;
inline constexpr std::size_t kFaceHeadSize = 20;
inline constexpr std::size_t kCornerSize = 8;

} // namespace face_file
