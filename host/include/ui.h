// The host's user-interface framework as a module sees it: the module hands
// its resources (string table, dialog templates, icons) to the framework at
// start, and from then on string loads and dialogs find them. Dialogs are
// modal, built from the module's templates; the host shows them in a
// terminal or answers them from a script.
//
// Where the calls are implemented (under host/):
//   resources (Afx*Module, AfxLoadString,
//     CWinApp)                               ui/resources.cpp
//   texts (CString)                          ui/cstring.cpp
//   windows and dialogs, message boxes,
//     WinHelpA                               ui/dialog.cpp; shown by
//                                            ui/terminal_presenter.cpp or
//                                            ui/script_presenter.cpp, help
//                                            files read by ui/help_file.cpp
//
// Nothing here throws. Texts that cross the boundary are plain C texts or
// CString, whose storage comes from the host's allocator (acad_malloc), so
// either side may release it.
#pragma once

#include <cstddef>

typedef void* HINSTANCE;
typedef void* HWND;
typedef unsigned int UINT;
typedef unsigned long DWORD;
typedef int BOOL;

// ---- resources ------------------------------------------------------------

// One string-table entry of a module.
struct UiStringEntry {
  UINT id;
  const char* text;
};

// Window and control styles (the platform's values). A dialog's controls
// take the kind from their class and the low style bits.
constexpr DWORD WS_POPUP = 0x80000000UL;
constexpr DWORD WS_CHILD = 0x40000000UL;
constexpr DWORD WS_VISIBLE = 0x10000000UL;
constexpr DWORD WS_CAPTION = 0x00C00000UL;
constexpr DWORD WS_BORDER = 0x00800000UL;
constexpr DWORD WS_SYSMENU = 0x00080000UL;
constexpr DWORD WS_GROUP = 0x00020000UL;
constexpr DWORD WS_TABSTOP = 0x00010000UL;
constexpr DWORD DS_SETFONT = 0x40UL;
constexpr DWORD DS_MODALFRAME = 0x80UL;
constexpr DWORD BS_PUSHBUTTON = 0x0UL;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1UL;
constexpr DWORD BS_AUTOCHECKBOX = 0x3UL;
constexpr DWORD BS_GROUPBOX = 0x7UL;
constexpr DWORD BS_TYPEMASK = 0xFUL;
constexpr DWORD SS_LEFT = 0x0UL;
constexpr DWORD SS_ICON = 0x3UL;
constexpr DWORD SS_TYPEMASK = 0x1FUL;
constexpr DWORD ES_LEFT = 0x0UL;
constexpr DWORD ES_AUTOHSCROLL = 0x80UL;
constexpr DWORD TBS_AUTOTICKS = 0x1UL;
constexpr DWORD TBS_HORZ = 0x0UL;

// The id of controls that nothing refers to.
constexpr int IDC_STATIC = -1;

enum UiControlClass { kUiButton, kUiStatic, kUiEdit, kUiTrackBar };

// One control of a dialog template. Position and size are in dialog units
// (a quarter of the font's average character width across, an eighth of its
// height down). TEXT may hold line feeds (static text); null is empty.
// IMAGEID names the icon of an SS_ICON static.
struct UiControlTemplate {
  int id;
  UiControlClass controlClass;
  DWORD style;
  short x, y, cx, cy;
  const char* text;
  UINT imageId;
};

// A dialog template: caption, font, size in dialog units and the controls in
// template order, which is also the tab order.
struct UiDialogTemplate {
  UINT id;
  DWORD style;
  const char* caption;
  const char* fontName;
  short pointSize;
  short cx, cy;
  const UiControlTemplate* controls;
  size_t controlCount;
};

// An icon: its image as rows of text, drawn as they are where a terminal
// shows the icon.
struct UiIconResource {
  UINT id;
  const char* const* rows;
  size_t rowCount;
};

