// What the DXF fuzz targets do with their bytes: any input is refused with
// a message or loads; a loaded drawing can be walked, read, changed and
// written back without faults.
#pragma once

#include <string>

#include "drawing/drawing.h"
#include "drawing/record_geometry.h"

namespace corvane::testing {

inline void fuzzDrawing(std::string bytes) {
  size_t size = bytes.size();
  DrawingLoadResult r = Drawing::loadText(std::move(bytes), "fuzz.dxf");
  if (!r.drawing) {
    if (r.error.empty() || r.error.find('\n') != std::string::npos) __builtin_trap();
    return;
  }
  Drawing& d = *r.drawing;
  for (size_t i = 0; i < d.records().count(); ++i) {
    AcDbObjectRecord& rec = *d.records().at(i);
    (void)d.typeName(rec);
    (void)d.layerName(rec);
    for (const DxfGroupView& g : d.groups(rec)) {
      (void)g.real();
      (void)g.integer();
      (void)g.text();
    }
    (void)d.subEntityGroups(rec);
    ads_relrb(d.xData(rec, nullptr));
    (void)faceGeometry(d, rec);
    (void)solidGeometry(d, rec);
    (void)polyfaceGeometry(d, rec);
    (void)polygonMeshGeometry(d, rec);
    (void)solidModelData(d, rec);
  }
  if (AcDbObjectRecord* last = d.records().lastModelSpace()) {
    d.registerApp("FUZZ");
    resbuf* chain = ads_buildlist(1001, "FUZZ", 1000, "x", 1040, 0.5, 1070, 7, 0);
    d.setXData(*last, chain);
    ads_relrb(chain);
  }
  std::string saved = d.savedText();
  if (!d.modified() && saved.size() != size) __builtin_trap();
  // What was saved loads again.
  if (d.modified() && !Drawing::loadText(std::move(saved), "again.dxf").drawing) __builtin_trap();
}

} // namespace corvane::testing
