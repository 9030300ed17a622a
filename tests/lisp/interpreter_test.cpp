#include "lisp/interpreter.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <string>
#include <vector>

#include "lisp/lisp_error.h"
#include "lisp/reader.h"
#include "lisp/printer.h"
#include "lisp/resbuf_convert.h"

namespace corvane::lisp {
namespace {

struct Recorded {
  std::string name;
  std::vector<std::string> args;
};

// A host stand-in: one module function VRML_ECHO that receives its
// arguments as a result-buffer chain and answers with a list, the way the
// host relays a module's list function.
class ExternalHook : public ::testing::Test {
protected:
  ExternalHook() : interpreter([this](std::string_view t) { output += t; }) {
    interpreter.setExternalResolver(
        [this](std::string_view name) -> std::optional<Interpreter::ExternalFunction> {
          asked.push_back(std::string(name));
          if (name == "VRML_ECHO") {
            return [this](std::span<const Value> args) {
              ResbufChain in = toResbufChain(args);
              calls.push_back(printValue(fromResbufChain(in.get(), ChainShape::List),
                                         PrintStyle::Escaped));
              ResbufChain out(ads_newrb(RTSTR));
              out->resval.rstring = acad__strdup("echoed");
              out->rbnext = toResbufChain(args).release();
              return fromResbufChain(out.get(), ChainShape::List);
            };
          }
          if (name == "VRML_FAIL") {
            return [](std::span<const Value>) -> Value {
              throw LispError("VRML_FAIL: usage (vrml_fail)");
            };
          }
          return std::nullopt;
        });
  }

  std::string output;
  std::vector<std::string> asked;
  std::vector<std::string> calls;
  Interpreter interpreter;
};

TEST_F(ExternalHook, UndefinedNamesAreResolvedWithEvaluatedArguments) {
  LineResult r = interpreter.evaluateLine("(vrml_echo (+ 1 2) \"s\" '(a . 5))");
  // The symbol A cannot cross the boundary.
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.text, "; error: bad argument type: cannot pass to a module: A");

  r = interpreter.evaluateLine("(Vrml_Echo (+ 1 2) \"s\" '(1 . 5.5) nil)");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.text, "(\"echoed\" 3 \"s\" (1 . 5.5) nil)");
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0], "(3 \"s\" (1 . 5.5) nil)");
  EXPECT_EQ(asked.back(), "VRML_ECHO");
}

TEST_F(ExternalHook, UnknownNameFailsBeforeItsArgumentsRun) {
  LineResult r = interpreter.evaluateLine("(vrml_nothing (setq touched 1))");
  EXPECT_EQ(r.text, "; error: no function definition: VRML_NOTHING");
  EXPECT_TRUE(interpreter.symbolValue("touched").isNil());
}

TEST_F(ExternalHook, ExternalErrorsBecomeErrorLines) {
  EXPECT_EQ(interpreter.evaluateLine("(vrml_fail)").text, "; error: VRML_FAIL: usage (vrml_fail)");
}

TEST_F(ExternalHook, DefinitionsWinOverTheResolver) {
  interpreter.evaluate("(defun vrml_echo (x) (list 'mine x))");
  asked.clear();
  EXPECT_EQ(interpreter.evaluateLine("(vrml_echo 1)").text, "(MINE 1)");
  EXPECT_TRUE(asked.empty());
  EXPECT_TRUE(calls.empty());
}

TEST(InterpreterApi, HostBuiltinsCheckArgumentsLikeTheirOwn) {
  Interpreter interpreter(nullptr);
  interpreter.defineBuiltin("handent", [](Interpreter&, const Arguments& a) {
    a.expectCount(1);
    const std::string& handle = a.string(0);
    if (handle.empty()) {
      a.badValue(0);
    }
    return Value::entityName(EntityName{{0x2f, 0}});
  });
  EXPECT_EQ(interpreter.evaluateLine("(handent \"2F\")").text, "<Entity name: 2f>");
  EXPECT_EQ(interpreter.evaluateLine("(type (handent \"2F\"))").text, "ENAME");
  EXPECT_EQ(interpreter.evaluateLine("(handent 47)").text,
            "; error: bad argument type: stringp: 47");
  EXPECT_EQ(interpreter.evaluateLine("(handent)").text, "; error: too few arguments");
  EXPECT_EQ(interpreter.evaluateLine("(handent \"\")").text,
            "; error: bad argument value: handent: \"\"");
  EXPECT_EQ(interpreter.evaluateLine("(equal (handent \"a\") (handent \"b\"))").text, "T");
}

TEST(InterpreterApi, SelectionSetKeeperLivesAsLongAsTheValue) {
  auto keeper = std::make_shared<int>(0);
  std::weak_ptr<int> watch = keeper;
  {
    Interpreter interpreter(nullptr);
    interpreter.setSymbolValue("ss", Value::selectionSet(SelectionSet{{3, 0}, std::move(keeper)}));
    EXPECT_EQ(interpreter.evaluateLine("ss").text, "<Selection set: 3>");
    EXPECT_EQ(interpreter.evaluateLine("(type ss)").text, "PICKSET");
    interpreter.evaluate("(setq copy (list ss))");
    interpreter.evaluate("(setq ss nil)");
    EXPECT_FALSE(watch.expired());
    interpreter.evaluate("(setq copy nil)");
    EXPECT_TRUE(watch.expired());
  }
}

