#include "explode/explode.h"

#include <algorithm>
#include <cmath>

#include "drawing/drawing.h"
#include "explode/block_table.h"
#include "explode/placement.h"

namespace corvane {
namespace {

constexpr double kRadiansPerDegree = 3.14159265358979323846 / 180.0;
// Deeper than this, a block that refers to itself is assumed.
constexpr int kMaxDepth = 64;

// A block reference as its groups give it.
struct Reference {
  std::string block;
  InsertPlacement placement;
  long long columns = 1, rows = 1;
  double columnSpacing = 0, rowSpacing = 0;
};

Reference readReference(const Drawing& d, const AcDbObjectRecord& r) {
  Reference ref;
  for (const DxfGroupView& g : d.groups(r)) {
    switch (g.code) {
    case 2: ref.block = std::string(trimBlanks(g.text())); break;
    case 10: ref.placement.insertion.x = g.real(); break;
    case 20: ref.placement.insertion.y = g.real(); break;
    case 30: ref.placement.insertion.z = g.real(); break;
    case 41: ref.placement.scale.x = g.real(); break;
    case 42: ref.placement.scale.y = g.real(); break;
    case 43: ref.placement.scale.z = g.real(); break;
    case 50: ref.placement.rotation = g.real() * kRadiansPerDegree; break;
    case 70: ref.columns = g.integer(); break;
    case 71: ref.rows = g.integer(); break;
    case 44: ref.columnSpacing = g.real(); break;
    case 45: ref.rowSpacing = g.real(); break;
    case 210: ref.placement.extrusion.x = g.real(); break;
    case 220: ref.placement.extrusion.y = g.real(); break;
    case 230: ref.placement.extrusion.z = g.real(); break;
    default: break;
    }
    if (g.code >= 1000) break;
  }
  return ref;
}

// The transforms of every copy: one, or one per row and column of a
// multiple insert (its grid in the reference's rotated object coordinates,
// not scaled).
std::vector<Affine> copiesOf(const Reference& ref, const Vec3& base) {
  std::vector<Affine> out;
  const long long columns = std::max<long long>(ref.columns, 1), rows = std::max<long long>(ref.rows, 1);
  const Affine turn = rotationZ(ref.placement.rotation);
  for (long long r = 0; r < rows; ++r)
    for (long long c = 0; c < columns; ++c) {
      InsertPlacement p = ref.placement;
      const Vec3 offset = turn.applyLinear({static_cast<double>(c) * ref.columnSpacing,
                                            static_cast<double>(r) * ref.rowSpacing, 0});
      p.insertion = {p.insertion.x + offset.x, p.insertion.y + offset.y, p.insertion.z + offset.z};
      out.push_back(insertTransform(p, base));
    }
  return out;
}

// What a reference on LAYER with COLOR hands down, itself placed under OUTER.
Appearance appearanceOf(const Drawing& d, const AcDbObjectRecord& reference, const Appearance& outer) {
  Appearance a;
  a.layer = std::string(placedLayer(d.layerName(reference), outer));
  const int color = d.colorIndex(reference);
  if (color == 256) {
    const AcDbObjectRecord* layer = d.findLayer(a.layer);
    a.byBlockColor = layer ? d.layerColor(*layer) : 7;
  } else {
    a.byBlockColor = placedColor(color, outer);
  }
  return a;
}

std::string describe(const Drawing& d, const AcDbObjectRecord& r) {
  return std::string(d.typeName(r)) + " " + d.handleText(r);
}

class Exploder {
public:
  explicit Exploder(Drawing& d) : d_(d), blocks_(d), placer_(d, d.modelSpaceOwner()) {}

  // One level (EXPLODE). False with WHY when the reference stays.
  bool explodeReference(const AcDbObjectRecord& ref, std::vector<PlacedObject>& out, std::string& why) {
    Reference r = readReference(d_, ref);
    const BlockDefinition* block = findBlock(r.block, why);
    if (block == nullptr) return false;
    const Appearance app = appearanceOf(d_, ref, Appearance{});
    for (const Affine& a : copiesOf(r, block->base)) {
      if (a.determinant() == 0) {
        why = "a scale factor is zero";
        return false;
      }
      for (AcDbObjectRecord* e : block->entities) {
        if (e->cls == AcDbBlockReference::desc()) {
          // A nested reference stays one, unless the transform would shear it.
          if (placer_.placeReference(*e, a, app, out)) continue;
          if (!placeContents(*e, a, app, out, why, false, 1)) return false;
          continue;
        }
        if (!placer_.place(*e, a, app, out, why)) {
          why = "block " + block->name + " holds " + describe(d_, *e) + ", which " + why;
          return false;
        }
      }
    }
    return true;
  }

