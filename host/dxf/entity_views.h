// Typed views of an entity's DXF groups: the geometry structs of
// geometry/entity_geometry.h filled from the entity's bytes, stored in
// ENCODING (the drawing's). OWN is the entity's own groups; ALL also holds
// the VERTEX...SEQEND records that follow a POLYLINE. Groups a view does not know are skipped; missing
// groups keep the struct's defaults (a missing fourth corner repeats the
// third, as DXF writers mean it).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "dxf/dxf_cursor.h"
#include "dxf/dxf_values.h"
#include "geometry/entity_geometry.h"

namespace corvane {

// One VERTEX record of a POLYLINE: its point (10/20/30), flags (70) and
// face indices (71..74).
struct VertexRecord {
  Vec3 point;
  int flags = 0;
  int index[4] = {0, 0, 0, 0};
};

// Reads the VERTEX records of a POLYLINE one at a time, from ALL (the
// POLYLINE's own groups, then its VERTEX...SEQEND records). Views into ALL
// must stay valid while the reader is used.
class VertexRecordReader {
public:
  VertexRecordReader(std::string_view all, DxfEncoding encoding);
  // The next VERTEX record; false after the last.
  bool next(VertexRecord& vertex);
  // How many bytes of ALL have been read.
  size_t position() const { return offset_ + cursor_.position(); }

private:
  DxfGroupCursor cursor_;
  size_t offset_ = 0; // where the cursor's bytes start in ALL
  bool inVertex_ = false;
  VertexRecord current_;
};

FaceGeometry readFaceGeometry(std::string_view own, DxfEncoding encoding);
SolidGeometry readSolidGeometry(std::string_view own, DxfEncoding encoding);
PolyfaceGeometry readPolyfaceGeometry(std::string_view all, DxfEncoding encoding);
PolygonMeshGeometry readPolygonMeshGeometry(std::string_view all, DxfEncoding encoding);
// The same without the vertices: M, N, the flags and the surface fields.
PolygonMeshGeometry readPolygonMeshHeader(std::string_view all, DxfEncoding encoding);

// Which VERTEX records of a polygon mesh make its grid: all of them, the
// control points (flag 16) or the surface points (flag 8, not 16).
enum class GridVertices : uint8_t { kAll, kControl, kSurface };

// A reader of the vertices of a polygon mesh's grid straight from ALL, read
// as they are asked for: those of KIND only, COUNT at most. What has been
// read is handed to DONE every MiB and when the vertices run out, so that
// a caller reading a mapped file can let it go. ALL must outlive the reader.
std::unique_ptr<MeshVertexReader> readGridVertices(std::string_view all, DxfEncoding encoding, GridVertices kind,
                                                   size_t count, std::function<void(std::string_view)> done);

// Groups 1 and 3 (in order) and 70 of a 3DSOLID, BODY or REGION into DATA;
// handle and binary are left to the caller.
void readSolidModelText(std::string_view own, DxfEncoding encoding, SolidModelData& data);

// The model bytes of an ACDSRECORD: its 310 chunks concatenated. False
// (OUT cleared) when a chunk is malformed hex.
bool readAcdsBinary(std::string_view record, DxfEncoding encoding, std::vector<uint8_t>& out);

} // namespace corvane
