// The host's command line: where prompts read their answers (a terminal or
// a script), the "Command: " loop, host commands, and the list expressions
// typed at the prompt.
#pragma once

#include <cstdio>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lisp/interpreter.h"

namespace corvane {

// One answer to a prompt.
struct Answer {
  // kCancel: Ctrl-C or Escape (a script's "^C"); kLeave: Ctrl-D on an empty
  // line at a terminal; kEnd: the input has ended.
  enum Kind { kText, kCancel, kLeave, kEnd } kind = kEnd;
  std::string text; // for kText, without the line end
};

// Work done while the "Command: " prompt waits: returns a line to show
// above the prompt, or nothing.
using PromptTask = std::function<std::string()>;

// Where answers come from.
class InputSource {
public:
  virtual ~InputSource() = default;
  // Shows PROMPT (already printed by the console) and reads one answer.
  // While it waits for a person, WHILEWAITING (when set) runs about once a
  // second and what it returns is shown above the line being typed.
  virtual Answer read(const std::string& prompt, const PromptTask& whileWaiting) = 0;
  // True for a person at a terminal (prompts may ask before losing work).
  virtual bool interactive() const = 0;
  // The line of a script the answer last read stood on (counting from 1,
  // comments included); 0 at a terminal.
  virtual int line() const { return 0; }
};

// A script: one line per answer. An empty line is Enter, "^C" cancels,
// a line starting with ';' is a comment; the end of the script ends the
// session. Each answer is echoed on the transcript after its prompt.
std::unique_ptr<InputSource> makeScriptInput(std::istream& in);
// A terminal with line editing and history. Ctrl-C (a SIGINT) and Escape
// cancel the line; Ctrl-D on an empty line is kLeave. At "Command: ",
// Space on an empty line is Enter.
std::unique_ptr<InputSource> makeTerminalInput();

// A host command: runs with the console to ask its own questions.
class Console;
using HostCommand = std::function<void(Console&)>;

// How a host command takes the words typed after its name.
enum class CommandWords {
  kAnswers,    // as splitAnswers cuts them, one prompt each
  kRestOfLine, // the rest of the line answers the first prompt (a path),
               // one pair of surrounding double quotes removed
};

// The answers the words after a command's name give, in order: words
// apart at blanks; "quoted words" one answer without their quotes; "layer"
// (any case) and every word after it one answer, "layer ROOF WALLS", as a
// selection prompt takes it. An unclosed quote runs to the end of the line.
std::vector<std::string> splitAnswers(const std::string& words);
// True for a text answer that starts with y or Y: yes to a "<N>" question.
bool isYes(const Answer& answer);

// Before a file is written to PATH: when a file is there, asks "PATH already
// exists. Do you want to replace it? <N>: ". kYes when there is none or the
// answer is yes, kNo for no (Enter too), kCancel for a cancel or the end of
// the input.
enum class Replace { kYes, kNo, kCancel };
Replace askToReplace(Console& console, const std::string& path);

// A path as typed at a file prompt: blanks around it and one pair of
// surrounding double quotes removed, and a leading "~" or "~/" made the
// home folder ($HOME; left as typed when HOME is unset or empty).
std::string pathFromAnswer(const std::string& text);

class Console {
public:
  // EVALUATE runs one list expression and returns what the command line
  // shows for it (the printed value, or the error line with ok false).
  using Evaluator = std::function<lisp::LineResult(const std::string& expression)>;

  explicit Console(std::unique_ptr<InputSource> input);

  void setEvaluator(Evaluator evaluator) { evaluator_ = std::move(evaluator); }
  // Host commands by name (case-insensitive); "_" and "." prefixes allowed
  // when typed. WORDS says how it takes the words typed after its name.
  void addHostCommand(const std::string& name, HostCommand command, CommandWords words = CommandWords::kAnswers);