// Everything a module supplies. The arrays are the module's static data and
// must stay valid until AfxTermModule.
struct UiResources {
  const UiStringEntry* strings;
  size_t stringCount;
  const UiDialogTemplate* dialogs = nullptr;
  size_t dialogCount = 0;
  const UiIconResource* icons = nullptr;
  size_t iconCount = 0;
};

// The application object of a module: one per module, constructed when the
// module file is loaded. The framework calls InitInstance after
// AfxInitModule and ExitInstance before AfxTermModule.
class CWinApp {
public:
  CWinApp();
  virtual ~CWinApp();
  virtual bool InitInstance();
  virtual int ExitInstance();
};

// Per-module start: records the module's resources under its instance
// handle and makes that module the current resource module; then calls the
// application object's InitInstance. False when INSTANCE is null.
bool AfxInitModule(HINSTANCE instance, const UiResources* resources, CWinApp* app);
// Per-module stop: the application object's ExitInstance, then forgets the
// module's resources.
void AfxTermModule(HINSTANCE instance, CWinApp* app);

// Loads string ID of the current resource module into BUFFER (at most
// bufferMax bytes with the terminator). Returns the length copied; 0 when
// there is no such string or no resource module.
int AfxLoadString(UINT id, char* buffer, UINT bufferMax);

// ---- texts ----------------------------------------------------------------

// A text owned by its object; storage from acad_malloc, released by the
// destructor. Never null: an empty text reads as "". A failed allocation
// leaves the text empty.
class CString {
public:
  CString();
  CString(const char* text); // NOLINT: converts like the platform's
  CString(const CString& other);
  ~CString();
  CString& operator=(const char* text);
  CString& operator=(const CString& other);

  int GetLength() const;
  bool IsEmpty() const;
  void Empty();
  operator const char*() const;

private:
  char* data_; // null or acad_malloc'd, null-terminated
};

// ---- windows and dialogs ----------------------------------------------------

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

class CDataExchange;

// A window or control. m_hWnd is the host's handle of the live window while
// it is shown, null otherwise; calls on a window without a handle do nothing.
class CWnd {
public:
  CWnd();
  virtual ~CWnd();
  // Exchange between the members of a dialog and its controls.
  virtual void DoDataExchange(CDataExchange* pDX);

  HWND GetSafeHwnd() const { return m_hWnd; }
  // The title of a dialog, the text of a control.
  void SetWindowText(const char* text);
  // Copies the text into BUFFER (at most bufferMax bytes with the
  // terminator); returns the length copied.
  int GetWindowText(char* buffer, int bufferMax) const;
  // Moves the keyboard focus to this control.
  void SetFocus();

  HWND m_hWnd;

  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;
};

// A track-bar control bound with DDX_Control. Until the range is set it runs
// from 0 to 100 at position 0, one tick per position. Arrow keys move it by
// the line size (1), page keys by the page size (a fifth of the range, until
// SetPageSize).
class CSliderCtrl : public CWnd {
public:
  void SetRange(int minimum, int maximum, bool redraw = false);
  void GetRange(int& minimum, int& maximum) const;
  // A tick mark every FREQ positions (automatic ticks).
  void SetTicFreq(int freq);
  // Moves the thumb; values outside the range are clamped to it.
  void SetPos(int pos);
  int GetPos() const;
  int GetLineSize() const;
  int GetPageSize() const;
  int SetLineSize(int size); // returns the previous size
  int SetPageSize(int size);
};

// A modal dialog from template TEMPLATEID of the current resource module.
// DoModal shows it until a handler calls EndDialog: the OK button (id 1) and
// Enter on the default button call OnOK; Cancel (id 2), Escape and the close
// box call OnCancel. Virtual slots, in order: destructor, DoDataExchange,
// OnInitDialog, OnOK, OnCancel.
class CDialog : public CWnd {
public:
  // PARENT is the owner window (null: none); the dialog is modal to it.
  explicit CDialog(UINT templateId, HWND parent = nullptr);
  ~CDialog() override;

  // IDOK, IDCANCEL, or -1 when the template can't be found.
  int DoModal();
  void EndDialog(int result);

