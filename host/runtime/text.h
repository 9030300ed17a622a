// Case rules for the names users type (commands, functions, variables,
// layers): ASCII letters compare and fold without regard to case; other
// bytes (a drawing's code page) stand as they are.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// TEXT with a-z made A-Z.
std::string asciiUpper(std::string_view text);
// True when A and B are equal but for the case of ASCII letters.
bool equalsIgnoreCase(std::string_view a, std::string_view b);

} // namespace corvane
