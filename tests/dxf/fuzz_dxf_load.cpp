// libFuzzer target: any bytes are refused with a message or load; a loaded
// drawing can be walked, read and written back without faults.
#include <cstddef>
#include <cstdint>
#include <string>

#include "drawing/drawing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  corvane::DrawingLoadResult r = corvane::Drawing::loadText(std::move(text), "fuzz.dxf");
  if (!r.drawing) {
    if (r.error.empty()) __builtin_trap();
    return 0;
  }
  corvane::Drawing& d = *r.drawing;
  for (size_t i = 0; i < d.recordCount(); ++i) {
    AcDbObjectRecord& rec = *d.recordAt(i);
    (void)d.typeName(rec);
    (void)d.layerName(rec);
    (void)d.groups(rec);
    (void)d.subEntityGroups(rec);
    ads_relrb(d.xData(rec, nullptr));
    (void)d.faceGeometry(rec);
    (void)d.solidGeometry(rec);
    (void)d.polyfaceGeometry(rec);
    (void)d.polygonMeshGeometry(rec);
    (void)d.solidModelData(rec);
  }
  if (AcDbObjectRecord* last = d.lastModelSpace()) {
    d.registerApp("FUZZ");
    resbuf* chain = ads_buildlist(1001, "FUZZ", 1000, "x", 1040, 0.5, 0);
    d.setXData(*last, chain);
    ads_relrb(chain);
  }
  std::string saved = d.savedText();
  if (!d.modified() && saved.size() != size) __builtin_trap();
  return 0;
}
