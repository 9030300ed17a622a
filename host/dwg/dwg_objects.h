// The DWG's objects, decoded one by one into the DXF text of the same
// object: its common data (handle, reactors, extension dictionary, owner,
// and for entities layer, linetype, colour, weight, ...), its kind's own
// groups and its extended data. One decoder per kind, found in one table by
// type number or, for kinds known by class, by the class's DXF name; a kind
// without a decoder is listed: the same common data and nothing of its own,
// so that it is counted and shown as the same object read from DXF would be.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dwg/dwg_object_reader.h"
#include "dwg/dwg_sections.h"
#include "dwg/dxf_text_writer.h"

namespace corvane::dwg {

struct DwgBlockInfo {
  int flags = 0;       // DXF 70 of the block: 1 anonymous, 2 attributes, 4 xref, ...
  Vec3 base;
  std::string xrefPath;
};

// What the drawing's assembly needs to know of one decoded object, beside
// its text.
struct DwgObject {
  uint64_t handle = 0;
  uint32_t type = 0;
  std::string_view kind;  // its DXF name: "LINE", "LAYER", ... (the kinds' table's or its class's)
  bool entity = false;
  bool listedOnly = false; // no decoder of its own: common data only
  uint8_t entmode = 0;     // entities: 0 owner in the stream, 1 paper space, 2 model space
  uint64_t owner = 0;
  std::string name;        // table records: the entry's name; a dictionary of one entry: its key
  // Entities of R13 to R2000 are chained: the previous and next entity of
  // their block (0 at either end, or where the entity says "no links":
  // then the next is the following handle).
  uint64_t prev = 0, next = 0;
  bool noLinks = false;
  // What the object owns, in order: a block record's entities (R2004 and
  // later), a POLYLINE's vertices or an INSERT's attributes (R2004 and
  // later), a table control object's records, a dictionary's entries.
  std::vector<uint64_t> owned;
  // R13 to R2000: the first and last of a chain of owned entities.
  uint64_t first = 0, last = 0;
  uint64_t seqend = 0;
  // A block reference's block record.
  uint64_t insertedBlock = 0;
  // Block records: their BLOCK and ENDBLK entities.
  uint64_t blockEntity = 0, endBlock = 0;
  DwgBlockInfo block;      // a block record's flags, base point and path
  // A solid model kept in the data-storage section (R2013 and later).
  bool modelInDataStorage = false;
  // A binary model kept in the object itself (R2004 to R2010), handed up
  // as read when the decoding asked for binary models (no model text then).
  std::string binaryModel;
  // Its extension dictionary (0 for none), and where the three groups
  // that name it lie in its text (relative to textBegin).
  uint64_t xdict = 0;
  size_t xdictLinkBegin = 0, xdictLinkEnd = 0;
  // The object's DXF groups, from its 0 group on: [textBegin, textEnd) of
  // the text decodeObject appended them to, extended data last; what the
  // DXF loader's scan would note of them, relative to textBegin.
  size_t textBegin = 0, textEnd = 0;
  DxfGroupNotes notes;
};

// The names that one object's groups take from others', known before any
// entity is decoded: layers, linetypes, text styles, block records,
// dimension styles, materials by handle.
struct DwgNames {
  std::unordered_map<uint64_t, std::string> byHandle;
  std::unordered_map<uint64_t, DwgBlockInfo> blocks; // by block record handle
  // Each block record's place in the block table. An anonymous block is
  // stored by its prefix alone ("*D", "*U", "*Paper_Space"); DXF names it
  // with its place appended ("*D3"), and so do we.
  std::unordered_map<uint64_t, uint32_t> blockIndex;
  uint64_t modelSpace = 0; // the *Model_Space and *Paper_Space block records
  uint64_t paperSpace = 0;
  // When set, told of a handle byHandle lacks before find() gives up; it
  // may add the handle's name (a reader that reads records as they are
  // named).
  std::function<void(uint64_t handle)> learn;
  const std::string* find(uint64_t handle) const {
    auto it = byHandle.find(handle);
    if (it == byHandle.end() && learn && handle != 0) {
      learn(handle);
      it = byHandle.find(handle);
    }
    return it == byHandle.end() ? nullptr : &it->second;
  }
};

// A class of the classes section, as the decoders need it.
struct DwgClassInfo {
  std::string dxfName;   // "MESH", "DICTIONARYVAR", ...
  bool entity = false;   // instances are entities (item class id 0x1F2)
};

// Decodes the object whose streams IN reads (positioned after its own
// handle), of type number TYPE (CLASS for 500 and above, else null), into
// OUT (kind, relations) and its DXF groups, appended to TEXT (OUT.textBegin
// and textEnd say where). NAMES supplies the names of the records it
// refers to; OUT.kind may view CLS's name, which must outlive it. LISTONLY
// reads the common data alone, as for a kind without a decoder; without
// PREVIEWS a block record's preview bitmap and an entity's graphic (the
// picture of it a program without its kind shows) are not written. With
// BINARYMODELS a solid's binary model goes to OUT.binaryModel instead of
// becoming model text (its DXF then holds group 70 alone). Throws DwgError
// where the object's bits can't be trusted, TEXT then as it was.
void decodeObject(ObjectReader& in, uint32_t type, const DwgClassInfo* cls, const DwgNames& names,
                  DwgObject& out, std::string& text, bool listOnly = false, bool previews = true,
                  bool binaryModels = false);

// Reads only the common data of the entity IN reads (positioned after its
// own handle) into OUT: its owner, entmode and, for R13 to R2000, its
// chain's links (prev, next, noLinks); no text, no kind. What follows an
// entity's chain needs no more. Throws DwgError where its bits can't be
// trusted.
void readEntityLinks(ObjectReader& in, const DwgNames& names, DwgObject& out);

// The DXF name of type number TYPE for the fixed types (below 500), or
// empty for one the format leaves unused.
std::string_view fixedTypeName(uint32_t type);

// Whether TYPE is a table record whose name other objects use (LAYER,
// LTYPE, STYLE, DIMSTYLE, BLOCK_HEADER, ...): those are decoded first.
bool isNamedRecordType(uint32_t type);

} // namespace corvane::dwg
