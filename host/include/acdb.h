// The host's drawing database: object ids, objects and entities with their
// class descriptors, the layer table, open and close, extended data.
//
// Where the calls are implemented (under host/): every one in
// drawing/database_objects.cpp, over the drawing of drawing/drawing.h
// (AcDbDatabase); extended data through drawing/extended_data.cpp.
//
// Objects belong to their drawing. A pointer handed out by an open call is
// valid until the matching close(); never delete it.
#pragma once

#include "acrx.h"
#include "ads.h"

namespace AcDb {
enum OpenMode { kForRead = 0, kForWrite = 1, kForNotify = 2 };
} // namespace AcDb

class AcDbDatabase;
class AcDbObject;
struct AcDbObjectRecord; // host-private: the stored object behind an id

// Identifies one object of a drawing. A null id identifies nothing.
class AcDbObjectId {
public:
  AcDbObjectId() = default;
  explicit AcDbObjectId(AcDbObjectRecord* record) : record_(record) {}
  bool isNull() const { return record_ == nullptr; }
  AcDbObjectRecord* record() const { return record_; }
  bool operator==(const AcDbObjectId& other) const { return record_ == other.record_; }
  bool operator!=(const AcDbObjectId& other) const { return record_ != other.record_; }
  static const AcDbObjectId kNull;

private:
  AcDbObjectRecord* record_ = nullptr;
};

// Entity name <-> object id. eOk, or eInvalidAdsName / eNullObjectId.
Acad::ErrorStatus acdbGetObjectId(AcDbObjectId& objId, const ads_name objName);
Acad::ErrorStatus acdbGetAdsName(ads_name& objName, AcDbObjectId objId);

// Opens the object for reading (up to 255 readers at a time) or for writing
// (one writer, no readers). Results: eOk; eNullObjectId / eInvalidObjectId
// for an id that names nothing; eWasErased for an erased object unless
// openErased; eWasOpenForWrite when a writer holds it; eWasOpenForRead when
// opening for writing while readers hold it, or for a 256th reader;
// eNotThatKindOfClass (entity open) when the object is not an entity.
// Close with AcDbObject::close().
Acad::ErrorStatus acdbOpenAcDbObject(AcDbObject*& pObj, AcDbObjectId id, AcDb::OpenMode mode,
                                     bool openErasedObject = false);
class AcDbEntity;
Acad::ErrorStatus acdbOpenAcDbEntity(AcDbEntity*& pEnt, AcDbObjectId id, AcDb::OpenMode mode,
                                     bool openErasedEntity = false);

// The drawing the command line works on; null when none is loaded.
AcDbDatabase* acdbCurDwg();

class AcDbObject : public AcRxObject {
public:
  ~AcDbObject() override;
  AcRxClass* isA() const override;
  static AcRxClass* desc();

  AcDbObjectId objectId() const;
  bool isErased() const;
  bool isReadEnabled() const;
  bool isWriteEnabled() const;

  // Ends one open. eOk, or eWasNotOpenForRead when the object is not open.
  Acad::ErrorStatus close();

  // The object's extended data for REGAPPNAME (null: all applications) as a
  // new chain whose first item is the 1001 application name; null when the
  // object holds none. Caller releases with ads_relrb.
  resbuf* xData(const char* regappName = nullptr) const;
  // Replaces, for each application named by a 1001 item of the chain, that
  // application's data with the items that follow it; other applications'
  // data stays. A chain holding only the 1001 name removes that
  // application's data. eOk; eNotOpenForWrite unless open for writing;
  // eInvalidInput when the chain does not start with a 1001 item, names an
  // unregistered application or holds an item that extended data can't
  // hold. The caller keeps its chain.
  Acad::ErrorStatus setXData(const resbuf* xdata);

  // Host-private.
  explicit AcDbObject(AcDbObjectRecord* record);
  AcDbObjectRecord* record() const { return record_; }

private:
  AcDbObjectRecord* record_;
};

class AcDbEntity : public AcDbObject {
public:
  using AcDbObject::AcDbObject;
  static AcRxClass* desc();
  // 0 by block, 256 by layer, otherwise 1..255.
  Adesk::UInt16 colorIndex() const;
  // A new copy of the layer name; the caller releases it with acad_free.
  char* layer() const;
};

// Entity classes, for class tests with desc(). The objects a drawing hands
// out are AcDbEntity objects whose isA() is one of these descriptors (or, for
// a DXF type the host does not know, a class named after that type that
// derives from AcDbEntity).
#define CORVANE_DECLARE_ENTITY_CLASS(NAME, BASE)                                                   \
  class NAME : public BASE {                                                                       \
  public:                                                                                          \
    using BASE::BASE;                                                                              \
    static AcRxClass* desc();                                                                      \
  };
