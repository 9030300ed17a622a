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

// Whether every character of TEXT (model text, lines ended by '\n') has a
// stored form, as encodeModelText needs.
bool modelTextStorable(std::string_view text);

// TEXT's groups as encodeModelText makes them, handed one by one to EMIT
// (code, value) without a list of them: VALUE views a buffer used again
// for the next. TEXT must be storable (modelTextStorable).
template <typename Emit> void emitModelText(std::string_view text, Emit emit) {
  constexpr size_t kMaxValue = 255;
  // A value is built in a fixed buffer: a model runs to megabytes, a
  // character at a time.
  char value[kMaxValue + 1];
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    size_t n = 0;
    int code = 1;
    for (size_t i = start; i < end; ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      const char stored = c == ' ' ? ' ' : static_cast<char>(159 - c);
      // A stored caret is written "^ ", so that no reader takes it for a
      // control character.
      const size_t length = stored == '^' ? 2 : 1;
      if (n + length > kMaxValue) {
        emit(code, std::string_view(value, n));
        n = 0;
        code = 3;
      }
      value[n++] = stored;
      if (length == 2) value[n++] = ' ';
    }
    emit(code, std::string_view(value, n));
    start = end + 1;
  }
}

} // namespace corvane::solids
