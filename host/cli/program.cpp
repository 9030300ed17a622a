#include "cli/program.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "console/interrupts.h"
#include "ui/module_version.h"

namespace corvane {
namespace {

const char* const kUsage =
    "usage: corvane [--module PATH] [--support DIR]... COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  shell [DRAWING]            interactive command line\n"
    "  run DRAWING SCRIPT [--keep-going]\n"
    "                             answer every prompt from SCRIPT ('-': standard input)\n"
    "  export [DRAWING|FOLDER]... [-o OUT] [-r] [-j N] [--layer NAME]...\n"
    "         [--keep-blocks] [--explode-limit N] [--json] [--progress]\n"
    "                             export every object (or those on the layers) to\n"
    "                             VRML: one drawing, or many in worker processes\n"
    "\n"
    "options:\n"
    "  --module PATH   the module to load (default: Vrml.arx beside corvane)\n"
    "  --support DIR   another folder to search for support files\n"
    "  -h, --help      this text; COMMAND --help for a command's own\n"
    "  --version       the program's version and the module's\n"
    "An option's value is the next word or follows '=' (--layer=ROOF); '--'\n"
    "ends the options.\n"
    "\n"
    "exit status: 0 success, 1 the export converted nothing, 2 a drawing, module,\n"
    "usage or output-file error, 3 the host was aborted, 4 a step of corvane run\n"
    "failed, 130 interrupted (Ctrl-C, SIGTERM, SIGHUP).\n";

const char* const kShellUsage =
    "usage: corvane shell [DRAWING]\n"
    "Interactive command line on DRAWING (a DXF or DWG file; none: an empty one).\n"
    "Type a command name, or a list expression such as (vrml_geturl (car (entsel))).\n"
    "Ctrl-C or Escape cancels a prompt or a dialog; Ctrl-D or QUIT leaves.\n"
    "Enter or Space on an empty Command: line runs the last command again; a\n"
    "list expression left open goes on at the prompt (_>. Words after a command\n"
    "answer its prompts (\"quoted words\" as one); SAVEAS takes the rest of the\n"
    "line as the path. At file prompts ~/ is the home folder.\n"
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

const char* const kRunUsage =
    "usage: corvane run DRAWING SCRIPT [--keep-going]\n"
    "Runs the command line on DRAWING ('-': an empty drawing), answering every\n"
    "prompt from SCRIPT ('-': standard input), one line per answer, and prints\n"
    "the transcript. An empty line is Enter, a line ^C cancels, a line starting\n"
    "with ';' is a comment; at the end of the script the host quits, discarding\n"
    "unsaved changes with a notice. Stopped by a signal, it keeps them in a\n"
    "recovery copy as the shell does (corvane shell --help).\n"
    "\n"
    "The script stops at the first step that fails (an unknown command, an\n"
    "answer a prompt refuses, a list expression's error, a SAVE that wrote\n"
    "nothing): a line on standard error names its line, and the host quits as\n"
    "at the end of the script.\n"
    "  --keep-going   run every line; a step that failed still gives status 4\n"
    "\n"
    "Exit status: 0 normal end, 2 drawing or module can't be loaded, 3 aborted,\n"
    "4 a step failed, 130 interrupted.\n";

const char* const kExportUsage =
    "usage: corvane export [DRAWING|FOLDER]... [OPTIONS]\n"
    "Exports every object of each DRAWING (none: the bundled sample drawing), or\n"
    "the objects on the layers named, to a VRML 1.0 world.\n"
    "\n"
    "One drawing: the world is the drawing's base name with .wrl in the current\n"
    "folder, or what -o names (an existing folder: the world goes in it; '-':\n"
    "standard output, the report then going to standard error). A world file is\n"
    "replaced only by a complete one, and the drawing itself is never written.\n"
    "A drawing that changes on disk during the export ends it with status 2.\n"
    "The module's progress line shows on a terminal only.\n"
    "\n"
    "Several drawings, or a folder (its .dxf and .dwg files): each world is named\n"
    "after its drawing, in the folder -o names (default: the current folder;\n"
    "made if missing), a folder's sub-folders kept below it. Two drawings that\n"
    "would give one world name refuse the batch before anything is written.\n"
    "Each drawing is exported in a worker process of its own, N at once, so\n"
    "that one refused or crashing takes no other down. On a terminal a live line\n"
    "shows the drawings done, the objects converted and the time left, and a\n"
    "drawing leaves a line only when it has something to say; elsewhere each\n"
    "drawing leaves one line as it finishes. A summary ends the run. Ctrl-C or\n"
    "SIGTERM stops every worker, and every world file that was there stays whole.\n"
    "\n"
    "The objects inside block references are exported where the references\n"
    "place them (every level, every copy of a multiple insert), and MESH\n"
    "objects as polyface meshes, as EXPLODE would place them (in memory only).\n"
    "Objects coloured by block take the reference's colour, objects on layer 0\n"
    "its layer, and --layer picks objects by the layer they end up on.\n"
    "\n"
    "  -o, --output OUT  the world file (one drawing) or folder (several)\n"
    "  -r, --recursive   take the drawings in sub-folders too\n"
    "  -j, --jobs N      export N drawings at once (default: one per core)\n"
    "  --layer NAME      only the objects on layer NAME (again for more layers)\n"
    "  --keep-blocks     export model space as it stands: block references and\n"
    "                    MESH objects count as objects the export can't convert\n"
    "  --explode-limit N the most objects the block references may place (the\n"
    "                    EXPLODELIMIT variable; default: what a quarter of the\n"
    "                    memory holds); a drawing past it is refused, status 2\n"
    "  --json            one JSON object per drawing on standard output, and\n"
    "                    nothing else: drawing, world, status, verdict, converted,\n"
    "                    ignored (by DXF type), seconds, message\n"
    "  --progress        the module's progress line even where standard output is\n"
    "                    no terminal, exactly as the module prints it\n"
    "When nothing is converted, a line on standard error says why.\n"
    "\n"
    "Exit status: 0 exported, 1 nothing converted, 2 drawing, module, usage or\n"
    "output-file error, 3 aborted, 130 interrupted (the old world file stays).\n"
    "With several drawings, the worst of theirs; a worker that crashed counts\n"
    "as 3.\n";

// An option of the command line.
struct OptionSpec {
  const char* longName;  // without "--"
  char shortName;        // 0: none
  const char* valueName; // null: a switch
  const char* command;   // the command it belongs to; null: every one
};

const OptionSpec kOptions[] = {
    {"help", 'h', nullptr, nullptr},
    {"version", 0, nullptr, nullptr},
    {"module", 0, "PATH", nullptr},
    {"support", 0, "DIR", nullptr},
    {"output", 'o', "OUT", "export"},
    {"layer", 0, "NAME", "export"},
    {"keep-blocks", 0, nullptr, "export"},
    {"explode-limit", 0, "N", "export"},
    {"recursive", 'r', nullptr, "export"},
    {"jobs", 'j', "N", "export"},
    {"json", 0, nullptr, "export"},
    {"progress", 0, nullptr, "export"},
    {"keep-going", 0, nullptr, "run"},
};

const char* const kCommands[] = {"shell", "run", "export"};

const OptionSpec* findLong(const std::string& name) {
  for (const OptionSpec& o : kOptions)
    if (name == o.longName) return &o;
  return nullptr;
}

const OptionSpec* findShort(char name) {
  for (const OptionSpec& o : kOptions)
    if (o.shortName != 0 && name == o.shortName) return &o;
  return nullptr;
}

// True when WORD is spelled as one of the options (then it is not taken
// as the value an option before it lacks).
bool looksLikeOption(const std::string& word) {
  if (word.starts_with("--")) return findLong(word.substr(2, word.find('=') - 2)) != nullptr;
  return word.size() >= 2 && word[0] == '-' && findShort(word[1]) != nullptr;
}

// Takes OPTION with VALUE (null for a switch) into OPTIONS.
bool apply(const OptionSpec& option, const char* value, ProgramOptions& options, std::string& error) {
  const std::string name = option.longName;
  ExportOptions& e = options.exportOptions;
  if (name == "help") options.help = true;
  else if (name == "version") options.version = true;
  else if (name == "module") options.session.modulePath = value;
  else if (name == "support") options.session.supportDirs.push_back(value);
  else if (name == "output") e.output = value;
  else if (name == "layer") e.layers.push_back(value);
  else if (name == "keep-blocks") e.keepBlocks = true;
  else if (name == "recursive") e.recursive = true;
  else if (name == "json") e.json = true;
  else if (name == "progress") e.progress = true;
  else if (name == "keep-going") options.keepGoing = true;
  else if (name == "explode-limit") {
    char* end = nullptr;
    errno = 0;
    const unsigned long long n = std::strtoull(value, &end, 10);
    if (*value < '0' || *value > '9' || *end != '\0' || errno == ERANGE) {
      error = "export: --explode-limit takes a count of objects, not '" + std::string(value) + "'";
      return false;
    }
    options.session.explodeLimit = n;
  } else if (name == "jobs") {
    char* end = nullptr;
    unsigned long n = std::strtoul(value, &end, 10);
    if (*value < '0' || *value > '9' || *end != '\0' || n < 1 || n > 1024) {
      error = "export: -j takes the number of drawings to export at once (1 to 1024), not '" + std::string(value) + "'";
      return false;
    }
    e.jobs = static_cast<unsigned>(n);
  }
  return true;
}

int usageError(const OutputStreams& streams, const std::string& why, const std::string& command = "") {
  diagnose(streams, why + "\nTry 'corvane " + (command.empty() ? "" : command + " ") + "--help'.");
  return kExitLoadError;
}

// The module's version as its resources state it, loading it for a moment
// (its greeting left out).
int printVersion(const ProgramOptions& options, const OutputStreams& streams) {
  streams.out << "corvane " CORVANE_VERSION "\n";
  std::ostringstream discarded;
  Session session(OutputStreams{discarded, streams.err});
  SessionOptions quiet = options.session;
  quiet.drawingPath.clear();
  quiet.quietLoad = true;
  std::string error;
  if (!session.start(quiet, error)) {
    diagnose(streams, error);
    return kExitLoadError;
  }
  std::string path = quiet.modulePath.empty() ? "Vrml.arx" : quiet.modulePath;
  std::string version = ui::moduleVersion();
  streams.out << path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1) << " "
              << (version.empty() ? "(states no version)" : version) << "\n";
  session.stop();
  return kExitOk;
}

int runShellOrScript(const ProgramOptions& options, std::istream& in, const OutputStreams& streams) {
  const bool script = options.command == "run";
  if (options.help) {
    streams.out << (script ? kRunUsage : kShellUsage);
    return kExitOk;
  }
  const std::vector<std::string>& args = options.operands;
  if (script ? args.size() != 2 : args.size() > 1)
    return usageError(streams, script ? "run takes DRAWING and SCRIPT" : "shell takes at most one DRAWING",
                      options.command);
  SessionOptions sessionOptions = options.session;
  if (!args.empty()) sessionOptions.drawingPath = args[0];
  std::ifstream file;
  std::istream* scriptStream = nullptr;
  if (script) {
    if (args[1] == "-") {
      scriptStream = &in;
    } else {
      file.open(args[1], std::ios::binary);
      if (!file) {
        diagnose(streams, "cannot read script " + args[1]);
        return kExitLoadError;
      }
      scriptStream = &file;
    }
  }
  installInterruptHandlers(!script);
  Session session(streams);
  std::string error;
  if (!session.start(sessionOptions, error)) {
    diagnose(streams, error);
    return kExitLoadError;
  }
  if (!stopRequested()) session.runCommandLine(scriptStream, options.keepGoing);
  session.stop();
  streams.out.flush();
  if (stopRequested()) return kExitInterrupted;
  return script && session.stepFailed() ? kExitStepFailed : kExitOk;
}

} // namespace

