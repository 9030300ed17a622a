// Read-ahead of face files. While a module walks a selection set in order
// (ads_ssname at positions i, i + 1, ... inside one of its commands or list
// functions), a worker thread writes the face files of the entities ahead
// of it: for each, the file adsi_ent2face would write for a one-entity set
// of it, so that the module's request usually finds its file written.
//
// What holds, whatever the module does:
// * a file handed out is the file the request would have made then; one
//   made with other flags, or one whose making failed, is thrown away and
//   the request served on the spot;
// * files made but never asked for are deleted: those passed over as the
//   walk moves on, by the worker; the rest when the read-ahead stops;
// * anything that may change a drawing or a setting stops the read-ahead
//   first (the host calls beforeHostChange(), see runtime/background_work.h),
//   and it stays off until the module call ends, so a change is never
//   served stale and never raced;
// * when the module call ends (normally, by an abort or a cancel) the
//   worker is joined and no face file of the call is left, handed out or
//   not; a walk out of order turns the read-ahead off for the call.
// The worker makes the files; the command thread makes them too while it
// would otherwise wait for one (so both do when making is the slower side).
// Making a file reads drawings and nothing else of the host; everything
// else runs on the command thread. CORVANE_READ_AHEAD=0 in the environment
// turns the read-ahead off.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "ads.h"
#include "faces/entity_face_file.h"

struct AcDbObjectRecord;

namespace corvane {

class FaceReadAhead {
public:
  static FaceReadAhead& instance();
  ~FaceReadAhead();

  // The module asked for position POSITION of SET (ads_ssname succeeded).
  void walked(const ads_name set, long position);

  // A request for the one entity RECORD with FLAGS: true with the file made
  // for it (the caller hands it out), or false when there is none to give
  // and the caller makes the file itself.
  bool take(const AcDbObjectRecord& record, int flags, EntityFaceFile& file);

  // Stops the worker and deletes every file made and not taken; the
  // read-ahead stays off until moduleCallEnded().
  void stop();

  // The outermost module call returned: stop(), and delete every face file
  // handed out that is still there.
  void moduleCallEnded();

  // Whether the environment allows read-ahead (read once).
  static bool enabled();

  // How many requests were served with a file made ahead, since the start
  // (for tests).
  long filesTaken() const { return taken_; }

private:
  // A file made for POSITION (-1: none).
  struct Made {
    long position = -1;
    EntityFaceFile file;
  };
  enum class Mode { kIdle, kWalking, kOff };

  FaceReadAhead() = default;
  void start(const ads_name set, long position);
  void work();
  // Under mutex_: the next position worth making, taken; -1 when there is
  // none or the files made are far enough ahead.
  long claimNext();
  // Under mutex_: whether a file for POSITION is far enough ahead for the
  // directory to keep it open (FaceFileDirectory::keepOpen).
  bool farAhead(long position) const;
  // Without mutex_: the file for POSITION.
  EntityFaceFile make(long position, bool keepOpen);
  // Under mutex_: the file made for POSITION, kept for the module or, when
  // the walk has passed it, for deleting.
  void store(long position, EntityFaceFile file);
  void wakeWorkerIfRoom();
  Made& slot(long position) { return made_[static_cast<size_t>(position) % made_.size()]; }
  void dropLocked(Made& made);

  // Command-thread state.
  Mode mode_ = Mode::kIdle;
  long taken_ = 0;
  long set_[2] = {0, 0};
  long last_ = -1; // last position walked

  // Shared with the worker, under mutex_.
  std::mutex mutex_;
  std::condition_variable workerWake_, madeOne_;
  std::vector<const AcDbObjectRecord*> members_; // the walked set, fixed at the start
  int flags_ = 1;
  double chord_ = 0;
  long current_ = 0;          // position the module is at
  long next_ = 0;             // next position the worker takes
  long inProgress_ = -1;      // position the worker is making
  long awaited_ = -1;         // position the command thread waits for
  size_t bytesMade_ = 0;      // size of the files made and not taken
  bool workerWaiting_ = false;
  bool stopping_ = false;
  std::vector<Made> made_;    // ring of the positions ahead
  std::vector<const char*> discards_; // files the worker deletes
  std::thread worker_;
};

} // namespace corvane
