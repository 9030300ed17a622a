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
};

// A script: one line per answer. An empty line is Enter, "^C" cancels,
// a line starting with ';' is a comment; the end of the script ends the
// session. Each answer is echoed on the transcript after its prompt.
std::unique_ptr<InputSource> makeScriptInput(std::istream& in);
// A terminal with line editing and history. Ctrl-C (a SIGINT) and Escape
// cancel the line; Ctrl-D on an empty line is kLeave.
std::unique_ptr<InputSource> makeTerminalInput();

// A host command: runs with the console to ask its own questions.
class Console;
using HostCommand = std::function<void(Console&)>;

class Console {
public:
  // EVALUATE runs one list expression and returns what the command line
  // shows for it (the printed value, or the error line).
  using Evaluator = std::function<std::string(const std::string& expression)>;

  explicit Console(std::unique_ptr<InputSource> input);

  void setEvaluator(Evaluator evaluator) { evaluator_ = std::move(evaluator); }
  // Host commands by name (case-insensitive); "_" and "." prefixes allowed
  // when typed.
  void addHostCommand(const std::string& name, HostCommand command);

  // Prints PROMPT, unless the line already ends with it (a module printed
  // it just before), and reads one answer: kText, kCancel (after "*Cancel*"
  // at a terminal; Ctrl-D counts as a cancel here) or kEnd. While a command
  // runs with answers given in advance (ads_command), the answers come from
  // those instead, and prompt and answer show only while CMDECHO is on.
  Answer ask(const std::string& prompt);
  // Runs TASK at the "Command: " prompt: each time before the prompt shows,
  // and at a terminal about once a second while it waits.
  void setPromptTask(PromptTask task) { promptTask_ = std::move(task); }
  // Runs the "Command: " loop until QUIT, the end of the input or a stop
  // signal. Ctrl-C there only says how to leave; Ctrl-D is QUIT, and so is
  // the end of a script. At a terminal, the end of the input ends the loop
  // with no QUIT: quitRequested() stays false.
  void run();
  // Runs one line typed at "Command: ".
  void execute(const std::string& line);
  // Runs a host command with ANSWERS given in advance (ads_command).
  // False when the command is unknown.
  bool runWithAnswers(const std::string& name, const std::vector<std::string>& answers);
  // Runs WORDS as a program gives them (ads_command, the list language's
  // command): the first is the command's name, the rest answer its
  // prompts. The command echoes itself while CMDECHO is on. False when the
  // command is unknown or WORDS is empty.
  bool runCommand(std::vector<std::string> words);

  bool interactive() const { return input_->interactive(); }
  // A step of the session failed (a SAVE that wrote nothing, ...): WHY is
  // the line that said so. The session goes on; corvane run ends with
  // status 4 once its script is done (ExitStatus).
  void noteStepFailed(const std::string& why);
  bool stepFailed() const { return stepFailed_; }
  void requestQuit() { quit_ = true; }
  bool quitRequested() const { return quit_; }
  // Whether host commands echo themselves (CMDECHO).
  bool commandEcho() const;

private:
  Answer read(const std::string& prompt, const PromptTask& whileWaiting = {});
  void drainQueue();
  bool runHostCommand(const std::string& name);

  std::unique_ptr<InputSource> input_;
  Evaluator evaluator_;
  PromptTask promptTask_;
  std::vector<std::pair<std::string, HostCommand>> hostCommands_;
  std::vector<std::string> pendingAnswers_;
  bool answering_ = false; // running a command with answers given in advance
  bool quit_ = false;
  bool stepFailed_ = false;
};

// The console the ads_* prompts use; null when none runs.
Console* currentConsole();
void setCurrentConsole(Console* console);

} // namespace corvane
