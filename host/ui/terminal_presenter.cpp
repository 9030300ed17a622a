// Dialogs, message boxes and help drawn full screen in the terminal with
// ncurses. Dialog units become character cells: four across and eight down
// per cell, the proportions of the dialog font's average character.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

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
      if (!fresh && line.size() + 1 + word.size() > width) {
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
  int n = std::min<int>(static_cast<int>(s.size()), std::min(maxCols, COLS - col));
  if (n <= 0) return;
  attron(attr);
  mvaddnstr(row, col, s.c_str(), n);
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

class TerminalPresenter : public Presenter {
public:
  TerminalPresenter() : fallback_(makeScriptPresenter()) {}

  void runDialog(DialogWindow& window) override {
    if (!begin()) return fallback_->runDialog(window);
    Placement p = place(window);
    if (p.rows > LINES || p.cols > COLS) {
      // Cut off, OK and Cancel might not even show: the dialog is answered
      // on the command line instead.
      int rows = LINES, cols = COLS;
      end();
      hostPrint("\nThe dialog needs a " + std::to_string(p.cols) + "x" + std::to_string(p.rows) +
                " terminal; this one is " + std::to_string(cols) + "x" + std::to_string(rows) +
                ".\nAnswer it here: @ID TEXT for a field, @ID 0|1 for a check box,\n"
                "@ID N for a track bar, @1 for OK, @ESC for Cancel, @? to show it.\n");
      return fallback_->runDialog(window);
    }
    dialogs_.push_back(&window);
    while (!window.ended()) {
      draw();
      int key = nextKey();
      if (key == ERR || key == kCtrlC) {
        // Ctrl-C cancels; when the terminal went away nothing more can be
        // typed.
        window.escape();
        if (!window.ended()) window.end(IDCANCEL);
        break;
      }
      handleKey(window, key);
    }
    dialogs_.pop_back();
    end();
  }

  int messageBox(DialogWindow*, const std::string& text, const std::string& caption, UINT type) override {
    if (!begin()) return fallback_->messageBox(nullptr, text, caption, type);
    bool twoButtons = (type & 0xFU) == MB_OKCANCEL;
    int chosen = 0; // 0 OK, 1 Cancel
    int result = IDOK;
    while (true) {
      draw();
      drawMessageBox(text, caption, type, twoButtons, chosen);
      int key = nextKey();
      if (key == ERR || key == 27 || key == kCtrlC) {
        result = twoButtons ? IDCANCEL : IDOK;
        break;
      }
      if (key == '\n' || key == '\r' || key == KEY_ENTER || key == ' ') {
        result = chosen == 0 ? IDOK : IDCANCEL;
        break;
      }
      if (twoButtons && (key == '\t' || key == KEY_BTAB || key == KEY_LEFT || key == KEY_RIGHT)) chosen = 1 - chosen;
    }
    end();
    return result;
  }

  void showHelp(const HelpFile& help, int topic) override {
    if (!begin()) return fallback_->showHelp(help, topic);
    int selected = std::max(0, topic);
    if (topic >= 0) showTopic(help, topic);
    while (true) {
      drawTopicList(help, selected);
      int key = nextKey();
      if (key == ERR || key == 27 || key == kCtrlC || key == 'q' || key == 'Q') break;
      int count = static_cast<int>(help.topics.size());
      if (key == KEY_UP) selected = std::max(0, selected - 1);
      else if (key == KEY_DOWN) selected = std::min(count - 1, selected + 1);
      else if (key == KEY_HOME) selected = 0;
      else if (key == KEY_END) selected = count - 1;
      else if (key >= '1' && key <= '9' && key - '1' < count) selected = key - '1';
      else if (key == '\n' || key == '\r' || key == KEY_ENTER) showTopic(help, selected);
    }
    end();
  }

private:
  bool begin() {
    if (depth_ == 0) {
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
    endwin();
    delscreen(screen_);
    screen_ = nullptr;
    std::fflush(stdout);
  }

  static constexpr int kCtrlC = 3;
  static constexpr int kPollMs = 250;

  // The next key; kCtrlC once a break is pending (Ctrl-C, or a signal that
  // stops the host, noticed within kPollMs); ERR when the terminal is gone.
  static int nextKey() {
    for (;;) {
      int key = getch();
      if (key == kCtrlC) requestBreak();
      if (breakRequested()) return kCtrlC;
      if (key != ERR) return key;
      if (inputEnded()) return ERR;
    }
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
        int fieldCols = std::max(1, b.cols);
        size_t scroll = c.caret >= static_cast<size_t>(fieldCols) ? c.caret - static_cast<size_t>(fieldCols) + 1 : 0;
        for (int k = 0; k < fieldCols; ++k) {
          size_t at = scroll + static_cast<size_t>(k);
          std::string ch(1, at < c.text.size() ? c.text[at] : ' ');
          bool selected = focused && at >= c.selStart && at < c.selEnd;
          put(row, col + k, ch, 1, selected ? A_REVERSE : A_UNDERLINE);
        }
        if (focused) caret = Cell{row, col + static_cast<int>(c.caret - scroll)};
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

  void handleKey(DialogWindow& w, int key) {
    Control* c = w.focused();
    switch (key) {
    case '\t': return w.tab(1);
    case KEY_BTAB: return w.tab(-1);
    case 27: return w.escape();
    case '\n':
    case '\r':
    case KEY_ENTER: return w.enter();
    case KEY_MOUSE: return handleMouse(w);
    default: break;
    }
    if (c == nullptr) return;
    switch (c->kind) {
    case ControlKind::kEdit:
      if (key == KEY_LEFT) c->moveCaret(c->caret > 0 ? c->caret - 1 : 0);
      else if (key == KEY_RIGHT) c->moveCaret(c->caret + 1);
      else if (key == KEY_HOME) c->moveCaret(0);
      else if (key == KEY_END) c->moveCaret(c->text.size());
      else if (key == KEY_BACKSPACE || key == 127 || key == 8) c->backspace();
      else if (key == KEY_DC) c->deleteForward();
      else if (key == 1) c->selectAll(); // Ctrl-A
      else if (key >= 32 && key < 256 && key != 127) c->type(std::string(1, static_cast<char>(key)));
      return;
    case ControlKind::kTrackBar:
      if (key == KEY_LEFT || key == KEY_UP) c->setPos(c->pos - c->lineSize);
      else if (key == KEY_RIGHT || key == KEY_DOWN) c->setPos(c->pos + c->lineSize);
      else if (key == KEY_PPAGE) c->setPos(c->pos - c->effectivePageSize());
      else if (key == KEY_NPAGE) c->setPos(c->pos + c->effectivePageSize());
      else if (key == KEY_HOME) c->setPos(c->rangeMin);
      else if (key == KEY_END) c->setPos(c->rangeMax);
      return;
    case ControlKind::kCheckBox:
    case ControlKind::kPushButton:
    case ControlKind::kDefPushButton:
      if (key == ' ') w.press(c->id);
      else if (key == KEY_LEFT || key == KEY_UP) w.tab(-1);
      else if (key == KEY_RIGHT || key == KEY_DOWN) w.tab(1);
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
        c.moveCaret(static_cast<size_t>(col - b.col));
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
    int width = std::min(std::max(30, static_cast<int>(text.size()) + 10), std::max(20, COLS - 4));
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

  static void drawTopicList(const HelpFile& help, int selected) {
    erase();
    curs_set(0);
    put(0, 0, " Help Topics: " + help.title, COLS, A_REVERSE);
    int row = 2;
    for (const std::string& line : help.introduction) put(row++, 2, line, COLS - 4);
    if (!help.introduction.empty()) ++row;
    for (size_t i = 0; i < help.topics.size(); ++i) {
      char number[32];
      std::snprintf(number, sizeof number, "%2zu  ", i + 1);
      put(row++, 2, number + help.topics[i].title, COLS - 4,
          static_cast<int>(i) == selected ? A_REVERSE : A_NORMAL);
    }
    put(LINES - 1, 0, " Up/Down choose   Enter read   Esc close", COLS, A_REVERSE);
    refresh();
  }

  static void showTopic(const HelpFile& help, int topic) {
    if (topic < 0 || static_cast<size_t>(topic) >= help.topics.size()) return;
    const HelpTopic& t = help.topics[static_cast<size_t>(topic)];
    std::vector<std::string> lines;
    for (const std::string& line : t.lines) {
      std::vector<std::string> wrapped = wrap(line, static_cast<size_t>(std::max(10, COLS - 4)));
      lines.insert(lines.end(), wrapped.begin(), wrapped.end());
    }
    int first = 0;
    while (true) {
      erase();
      put(0, 0, " " + t.title, COLS, A_REVERSE);
      int visible = std::max(1, LINES - 3);
      for (int r = 0; r < visible && first + r < static_cast<int>(lines.size()); ++r)
        put(2 + r, 2, lines[static_cast<size_t>(first + r)], COLS - 4);
      put(LINES - 1, 0, " Up/Down/PgUp/PgDn scroll   Esc back to the topics", COLS, A_REVERSE);
      refresh();
      int key = nextKey();
      int last = std::max(0, static_cast<int>(lines.size()) - visible);
      if (key == ERR || key == 27 || key == kCtrlC || key == 'q' || key == 'Q' || key == KEY_BACKSPACE ||
          key == KEY_LEFT)
        return;
      if (key == KEY_UP) first = std::max(0, first - 1);
      else if (key == KEY_DOWN) first = std::min(last, first + 1);
      else if (key == KEY_PPAGE) first = std::max(0, first - visible);
      else if (key == KEY_NPAGE || key == ' ') first = std::min(last, first + visible);
    }
  }

  std::unique_ptr<Presenter> fallback_;
  std::vector<DialogWindow*> dialogs_;
  SCREEN* screen_ = nullptr;
  int depth_ = 0;
};

} // namespace

std::unique_ptr<Presenter> makeTerminalPresenter() { return std::make_unique<TerminalPresenter>(); }

} // namespace corvane::ui
