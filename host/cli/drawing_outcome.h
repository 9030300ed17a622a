// What became of one drawing of `corvane export`: the facts the batch shows
// on its line, in its summary and as JSON, and `--json` prints for a single
// drawing too.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace corvane {

struct DrawingOutcome {
  std::string drawing;    // as the command line named it (or found it in a folder)
  std::string world;      // the world file it was to write ("-": standard output)
  int status = 0;         // the single export's exit status (ExitStatus)
  size_t converted = 0;   // objects in the world (0 unless status is 0)
  // Objects of kinds the export does not convert, by DXF type, most first.
  std::vector<std::pair<std::string, size_t>> ignored;
  double seconds = 0;
  // What the export said on its error stream, one line each without the
  // "corvane: " in front (warnings, why nothing was converted, why the
  // drawing was refused); for a worker that crashed, how it ended.
  std::vector<std::string> notes;
  bool crashed = false;   // its worker died of a signal, or ended without a word

  size_t ignoredCount() const;
  // "exported", "nothing converted", "refused", "aborted" (acrx_abort),
  // "crashed", "interrupted".
  const char* verdict() const;
};

// One JSON object on one line (no line end): drawing, world, status,
// verdict, converted, ignored (an object of DXF type: count), seconds,
// message (the notes joined by "; ", "" when none).
std::string outcomeJson(const DrawingOutcome& outcome);

// The drawing's line in the batch's report: "lib/a.dxf: 12 converted, 3
// ignored, 0.41 s", then "; " and each note; a drawing not exported says
// so in place of the counts ("lib/b.dxf: refused, 0.01 s; cannot read ...").
std::string outcomeLine(const DrawingOutcome& outcome);

// True when the outcome is worth a line on a terminal: not exported, or
// exported with a warning.
bool worthSaying(const DrawingOutcome& outcome);

// Splits TEXT (what a run wrote on its error stream) into notes: one per
// non-empty line, "corvane: " taken off.
std::vector<std::string> notesFrom(const std::string& text);

} // namespace corvane
