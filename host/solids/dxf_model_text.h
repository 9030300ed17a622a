// Recovers the solid-model text that a DXF entity stores in its groups 1
// and 3 (R13 to R2010). Each stored character is the substitution of the
// original one (c -> 159 - c, space kept; a stored caret written as "^ ");
// a group 1 starts a line, a group 3 continues the line before it.
// Returns false with a reason when the groups are inconsistent (a group 3
// first, a code other than 1 or 3, codes and values of different counts).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "geometry/entity_geometry.h"

namespace corvane::solids {

bool decodeModelText(const corvane::SolidModelData& data, std::string& text, std::string& reason);

// One stored value decoded (no line structure).
std::string decodeModelLine(const std::string& stored);

// The inverse of decodeModelText: TEXT (lines ended by '\n') as groups 1
// and 3, each line a group 1 of at most 255 stored characters continued in
// groups 3. False when a character has no stored form (one that would
// become a control character).
bool encodeModelText(std::string_view text, std::vector<std::pair<int, std::string>>& groups);

} // namespace corvane::solids
