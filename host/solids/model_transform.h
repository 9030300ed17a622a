// Moving a solid model as a whole: a map that keeps shapes (rotation,
// mirror, uniform scale, translation) composed into the transform of every
// body, in the model's own form (text or binary), so that the model is the
// same model placed elsewhere. Everything else in the model stays as it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "geometry/vec_math.h"

namespace corvane::solids {

// p -> scale * Q p + translation, Q orthogonal (columns are images of the
// axes), scale > 0.
struct ModelMap {
  double q[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  double scale = 1;
  Vec3 translation;
};

// Composes MAP after every body transform of the model TEXT (decoded, as
// decodeModelText gives it) or BYTES (binary). A body without a transform
// gets one (a new record before the end marker; the header's record count
// follows). False with a one-line REASON, the model unchanged, when the
// model can't be read or keeps a transform in a form that can't be
// rewritten in place.
bool transformModelText(std::string& text, const ModelMap& map, std::string& reason);
bool transformModelBinary(std::vector<uint8_t>& bytes, const ModelMap& map, std::string& reason);

} // namespace corvane::solids
