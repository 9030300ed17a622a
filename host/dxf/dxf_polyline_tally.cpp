#include "dxf/dxf_polyline_tally.h"

namespace corvane {

void DxfPolylineTally::vertex(int flags, const int (&index)[4]) {
  ++all;
  if (flags & 16) ++control;
  else if (flags & 8) ++surface;
  if ((flags & 128) && (flags & 64)) {
    ++vertices;
  } else if (flags & 128) {
    ++faces;
    for (int i : index) {
      const long a = i < 0 ? -static_cast<long>(i) : i;
      if (a > badIndex) {
        badIndex = a;
        badFace = faces;
      }
    }
  }
}

std::string DxfPolylineTally::inconsistency(int flags, int m, int n) const {
  if ((flags & 64) && badIndex > vertices)
    return "polyface face " + std::to_string(badFace) + " refers to vertex " + std::to_string(badIndex) +
           " but the mesh has " + std::to_string(vertices) + " vertices";
  if (!(flags & 64) && (flags & 16)) {
    const bool smoothed = (flags & 4) != 0;
    const long count = smoothed ? control : all;
    const long long expected = static_cast<long long>(m) * n;
    if (count != expected)
      return "polygon mesh of " + std::to_string(m) + " by " + std::to_string(n) + " has " + std::to_string(count) +
             (smoothed ? " control" : "") + " vertices, not " + std::to_string(expected);
  }
  return {};
}

} // namespace corvane
