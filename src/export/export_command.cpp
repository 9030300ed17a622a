#include "export/export_command.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "ads.h"
#include "app/message_catalogue.h"
#include "export/face_file_reader.h"
#include "export/object_material.h"
#include "export/output_file.h"
#include "export/vrml_writer.h"
#include "props/vrml_material.h"
#include "props/vrml_url.h"

namespace {

constexpr int kByLayer = 256;

void printMessage(int id) { ads_printf("%s", messageText(id)); }

// A host selection set, released with ads_ssfree when this goes.
class SelectionSet {
public:
  SelectionSet() = default;
  ~SelectionSet() {
    if (held_) {
      ads_ssfree(name_);
    }
  }
  SelectionSet(const SelectionSet&) = delete;
  SelectionSet& operator=(const SelectionSet&) = delete;
  long* name() { return name_; }
  void hold() { held_ = true; }

private:
  ads_name name_ = {0, 0};
  bool held_ = false;
};

// An entity open for reading, closed at the latest when this goes.
class OpenEntity {
public:
  explicit OpenEntity(AcDbEntity* entity) : entity_(entity) {}
  ~OpenEntity() { close(); }
  OpenEntity(const OpenEntity&) = delete;
  OpenEntity& operator=(const OpenEntity&) = delete;
  AcDbEntity* get() const { return entity_; }
  void close() {
    if (entity_ != nullptr) {
      entity_->close();
      entity_ = nullptr;
    }
  }

private:
  AcDbEntity* entity_;
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FaceFile = std::unique_ptr<std::FILE, FileCloser>;

struct HostFree {
  void operator()(char* text) const { acad_free(text); }
};

// The effective colour of ENTITY: its own index, or its layer's when it is
// coloured by layer.
int effectiveColorIndex(AcDbEntity* entity) {
  const int index = entity->colorIndex();
  if (index != kByLayer) {
    return index;
  }
  std::unique_ptr<char, HostFree> layer(entity->layer());
  return layerColorIndex(layer.get());
}

// The stream buffer every face file of a run is read through. Supplying it
// keeps the C library from sizing one with fstat for each file; a face file
// for a small object arrives in one read.
class FaceFileBuffer {
public:
  static constexpr std::size_t kSize = 128 * 1024;
  // Opens NAME for binary reading through the buffer; null when it can't
  // be opened.
  FaceFile open(const char* name) {
    FaceFile file(name != nullptr ? std::fopen(name, "rb") : nullptr);
    if (file) {
      if (!bytes_) {
        bytes_.reset(new (std::nothrow) char[kSize]);
      }
      // Without a buffer of ours the library's own serves as well.
      if (bytes_) {
        std::setvbuf(file.get(), bytes_.get(), _IOFBF, kSize);
      }
    }
    return file;
  }

private:
  std::unique_ptr<char[]> bytes_;
};

enum class Step { kConverted, kSkipped, kAbort };

// Converts the object at POSITION, printing its messages.
Step convertObject(const ads_name ss, long position, OutputFile& out, VrmlMaterial& material,
                   VrmlColor& color, VrmlUrl& url, FaceFileBuffer& faceBuffer, int& invalidCount) {
  url.clear();
  url.anchorOpen = 0;
  material.reset();

  ads_name entityName;
  if (ads_ssname(ss, position, entityName) != RTNORM) {
    printMessage(8);
    return Step::kAbort;
  }
  AcDbObjectId id;
  acdbGetObjectId(id, entityName);
  AcDbEntity* opened = nullptr;
  if (acdbOpenAcDbEntity(opened, id, AcDb::kForRead, false) != Acad::eOk || opened == nullptr) {
    ads_printf(messageText(9), position);
    return Step::kSkipped;
  }
  OpenEntity entity(opened);
  if (isExportableEntity(entity.get()) == 0) {
    ++invalidCount;
    return Step::kSkipped;
  }
  loadObjectMaterial(entity.get(), effectiveColorIndex(entity.get()), material, color);
  url.readUrlXData(entity.get());
  entity.close();

  SelectionSet one;
  if (ads_ssadd(entityName, nullptr, one.name()) != RTNORM) {
    printMessage(11);
    return Step::kAbort;
  }
  one.hold();
  const char* faceFileName = nullptr;
  adsi_ent2face(one.name(), &faceFileName, 1);
  FaceFile faceFile = faceBuffer.open(faceFileName);
  if (!faceFile) {
    printMessage(12);
    return Step::kAbort;
  }
  std::unique_ptr<Mesh> mesh;
  if (readFaceFile(faceFile.get(), mesh) != 1) {
    printMessage(13);
    return Step::kAbort; // the face file stays on disk
  }
  faceFile.reset();
  std::remove(faceFileName);

  beginSeparator(&out);
  material.writeMaterial(&out);
  url.beginAnchor(&out);
  mesh->writeMesh(&out);
  url.endAnchor(&out);
  endSeparator(&out);
  return Step::kConverted;
}

} // namespace

int isExportableEntity(AcDbEntity* entity) {
  if (entity == nullptr) {
    return 0;
  }
  AcRxClass* const accepted[] = {AcDbBody::desc(),  AcDb3dSolid::desc(),      AcDbSolid::desc(),
                                 AcDbFace::desc(),  AcDbPolyFaceMesh::desc(), AcDbPolygonMesh::desc()};
  for (AcRxClass* cls : accepted) {
    if (entity->isKindOf(cls)) {
      return 1;
    }
  }
  return 0;
}

int exportSelectionSet(const ads_name ss, const char* fileName) {
  VrmlMaterial material;
  VrmlColor color{0, 0.0, 0.0, 0.0};
  VrmlUrl url;
  if (fileName == nullptr) {
    return 0;
  }
  long length = 0;
  if (ads_sslength(ss, &length) != RTNORM) {
    printMessage(5);
    return 0;
  }
  if (length == 0) {
    printMessage(6);
    return 0;
  }
  OutputFile out;
  if (!out.open(fileName)) {
    printMessage(7);
    adsi_fileerror(fileName, out.error());
    return 0;
  }
  writeHeader(&out);
  // Declared after the output file and before any face file: a face file
  // stream never outlives the buffer it reads through.
  FaceFileBuffer faceBuffer;
  int convertedCount = 0;
  int invalidCount = 0;
  for (long i = 0; i < length; ++i) {
    // The user asked to stop: the file that was there stays as it was.
    if (ads_usrbrk()) {
      return 0;
    }
    ads_printf(messageText(37), static_cast<int>(i), static_cast<int>(length));
    const Step step = convertObject(ss, i, out, material, color, url, faceBuffer, invalidCount);
    if (step == Step::kConverted) {
      ++convertedCount;
    }
    // A write that failed (a full disk) leaves the file as it was; the host
    // tells the user why.
    if (out.failed()) {
      adsi_fileerror(fileName, out.error());
      return 0;
    }
    // An aborted run keeps the header and the groups completed so far.
    if (step == Step::kAbort) {
      url.clear();
      if (!out.close()) {
        adsi_fileerror(fileName, out.error());
      }
      return 0;
    }
  }
  // Nothing converted, or stopped at the last moment: nothing replaces the
  // file that was there.
  if (convertedCount == 0 || ads_usrbrk()) {
    return 0;
  }
  if (!out.close()) {
    adsi_fileerror(fileName, out.error());
    return 0;
  }
  ads_printf(messageText(14), convertedCount);
  if (invalidCount != 0) {
    ads_printf(messageText(36), invalidCount);
  }
  return 1;
}

int askVrmlFileName(std::unique_ptr<char[]>& fileName) {
  fileName.reset();
  resbuf* result = ads_newrb(RTSTR);
  if (result == nullptr) {
    return 0;
  }
  std::unique_ptr<resbuf, int (*)(resbuf*)> owned(result, ads_relrb);
  if (ads_getfiled(messageText(15), nullptr, "wrl", 3, result) != RTNORM ||
      result->resval.rstring == nullptr) {
    return 0;
  }
  const std::size_t size = std::strlen(result->resval.rstring) + 1;
  fileName = std::make_unique_for_overwrite<char[]>(size);
  std::memcpy(fileName.get(), result->resval.rstring, size);
  return 1;
}

void vrmlout() {
  printMessage(1);
  SelectionSet selection;
  if (ads_ssget(nullptr, nullptr, nullptr, nullptr, selection.name()) != RTNORM) {
    return;
  }
  selection.hold();
  long length = 0;
  if (ads_sslength(selection.name(), &length) != RTNORM) {
    printMessage(2);
    return;
  }
  if (length == 0) {
    printMessage(3);
    return;
  }
  std::unique_ptr<char[]> fileName;
  if (askVrmlFileName(fileName) == 0) {
    return;
  }
  if (exportSelectionSet(selection.name(), fileName.get()) != 1) {
    printMessage(4);
  }
  // The name goes before the set, as the locals unwind.
}

int vrml_wrlout() {
  ads_retnil();
  const resbuf* args = ads_getargs();
  if (args == nullptr || args->restype != RTPICKS || args->rbnext == nullptr ||
      args->rbnext->restype != RTSTR) {
    printMessage(22);
    return RSERR;
  }
  if (exportSelectionSet(args->resval.rlname, args->rbnext->resval.rstring) == 1) {
    ads_rett();
  }
  return RSRSLT;
}
