#include "cli/batch_display.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "runtime/text.h"

namespace corvane {
namespace {

// Reasons listed under the summary at most; the rest are counted.
constexpr size_t kReasonsShown = 20;

size_t terminalWidth() {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  return 80;
}

// TEXT cut to WIDTH characters (UTF-8 sequences kept whole).
std::string fitted(const std::string& text, size_t width) { return text.substr(0, utf8Prefix(text, width)); }

std::string plural(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// SECONDS to a tenth, whatever the locale.
std::string fixedSeconds(double seconds) {
  long tenths = std::lround(seconds * 10);
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

} // namespace

std::string clockTime(double seconds) {
  long total = seconds > 0 ? std::lround(seconds) : 0;
  long hours = total / 3600, minutes = total / 60 % 60, rest = total % 60;
  std::string text = hours > 0 ? std::to_string(hours) + ":" + (minutes < 10 ? "0" : "") : "";
  return text + std::to_string(minutes) + ":" + (rest < 10 ? "0" : "") + std::to_string(rest);
}

BatchDisplay::BatchDisplay(const OutputStreams& streams, Mode mode, size_t total, uint64_t totalBytes)
    : streams_(streams), mode_(mode), total_(total), totalBytes_(totalBytes), start_(Clock::now()) {}

void BatchDisplay::started(const std::string& name) {
  current_.push_back(name);
  if (mode_ == Mode::kLive) draw(Clock::now());
}

void BatchDisplay::finished(const DrawingOutcome& outcome, uint64_t bytes) {
  ++done_;
  doneBytes_ += bytes;
  objects_ += outcome.converted;
  auto at = std::find(current_.begin(), current_.end(), outcome.drawing);
  if (at != current_.end()) current_.erase(at);
  outcomes_.push_back(outcome);
  std::ostream& out = streams_.out;
  switch (mode_) {
  case Mode::kJson:
    out << outcomeJson(outcome) << "\n";
    break;
  case Mode::kLines:
    out << outcomeLine(outcome) << "\n";
    break;
  case Mode::kLive:
    if (worthSaying(outcome)) {
      clearLive();
      out << outcomeLine(outcome) << "\n";
    }
    draw(Clock::now());
    break;
  }
  out.flush();
}

void BatchDisplay::tick() {
  if (mode_ != Mode::kLive) return;
  Clock::time_point now = Clock::now();
  if (now - lastDrawn_ >= std::chrono::milliseconds(100)) draw(now);
}

std::string BatchDisplay::liveLine(Clock::time_point now, size_t width) const {
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  std::string line = "Exporting: " + std::to_string(done_) + " of " + plural(total_, "drawing", "drawings") +
                     " done, " + plural(objects_, "object", "objects") + " converted, " + clockTime(elapsed);
  // What remains, at the pace so far: drawings take time by their size.
  if (doneBytes_ > 0 && done_ < total_) {
    double rest = elapsed * static_cast<double>(totalBytes_ - std::min(doneBytes_, totalBytes_)) /
                  static_cast<double>(doneBytes_);
    line += ", about " + clockTime(rest) + " left";
  }
  if (!current_.empty()) {
    line += "; now ";
    for (size_t i = 0; i < current_.size(); ++i) line += (i > 0 ? ", " : "") + current_[i];
  }
  return fitted(line, width);
}

void BatchDisplay::draw(Clock::time_point now) {
  lastDrawn_ = now;
  streams_.out << "\r" << liveLine(now, terminalWidth() - 1) << "\x1b[K";
  streams_.out.flush();
  liveShown_ = true;
}

void BatchDisplay::clearLive() {
  if (!liveShown_) return;
  streams_.out << "\r\x1b[K";
  liveShown_ = false;
}

void BatchDisplay::close(size_t notStarted, const std::string& outputFolder) {
  if (mode_ == Mode::kJson) return;
  clearLive();
  size_t exported = 0, nothing = 0, refused = 0, aborted = 0, crashed = 0, interrupted = 0;
  std::vector<const DrawingOutcome*> reasons;
  for (const DrawingOutcome& o : outcomes_) {
    if (o.crashed) ++crashed;
    else if (o.status == kExitOk) ++exported;
    else if (o.status == kExitFalse) ++nothing;
    else if (o.status == kExitInterrupted) ++interrupted;
    else if (o.status == kExitAborted) ++aborted;
    else ++refused;
    if (o.status != kExitOk) reasons.push_back(&o);
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - start_).count();
  const std::string took = elapsed < 60 ? fixedSeconds(elapsed) + " s" : clockTime(elapsed);
  std::string line = plural(total_, "drawing", "drawings") + " in " + took + ": " +
                     std::to_string(exported) + " exported (" + plural(objects_, "object", "objects") +
                     " converted) to " + outputFolder;
  if (nothing > 0) line += ", " + std::to_string(nothing) + " with nothing to convert";
  if (refused > 0) line += ", " + std::to_string(refused) + " refused";
  if (aborted > 0) line += ", " + std::to_string(aborted) + " aborted";
  if (crashed > 0) line += ", " + std::to_string(crashed) + " crashed";
  if (interrupted > 0) line += ", " + std::to_string(interrupted) + " interrupted";
  if (notStarted > 0) line += ", " + std::to_string(notStarted) + " not started";
  std::ostream& out = streams_.out;
  out << line << "\n";
  for (size_t i = 0; i < reasons.size() && i < kReasonsShown; ++i) {
    const DrawingOutcome& o = *reasons[i];
    // Why nothing was converted says so itself; other ends are named first.
    std::string why = o.status == kExitFalse && !o.notes.empty() ? "" : o.verdict();
    for (const std::string& note : o.notes) why += (why.empty() ? "" : "; ") + note;
    out << "  " << o.drawing << ": " << why;
    out << "\n";
  }
  if (reasons.size() > kReasonsShown) out << "  and " << reasons.size() - kReasonsShown << " more\n";
  out.flush();
}

} // namespace corvane
