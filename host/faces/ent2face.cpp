// adsi_ent2face: the faces of a selection set's entities, in one face file.
// The file's entries name the drawing and, per entity, its handle and type
// (and why a solid model gave no faces); entities of kinds without faces
// keep their O and U records so that positions still match the selection.
#include <cstdio>
#include <utility>

#include "ads.h"
#include "drawing/drawing.h"
#include "drawing/entity_names.h"
#include "drawing/selection_sets.h"
#include "faces/face_builder.h"
#include "faces/face_file_writer.h"

extern "C" int adsi_ent2face(const ads_name ss, const char** filename, int flags) {
  using namespace corvane;
  if (!filename) return RTERROR;
  *filename = nullptr;
  long length = 0;
  if (!ss || !selectionSetLength(ss, length)) return RTERROR;

  FaceFileContent content;
  content.flags = flags;
  for (long i = 0; i < length; ++i) {
    ads_name entity;
    if (!selectionSetMember(ss, i, entity)) return RTERROR;
    const AcDbObjectRecord* record = recordFromEntityName(entity);
    const Drawing* drawing = record ? drawingOwning(record) : nullptr;
    if (!drawing) return RTERROR;
    if (i == 0) content.entries.push_back({"drawing", drawing->path()});
    content.entries.push_back({"handle", drawing->handleText(*record)});
    content.entries.push_back({"type", std::string(drawing->typeName(*record))});
    std::string note;
    content.entities.push_back(buildFaces(*drawing, *record, note));
    if (!note.empty()) {
      // A model that can't be read (or only approximately) still exports;
      // the user hears why, once per object.
      content.entries.push_back({"note", note.substr(0, 1024)});
      std::fprintf(stderr, "corvane: warning: entity %s: %s\n", drawing->handleText(*record).c_str(),
                   note.c_str());
    }
  }
  // The drawing's path may be long; the entry holds its last part then.
  if (!content.entries.empty() && content.entries[0].value.size() > 4096)
    content.entries[0].value.erase(0, content.entries[0].value.size() - 4096);

  const FaceFileResult result = writeFaceFile(content);
  if (!result.fileName) {
    // The module only learns that the call failed; the user hears why here.
    std::fprintf(stderr, "corvane: %s\n", result.error.c_str());
    return RTERROR;
  }
  *filename = result.fileName;
  return RTNORM;
}