CORVANE_DECLARE_ENTITY_CLASS(AcDbFace, AcDbEntity)
CORVANE_DECLARE_ENTITY_CLASS(AcDbSolid, AcDbEntity)
CORVANE_DECLARE_ENTITY_CLASS(AcDbCurve, AcDbEntity)
CORVANE_DECLARE_ENTITY_CLASS(AcDbLine, AcDbCurve)
CORVANE_DECLARE_ENTITY_CLASS(AcDbCircle, AcDbCurve)
CORVANE_DECLARE_ENTITY_CLASS(AcDbArc, AcDbCurve)
CORVANE_DECLARE_ENTITY_CLASS(AcDbEllipse, AcDbCurve)
CORVANE_DECLARE_ENTITY_CLASS(AcDbSpline, AcDbCurve)
CORVANE_DECLARE_ENTITY_CLASS(AcDbPolyline, AcDbCurve)
CORVANE_DECLARE_ENTITY_CLASS(AcDb2dPolyline, AcDbCurve)
CORVANE_DECLARE_ENTITY_CLASS(AcDb3dPolyline, AcDbCurve)
CORVANE_DECLARE_ENTITY_CLASS(AcDbPolyFaceMesh, AcDbEntity)
CORVANE_DECLARE_ENTITY_CLASS(AcDbPolygonMesh, AcDbEntity)
CORVANE_DECLARE_ENTITY_CLASS(AcDb3dSolid, AcDbEntity)
CORVANE_DECLARE_ENTITY_CLASS(AcDbBody, AcDbEntity)
CORVANE_DECLARE_ENTITY_CLASS(AcDbRegion, AcDbEntity)
CORVANE_DECLARE_ENTITY_CLASS(AcDbBlockReference, AcDbEntity)
CORVANE_DECLARE_ENTITY_CLASS(AcDbText, AcDbEntity)
CORVANE_DECLARE_ENTITY_CLASS(AcDbMText, AcDbEntity)
CORVANE_DECLARE_ENTITY_CLASS(AcDbPoint, AcDbEntity)
CORVANE_DECLARE_ENTITY_CLASS(AcDbHatch, AcDbEntity)
CORVANE_DECLARE_ENTITY_CLASS(AcDbDimension, AcDbEntity)
CORVANE_DECLARE_ENTITY_CLASS(AcDbViewport, AcDbEntity)
#undef CORVANE_DECLARE_ENTITY_CLASS

// An entity colour. colorIndex() is 0 by block, 256 by layer, else 1..255.
class AcCmColor {
public:
  AcCmColor() = default;
  explicit AcCmColor(Adesk::UInt16 index) : index_(index) {}
  Adesk::UInt16 colorIndex() const { return index_; }
  void setColorIndex(Adesk::UInt16 index) { index_ = index; }

private:
  Adesk::UInt16 index_ = 256;
};

class AcDbSymbolTableRecord : public AcDbObject {
public:
  using AcDbObject::AcDbObject;
  static AcRxClass* desc();
};

class AcDbLayerTableRecord : public AcDbSymbolTableRecord {
public:
  using AcDbSymbolTableRecord::AcDbSymbolTableRecord;
  static AcRxClass* desc();
  // The layer's colour; a layer that is off (negative colour in the file)
  // reports the absolute value.
  AcCmColor color() const;
  // A new copy of the layer name; the caller releases it with acad_free.
  char* getName() const;
};

class AcDbSymbolTable : public AcDbObject {
public:
  using AcDbObject::AcDbObject;
  static AcRxClass* desc();
};

class AcDbLayerTable : public AcDbSymbolTable {
public:
  using AcDbSymbolTable::AcDbSymbolTable;
  static AcRxClass* desc();
  // Opens the record named NAME (case-insensitive). eOk; eKeyNotFound when
  // there is none (or it is erased and openErased is false); otherwise the
  // statuses of acdbOpenAcDbObject. Close the record with close().
  Acad::ErrorStatus getAt(const char* entryName, AcDbLayerTableRecord*& pRec, AcDb::OpenMode mode,
                          bool openErasedRec = false) const;
};

class AcDbDatabase {
public:
  // Opens the layer table; close it with close(). eOk or an open status.
  Acad::ErrorStatus getLayerTable(AcDbLayerTable*& pTable, AcDb::OpenMode mode);
  virtual ~AcDbDatabase();

protected:
  AcDbDatabase() = default;
  virtual Acad::ErrorStatus openLayerTable(AcDbLayerTable*& pTable, AcDb::OpenMode mode) = 0;
};
