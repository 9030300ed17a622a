// The database half of the host interface (acdb.h): class descriptors,
// object ids and entity names, open and close, the objects handed out while
// open, extended data, colour and layer, the layer table.
#include <cstring>

#include "acdb.h"
#include "drawing/drawing.h"
#include "drawing/entity_names.h"
#include "runtime/background_work.h"
#include "runtime/class_registry.h"

using corvane::Drawing;
using corvane::RecordRole;
namespace flags = corvane::record_flags;

// ---- class descriptors ------------------------------------------------------

#define CORVANE_DEFINE_DESC(NAME, PARENT)                                                          \
  AcRxClass* NAME::desc() {                                                                        \
    static AcRxClass* c = corvane::registerClass(#NAME, PARENT::desc());                           \
    return c;                                                                                      \
  }

CORVANE_DEFINE_DESC(AcDbObject, AcRxObject)
CORVANE_DEFINE_DESC(AcDbEntity, AcDbObject)
CORVANE_DEFINE_DESC(AcDbFace, AcDbEntity)
CORVANE_DEFINE_DESC(AcDbSolid, AcDbEntity)
CORVANE_DEFINE_DESC(AcDbCurve, AcDbEntity)
CORVANE_DEFINE_DESC(AcDbLine, AcDbCurve)
CORVANE_DEFINE_DESC(AcDbCircle, AcDbCurve)
CORVANE_DEFINE_DESC(AcDbArc, AcDbCurve)
CORVANE_DEFINE_DESC(AcDbEllipse, AcDbCurve)
CORVANE_DEFINE_DESC(AcDbSpline, AcDbCurve)
CORVANE_DEFINE_DESC(AcDbPolyline, AcDbCurve)
CORVANE_DEFINE_DESC(AcDb2dPolyline, AcDbCurve)
CORVANE_DEFINE_DESC(AcDb3dPolyline, AcDbCurve)
CORVANE_DEFINE_DESC(AcDbPolyFaceMesh, AcDbEntity)
CORVANE_DEFINE_DESC(AcDbPolygonMesh, AcDbEntity)
CORVANE_DEFINE_DESC(AcDb3dSolid, AcDbEntity)
CORVANE_DEFINE_DESC(AcDbBody, AcDbEntity)
CORVANE_DEFINE_DESC(AcDbRegion, AcDbEntity)
CORVANE_DEFINE_DESC(AcDbBlockReference, AcDbEntity)
CORVANE_DEFINE_DESC(AcDbText, AcDbEntity)
CORVANE_DEFINE_DESC(AcDbMText, AcDbEntity)
CORVANE_DEFINE_DESC(AcDbPoint, AcDbEntity)
CORVANE_DEFINE_DESC(AcDbHatch, AcDbEntity)
CORVANE_DEFINE_DESC(AcDbDimension, AcDbEntity)
CORVANE_DEFINE_DESC(AcDbViewport, AcDbEntity)
CORVANE_DEFINE_DESC(AcDbSymbolTableRecord, AcDbObject)
CORVANE_DEFINE_DESC(AcDbLayerTableRecord, AcDbSymbolTableRecord)
CORVANE_DEFINE_DESC(AcDbSymbolTable, AcDbObject)
CORVANE_DEFINE_DESC(AcDbLayerTable, AcDbSymbolTable)
#undef CORVANE_DEFINE_DESC

const AcDbObjectId AcDbObjectId::kNull;

namespace {

// The object handed out for RECORD: of the C++ class its descriptor names,
// so that a caller's cast to that class is sound.
std::unique_ptr<AcDbObject> makeObject(AcDbObjectRecord* r) {
  switch (r->role) {
  case RecordRole::kTable:
    if (r->cls == AcDbLayerTable::desc()) return std::make_unique<AcDbLayerTable>(r);
    return std::make_unique<AcDbSymbolTable>(r);
  case RecordRole::kTableRecord:
    if (r->cls == AcDbLayerTableRecord::desc()) return std::make_unique<AcDbLayerTableRecord>(r);
    return std::make_unique<AcDbSymbolTableRecord>(r);
  case RecordRole::kObject:
    return std::make_unique<AcDbObject>(r);
  case RecordRole::kEntity:
  case RecordRole::kBlockMarker:
    break;
  }
#define CORVANE_MAKE(NAME)                                                                         \
  if (r->cls == NAME::desc()) return std::make_unique<NAME>(r);
  CORVANE_MAKE(AcDbFace)
  CORVANE_MAKE(AcDbSolid)
  CORVANE_MAKE(AcDbLine)
  CORVANE_MAKE(AcDbCircle)
  CORVANE_MAKE(AcDbArc)
  CORVANE_MAKE(AcDbEllipse)
  CORVANE_MAKE(AcDbSpline)
  CORVANE_MAKE(AcDbPolyline)
  CORVANE_MAKE(AcDb2dPolyline)
  CORVANE_MAKE(AcDb3dPolyline)
  CORVANE_MAKE(AcDbPolyFaceMesh)
  CORVANE_MAKE(AcDbPolygonMesh)
  CORVANE_MAKE(AcDb3dSolid)
  CORVANE_MAKE(AcDbBody)
  CORVANE_MAKE(AcDbRegion)
  CORVANE_MAKE(AcDbBlockReference)
  CORVANE_MAKE(AcDbText)
  CORVANE_MAKE(AcDbMText)
  CORVANE_MAKE(AcDbPoint)
  CORVANE_MAKE(AcDbHatch)
  CORVANE_MAKE(AcDbDimension)
  CORVANE_MAKE(AcDbViewport)
#undef CORVANE_MAKE
  return std::make_unique<AcDbEntity>(r);
}

bool isEntityRecord(const AcDbObjectRecord& r) {
  return r.role == RecordRole::kEntity || r.role == RecordRole::kBlockMarker;
}

// The drawing that owns the record behind ID, checked without touching it.
Drawing* ownerOf(AcDbObjectId id) { return corvane::drawingOwning(id.record()); }

} // namespace

namespace corvane {

Acad::ErrorStatus Drawing::openObject(AcDbObjectRecord& r, AcDb::OpenMode mode, bool openErased,
                                      bool entityOnly, AcDbObject*& object) {
  object = nullptr;
  if (entityOnly && !isEntityRecord(r)) return Acad::eNotThatKindOfClass;
  if (r.has(flags::kErased) && !openErased) return Acad::eWasErased;
  if (r.has(flags::kOpenForWrite)) return Acad::eWasOpenForWrite;
  if (mode == AcDb::kForWrite) {
    if (r.readers > 0) return Acad::eWasOpenForRead;
    beforeHostChange();
    r.set(flags::kOpenForWrite, true);
  } else {
    if (r.readers == UINT8_MAX) return Acad::eWasOpenForRead;
    ++r.readers;
  }
  if (objects_.size() <= r.serial) objects_.resize(index_.count());
  std::unique_ptr<AcDbObject>& slot = objects_[r.serial];
  if (!slot) slot = makeObject(&r);
  object = slot.get();
  return Acad::eOk;
}

Acad::ErrorStatus Drawing::closeObject(AcDbObjectRecord& r) {
  if (r.has(flags::kOpenForWrite)) {
    beforeHostChange();
    r.set(flags::kOpenForWrite, false);
    return Acad::eOk;
  }
  if (r.readers == 0) return Acad::eWasNotOpenForRead;
  --r.readers;
  return Acad::eOk;
}

Acad::ErrorStatus Drawing::openLayerTable(AcDbLayerTable*& table, AcDb::OpenMode mode) {
  table = nullptr;
  if (layerTable_ == nullptr) return Acad::eKeyNotFound;
  AcDbObject* object = nullptr;
  Acad::ErrorStatus es = openObject(*layerTable_, mode, false, false, object);
  if (es != Acad::eOk) return es;
  table = static_cast<AcDbLayerTable*>(object);
  return Acad::eOk;
}

} // namespace corvane

// ---- ids, names, open -----------------------------------------------------------

Acad::ErrorStatus acdbGetObjectId(AcDbObjectId& objId, const ads_name objName) {
  objId = AcDbObjectId();
  if (objName == nullptr) return Acad::eInvalidAdsName;
  if (objName[0] == 0 && objName[1] == 0) return Acad::eNullObjectId;
  AcDbObjectRecord* r = corvane::recordFromEntityName(objName);
  if (r == nullptr) return Acad::eInvalidAdsName;
  objId = AcDbObjectId(r);
  return Acad::eOk;
}

Acad::ErrorStatus acdbGetAdsName(ads_name& objName, AcDbObjectId objId) {
  objName[0] = objName[1] = 0;
  if (objId.isNull() || ownerOf(objId) == nullptr) return Acad::eNullObjectId;
  corvane::makeEntityName(*objId.record(), objName);
  return Acad::eOk;
}

Acad::ErrorStatus acdbOpenAcDbObject(AcDbObject*& pObj, AcDbObjectId id, AcDb::OpenMode mode,
                                     bool openErasedObject) {
  pObj = nullptr;
  if (id.isNull()) return Acad::eNullObjectId;
  Drawing* d = ownerOf(id);
  if (d == nullptr) return Acad::eInvalidObjectId;
  return d->openObject(*id.record(), mode, openErasedObject, false, pObj);
}

Acad::ErrorStatus acdbOpenAcDbEntity(AcDbEntity*& pEnt, AcDbObjectId id, AcDb::OpenMode mode,
                                     bool openErasedEntity) {
  pEnt = nullptr;
  if (id.isNull()) return Acad::eNullObjectId;
  Drawing* d = ownerOf(id);
  if (d == nullptr) return Acad::eInvalidObjectId;
  AcDbObject* object = nullptr;
  Acad::ErrorStatus es = d->openObject(*id.record(), mode, openErasedEntity, true, object);
  if (es == Acad::eOk) pEnt = static_cast<AcDbEntity*>(object);
  return es;
}

AcDbDatabase* acdbCurDwg() { return corvane::currentDrawing(); }

// ---- objects --------------------------------------------------------------------

AcDbObject::AcDbObject(AcDbObjectRecord* record) : record_(record) {}
AcDbObject::~AcDbObject() = default;

AcRxClass* AcDbObject::isA() const { return record_->cls; }
AcDbObjectId AcDbObject::objectId() const { return AcDbObjectId(record_); }
bool AcDbObject::isErased() const { return record_->has(flags::kErased); }
bool AcDbObject::isReadEnabled() const {
  return record_->readers > 0 || record_->has(flags::kOpenForWrite);
}
bool AcDbObject::isWriteEnabled() const { return record_->has(flags::kOpenForWrite); }

Acad::ErrorStatus AcDbObject::close() { return record_->drawing->closeObject(*record_); }

resbuf* AcDbObject::xData(const char* regappName) const {
  return record_->drawing->xData(*record_, regappName);
}

Acad::ErrorStatus AcDbObject::setXData(const resbuf* xdata) {
  if (!record_->has(flags::kOpenForWrite)) return Acad::eNotOpenForWrite;
  return record_->drawing->setXData(*record_, xdata);
}

namespace {
char* copyName(std::string_view name) {
  auto* s = static_cast<char*>(acad_malloc(name.size() + 1));
  if (s == nullptr) return nullptr;
  if (!name.empty()) std::memcpy(s, name.data(), name.size());
  s[name.size()] = '\0';
  return s;
}
} // namespace

Adesk::UInt16 AcDbEntity::colorIndex() const {
  return static_cast<Adesk::UInt16>(record()->drawing->colorIndex(*record()));
}

char* AcDbEntity::layer() const { return copyName(record()->drawing->layerName(*record())); }

AcCmColor AcDbLayerTableRecord::color() const {
  return AcCmColor(static_cast<Adesk::UInt16>(record()->drawing->layerColor(*record())));
}

char* AcDbLayerTableRecord::getName() const {
  return copyName(record()->drawing->layerName(*record()));
}

Acad::ErrorStatus AcDbLayerTable::getAt(const char* entryName, AcDbLayerTableRecord*& pRec,
                                        AcDb::OpenMode mode, bool openErasedRec) const {
  pRec = nullptr;
  if (entryName == nullptr) return Acad::eInvalidInput;
  Drawing* d = record()->drawing;
  AcDbObjectRecord* layer = d->findLayer(entryName);
  if (layer == nullptr) return Acad::eKeyNotFound;
  if (layer->has(flags::kErased) && !openErasedRec) return Acad::eKeyNotFound;
  AcDbObject* object = nullptr;
  Acad::ErrorStatus es = d->openObject(*layer, mode, openErasedRec, false, object);
  if (es == Acad::eOk) pRec = static_cast<AcDbLayerTableRecord*>(object);
  return es;
}

Acad::ErrorStatus AcDbDatabase::getLayerTable(AcDbLayerTable*& pTable, AcDb::OpenMode mode) {
  return openLayerTable(pTable, mode);
}

AcDbDatabase::~AcDbDatabase() = default;
