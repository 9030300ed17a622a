// The recovery copy: the drawing with its unsaved changes, written beside
// it (never over it) when the session ends without the user's word (a stop
// signal, a terminal that went away) and every SAVETIME minutes while the
// drawing has changes nobody saved, so that a crash loses little work.
//
// house.dxf is copied to house.recover.dxf; when that name holds a file
// this session did not write (an earlier session's copy the user has not
// dealt with yet), to house.recover-2.dxf and on. Where the drawing's folder
// can't be written, the copy goes to $TMPDIR (or /tmp) as
// house-XXXXXXXX.recover.dxf, XXXXXXXX standing for the drawing's folder.
// A copy is written as SAVE writes the drawing (its own form, replaced only
// when complete) and removed only by the session that wrote it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/host_result.h"

namespace corvane {

class Drawing;

class RecoveryCopy {
public:
  using Clock = std::chrono::steady_clock;

  // The names a copy of the drawing at DRAWINGPATH ("" for a drawing that
  // has no file yet) may take, in the order they are tried: beside it, then
  // in the temporary folder.
  static std::vector<std::string> names(const std::string& drawingPath);
  // Copies of the drawing at DRAWINGPATH that earlier sessions left, newer
  // than the drawing itself (or as new): they hold changes it lacks.
  static std::vector<std::string> newerThanDrawing(const std::string& drawingPath);

  // Writes DRAWING as it stands to this session's copy (its first free
  // name, or the file it wrote before); fails with the reasons why no name
  // would take it, in one line.
  HostResult write(const Drawing& drawing);
  // True when the copy this session wrote holds DRAWING as it stands.
  bool current(const Drawing& drawing) const;
  // Removes the copy this session wrote, if the file is still the one it
  // wrote; the next write starts afresh.
  void remove();
  // The copy this session wrote, "" when none.
  const std::string& path() const { return path_; }

  // The automatic copy, checked at the "Command: " prompt. With MINUTES > 0,
  // writes the copy once DRAWING has had changes for MINUTES since it was
  // last saved (or since its last copy, when it changed again). A drawing
  // without unsaved changes needs no copy: this session's is removed. Returns
  // the line to show: where the copy went, or why it could not be written;
  // empty when nothing was done.
  std::string atPrompt(const Drawing& drawing, double minutes, Clock::time_point now = Clock::now());

private:
  // True while path_ is the file this session wrote there.
  bool stillOurs() const;

  std::string path_;       // the copy written, "" when none
  dev_t device_ = 0;       // and the file it is (lstat), so that a file
  ino_t inode_ = 0;        // someone else put there is never touched
  uint64_t changes_ = 0;   // the drawing's change count the copy holds
  Clock::time_point since_{}; // when the drawing was last seen without changes, or copied
  bool timing_ = false;       // since_ is set
};

} // namespace corvane
