// The DXF text the DWG reader makes: groups appended to one string, in the
// layout our loader and other readers take (codes right-aligned to three
// columns, integers to six, "\n" line ends). Reals are written in their
// shortest form that reads back to the same double, so that nothing a DWG
// holds exactly is rounded on its way into the drawing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "geometry/entity_geometry.h"

namespace corvane::dwg {

class DxfTextWriter {
public:
  explicit DxfTextWriter(std::string& out) : out_(out) {}

  // A text value, escaped as DXF escapes it: a control character, which
  // would end the line, as a caret and a letter ("^J" for a line feed), and
  // a caret itself as "^ ".
  void text(int code, std::string_view value);
  // A value already in DXF's form (escaped), written as it is.
  void raw(int code, std::string_view value);
  void integer(int code, long long value);
  void real(int code, double value);
  // CODE, CODE+10 and CODE+20 (10/20/30, 1010/1020/1030).
  void point(int code, const Vec3& p);
  void point2(int code, double x, double y);
  // Upper-case hexadecimal, "0" for the null handle.
  void handle(int code, uint64_t value);
  // Bytes as hexadecimal, in pieces of at most 127 bytes (one group each).
  void binary(int code, std::string_view bytes);
  void subclass(std::string_view name) { text(100, name); }

  std::string& out() { return out_; }

private:
  void code(int code);
  std::string& out_;
};


// UTF-8 text with every character beyond ASCII written as DXF writes it,
// "\U+XXXX" (hexadecimal, upper case, at least four digits). Bytes that
// are no UTF-8 stay as they are.
std::string dxfUnicodeEscapes(std::string_view utf8);

} // namespace corvane::dwg
