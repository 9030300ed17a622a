#include <cstring>

#include "acrx.h"
#include "ui.h"

namespace {

// A copy of TEXT from the host's allocator; null for an empty text or when
// memory runs out.
char* copyText(const char* text) {
  if (text == nullptr || *text == '\0') return nullptr;
  size_t n = std::strlen(text);
  auto* copy = static_cast<char*>(acad_malloc(n + 1));
  if (copy != nullptr) std::memcpy(copy, text, n + 1);
  return copy;
}

} // namespace

CString::CString() : data_(nullptr) {}
CString::CString(const char* text) : data_(copyText(text)) {}
CString::CString(const CString& other) : data_(copyText(other.data_)) {}
CString::~CString() { acad_free(data_); }

CString& CString::operator=(const char* text) {
  // TEXT may point into this string's own storage: copy before releasing.
  char* copy = copyText(text);
  acad_free(data_);
  data_ = copy;
  return *this;
}

CString& CString::operator=(const CString& other) {
  if (this != &other) *this = other.data_;
  return *this;
}

int CString::GetLength() const { return data_ ? static_cast<int>(std::strlen(data_)) : 0; }
bool CString::IsEmpty() const { return data_ == nullptr; }
void CString::Empty() {
  acad_free(data_);
  data_ = nullptr;
}
CString::operator const char*() const { return data_ ? data_ : ""; }
