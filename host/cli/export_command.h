// `corvane export`: one drawing in this process (as the command always
// did), or many, each in a worker process of its own (cli/batch_export).
#pragma once

#include <string>
#include <vector>

#include "cli/session.h"

namespace corvane {

// What `corvane export` was asked for (cli/program parses it).
struct ExportOptions {
  std::vector<std::string> drawings; // drawings and folders, as given; none: the sample
  // -o: with one drawing the world file ("-": standard output; an existing
  // folder: the world goes in it); with several, the folder of the worlds
  // (made if missing). Empty: the current folder.
  std::string output;
  std::vector<std::string> layers; // --layer, for every drawing
  bool keepBlocks = false;         // --keep-blocks
  bool recursive = false;          // -r: a folder's sub-folders too
  bool json = false;               // --json: one JSON object a drawing on OUT
  bool progress = false;           // --progress: the module's progress even in a pipe
  unsigned jobs = 0;               // -j: drawings at once; 0: one per core
};

// Runs `corvane export` with OPTIONS, loading modules as SESSION says
// (its drawingPath is ignored): a batch when several drawings or a folder
// are named, else the single export. The exit status (ExitStatus).
int runExportCommand(const ExportOptions& options, const SessionOptions& session, const OutputStreams& streams);

// The single export, the one thing each worker of a batch runs as well:
// loads SESSION.drawingPath and the module in a session of its own and
// exports to WORLD ("" : the drawing's base name with .wrl, here), the
// transcript on STREAMS.out with the module's progress as PROGRESS asks,
// diagnostics on STREAMS.err. TALLY, when given, receives what the export
// was given (left empty when the drawing or the module could not be
// loaded). Returns the exit status.
int exportOne(SessionOptions session, const std::string& world, const std::vector<std::string>& layers,
              bool keepBlocks, SessionOptions::Progress progress, const OutputStreams& streams,
              ExportTally* tally = nullptr);

// True for a name a drawing's file has: ending in .dxf or .dwg, in any case.
bool isDrawingFileName(const std::string& name);

// The world's file name for the drawing at DRAWINGPATH: its base name with
// .wrl in place of its extension ("drawing.wrl" when it has no name).
std::string worldNameFor(const std::string& drawingPath);

// What the single export shows of the module's progress on STREAMS.out:
// all of it with --progress, the latest on a terminal, none in a pipe.
SessionOptions::Progress progressFor(const OutputStreams& streams, bool forced);

} // namespace corvane
