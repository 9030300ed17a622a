// Copies of a drawing's objects as new objects of the same drawing: the
// source's groups read once, then written anew for each copy with a new
// handle and owner, the layer and colour a block reference hands down, and
// whatever a placement changes. Copies are written in the drawing's own
// form (its group style, handles and subclass markers).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dxf/dxf_cursor.h"
#include "dxf/dxf_values.h"
#include "geometry/entity_geometry.h"

struct AcDbObjectRecord;

namespace corvane {

class Drawing;

// One object as its copies are made from: its current text (extended data
// as it stands now), every group of it, and where its VERTEX, ATTRIB and
// SEQEND records lie.
struct SourceEntity {
  const AcDbObjectRecord* record = nullptr;
  std::string_view type;
  std::string_view text;
  std::vector<DxfGroupView> groups; // own groups first, then the records after it
  size_t ownCount = 0;
  std::vector<std::pair<size_t, size_t>> subRecords; // [first, last) into groups

  // True when the object's own groups hold CODE (before its extended data).
  bool has(int code) const;
  // The first own group with CODE, or null.
  const DxfGroupView* find(int code) const;
  // The extended data among the own groups, as stored.
  std::string_view xdata() const;

  // A 3DFACE's corners, read once for all its copies.
  std::optional<FaceGeometry> face;

private:
  friend std::unique_ptr<SourceEntity> readSourceEntity(const Drawing&, const AcDbObjectRecord&);
  std::string owned_;
};
std::unique_ptr<SourceEntity> readSourceEntity(const Drawing& drawing, const AcDbObjectRecord& record);

// What a block reference hands down to the objects placed from it: objects
// on layer 0 move to `layer`; objects coloured by block take `byBlockColor`
// (the reference's colour, or its layer's colour when it is by layer; 0
// when the reference itself is by block).
struct Appearance {
  std::string layer = "0";
  int byBlockColor = 0;
};

// The drawing's form for new groups and the rules that apply to every copy.
class CopyWriter {
public:
  CopyWriter(Drawing& drawing, std::string owner);
  Drawing& drawing() const { return drawing_; }
  const DxfStyle& style() const { return style_; }
  const std::string& owner() const { return owner_; }
  bool markers() const { return markers_; }
  bool handles() const { return handles_; }

  // Writes one group each.
  void group(std::string& out, int code, std::string_view value) const { out += style_.group(code, value); }
  void integer(std::string& out, int code, long long value) const { out += style_.intGroup(code, value); }
  // A real; a zero is written without a sign, whatever sign the arithmetic
  // that placed it left (so that drawings equal but for the last bits of
  // their numbers place equal copies).
  void real(std::string& out, int code, double value) const {
    out += style_.realGroup(code, value == 0 ? 0.0 : value);
  }
  // CODE, CODE + 10, CODE + 20.
  void point(std::string& out, int code, const Vec3& p) const;
  // The 0 group, then handle and owner where the drawing has them.
  void head(std::string& out, std::string_view type, uint64_t handle, std::string_view owner) const;
  // Layer and colour of a new object.
  void layerAndColor(std::string& out, std::string_view layer, int color) const;

private:
  Drawing& drawing_;
  DxfStyle style_;
  std::string owner_;
  bool markers_ = false;
  bool handles_ = false;
};

// Changes a placement makes to one record's groups.
class GroupEdit {
public:
  virtual ~GroupEdit() = default;
  // Sees every group the common rules leave (not the 0 group, handle,
  // owner, reactors, layer 0, by-block colour, paper space, extended data):
  // SOURCE's group I. Writes its replacement to OUT (or nothing, to drop
  // it) and returns true, having moved I past any later groups it took in
  // too (a point's y and z); false to copy the group as stored.
  virtual bool group(const SourceEntity& source, size_t& i, std::string& out) = 0;
  // Called once where the extended data starts (or at the end of the
  // record's groups): groups that must be added.
  virtual void beforeXData(std::string&) {}
};

// The layer and colour of a copy of an object on LAYER with COLOR (256 by
// layer, 0 by block) under APPEARANCE.
std::string_view placedLayer(std::string_view layer, const Appearance& appearance);
int placedColor(int color, const Appearance& appearance);

// Copies groups [FIRST, LAST) of SOURCE (a record: its 0 group first) as a
// new record with HANDLE, owned by OWNER: the handle and owner groups are
// written anew, reactor and extension-dictionary groups and the paper-space
// flag left out, layer and colour follow APPEARANCE, extended data is
// copied as stored; EDIT decides every other group.
void copyRecord(const CopyWriter& writer, const SourceEntity& source, size_t first, size_t last,
                uint64_t handle, std::string_view owner, const Appearance& appearance, GroupEdit& edit,
                std::string& out);

} // namespace corvane
