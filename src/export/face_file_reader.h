// Reads the face file that the host writes for one object into a Mesh.
#pragma once

#include <cstdio>
#include <memory>

#include "mesh.h"

// Reads the face file on STREAM (opened for binary reading, positioned at
// its start) forward to the end of its last block; does not close it.
// Returns 1 with a new mesh in MESH that the caller owns, or 0 with MESH
// empty (everything built is released) when a read comes short, a vertex
// count is negative or larger than the bytes that remain, an entry length is
// negative, a corner index leaves the 32-bit range, or memory runs out.
// Memory is reserved ahead of the bytes only for small counts (64 KiB
// worth); a larger count is first checked against the bytes that remain.
// Exception: a file that ends inside the corner entries of a face is read
// with success; that face is dropped, and the vertices of its block stay in
// the mesh so that the faces before it index real vertices.
int readFaceFile(std::FILE* stream, std::unique_ptr<Mesh>& mesh);