  // Default: UpdateData(false). Returning true gives the focus to the first
  // control with a tab stop; return false after placing it yourself.
  virtual bool OnInitDialog();
  // Default: UpdateData(true) and, when that succeeds, EndDialog(IDOK).
  virtual void OnOK();
  // Default: EndDialog(IDCANCEL).
  virtual void OnCancel();

  // Runs DoDataExchange towards the members (true: controls to members,
  // with validation) or towards the controls (false). False when a
  // validation failed; the user has then been told and the focus is on the
  // control that failed.
  bool UpdateData(bool saveAndValidate = true);

  void SetDlgItemText(int id, const char* text);
  int GetDlgItemText(int id, char* buffer, int bufferMax) const;
  // Moves the focus to control ID.
  void GotoDlgCtrl(int id);

  UINT templateId() const { return templateId_; }
  HWND parentWindow() const { return parent_; }

private:
  UINT templateId_;
  HWND parent_;
};

// One exchange between a dialog's members and its controls. The helpers do
// nothing once a validation has failed, so a DoDataExchange runs to its end
// and UpdateData reports the failure.
class CDataExchange {
public:
  CDataExchange(CWnd* dialog, bool saveAndValidate);
  bool m_bSaveAndValidate;
  CWnd* m_pDlgWnd;

  // The control a later DDV_ call validates; null handle when ID is not a
  // control of the dialog.
  HWND PrepareCtrl(int id);
  HWND PrepareEditCtrl(int id);
  // Marks the exchange failed and puts the focus on the last prepared
  // control (an edit control gets its whole text selected).
  void Fail();
  bool failed() const { return failed_; }
  int lastControlId() const { return lastControl_; }
  bool lastControlIsEdit() const { return lastIsEdit_; }

private:
  int lastControl_ = 0;
  bool lastIsEdit_ = false;
  bool failed_ = false;
};

// Edit text <-> VALUE.
void DDX_Text(CDataExchange* pDX, int id, CString& value);
// Towards the controls: limits typing in the last edit control to MAXCHARS.
// Towards the members: a VALUE longer than MAXCHARS shows "Please enter no
// more than MAXCHARS characters." in a message box with an exclamation icon
// and fails the exchange.
void DDV_MaxChars(CDataExchange* pDX, const CString& value, int maxChars);
// Check box state <-> VALUE (1 checked, 0 not).
void DDX_Check(CDataExchange* pDX, int id, int& value);
// Binds CONTROL to control ID of the dialog (once; later exchanges keep it).
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

// ---- message boxes and help ------------------------------------------------

constexpr UINT MB_OK = 0x0U;
constexpr UINT MB_OKCANCEL = 0x1U;
constexpr UINT MB_ICONSTOP = 0x10U;
constexpr UINT MB_ICONQUESTION = 0x20U;
constexpr UINT MB_ICONEXCLAMATION = 0x30U;
constexpr UINT MB_ICONINFORMATION = 0x40U;

// Shows TEXT until the user acknowledges it; returns the button pressed
// (IDOK; IDCANCEL for MB_OKCANCEL answered with Cancel).
int AfxMessageBox(const char* text, UINT type = MB_OK, UINT helpId = 0);
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);

// Help commands of WinHelpA.
constexpr UINT HELP_CONTEXT = 0x1U;
constexpr UINT HELP_QUIT = 0x2U;
constexpr UINT HELP_CONTENTS = 0x3U;
constexpr UINT HELP_FINDER = 0xBU;

// Opens help file HELPFILE: HELP_FINDER and HELP_CONTENTS show its topics
// (a terminal lets the user pick and read them; a script gets the list),
// HELP_CONTEXT shows topic number DATA (1-based), HELP_QUIT does nothing.
// Returns 1, or 0 when the file can't be read (after saying so) or the
// command is unknown.
BOOL WinHelpA(HWND owner, const char* helpFile, UINT command, unsigned long data);
