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

// What the DXF loader's scan (dxf/dxf_scanner.h) notes of one object's own
// groups, noted as a writer writes them, so that the text need not be
// scanned again: where its handle, name and extended data lie, its colour,
// paper-space flag and polyline flags, and the groups a VERTEX after a
// POLYLINE is counted by. The scan's rules are followed to the letter:
// extended data runs from the first 1001 group to the first ordinary group
// after it, and nothing after that counts. Offsets count from `base`.
struct DxfGroupNotes {
  static constexpr uint32_t kNone = UINT32_MAX;
  struct Span {
    uint32_t begin = kNone, end = kNone; // of the value; begin == kNone when not met
    bool found() const { return begin != kNone; }
  };
  size_t base = 0;       // the text offset the others count from
  uint32_t groups = 0;   // groups written (two lines each)
  Span handle;           // the first group 5 with a value (blanks trimmed)
  Span handle105;        // the same for group 105 (DIMSTYLE records)
  Span name;             // the first group 2 with a value (blanks trimmed)
  Span layer;            // the first group 8 with a value (as written)
  bool hasColor = false; // the first group 62, clamped to 16 bits
  int16_t color = 0;
  bool paperSpace = false; // a group 67 of 1
  bool has70 = false;      // the first group 70: its value and where it lies
  long long flags = 0;
  Span flagsValue;
  int meshM = 0, meshN = 0; // the last groups 71 and 72
  // A VERTEX's last group 70 and 71 to 74, wherever they lie.
  int vertexFlags = 0;
  int faceIndex[4] = {0, 0, 0, 0};
  uint32_t xdataBegin = kNone, xdataEnd = kNone; // groups' offsets
  bool inXData = false, xdataClosed = false;
  // 0 groups after the first: each starts another object for the scan
  // (an extension record may hold one).
  uint32_t laterZeroGroups = 0;

  // One group: its code, where it starts, and its value's place in TEXT.
  void note(int code, size_t groupBegin, std::string_view text, size_t valueBegin, size_t valueEnd) {
    ++groups;
    // Most groups say nothing the scan notes.
    if (inXData || code >= 1000 || noted(code)) noteSlow(code, groupBegin, text, valueBegin, valueEnd);
  }

private:
  static constexpr bool noted(int code) {
    switch (code) {
    case 0: case 2: case 5: case 8: case 62: case 67: case 70: case 71: case 72: case 73: case 74: case 105: return true;
    default: return false;
    }
  }
  void noteSlow(int code, size_t groupBegin, std::string_view text, size_t valueBegin, size_t valueEnd);
};

class DxfTextWriter {
public:
  // Appends to OUT; NOTES, when given, hears of every group.
  explicit DxfTextWriter(std::string& out, DxfGroupNotes* notes = nullptr) : out_(out), notes_(notes) {}

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
  // Groups this writer has written, and N more written to its text by
  // others (counted()).
  size_t groups() const { return groups_; }
  void counted(size_t n) { groups_ += n; }
  DxfGroupNotes* notes() const { return notes_; }
  void setNotes(DxfGroupNotes* notes) { notes_ = notes; }

private:
  // Appends CODE's line; returns where the group starts.
  size_t code(int code);
  // CODE's line written at LINE (room for 16 bytes); returns its length.
  static size_t codeLine(int code, char* line);
  // The group that started at BEGIN is written, its value from VALUEBEGIN
  // to just before the last byte (its line end).
  void done(int code, size_t begin, size_t valueBegin) {
    ++groups_;
    if (notes_ != nullptr) notes_->note(code, begin, out_, valueBegin, out_.size() - 1);
  }
  std::string& out_;
  DxfGroupNotes* notes_;
  size_t groups_ = 0;
};


// UTF-8 text with every character beyond ASCII written as DXF writes it,
// "\U+XXXX" (hexadecimal, upper case, at least four digits). Bytes that
// are no UTF-8 stay as they are.
std::string dxfUnicodeEscapes(std::string_view utf8);

} // namespace corvane::dwg
