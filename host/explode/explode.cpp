#include "explode/explode.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

#include "drawing/drawing.h"
#include "explode/block_table.h"
#include "explode/placement.h"
#include "runtime/host_services.h"

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

// Counts of placed objects, saturating: a few kilobytes of nested multiple
// inserts name more objects than 64 bits hold.
using Count = unsigned long long;
constexpr Count kCountMax = std::numeric_limits<Count>::max();
Count timesCount(Count a, Count b) { return a != 0 && b > kCountMax / a ? kCountMax : a * b; }
Count plusCount(Count a, Count b) { return b > kCountMax - a ? kCountMax : a + b; }

Count copyCount(const Reference& ref) {
  return timesCount(static_cast<Count>(std::max<long long>(ref.columns, 1)),
                    static_cast<Count>(std::max<long long>(ref.rows, 1)));
}

// Calls VISIT with the transform of every copy: one, or one per row and
// column of a multiple insert (its grid in the reference's rotated object
// coordinates, not scaled), one at a time, so that a grid of a billion
// copies holds no list of them. VISIT returns false to stop; so does this.
template <typename Visit> bool forEachCopy(const Reference& ref, const Vec3& base, Visit visit) {
  const long long columns = std::max<long long>(ref.columns, 1), rows = std::max<long long>(ref.rows, 1);
  const Affine turn = rotationZ(ref.placement.rotation);
  for (long long r = 0; r < rows; ++r)
    for (long long c = 0; c < columns; ++c) {
      InsertPlacement p = ref.placement;
      const Vec3 offset = turn.applyLinear({static_cast<double>(c) * ref.columnSpacing,
                                            static_cast<double>(r) * ref.rowSpacing, 0});
      p.insertion = {p.insertion.x + offset.x, p.insertion.y + offset.y, p.insertion.z + offset.z};
      if (!visit(insertTransform(p, base))) return false;
    }
  return true;
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
    if (block->entities.empty()) return true; // nothing to place, however many copies
    const Appearance app = appearanceOf(d_, ref, Appearance{});
    return forEachCopy(r, block->base, [&](const Affine& a) {
      if (a.determinant() == 0) {
        why = "a scale factor is zero";
        return false;
      }
      for (AcDbObjectRecord* e : block->entities) {
        if (e->cls == AcDbBlockReference::desc()) {
          // A nested reference stays one, unless the transform would shear it;
          // its objects are then placed through every level, which the count
          // made beforehand took as one object.
          if (placer_.placeReference(*e, a, app, out)) continue;
          const Count more = nestedCount(*e, false);
          if (plusCount(placedSoFar_, plusCount(out.size(), more)) > limit_) {
            why = "block " + block->name + " holds " + describe(d_, *e) + ", whose " + std::to_string(more) +
                  " objects would pass the limit of " + std::to_string(limit_) + " (EXPLODELIMIT)";
            return false;
          }
          if (!placeContents(*e, a, app, out, why, false, 1)) return false;
          continue;
        }
        if (!placer_.place(*e, a, app, out, why)) {
          why = "block " + block->name + " holds " + describe(d_, *e) + ", which " + why;
          return false;
        }
      }
      return true;
    });
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
    // Copies of a block that places nothing are not walked (a grid of a
    // billion copies of nothing would take minutes).
    if (blockCount(*block, exportOnly) == 0) return true;
    const Appearance app = appearanceOf(d_, ref, outerLook);
    return forEachCopy(r, block->base, [&](const Affine& own) {
      const Affine a = outer * own;
      if (a.determinant() == 0) return true; // a scale factor of zero shows nothing
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
      return true;
    });
  }

  // How many objects exploding REF would place, without placing any: one
  // level (nested references count one each) or, with WHOLE, through every
  // level for the export. An upper bound (copies scaled to nothing count).
  Count countFor(const AcDbObjectRecord& ref, bool whole) {
    if (!whole) {
      const Reference r = readReference(d_, ref);
      const BlockDefinition* block = blocks_.find(r.block);
      if (block == nullptr || block->isExternal()) return 0;
      return timesCount(copyCount(r), block->entities.size());
    }
    return nestedCount(ref, true);
  }

  // The objects placed so far by earlier references and the limit, which
  // the shear fallback of explodeReference checks against.
  void setBudget(Count placedSoFar, Count limit) {
    placedSoFar_ = placedSoFar;
    limit_ = limit;
  }

  Placer& placer() { return placer_; }

