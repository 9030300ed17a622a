// The stored object behind an AcDbObjectId: where the object's text lies in
// its drawing's loaded bytes (or, for an object added since, in the
// drawing's store of new text), what was read from it, and its open state.
// Records are made by the drawing, never move and live as long as the
// drawing; nothing outside host/drawing changes them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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
constexpr uint8_t kInEntities = 32;    // read from the ENTITIES section
constexpr uint8_t kNoText = 64;        // made by the host; not in the file
constexpr uint8_t kAdded = 128;        // added since load; its text is the drawing's own
} // namespace record_flags

constexpr int16_t kNoColor = INT16_MIN;

} // namespace corvane

struct AcDbObjectRecord {
  corvane::Drawing* drawing = nullptr;
  AcRxClass* cls = nullptr;
  uint64_t begin = 0;  // offset of the object's 0 group in the drawing's text;
                       // for an added object the address of its text
  uint64_t handle = 0; // from the file, or assigned at load
  // Extended data replaced since load, in the file's form (1001 groups and
  // their items); null while the file's own extended data stands.
  std::unique_ptr<std::string> newXData;
  // Offsets relative to begin.
  uint32_t ownLength = 0;  // the object's own groups
  uint32_t length = 0;     // with its VERTEX/ATTRIB/SEQEND records
  uint32_t xdataBegin = 0; // the file's extended data: [xdataBegin, xdataEnd)
  uint32_t xdataEnd = 0;
  uint32_t nameOffset = 0; // value of group 8 (entities) or 2 (tables, records)
  uint32_t serial = 0;     // position in the drawing's record list
  uint16_t nameLength = 0;
  int16_t color = corvane::kNoColor; // group 62 as read
  uint16_t readers = 0;
  corvane::RecordRole role = corvane::RecordRole::kEntity;
  uint8_t flags = 0;

  bool has(uint8_t flag) const { return (flags & flag) != 0; }
  void set(uint8_t flag, bool on) { flags = on ? (flags | flag) : (flags & ~flag); }
};
