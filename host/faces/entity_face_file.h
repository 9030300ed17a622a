// The face file that adsi_ent2face hands out for a list of entities, made on
// the command thread when asked for or ahead of it by the read-ahead. Both
// make it with writeEntityFaceFile, so a file made ahead is the very file
// the request would have made.
#pragma once

#include <array>
#include <span>
#include <string>

#include "runtime/host_result.h"

class AcRxClass;
struct AcDbObjectRecord;

namespace corvane {

// A face file made for a request, or why there is none (the error).
struct EntityFaceFile : HostResult {
  const char* fileName = nullptr; // owned by FaceFileDirectory::forProcess(); null on failure
  size_t size = 0;
  std::string warnings;           // stderr lines to print when the file is handed out
};

// Writes the face file of RECORDS (entities of live drawings, in selection
// order) with the request FLAGS and the solid chord tolerance CHORD (see
// chordTolerance in faces/face_builder.h); KEEP_OPEN leaves its closing to the face-file directory
// (see FaceFileDirectory::keepOpen). Reads the drawings and nothing else of
// the host, so it may run on any thread while the drawings do not change.
EntityFaceFile writeEntityFaceFile(std::span<const AcDbObjectRecord* const> records, int flags, double chord,
                                   bool keepOpen = false);

// The classes writeEntityFaceFile gives faces for: 3D face, 2D solid,
// polyface and polygon mesh, 3D solid, body and region. Class descriptors
// are registered on first use: the first call belongs on the command
// thread, before another thread asks.
const std::array<AcRxClass*, 7>& faceGeometryClasses();
// True when RECORD is of one of them.
bool hasFaceGeometry(const AcDbObjectRecord& record);


} // namespace corvane
