#include "ui/dialog_window.h"

#include <algorithm>
#include <set>

#include "runtime/text.h"

namespace corvane::ui {
namespace {

std::set<const WindowHandle*>& liveHandles() {
  static auto* handles = new std::set<const WindowHandle*>;
  return *handles;
}

ControlKind kindOf(const UiControlTemplate& t) {
  switch (t.controlClass) {
  case kUiButton:
    switch (t.style & BS_TYPEMASK) {
    case BS_DEFPUSHBUTTON: return ControlKind::kDefPushButton;
    case BS_AUTOCHECKBOX: return ControlKind::kCheckBox;
    case BS_GROUPBOX: return ControlKind::kGroupBox;
    default: return ControlKind::kPushButton;
    }
  case kUiStatic: return (t.style & SS_TYPEMASK) == SS_ICON ? ControlKind::kIcon : ControlKind::kLabel;
  case kUiEdit: return ControlKind::kEdit;
  case kUiTrackBar: return ControlKind::kTrackBar;
  }
  return ControlKind::kLabel;
}

} // namespace

int Control::effectivePageSize() const {
  if (pageSize >= 0) return pageSize;
  int fifth = (rangeMax - rangeMin) / 5;
  return fifth > 0 ? fifth : 1;
}

void Control::setPos(int position) { pos = std::clamp(position, rangeMin, std::max(rangeMin, rangeMax)); }

void Control::selectAll() {
  selStart = 0;
  selEnd = text.size();
  caret = text.size();
}

void Control::type(const std::string& typed) {
  size_t a = std::min(selStart, text.size());
  size_t b = std::min(std::max(selEnd, a), text.size());
  text.erase(a, b - a);
  // The limit counts characters, and typing stops before one that would
  // pass it: never in the middle of one.
  const size_t have = utf8Characters(text);
  const size_t room = have < limit ? limit - have : 0;
  const size_t taken = utf8Prefix(typed, room);
  text.insert(a, typed, 0, taken);
  caret = a + taken;
  selStart = selEnd = caret;
}

void Control::backspace() {
  if (selEnd > selStart) {
    type("");
  } else if (caret > 0 && caret <= text.size()) {
    const size_t start = utf8Previous(text, caret);
    text.erase(start, caret - start);
    selStart = selEnd = caret = start;
  }
}

void Control::deleteForward() {
  if (selEnd > selStart) {
    type("");
  } else if (caret < text.size()) {
    text.erase(caret, utf8Next(text, caret) - caret);
    selStart = selEnd = caret;
  }
}

void Control::moveCaret(size_t to) {
  // A caret inside a character stands before it.
  size_t at = 0;
  for (size_t next; at < text.size() && (next = utf8Next(text, at)) <= to;) at = next;
  caret = selStart = selEnd = at;
}

DialogWindow::DialogWindow(const UiDialogTemplate& t, const UiResources* resources, CDialog* owner)
    : title(t.caption ? t.caption : ""), tmpl_(t), owner_(owner), self_{this, -1} {
  controls.reserve(t.controlCount);
  controlHandles_.reserve(t.controlCount);
  for (size_t i = 0; i < t.controlCount; ++i) {
    const UiControlTemplate& ct = t.controls[i];
    Control c;
    c.tmpl = &ct;
    c.id = ct.id;
    c.kind = kindOf(ct);
    c.tabStop = (ct.style & WS_TABSTOP) != 0;
    c.text = ct.text ? ct.text : "";
    if (c.kind == ControlKind::kIcon) c.icon = findIcon(resources, ct.imageId);
    controls.push_back(std::move(c));
    controlHandles_.push_back(WindowHandle{this, static_cast<int>(i)});
  }
  liveHandles().insert(&self_);
  for (const WindowHandle& h : controlHandles_) liveHandles().insert(&h);
}

DialogWindow::~DialogWindow() {
  liveHandles().erase(&self_);
  for (const WindowHandle& h : controlHandles_) liveHandles().erase(&h);
}

Control* DialogWindow::find(int id) {
  int i = indexOf(id);
  return i < 0 ? nullptr : &controls[static_cast<size_t>(i)];
}

int DialogWindow::indexOf(int id) const {
  if (id == IDC_STATIC) return -1;
  for (size_t i = 0; i < controls.size(); ++i)
    if (controls[i].id == id) return static_cast<int>(i);
  return -1;
}

void DialogWindow::setFocus(int index, bool selectText) {
  if (index < 0 || index >= static_cast<int>(controls.size())) return;
  focus_ = index;
  Control& c = controls[static_cast<size_t>(index)];
  if (c.kind == ControlKind::kEdit && selectText) c.selectAll();
}

int DialogWindow::firstTabStop() const {
  for (size_t i = 0; i < controls.size(); ++i)
    if (controls[i].tabStop) return static_cast<int>(i);
  return -1;
}

void DialogWindow::tab(int direction) {
  int n = static_cast<int>(controls.size());
  if (n == 0) return;
  int i = focus_ < 0 ? (direction > 0 ? -1 : 0) : focus_;
  for (int step = 0; step < n; ++step) {
    i = ((i + direction) % n + n) % n;
    if (controls[static_cast<size_t>(i)].tabStop) {
      setFocus(i, true);
      return;
    }
  }
}

int DialogWindow::defaultButton() const {
  if (focus_ >= 0 && controls[static_cast<size_t>(focus_)].isButton()) return controls[static_cast<size_t>(focus_)].id;
  for (const Control& c : controls)
    if (c.kind == ControlKind::kDefPushButton) return c.id;
  return IDOK;
}

void DialogWindow::press(int id) {
  if (ended_) return;
  if (Control* c = find(id); c != nullptr && c->kind == ControlKind::kCheckBox) {
    c->checked = c->checked ? 0 : 1;
    return;
  }
  // The platform sends OK and Cancel to their handlers whether or not the
  // template has such a button.
  if (id == IDOK && owner_ != nullptr) owner_->OnOK();
  else if (id == IDCANCEL && owner_ != nullptr) owner_->OnCancel();
}

void DialogWindow::escape() { press(IDCANCEL); }

void DialogWindow::end(int result) {
  ended_ = true;
  result_ = result;
}

WindowHandle* liveHandle(HWND handle) {
  auto* h = static_cast<WindowHandle*>(handle);
  return liveHandles().count(h) ? h : nullptr;
}

} // namespace corvane::ui
