// The face file that adsi_ent2face hands out for a list of entities, made on
// the command thread when asked for or ahead of it by the read-ahead. Both
// make it with writeEntityFaceFile, so a file made ahead is the very file
// the request would have made.
#pragma once

#include <string>
#include <vector>

struct AcDbObjectRecord;

namespace corvane {

struct EntityFaceFile {
  const char* fileName = nullptr; // owned by FaceFileDirectory::forProcess(); null on failure
  size_t size = 0;
  std::string warnings;           // stderr lines to print when the file is handed out
  std::string error;              // why there is no file
};

// Writes the face file of RECORDS (entities of live drawings, in selection
// order) with the request FLAGS and the solid chord tolerance CHORD (see
// chordTolerance). Reads the drawings and nothing else of the host, so it
// may run on any thread while the drawings do not change.
EntityFaceFile writeEntityFaceFile(const std::vector<const AcDbObjectRecord*>& records, int flags,
                                   double chord);

// True when writeEntityFaceFile gives RECORD faces (a 3D face, a 2D solid,
// a polyface or polygon mesh, a 3D solid, body or region).
bool hasFaceGeometry(const AcDbObjectRecord& record);

// The chord tolerance for curved solids: FACETCHORD in drawing units, or 0
// (the default) for a tolerance relative to each body's size. Reads the
// setting: command thread only.
double chordTolerance();

} // namespace corvane
