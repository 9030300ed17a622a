#include "runtime/link_rules.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

constexpr int kMaxLinks = 40;

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The kernel's rule for following the link LINK (lstat'ed as LINKINFO).
bool kernelFollows(const std::string& link, const struct stat& linkInfo) {
  if (linkInfo.st_uid == ::geteuid()) return true;
  struct stat folder;
  if (::stat(folderOf(link).c_str(), &folder) != 0) return false;
  const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
  return !shared || folder.st_uid == linkInfo.st_uid;
}

} // namespace

FollowedPath followLinks(const std::string& path) {
  FollowedPath followed{path, {}};
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    struct stat st;
    if (::lstat(followed.path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return followed;
    if (!kernelFollows(followed.path, st)) {
      followed.refused = followed.path;
      return followed;
    }
    char link[PATH_MAX];
    ssize_t n = ::readlink(followed.path.c_str(), link, sizeof link);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof link) return followed;
    std::string next(link, static_cast<size_t>(n));
    size_t slash = followed.path.rfind('/');
    if (next[0] != '/' && slash != std::string::npos) next.insert(0, followed.path, 0, slash + 1);
    followed.path = std::move(next);
  }
  return followed;
}

std::string refusedLinkText(const std::string& link) {
  return link + " is a link another user made in a folder anyone may write; the system would not follow it, "
                "and neither does corvane";
}

} // namespace corvane
