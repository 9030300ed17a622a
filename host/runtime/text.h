// Case rules for the names users type (commands, functions, variables,
// layers): ASCII letters compare and fold without regard to case; other
// bytes (a drawing's code page) stand as they are. And labels as menus and
// dialogs show them.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// TEXT with a-z made A-Z, and A-Z made a-z: the only case folding of the
// host (DXF names, typed names and keywords, printed names).
std::string asciiUpper(std::string_view text);
std::string asciiLower(std::string_view text);
// True when A and B are equal but for the case of ASCII letters.
bool equalsIgnoreCase(std::string_view a, std::string_view b);

// A menu or control label as shown: "&&" is an ampersand, a single "&"
// marks the next character as the accelerator and is dropped. With
// UNDERLINE the accelerator is underlined by terminal escapes, as a menu
// marks it.
std::string shownLabel(std::string_view label, bool underline = false);

} // namespace corvane
