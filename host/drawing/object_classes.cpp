#include "drawing/object_classes.h"

#include <map>
#include <string>

#include "runtime/class_registry.h"

namespace corvane {

AcRxClass* entityClass(std::string_view type, int polylineFlags) {
  struct Known {
    std::string_view type;
    AcRxClass* (*desc)();
  };
  static const Known kKnown[] = {
      {"3DFACE", &AcDbFace::desc},     {"SOLID", &AcDbSolid::desc},         {"LWPOLYLINE", &AcDbPolyline::desc},
      {"3DSOLID", &AcDb3dSolid::desc}, {"BODY", &AcDbBody::desc},           {"REGION", &AcDbRegion::desc},
      {"LINE", &AcDbLine::desc},       {"CIRCLE", &AcDbCircle::desc},       {"ARC", &AcDbArc::desc},
      {"ELLIPSE", &AcDbEllipse::desc}, {"SPLINE", &AcDbSpline::desc},       {"INSERT", &AcDbBlockReference::desc},
      {"TEXT", &AcDbText::desc},       {"MTEXT", &AcDbMText::desc},         {"POINT", &AcDbPoint::desc},
      {"HATCH", &AcDbHatch::desc},     {"DIMENSION", &AcDbDimension::desc}, {"VIEWPORT", &AcDbViewport::desc},
  };
  if (type == "POLYLINE") {
    if (polylineFlags & 64) return AcDbPolyFaceMesh::desc();
    if (polylineFlags & 16) return AcDbPolygonMesh::desc();
    if (polylineFlags & 8) return AcDb3dPolyline::desc();
    return AcDb2dPolyline::desc();
  }
  for (const Known& k : kKnown)
    if (type == k.type) return k.desc();
  return genericClass(type, AcDbEntity::desc());
}

AcRxClass* genericClass(std::string_view type, AcRxClass* base) {
  static std::map<std::string, AcRxClass*, std::less<>> cache;
  auto it = cache.find(type);
  if (it != cache.end() && it->second->isDerivedFrom(base)) return it->second;
  std::string name(type);
  if (name.empty()) return base;
  AcRxClass* c = registerClass(name.c_str(), base);
  if (!c->isDerivedFrom(base)) return base;
  cache[name] = c;
  return c;
}

} // namespace corvane
