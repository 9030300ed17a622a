// The one way a DWG enters the drawing: the DWG reader makes the DXF text
// of the same drawing, which is scanned as any DXF file's text is.
#include <algorithm>

#include "drawing/drawing.h"
#include "dwg/dwg_error.h"
#include "dwg/dwg_reader.h"

namespace corvane {

DrawingLoadResult Drawing::loadDwg(std::unique_ptr<Drawing> d, const std::string& path) {
  DrawingLoadResult result;
  const std::string_view file = d->file_.text();
  dwg::DwgAsDxf dxf;
  try {
    dxf = dwg::readDwgAsDxf(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(file.data()), file.size()));
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
  d->file_.hold(std::move(dxf.text));
  result = scan(std::move(d), path);
  if (!result.drawing) return result;
  Drawing& drawing = *result.drawing;
  drawing.dwg_ = std::make_unique<DwgOrigin>();
  drawing.dwg_->version = std::string(dwg::versionMagic(dxf.version));
  drawing.dwg_->listedKinds = std::move(dxf.listedKinds);
  for (uint64_t handle : dxf.listedHandles)
    if (const AcDbObjectRecord* r = drawing.index_.findByHandle(formatHandle(handle)))
      drawing.listedSerials_.push_back(r->serial);
  std::sort(drawing.listedSerials_.begin(), drawing.listedSerials_.end());
  return result;
}

} // namespace corvane
