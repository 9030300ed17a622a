// The list language on a drawing, through scripts run by corvane: each
// expression and the value the command line shows for it.
#include <gtest/gtest.h>

#include "test_drawing.h"

namespace corvane::testing {
namespace {

struct Expectation {
  std::string expression;
  std::string shown;
};

class ListFunctionsScript : public ::testing::Test {
protected:
  // Runs every expression in one session; each value must follow its line.
  void expectAll(const std::string& drawing, const std::vector<Expectation>& cases) {
    std::string script;
    for (const Expectation& c : cases) script += c.expression + "\n";
    ScriptRun run = runScript(drawing, script);
    ASSERT_EQ(run.result.status, 0) << run.result.err;
    size_t at = 0;
    for (const Expectation& c : cases) {
      std::string wanted = c.expression + "\n" + c.shown + "\n";
      size_t found = run.result.out.find(wanted, at);
      EXPECT_NE(found, std::string::npos) << "expected " << wanted << "in\n" << run.result.out.substr(at);
      if (found != std::string::npos) at = found + wanted.size();
    }
  }
};

std::string sample() {
  TestDrawing d;
  d.layer("ROOF", 1).layer("OFF", -5).appId("PE_URL");
  d.face("2A", "ROOF", -1, 0, false, group(1001, "PE_URL") + group(1000, "http://a"));
  d.line("2B", "0", 3);
  d.solid("2C", "OFF", 2, 0);
  return d.text();
}

TEST_F(ListFunctionsScript, SelectionsAndEntityNames) {
  expectAll(sample(), {
                          {"(sslength (ssget \"X\"))", "3"},
                          {"(sslength (ssget \"X\" '((8 . \"ROOF\"))))", "1"},
                          {"(sslength (ssget \"X\" '((0 . \"LINE,SOLID\"))))", "2"},
                          {"(ssget \"X\" '((8 . \"NOSUCH\")))", "nil"},
                          {"(cdr (assoc 0 (entget (ssname (ssget \"X\") 2))))", "\"SOLID\""},
                          {"(ssname (ssget \"X\") 3)", "nil"},
                          {"(sslength (ssadd (handent \"2B\")))", "1"},
                          {"(sslength (ssadd (handent \"2B\") (ssadd (handent \"2A\"))))", "2"},
                          {"(sslength (ssadd))", "0"},
                          {"(equal (entlast) (handent \"2C\"))", "T"},
                          {"(equal (entnext) (handent \"2A\"))", "T"},
                          {"(equal (entnext (handent \"2A\")) (handent \"2B\"))", "T"},
                          {"(entnext (handent \"2C\"))", "nil"},
                          {"(handent \"FFF\")", "nil"},
                      });
}

TEST_F(ListFunctionsScript, EntityDataTablesAndApplications) {
  expectAll(sample(), {
                          {"(cdr (assoc 8 (entget (handent \"2A\"))))", "\"ROOF\""},
                          {"(assoc 10 (entget (handent \"2A\")))", "(10 0.0 0.0 0.0)"},
                          {"(assoc -3 (entget (handent \"2A\")))", "nil"},
                          {"(assoc -3 (entget (handent \"2A\") '(\"PE_URL\")))",
                           "(-3 (\"PE_URL\" (1000 . \"http://a\")))"},
                          {"(cdr (assoc 62 (tblsearch \"LAYER\" \"off\")))", "5"},
                          {"(tblsearch \"LAYER\" \"nosuch\")", "nil"},
                          {"(regapp \"NEWAPP\")", "\"NEWAPP\""},
                          {"(regapp \"NEWAPP\")", "nil"},
                          {"(regapp \"bad name\")", "nil"},
                          {"(entmod (list (cons -1 (handent \"2B\")) (list -3 (list \"UNREGISTERED\" (cons 1000 \"x\")))))",
                           "nil"},
                          {"(null (entmod (list (cons -1 (handent \"2B\")) (list -3 (list \"NEWAPP\" (cons 1040 0.5))))))",
                           "nil"},
                          {"(assoc -3 (entget (handent \"2B\") '(\"NEWAPP\" \"PE_URL\")))",
                           "(-3 (\"NEWAPP\" (1040 . 0.5)))"},
                          {"(assoc -3 (entget (handent \"2A\") '(\"*\")))", "(-3 (\"PE_URL\" (1000 . \"http://a\")))"},
                          {"(assoc -3 (entget (handent \"2A\") '(\"PE_URL\" \"*\")))",
                           "(-3 (\"PE_URL\" (1000 . \"http://a\")))"},
                      });
}

TEST_F(ListFunctionsScript, InteractiveSelectionAndPicks) {
  ScriptRun run = runScript(sample(), "(sslength (ssget))\nall\n\n(sslength (ssget))\nlast\n2A 2B\n\n"
                                "(ssget)\n^C\n(ssget)\n\n(car (entsel))\n2B\n(entsel)\n\n(entsel \"\\nPick: \")\n^C\n"
                                "(equal (car (entsel)) (entlast))\nlast\n(entsel)\nall\n\n(ssget)\nFFF\n\n",
                            {"--keep-going"});
  const std::string& out = run.result.out;
  EXPECT_NE(out.find("Select objects: all\n3 found\nSelect objects: \n3\n"), std::string::npos) << out;
  EXPECT_NE(out.find("last\n1 found\nSelect objects: 2A 2B\n2 found\nSelect objects: \n3\n"), std::string::npos) << out;
  EXPECT_NE(out.find("*Cancel*\nnil\n"), std::string::npos) << out;
  EXPECT_NE(out.find("(ssget)\nSelect objects: \nnil\n"), std::string::npos) << "empty selection: " << out;
  EXPECT_NE(out.find("Select object: 2B\n<Entity name: "), std::string::npos) << out;
  EXPECT_NE(out.find("(entsel)\n\nSelect object: \nnil\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Pick: *Cancel*\nnil\n"), std::string::npos) << out;
  // A pick takes "last"; a refused answer says what is accepted.
  EXPECT_NE(out.find("Select object: last\nT\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Select object: all\n*Invalid selection*\nExpects the handle of one object (such as 2F), or last.\n"
                     "\nSelect object: \nnil\n"),
            std::string::npos) << out;
  EXPECT_NE(out.find("Select objects: FFF\n*Invalid selection*: FFF\nExpects all, last, layer NAME..., or the handles "
                     "of objects (such as 2F).\nSelect objects: \nnil\n"),
            std::string::npos) << out;
}

} // namespace
} // namespace corvane::testing
