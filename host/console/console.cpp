#include "console/console.h"

#include <poll.h>
#include <readline/history.h>
#include <readline/readline.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "console/export_answer.h"
#include "console/interrupts.h"

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

private:
  std::istream& in_;
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

int cancelLine(int, int) {
  gLineCancelled = true;
  rl_done = 1;
  return 0;
}

class TerminalInput : public InputSource {
public:
  TerminalInput() {
    // The host's own handlers take the signals; readline only sees keys.
    rl_catch_signals = 0;
    rl_getc_function = readKey;
    rl_bind_key(3, cancelLine);
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

} // namespace

std::unique_ptr<InputSource> makeScriptInput(std::istream& in) { return std::make_unique<ScriptInput>(in); }
std::unique_ptr<InputSource> makeTerminalInput() { return std::make_unique<TerminalInput>(); }

Console* currentConsole() { return gConsole; }
void setCurrentConsole(Console* console) { gConsole = console; }

Console::Console(std::unique_ptr<InputSource> input) : input_(std::move(input)) {}

void Console::addHostCommand(const std::string& name, HostCommand command) {
  hostCommands_.emplace_back(asciiUpper(name), std::move(command));
}

void Console::noteStepFailed(const std::string&) { stepFailed_ = true; }

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
  Answer answer = read(prompt);
  if (answer.kind == Answer::kLeave) answer.kind = Answer::kCancel;
  if (answer.kind == Answer::kCancel && input_->interactive()) hostPrint("*Cancel*\n");
  return answer;
}

Answer Console::read(const std::string& prompt, const PromptTask& whileWaiting) {
  // The text of the prompt's own line: when the line the cursor stands on
  // already ends with it, the module has just shown this prompt.
  std::string_view own(prompt);
  if (size_t lineFeed = own.rfind('\n'); lineFeed != std::string_view::npos) own.remove_prefix(lineFeed + 1);
  if (own.empty() || !currentOutputLine().ends_with(own)) hostPrint(prompt);
  return input_->read(prompt, whileWaiting);
}

bool Console::runHostCommand(const std::string& typed) {
  std::string name = asciiUpper(typed);
  while (!name.empty() && (name[0] == '_' || name[0] == '.')) name.erase(0, 1);
  for (auto& [commandName, command] : hostCommands_) {
    if (commandName == name) {
      command(*this);
      return true;
    }
  }
  return false;
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

void Console::execute(const std::string& rawLine) {
  std::string line = trim(rawLine);
  if (line.empty()) return;
  if (line[0] == '(' || line[0] == '!') {
    if (evaluator_) {
      std::string shown = evaluator_(line[0] == '!' ? line.substr(1) : line);
      hostPrint(shown);
      hostPrint("\n");
    }
    return;
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
  if (const RegisteredCommand* command = commandStack().lookup(bare)) {
    forgetSetWalk();
    {
      ModuleScope scope(command->module);
      command->handler();
    }
    // After the module's own message, why an export converted nothing.
    std::string why = moduleCallDepth() == 0 ? takeWalkAnswer() : "";
    if (!why.empty()) hostPrint("\n" + why);
    return;
  }
  if (!rest.empty()) {
    // Words after a host command answer its first prompts, as in a script.
    std::vector<std::string> answers;
    size_t start = 0;
    while (start < rest.size()) {
      size_t end = rest.find_first_of(" \t", start);
      if (end == std::string::npos) end = rest.size();
      if (end > start) answers.push_back(rest.substr(start, end - start));
      start = rest.find_first_not_of(" \t", end);
      if (start == std::string::npos) break;
    }
    if (runWithAnswers(bare, answers)) return;
  } else if (runHostCommand(bare)) {
    return;
  }
  hostPrint("Unknown command \"" + asciiUpper(bare) + "\".\n");
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
    Answer answer = read("\nCommand: ", promptTask_);
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
    } else {
      execute(answer.text);
    }
    // Ctrl-C while the command ran: it has stopped where it could.
    if (breakRequested() && !stopRequested()) {
      hostPrint("\n*Cancel*\n");
      clearBreak();
    }
  }
  setCurrentConsole(previous);
}

} // namespace corvane
