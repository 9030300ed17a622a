// `corvane export` on many drawings: the drawings named and those of the
// folders named (their .dxf and .dwg files; with -r their sub-folders'
// too), each exported by the single export (exportOne) in a worker process
// of its own, several at once, so that a drawing that crashes its worker or
// is refused takes nothing else down.
//
// The worlds go to the output folder (made if missing), each named after
// its drawing, a folder's sub-folders kept below it. Two drawings that would
// give one world name refuse the whole batch before anything is written. A
// stop signal (Ctrl-C, SIGTERM, SIGHUP) reaches every worker once; each
// keeps the world it was writing as it was, and no drawing is started after
// it. Exit status: the worst of the drawings' (0, 1, 2, 3, 130), a worker
// that crashed counting as 3.
#pragma once

#include "cli/export_command.h"

namespace corvane {

// Runs the batch OPTIONS names, each worker loading modules as SESSION
// says; progress, the drawings' lines and the summary on STREAMS.out
// (cli/batch_display), a refused batch's reasons on STREAMS.err. The
// caller has installed the interrupt handlers. Returns the exit status.
int runBatchExport(const ExportOptions& options, const SessionOptions& session, const OutputStreams& streams);

} // namespace corvane
