// The data-storage section of R2013 and later drawings
// (AcDb:AcDsPrototype_1b): a small store of its own, a header naming its
// segments, an index of segments, an index of data records, and the
// records themselves, each naming the object it belongs to and the blob it
// holds. 3D solids, regions and bodies keep their binary models there.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "dwg/dwg_dxf_assembly.h"

namespace corvane::dwg {

// The binary models of SECTION (its bytes as the container hands them up),
// each with the handle of the object it belongs to, in the store's order.
// Records of other blobs (the drawing's thumbnail) are left out. Every
// offset and size is checked against the section's bytes; throws DwgError
// ("AcDb:AcDsPrototype_1b" and the byte) where they don't hold. An empty
// section holds no models.
std::vector<DwgStoredModel> readStoredModels(std::span<const uint8_t> section);

} // namespace corvane::dwg
