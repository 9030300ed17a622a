// The framework's windows and dialogs as the module uses them: CWnd,
// CDialog, data exchange, track bars, message boxes and the help service.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "console/console.h"
#include "runtime/text.h"
#include "ui.h"
#include "ui/dialog_window.h"
#include "ui/help_file.h"
#include "ui/presenter.h"

namespace corvane::ui {
namespace {

Presenter* gOverride = nullptr;

// The dialogs being shown, innermost last: message boxes stand on the top one.
std::vector<DialogWindow*>& shownDialogs() {
  static auto* dialogs = new std::vector<DialogWindow*>;
  return *dialogs;
}

// Members bound to a control with DDX_Control lose their handle when the
// dialog goes away.
std::vector<std::pair<DialogWindow*, CWnd*>>& boundWindows() {
  static auto* bound = new std::vector<std::pair<DialogWindow*, CWnd*>>;
  return *bound;
}

Control* controlOf(HWND handle) {
  WindowHandle* h = liveHandle(handle);
  if (h == nullptr || h->control < 0) return nullptr;
  return &h->dialog->controls[static_cast<size_t>(h->control)];
}

Control* trackBarOf(HWND handle) {
  Control* c = controlOf(handle);
  return c != nullptr && c->kind == ControlKind::kTrackBar ? c : nullptr;
}

DialogWindow* dialogOf(const CWnd* wnd) {
  WindowHandle* h = wnd ? liveHandle(wnd->m_hWnd) : nullptr;
  return h != nullptr && h->control < 0 ? h->dialog : nullptr;
}

int copyOut(const std::string& text, char* buffer, int bufferMax) {
  if (buffer == nullptr || bufferMax <= 0) return 0;
  // Cut where a character ends: a short buffer never gets part of one.
  size_t n = text.size() <= static_cast<size_t>(bufferMax - 1) ? text.size() : 0;
  for (size_t next; n < text.size() && (next = utf8Next(text, n)) <= static_cast<size_t>(bufferMax - 1);) n = next;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
  return static_cast<int>(n);
}

} // namespace

Presenter& activePresenter() {
  if (gOverride != nullptr) return *gOverride;
  static Presenter* script = makeScriptPresenter().release();
  static Presenter* terminal = makeTerminalPresenter().release();
  Console* console = currentConsole();
  if (console != nullptr && console->interactive() && isatty(STDIN_FILENO) && isatty(STDOUT_FILENO) &&
      terminal != nullptr)
    return *terminal;
  return *script;
}

void setPresenterOverride(Presenter* presenter) { gOverride = presenter; }

} // namespace corvane::ui

using namespace corvane::ui;

// ---- CWnd -------------------------------------------------------------------

CWnd::CWnd() : m_hWnd(nullptr) {}
CWnd::~CWnd() {
  auto& bound = boundWindows();
  for (size_t i = 0; i < bound.size();) {
    if (bound[i].second == this) bound.erase(bound.begin() + static_cast<long>(i));
    else ++i;
  }
}
void CWnd::DoDataExchange(CDataExchange*) {}

void CWnd::SetWindowText(const char* text) {
  WindowHandle* h = liveHandle(m_hWnd);
  if (h == nullptr) return;
  std::string value = text ? text : "";
  if (h->control < 0) {
    h->dialog->title = value;
    return;
  }
  Control& c = h->dialog->controls[static_cast<size_t>(h->control)];
  c.text = value;
  c.moveCaret(0);
}

int CWnd::GetWindowText(char* buffer, int bufferMax) const {
  WindowHandle* h = liveHandle(m_hWnd);
  if (h == nullptr) return copyOut("", buffer, bufferMax);
  if (h->control < 0) return copyOut(h->dialog->title, buffer, bufferMax);
  return copyOut(h->dialog->controls[static_cast<size_t>(h->control)].text, buffer, bufferMax);
}

void CWnd::SetFocus() {
  WindowHandle* h = liveHandle(m_hWnd);
  if (h != nullptr && h->control >= 0) h->dialog->setFocus(h->control, false);
}

// ---- CSliderCtrl --------------------------------------------------------------

