#include "console/console.h"

#include <poll.h>
#include <sys/stat.h>
#include <readline/history.h>
#include <readline/readline.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "console/export_answer.h"
#include "console/interrupts.h"
#include "lisp/reader.h"

#include "runtime/command_stack.h"
#include "runtime/host_services.h"
#include "runtime/list_functions.h"
#include "runtime/module_loader.h"
#include "runtime/text.h"

namespace corvane {
namespace {

Console* gConsole = nullptr;

class ScriptInput : public InputSource {
public:
  explicit ScriptInput(std::istream& in) : in_(in) {}
  Answer read(const std::string&, const PromptTask&) override {
    std::string line;
    while (std::getline(in_, line)) {
      ++line_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty() && line[0] == ';') continue;
      if (line == "^C") {
        hostPrint("*Cancel*\n");
        return Answer{Answer::kCancel, {}};
      }
      hostPrint(line);
      hostPrint("\n");
      return Answer{Answer::kText, line};
    }
    return Answer{Answer::kEnd, {}};
  }
  bool interactive() const override { return false; }
  int line() const override { return line_; }

private:
  std::istream& in_;
  int line_ = 0;
};

// What runs while the line being read waits for a key; null when nothing.
const PromptTask* gWhileWaiting = nullptr;

// Shows TEXT on a line of its own above the line being edited, which
// readline then draws again as it stood.
void showAboveLine(const std::string& text) {
  char* typed = rl_copy_text(0, rl_end);
  int point = rl_point;
  rl_save_prompt();
  rl_replace_line("", 0);
  rl_redisplay();
  hostPrint(text + "\n");
  rl_restore_prompt();
  rl_replace_line(typed, 0);
  rl_point = point;
  rl_on_new_line();
  rl_redisplay();
  std::free(typed);
}

// Readline reads keys through this: it waits with poll, which a signal
// always interrupts, so that Ctrl-C (SIGINT, which the host's handler only
// notes) ends the wait and comes back as the key Ctrl-C, bound to cancel.
// The same goes for a stop signal.
int readKey(FILE* stream) {
  constexpr int kCtrlC = 3;
  constexpr int kTaskEveryMs = 1000;
  for (;;) {
    if (breakRequested()) return kCtrlC;
    pollfd ready{fileno(stream), POLLIN, 0};
    int polled = ::poll(&ready, 1, gWhileWaiting != nullptr ? kTaskEveryMs : -1);
    if (polled < 0) {
      if (errno == EINTR) continue;
      return EOF;
    }
    if (polled == 0) {
      std::string line = (*gWhileWaiting)();
      if (!line.empty()) showAboveLine(line);
      continue;
    }
    unsigned char key = 0;
    ssize_t n = ::read(fileno(stream), &key, 1);
    if (n == 1) return key;
    if (n < 0 && errno == EINTR) continue;
    return EOF;
  }
}

bool gLineCancelled = false;
// The line being read is the one at "Command: ".
bool gAtCommandPrompt = false;

int cancelLine(int, int) {
  gLineCancelled = true;
  rl_done = 1;
  return 0;
}

// Space on an empty "Command: " line is Enter, as CAD users press it to
// repeat a command; anywhere else it is a space.
int spaceKey(int count, int key) {
  if (gAtCommandPrompt && rl_end == 0) {
    rl_done = 1;
    return 0;
  }
  return rl_insert(count, key);
}

class TerminalInput : public InputSource {
public:
  TerminalInput() {
    // The host's own handlers take the signals; readline only sees keys.
    rl_catch_signals = 0;
    rl_getc_function = readKey;
    rl_bind_key(3, cancelLine);
    rl_bind_key(' ', spaceKey);
    // Escape alone cancels; Escape starting a longer key (the arrows, Alt
    // with a letter) still reaches readline when it comes within 200 ms.
    rl_bind_keyseq("\\e", cancelLine);
    rl_variable_bind("keyseq-timeout", "200");
  }