private:
  // The objects a reference places through every level (EXPORTONLY: those
  // the export converts, a MESH as one).
  Count nestedCount(const AcDbObjectRecord& ref, bool exportOnly) {
    const Reference r = readReference(d_, ref);
    const BlockDefinition* block = blocks_.find(r.block);
    if (block == nullptr || block->isExternal()) return 0;
    return timesCount(copyCount(r), blockCount(*block, exportOnly));
  }

  // The objects one copy of BLOCK places through every level, remembered per
  // block. A block met again while it is being counted refers to itself:
  // it counts nothing here, and placing it refuses it.
  Count blockCount(const BlockDefinition& block, bool exportOnly) {
    auto& known = counted_[exportOnly ? 1 : 0];
    auto [it, fresh] = known.try_emplace(&block, 0);
    if (!fresh) return it->second;
    Count n = 0;
    for (const AcDbObjectRecord* e : block.entities) {
      if (e->cls == AcDbBlockReference::desc()) n = plusCount(n, nestedCount(*e, exportOnly));
      else if (!exportOnly || isExportable(*e) || d_.typeName(*e) == "MESH") n = plusCount(n, 1);
    }
    known[&block] = n; // the map may have grown meanwhile: no reference kept
    return n;
  }

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
  std::unordered_map<const BlockDefinition*, Count> counted_[2]; // [exportOnly]
  Count placedSoFar_ = 0, limit_ = kCountMax;
};

std::string withThousands(Count n) {
  std::string digits = std::to_string(n), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// Replaces each of OBJECTS that is a block reference or a MESH; WHOLE
// explodes references through every level for the export (placing what it
// converts only, and leaving what shows nothing of that), else one level.
ExplodeReport explode(Drawing& drawing, const std::vector<AcDbObjectRecord*>& objects, bool whole, Count limit) {
  ExplodeReport report;
  Exploder exploder(drawing);
  // Everything is counted before anything is placed, so that a drawing
  // past the limit is refused whole and as it was.
  Count total = 0;
  for (const AcDbObjectRecord* r : objects) {
    if (r->has(record_flags::kErased) || r->cls != AcDbBlockReference::desc()) continue;
    const Count own = exploder.countFor(*r, whole);
    total = plusCount(total, own);
    // A count past 64 bits is over any limit.
    if (total <= limit && total != kCountMax) continue;
    std::string count = own == kCountMax ? "more than " + withThousands(kCountMax) : withThousands(own);
    report.overLimit = describe(drawing, *r) + " would place " + count + " objects" +
                       (total != own ? " (" + withThousands(total) + " with the references before it)" : "") +
                       ", more than the limit of " + withThousands(limit) + " (EXPLODELIMIT)";
    return report;
  }
  Count placedSoFar = 0;
  for (AcDbObjectRecord* r : objects) {
    if (r->has(record_flags::kErased)) continue;
    std::vector<PlacedObject> placed;
    std::string why;
    bool done = true;
    if (r->cls == AcDbBlockReference::desc()) {
      exploder.setBudget(placedSoFar, limit);
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
    placedSoFar = plusCount(placedSoFar, placed.size());
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

unsigned long long explodeLimit() {
  const SysVar* v = sysVars().find("EXPLODELIMIT");
  if (v == nullptr || !(v->realValue >= 0)) return defaultExplodeLimit();
  return v->realValue >= 1.8e19 ? kCountMax : static_cast<Count>(v->realValue);
}

ExplodeReport explodeObjects(Drawing& drawing, const std::vector<AcDbObjectRecord*>& objects,
                             unsigned long long limit) {
  return explode(drawing, objects, false, limit);
}

ExplodeReport explodeForExport(Drawing& drawing, unsigned long long limit) {
  return explode(drawing, drawing.records().modelSpace(), true, limit);
}

} // namespace corvane