bool parseCommandLine(const std::vector<std::string>& args, ProgramOptions& options, std::string& error) {
  options = ProgramOptions{};
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    // Options before the command are its own: "export: ..." says where.
    const std::string where = options.command.empty() ? "" : options.command + ": ";
    if (optionsEnded || word == "-" || word.size() < 2 || word[0] != '-') {
      if (!options.command.empty()) {
        if (options.command == "export") options.exportOptions.drawings.push_back(word);
        else options.operands.push_back(word);
        continue;
      }
      for (const char* command : kCommands)
        if (word == command) options.command = word;
      if (!options.command.empty()) continue;
      if (isDrawingFileName(word))
        error = "'" + word + "' is not a command; to open the drawing: corvane shell " + word +
                "; to export it: corvane export " + word;
      else
        error = "unknown command '" + word + "'";
      return false;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    const OptionSpec* option = nullptr;
    std::string shown;
    std::optional<std::string> value; // given with the option itself
    if (word.starts_with("--")) {
      size_t equals = word.find('=');
      shown = word.substr(0, equals);
      option = findLong(shown.substr(2));
      if (equals != std::string::npos) value = word.substr(equals + 1);
    } else {
      shown = word.substr(0, 2);
      option = findShort(word[1]);
      if (option != nullptr && word.size() > 2) {
        if (option->valueName == nullptr) option = nullptr; // "-rx": no such switch
        else value = word.substr(2);
      }
      if (option == nullptr) shown = word;
    }
    if (option == nullptr) {
      error = where + "unknown option '" + shown + "'";
      return false;
    }
    if (option->command != nullptr && options.command != option->command) {
      error = where + "option '" + shown + "' belongs to " + option->command + " (corvane " + option->command +
              " ... " + shown + ")";
      return false;
    }
    if (option->valueName == nullptr) {
      if (value) {
        error = where + "option '" + shown + "' takes no value";
        return false;
      }
      if (!apply(*option, nullptr, options, error)) return false;
      continue;
    }
    if (!value) {
      if (i + 1 >= args.size() || looksLikeOption(args[i + 1])) {
        error = where + "option '" + shown + "' needs a value (" + option->valueName + ")";
        return false;
      }
      value = args[++i];
    }
    if (!apply(*option, value->c_str(), options, error)) return false;
  }
  return true;
}

int runProgram(const std::vector<std::string>& args, std::istream& in, const OutputStreams& streams) {
  ProgramOptions options;
  std::string error;
  if (!parseCommandLine(args, options, error)) {
    // The command named before the fault, whose help tells more.
    std::string command;
    for (const std::string& word : args)
      for (const char* known : kCommands)
        if (command.empty() && word == known) command = word;
    return usageError(streams, error, command);
  }
  if (options.version) return printVersion(options, streams);
  if (options.command.empty()) {
    if (options.help) {
      streams.out << kUsage;
      return kExitOk;
    }
    return usageError(streams, "no command given");
  }
  if (options.command == "export") {
    if (options.help) {
      streams.out << kExportUsage;
      return kExitOk;
    }
    return runExportCommand(options.exportOptions, options.session, streams);
  }
  return runShellOrScript(options, in, streams);
}

} // namespace corvane
