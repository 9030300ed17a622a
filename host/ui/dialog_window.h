// The live state of a shown dialog: its controls as the user sees them, the
// keyboard focus, and the user's actions, which call the module's handlers.
// Presenters (terminal, script) draw it and turn keys or script lines into
// these actions.
#pragma once

#include <string>
#include <vector>

#include "ui.h"

namespace corvane::ui {

enum class ControlKind { kPushButton, kDefPushButton, kCheckBox, kGroupBox, kLabel, kIcon, kEdit, kTrackBar };

struct Control {
  const UiControlTemplate* tmpl = nullptr;
  int id = IDC_STATIC;
  ControlKind kind = ControlKind::kLabel;
  bool tabStop = false;
  std::string text;
  // check box
  int checked = 0;
  // edit field: UTF-8 text; typing stops at LIMIT characters. The
  // selection is [selStart, selEnd) and the caret stands at CARET, byte
  // offsets that always fall between characters.
  size_t limit = 30000;
  size_t caret = 0;
  size_t selStart = 0;
  size_t selEnd = 0;
  // track bar
  int rangeMin = 0;
  int rangeMax = 100;
  int pos = 0;
  int ticFreq = 1;
  int lineSize = 1;
  int pageSize = -1; // -1: a fifth of the range
  // icon
  const UiIconResource* icon = nullptr;

  bool isButton() const { return kind == ControlKind::kPushButton || kind == ControlKind::kDefPushButton; }
  int effectivePageSize() const;
  void setPos(int position);
  void selectAll();
  // Typing: TYPED (UTF-8) replaces the selection, cut before the first
  // character the limit stops.
  void type(const std::string& typed);
  // Backspace and Delete take the selection, else one whole character.
  void backspace();
  void deleteForward();
  // Puts the caret at byte TO, or before the character TO falls inside.
  void moveCaret(size_t to);
};

class DialogWindow;

// What a window handle (HWND) points at: a dialog, or one of its controls.
struct WindowHandle {
  DialogWindow* dialog;
  int control; // index into the controls, -1 for the dialog itself
};

class DialogWindow {
public:
  DialogWindow(const UiDialogTemplate& tmpl, const UiResources* resources, CDialog* owner);
  ~DialogWindow();
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  const UiDialogTemplate& tmpl() const { return tmpl_; }
  CDialog* owner() const { return owner_; }
  HWND handle() { return &self_; }
  HWND controlHandle(int index) { return &controlHandles_[static_cast<size_t>(index)]; }

  std::string title;
  std::vector<Control> controls; // template order; never resized after construction

  Control* find(int id);
  int indexOf(int id) const;
  int focus() const { return focus_; }
  Control* focused() { return focus_ < 0 ? nullptr : &controls[static_cast<size_t>(focus_)]; }
  // Moves the focus; an edit field reached by the keyboard has its whole text
  // selected.
  void setFocus(int index, bool selectText);
  // The first control with a tab stop, or -1.
  int firstTabStop() const;
  // Tab (+1) and Shift-Tab (-1) through the tab stops in template order.
  void tab(int direction);

  // The id Enter presses: the focused push button, else the default button.
  int defaultButton() const;
  // A click on button ID: 1 runs OnOK, 2 OnCancel; a check box toggles;
  // other buttons have no handler.
  void press(int id);
  void enter() { press(defaultButton()); }
  void escape();
  void closeBox() { escape(); }
  // Escape, and the dialog ends cancelled even if its handler keeps it
  // open: nothing more can be typed (the input ended, Ctrl-C).
  void abandon() {
    escape();
    if (!ended_) end(IDCANCEL);
  }

  bool ended() const { return ended_; }
  int result() const { return result_; }
  void end(int result);

private:
  const UiDialogTemplate& tmpl_;
  CDialog* owner_;
  WindowHandle self_;
  std::vector<WindowHandle> controlHandles_;
  int focus_ = -1;
  bool ended_ = false;
  int result_ = IDCANCEL;
};

// The live window behind HANDLE; null for a handle that is not (or no
// longer) a shown window.
WindowHandle* liveHandle(HWND handle);

// The resources of the current resource module; null when none.
const UiResources* currentResources();
const UiDialogTemplate* findDialogTemplate(const UiResources* resources, UINT id);
const UiIconResource* findIcon(const UiResources* resources, UINT id);

} // namespace corvane::ui
