#include "explode/block_table.h"

#include "drawing/drawing.h"
#include "runtime/text.h"

namespace corvane {

BlockTable::BlockTable(const Drawing& drawing) {
  BlockDefinition* open = nullptr;
  for (size_t i = 0; i < drawing.records().count(); ++i) {
    AcDbObjectRecord* r = drawing.records().at(i);
    if (r->role == RecordRole::kBlockMarker) {
      open = nullptr;
      if (drawing.typeName(*r) != "BLOCK") continue;
      BlockDefinition block;
      for (const DxfGroupView& g : drawing.groups(*r)) {
        switch (g.code) {
        case 2: block.name = std::string(trimBlanks(g.text())); break;
        case 10: block.base.x = g.real(); break;
        case 20: block.base.y = g.real(); break;
        case 30: block.base.z = g.real(); break;
        case 70: block.flags = static_cast<int>(g.integer()); break;
        default: break;
        }
      }
      // The first definition of a name counts, as a reader of the file finds it.
      auto [it, added] = blocks_.emplace(asciiUpper(block.name), std::move(block));
      if (added) open = &it->second;
      continue;
    }
    if (open != nullptr && r->role == RecordRole::kEntity && r->has(record_flags::kInBlock))
      open->entities.push_back(r);
  }
}

const BlockDefinition* BlockTable::find(std::string_view name) const {
  auto it = blocks_.find(asciiUpper(trimBlanks(name)));
  return it == blocks_.end() ? nullptr : &it->second;
}

} // namespace corvane
