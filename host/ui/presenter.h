// Presenters show dialogs, message boxes and help to the user: in a terminal
// (full screen) or, when a script answers the prompts, on the transcript.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "ui/dialog_window.h"
#include "ui/help_file.h"

namespace corvane::ui {

class Presenter {
public:
  virtual ~Presenter() = default;
  // Shows WINDOW and turns the user's input into its actions until the
  // dialog has ended.
  virtual void runDialog(DialogWindow& window) = 0;
  // Shows a message box (OVER: the dialog it stands on, or null) until it is
  // acknowledged; IDOK or IDCANCEL.
  virtual int messageBox(DialogWindow* over, const std::string& text, const std::string& caption,
                         UINT type) = 0;
  // Shows the help file's topics, or topic TOPIC (0-based) when >= 0.
  virtual void showHelp(const HelpFile& help, int topic) = 0;
};

// The presenter of the running console: the terminal one for a person at a
// terminal (when the terminal can be driven), the script one otherwise.
// An override installed with setPresenterOverride wins.
Presenter& activePresenter();
// For tests and embedders; null removes it. The caller keeps ownership.
void setPresenterOverride(Presenter* presenter);

// Reads answers from the current console (a script, or typed lines).
std::unique_ptr<Presenter> makeScriptPresenter();
// Full-screen ncurses presenter; null when the terminal can't be driven.
std::unique_ptr<Presenter> makeTerminalPresenter();

// The transcript form of a dialog: title, then one line per control.
std::string describeDialog(DialogWindow& window);
// The terminal's text form of a dialog too small for the screen: its
// title, then each control that takes an answer on a line of its own,
// named by its label as a person sees it: "1014 Shininess: 60",
// "1038 [x] Use AutoCAD Color", "1 [OK]".
std::string describeDialogWithLabels(DialogWindow& window);

// Applies one answer line to WINDOW as a script gives it (see
// script_presenter.cpp): "@ID VALUE", "@ESC", an empty line for Enter...
// A line it refuses says why on the command line. False for "@?", which
// asks the caller to show the dialog again in its own form.
bool answerDialogLine(DialogWindow& window, const std::string& line);

// Answers WINDOW with lines read at the command line (answerDialogLine)
// until it ends, then prints "[TITLE: OK]"; the end of the input cancels it.
// DESCRIBE shows the dialog again for "@?". While STOPWAITING (when set)
// returns true as a person types, the dialog is left open and false comes
// back; true once it has ended.
bool answerDialogOnCommandLine(DialogWindow& window, std::string (*describe)(DialogWindow&),
                               const std::function<bool()>& stopWaiting = {});

} // namespace corvane::ui
