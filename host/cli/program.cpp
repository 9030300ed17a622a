#include "cli/program.h"

#include <fstream>

#include "console/interrupts.h"

namespace corvane {
namespace {

const char* const kVersion = "corvane 1.0.0";

const char* const kUsage =
    "usage: corvane [--module PATH] [--support DIR]... COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  shell [DRAWING]            interactive command line\n"
    "  run DRAWING SCRIPT         answer every prompt from SCRIPT ('-': standard input)\n"
    "  export [DRAWING] [-o OUT.wrl] [--layer NAME]... [--keep-blocks]\n"
    "                             export every object (or those on the layers) to VRML\n"
    "\n"
    "options:\n"
    "  --module PATH   the module to load (default: Vrml.arx beside corvane)\n"
    "  --support DIR   another folder to search for support files\n"
    "  --help          this text; COMMAND --help for a command's own\n"
    "  --version       the program's version\n"
    "\n"
    "exit status: 0 success, 1 the export converted nothing, 2 a drawing, module,\n"
    "usage or output-file error, 3 the host was aborted, 130 interrupted (Ctrl-C,\n"
    "SIGTERM, SIGHUP).\n";

const char* const kShellUsage =
    "usage: corvane shell [DRAWING]\n"
    "Interactive command line on DRAWING (a DXF or DWG file; none: an empty one).\n"
    "Type a command name, or a list expression such as (vrml_geturl (car (entsel))).\n"
    "Ctrl-C or Escape cancels a prompt or a dialog; Ctrl-D or QUIT leaves.\n"
    "\n"
    "Unsaved changes are never dropped without asking. Ended by SIGTERM or\n"
    "SIGHUP (a closed terminal), the shell writes them to a recovery copy beside\n"
    "the drawing (house.dxf: house.recover.dxf; $TMPDIR or /tmp when the folder\n"
    "can't be written) and says where. While changes stay unsaved, the copy is\n"
    "also written every SAVETIME minutes (default 10, 0 turns it off, fractions\n"
    "allowed: (setvar \"SAVETIME\" 5)), against a crash. SAVE, SAVEAS and a QUIT\n"
    "that discards remove it. A copy newer than the drawing is named at start;\n"
    "open it with corvane shell house.recover.dxf, then SAVEAS.\n"
    "\n"
    "Exit status: 0 normal end, 2 drawing or module can't be loaded, 3 aborted,\n"
    "130 ended by SIGTERM or SIGHUP.\n";

const char* const kExportUsage =
    "usage: corvane export [DRAWING] [-o OUT.wrl] [--layer NAME]... [--keep-blocks]\n"
    "Exports every object of DRAWING (none: the bundled sample drawing), or the\n"
    "objects on the layers named, to a VRML 1.0 world. The default output is\n"
    "the drawing's base name with .wrl, in the current folder. A world file of\n"
    "that name is replaced only by a complete one; the drawing itself is never\n"
    "written. A drawing that changes on disk during the export ends it with\n"
    "status 2 and a message.\n"
    "\n"
    "The objects inside block references are exported where the references\n"
    "place them (every level, every copy of a multiple insert), and MESH\n"
    "objects as polyface meshes, as EXPLODE would place them (in memory only).\n"
    "Objects coloured by block take the reference's colour, objects on layer 0\n"
    "its layer, and --layer picks objects by the layer they end up on.\n"
    "  --keep-blocks  export model space as it stands: block references and\n"
    "                 MESH objects count as objects the export can't convert\n"
    "\n"
    "Exit status: 0 exported, 1 nothing converted, 2 drawing, module, usage or\n"
    "output-file error, 3 aborted, 130 interrupted (the old world file stays).\n";

const char* const kRunUsage =
    "usage: corvane run DRAWING SCRIPT\n"
    "Runs the command line on DRAWING ('-': an empty drawing), answering every\n"
    "prompt from SCRIPT ('-': standard input), one line per answer, and prints\n"
    "the transcript. An empty line is Enter, a line ^C cancels, a line starting\n"
    "with ';' is a comment; at the end of the script the host quits, discarding\n"
    "unsaved changes with a notice. Stopped by a signal, it keeps them in a\n"
    "recovery copy as the shell does (corvane shell --help).\n"
    "Exit status: 0 normal end, 2 drawing or module can't be loaded, 3 aborted,\n"
    "130 interrupted.\n";

struct Options {
  SessionOptions session;
  std::string command;
  std::vector<std::string> args;
  bool help = false;
};

// Prints TEXT on the error stream once the transcript so far is out.
void tell(const OutputStreams& streams, const std::string& text) {
  streams.out.flush();
  streams.err << text;
}

int usageError(const OutputStreams& streams, const std::string& why) {
  tell(streams, "corvane: " + why + "\n" + "Try 'corvane --help'.\n");
  return kExitLoadError;
}

int runCommand(const Options& options, std::istream& in, const OutputStreams& streams) {
  if (options.command == "shell" || options.command == "run") {
    bool script = options.command == "run";
    if (options.help) {
      streams.out << (script ? kRunUsage : kShellUsage);
      return kExitOk;
    }
    if (script ? options.args.size() != 2 : options.args.size() > 1)
      return usageError(streams, script ? "run takes DRAWING and SCRIPT" : "shell takes at most one DRAWING");
    SessionOptions sessionOptions = options.session;
    if (!options.args.empty()) sessionOptions.drawingPath = options.args[0];
    std::ifstream file;
    std::istream* scriptStream = nullptr;
    if (script) {
      if (options.args[1] == "-") {
        scriptStream = &in;
      } else {
        file.open(options.args[1], std::ios::binary);
        if (!file) {
          tell(streams, "corvane: cannot read script " + options.args[1] + "\n");
          return kExitLoadError;
        }
        scriptStream = &file;
      }
    }
    installInterruptHandlers(!script);
    Session session(streams);
    std::string error;
    if (!session.start(sessionOptions, error)) {
      tell(streams, "corvane: " + error + "\n");
      return kExitLoadError;
    }
    if (!stopRequested()) session.runCommandLine(scriptStream);
    session.stop();
    streams.out.flush();
    return stopRequested() ? kExitInterrupted : kExitOk;
  }
  if (options.command == "export") {
    if (options.help) {
      streams.out << kExportUsage;
      return kExitOk;
    }
    SessionOptions sessionOptions = options.session;
    std::string output;
    std::vector<std::string> layers;
    bool keepBlocks = false;
    for (size_t i = 0; i < options.args.size(); ++i) {
      const std::string& a = options.args[i];
      if ((a == "-o" || a == "--output") && i + 1 < options.args.size()) {
        output = options.args[++i];
      } else if (a == "--layer" && i + 1 < options.args.size()) {
        layers.push_back(options.args[++i]);
      } else if (a == "--keep-blocks") {
        keepBlocks = true;
      } else if (a.size() > 1 && a[0] == '-') {
        return usageError(streams, "export: unknown option '" + a + "'");
      } else if (sessionOptions.drawingPath.empty()) {
        sessionOptions.drawingPath = a;
      } else {
        return usageError(streams, "export takes one DRAWING");
      }
    }
    if (sessionOptions.drawingPath.empty()) sessionOptions.drawingPath = sampleDrawingPath();
    installInterruptHandlers(false);
    sessionOptions.readOnly = true;
    Session session(streams);
    std::string error;
    if (!session.start(sessionOptions, error)) {
      tell(streams, "corvane: " + error + "\n");
      return kExitLoadError;
    }
    if (output.empty()) output = session.drawingBaseName(".wrl");
    int status = kExitInterrupted;
    if (!stopRequested()) status = session.exportTo(output, layers, keepBlocks);
    else tell(streams, "corvane: interrupted; " + output + " was not written\n");
    session.stop();
    streams.out.flush();
    return status;
  }
  return usageError(streams, "unknown command '" + options.command + "'");
}

} // namespace

int runProgram(const std::vector<std::string>& args, std::istream& in, const OutputStreams& streams) {
  Options options;
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      streams.out << kUsage;
      return kExitOk;
    }
    if (a == "--version") {
      streams.out << kVersion << "\n";
      return kExitOk;
    }
    if ((a == "--module" || a == "--support") && i + 1 < args.size()) {
      if (a == "--module") options.session.modulePath = args[++i];
      else options.session.supportDirs.push_back(args[++i]);
      continue;
    }
    if (a.size() > 1 && a[0] == '-' && a != "-") return usageError(streams, "unknown option '" + a + "'");
    break;
  }
  if (i >= args.size()) return usageError(streams, "no command given");
  options.command = args[i++];
  for (; i < args.size(); ++i) {
    if (args[i] == "--help") options.help = true;
    else options.args.push_back(args[i]);
  }
  return runCommand(options, in, streams);
}

} // namespace corvane
