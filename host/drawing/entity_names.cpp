#include "drawing/entity_names.h"

#include <map>

#include "drawing/drawing.h"

namespace corvane {

namespace {

std::map<long, Drawing*>& drawings() {
  static std::map<long, Drawing*> live;
  return live;
}

} // namespace

long rememberDrawing(Drawing* drawing) {
  static long nextTag = kDrawingTagBase;
  long tag = ++nextTag;
  if (tag >= kSelectionSetTag) tag = nextTag = kDrawingTagBase + 1; // never reached in practice
  drawings()[tag] = drawing;
  return tag;
}

void forgetDrawing(long tag) { drawings().erase(tag); }

Drawing* drawingWithTag(long tag) {
  auto it = drawings().find(tag);
  return it == drawings().end() ? nullptr : it->second;
}

Drawing* drawingOwning(const AcDbObjectRecord* record) {
  if (record == nullptr) return nullptr;
  for (const auto& [tag, drawing] : drawings())
    if (drawing->records().owns(record)) return drawing;
  return nullptr;
}

void makeEntityName(const AcDbObjectRecord& record, ads_name name) {
  name[0] = record.drawing ? record.drawing->tag() : 0;
  name[1] = static_cast<long>(record.serial) + 1;
}

AcDbObjectRecord* recordFromEntityName(const ads_name name) {
  if (name == nullptr) return nullptr;
  Drawing* drawing = drawingWithTag(name[0]);
  if (drawing == nullptr || name[1] <= 0) return nullptr;
  return drawing->records().at(static_cast<size_t>(name[1] - 1));
}

} // namespace corvane
