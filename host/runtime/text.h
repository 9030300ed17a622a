// Case rules for the names users type (commands, functions, variables,
// layers): ASCII letters compare and fold without regard to case; other
// bytes (a drawing's code page) stand as they are. Labels as menus and
// dialogs show them. And UTF-8, the host's text everywhere above the
// drawing's own bytes, walked a character at a time.
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

// The length of the UTF-8 sequence that starts at TEXT[AT] (1 to 4); 0 when
// none does there (a stray continuation byte, a cut or overlong sequence, a
// surrogate), and for AT at or past the end.
size_t utf8SequenceLength(std::string_view text, size_t at);
// The code point of the sequence at TEXT[AT]; U+FFFD where none starts.
// LENGTH (when given) receives the bytes it took, at least 1 inside TEXT.
char32_t utf8CodePoint(std::string_view text, size_t at, size_t* length = nullptr);
// CODE as UTF-8 appended to OUT (U+FFFD for a surrogate or past U+10FFFF).
void appendUtf8(std::string& out, char32_t code);
// Where the character before byte AT starts (0 at the start), and where
// the one at AT ends: bytes that are no UTF-8 count one character each.
size_t utf8Previous(std::string_view text, size_t at);
size_t utf8Next(std::string_view text, size_t at);
// The number of characters in TEXT, and the bytes of its first COUNT
// characters (a character cut in the middle is left out whole).
size_t utf8Characters(std::string_view text);
size_t utf8Prefix(std::string_view text, size_t count);

// Makes the C library's idea of a character (which line editing and curses
// follow) the environment's, or UTF-8 where the environment says plain C:
// the host's text is UTF-8. Touches LC_CTYPE only, so numbers still print
// the same. Idempotent.
void useUtf8Characters();

} // namespace corvane
