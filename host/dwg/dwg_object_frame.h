// One object as it lies in AcDbObjects (or the file, R13 to R2000): a
// modular-short size, from R2010 on the size of its handle stream in bits,
// then the object's data, then a CRC. Its data opens with its type and its
// own handle; its streams are laid out by version:
//   R13, R14      data, then handles; where the handles start is stored as
//                 an RL after the extended data (objects) or after the
//                 entity's graphic (entities)
//   R2000, R2004  an RL after the type says where the handles start
//   R2007         as R2000, and the text lies apart at the data's end
//   R2010 and on  the handle stream's size comes before the type (an object
//                 type code, OT), and the text lies apart as in R2007
// The frame says where each part lies; the object decoders read them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "dwg/bit_reader.h"
#include "dwg/dwg_classes.h"
#include "dwg/dwg_sections.h"

namespace corvane::dwg {

// The readers an object decoder reads from. `data` starts at the object's
// extended data, just after its own handle, and ends where its data ends
// (before its text, from R2007 on). text() is where its strings are read:
// the string stream from R2007 on, `data` before. `handles` reads the
// handle stream; relative handle codes count from the object's handle.
struct DwgObjectStreams {
  BitReader data;
  BitReader strings;
  BitReader handles;
  bool separateStrings = false;
  BitReader& text() { return separateStrings ? strings : data; }
};

struct DwgObjectFrame {
  DwgVersion version = DwgVersion::kR2000;
  uint64_t offset = 0;   // of the object's size in DwgSections::objects
  uint64_t dataOffset = 0; // of its data's first byte there (after the sizes)
  uint32_t size = 0;     // bytes of data
  uint16_t type = 0;     // the object type: fixed below 500, a class's number from 500
  uint64_t handle = 0;   // the object's own handle
  std::span<const uint8_t> data; // the SIZE bytes of data

  // Bit positions within `data`.
  uint64_t eedBit = 0;         // the extended data: just after the own handle
  uint64_t dataEndBit = 0;     // where the data ends (before the text, R2007+)
  uint64_t handlesBit = 0;     // where the handle stream starts; it runs to the end
  bool hasStrings = false;     // R2007+: the text flag
  uint64_t stringsBit = 0;     // R2007+: the text, [stringsBit, stringsEndBit)
  uint64_t stringsEndBit = 0;

  // R13 and R14 store where the handles start after the extended data
  // (objects) or the graphic (entities); `data` still holds that RL, which
  // the decoder reads past as the format lays it out.

  DwgObjectStreams streams() const;
};

// Frames the object at OFFSET of SECTIONS.objects: checks its size against
// the bytes behind it and its CRC, reads its type and handle, and locates
// its streams. CLASSES (readClasses) tells R13 and R14 entities from other
// objects of class types. Throws DwgError ("AcDb:AcDbObjects" and the byte
// offset) for an object that doesn't hold together.
DwgObjectFrame frameObject(const DwgSections& sections, const std::vector<DwgClass>& classes, uint64_t offset);

// The type of the object at OFFSET, read without framing it: its size is
// checked against the bytes behind it, not its CRC (frameObject checks
// that when the object is read). Throws DwgError as frameObject does.
uint16_t objectTypeAt(const DwgSections& sections, uint64_t offset);

} // namespace corvane::dwg