void CSliderCtrl::SetRange(int minimum, int maximum, bool) {
  if (Control* c = trackBarOf(m_hWnd)) {
    c->rangeMin = minimum;
    c->rangeMax = maximum;
    c->setPos(c->pos);
  }
}

void CSliderCtrl::GetRange(int& minimum, int& maximum) const {
  Control* c = trackBarOf(m_hWnd);
  minimum = c ? c->rangeMin : 0;
  maximum = c ? c->rangeMax : 0;
}

void CSliderCtrl::SetTicFreq(int freq) {
  if (Control* c = trackBarOf(m_hWnd); c != nullptr && freq > 0) c->ticFreq = freq;
}

void CSliderCtrl::SetPos(int pos) {
  if (Control* c = trackBarOf(m_hWnd)) c->setPos(pos);
}

int CSliderCtrl::GetPos() const {
  Control* c = trackBarOf(m_hWnd);
  return c ? c->pos : 0;
}

int CSliderCtrl::GetLineSize() const {
  Control* c = trackBarOf(m_hWnd);
  return c ? c->lineSize : 0;
}

int CSliderCtrl::GetPageSize() const {
  Control* c = trackBarOf(m_hWnd);
  return c ? c->effectivePageSize() : 0;
}

int CSliderCtrl::SetLineSize(int size) {
  Control* c = trackBarOf(m_hWnd);
  if (c == nullptr) return 0;
  int old = c->lineSize;
  c->lineSize = size;
  return old;
}

int CSliderCtrl::SetPageSize(int size) {
  Control* c = trackBarOf(m_hWnd);
  if (c == nullptr) return 0;
  int old = c->effectivePageSize();
  c->pageSize = size;
  return old;
}

// ---- CDialog --------------------------------------------------------------------

CDialog::CDialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}
CDialog::~CDialog() = default;

int CDialog::DoModal() {
  const UiResources* resources = currentResources();
  const UiDialogTemplate* t = findDialogTemplate(resources, templateId_);
  if (t == nullptr) return -1;
  DialogWindow window(*t, resources, this);
  m_hWnd = window.handle();
  shownDialogs().push_back(&window);
  if (OnInitDialog()) window.setFocus(window.firstTabStop(), true);
  if (!window.ended()) activePresenter().runDialog(window);
  shownDialogs().pop_back();
  m_hWnd = nullptr;
  auto& bound = boundWindows();
  for (size_t i = 0; i < bound.size();) {
    if (bound[i].first == &window) {
      bound[i].second->m_hWnd = nullptr;
      bound.erase(bound.begin() + static_cast<long>(i));
    } else {
      ++i;
    }
  }
  return window.result();
}

void CDialog::EndDialog(int result) {
  if (DialogWindow* w = dialogOf(this)) w->end(result);
}

