// Dialogs answered from the console's input, one line per answer:
//
//   @ID TEXT    types TEXT into edit field ID in place of its text (the rest
//               of the line after one space, possibly empty; typing stops at
//               the field's limit)
//   @ID 0|1     clears or checks check box ID; @ID alone toggles it
//   @ID N       moves track bar ID to position N
//   @ID         presses button ID (@1 OK, @2 Cancel)
//   @ESC        Escape;  @CLOSE  the close box;  @?  shows the dialog again
//   (empty)     Enter: the default button
//
// The end of the input while a dialog is open cancels it.
#include <cctype>
#include <charconv>
#include <cstdio>

#include "console/console.h"
#include "runtime/host_services.h"
#include "ui/presenter.h"
#include "runtime/text.h"

namespace corvane::ui {
namespace {

std::string kindName(ControlKind kind) {
  switch (kind) {
  case ControlKind::kPushButton:
  case ControlKind::kDefPushButton: return "button";
  case ControlKind::kCheckBox: return "check";
  case ControlKind::kGroupBox: return "group";
  case ControlKind::kLabel: return "text";
  case ControlKind::kIcon: return "icon";
  case ControlKind::kEdit: return "edit";
  case ControlKind::kTrackBar: return "trackbar";
  }
  return "";
}

std::string quoted(const std::string& s) { return "\"" + s + "\""; }

bool parseInt(const std::string& s, int& value) {
  if (s.empty()) return false;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  return ec == std::errc() && end == s.data() + s.size();
}

class ScriptPresenter : public Presenter {
public:
  void runDialog(DialogWindow& window) override {
    hostPrint(describeDialog(window));
    Console* console = currentConsole();
    while (!window.ended()) {
      if (console == nullptr) {
        cancel(window);
        break;
      }
      Answer answer = console->ask(window.title + "> ");
      if (answer.kind == Answer::kEnd) {
        hostPrint("\n");
        cancel(window);
        break;
      }
      if (answer.kind == Answer::kCancel) window.escape();
      else handle(window, answer.text);
    }
    std::string result = window.result() == IDOK       ? "OK"
                         : window.result() == IDCANCEL ? "Cancel"
                                                       : std::to_string(window.result());
    hostPrint("[" + window.title + ": " + result + "]\n");
  }

  int messageBox(DialogWindow*, const std::string& text, const std::string&, UINT type) override {
    const char* icon = "[i] ";
    switch (type & 0xF0U) {
    case MB_ICONEXCLAMATION: icon = "[!] "; break;
    case MB_ICONSTOP: icon = "[x] "; break;
    case MB_ICONQUESTION: icon = "[?] "; break;
    default: break;
    }
    hostPrint(icon + text + "\n");
    return IDOK;
  }

  void showHelp(const HelpFile& help, int topic) override {
    std::string text = "Help: " + help.title + "\n";
    for (const std::string& line : help.introduction) text += "  " + line + "\n";
    text += "Topics:\n";
    for (size_t i = 0; i < help.topics.size(); ++i) {
      char number[32];
      std::snprintf(number, sizeof number, "%3zu  ", i + 1);
      text += number + help.topics[i].title + "\n";
    }
    if (topic >= 0 && static_cast<size_t>(topic) < help.topics.size()) {
      text += "\n" + help.topics[static_cast<size_t>(topic)].title + "\n";
      for (const std::string& line : help.topics[static_cast<size_t>(topic)].lines) text += line + "\n";
    }
    hostPrint(text);
  }

private:
  static void cancel(DialogWindow& window) {
    window.escape();
    // A dialog that refuses to be cancelled still ends with the input.
    if (!window.ended()) window.end(IDCANCEL);
  }

  static void refuse(const std::string& why) {
    hostPrint("*Invalid* " + why + "\n");
    if (Console* console = currentConsole()) console->noteStepFailed("*Invalid* " + why);
  }

  static void handle(DialogWindow& window, const std::string& line) {
    if (line.empty()) {
      window.enter();
      return;
    }
    if (line[0] != '@') {
      refuse("a dialog is open: answer @ID [VALUE], @ESC, or an empty line for Enter.");
      return;
    }
    size_t space = line.find(' ');
    std::string word = line.substr(1, space == std::string::npos ? std::string::npos : space - 1);
    bool hasValue = space != std::string::npos;
    std::string value = hasValue ? line.substr(space + 1) : std::string();
    std::string key = asciiUpper(word);
    if (key == "ESC") return window.escape();
    if (key == "CLOSE") return window.closeBox();
    if (key == "ENTER") return window.enter();
    if (key == "?") return hostPrint(describeDialog(window));
    int id = 0;
    if (!parseInt(word, id) || id == IDC_STATIC) return refuse("no control " + word + ".");
    int index = window.indexOf(id);
    if (index < 0) {
      // OK and Cancel reach their handlers even without a button.
      if ((id == IDOK || id == IDCANCEL) && !hasValue) return window.press(id);
      return refuse("no control " + word + " in this dialog.");
    }
    Control& c = window.controls[static_cast<size_t>(index)];
    switch (c.kind) {
    case ControlKind::kPushButton:
    case ControlKind::kDefPushButton:
      window.setFocus(index, false);
      window.press(id);
      return;
    case ControlKind::kEdit:
      window.setFocus(index, true);
      c.selectAll();
      c.type(value);
      return;
    case ControlKind::kCheckBox:
      window.setFocus(index, false);
      if (!hasValue) window.press(id);
      else if (value == "0" || value == "1") c.checked = value == "1";
      else refuse("check box " + word + " takes 0 or 1.");
      return;
    case ControlKind::kTrackBar: {
      int pos = 0;
      if (!parseInt(value, pos)) return refuse("track bar " + word + " takes a position.");
      window.setFocus(index, false);
      c.setPos(pos);
      return;
    }
    default:
      refuse("control " + word + " takes no answer.");
      return;
    }
  }
};

} // namespace

std::string describeDialog(DialogWindow& window) {
  std::string text = "[" + window.title + "]\n";
  for (size_t i = 0; i < window.controls.size(); ++i) {
    const Control& c = window.controls[i];
    char head[32];
    std::snprintf(head, sizeof head, "%c%5s %-9s", static_cast<int>(i) == window.focus() ? '>' : ' ',
                  c.id == IDC_STATIC ? "-" : std::to_string(c.id).c_str(), kindName(c.kind).c_str());
    std::string line = head;
    switch (c.kind) {
    case ControlKind::kDefPushButton: line += quoted(c.text) + " (default)"; break;
    case ControlKind::kCheckBox: line += std::string(c.checked ? "[x] " : "[ ] ") + quoted(c.text); break;
    case ControlKind::kEdit: line += quoted(c.text) + " (limit " + std::to_string(c.limit) + ")"; break;
    case ControlKind::kTrackBar:
      line += std::to_string(c.pos) + " (" + std::to_string(c.rangeMin) + ".." + std::to_string(c.rangeMax) +
              ", ticks every " + std::to_string(c.ticFreq) + ")";
      break;
    case ControlKind::kIcon: break;
    default: {
      // Texts of several lines continue indented under the first.
      std::string shown;
      for (char ch : c.text) shown += ch == '\n' ? std::string("\"\n                \"") : std::string(1, ch);
      line += quoted(shown);
      break;
    }
    }
    text += line + "\n";
  }
  return text;
}

std::unique_ptr<Presenter> makeScriptPresenter() { return std::make_unique<ScriptPresenter>(); }

} // namespace corvane::ui
