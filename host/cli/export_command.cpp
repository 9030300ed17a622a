#include "cli/export_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "cli/batch_export.h"
#include "cli/drawing_outcome.h"
#include "console/interrupts.h"
#include "runtime/file_errors.h"

namespace corvane {
namespace {

bool isFolder(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A private folder for a world on its way to standard output, removed
// with what it holds when this goes.
class PrivateFolder {
public:
  PrivateFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") + "/corvane-world-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    else error_ = errno;
  }
  ~PrivateFolder() {
    if (path_.empty()) return;
    if (!file_.empty()) ::unlink(file_.c_str());
    ::rmdir(path_.c_str());
  }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

  // The folder; empty when it could not be made (error() says why).
  const std::string& path() const { return path_; }
  int error() const { return error_; }
  // NAME in the folder, removed with it.
  std::string file(const std::string& name) {
    file_ = path_ + "/" + name;
    return file_;
  }

private:
  std::string path_;
  std::string file_;
  int error_ = 0;
};

// Copies the file PATH to OUT. Empty, or why it could not.
std::string copyTo(const std::string& path, std::ostream& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "cannot read " + path;
  // A reader that has gone away is a failed write, not the end of us.
  auto previous = std::signal(SIGPIPE, SIG_IGN);
  errno = 0;
  out << in.rdbuf();
  out.flush();
  const int error = errno;
  std::signal(SIGPIPE, previous);
  errno = error;
  if (!out) return "cannot write the world to standard output: " + fileErrorText("standard output", errno ? errno : EIO);
  return {};
}

// The single export of DRAWING as the command line asks.
int exportSingle(const std::string& drawing, const ExportOptions& options, SessionOptions session,
                 const OutputStreams& streams) {
  session.drawingPath = drawing.empty() ? sampleDrawingPath() : drawing;
  const bool toStandardOutput = options.output == "-";
  if (toStandardOutput && options.json) {
    diagnose(streams, "export: --json and -o - both write standard output\nTry 'corvane export --help'.");
    return kExitLoadError;
  }
  std::string world = options.output;
  if (world.empty()) world = worldNameFor(session.drawingPath);
  else if (!toStandardOutput && isFolder(world))
    world += (world.back() == '/' ? "" : "/") + worldNameFor(session.drawingPath);

  // A FIFO, socket or device would be opened by the module and written in
  // place, or wait for ever for a reader: standard output is "-o -".
  struct stat st;
  if (!toStandardOutput && ::stat(world.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    diagnose(streams, "cannot write " + world + ": it is " + specialFileKind(st.st_mode) +
                          ", not a regular file (-o - writes standard output)");
    return kExitLoadError;
  }

  // With -o -, the transcript and the diagnostics share the error stream,
  // and the world goes out only when it is whole.
  PrivateFolder folder;
  if (toStandardOutput) {
    if (folder.path().empty()) {
      diagnose(streams, "cannot make a temporary folder for the world: " +
                            fileErrorText("the temporary folder", folder.error()));
      return kExitLoadError;
    }
    world = folder.file(worldNameFor(session.drawingPath));
  }
  std::ostringstream discarded, said;
  const OutputStreams used = toStandardOutput ? OutputStreams{streams.err, streams.err, streams.errIsTerminal,
                                                              streams.errIsTerminal}
                             : options.json   ? OutputStreams{discarded, said, false, false}
                                              : streams;
  const auto started = std::chrono::steady_clock::now();
  ExportTally tally;
  int status = exportOne(session, world, options.layers, options.keepBlocks, progressFor(used, options.progress),
                         used, &tally);
  if (toStandardOutput && status == kExitOk) {
    std::string error = copyTo(world, streams.out);
    if (!error.empty()) {
      diagnose(streams, error);
      status = kExitLoadError;
    }
  }
  if (options.json) {
    streams.err << said.str();
    DrawingOutcome outcome;
    outcome.drawing = session.drawingPath;
    outcome.world = world;
    outcome.status = status;
    outcome.converted = status == kExitOk ? tally.convertible : 0;
    outcome.ignored = tally.ignored;
    outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    outcome.notes = notesFrom(said.str());
    streams.out << outcomeJson(outcome) << "\n";
    streams.out.flush();
  }
  return status;
}

} // namespace

bool isDrawingFileName(const std::string& name) {
  std::string lower;
  for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.ends_with(".dxf") || lower.ends_with(".dwg");
}

std::string worldNameFor(const std::string& drawingPath) {
  std::string base = drawingPath.substr(drawingPath.rfind('/') == std::string::npos ? 0 : drawingPath.rfind('/') + 1);
  size_t dot = base.rfind('.');
  if (dot != std::string::npos && dot > 0) base.erase(dot);
  return (base.empty() ? std::string("drawing") : base) + ".wrl";
}

SessionOptions::Progress progressFor(const OutputStreams& streams, bool forced) {
  if (forced) return SessionOptions::Progress::kAll;
  return streams.outIsTerminal ? SessionOptions::Progress::kLatest : SessionOptions::Progress::kNone;
}

int exportOne(SessionOptions session, const std::string& world, const std::vector<std::string>& layers,
              bool keepBlocks, SessionOptions::Progress progress, const OutputStreams& streams, ExportTally* tally) {
  if (session.drawingPath.empty()) session.drawingPath = sampleDrawingPath();
  session.readOnly = true;
  session.quietLoad = true;
  session.progress = progress;
  Session running(streams);
  std::string error;
  if (!running.start(session, error)) {
    diagnose(streams, error);
    return kExitLoadError;
  }
  const std::string output = world.empty() ? worldNameFor(session.drawingPath) : world;
  int status = kExitInterrupted;
  if (!stopRequested()) {
    status = running.exportTo(output, layers, keepBlocks, tally);
  } else {
    diagnose(streams, "interrupted; " + output + " was not written");
  }
  running.stop();
  streams.out.flush();
  return status;
}

int runExportCommand(const ExportOptions& options, const SessionOptions& session, const OutputStreams& streams) {
  const bool batch = options.drawings.size() > 1 || (options.drawings.size() == 1 && isFolder(options.drawings[0]));
  installInterruptHandlers(false);
  if (batch) return runBatchExport(options, session, streams);
  return exportSingle(options.drawings.empty() ? std::string() : options.drawings[0], options, session, streams);
}

} // namespace corvane