bool CDialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void CDialog::OnOK() {
  if (UpdateData(true)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::UpdateData(bool saveAndValidate) {
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return !dx.failed();
}

void CDialog::SetDlgItemText(int id, const char* text) {
  DialogWindow* w = dialogOf(this);
  if (w == nullptr) return;
  int i = w->indexOf(id);
  if (i < 0) return;
  CWnd item;
  item.m_hWnd = w->controlHandle(i);
  item.SetWindowText(text);
  item.m_hWnd = nullptr;
}

int CDialog::GetDlgItemText(int id, char* buffer, int bufferMax) const {
  DialogWindow* w = dialogOf(this);
  Control* c = w ? w->find(id) : nullptr;
  return copyOut(c ? c->text : std::string(), buffer, bufferMax);
}

void CDialog::GotoDlgCtrl(int id) {
  if (DialogWindow* w = dialogOf(this)) w->setFocus(w->indexOf(id), true);
}

// ---- data exchange ------------------------------------------------------------

CDataExchange::CDataExchange(CWnd* dialog, bool saveAndValidate)
    : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}

HWND CDataExchange::PrepareCtrl(int id) {
  DialogWindow* w = dialogOf(m_pDlgWnd);
  int i = w ? w->indexOf(id) : -1;
  lastControl_ = id;
  lastIsEdit_ = false;
  return i < 0 ? nullptr : w->controlHandle(i);
}

HWND CDataExchange::PrepareEditCtrl(int id) {
  HWND h = PrepareCtrl(id);
  Control* c = controlOf(h);
  lastIsEdit_ = c != nullptr && c->kind == ControlKind::kEdit;
  return h;
}

void CDataExchange::Fail() {
  failed_ = true;
  DialogWindow* w = dialogOf(m_pDlgWnd);
  if (w == nullptr) return;
  int i = w->indexOf(lastControl_);
  if (i < 0) return;
  w->setFocus(i, false);
  if (lastIsEdit_) w->controls[static_cast<size_t>(i)].selectAll();
}

void DDX_Text(CDataExchange* pDX, int id, CString& value) {
  if (pDX == nullptr || pDX->failed()) return;
  Control* c = controlOf(pDX->PrepareEditCtrl(id));
  if (c == nullptr) return;
  if (pDX->m_bSaveAndValidate) {
    value = c->text.c_str();
  } else {
    c->text = static_cast<const char*>(value);
    c->moveCaret(0);
  }
}

void DDV_MaxChars(CDataExchange* pDX, const CString& value, int maxChars) {
  if (pDX == nullptr || pDX->failed() || maxChars < 0) return;
  if (pDX->m_bSaveAndValidate) {
    // Characters, as the field counts them where typing stops.
    if (corvane::utf8Characters(static_cast<const char*>(value)) <= static_cast<size_t>(maxChars)) return;
    char text[96];
    std::snprintf(text, sizeof text, "Please enter no more than %d characters.", maxChars);
    AfxMessageBox(text, MB_ICONEXCLAMATION);
    pDX->Fail();
    return;
  }
  // Towards the controls the limit goes to the control just exchanged.
  // The text it already holds stays whole; only typing stops at the limit.
  if (!pDX->lastControlIsEdit()) return;
  if (Control* c = controlOf(pDX->PrepareEditCtrl(pDX->lastControlId()))) c->limit = static_cast<size_t>(maxChars);
}

void DDX_Check(CDataExchange* pDX, int id, int& value) {
  if (pDX == nullptr || pDX->failed()) return;
  Control* c = controlOf(pDX->PrepareCtrl(id));
  if (c == nullptr) return;
  if (pDX->m_bSaveAndValidate) value = c->checked;
  else c->checked = value != 0 ? 1 : 0;
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
  if (pDX == nullptr || pDX->failed() || control.m_hWnd != nullptr) return;
  HWND h = pDX->PrepareCtrl(id);
  WindowHandle* wh = liveHandle(h);
  if (wh == nullptr) return;
  control.m_hWnd = h;
  boundWindows().emplace_back(wh->dialog, &control);
}

// ---- message boxes and help ----------------------------------------------------

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
  DialogWindow* over = nullptr;
  if (WindowHandle* h = liveHandle(owner)) over = h->dialog;
  else if (!shownDialogs().empty()) over = shownDialogs().back();
  return activePresenter().messageBox(over, text ? text : "", caption ? caption : "", type);
}

int AfxMessageBox(const char* text, UINT type, UINT) {
  HWND owner = shownDialogs().empty() ? nullptr : shownDialogs().back()->handle();
  return MessageBoxA(owner, text, "Corvane", type);
}

BOOL WinHelpA(HWND owner, const char* helpFile, UINT command, unsigned long data) {
  if (command == HELP_QUIT) return 1;
  if (command != HELP_FINDER && command != HELP_CONTENTS && command != HELP_CONTEXT) return 0;
  std::string path = helpFile ? helpFile : "";
  HelpFile help;
  if (!loadHelpFile(path, help)) {
    MessageBoxA(owner, ("Cannot open the help file " + path + ".").c_str(), "Help", MB_ICONEXCLAMATION);
    return 0;
  }
  int topic = -1;
  if (command == HELP_CONTEXT && data >= 1 && data <= help.topics.size()) topic = static_cast<int>(data - 1);
  activePresenter().showHelp(help, topic);
  return 1;
}
