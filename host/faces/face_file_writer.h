// The face file: the binary file in which the host hands the faces of the
// entities of a selection to a module. Encoding is kept apart from writing
// so that the bytes can be checked without touching a file system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "faces/face_block.h"
#include "faces/face_file_directory.h"
#include "runtime/host_result.h"

namespace corvane {

// One name/value text of the file's entry list ("drawing", "handle", ...).
struct FaceFileEntry {
  std::string name;
  std::string value;
};

// What one face file holds: the flags of the request (1: world coordinates),
// the entries, and the entities in selection order.
struct FaceFileContent {
  int flags = 1;
  std::vector<FaceFileEntry> entries;
  std::vector<EntityFaces> entities;
};

// Appends the file's bytes to BYTES. Fails, with BYTES unchanged, when the
// content can't be encoded faithfully: an entry whose "name=value" text
// exceeds 32767 bytes, a face without 3 or 4 corners or with an index
// outside its block, normals not one per vertex, or counts beyond the
// file's 32-bit fields. A block without vertices is not written.
HostResult encodeFaceFile(const FaceFileContent& content, std::vector<uint8_t>& bytes);

// Writes CONTENT to a new file in DIRECTORY: created exclusively, written
// with one write (files over 1 MiB in 1 MiB pieces) and closed, or with
// KEEP_OPEN left to the directory to close later (FaceFileDirectory::
// keepOpen). A directory
// whose file system is full or read-only hands over to the next base.
// Success: fileName is the new file's name, owned by DIRECTORY (see
// FaceFileDirectory::createFile), and size its length; the caller deletes
// the file when done (FaceFileDirectory::discard) or hands it out. Failure:
// fileName is null, error says why, and no file is left behind.
struct FaceFileResult : HostResult {
  const char* fileName = nullptr;
  size_t size = 0;
};
FaceFileResult writeFaceFile(const FaceFileContent& content,
                             FaceFileDirectory& directory = FaceFileDirectory::forProcess(),
                             bool keepOpen = false);

} // namespace corvane
