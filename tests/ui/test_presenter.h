// A presenter for in-process tests: runs a list of steps against the shown
// dialog and records message boxes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/presenter.h"

namespace corvane::ui {

class TestPresenter : public Presenter {
public:
  using Step = std::function<void(DialogWindow&)>;
  std::vector<Step> steps;
  struct Box {
    std::string text;
    UINT type;
    int focusedId; // the control focused when the box showed
  };
  std::vector<Box> boxes;
  std::vector<std::string> shownHelp;

  void runDialog(DialogWindow& window) override {
    size_t next = 0;
    while (!window.ended()) {
      if (next == steps.size()) {
        window.escape(); // the steps ran out: the test's user walks away
        if (!window.ended()) window.end(IDCANCEL);
        break;
      }
      steps[next++](window);
    }
  }
  int messageBox(DialogWindow* over, const std::string& text, const std::string&, UINT type) override {
    Control* c = over ? over->focused() : nullptr;
    boxes.push_back(Box{text, type, c ? c->id : 0});
    return IDOK;
  }
  void showHelp(const HelpFile& help, int) override {
    for (const HelpTopic& t : help.topics) shownHelp.push_back(t.title);
  }
};

// Installs a presenter for the scope of a test.
struct PresenterScope {
  explicit PresenterScope(Presenter* p) { setPresenterOverride(p); }
  ~PresenterScope() { setPresenterOverride(nullptr); }
};

} // namespace corvane::ui
