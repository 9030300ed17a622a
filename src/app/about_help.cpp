#include "app/about_help.h"

#include <cstring>
#include <new>

#include "ads.h"
#include "res/dialog_templates.h"
#include "ui.h"

void vrmlabout() {
  // No owner window, no behaviour of its own: OK, Escape or the close box end it.
  CDialog about(kAboutDialogId);
  about.DoModal();
}

namespace {

// The length of the module's file name as the host reports it; -1 when the
// host gives none. The host cuts a name to the buffer, so a name that fills
// the buffer is asked for again with a bigger one.
long appNameLength() {
  for (size_t size = 256; size <= (size_t{1} << 20); size *= 2) {
    char* probe = new (std::nothrow) char[size];
    if (probe == nullptr) return -1;
    long length = -1;
    if (ads_getappname(probe, static_cast<int>(size)) == RTNORM) length = static_cast<long>(std::strlen(probe));
    delete[] probe;
    if (length < 0 || static_cast<size_t>(length) + 1 < size) return length;
  }
  return -1;
}

} // namespace

void vrmlhelp() {
  long length = appNameLength();
  // A name without room for the three-letter extension can't be turned into
  // the help file's name: end silently rather than write before the buffer.
  if (length < 3) return;
  size_t n = static_cast<size_t>(length);
  char* helpFile = new (std::nothrow) char[n + 1];
  if (helpFile == nullptr) return;
  if (ads_getappname(helpFile, static_cast<int>(n + 1)) == RTNORM && std::strlen(helpFile) == n) {
    std::memcpy(helpFile + n - 3, "hlp", 3);
    WinHelpA(nullptr, helpFile, HELP_FINDER, 0);
  }
  delete[] helpFile;
}
