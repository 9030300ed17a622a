#include "dxf/dxf_cursor.h"


#include "dxf/dxf_values.h"

namespace corvane {

double DxfGroupView::real() const { return parseDxfReal(value); }
long long DxfGroupView::integer() const { return parseDxfInt(value); }

bool DxfGroupCursor::next(DxfGroupView& group) {
  if (failed_ || pos_ >= text_.size()) return false;
  std::string_view codeLine, valueLine;
  size_t begin = pos_;
  size_t afterCode = readDxfLine(text_, pos_, codeLine);
  std::optional<int> code = parseGroupCode(codeLine);
  if (!code || afterCode >= text_.size()) {
    failed_ = true;
    return false;
  }
  pos_ = readDxfLine(text_, afterCode, valueLine);
  group.code = *code;
  group.value = valueLine;
  group.begin = begin;
  group.end = pos_;
  return true;
}

} // namespace corvane
