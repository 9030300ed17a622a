// Symbolic links at the names the host writes, followed only where the
// kernel itself would follow them (fs.protected_symlinks): in a sticky
// folder anyone may write (/tmp), a link is followed only when it belongs
// to the user or to the folder's owner. A link another user planted there
// could otherwise lead a write into a file of the user's that that user
// could never reach.
#pragma once

#include <string>

namespace corvane {

struct FollowedPath {
  std::string path;    // the file PATH leads to (PATH itself when no link)
  std::string refused; // the link the kernel would not follow; "" when none
};

// PATH with the links of its last part followed (at most 40, as the
// kernel's limit), stopping at the first link the kernel's rule refuses:
// that link is then named in REFUSED and PATH is not to be written. A loop
// or an unreadable link is left for the open that follows to report.
FollowedPath followLinks(const std::string& path);

// The line that says why the link at LINK is not followed.
std::string refusedLinkText(const std::string& link);

} // namespace corvane
