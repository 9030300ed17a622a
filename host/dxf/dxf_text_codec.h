// Text values between a drawing's bytes and the host's UTF-8. A drawing of
// R2004 or earlier stores its text in its code page ($DWGCODEPAGE, ANSI_1252
// when absent or unknown), characters the code page lacks as "\U+XXXX"; one
// of R2007 and later stores UTF-8. Everything above the drawing (modules,
// the list language, the command line) sees UTF-8; the file keeps its form.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

class DxfTextCodec {
public:
  // For a file of $ACADVER VERSION ("AC1015"; empty: R12) and $DWGCODEPAGE
  // CODEPAGE ("ANSI_1252"; empty when absent).
  DxfTextCodec(std::string_view version, std::string_view codePage);
  // UTF-8 throughout, for text that never was a file's.
  DxfTextCodec() = default;

  // True for a drawing that stores UTF-8 (R2007 and later).
  bool utf8() const { return codePage_.empty(); }
  // The iconv name of the code page ("CP1252"); empty for a UTF-8 drawing.
  const std::string& codePage() const { return codePage_; }

  // A value as the file holds it, as UTF-8: code-page bytes converted and
  // "\U+XXXX" turned into its character. A byte the code page does not
  // define becomes U+FFFD. Text of ASCII alone comes back as it is.
  std::string toUtf8(std::string_view stored) const;
  // UTF-8 TEXT as the file stores it: in the code page, with "\U+XXXX" for
  // each character it lacks; as it is in a UTF-8 drawing. Bytes that are no
  // UTF-8 are kept as they are (they were never text the host made).
  std::string fromUtf8(std::string_view text) const;

private:
  std::string codePage_; // empty: UTF-8
};

} // namespace corvane
