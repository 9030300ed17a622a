#include "cli/recovery_copy.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "drawing/drawing.h"
#include "dwg/dwg_reader.h"
#include "runtime/file_errors.h"

namespace corvane {
namespace {

// How many names a folder offers before the next folder is tried.
constexpr int kNamesPerFolder = 9;

// Where copies of one drawing go: PREFIX + STEM + ".recover" (+ "-N") + EXT.
struct CopyFolder {
  std::string prefix;   // the folder with its slash, "" for the current one
  std::string stem;
  std::string extension;
  unsigned maxMode = 0; // a new copy's permissions are the drawing's within these
};

std::string nameIn(const CopyFolder& folder, int index) {
  std::string number = index == 0 ? "" : "-" + std::to_string(index + 1);
  return folder.prefix + folder.stem + ".recover" + number + folder.extension;
}

// The temporary folder holds copies of drawings from everywhere: the name
// carries a hash of the drawing's folder, so that two drawings of one name
// never take each other's copies.
std::string folderTag(const std::string& prefix) {
  std::string folder = prefix.empty() ? "." : prefix;
  char resolved[PATH_MAX];
  if (::realpath(folder.c_str(), resolved) != nullptr) folder = resolved;
  uint32_t hash = 2166136261u; // FNV-1a
  for (unsigned char c : folder) hash = (hash ^ c) * 16777619u;
  char text[9];
  std::snprintf(text, sizeof text, "%08x", hash);
  return text;
}

std::vector<CopyFolder> copyFolders(const std::string& drawingPath) {
  size_t slash = drawingPath.rfind('/');
  size_t baseAt = slash == std::string::npos ? 0 : slash + 1;
  CopyFolder beside;
  beside.prefix = drawingPath.substr(0, baseAt);
  std::string base = drawingPath.substr(baseAt);
  size_t dot = base.rfind('.');
  if (base.empty()) {
    beside.stem = "drawing";
    beside.extension = ".dxf";
  } else if (dot != std::string::npos && dot > 0) {
    beside.stem = base.substr(0, dot);
    beside.extension = base.substr(dot);
    // A copy is DXF text: a drawing read from a DWG gets a DXF's name.
    if (dwg::isDwgName(base)) beside.extension = ".dxf";
  } else {
    beside.stem = base;
  }
  beside.maxMode = 0666;
  CopyFolder temporary = beside;
  const char* tmp = std::getenv("TMPDIR");
  temporary.prefix = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/";
  temporary.stem += "-" + folderTag(beside.prefix);
  // Others may read the temporary folder: the copy there is the user's alone.
  temporary.maxMode = 0600;
  return {beside, temporary};
}

// 0 when nothing bears NAME, EEXIST when something does, else why the
// folder can't tell.
int nameState(const std::string& name) {
  struct stat st;
  if (::lstat(name.c_str(), &st) == 0) return EEXIST;
  return errno == ENOENT ? 0 : errno;
}

// Files written within one tick of the file system's clock share a time: a
// copy is taken as newer unless it is plainly older.
bool notOlder(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec >= b.tv_nsec;
}

} // namespace

std::vector<std::string> RecoveryCopy::names(const std::string& drawingPath) {
  std::vector<std::string> all;
  for (const CopyFolder& folder : copyFolders(drawingPath))
    for (int i = 0; i < kNamesPerFolder; ++i) all.push_back(nameIn(folder, i));
  return all;
}

std::vector<std::string> RecoveryCopy::newerThanDrawing(const std::string& drawingPath) {
  std::vector<std::string> found;
  struct stat drawing;
  if (drawingPath.empty() || ::stat(drawingPath.c_str(), &drawing) != 0) return found;
  for (const std::string& name : names(drawingPath)) {
    struct stat copy;
    if (::lstat(name.c_str(), &copy) == 0 && S_ISREG(copy.st_mode) && notOlder(copy.st_mtim, drawing.st_mtim))
      found.push_back(name);
  }
  return found;
}

bool RecoveryCopy::stillOurs() const {
  struct stat st;
  return !path_.empty() && ::lstat(path_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_;
}

bool RecoveryCopy::current(const Drawing& drawing) const {
  return changes_ == drawing.changeCount() && stillOurs();
}

HostResult RecoveryCopy::write(const Drawing& drawing) {
  bool ours = stillOurs();
  std::string reasons;
  for (const CopyFolder& folder : copyFolders(drawing.file().path())) {
    std::string error;
    for (int i = 0; i < kNamesPerFolder && error.empty(); ++i) {
      std::string name = nameIn(folder, i);
      const bool again = ours && name == path_;
      int state = again ? 0 : nameState(name);
      if (state == EEXIST) continue;
      if (state != 0) {
        error = name + ": " + fileErrorText(name, state);
        break;
      }
      // The name is never followed: a link put there since it was seen free
      // makes the write fail, and the copy we wrote before is replaced by
      // name, whatever someone put in its place.
      SaveResult saved = drawing.saveCopy(name, folder.maxMode,
                                          again ? FileReplacer::Target::kNameItself : FileReplacer::Target::kNewName);
      // Taken meanwhile: the next name.
      if (saved.nameTaken) continue;
      if (!saved) {
        // The folder refuses (no permission, a full disk): its other names
        // would fare no better.
        error = saved.error;
        break;
      }
      if (ours && name != path_) ::unlink(path_.c_str());
      path_ = name;
      changes_ = drawing.changeCount();
      struct stat st;
      if (::lstat(name.c_str(), &st) == 0) {
        device_ = st.st_dev;
        inode_ = st.st_ino;
      }
      return {};
    }
    if (error.empty()) error = nameIn(folder, 0) + " to " + nameIn(folder, kNamesPerFolder - 1) + " are taken";
    reasons += (reasons.empty() ? "" : "; ") + error;
  }
  return {reasons};
}

void RecoveryCopy::remove() {
  if (stillOurs()) ::unlink(path_.c_str());
  path_.clear();
}

std::string RecoveryCopy::atPrompt(const Drawing& drawing, double minutes, Clock::time_point now) {
  if (!drawing.modified()) {
    remove();
    since_ = now;
    timing_ = true;
    return {};
  }
  if (!timing_) {
    since_ = now;
    timing_ = true;
  }
  if (minutes <= 0 || current(drawing) || now - since_ < std::chrono::duration<double, std::ratio<60>>(minutes))
    return {};
  // A copy that can't be written is tried again after as long.
  since_ = now;
  const HostResult written = write(drawing);
  return written ? "Automatic save to " + path_ + "." : "Automatic save failed: " + written.error;
}

} // namespace corvane
