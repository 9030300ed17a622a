// The stored object behind an AcDbObjectId: where the object's text lies in
// its drawing's loaded bytes (or, for an object added since, in the
// drawing's store of new text), what was read from it, and its open state.
// Records are made by the drawing's index (record_index.h), never move and
// live as long as the drawing; nothing outside host/drawing changes them.
#pragma once

#include <cstdint>

class AcRxClass;

namespace corvane {
class Drawing;

enum class RecordRole : uint8_t {
  kEntity,      // a drawing object (in ENTITIES or inside a block)
  kBlockMarker, // BLOCK / ENDBLK
  kTable,       // a symbol table (LAYER, APPID, ...)
  kTableRecord, // a record of a symbol table
  kObject,      // an object of the OBJECTS section
};

namespace record_flags {
constexpr uint8_t kOpenForWrite = 1;
constexpr uint8_t kErased = 2;
constexpr uint8_t kPaperSpace = 4;
constexpr uint8_t kInBlock = 8;
constexpr uint8_t kHandleInFile = 16;  // the handle comes from the file
constexpr uint8_t kLayoutAside = 32;   // its layout is in the drawing's side table
constexpr uint8_t kNoText = 64;        // made by the host; not in the file
constexpr uint8_t kAdded = 128;        // added since load; its text is the drawing's own
} // namespace record_flags

constexpr int16_t kNoColor = INT16_MIN;

} // namespace corvane

// A big drawing has one of these per object beside its text, so it is kept
// to 40 bytes: what most objects don't need lies in the index's side
// tables (RecordIndex::layoutOf, handleOf, and extended data replaced since
// load).
struct AcDbObjectRecord {
  corvane::Drawing* drawing = nullptr;
  AcRxClass* cls = nullptr;
  uint64_t begin = 0;  // offset of the object's 0 group in the drawing's text;
                       // for an added object the address of its text
  uint32_t length = 0; // its text, with its VERTEX/ATTRIB/SEQEND records
  uint32_t serial = 0; // position in the drawing's record list
  // Unless kLayoutAside: where the name lies in the text (group 8 of an
  // entity, 2 of a table or record), and the object's own groups are all of
  // its text, without extended data.
  uint16_t nameOffset = 0;
  uint8_t nameLength = 0;
  uint8_t readers = 0;
  int16_t color = corvane::kNoColor; // group 62 as read
  corvane::RecordRole role = corvane::RecordRole::kEntity;
  uint8_t flags = 0;

  bool has(uint8_t flag) const { return (flags & flag) != 0; }
  void set(uint8_t flag, bool on) { flags = on ? (flags | flag) : (flags & ~flag); }
};
static_assert(sizeof(AcDbObjectRecord) <= 40, "a record grew: see what could lie aside");
