// The dialog framework in process: data exchange, validation, track bars,
// focus and the keys that end a dialog.
#include <gtest/gtest.h>

#include <string>

#include "test_dialog_resources.h"
#include "test_presenter.h"
#include "runtime/text.h"
#include "ui.h"

namespace {

using corvane::ui::Control;
using corvane::ui::DialogWindow;
using corvane::ui::PresenterScope;
using corvane::ui::TestPresenter;


class TestDialog : public CDialog {
public:
  TestDialog() : CDialog(500) {}
  CString name;
  int flag = 0;
  CSliderCtrl slider;
  int exchangesToMembers = 0;

protected:
  void DoDataExchange(CDataExchange* pDX) override {
    if (pDX->m_bSaveAndValidate) ++exchangesToMembers;
    DDX_Text(pDX, 100, name);
    DDV_MaxChars(pDX, name, 5);
    DDX_Check(pDX, 101, flag);
    DDX_Control(pDX, 102, slider);
  }
};

class DialogTest : public ::testing::Test {
protected:
  corvane::ui::test::ResourcesScope resources;
  TestPresenter presenter;
  PresenterScope scope{&presenter};
};

TEST_F(DialogTest, OkExchangesControlsToMembers) {
  TestDialog d;
  d.name = "ab";
  d.flag = 1;
  presenter.steps = {[](DialogWindow& w) {
    EXPECT_EQ(w.find(100)->text, "ab");
    EXPECT_EQ(w.find(101)->checked, 1);
    EXPECT_EQ(w.find(100)->limit, 5u);
    w.find(100)->selectAll();
    w.find(100)->type("xyz");
    w.press(101);
    w.enter();
  }};
  EXPECT_EQ(d.DoModal(), IDOK);
  EXPECT_STREQ(d.name, "xyz");
  EXPECT_EQ(d.flag, 0);
  // The bound control loses its window with the dialog.
  EXPECT_EQ(d.slider.GetSafeHwnd(), nullptr);
}

TEST_F(DialogTest, CancelEscapeAndCloseBoxLeaveMembersAlone) {
  for (int way = 0; way < 3; ++way) {
    TestDialog d;
    d.name = "keep";
    presenter.steps = {[way](DialogWindow& w) {
      w.find(100)->selectAll();
      w.find(100)->type("gone");
      if (way == 0) w.press(IDCANCEL);
      else if (way == 1) w.escape();
      else w.closeBox();
    }};
    EXPECT_EQ(d.DoModal(), IDCANCEL);
    EXPECT_STREQ(d.name, "keep");
    EXPECT_EQ(d.exchangesToMembers, 0);
  }
}

TEST_F(DialogTest, TypingStopsAtTheLimitButSetTextKeepsItWhole) {
  TestDialog d;
  d.name = "toolongtext"; // set by the program: kept whole
  presenter.steps = {[](DialogWindow& w) {
    EXPECT_EQ(w.find(100)->text, "toolongtext");
    Control* edit = w.find(100);
    edit->selectAll();
    edit->type("1234567");
    EXPECT_EQ(edit->text, "12345");
    edit->type("x");
    EXPECT_EQ(edit->text, "12345");
    w.press(IDCANCEL);
  }};
  d.DoModal();
}

// Edit fields work in characters: typing, the limit, Backspace, Delete and
// the caret never split a UTF-8 sequence, and text read back whole.
TEST_F(DialogTest, EditFieldsWorkInWholeCharacters) {
  TestDialog d;
  presenter.steps = {[](DialogWindow& w) {
    Control* edit = w.find(100);
    edit->selectAll();
    edit->type("aé€😀xyz"); // the limit is 5 characters: 11 bytes here
    EXPECT_EQ(edit->text, "aé€😀x");
    edit->backspace(); // x
    edit->backspace(); // the four bytes of the emoji at once
    EXPECT_EQ(edit->text, "aé€");
    edit->moveCaret(2); // inside é: before it
    EXPECT_EQ(edit->caret, 1u);
    edit->deleteForward();
    EXPECT_EQ(edit->text, "a€");
    edit->moveCaret(edit->text.size());
    edit->type("ßßßß"); // room for three more characters
    EXPECT_EQ(edit->text, "a€ßßß");
    // A text that is no UTF-8 still goes a byte at a time, never further.
    edit->selectAll();
    edit->type("\xC3z\xFF");
    edit->backspace();
    EXPECT_EQ(edit->text, "\xC3z");
    w.enter();
  }};
  EXPECT_EQ(d.DoModal(), IDOK);
  EXPECT_STREQ(d.name, "\xC3z");

  // Five characters of ten bytes pass the limit's check; a short buffer
  // gets whole characters only.
  TestDialog wide;
  wide.name = "ééééé";
  presenter.steps = {[](DialogWindow& w) {
    char buffer[4];
    CWnd field;
    field.m_hWnd = w.controlHandle(w.indexOf(100));
    EXPECT_EQ(field.GetWindowText(buffer, sizeof buffer), 2);
    EXPECT_STREQ(buffer, "é");
    field.m_hWnd = nullptr;
    w.enter();
  }};
  EXPECT_EQ(wide.DoModal(), IDOK);
  EXPECT_TRUE(presenter.boxes.empty());
  EXPECT_STREQ(wide.name, "ééééé");
}

TEST(Utf8Text, SequencesAreTakenOnlyWhole) {
  using corvane::utf8CodePoint;
  using corvane::utf8SequenceLength;
  EXPECT_EQ(utf8SequenceLength("a", 0), 1u);
  EXPECT_EQ(utf8SequenceLength("é", 0), 2u);
  EXPECT_EQ(utf8SequenceLength("€", 0), 3u);
  EXPECT_EQ(utf8SequenceLength("😀", 0), 4u);
  EXPECT_EQ(utf8SequenceLength("é", 1), 0u);                // a continuation byte
  EXPECT_EQ(utf8SequenceLength("\xE2\x82", 0), 0u);        // cut short
  EXPECT_EQ(utf8SequenceLength("\xC0\xAF", 0), 0u);        // overlong
  EXPECT_EQ(utf8SequenceLength("\xED\xA0\x80", 0), 0u);    // a surrogate
  EXPECT_EQ(utf8SequenceLength("\xF4\x90\x80\x80", 0), 0u); // past U+10FFFF
  EXPECT_EQ(utf8SequenceLength("a", 1), 0u);
  EXPECT_EQ(utf8CodePoint("€", 0), U'€');
  size_t length = 0;
  EXPECT_EQ(utf8CodePoint("\xFF" "a", 0, &length), U'\uFFFD');
  EXPECT_EQ(length, 1u);
  std::string out;
  for (char32_t c : {U'a', U'é', U'€', U'😀'}) corvane::appendUtf8(out, c);
  EXPECT_EQ(out, "aé€😀");
  EXPECT_EQ(corvane::utf8Characters(out), 4u);
  EXPECT_EQ(corvane::utf8Previous(out, out.size()), out.size() - 4);
  EXPECT_EQ(corvane::utf8Previous(out, 3), 1u);
  EXPECT_EQ(corvane::utf8Prefix(out, 2), 3u);
}

TEST_F(DialogTest, TooLongTextIsReportedOnceAndTheDialogStaysOpen) {
  TestDialog d;
  d.name = "abcdefgh";
  int focusAfter = 0;
  bool allSelected = false;
  presenter.steps = {
      [](DialogWindow& w) { w.enter(); },
      [&](DialogWindow& w) {
        EXPECT_FALSE(w.ended());
        focusAfter = w.focused() ? w.focused()->id : 0;
        Control* edit = w.find(100);
        allSelected = edit->selStart == 0 && edit->selEnd == edit->text.size();
        edit->type("ok");
        w.enter();
      }};
  EXPECT_EQ(d.DoModal(), IDOK);
  ASSERT_EQ(presenter.boxes.size(), 1u);
  EXPECT_EQ(presenter.boxes[0].text, "Please enter no more than 5 characters.");
  EXPECT_EQ(presenter.boxes[0].type & 0xF0U, MB_ICONEXCLAMATION);
  EXPECT_EQ(focusAfter, 100);
  EXPECT_TRUE(allSelected);
  EXPECT_STREQ(d.name, "ok");
}

TEST_F(DialogTest, FocusStartsAtTheFirstTabStopAndTabsInTemplateOrder) {
  TestDialog d;
  std::vector<int> order;
  presenter.steps = {[&](DialogWindow& w) {
    for (int i = 0; i < 5; ++i) {
      order.push_back(w.focused()->id);
      w.tab(1);
    }
    order.push_back(w.focused()->id); // wrapped round
    w.tab(-1);
    order.push_back(w.focused()->id);
    w.press(IDCANCEL);
  }};
  d.DoModal();
  EXPECT_EQ(order, (std::vector<int>{100, 101, 102, IDOK, IDCANCEL, 100, IDCANCEL}));
}

TEST_F(DialogTest, EnterPressesTheFocusedButtonElseTheDefault) {
  TestDialog d;
  presenter.steps = {[](DialogWindow& w) {
    EXPECT_EQ(w.defaultButton(), IDOK); // focus on the edit field
    w.setFocus(w.indexOf(IDCANCEL), false);
    w.enter();
  }};
  EXPECT_EQ(d.DoModal(), IDCANCEL);
}

TEST_F(DialogTest, TrackBarDefaultsAndClamping) {
  TestDialog d;
  presenter.steps = {[&](DialogWindow& w) {
    EXPECT_EQ(d.slider.GetLineSize(), 1);
    EXPECT_EQ(d.slider.GetPageSize(), 20); // a fifth of 0..100
    d.slider.SetRange(0, 50);
    EXPECT_EQ(d.slider.GetPageSize(), 10);
    d.slider.SetPos(70);
    EXPECT_EQ(d.slider.GetPos(), 50);
    d.slider.SetPos(-3);
    EXPECT_EQ(d.slider.GetPos(), 0);
    d.slider.SetTicFreq(5);
    EXPECT_EQ(w.find(102)->ticFreq, 5);
    w.press(IDCANCEL);
  }};
  d.DoModal();
}

TEST_F(DialogTest, MissingTemplateIsRefused) {
  CDialog d(999);
  EXPECT_EQ(d.DoModal(), -1);
}

TEST_F(DialogTest, TextsAndTitleReachTheWindow) {
  TestDialog d;
  presenter.steps = {[&](DialogWindow& w) {
    d.SetWindowText("New title");
    d.SetDlgItemText(103, "Label");
    d.SetDlgItemText(4242, "nowhere"); // no such control: nothing happens
    EXPECT_EQ(w.title, "New title");
    EXPECT_EQ(w.find(103)->text, "Label");
    char buffer[4];
    EXPECT_EQ(d.GetDlgItemText(103, buffer, sizeof buffer), 3);
    EXPECT_STREQ(buffer, "Lab");
    w.press(IDCANCEL);
  }};
  d.DoModal();
}

TEST(CStringTest, SelfAssignmentAndAliasing) {
  CString s("hello");
  s = s;
  EXPECT_STREQ(s, "hello");
  s = static_cast<const char*>(s) + 1; // points into its own storage
  EXPECT_STREQ(s, "ello");
  s = nullptr;
  EXPECT_TRUE(s.IsEmpty());
  EXPECT_STREQ(s, "");
}

} // namespace
