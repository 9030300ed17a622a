#include "faces/face_read_ahead.h"
#include "faces/face_builder.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <system_error>

#include "drawing/entity_names.h"
#include "drawing/selection_sets.h"
#include "faces/face_file_directory.h"
#include "runtime/background_work.h"
#include "runtime/module_loader.h"

namespace corvane {
namespace {

// How far the worker runs ahead of the module: files, and their bytes.
constexpr long kAhead = 32;
constexpr size_t kBytesAhead = 16u << 20;

// The flags of the last request: the guess for the files made ahead.
int gLastFlags = 1;

} // namespace

FaceReadAhead& FaceReadAhead::instance() {
  // The directory is made first, so that it outlives the read-ahead, whose
  // end deletes files in it.
  FaceFileDirectory::forProcess();
  static FaceReadAhead readAhead;
  static const bool hooked = [] {
    setBackgroundWork({[] { instance().stop(); }, [] { instance().moduleCallEnded(); },
                       &FaceFileDirectory::removeForSignal});
    return true;
  }();
  (void)hooked;
  return readAhead;
}

FaceReadAhead::~FaceReadAhead() {
  stop();
  setBackgroundWork({}); // nothing left to stop for changes made after this
}

bool FaceReadAhead::enabled() {
  static const bool on = [] {
    const char* v = std::getenv("CORVANE_READ_AHEAD");
    return v == nullptr || std::strcmp(v, "0") != 0;
  }();
  return on;
}

void FaceReadAhead::walked(const ads_name set, long position) {
  if (mode_ == Mode::kOff || !enabled() || moduleCallDepth() == 0) return;
  if (mode_ == Mode::kIdle) {
    start(set, position);
    return;
  }
  if (set[0] != set_[0] || set[1] != set_[1]) {
    // Another set: a new walk once the last one is through, else off.
    const bool through = last_ + 1 >= static_cast<long>(members_.size());
    stop();
    if (through) {
      mode_ = Mode::kIdle;
      start(set, position);
    }
    return;
  }
  if (position == last_) return;
  if (position != last_ + 1) {
    stop(); // out of order: the module's own business, served on demand
    return;
  }
  last_ = position;
  std::lock_guard lock(mutex_);
  current_ = position;
  // A file made for the position just left and not asked for is deleted by
  // the worker; it never makes a position the walk has passed.
  Made& passed = slot(position - 1);
  if (passed.position == position - 1) dropLocked(passed);
  if (next_ < current_) next_ = current_;
  wakeWorkerIfRoom();
}

void FaceReadAhead::start(const ads_name set, long position) {
  long length = 0;
  if (!selectionSetLength(set, length) || length < 2) return;
  members_.clear();
  members_.reserve(static_cast<size_t>(length));
  for (long i = 0; i < length; ++i) {
    ads_name entity;
    members_.push_back(selectionSetMember(set, i, entity) ? recordFromEntityName(entity) : nullptr);
  }
  flags_ = gLastFlags;
  chord_ = chordTolerance();
  faceGeometryClasses(); // registered here, not by the worker
  current_ = position;
  next_ = position;
  inProgress_ = awaited_ = -1;
  bytesMade_ = 0;
  workerWaiting_ = stopping_ = false;
  made_.assign(kAhead + 2, Made{});
  discards_.clear();
  set_[0] = set[0];
  set_[1] = set[1];
  last_ = position;
  try {
    worker_ = std::thread([this] { work(); });
    mode_ = Mode::kWalking;
  } catch (const std::system_error&) {
    members_.clear();
    mode_ = Mode::kOff;
  }
}

bool FaceReadAhead::take(const AcDbObjectRecord& record, int flags, EntityFaceFile& file) {
  const int guessed = gLastFlags;
  gLastFlags = flags;
  if (mode_ != Mode::kWalking) return false;
  if (flags != guessed) {
    stop(); // every file made ahead has the wrong flags
    return false;
  }
  std::unique_lock lock(mutex_);
  if (current_ >= static_cast<long>(members_.size()) || members_[static_cast<size_t>(current_)] != &record)
    return false;
  Made& made = slot(current_);
  while (made.position != current_) {
    if (inProgress_ != current_) {
      // Not begun: the request makes it, and the worker passes it by.
      if (next_ <= current_) next_ = current_ + 1;
      return false;
    }
    // The worker is making it. Rather than wait, this thread makes the next
    // file in the meantime, when there is one to make: when making files is
    // the slower side, both threads make them.
    const long position = claimNext();
    if (position < 0) {
      awaited_ = current_;
      madeOne_.wait(lock, [&] { return made.position == current_; });
      awaited_ = -1;
      break;
    }
    const bool keepOpen = farAhead(position);
    lock.unlock();
    EntityFaceFile helped = make(position, keepOpen);
    lock.lock();
    store(position, std::move(helped));
  }
  file = std::move(made.file);
  made = Made{};
  bytesMade_ -= file.size;
  wakeWorkerIfRoom();
  // A failure made ahead is made again on the spot, where it is reported.
  if (file.fileName == nullptr) return false;
  ++taken_;
  return true;
}

void FaceReadAhead::stop() {
  if (mode_ == Mode::kWalking) {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      workerWake_.notify_one();
    }
    worker_.join();
    FaceFileDirectory& directory = FaceFileDirectory::forProcess();
    for (Made& made : made_)
      if (made.position >= 0 && made.file.fileName) directory.discard(made.file.fileName);
    for (const char* name : discards_) directory.discard(name);
    made_.clear();
    discards_.clear();
    members_.clear();
  }
  mode_ = moduleCallDepth() > 0 ? Mode::kOff : Mode::kIdle;
}

