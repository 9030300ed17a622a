// adsi_ent2face: the faces of a selection set's entities, in one face file.
// The file's entries name the drawing and, per entity, its handle and type
// (and why a solid model gave no faces); entities of kinds without faces
// keep their O and U records so that positions still match the selection.
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <string>
#include <span>
#include <vector>
#include <utility>

#include "ads.h"
#include "drawing/drawing.h"
#include "drawing/entity_names.h"
#include "drawing/selection_sets.h"
#include "faces/entity_face_file.h"
#include "faces/face_builder.h"
#include "faces/face_file_writer.h"
#include "faces/face_read_ahead.h"
#include "runtime/host_services.h"

namespace corvane {
namespace {

// The file's entry text for an entity's handle and type, and its drawing.
void addEntries(const Drawing& drawing, const AcDbObjectRecord& record, bool first,
                FaceFileContent& content) {
  if (first) {
    // The drawing's path may be long; the entry holds its last part then.
    const std::string& path = drawing.file().path();
    content.entries.push_back({"drawing", path.size() > 4096 ? path.substr(path.size() - 4096) : path});
  }
  content.entries.push_back({"handle", drawing.handleText(record)});
  content.entries.push_back({"type", std::string(drawing.typeName(record))});
}

// The answer to a request the host can't serve because the drawing's file
// changed under it (or could not be read): the command is failed, so
// that the module stops at its next check and replaces no file, and the
// request gets a file that holds RECORDS without faces, so that the module
// does not abort (an abort keeps the groups written so far). The file is
// held in memory, not on a file system that may be full, and named by its
// descriptor; it stays readable until the next such answer (the module's
// attempt to delete the name fails harmlessly). Null when not even that
// can be made.
const char* answerWithoutFaces(std::span<const AcDbObjectRecord* const> records, int flags) {
  failCommand();
  static int held = -1;
  static std::string name;
  // Entries name the drawing only: the records' own text is not to be
  // trusted any more.
  FaceFileContent content;
  content.flags = flags;
  const std::string& path = records[0]->drawing->file().path();
  content.entries.push_back({"drawing", path.size() > 4096 ? path.substr(path.size() - 4096) : path});
  content.entities.resize(records.size());
  std::vector<uint8_t> bytes;
  if (!encodeFaceFile(content, bytes)) return nullptr;
  const int fd = ::memfd_create("corvane-no-faces", MFD_CLOEXEC);
  if (fd < 0) return nullptr;
  if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    ::close(fd);
    return nullptr;
  }
  if (held >= 0) ::close(held);
  held = fd;
  name = "/proc/self/fd/" + std::to_string(fd);
  return name.c_str();
}

} // namespace

EntityFaceFile writeEntityFaceFile(std::span<const AcDbObjectRecord* const> records, int flags, double chord,
                                   bool keepOpen) {
  EntityFaceFile out;
  FaceFileContent content;
  content.flags = flags;
  for (size_t i = 0; i < records.size(); ++i) {
    const AcDbObjectRecord& record = *records[i];
    const Drawing& drawing = *record.drawing;
    addEntries(drawing, record, i == 0, content);
    std::string note;
    content.entities.push_back(buildFaces(drawing, record, chord, note));
    if (!note.empty()) {
      // A model that can't be read (or only approximately) still exports;
      // the user hears why, once per object.
      content.entries.push_back({"note", note.substr(0, 1024)});
      out.warnings += "corvane: warning: entity " + drawing.handleText(record) + ": " + note + "\n";
    }
  }
  const FaceFileResult result = writeFaceFile(content, FaceFileDirectory::forProcess(), keepOpen);
  out.fileName = result.fileName;
  out.size = result.size;
  out.error = result.error;
  return out;
}

const std::array<AcRxClass*, 7>& faceGeometryClasses() {
  static const std::array<AcRxClass*, 7> kinds = {AcDbFace::desc(),        AcDbSolid::desc(),
                                                  AcDbPolyFaceMesh::desc(), AcDbPolygonMesh::desc(),
                                                  AcDb3dSolid::desc(),      AcDbBody::desc(),
                                                  AcDbRegion::desc()};
  return kinds;
}

bool hasFaceGeometry(const AcDbObjectRecord& record) {
  for (AcRxClass* kind : faceGeometryClasses())
    if (record.cls == kind) return true;
  return false;
}

} // namespace corvane

extern "C" int adsi_ent2face(const ads_name ss, const char** filename, int flags) {
  using namespace corvane;
  if (!filename) return RTERROR;
  *filename = nullptr;
  long length = 0;
  if (!ss || !selectionSetLength(ss, length)) return RTERROR;

  // Entity names of live drawings only: recordFromEntityName checks.
  std::vector<const AcDbObjectRecord*> several;
  const AcDbObjectRecord* one = nullptr;
  if (length > 1) several.reserve(static_cast<size_t>(length));
  for (long i = 0; i < length; ++i) {
    ads_name entity;
    if (!selectionSetMember(ss, i, entity)) return RTERROR;
    const AcDbObjectRecord* record = recordFromEntityName(entity);
    if (!record) return RTERROR;
    if (length == 1) one = record;
    else several.push_back(record);
  }
  const std::span<const AcDbObjectRecord* const> records =
      length == 1 ? std::span<const AcDbObjectRecord* const>(&one, 1) : several;
  // A file the read-ahead made for this very request, or one made now.
  FaceReadAhead& readAhead = FaceReadAhead::instance();
  EntityFaceFile file;
  if (records.size() != 1 || !readAhead.take(*records[0], flags, file))
    file = writeEntityFaceFile(records, flags, chordTolerance());
  if (!file.warnings.empty()) hostError(file.warnings);
  for (const AcDbObjectRecord* record : records) {
    if (!record->drawing->file().cutShort()) continue;
    // The drawing's file was cut short while it was read: the faces may hold
    // zeros in place of its bytes. No world is better than a wrong one.
    if (file.fileName) FaceFileDirectory::forProcess().discard(file.fileName);
    if (!commandFailed())
      hostError("corvane: " + record->drawing->file().path() + ": the file changed during the export\n");
    *filename = answerWithoutFaces(records, flags);
    return *filename != nullptr ? RTNORM : RTERROR;
  }
  if (!file.fileName) {
    // The module only learns that the call failed (and aborts, keeping the
    // groups it wrote); the user hears why here.
    hostError("corvane: " + file.error + "\n");
    return RTERROR;
  }
  FaceFileDirectory::forProcess().handOut(file.fileName);
  *filename = file.fileName;
  return RTNORM;
}
