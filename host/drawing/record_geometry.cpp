#include "drawing/record_geometry.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "dxf/entity_views.h"

namespace corvane {

namespace {

// READ's view of R's text (its own groups, or with its VERTEX records when
// WITHVERTICES) when R is of class CLS.
template <typename Geometry>
std::optional<Geometry> view(const Drawing& d, const AcDbObjectRecord& r, AcRxClass* cls, bool withVertices,
                             Geometry (*read)(std::string_view, DxfEncoding)) {
  if (r.cls != cls) return std::nullopt;
  const std::string_view text = withVertices ? d.records().fullText(r) : d.records().ownText(r);
  Geometry g = read(text, d.file().encoding());
  d.file().doneWith(text);
  return g;
}

} // namespace

std::optional<FaceGeometry> faceGeometry(const Drawing& d, const AcDbObjectRecord& r) {
  return view(d, r, AcDbFace::desc(), false, readFaceGeometry);
}

std::optional<SolidGeometry> solidGeometry(const Drawing& d, const AcDbObjectRecord& r) {
  return view(d, r, AcDbSolid::desc(), false, readSolidGeometry);
}

std::optional<PolyfaceGeometry> polyfaceGeometry(const Drawing& d, const AcDbObjectRecord& r) {
  return view(d, r, AcDbPolyFaceMesh::desc(), true, readPolyfaceGeometry);
}

std::optional<PolygonMeshGeometry> polygonMeshGeometry(const Drawing& d, const AcDbObjectRecord& r) {
  return view(d, r, AcDbPolygonMesh::desc(), true, readPolygonMeshGeometry);
}

std::optional<PolygonMeshStream> polygonMeshStream(const Drawing& d, const AcDbObjectRecord& r, size_t moreThan) {
  if (r.cls != AcDbPolygonMesh::desc()) return std::nullopt;
  const MeshCounts* counts = d.records().meshCounts(r);
  if (counts == nullptr) return std::nullopt;
  const std::string_view all = d.records().fullText(r);
  const PolygonMeshGeometry header = readPolygonMeshHeader(all, d.file().encoding());
  PolygonMeshStream stream;
  GridVertices kind = GridVertices::kAll;
  size_t listed = counts->all;
  stream.m = header.m;
  stream.n = header.n;
  if (header.usesSurfaceGrid(counts->surface)) {
    kind = GridVertices::kSurface;
    listed = counts->surface;
    stream.m = header.surfaceM;
    stream.n = header.surfaceN;
  } else if (header.smoothed) {
    kind = GridVertices::kControl;
    listed = counts->control;
  }
  if (stream.m <= 0 || stream.n <= 0) return std::nullopt;
  stream.vertexCount = static_cast<size_t>(std::min<int64_t>(stream.m * stream.n, static_cast<int64_t>(listed)));
  if (stream.vertexCount <= moreThan) return std::nullopt;
  stream.closedM = header.closedM;
  stream.closedN = header.closedN;
  const DrawingFile& file = d.file();
  stream.vertices = readGridVertices(all, file.encoding(), kind, stream.vertexCount,
                                     [&file](std::string_view part) { file.doneWith(part); });
  return stream;
}

std::optional<SolidModelData> solidModelData(const Drawing& d, const AcDbObjectRecord& r) {
  if (r.cls != AcDb3dSolid::desc() && r.cls != AcDbBody::desc() && r.cls != AcDbRegion::desc()) return std::nullopt;
  SolidModelData data;
  const std::string_view own = d.records().ownText(r);
  readSolidModelText(own, d.file().encoding(), data);
  d.file().doneWith(own);
  data.handle = d.handleText(r);
  std::string_view record = d.records().solidModelRecord(r);
  if (!record.empty()) {
    readAcdsBinary(record, d.file().encoding(), data.binary);
    d.file().doneWith(record);
  }
  // A DWG export's solid keeps its model beside the text, as read.
  if (data.binary.empty() && d.dwgOrigin() != nullptr && r.has(record_flags::kHandleInFile))
    if (const std::string* model = d.dwgOrigin()->model(d.records().handleOf(r)))
      data.binary.assign(model->begin(), model->end());
  return data;
}

} // namespace corvane

namespace corvane {
namespace {

bool beyond(double v) { return !(std::fabs(v) <= static_cast<double>(std::numeric_limits<float>::max())); }
bool beyond(const Vec3& p) { return beyond(p.x) || beyond(p.y) || beyond(p.z); }
bool anyBeyond(const std::vector<Vec3>& points) {
  return std::any_of(points.begin(), points.end(), [](const Vec3& p) { return beyond(p); });
}

} // namespace

bool beyondSinglePrecision(const Drawing& drawing, const AcDbObjectRecord& record) {
  if (auto face = faceGeometry(drawing, record))
    return std::any_of(std::begin(face->corners), std::end(face->corners), [](const Vec3& p) { return beyond(p); });
  if (auto solid = solidGeometry(drawing, record))
    return beyond(solid->thickness) || beyond(solid->elevation) ||
           std::any_of(std::begin(solid->corners), std::end(solid->corners), [](const Vec3& p) { return beyond(p); });
  if (auto polyface = polyfaceGeometry(drawing, record)) return anyBeyond(polyface->vertices);
  // A big mesh is read a piece at a time rather than listed.
  if (auto stream = polygonMeshStream(drawing, record, 4096)) {
    Vec3 piece[1024];
    for (size_t n; (n = stream->vertices->read(piece, 1024)) != 0;)
      if (std::any_of(piece, piece + n, [](const Vec3& p) { return beyond(p); })) return true;
    return false;
  }
  if (auto mesh = polygonMeshGeometry(drawing, record)) return anyBeyond(mesh->vertices) || anyBeyond(mesh->surfaceVertices);
  return false;
}

} // namespace corvane
