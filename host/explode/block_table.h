// The block definitions of a drawing: for each block (by name, compared as
// DXF compares names) its base point, its flags and its entities in order.
// Built once from the drawing's records; it holds pointers to them and
// lives no longer than the drawing.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "geometry/entity_geometry.h"

struct AcDbObjectRecord;

namespace corvane {

class Drawing;

struct BlockDefinition {
  std::string name;
  Vec3 base;
  int flags = 0; // group 70 of the BLOCK: 4 an external reference
  std::vector<AcDbObjectRecord*> entities;
  bool isExternal() const { return (flags & 4) != 0; }
};

class BlockTable {
public:
  explicit BlockTable(const Drawing& drawing);
  // The block named NAME, or null.
  const BlockDefinition* find(std::string_view name) const;

private:
  std::map<std::string, BlockDefinition> blocks_; // upper-case name -> block
};

} // namespace corvane