  // Prints PROMPT, unless the line already ends with it (a module printed
  // it just before), and reads one answer: kText, kCancel (after "*Cancel*"
  // at a terminal; Ctrl-D counts as a cancel here) or kEnd. While a command
  // runs with answers given in advance (ads_command), the answers come from
  // those instead, and prompt and answer show only while CMDECHO is on.
  // Words typed after a host command's name answer its first prompts
  // (prompt and answer shown); the prompts after them read the input.
  Answer ask(const std::string& prompt);
  // Runs TASK at the "Command: " prompt: each time before the prompt shows,
  // and at a terminal about once a second while it waits.
  void setPromptTask(PromptTask task) { promptTask_ = std::move(task); }
  // Runs the "Command: " loop until QUIT, the end of the input or a stop
  // signal. Ctrl-C there only says how to leave; Ctrl-D is QUIT, and so is
  // the end of a script. At a terminal, the end of the input ends the loop
  // with no QUIT: quitRequested() stays false, and an empty line (Enter or
  // Space) runs the last command again (a script's empty line does
  // nothing). A list expression left open (lisp::needsMoreInput) goes on
  // on the next line, read at the prompt "(_> ".
  void run();
  // Runs one line typed at "Command: ". Returns the name of the command it
  // ran (module or host command, as typed, without prefixes), empty for a
  // list expression, an empty line or an unknown command.
  std::string execute(const std::string& line);
  // Runs a host command with ANSWERS given in advance (ads_command).
  // False when the command is unknown.
  bool runWithAnswers(const std::string& name, const std::vector<std::string>& answers);
  // Runs WORDS as a program gives them (ads_command, the list language's
  // command): the first is the command's name, the rest answer its
  // prompts. The command echoes itself while CMDECHO is on. False when the
  // command is unknown or WORDS is empty.
  bool runCommand(std::vector<std::string> words);

  bool interactive() const { return input_->interactive(); }
  // A step failed: an unknown command, an answer a prompt refused, a list
  // expression's error, a SAVE that wrote nothing. WHY is what the
  // transcript said of it (one line). From a script, one diagnostic on the
  // error stream names the script line ("corvane: script line 4: WHY"),
  // and when the console stops at failures, every prompt from then on
  // reads the end of the input (the command in progress ends, and the
  // session with it, as at the end of the script). At a terminal it only
  // sets stepFailed().
  void noteStepFailed(const std::string& why);
  bool stepFailed() const { return stepFailed_; }
  // Whether a failed step ends a script (corvane run; --keep-going: no).
  void setStopAtFailure(bool stop) { stopAtFailure_ = stop; }
  void requestQuit() { quit_ = true; }
  bool quitRequested() const { return quit_; }
  // Whether host commands echo themselves (CMDECHO).
  bool commandEcho() const;

private:
  Answer read(const std::string& prompt, const PromptTask& whileWaiting = {});
  void drainQueue();
  bool runHostCommand(const std::string& name);
  const CommandWords* wordsOf(const std::string& name) const;
  // Reads what follows FIRST, a list expression left open, line by line.
  std::string completeExpression(std::string first);

  std::unique_ptr<InputSource> input_;
  Evaluator evaluator_;
  PromptTask promptTask_;
  struct NamedCommand {
    std::string name; // upper-case
    HostCommand command;
    CommandWords words;
  };
  std::vector<NamedCommand> hostCommands_;
  std::vector<std::string> pendingAnswers_;
  bool answering_ = false; // running a command with answers given in advance
  bool quit_ = false;
  bool stepFailed_ = false;
  bool stopAtFailure_ = false;
  bool halted_ = false; // a failed step stopped the script
  std::string lastCommand_; // what Enter on an empty "Command: " line runs
  std::vector<std::string> typedAhead_; // words typed after a host command's name
};

// The console the ads_* prompts use; null when none runs.
Console* currentConsole();
void setCurrentConsole(Console* console);

} // namespace corvane
