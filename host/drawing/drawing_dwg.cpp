// The one way a DWG enters the drawing: the DWG reader makes the DXF text
// of the same drawing and records, as it writes it, what the DXF loader's
// scan would find there; the drawing holds the text and its loader takes
// the objects from that record, as from a scan.
#include <algorithm>

#include "drawing/drawing.h"
#include "dwg/dwg_error.h"
#include "dwg/dwg_reader.h"

namespace corvane {

DrawingLoadResult Drawing::loadDwg(std::unique_ptr<Drawing> d, const std::string& path, DrawingBytes::Kind bytes) {
  DrawingLoadResult result;
  const std::string_view file = d->file_.text();
  const dwg::DwgReadScope scope =
      bytes == DrawingBytes::Kind::kMapped ? dwg::DwgReadScope::kExport : dwg::DwgReadScope::kWholeDrawing;
  dwg::DwgAsDxf dxf;
  try {
    dxf = dwg::readDwgAsDxf(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(file.data()), file.size()),
                            scope);
  } catch (const dwg::DwgError& e) {
    // A mapped file that changed while it was read says so rather than
    // whatever its new bytes made the reader find.
    result.error = d->file_.settle().error;
    // "DWG" up front: the section names that follow ("file header") are
    // the format's own and don't say which format they belong to.
    if (result.error.empty()) result.error = path + ": DWG " + e.what();
    return result;
  }
  result.error = d->file_.settle().error;
  if (!result.error.empty()) return result;
  // Records keep their offsets in 32 bits, as a DXF file's do.
  if (dxf.text.size() >= (uint64_t{1} << 32)) {
    result.error = path + ": DWG drawing too large: its DXF would pass 4 GiB";
    return result;
  }
  d->file_.hold(std::move(dxf.text));
  result = scan(std::move(d), path, [&dxf](std::string_view text, DxfObjectSink& sink) {
    dwg::reportDxfObjects(dxf.objects, dxf.inconsistencies, text, sink);
    DxfScanResult found;
    found.layout = std::move(dxf.layout);
    return found;
  });
  if (!result.drawing) return result;
  Drawing& drawing = *result.drawing;
  drawing.dwg_ = std::make_unique<DwgOrigin>();
  drawing.dwg_->version = std::string(dwg::versionMagic(dxf.version));
  drawing.dwg_->listedKinds = std::move(dxf.listedKinds);
  drawing.dwg_->models.reserve(dxf.models.size());
  for (dwg::DwgStoredModel& m : dxf.models) drawing.dwg_->models.emplace_back(m.entity, std::move(m.data));
  for (uint64_t handle : dxf.listedHandles)
    if (const AcDbObjectRecord* r = drawing.index_.findByHandle(formatHandle(handle)))
      drawing.listedSerials_.push_back(r->serial);
  std::sort(drawing.listedSerials_.begin(), drawing.listedSerials_.end());
  return result;
}

const std::string* Drawing::DwgOrigin::model(uint64_t handle) const {
  auto it = std::lower_bound(models.begin(), models.end(), handle,
                             [](const std::pair<uint64_t, std::string>& m, uint64_t h) { return m.first < h; });
  return it != models.end() && it->first == handle ? &it->second : nullptr;
}

} // namespace corvane
