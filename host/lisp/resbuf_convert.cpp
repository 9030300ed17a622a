#include "lisp/resbuf_convert.h"

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "lisp/lisp_error.h"
#include "lisp/printer.h"

namespace corvane::lisp {

namespace {

// Appends buffers to a chain it owns until the chain is handed over.
class ChainWriter {
public:
  resbuf* add(int type) {
    resbuf* rb = ads_newrb(type);
    if (rb == nullptr) {
      throw LispError("insufficient memory");
    }
    if (last_ == nullptr) {
      head_.reset(rb);
    } else {
      last_->rbnext = rb;
    }
    last_ = rb;
    return rb;
  }

  void addAtom(const Value& v) {
    switch (v.kind()) {
    case Value::Kind::Nil:
      add(RTNIL);
      return;
    case Value::Kind::Integer: {
      std::int32_t i = v.asInteger();
      if (i >= std::numeric_limits<short>::min() && i <= std::numeric_limits<short>::max()) {
        add(RTSHORT)->resval.rint = static_cast<short>(i);
      } else {
        add(RTLONG)->resval.rlong = i;
      }
      return;
    }
    case Value::Kind::Real:
      add(RTREAL)->resval.rreal = v.asReal();
      return;
    case Value::Kind::String: {
      const std::string& text = v.asString();
      if (text.find('\0') != std::string::npos) {
        throw LispError("bad argument value: string holds a null character: " +
                        printValue(v, PrintStyle::Escaped));
      }
      char* copy = acad__strdup(text.c_str());
      if (copy == nullptr) {
        throw LispError("insufficient memory");
      }
      add(RTSTR)->resval.rstring = copy;
      return;
    }
    case Value::Kind::Symbol:
      if (v.isT()) {
        add(RTT);
        return;
      }
      break;
    case Value::Kind::EntityName: {
      resbuf* rb = add(RTENAME);
      rb->resval.rlname[0] = v.asEntityName().id[0];
      rb->resval.rlname[1] = v.asEntityName().id[1];
      return;
    }
    case Value::Kind::SelectionSet: {
      resbuf* rb = add(RTPICKS);
      rb->resval.rlname[0] = v.asSelectionSet().id[0];
      rb->resval.rlname[1] = v.asSelectionSet().id[1];
      return;
    }
    case Value::Kind::Cons:
    case Value::Kind::Function:
      break;
    }
    throw LispError("bad argument type: cannot pass to a module: " +
                    printValue(v, PrintStyle::Escaped));
  }

  ResbufChain take() {
    last_ = nullptr;
    return std::move(head_);
  }

private:
  ResbufChain head_;
  resbuf* last_ = nullptr;
};

Value point(const double* xyz, int count) {
  ListBuilder out;
  for (int i = 0; i < count; ++i) {
    out.append(Value::real(xyz[i]));
  }
  return out.build();
}

Value atomValue(const resbuf& rb) {
  switch (rb.restype) {
  case RTREAL:
  case RTANG:
  case RTORINT:
    return Value::real(rb.resval.rreal);
  case RTSHORT:
    return Value::integer(rb.resval.rint);
  case RTLONG:
    // A long wider than the language's integers keeps its value as a real.
    if (rb.resval.rlong < std::numeric_limits<std::int32_t>::min() ||
        rb.resval.rlong > std::numeric_limits<std::int32_t>::max()) {
      return Value::real(static_cast<double>(rb.resval.rlong));
    }
    return Value::integer(static_cast<std::int32_t>(rb.resval.rlong));
  case RTSTR:
    return Value::string(rb.resval.rstring == nullptr ? std::string() : rb.resval.rstring);
  case RTENAME:
    return Value::entityName(EntityName{{rb.resval.rlname[0], rb.resval.rlname[1]}});
  case RTPICKS:
    return Value::selectionSet(SelectionSet{{rb.resval.rlname[0], rb.resval.rlname[1]}, nullptr});
  case RTPOINT:
    return point(rb.resval.rpoint, 2);
  case RT3DPOINT:
    return point(rb.resval.rpoint, 3);
  case RTNIL:
    return Value();
  case RTT:
    return Value::t();
  case RTVOID:
  case RTNONE:
    return Value::symbol("");
  default:
    throw LispError("unsupported result-buffer type: " + std::to_string(rb.restype));
  }
}

[[noreturn]] void malformed(const char* what) {
  throw LispError(std::string("malformed result-buffer list: ") + what);
}

} // namespace

ResbufChain toResbufChain(std::span<const Value> values) {
  ChainWriter writer;
  // Lists are walked with an explicit stack of the remaining tails.
  std::vector<const Value*> open;
  auto addItem = [&](const Value& v) {
    if (v.isCons()) {
      writer.add(RTLB);
      open.push_back(&v);
    } else {
      writer.addAtom(v);
    }
  };
  for (const Value& value : values) {
    addItem(value);
    while (!open.empty()) {
      const Value* rest = open.back();
      if (rest->isCons()) {
        open.back() = &rest->cdr();
        addItem(rest->car());
      } else {
        if (!rest->isNil()) {
          writer.add(RTDOTE);
          writer.addAtom(*rest);
        }
        writer.add(RTLE);
        open.pop_back();
      }
    }
  }
  return writer.take();
}

Value fromResbufChain(const resbuf* chain, ChainShape shape) {
  struct Level {
    ListBuilder items;
    std::size_t count = 0;
    bool dotted = false;  // RTDOTE seen: the next item is the tail
    bool tailSet = false; // the tail is in: only RTLE may follow
  };
  std::vector<Level> levels(1);
  Value single;
  auto addItem = [&](Value v) {
    Level& level = levels.back();
    if (level.tailSet) {
      malformed("item after the tail of a dotted list");
    }
    if (level.dotted) {
      level.items.setTail(std::move(v));
      level.tailSet = true;
      return;
    }
    if (levels.size() == 1 && level.count == 0) {
      single = v;
    }
    level.items.append(std::move(v));
    ++level.count;
  };
  for (const resbuf* rb = chain; rb != nullptr; rb = rb->rbnext) {
    switch (rb->restype) {
    case RTLB:
      levels.emplace_back();
      break;
    case RTLE: {
      if (levels.size() == 1) {
        malformed("end of list without a start");
      }
      if (levels.back().dotted && !levels.back().tailSet) {
        malformed("dotted list without a tail");
      }
      Value list = levels.back().items.build();
      levels.pop_back();
      addItem(std::move(list));
      break;
    }
    case RTDOTE: {
      Level& level = levels.back();
      if (levels.size() == 1 || level.count == 0 || level.dotted) {
        malformed("misplaced dot");
      }
      level.dotted = true;
      break;
    }
    default:
      addItem(atomValue(*rb));
    }
  }
  if (levels.size() != 1) {
    malformed("list without an end");
  }
  if (shape == ChainShape::Result && levels[0].count <= 1) {
    return levels[0].count == 0 ? Value() : single;
  }
  return levels[0].items.build();
}

} // namespace corvane::lisp
