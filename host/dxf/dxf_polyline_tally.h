// What the DXF loader counts of a POLYLINE's VERTEX records as it meets
// them, and what it reports where they disagree with their polyline: one
// count for the scan of a DXF text and for the DWG reader's record of the
// text it writes.
#pragma once

#include <string>

namespace corvane {

struct DxfPolylineTally {
  long all = 0;      // every vertex
  long control = 0;  // spline-fit control vertices (flag 16)
  long surface = 0;  // surface-fit vertices (flag 8)
  long vertices = 0; // a polyface mesh's vertices (flags 128 and 64)
  long faces = 0;    // a polyface mesh's faces (flag 128 alone)
  long badFace = 0, badIndex = 0; // the face naming the highest vertex so far, and that vertex

  // One VERTEX of FLAGS (its 70) and face INDEX (its 71 to 74).
  void vertex(int flags, const int (&index)[4]);
  // Where a POLYLINE of FLAGS (its 70), a polygon mesh of M by N vertices,
  // disagrees with the vertices counted: one line, "" where it doesn't.
  std::string inconsistency(int flags, int m, int n) const;
};

} // namespace corvane
