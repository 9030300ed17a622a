// libFuzzer target: arbitrary bytes as binary model data, as model text,
// and as the stored (encoded) groups of an entity. Any input must end in a
// mesh or a reason, without memory errors; and a scan of binary model data
// must see what a read of it keeps.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "solids/sab_reader.h"
#include "solids/solid_tessellator.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  corvane::SolidTessellation out;
  std::string reason;
  corvane::tessellateSab(data, size, 0.05, out, reason);
  corvane::solids::SatDocument read, scanned;
  std::string readReason, scanReason;
  size_t records = 0;
  const bool wasRead = corvane::solids::readSab(data, size, read, readReason);
  const bool wasScanned = corvane::solids::scanSab(
      data, size, scanned, [&records](const corvane::solids::SatRecord&, std::string&) { return ++records > 0; },
      scanReason);
  if (wasRead != wasScanned || readReason != scanReason ||
      (wasRead && (records != read.records.size() || scanned.endAt != read.endAt)))
    std::abort();
  std::string text(reinterpret_cast<const char*>(data), size);
  corvane::tessellateSatText(text, 0.05, out, reason);
  corvane::SolidModelData groups;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    groups.textGroups.push_back(text.substr(start, end - start));
    groups.textGroupCodes.push_back(start == 0 || (end - start) % 2 ? 1 : 3);
    start = end + 1;
  }
  corvane::SolidMesh mesh;
  corvane::tessellateSolidModel(groups, 0, mesh, reason);
  return 0;
}
