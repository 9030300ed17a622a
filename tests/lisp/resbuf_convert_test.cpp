#include "lisp/resbuf_convert.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lisp/interpreter.h"
#include "lisp/lisp_error.h"
#include "lisp/printer.h"
#include "lisp/reader.h"

namespace corvane::lisp {
namespace {

Value read(std::string_view text) { return readAll(text).at(0); }

std::vector<int> types(const resbuf* chain) {
  std::vector<int> out;
  for (; chain != nullptr; chain = chain->rbnext) {
    out.push_back(chain->restype);
  }
  return out;
}

// Appends buffers to a chain made with ads_newrb, released on every path.
struct ChainBuilder {
  ResbufChain head;
  resbuf* last = nullptr;
  resbuf* add(int type) {
    resbuf* rb = ads_newrb(type);
    if (last == nullptr) {
      head.reset(rb);
    } else {
      last->rbnext = rb;
    }
    last = rb;
    return rb;
  }
  ChainBuilder& shortInt(short v) {
    add(RTSHORT)->resval.rint = v;
    return *this;
  }
  ChainBuilder& mark(int type) {
    add(type);
    return *this;
  }
};

TEST(ResbufConvert, ValuesBecomeTypedBuffers) {
  EntityName ename{{0x7ff0a1b2, 3}};
  SelectionSet picks{{5, 0}, nullptr};
  std::vector<Value> args{Value::integer(-32768), Value::integer(32768), Value::real(2.5),
                          Value::string("text"), Value::entityName(ename),
                          Value::selectionSet(picks), Value(), Value::t()};
  ResbufChain chain = toResbufChain(args);
  EXPECT_EQ(types(chain.get()), (std::vector<int>{RTSHORT, RTLONG, RTREAL, RTSTR, RTENAME,
                                                  RTPICKS, RTNIL, RTT}));
  const resbuf* rb = chain.get();
  EXPECT_EQ(rb->resval.rint, -32768);
  rb = rb->rbnext;
  EXPECT_EQ(rb->resval.rlong, 32768);
  rb = rb->rbnext;
  EXPECT_EQ(rb->resval.rreal, 2.5);
  rb = rb->rbnext;
  EXPECT_STREQ(rb->resval.rstring, "text");
  rb = rb->rbnext;
  EXPECT_EQ(rb->resval.rlname[0], 0x7ff0a1b2);
  EXPECT_EQ(rb->resval.rlname[1], 3);
  rb = rb->rbnext;
  EXPECT_EQ(rb->resval.rlname[0], 5);
}

TEST(ResbufConvert, ListsNestAndDottedPairsUseRtdote) {
  std::vector<Value> args{read("(1 (2 . 3) (4 5 . \"x\") nil)")};
  ResbufChain chain = toResbufChain(args);
  EXPECT_EQ(types(chain.get()),
            (std::vector<int>{RTLB, RTSHORT, RTLB, RTSHORT, RTDOTE, RTSHORT, RTLE, RTLB, RTSHORT,
                              RTSHORT, RTDOTE, RTSTR, RTLE, RTNIL, RTLE}));
  EXPECT_EQ(toResbufChain({}), nullptr);
}

TEST(ResbufConvert, RoundTripKeepsEveryValue) {
  std::vector<Value> args{read("(1 -70000 2.5 \"a\\\"b\" (\"nested\" (\"list\" . 7)) nil T)"),
                          Value::integer(9), read("((0 . \"LINE\") (10 1.0 2.0 0.0))")};
  ResbufChain chain = toResbufChain(args);
  Value back = fromResbufChain(chain.get(), ChainShape::List);
  EXPECT_TRUE(equal(back, Value::list(args))) << printValue(back, PrintStyle::Escaped);
}

TEST(ResbufConvert, ResultShapeDecidesBetweenAtomAndList) {
  EXPECT_TRUE(fromResbufChain(nullptr, ChainShape::Result).isNil());
  EXPECT_TRUE(fromResbufChain(nullptr, ChainShape::List).isNil());

  ChainBuilder one;
  one.shortInt(7);
  EXPECT_EQ(printValue(fromResbufChain(one.head.get(), ChainShape::Result), PrintStyle::Escaped),
            "7");
  EXPECT_EQ(printValue(fromResbufChain(one.head.get(), ChainShape::List), PrintStyle::Escaped),
            "(7)");

  ChainBuilder two;
  two.shortInt(1).shortInt(2);
  EXPECT_EQ(printValue(fromResbufChain(two.head.get(), ChainShape::Result), PrintStyle::Escaped),
            "(1 2)");

  // One item that is itself a list stays that list.
  ChainBuilder nested;
  nested.mark(RTLB).shortInt(1).shortInt(2).mark(RTLE);
  EXPECT_EQ(
      printValue(fromResbufChain(nested.head.get(), ChainShape::Result), PrintStyle::Escaped),
      "(1 2)");
  EXPECT_EQ(printValue(fromResbufChain(nested.head.get(), ChainShape::List), PrintStyle::Escaped),
            "((1 2))");
}

TEST(ResbufConvert, HostOnlyTypesConvert) {
  ChainBuilder b;
  resbuf* p2 = b.add(RTPOINT);
  p2->resval.rpoint[0] = 1;
  p2->resval.rpoint[1] = 2;
  resbuf* p3 = b.add(RT3DPOINT);
  p3->resval.rpoint[0] = 1;
  p3->resval.rpoint[1] = 2;
  p3->resval.rpoint[2] = 3.5;
  b.add(RTLONG)->resval.rlong = 70000;
  b.add(RTSTR); // a null text reads as ""
  b.add(RTANG)->resval.rreal = 0.5;
  EXPECT_EQ(printValue(fromResbufChain(b.head.get(), ChainShape::List), PrintStyle::Escaped),
            "((1.0 2.0) (1.0 2.0 3.5) 70000 \"\" 0.5)");
}

TEST(ResbufConvert, MalformedChainsAreRefused) {
  auto refuses = [](ChainBuilder& b) {
    EXPECT_THROW(fromResbufChain(b.head.get(), ChainShape::Result), LispError);
  };
  ChainBuilder endOnly;
  endOnly.shortInt(1).mark(RTLE);
  refuses(endOnly);
  ChainBuilder unclosed;
  unclosed.mark(RTLB).shortInt(1);
  refuses(unclosed);
  ChainBuilder topDot;
  topDot.shortInt(1).mark(RTDOTE).shortInt(2);
  refuses(topDot);
  ChainBuilder leadingDot;
  leadingDot.mark(RTLB).mark(RTDOTE).shortInt(2).mark(RTLE);
  refuses(leadingDot);
  ChainBuilder twoTails;
  twoTails.mark(RTLB).shortInt(1).mark(RTDOTE).shortInt(2).shortInt(3).mark(RTLE);
  refuses(twoTails);
  ChainBuilder noTail;
  noTail.mark(RTLB).shortInt(1).mark(RTDOTE).mark(RTLE);
  refuses(noTail);
  ChainBuilder unknown;
  unknown.shortInt(1).mark(1070); // an extended-data group code
  refuses(unknown);
}

TEST(ResbufConvert, UnpassableValuesAreRefusedWithoutLeaks) {
  // Each failure comes after buffers were already made; LeakSanitizer
  // checks that they were released.
  std::vector<Value> symbol{Value::integer(1), Value::string("s"), read("(1 (2 sym))")};
  EXPECT_THROW(toResbufChain(symbol), LispError);
  std::vector<Value> nul{Value::string("ok"), Value::string(std::string("a\0b", 3))};
  EXPECT_THROW(toResbufChain(nul), LispError);
  Interpreter interpreter(nullptr);
  std::vector<Value> fn{Value::string("ok"), interpreter.symbolValue("car")};
  EXPECT_THROW(toResbufChain(fn), LispError);
}

TEST(ResbufConvert, DeepNestingNeedsNoDeepStack) {
  constexpr int kDepth = 50000;
  Value v = Value::integer(1);
  for (int i = 0; i < kDepth; ++i) {
    v = Value::cons(std::move(v), Value());
  }
  std::vector<Value> args{v};
  ResbufChain chain = toResbufChain(args);
  Value back = fromResbufChain(chain.get(), ChainShape::Result);
  EXPECT_TRUE(equal(back, v));
}

} // namespace
} // namespace corvane::lisp