TEST(InterpreterApi, EvaluateThrowsAndKeepsEarlierDefinitions) {
  std::string output;
  Interpreter interpreter([&output](std::string_view t) { output += t; });
  EXPECT_THROW(interpreter.evaluate("(setq kept 1) (princ \"x\") (car 1) (setq lost 2)"),
               LispError);
  EXPECT_EQ(printValue(interpreter.symbolValue("KEPT"), PrintStyle::Escaped), "1");
  EXPECT_TRUE(interpreter.symbolValue("lost").isNil());
  EXPECT_EQ(output, "x");
  EXPECT_TRUE(interpreter.evaluate("").isNil());
  EXPECT_EQ(interpreter.evaluateLine("  ; only a comment").text, "");
  EXPECT_THROW(interpreter.setSymbolValue("t", Value()), LispError);
}

TEST(InterpreterApi, AnInterruptStopsAnEndlessLoop) {
  Interpreter interpreter([](std::string_view) {});
  int checks = 0;
  interpreter.setInterruptCheck([&checks] { return ++checks % 3 == 0; });
  EXPECT_EQ(interpreter.evaluateLine("(setq n 0) (while t (setq n (1+ n)))").text, "; error: Function cancelled");
  // Some thousand steps in: the check comes every kEvaluationsPerCheck.
  EXPECT_GT(interpreter.symbolValue("N").asInteger(), 500);
  EXPECT_EQ(interpreter.evaluateLine("(while t)").text, "; error: Function cancelled");
  EXPECT_EQ(checks, 6);
  EXPECT_EQ(interpreter.evaluateLine("(+ 1 2)").text, "3");
}

TEST(InterpreterApi, LongAndDeepDataNeedNoDeepStack) {
  constexpr int kSize = 50000;
  Value deep = Value::integer(0);
  Value deepToo = Value::integer(0);
  ListBuilder longList;
  for (int i = 0; i < kSize; ++i) {
    deep = Value::cons(std::move(deep), Value());
    deepToo = Value::cons(std::move(deepToo), Value());
    longList.append(Value::integer(i));
  }
  EXPECT_TRUE(equal(deep, deepToo));
  std::string printed = printValue(deep, PrintStyle::Escaped);
  EXPECT_EQ(printed.size(), 2u * kSize + 1);
  EXPECT_EQ(printed.substr(kSize - 2, 5), "((0))");

  Interpreter interpreter(nullptr);
  interpreter.setSymbolValue("big", longList.build());
  EXPECT_EQ(interpreter.evaluateLine("(length big)").text, "50000");
  EXPECT_EQ(interpreter.evaluateLine("(last big)").text, "49999");
  interpreter.setSymbolValue("big", Value());
  // deep and deepToo are released here, one cell after another.
}

// The interpreter on a thread with a small stack: shallow work runs,
// runaway recursion stops with the error line instead of overflowing.
TEST(InterpreterApi, SmallThreadStackStopsRunawayRecursion) {
  struct Run {
    std::vector<std::string> results;
    static void* body(void* self) {
      Interpreter interpreter(nullptr);
      auto& results = static_cast<Run*>(self)->results;
      for (const char* line : {"(defun down (k) (if (= k 0) 'done (down (1- k))))", "(down 20)",
                               "(defun deep (d) (deep (1+ d)))", "(deep 0)", "(down 5)"}) {
        results.push_back(interpreter.evaluateLine(line).text);
      }
      return nullptr;
    }
  } run;
  pthread_attr_t attr;
  ASSERT_EQ(pthread_attr_init(&attr), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attr, 512 * 1024), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attr, &Run::body, &run), 0);
  pthread_attr_destroy(&attr);
  ASSERT_EQ(pthread_join(thread, nullptr), 0);
  EXPECT_EQ(run.results, (std::vector<std::string>{"DOWN", "DONE", "DEEP",
                                                   "; error: evaluation nested too deeply",
                                                   "DONE"}));
}

TEST(InterpreterApi, NeedsMoreInputTellsOpenFromBroken) {
  EXPECT_TRUE(needsMoreInput("(defun f (x)"));
  EXPECT_TRUE(needsMoreInput("(princ \"open"));
  EXPECT_TRUE(needsMoreInput("'"));
  EXPECT_FALSE(needsMoreInput("(+ 1 2)"));
  EXPECT_FALSE(needsMoreInput("(+ 1 2))"));
  EXPECT_FALSE(needsMoreInput("(1 . 2 3"));
  EXPECT_FALSE(needsMoreInput("; (unclosed in a comment"));
}

} // namespace
} // namespace corvane::lisp
