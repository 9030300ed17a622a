// Writing a loaded text back with changes: a change replaces one byte range
// of the original text (or inserts at a position), everything else is
// copied as read.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

struct DxfPatch {
  size_t begin = 0; // replaced range [begin, end); begin == end inserts
  size_t end = 0;
  std::string text;
};

// Calls SINK with the pieces of TEXT with PATCHES applied, in order. Patches
// must not overlap; they are applied in order of position, ties in the order
// given. Stops and returns false as soon as SINK returns false.
bool emitPatched(std::string_view text, std::vector<DxfPatch> patches,
                 const std::function<bool(std::string_view)>& sink);

} // namespace corvane
