// What a batch export shows while it runs and when it ends: on a terminal
// one live line (drawings done of total, objects converted, elapsed time
// and an estimate of the rest, the drawings under way) with a line above it
// for each drawing worth a word; elsewhere one plain line per drawing as it
// finishes; with --json one JSON object per drawing. Then a summary, except
// in JSON.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/drawing_outcome.h"
#include "cli/session.h"

namespace corvane {

class BatchDisplay {
public:
  enum class Mode {
    kLive,  // a person watches OUT: the live line, and lines worth saying
    kLines, // a plain line per drawing, no carriage return anywhere
    kJson,  // a JSON object per drawing, nothing else
  };
  using Clock = std::chrono::steady_clock;

  // TOTAL drawings of TOTALBYTES bytes in all are to be exported; the
  // display writes on STREAMS.out, which must outlive it.
  BatchDisplay(const OutputStreams& streams, Mode mode, size_t total, uint64_t totalBytes);

  // The drawing NAME has started, or has finished with OUTCOME (BYTES: the
  // size of its file, for the estimate).
  void started(const std::string& name);
  void finished(const DrawingOutcome& outcome, uint64_t bytes);
  // Redraws the live line when it last did a tenth of a second ago or
  // more; only kLive draws one.
  void tick();
  // Takes the live line away and prints the summary: how many drawings
  // were exported (and their objects), had nothing to convert, were
  // refused, crashed or were interrupted, NOTSTARTED of them never started
  // (a stop), with the reason for each drawing not exported.
  void close(size_t notStarted, const std::string& outputFolder);

  // The live line as it would be drawn at NOW, WIDTH columns at most.
  std::string liveLine(Clock::time_point now, size_t width) const;

private:
  void draw(Clock::time_point now);
  void clearLive();

  const OutputStreams& streams_;
  const Mode mode_;
  const size_t total_;
  const uint64_t totalBytes_;
  const Clock::time_point start_;
  Clock::time_point lastDrawn_{};
  bool liveShown_ = false;
  size_t done_ = 0;
  uint64_t doneBytes_ = 0;
  size_t objects_ = 0;
  std::vector<std::string> current_;       // drawings under way, in start order
  std::vector<DrawingOutcome> outcomes_;   // finished, in finishing order
};

// "0:07", "12:30", "1:02:03".
std::string clockTime(double seconds);

} // namespace corvane
