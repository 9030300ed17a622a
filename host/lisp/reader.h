// The reader: list-language text to values.
#pragma once

#include <string_view>
#include <vector>

#include "lisp/value.h"

namespace corvane::lisp {

// Lists nested deeper than this are refused by the reader.
constexpr int kMaxReadDepth = 1000;

// Every expression of TEXT in order (empty for blank text or comments only).
// Integers outside 32 bits read as reals; 'x reads as (quote x); symbols are
// upper-cased; nil reads as nil. Throws LispError: "malformed list on input",
// "extra right paren on input", "malformed string on input", "number out of
// range on input: TOKEN", "list nested too deeply on input".
std::vector<Value> readAll(std::string_view text);

// True when TEXT stops inside an unclosed list or string or after a quote,
// so that a following line could complete it.
bool needsMoreInput(std::string_view text);

} // namespace corvane::lisp