  // The objects of the block REF refers to, placed by OUTER after REF's own
  // transform, through every level. EXPORTONLY places only what the export
  // converts (and MESH objects as polyface meshes).
  bool placeContents(const AcDbObjectRecord& ref, const Affine& outer, const Appearance& outerLook,
                     std::vector<PlacedObject>& out, std::string& why, bool exportOnly, int depth) {
    Reference r = readReference(d_, ref);
    const BlockDefinition* block = findBlock(r.block, why);
    if (block == nullptr) return exportOnly; // a reference that shows nothing
    if (depth > kMaxDepth) {
      why = "block " + block->name + " refers to itself";
      return false;
    }
    const Appearance app = appearanceOf(d_, ref, outerLook);
    for (const Affine& own : copiesOf(r, block->base)) {
      const Affine a = outer * own;
      if (a.determinant() == 0) continue; // a scale factor of zero shows nothing
      for (AcDbObjectRecord* e : block->entities) {
        bool placed = true;
        if (e->cls == AcDbBlockReference::desc()) {
          placed = placeContents(*e, a, app, out, why, exportOnly, depth + 1);
        } else if (exportOnly && d_.typeName(*e) == "MESH") {
          placer_.placeMeshAsPolyfaces(*e, a, app, out);
        } else if (!exportOnly || isExportable(*e)) {
          placed = placer_.place(*e, a, app, out, why);
          if (!placed) why = "block " + block->name + " holds " + describe(d_, *e) + ", which " + why;
        }
        if (!placed) return false;
      }
    }
    return true;
  }

  Placer& placer() { return placer_; }

private:
  const BlockDefinition* findBlock(const std::string& name, std::string& why) const {
    const BlockDefinition* block = blocks_.find(name);
    if (block == nullptr) why = "block " + name + " is not defined";
    else if (block->isExternal()) why = "block " + name + " is an external reference";
    else return block;
    return nullptr;
  }

  Drawing& d_;
  BlockTable blocks_;
  Placer placer_;
};

// Replaces each of OBJECTS that is a block reference or a MESH; WHOLE
// explodes references through every level for the export (placing what it
// converts only, and leaving what shows nothing of that), else one level.
ExplodeReport explode(Drawing& drawing, const std::vector<AcDbObjectRecord*>& objects, bool whole) {
  ExplodeReport report;
  Exploder exploder(drawing);
  for (AcDbObjectRecord* r : objects) {
    if (r->has(record_flags::kErased)) continue;
    std::vector<PlacedObject> placed;
    std::string why;
    bool done = true;
    if (r->cls == AcDbBlockReference::desc()) {
      done = whole ? exploder.placeContents(*r, Affine{}, Appearance{}, placed, why, true, 0)
                   : exploder.explodeReference(*r, placed, why);
    } else if (drawing.typeName(*r) == "MESH") {
      exploder.placer().placeMeshAsPolyfaces(*r, Affine{}, Appearance{}, placed);
    } else if (whole) {
      continue;
    } else {
      std::string type(drawing.typeName(*r));
      auto kind = std::find_if(report.otherKinds.begin(), report.otherKinds.end(),
                               [&](const auto& k) { return k.first == type; });
      if (kind == report.otherKinds.end()) report.otherKinds.emplace_back(type, 1);
      else ++kind->second;
      continue;
    }
    if (!done) {
      report.refused.push_back(describe(drawing, *r) + " can't be exploded: " + why + ".");
      continue;
    }
    if (whole && placed.empty()) continue;
    for (PlacedObject& p : placed) drawing.addEntity(p.text, p.handle, r, p.solidRecord);
    drawing.setErased(*r, true);
    ++report.exploded;
  }
  return report;
}

} // namespace

bool isExportable(const AcDbObjectRecord& r) {
  for (AcRxClass* c : {AcDbBody::desc(), AcDb3dSolid::desc(), AcDbSolid::desc(), AcDbFace::desc(),
                       AcDbPolyFaceMesh::desc(), AcDbPolygonMesh::desc()})
    if (r.cls->isDerivedFrom(c)) return true;
  return false;
}

size_t ExplodeReport::notExploded() const {
  size_t n = refused.size();
  for (const auto& kind : otherKinds) n += kind.second;
  return n;
}

ExplodeReport explodeObjects(Drawing& drawing, const std::vector<AcDbObjectRecord*>& objects) {
  return explode(drawing, objects, false);
}

ExplodeReport explodeForExport(Drawing& drawing) { return explode(drawing, drawing.records().modelSpace(), true); }

} // namespace corvane
