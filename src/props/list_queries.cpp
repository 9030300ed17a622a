#include "props/list_queries.h"

#include "acdb.h"
#include "ads.h"
#include "app/message_catalogue.h"
#include "props/vrml_material.h"
#include "props/vrml_properties.h"
#include "props/vrml_url.h"

namespace {

// The single entity-name argument of the call in progress, or null when the
// arguments are not exactly one entity name.
const resbuf* entityArgument() {
  const resbuf* args = ads_getargs();
  if (args == nullptr || args->restype != RTENAME || args->rbnext != nullptr) return nullptr;
  return args;
}

// Opens the entity named by ARG for reading; null when it has no object id
// or can't be opened.
AcDbObject* openArgument(const resbuf* arg) {
  AcDbObjectId id;
  if (acdbGetObjectId(id, arg->resval.rlname) != Acad::eOk) return nullptr;
  AcDbObject* object = nullptr;
  if (openDrawingObject(id, AcDb::kForRead, object) != 0) return nullptr;
  return object;
}

// One list element: a copy of TEXT, or nil when there is none. Null when
// memory runs out.
resbuf* textOrNil(const char* text) {
  resbuf* rb = ads_newrb(text ? RTSTR : RTNIL);
  if (rb == nullptr || text == nullptr) return rb;
  rb->resval.rstring = acad__strdup(text);
  if (rb->resval.rstring == nullptr) {
    ads_relrb(rb);
    return nullptr;
  }
  return rb;
}

} // namespace

int vrml_geturl() {
  VrmlUrl url;
  ads_retnil();
  const resbuf* arg = entityArgument();
  if (arg == nullptr) {
    ads_printf("%s", messageText(23));
    return RSERR;
  }
  AcDbObject* object = openArgument(arg);
  if (object == nullptr) return RSERR;
  int read = url.readUrlXData(object);
  object->close();
  if (read == 0) return RSRSLT;

  resbuf* list = textOrNil(url.link);
  resbuf* second = list ? textOrNil(url.description) : nullptr;
  // Without memory for the whole list the result stays nil.
  if (second != nullptr) {
    list->rbnext = second;
    ads_retlist(list);
  }
  ads_relrb(list);
  url.clear();
  return RSRSLT;
}

int vrml_getmaterial() {
  VrmlMaterial material;
  ads_retnil();
  const resbuf* arg = entityArgument();
  if (arg == nullptr) {
    ads_printf("%s", messageText(24));
    return RSERR;
  }
  AcDbObject* object = openArgument(arg);
  if (object == nullptr) return RSERR;
  int read = material.readMaterialXData(object);
  object->close();
  if (read == 0) return RSRSLT;

  resbuf* list = ads_buildlist(RTSHORT, material.useDrawingColor, RTREAL, material.shininess, RTREAL,
                               material.transparency, 0);
  if (list != nullptr) ads_retlist(list);
  ads_relrb(list);
  return RSRSLT;
}
