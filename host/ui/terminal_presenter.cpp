// Dialogs, message boxes and help drawn full screen in the terminal with
// ncurses. Dialog units become character cells: four across and eight down
// per cell, the proportions of the dialog font's average character. Text is
// UTF-8, one cell a character. Every resize redraws what shows, centred
// again; a dialog the terminal became too small for is answered on the
// command line until the terminal is large enough again.
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "console/console.h"
#include "console/interrupts.h"
#include "runtime/host_services.h"
#include "runtime/text.h"
#include "ui/presenter.h"

// After the framework's headers: curses defines macros (OK, ERR, TRUE).
#include <curses.h>

namespace corvane::ui {
namespace {

struct Cell {
  int row;
  int col;
};

// Where a control stands, in cells of the dialog's client area.
struct Box {
  int row, col, rows, cols;
};

Box boxOf(const UiControlTemplate& t, ControlKind kind) {
  Box b;
  b.col = t.x / 4;
  b.cols = std::max(1, (t.x + t.cx) / 4 - b.col);
  if (kind == ControlKind::kGroupBox || kind == ControlKind::kIcon || t.cy > 16) {
    b.row = t.y / 8;
    b.rows = std::max(1, (t.y + t.cy - 1) / 8 - b.row + 1);
  } else {
    // One-line controls stand on the row of their middle, nudged so that a
    // label and the field beside it share a row.
    b.row = (t.y + t.cy / 2 + 2) / 8;
    b.rows = 1;
  }
  return b;
}

std::vector<std::string> splitLines(const std::string& s) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (true) {
    size_t end = s.find('\n', start);
    lines.push_back(s.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

// Breaks each line of TEXT at spaces to at most WIDTH columns (a longer
// word stands alone). A line's indentation is kept; the parts it wraps into
// are indented as far, or, for a term and its description set apart by a
// gap ("Shininess       0 to 100"), as far as the description.
std::vector<std::string> wrap(const std::string& text, size_t width) {
  std::vector<std::string> out;
  for (const std::string& para : splitLines(text)) {
    size_t first = para.find_first_not_of(' ');
    if (first == std::string::npos) {
      out.push_back(para);
      continue;
    }
    size_t gap = para.find("  ", first);
    size_t described = gap == std::string::npos ? std::string::npos : para.find_first_not_of(' ', gap);
    const std::string indent(described != std::string::npos && described < width / 2 ? described : first, ' ');
    std::string line = para.substr(0, first);
    size_t i = first;
    while (i < para.size()) {
      size_t end = para.find(' ', i);
      std::string word = para.substr(i, end == std::string::npos ? std::string::npos : end - i);
      bool fresh = line.find_first_not_of(' ') == std::string::npos;
      if (!fresh && utf8Characters(line) + 1 + utf8Characters(word) > width) {
        out.push_back(line);
        line = indent;
        fresh = true;
      }
      line += (fresh ? "" : " ") + word;
      if (end == std::string::npos) break;
      i = end + 1;
    }
    out.push_back(line);
  }
  return out;
}

void put(int row, int col, const std::string& s, int maxCols, attr_t attr = A_NORMAL) {
  if (row < 0 || row >= LINES || maxCols <= 0) return;
  if (col < 0) return;
  const int cols = std::min(maxCols, COLS - col);
  if (cols <= 0) return;
  const size_t bytes = utf8Prefix(s, static_cast<size_t>(cols));
  if (bytes == 0) return;
  attron(attr);
  mvaddnstr(row, col, s.c_str(), static_cast<int>(bytes));
  attroff(attr);
}

void frame(int top, int left, int rows, int cols) {
  if (rows < 2 || cols < 2) return;
  mvaddch(top, left, ACS_ULCORNER);
  mvaddch(top, left + cols - 1, ACS_URCORNER);
  mvaddch(top + rows - 1, left, ACS_LLCORNER);
  mvaddch(top + rows - 1, left + cols - 1, ACS_LRCORNER);
  mvhline(top, left + 1, ACS_HLINE, cols - 2);
  mvhline(top + rows - 1, left + 1, ACS_HLINE, cols - 2);
  mvvline(top + 1, left, ACS_VLINE, rows - 2);
  mvvline(top + 1, left + cols - 1, ACS_VLINE, rows - 2);
}

void clearArea(int top, int left, int rows, int cols) {
  std::string blank(static_cast<size_t>(std::max(0, cols)), ' ');
  for (int r = 0; r < rows; ++r) put(top + r, left, blank, cols);
}

// One key: a character (a code point), or a curses key code (KEY_UP...).
struct Key {
  int code = ERR;
  bool function = false;
  bool is(int c) const { return !function && code == c; }
  bool isKey(int k) const { return function && code == k; }
  bool enter() const { return is('\n') || is('\r') || isKey(KEY_ENTER); }
  bool backspace() const { return isKey(KEY_BACKSPACE) || is(127) || is(8); }
};

constexpr int kCtrlC = 3;
constexpr int kEscape = 27;

// The terminal's size now, which may differ from curses' until it has
// seen the resize (or while curses is put aside).
bool terminalSize(int& rows, int& cols) {
  winsize size{};
  if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0 || size.ws_row == 0 || size.ws_col == 0) return false;
  rows = size.ws_row;
  cols = size.ws_col;
  return true;
}

class TerminalPresenter : public Presenter {
public:
  TerminalPresenter() : fallback_(makeScriptPresenter()) {}

  void runDialog(DialogWindow& window) override {
    if (!begin()) return fallback_->runDialog(window);
    dialogs_.push_back(&window);
    while (!window.ended()) {
      if (!fits(window)) {
        // Cut off, OK and Cancel might not even show: the dialog is
        // answered on the command line until the terminal grows again.
        if (!answerAsText(window)) break;
        continue;
      }
      draw();
      Key key = nextKey();
      if (key.code == ERR || key.is(kCtrlC)) {
        // Ctrl-C cancels; when the terminal went away nothing more can be
        // typed.
        window.abandon();
        break;
      }
      handleKey(window, key);
    }
    dialogs_.pop_back();
    end();
  }

  int messageBox(DialogWindow*, const std::string& text, const std::string& caption, UINT type) override {
    // Over a dialog answered on the command line, it is said there too.
    if (asText_ || !begin()) return fallback_->messageBox(nullptr, text, caption, type);
    bool twoButtons = (type & 0xFU) == MB_OKCANCEL;
    int chosen = 0; // 0 OK, 1 Cancel
    int result = IDOK;
    while (true) {
      draw();
      drawMessageBox(text, caption, type, twoButtons, chosen);
      Key key = nextKey();
      if (key.isKey(KEY_RESIZE)) continue;
      if (key.code == ERR || key.is(kEscape) || key.is(kCtrlC)) {
        result = twoButtons ? IDCANCEL : IDOK;
        break;
      }
      if (key.enter() || key.is(' ')) {
        result = chosen == 0 ? IDOK : IDCANCEL;
        break;
      }
      if (twoButtons && (key.is('\t') || key.isKey(KEY_BTAB) || key.isKey(KEY_LEFT) || key.isKey(KEY_RIGHT)))
        chosen = 1 - chosen;
    }
    end();
    return result;
  }

  void showHelp(const HelpFile& help, int topic) override {
    if (asText_ || !begin()) return fallback_->showHelp(help, topic);
    int selected = std::max(0, topic);
    if (topic >= 0) showTopic(help, topic);
    int count = static_cast<int>(help.topics.size());
    while (true) {
      drawTopicList(help, selected);
      Key key = nextKey();
      if (key.code == ERR || key.is(kEscape) || key.is(kCtrlC) || key.is('q') || key.is('Q')) break;
      if (key.isKey(KEY_UP)) selected = std::max(0, selected - 1);
      else if (key.isKey(KEY_DOWN)) selected = std::min(count - 1, selected + 1);
      else if (key.isKey(KEY_PPAGE)) selected = std::max(0, selected - topicRows());
      else if (key.isKey(KEY_NPAGE)) selected = std::min(count - 1, selected + topicRows());
      else if (key.isKey(KEY_HOME)) selected = 0;
      else if (key.isKey(KEY_END)) selected = count - 1;
      else if (!key.function && key.code >= '1' && key.code <= '9' && key.code - '1' < count) selected = key.code - '1';
      else if (key.enter()) showTopic(help, selected);
    }
    end();
  }

private:
  bool begin() {
    if (depth_ == 0) {
      useUtf8Characters();
      std::fflush(stdout);
      screen_ = newterm(nullptr, stdout, stdin);
      if (screen_ == nullptr) return false;
      set_term(screen_);
      // Raw: Ctrl-C arrives as a key, so that it cancels the dialog rather
      // than waiting unseen for the dialog to end.
      raw();
      timeout(kPollMs);
      noecho();
      nonl();
      keypad(stdscr, TRUE);
      set_escdelay(25);
      mousemask(BUTTON1_CLICKED | BUTTON1_PRESSED, nullptr);
    }
    ++depth_;
    return true;
  }

  void end() {
    if (--depth_ > 0) return;
    if (!asText_) endwin();
    asText_ = false;
    delscreen(screen_);
    screen_ = nullptr;
    std::fflush(stdout);
  }

  static constexpr int kPollMs = 100;

  // The next key; Ctrl-C once a break is pending (Ctrl-C, or a signal that
  // stops the host, noticed within kPollMs); code ERR when the terminal is
  // gone. A resize comes as KEY_RESIZE (within kPollMs), after which
  // everything shown is drawn afresh.
  static Key nextKey() {
    for (;;) {
      wint_t typed = 0;
      const int got = get_wch(&typed);
      if (got == OK && typed == static_cast<wint_t>(kCtrlC)) requestBreak();
      if (breakRequested()) return Key{kCtrlC, false};
      if (got == KEY_CODE_YES) {
        if (typed == KEY_RESIZE) clearok(curscr, TRUE);
        return Key{static_cast<int>(typed), true};
      }
      if (got == OK) return Key{static_cast<int>(typed), false};
      if (inputEnded()) return Key{ERR, true};
      // Curses hears of a resize only through its own SIGWINCH handler,
      // which a handler installed before it (line editing's) keeps away:
      // the size is looked at on every pause as well.
      int rows = LINES, cols = COLS;
      if (terminalSize(rows, cols) && (rows != LINES || cols != COLS)) {
        resize_term(rows, cols);
        clearok(curscr, TRUE);
        return Key{KEY_RESIZE, true};
      }
    }
  }

  // ---- the text form of a dialog --------------------------------------------

  // True when WINDOW, framed, fits the terminal as it is now.
  static bool fits(const DialogWindow& window) {
    Placement p = place(window);
    int rows = LINES, cols = COLS;
    terminalSize(rows, cols);
    return p.rows <= rows && p.cols <= cols;
  }

  // Answers WINDOW on the command line while the terminal is too small for
  // it (the screen put aside); back to the full screen as soon as it fits.
  // False when the dialog ended there, or the input did.
  bool answerAsText(DialogWindow& window) {
    Placement p = place(window);
    int rows = LINES, cols = COLS;
    terminalSize(rows, cols);
    if (!asText_) {
      endwin();
      asText_ = true;
    }
    hostPrint("\nThe dialog needs a " + std::to_string(p.cols) + "x" + std::to_string(p.rows) +
              " terminal; this one is " + std::to_string(cols) + "x" + std::to_string(rows) +
              ".\nAnswer it here: @ID TEXT for a field, @ID 0|1 for a check box,\n"
              "@ID N for a track bar, @1 for OK, @ESC for Cancel, @? to show it.\n" +
              describeDialogWithLabels(window));
    if (answerDialogOnCommandLine(window, describeDialogWithLabels, [&window] { return fits(window); }))
      return false;
    // Large enough again: the screen comes back as the dialog stands.
    int r = LINES, c = COLS;
    if (terminalSize(r, c)) resize_term(r, c);
    asText_ = false;
    clearok(curscr, TRUE);
    return true;
  }

  // ---- dialogs ---------------------------------------------------------------

  struct Placement {
    int top, left, rows, cols; // the frame, on the screen
  };

  static Placement place(const DialogWindow& w) {
    Placement p;
    p.cols = (w.tmpl().cx + 3) / 4 + 2;
    p.rows = (w.tmpl().cy + 7) / 8 + 2;
    p.top = std::max(0, (LINES - p.rows) / 2);
    p.left = std::max(0, (COLS - p.cols) / 2);
    return p;
  }

  void draw() {
    erase();
    curs_set(0);
    Cell caret{-1, -1};
    for (DialogWindow* w : dialogs_) drawDialog(*w, caret);
    if (caret.row >= 0) {
      curs_set(1);
      move(caret.row, caret.col);
    }
    refresh();
  }

  void drawDialog(DialogWindow& w, Cell& caret) {
    Placement p = place(w);
    clearArea(p.top, p.left, p.rows, p.cols);
    frame(p.top, p.left, p.rows, p.cols);
    std::string title = " " + w.title + " ";
    put(p.top, p.left + 2, title, p.cols - 7, A_BOLD);
    put(p.top, p.left + p.cols - 4, "[X]", 3);
    int top = p.top + 1;
    int left = p.left + 1;
    int width = p.cols - 2;
    caret = Cell{-1, -1};
    for (size_t i = 0; i < w.controls.size(); ++i) {
      Control& c = w.controls[i];
      Box b = boxOf(*c.tmpl, c.kind);
      b.cols = std::min(b.cols, width - b.col);
      bool focused = static_cast<int>(i) == w.focus();
      int row = top + b.row;
      int col = left + b.col;
      std::string text = shownLabel(c.text);
      switch (c.kind) {
      case ControlKind::kGroupBox:
        frame(row, col, std::max(2, b.rows), b.cols);
        if (!text.empty()) put(row, col + 1, " " + text + " ", b.cols - 2);
        break;
      case ControlKind::kLabel: {
        std::vector<std::string> lines = splitLines(text);
        // A one-line label may run past its box, as the platform's narrower
        // glyphs would let it; it stops at the dialog's edge.
        int room = b.rows == 1 ? width - b.col : b.cols;
        for (size_t l = 0; l < lines.size() && static_cast<int>(l) < b.rows; ++l)
          put(row + static_cast<int>(l), col, lines[l], room);
        break;
      }
      case ControlKind::kIcon:
        if (c.icon != nullptr)
          for (size_t r = 0; r < c.icon->rowCount && static_cast<int>(r) < b.rows; ++r)
            put(row + static_cast<int>(r), col, c.icon->rows[r], b.cols);
        break;
      case ControlKind::kPushButton:
      case ControlKind::kDefPushButton: {
        bool isDefault = w.defaultButton() == c.id;
        std::string label = isDefault ? "[ " + text + " ]" : "< " + text + " >";
        int pad = std::max(0, (b.cols - static_cast<int>(label.size())) / 2);
        attr_t attr = (focused ? A_REVERSE : A_NORMAL) | (isDefault ? A_BOLD : A_NORMAL);
        put(row, col + pad, label, b.cols - pad, attr);
        break;
      }
      case ControlKind::kCheckBox:
        put(row, col, c.checked ? "[x]" : "[ ]", b.cols, focused ? A_REVERSE : A_NORMAL);
        put(row, col + 4, text, b.cols - 4, focused ? A_UNDERLINE : A_NORMAL);
        break;
      case ControlKind::kEdit: {
        // One cell a character; scrolled so that the caret shows.
        const size_t fieldCols = static_cast<size_t>(std::max(1, b.cols));
        const size_t caretAt = utf8Characters(std::string_view(c.text).substr(0, c.caret));
        const size_t scroll = caretAt >= fieldCols ? caretAt - fieldCols + 1 : 0;
        size_t at = utf8Prefix(c.text, scroll);
        for (size_t k = 0; k < fieldCols; ++k) {
          const size_t next = utf8Next(c.text, at);
          std::string ch = at < c.text.size() ? c.text.substr(at, next - at) : " ";
          // A byte that is no UTF-8, or a control character, shows as "?"
          // rather than going to the terminal raw.
          if (utf8SequenceLength(ch, 0) != ch.size() || static_cast<unsigned char>(ch[0]) < 0x20) ch = "?";
          const bool selected = focused && at >= c.selStart && at < c.selEnd;
          put(row, col + static_cast<int>(k), ch, 1, selected ? A_REVERSE : A_UNDERLINE);
          at = next;
        }
        if (focused) caret = Cell{row, col + static_cast<int>(caretAt - scroll)};
        break;
      }
      case ControlKind::kTrackBar:
        drawTrackBar(c, row, col, b.cols, focused);
        break;
      }
    }
  }

  static void drawTrackBar(const Control& c, int row, int col, int cols, bool focused) {
    int track = std::max(2, cols - 4);
    int span = std::max(1, c.rangeMax - c.rangeMin);
    auto cellOf = [&](int pos) { return (pos - c.rangeMin) * (track - 1) / span; };
    std::string line(static_cast<size_t>(track), '-');
    for (int p = c.rangeMin; p <= c.rangeMax && c.ticFreq > 0; p += c.ticFreq) line[static_cast<size_t>(cellOf(p))] = '+';
    line[static_cast<size_t>(cellOf(c.rangeMax))] = '+';
    put(row, col, line, track);
    put(row, col + cellOf(c.pos), "#", 1, focused ? (A_REVERSE | A_BOLD) : A_BOLD);
    char value[8];
    std::snprintf(value, sizeof value, "%4d", c.pos);
    put(row, col + track, value, cols - track);
  }

  void handleKey(DialogWindow& w, const Key& key) {
    Control* c = w.focused();
    if (key.isKey(KEY_RESIZE)) return; // drawn afresh, centred again
    if (key.is('\t')) return w.tab(1);
    if (key.isKey(KEY_BTAB)) return w.tab(-1);
    if (key.is(kEscape)) return w.escape();
    if (key.enter()) return w.enter();
    if (key.isKey(KEY_MOUSE)) return handleMouse(w);
    if (c == nullptr) return;
    switch (c->kind) {
    case ControlKind::kEdit:
      if (key.isKey(KEY_LEFT)) c->moveCaret(utf8Previous(c->text, c->caret));
      else if (key.isKey(KEY_RIGHT)) c->moveCaret(utf8Next(c->text, c->caret));
      else if (key.isKey(KEY_HOME)) c->moveCaret(0);
      else if (key.isKey(KEY_END)) c->moveCaret(c->text.size());
      else if (key.backspace()) c->backspace();
      else if (key.isKey(KEY_DC)) c->deleteForward();
      else if (key.is(1)) c->selectAll(); // Ctrl-A
      else if (!key.function && key.code >= ' ' && key.code != 127) {
        std::string typed;
        appendUtf8(typed, static_cast<char32_t>(key.code));
        c->type(typed);
      }
      return;
    case ControlKind::kTrackBar:
      if (key.isKey(KEY_LEFT) || key.isKey(KEY_UP)) c->setPos(c->pos - c->lineSize);
      else if (key.isKey(KEY_RIGHT) || key.isKey(KEY_DOWN)) c->setPos(c->pos + c->lineSize);
      else if (key.isKey(KEY_PPAGE)) c->setPos(c->pos - c->effectivePageSize());
      else if (key.isKey(KEY_NPAGE)) c->setPos(c->pos + c->effectivePageSize());
      else if (key.isKey(KEY_HOME)) c->setPos(c->rangeMin);
      else if (key.isKey(KEY_END)) c->setPos(c->rangeMax);
      return;
    case ControlKind::kCheckBox:
    case ControlKind::kPushButton:
    case ControlKind::kDefPushButton:
      if (key.is(' ')) w.press(c->id);
      else if (key.isKey(KEY_LEFT) || key.isKey(KEY_UP)) w.tab(-1);
      else if (key.isKey(KEY_RIGHT) || key.isKey(KEY_DOWN)) w.tab(1);
      return;
    default:
      return;
    }
  }

  void handleMouse(DialogWindow& w) {
    MEVENT event;
    if (getmouse(&event) != OK) return;
    Placement p = place(w);
    if (event.y == p.top && event.x >= p.left + p.cols - 4 && event.x < p.left + p.cols - 1) return w.closeBox();
    int row = event.y - p.top - 1;
    int col = event.x - p.left - 1;
    for (size_t i = 0; i < w.controls.size(); ++i) {
      Control& c = w.controls[i];
      if (!c.tabStop) continue;
      Box b = boxOf(*c.tmpl, c.kind);
      if (row < b.row || row >= b.row + b.rows || col < b.col || col >= b.col + b.cols) continue;
      w.setFocus(static_cast<int>(i), false);
      if (c.isButton() || c.kind == ControlKind::kCheckBox) {
        w.press(c.id);
      } else if (c.kind == ControlKind::kTrackBar) {
        int track = std::max(2, b.cols - 4);
        int at = std::min(col - b.col, track - 1);
        c.setPos(c.rangeMin + at * (c.rangeMax - c.rangeMin) / (track - 1));
      } else if (c.kind == ControlKind::kEdit) {
        // The cell clicked, in characters from where the field is scrolled.
        const size_t cells = static_cast<size_t>(std::max(1, b.cols));
        const size_t caretAt = utf8Characters(std::string_view(c.text).substr(0, c.caret));
        const size_t scroll = caretAt >= cells ? caretAt - cells + 1 : 0;
        c.moveCaret(utf8Prefix(c.text, scroll + static_cast<size_t>(col - b.col)));
      }
      return;
    }
  }

  // ---- message boxes ----------------------------------------------------------

  static void drawMessageBox(const std::string& text, const std::string& caption, UINT type, bool twoButtons,
                             int chosen) {
    const char* icon = "(i)";
    switch (type & 0xF0U) {
    case MB_ICONEXCLAMATION: icon = "/!\\"; break;
    case MB_ICONSTOP: icon = "(X)"; break;
    case MB_ICONQUESTION: icon = "(?)"; break;
    default: break;
    }
    int width = std::min(std::max(30, static_cast<int>(utf8Characters(text)) + 10), std::max(20, COLS - 4));
    std::vector<std::string> lines = wrap(text, static_cast<size_t>(width - 10));
    int rows = static_cast<int>(lines.size()) + 6;
    int top = std::max(0, (LINES - rows) / 2);
    int left = std::max(0, (COLS - width) / 2);
    clearArea(top, left, rows, width);
    frame(top, left, rows, width);
    put(top, left + 2, " " + caption + " ", width - 4, A_BOLD);
    put(top + 2, left + 2, icon, 3, A_BOLD);
    for (size_t i = 0; i < lines.size(); ++i) put(top + 2 + static_cast<int>(i), left + 7, lines[i], width - 9);
    int buttonRow = top + rows - 2;
    if (twoButtons) {
      put(buttonRow, left + width / 2 - 11, "[  OK  ]", 8, chosen == 0 ? A_REVERSE : A_NORMAL);
      put(buttonRow, left + width / 2 + 2, "[ Cancel ]", 10, chosen == 1 ? A_REVERSE : A_NORMAL);
    } else {
      put(buttonRow, left + width / 2 - 4, "[  OK  ]", 8, A_REVERSE);
    }
    curs_set(0);
    refresh();
  }

  // ---- help -------------------------------------------------------------------

  // The rows the topic list has on the screen as it is now (at least one).
  static int topicRows() { return std::max(1, LINES - 2 - 2); }

  // The introduction wrapped to the screen, then the topics, scrolled so
  // that the selected one shows; what lies above or below is marked.
  static void drawTopicList(const HelpFile& help, int selected) {
    erase();
    curs_set(0);
    put(0, 0, " Help Topics: " + help.title, COLS, A_REVERSE);
    const size_t width = static_cast<size_t>(std::max(10, COLS - 4));
    // The introduction is prose: its lines run together into paragraphs
    // (an empty line parts them), wrapped to the screen.
    std::vector<std::string> intro;
    std::string paragraph;
    auto flush = [&] {
      if (paragraph.empty()) return;
      for (std::string& part : wrap(paragraph, width)) intro.push_back(std::move(part));
      paragraph.clear();
    };
    for (const std::string& line : help.introduction) {
      if (line.find_first_not_of(' ') == std::string::npos) {
        flush();
        intro.emplace_back();
      } else {
        paragraph += (paragraph.empty() ? "" : " ") + line;
      }
    }
    flush();
    if (!intro.empty()) intro.emplace_back();
    // The introduction gives way to the topics on a short screen.
    const int rows = topicRows();
    const int count = static_cast<int>(help.topics.size());
    const int introRows = std::min(static_cast<int>(intro.size()), std::max(0, rows - std::min(count, rows)));
    int row = 2;
    for (int i = 0; i < introRows; ++i) put(row++, 2, intro[static_cast<size_t>(i)], COLS - 4);
    const int listRows = std::max(1, rows - introRows);
    const int first = std::clamp(selected - listRows + 1, 0, std::max(0, count - listRows));
    for (int i = first; i < count && i < first + listRows; ++i) {
      char number[32];
      std::snprintf(number, sizeof number, "%2d  ", i + 1);
      put(row++, 2, number + help.topics[static_cast<size_t>(i)].title, COLS - 4,
          i == selected ? A_REVERSE : A_NORMAL);
    }
    // Where the list stands when it does not show whole.
    std::string where;
    if (first > 0 || first + listRows < count)
      where = " " + std::to_string(first + 1) + "-" + std::to_string(std::min(count, first + listRows)) + " of " +
              std::to_string(count) + " ";
    put(LINES - 1, 0, where + " Up/Down choose   Enter read   Esc close", COLS, A_REVERSE);
    refresh();
  }

  static void showTopic(const HelpFile& help, int topic) {
    if (topic < 0 || static_cast<size_t>(topic) >= help.topics.size()) return;
    const HelpTopic& t = help.topics[static_cast<size_t>(topic)];
    int first = 0;
    while (true) {
      // Wrapped afresh each time: the screen may have changed its width.
      std::vector<std::string> lines;
      for (const std::string& line : t.lines) {
        std::vector<std::string> wrapped = wrap(line, static_cast<size_t>(std::max(10, COLS - 4)));
        lines.insert(lines.end(), wrapped.begin(), wrapped.end());
      }
      const int visible = std::max(1, LINES - 3);
      const int last = std::max(0, static_cast<int>(lines.size()) - visible);
      first = std::min(first, last);
      erase();
      put(0, 0, " " + t.title, COLS, A_REVERSE);
      for (int r = 0; r < visible && first + r < static_cast<int>(lines.size()); ++r)
        put(2 + r, 2, lines[static_cast<size_t>(first + r)], COLS - 4);
      put(LINES - 1, 0, " Up/Down/PgUp/PgDn scroll   Esc back to the topics", COLS, A_REVERSE);
      refresh();
      Key key = nextKey();
      if (key.code == ERR || key.is(kEscape) || key.is(kCtrlC) || key.is('q') || key.is('Q') || key.backspace() ||
          key.isKey(KEY_LEFT))
        return;
      if (key.isKey(KEY_UP)) first = std::max(0, first - 1);
      else if (key.isKey(KEY_DOWN)) first = std::min(last, first + 1);
      else if (key.isKey(KEY_PPAGE)) first = std::max(0, first - visible);
      else if (key.isKey(KEY_NPAGE) || key.is(' ')) first = std::min(last, first + visible);
    }
  }

  std::unique_ptr<Presenter> fallback_;
  std::vector<DialogWindow*> dialogs_;
  SCREEN* screen_ = nullptr;
  int depth_ = 0;
  bool asText_ = false; // the screen is put aside for the text form of a dialog
};

} // namespace

std::unique_ptr<Presenter> makeTerminalPresenter() { return std::make_unique<TerminalPresenter>(); }

} // namespace corvane::ui
