#include "props/vrml_properties.h"

#include "ads.h"
#include "app/message_catalogue.h"
#include "export/export_command.h"
#include "props/vrml_material.h"
#include "props/vrml_properties_dialog.h"
#include "props/vrml_url.h"

int openDrawingObject(AcDbObjectId id, AcDb::OpenMode mode, AcDbObject*& object) {
  object = nullptr;
  AcDbObject* opened = nullptr;
  Acad::ErrorStatus status = acdbOpenAcDbObject(opened, id, mode, false);
  if (status != Acad::eOk) return status;
  if (opened == nullptr) return Acad::eNullEntityPointer;
  if (!opened->isKindOf(AcDbObject::desc())) {
    // An object we refuse must not stay open; if it can't even be closed
    // the drawing is in a state nothing here can repair.
    if (opened->close() != Acad::eOk) acrx_abort("Failed AcDbObject::close()");
    return Acad::eNotThatKindOfClass;
  }
  object = opened;
  return 0;
}

int selectPropertyObject(const char* prompt, AcDbObjectId& id) {
  ads_name picked;
  ads_point point;
  if (ads_entsel(prompt, picked, point) != RTNORM) return 0;
  AcDbObjectId pickedId;
  if (acdbGetObjectId(pickedId, picked) != Acad::eOk) return 0;
  AcDbObject* object = nullptr;
  if (openDrawingObject(pickedId, AcDb::kForRead, object) != 0) return 0;
  // Only entities have a class the export can convert.
  bool exportable = object->isKindOf(AcDbEntity::desc()) &&
                    isExportableEntity(static_cast<AcDbEntity*>(object)) == 1;
  if (!exportable) ads_printf("%s", messageText(16));
  object->close();
  if (!exportable) return 0;
  id = pickedId;
  return 1;
}

void vrmlprop() {
  VrmlUrl url;
  VrmlMaterial material;
  AcDbObjectId id;
  if (selectPropertyObject(messageText(20), id) == 0) return;

  AcDbObject* object = nullptr;
  if (openDrawingObject(id, AcDb::kForRead, object) != 0) return;
  // Whatever the readers leave (defaults and empty texts where the object
  // holds nothing) is what the dialog shows.
  url.readUrlXData(object);
  material.readMaterialXData(object);
  object->close();

  // The object stays closed while the user works in the dialog.
  if (runPropertiesDialog(url, material) == 0) {
    url.clear();
    return;
  }

  if (openDrawingObject(id, AcDb::kForWrite, object) != 0) {
    ads_printf("%s", messageText(17));
    url.clear();
    return;
  }
  if (url.writeUrlXData(object) != 1) ads_printf("%s", messageText(18));
  // The material goes on even when the hyperlink was refused.
  if (material.writeMaterialXData(object) != 1) ads_printf("%s", messageText(19));
  object->close();
  url.clear();
}