  Answer read(const std::string&, const PromptTask& whileWaiting) override {
    // The prompt is on the screen already, behind whatever the line showed
    // before it; readline takes the whole line over, so that it redraws
    // exactly what stands there.
    std::string shown = currentOutputLine();
    hostPrint("\r");
    gLineCancelled = false;
    gWhileWaiting = whileWaiting ? &whileWaiting : nullptr;
    char* line = readline(shown.c_str());
    gWhileWaiting = nullptr;
    std::string text = line != nullptr ? line : "";
    std::free(line);
    if (gLineCancelled) {
      hostPrint("\n");
      clearBreak();
      return Answer{Answer::kCancel, {}};
    }
    if (line == nullptr) {
      hostPrint("\n");
      return Answer{inputEnded() ? Answer::kEnd : Answer::kLeave, {}};
    }
    if (!text.empty()) add_history(text.c_str());
    return Answer{Answer::kText, text};
  }
  bool interactive() const override { return true; }
};

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

// Prints PROMPT unless the line the cursor stands on already ends with the
// text of the prompt's own line: the module has just shown it.
void showPrompt(const std::string& prompt) {
  std::string_view own(prompt);
  if (size_t lineFeed = own.rfind('\n'); lineFeed != std::string_view::npos) own.remove_prefix(lineFeed + 1);
  if (own.empty() || !currentOutputLine().ends_with(own)) hostPrint(prompt);
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Removes one pair of double quotes around TEXT.
std::string unquoted(const std::string& text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') return text.substr(1, text.size() - 2);
  return text;
}

} // namespace

std::vector<std::string> splitAnswers(const std::string& words) {
  std::vector<std::string> answers;
  size_t at = 0;
  while (at < words.size()) {
    if (isBlank(words[at])) {
      ++at;
      continue;
    }
    if (words[at] == '"') {
      size_t close = words.find('"', at + 1);
      size_t end = close == std::string::npos ? words.size() : close;
      answers.push_back(words.substr(at + 1, end - at - 1));
      at = end + 1;
      continue;
    }
    size_t end = at;
    while (end < words.size() && !isBlank(words[end])) ++end;
    std::string word = words.substr(at, end - at);
    if (equalsIgnoreCase(word, "layer")) {
      // A selection's "layer NAME...": the names as typed, one answer.
      answers.push_back(trim(words.substr(at)));
      break;
    }
    answers.push_back(std::move(word));
    at = end;
  }
  return answers;
}

bool isYes(const Answer& answer) {
  return answer.kind == Answer::kText && !answer.text.empty() && (answer.text[0] == 'y' || answer.text[0] == 'Y');
}

Replace askToReplace(Console& console, const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return Replace::kYes;
  Answer answer = console.ask("\n" + path + " already exists.\nDo you want to replace it? <N>: ");
  if (answer.kind != Answer::kText) return Replace::kCancel;
  return isYes(answer) ? Replace::kYes : Replace::kNo;
}

std::string pathFromAnswer(const std::string& text) {
  std::string path = unquoted(trim(text));
  if (path == "~" || path.starts_with("~/")) {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') path = home + path.substr(1);
  }
  return path;
}

std::unique_ptr<InputSource> makeScriptInput(std::istream& in) { return std::make_unique<ScriptInput>(in); }
std::unique_ptr<InputSource> makeTerminalInput() { return std::make_unique<TerminalInput>(); }

Console* currentConsole() { return gConsole; }
void setCurrentConsole(Console* console) { gConsole = console; }

Console::Console(std::unique_ptr<InputSource> input) : input_(std::move(input)) {}

void Console::addHostCommand(const std::string& name, HostCommand command, CommandWords words) {
  hostCommands_.push_back(NamedCommand{asciiUpper(name), std::move(command), words});
}

void Console::noteStepFailed(const std::string& why) {
  stepFailed_ = true;
  if (input_->interactive() || halted_) return;
  halted_ = stopAtFailure_;
  std::string said = why;
  while (!said.empty() && (said.back() == '\n' || said.back() == '.')) said.pop_back();
  said = trim(said.substr(std::min(said.size(), said.find_first_not_of('\n'))));
  hostError("corvane: script line " + std::to_string(input_->line()) + ": " + said +
            (halted_ ? "; the script stops there (--keep-going runs on)\n" : "\n"));
}

bool Console::commandEcho() const {
  SysVar* echo = sysVars().find("CMDECHO");
  return echo == nullptr || echo->shortValue != 0;
}

Answer Console::ask(const std::string& prompt) {
  if (answering_) {
    // A command run from a program: its prompts and answers show only
    // while command echo is on. When its answers run out it ends (Enter).
    bool echo = commandEcho();
    if (echo) hostPrint(prompt);
    std::string text;
    if (!pendingAnswers_.empty()) {
      text = pendingAnswers_.front();
      pendingAnswers_.erase(pendingAnswers_.begin());
    }
    if (echo) {
      hostPrint(text);
      hostPrint("\n");
    }
    return Answer{Answer::kText, text};
  }
  if (!typedAhead_.empty() && !halted_) {
    // Words typed after the command's name answer first, shown as typed.
    std::string text = typedAhead_.front();
    typedAhead_.erase(typedAhead_.begin());
    showPrompt(prompt);
    hostPrint(text + "\n");
    return Answer{Answer::kText, text};
  }
  Answer answer = read(prompt);
  if (answer.kind == Answer::kLeave) answer.kind = Answer::kCancel;
  if (answer.kind == Answer::kCancel && input_->interactive()) hostPrint("*Cancel*\n");
  return answer;
}

Answer Console::read(const std::string& prompt, const PromptTask& whileWaiting) {
  if (halted_) return Answer{Answer::kEnd, {}};
  showPrompt(prompt);
  return input_->read(prompt, whileWaiting);
}

bool Console::runHostCommand(const std::string& typed) {
  std::string name = asciiUpper(typed);
  while (!name.empty() && (name[0] == '_' || name[0] == '.')) name.erase(0, 1);
  for (NamedCommand& named : hostCommands_) {
    if (named.name == name) {
      named.command(*this);
      return true;
    }
  }
  return false;
}

const CommandWords* Console::wordsOf(const std::string& name) const {
  for (const NamedCommand& named : hostCommands_)
    if (named.name == asciiUpper(name)) return &named.words;
  return nullptr;
}

bool Console::runWithAnswers(const std::string& name, const std::vector<std::string>& answers) {
  std::vector<std::string> saved = std::move(pendingAnswers_);
  bool wasAnswering = answering_;
  pendingAnswers_ = answers;
  answering_ = true;
  bool known = runHostCommand(name);
  answering_ = wasAnswering;
  pendingAnswers_ = std::move(saved);
  return known;
}

bool Console::runCommand(std::vector<std::string> words) {
  if (words.empty()) return false;
  std::string name = words.front();
  words.erase(words.begin());
  if (commandEcho()) hostPrint("\nCommand: " + name + "\n");
  return runWithAnswers(name, words);
}

std::string Console::execute(const std::string& rawLine) {
  std::string line = trim(rawLine);
  if (line.empty()) return {};
  if (line[0] == '(' || line[0] == '!') {
    if (evaluator_) {
      lisp::LineResult shown = evaluator_(line[0] == '!' ? line.substr(1) : line);
      hostPrint(shown.text);
      hostPrint("\n");
      if (!shown.ok) noteStepFailed(shown.text.starts_with("; ") ? shown.text.substr(2) : shown.text);
    }
    return {};
  }
  std::string name = line;
  std::string rest;
  size_t space = line.find_first_of(" \t");
  if (space != std::string::npos) {
    name = line.substr(0, space);
    rest = trim(line.substr(space));
  }
  std::string bare = name;
  while (!bare.empty() && (bare[0] == '_' || bare[0] == '.')) bare.erase(0, 1);
  const std::vector<std::string> typed = splitAnswers(rest);
  if (const RegisteredCommand* command = commandStack().lookup(bare)) {
    // Words after the name answer the module's first prompts.
    typedAhead_ = typed;
    for (;;) {
      forgetSetWalk();
      {
        ModuleScope scope(command->module);
        command->handler();
      }
      if (moduleCallDepth() != 0) break;
      std::string refused = takeRefusedPick(); // before the walk's answer forgets it
      // After the module's own message, why an export converted nothing.
      std::string why = takeWalkAnswer();
      if (!why.empty()) hostPrint("\n" + why);
      // A pick the module refused for its kind: the command asks again.
      if (refused.empty() || breakRequested() || stopRequested()) break;
      hostPrint("\n" + refused + ".");
      noteStepFailed(refused);
      if (halted_) break;
    }
    typedAhead_.clear();
    return bare;
  }
  if (const CommandWords* words = wordsOf(bare)) {
    // Words after a host command answer its first prompts; the prompts
    // after them are asked as usual.
    if (!rest.empty()) typedAhead_ = *words == CommandWords::kRestOfLine ? std::vector<std::string>{unquoted(rest)} : typed;
    runHostCommand(bare);
    typedAhead_.clear();
    return bare;
  }
  const std::string unknown = "Unknown command \"" + asciiUpper(bare) + "\".";
  hostPrint(unknown + "\n");
  noteStepFailed(unknown);
  return {};
}

std::string Console::completeExpression(std::string text) {
  while (lisp::needsMoreInput(text)) {
    Answer more = read("(_> ");
    if (more.kind == Answer::kCancel) {
      hostPrint(input_->interactive() ? "*Cancel*\n" : "");
      return {};
    }
    if (more.kind != Answer::kText) break; // the expression as it stands says what is missing
    text += "\n" + more.text;
  }
  return text;
}

void Console::drainQueue() {
  auto& queue = listFunctions().queue();
  while (!queue.empty()) {
    std::string expression = queue.front();
    queue.pop_front();
    if (evaluator_) evaluator_(expression);
  }
}

void Console::run() {
  Console* previous = currentConsole();
  setCurrentConsole(this);
  while (!quit_ && !stopRequested()) {
    drainQueue();
    if (quit_) break;
    if (promptTask_) {
      std::string line = promptTask_();
      if (!line.empty()) hostPrint("\n" + line);
    }
    gAtCommandPrompt = true;
    Answer answer = read("\nCommand: ", promptTask_);
    gAtCommandPrompt = false;
    if (answer.kind == Answer::kEnd) {
      // A script that ends has said all it had to; a terminal that goes
      // away has not.
      if (!input_->interactive()) runHostCommand("QUIT");
      break;
    }
    if (answer.kind == Answer::kLeave) {
      runHostCommand("QUIT");
    } else if (answer.kind == Answer::kCancel) {
      if (input_->interactive() && !stopRequested()) hostPrint("Type QUIT or press Ctrl-D to leave.\n");
    } else if (trim(answer.text).empty()) {
      // Enter or Space: the last command again, at a terminal.
      if (input_->interactive() && !lastCommand_.empty()) {
        hostPrint(lastCommand_ + "\n");
        execute(lastCommand_);
      }
    } else {
      std::string line = answer.text;
      char first = trim(line)[0];
      if (first == '(' || first == '!') line = completeExpression(line);
      std::string ran = execute(line);
      if (!ran.empty()) lastCommand_ = ran;
    }
    // Ctrl-C while the command ran: it has stopped where it could.
    if (breakRequested() && !stopRequested()) {
      hostPrint("\n*Cancel*\n");
      clearBreak();
    }
    clearCommandFailure(); // its reason has been said

  }
  setCurrentConsole(previous);
}

} // namespace corvane
