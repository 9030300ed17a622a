// The geometry of a drawing's records: the entity views of dxf/entity_views.h
// read from a record's text in its drawing's encoding. Each returns nullopt
// for a record that is not of its class. What was read is handed back to
// the drawing's file (DrawingFile::doneWith), so that a mapped drawing need
// not keep it resident. They only read: safe on a thread that reads ahead
// (see record_index.h).
#pragma once

#include <cstddef>
#include <optional>

#include "drawing/drawing.h"
#include "geometry/entity_geometry.h"

namespace corvane {

// AcDbFace (3DFACE) and AcDbSolid (SOLID).
std::optional<FaceGeometry> faceGeometry(const Drawing& drawing, const AcDbObjectRecord& record);
std::optional<SolidGeometry> solidGeometry(const Drawing& drawing, const AcDbObjectRecord& record);
// AcDbPolyFaceMesh and AcDbPolygonMesh, with their VERTEX records.
std::optional<PolyfaceGeometry> polyfaceGeometry(const Drawing& drawing, const AcDbObjectRecord& record);
std::optional<PolygonMeshGeometry> polygonMeshGeometry(const Drawing& drawing, const AcDbObjectRecord& record);
// A polygon mesh of the file whose grid has more than MORETHAN vertices,
// as its grid and a reader of its vertices straight from the drawing's
// bytes (no list of them is made); nullopt for any other record. The
// reader reads the drawing: it must not outlive it.
std::optional<PolygonMeshStream> polygonMeshStream(const Drawing& drawing, const AcDbObjectRecord& record,
                                                   size_t moreThan);
// True when a point of a 3D face, 2D solid (its thickness and elevation
// too), polyface or polygon mesh lies beyond single precision (a coordinate
// above FLT_MAX in size, or not finite), which no VRML reader takes; false
// for every other record, 3D solids and bodies included (their points lie
// in the solid model and are not looked at here).
bool beyondSinglePrecision(const Drawing& drawing, const AcDbObjectRecord& record);

// 3DSOLID, BODY and REGION: groups 1/3 as stored, the entity's handle, and
// for R2013+ files the binary model of the ACDSRECORD linked to that handle.
std::optional<SolidModelData> solidModelData(const Drawing& drawing, const AcDbObjectRecord& record);

} // namespace corvane
