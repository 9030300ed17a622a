#include "dxf/dxf_output.h"

#include <algorithm>

namespace corvane {

bool emitPatched(std::string_view text, std::vector<DxfPatch> patches,
                 const std::function<bool(std::string_view)>& sink) {
  std::stable_sort(patches.begin(), patches.end(),
                   [](const DxfPatch& a, const DxfPatch& b) { return a.begin < b.begin; });
  size_t pos = 0;
  for (const DxfPatch& p : patches) {
    size_t begin = std::min(std::max(p.begin, pos), text.size());
    if (begin > pos && !sink(text.substr(pos, begin - pos))) return false;
    if (!p.text.empty() && !sink(p.text)) return false;
    pos = std::max(begin, std::min(p.end, text.size()));
  }
  if (pos < text.size() && !sink(text.substr(pos))) return false;
  return true;
}

} // namespace corvane
