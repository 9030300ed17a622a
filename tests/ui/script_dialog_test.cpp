// Dialogs answered from a script: the answer lines, the transcript, and the
// end of the script while a dialog is open.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "console/console.h"
#include "runtime/host_services.h"
#include "ui.h"
#include "test_dialog_resources.h"
#include "ui/presenter.h"

namespace {


class ScriptedDialog : public CDialog {
public:
  ScriptedDialog() : CDialog(600) {}
  CString text;
  int flag = 1;
  CSliderCtrl slider;
  int position = -1;

protected:
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Text(pDX, 100, text);
    DDV_MaxChars(pDX, text, 8);
    DDX_Check(pDX, 101, flag);
    DDX_Control(pDX, 102, slider);
  }
  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    slider.SetRange(0, 100);
    slider.SetPos(20);
    return true;
  }
  void OnOK() override {
    if (!UpdateData(true)) return;
    position = slider.GetPos();
    CDialog::OnOK();
  }
};

struct Scripted {
  int result;
  std::string transcript;
};

// Runs the dialog with SCRIPT as the console's input.
Scripted runScripted(ScriptedDialog& dialog, const std::string& script) {
  std::istringstream in(script);
  corvane::Console console(corvane::makeScriptInput(in));
  std::string out;
  corvane::setOutputSink([&](std::string_view s) { out.append(s); });
  corvane::setCurrentConsole(&console);
  int result;
  {
    corvane::ui::test::ResourcesScope resources;
    result = dialog.DoModal();
  }
  corvane::setCurrentConsole(nullptr);
  corvane::setOutputSink(nullptr);
  return Scripted{result, out};
}

TEST(ScriptDialogTest, AnswersSetFieldsAndOkAccepts) {
  ScriptedDialog d;
  Scripted r = runScripted(d, "@100 two words \n@101 0\n@102 35\n@1\n");
  EXPECT_EQ(r.result, IDOK);
  EXPECT_STREQ(d.text, "two word"); // the rest after one space, cut at the limit as typing is
  EXPECT_EQ(d.flag, 0);
  EXPECT_EQ(d.position, 35);
  EXPECT_NE(r.transcript.find("[Scripted]\n"), std::string::npos) << r.transcript;
  EXPECT_NE(r.transcript.find("Scripted> @102 35\n"), std::string::npos) << r.transcript;
  EXPECT_NE(r.transcript.find("[Scripted: OK]"), std::string::npos);
}

TEST(ScriptDialogTest, TheDialogShowsItsInitialState) {
  ScriptedDialog d;
  d.text = "abc";
  Scripted r = runScripted(d, "@2\n");
  EXPECT_NE(r.transcript.find("100 edit     \"abc\" (limit 8)"), std::string::npos) << r.transcript;
  EXPECT_NE(r.transcript.find("  101 check    [x] \"Flag\""), std::string::npos) << r.transcript;
  EXPECT_NE(r.transcript.find("  102 trackbar 20 (0..100"), std::string::npos) << r.transcript;
  EXPECT_NE(r.transcript.find(">  100 edit"), std::string::npos) << "focus on the first tab stop";
  EXPECT_NE(r.transcript.find("     1 button   \"OK\" (default)"), std::string::npos) << r.transcript;
}

TEST(ScriptDialogTest, EmptyTextAnswerEmptiesTheField) {
  ScriptedDialog d;
  d.text = "abc";
  Scripted r = runScripted(d, "@100 \n\n"); // an empty line is Enter
  EXPECT_EQ(r.result, IDOK);
  EXPECT_STREQ(d.text, "");
}

TEST(ScriptDialogTest, EscapeCancelAndEndOfScriptCancel) {
  for (const char* script : {"@100 changed\n@ESC\n", "@100 changed\n@2\n", "@100 changed\n", "@CLOSE\n"}) {
    ScriptedDialog d;
    d.text = "same";
    Scripted r = runScripted(d, script);
    EXPECT_EQ(r.result, IDCANCEL) << script;
    EXPECT_STREQ(d.text, "same") << script;
    EXPECT_NE(r.transcript.find("[Scripted: Cancel]"), std::string::npos) << script;
  }
}

TEST(ScriptDialogTest, ValidationMessageGoesToTheTranscriptAndTheDialogStays) {
  ScriptedDialog d;
  d.text = "much too long";
  Scripted r = runScripted(d, "@1\n@100 short\n@1\n");
  EXPECT_EQ(r.result, IDOK);
  EXPECT_STREQ(d.text, "short");
  size_t at = r.transcript.find("[!] Please enter no more than 8 characters.\n");
  ASSERT_NE(at, std::string::npos) << r.transcript;
  EXPECT_EQ(r.transcript.find("Please enter", at + 5), std::string::npos) << r.transcript;
}

TEST(ScriptDialogTest, BadAnswersAreRefusedAndTheDialogGoesOn) {
  ScriptedDialog d;
  Scripted r = runScripted(d, "hello\n@77 x\n@102 lots\n@101 2\n@1\n");
  EXPECT_EQ(r.result, IDOK);
  EXPECT_EQ(d.position, 20);
  EXPECT_EQ(d.flag, 1);
  size_t count = 0;
  for (size_t at = r.transcript.find("*Invalid*"); at != std::string::npos; at = r.transcript.find("*Invalid*", at + 1))
    ++count;
  EXPECT_EQ(count, 4u) << r.transcript;
}

TEST(ScriptDialogTest, TrackBarAnswersAreClampedToTheRange) {
  ScriptedDialog d;
  runScripted(d, "@102 250\n@1\n");
  EXPECT_EQ(d.position, 100);
}

} // namespace
