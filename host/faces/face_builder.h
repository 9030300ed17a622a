// Tessellation of the exportable entity kinds into the faces the face file
// holds, in world coordinates. Every builder gives faces of 3 or 4 corners
// whose indices lie inside the block's vertices, whatever its input holds.
#pragma once

#include <string>

#include "faces/face_block.h"
#include "geometry/entity_geometry.h"
#include "solids/solid_tessellator.h"

struct AcDbObjectRecord;

namespace corvane {

class Drawing;

// The faces the export makes of RECORD, one of DRAWING's objects, by its
// kind (none for a kind without faces); solid models at CHORD_TOLERANCE
// (see chordTolerance), with NOTE set as buildFaces of a model sets it.
// Reads the drawing and nothing else of the host, so it may run on any
// thread while the drawing does not change.
EntityFaces buildFaces(const Drawing& drawing, const AcDbObjectRecord& record, double chordTolerance,
                       std::string& note);

// The chord tolerance for curved solids: FACETCHORD in drawing units, or 0
// (the default) for a tolerance relative to each body's size. Reads the
// setting: command thread only.
double chordTolerance();

// 3DFACE: one face over the four corners, a triangle when the third and
// fourth corners are equal. The face carries the entity's invisible edges.
EntityFaces buildFaces(const FaceGeometry& face);

// 2D SOLID: the outline in corner order 1, 2, 4, 3 (1, 2, 3 when corners 3
// and 4 are equal), elevation added in OCS z, mapped to world coordinates by
// the arbitrary-axis rule. With a thickness: the prism swept along the
// extrusion direction, both caps and every side facing outwards. The
// transform is the object frame's rotation.
EntityFaces buildFaces(const SolidGeometry& solid);

// Polyface mesh: every vertex, and one face per face record (index magnitude
// minus one; a zero index ends the face). Records with fewer than three
// corners or an index outside the vertex list are left out. Vertex normals
// up to 65,536 vertices. Takes MESH by value: pass it moved to spare a copy.
EntityFaces buildFaces(PolyfaceGeometry mesh);

// Meshes up to this many vertices carry vertex normals (the second triple of
// their E block); larger ones go without, so that a huge mesh does not cost
// its vertices' memory and file space twice. The reader takes only
// positions.
constexpr size_t kMaxNormalVertices = 65536;

// Polygon mesh: the M x N grid (the surface grid of a smoothed mesh when its
// vertex count is surfaceM x surfaceN) and the quadrilaterals between grid
// neighbours (forEachGridQuad). Vertex normals up to kMaxNormalVertices
// vertices. Takes MESH by value: pass it moved to spare a copy.
EntityFaces buildFaces(PolygonMeshGeometry mesh);

// A polygon mesh with more than kMaxNormalVertices vertices, read straight
// from the drawing (polygonMeshStream in drawing/record_geometry.h): the
// same faces, written as they are read, with no copy of the mesh.
EntityFaces buildFaces(PolygonMeshStream mesh);

// 3DSOLID / BODY / REGION: the model tessellated by solids/ at its default
// tolerance. A model that can't be read gives no block (the file then holds
// the header, the entries and the entity's U and O records only) and, when
// REASON is given, the tessellator's one-line reason in it.
EntityFaces buildFaces(const SolidModelData& model, double chordTolerance, std::string* reason = nullptr);

// A solid model already tessellated: faces index the mesh's points, corner 3
// -1 for a triangle. Faces with another negative index or one outside the
// points are left out. Vertex normals.
EntityFaces buildFaces(const SolidMesh& mesh);

} // namespace corvane
