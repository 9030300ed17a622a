#include "dxf/dxf_cursor.h"

#include <bit>
#include <optional>
#include <type_traits>

namespace corvane {

namespace {

// A binary number of CODE's type from its little-endian bytes; the view
// came from readBinaryGroup, so the width matches the type.
template <typename T> T littleEndian(std::string_view bytes) {
  std::make_unsigned_t<T> bits = 0;
  for (size_t i = 0; i < sizeof(T) && i < bytes.size(); ++i)
    bits |= static_cast<std::make_unsigned_t<T>>(static_cast<unsigned char>(bytes[i])) << (8 * i);
  return static_cast<T>(bits);
}

bool binaryInteger(const DxfGroupView& g, long long& out) {
  switch (dxfBinaryType(g.code)) {
  case DxfBinaryType::kInt16: out = littleEndian<int16_t>(g.value); return true;
  case DxfBinaryType::kInt32: out = littleEndian<int32_t>(g.value); return true;
  case DxfBinaryType::kInt64: out = littleEndian<int64_t>(g.value); return true;
  case DxfBinaryType::kBool: out = littleEndian<uint8_t>(g.value); return true;
  default: return false;
  }
}

} // namespace

double DxfGroupView::realSlow() const {
  if (encoding == DxfEncoding::kText) return parseDxfReal(value);
  if (dxfBinaryType(code) == DxfBinaryType::kReal && value.size() == 8)
    return std::bit_cast<double>(littleEndian<uint64_t>(value));
  long long n;
  return binaryInteger(*this, n) ? static_cast<double>(n) : parseDxfReal(value);
}

long long DxfGroupView::integerSlow() const {
  if (encoding == DxfEncoding::kText) return parseDxfInt(value);
  long long n;
  return binaryInteger(*this, n) ? n : parseDxfInt(value);
}

bool DxfGroupView::bytes(std::string& out) const {
  if (encoding == DxfEncoding::kText) return decodeDxfHex(value, out);
  out.assign(value);
  return true;
}

bool DxfGroupCursor::nextSlow(DxfGroupView& group) {
  if (failed_ || pos_ >= bytes_.size()) return false;
  if (encoding_ != DxfEncoding::kText) {
    if (readBinaryGroup(bytes_, pos_, encoding_, group) != DxfBinaryProblem::kNone) {
      failed_ = true;
      return false;
    }
    pos_ = group.end;
    return true;
  }
  std::string_view codeLine, valueLine;
  const size_t begin = pos_;
  const size_t afterCode = readDxfLine(bytes_, pos_, codeLine);
  const std::optional<int> code = parseGroupCode(codeLine);
  if (!code || afterCode >= bytes_.size()) {
    failed_ = true;
    return false;
  }
  pos_ = readDxfLine(bytes_, afterCode, valueLine);
  group.code = *code;
  group.encoding = DxfEncoding::kText;
  group.value = valueLine;
  group.begin = begin;
  group.end = pos_;
  return true;
}

} // namespace corvane