void FaceReadAhead::moduleCallEnded() {
  stop();
  mode_ = Mode::kIdle;
  FaceFileDirectory::forProcess().sweep();
}

void FaceReadAhead::dropLocked(Made& made) {
  if (made.file.fileName) discards_.push_back(made.file.fileName);
  bytesMade_ -= made.file.size;
  made = Made{};
}

void FaceReadAhead::wakeWorkerIfRoom() {
  // The worker sleeps once it is far enough ahead and is woken when the
  // module has taken half of that: one wake-up per half window, not one per
  // object.
  if (!workerWaiting_) return;
  const bool room = next_ < static_cast<long>(members_.size()) && next_ - current_ <= kAhead / 2 &&
                    bytesMade_ <= kBytesAhead / 2;
  if (room || discards_.size() >= static_cast<size_t>(kAhead / 2)) workerWake_.notify_one();
}

long FaceReadAhead::claimNext() {
  const long count = static_cast<long>(members_.size());
  while (next_ < count && (members_[static_cast<size_t>(next_)] == nullptr ||
                           !hasFaceGeometry(*members_[static_cast<size_t>(next_)])))
    ++next_;
  if (next_ >= count || next_ - current_ > kAhead || bytesMade_ >= kBytesAhead) return -1;
  return next_++;
}

bool FaceReadAhead::farAhead(long position) const {
  // Freeing a deleted file costs about as much as making one. While the
  // files are well ahead of the module, the directory keeps the new one
  // open and frees it later on the thread that makes files, so that the
  // module's delete only removes a name; otherwise the delete frees it.
  return position - current_ > kAhead / 2;
}

EntityFaceFile FaceReadAhead::make(long position, bool keepOpen) {
  try {
    return writeEntityFaceFile({&members_[static_cast<size_t>(position)], 1}, flags_, chord_, keepOpen);
  } catch (const std::exception&) {
    return {}; // no file: the request makes it on the spot
  }
}

void FaceReadAhead::store(long position, EntityFaceFile file) {
  if (position < current_) {
    if (file.fileName) discards_.push_back(file.fileName); // passed meanwhile
  } else {
    Made& made = slot(position);
    made.position = position;
    made.file = std::move(file);
    bytesMade_ += made.file.size;
  }
  if (awaited_ == position) madeOne_.notify_one();
}

void FaceReadAhead::work() {
  FaceFileDirectory& directory = FaceFileDirectory::forProcess();
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    const long position = claimNext();
    if (position < 0 && discards_.empty()) {
      workerWaiting_ = true;
      workerWake_.wait(lock);
      workerWaiting_ = false;
      continue;
    }
    std::vector<const char*> discards;
    discards.swap(discards_);
    inProgress_ = position;
    const bool keepOpen = farAhead(position);
    lock.unlock();

    for (const char* name : discards) directory.discard(name);
    EntityFaceFile file;
    if (position >= 0) file = make(position, keepOpen);

    lock.lock();
    inProgress_ = -1;
    if (position >= 0) store(position, std::move(file));
  }
}

} // namespace corvane
