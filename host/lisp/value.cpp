#include "lisp/value.h"

#include <cmath>
#include <utility>

#include "lisp/lisp_error.h"
#include "lisp/printer.h"
#include "runtime/text.h"

namespace corvane::lisp {

namespace {

const Value kNil;


} // namespace

Value Value::integer(std::int32_t v) {
  Value out;
  out.data_ = v;
  return out;
}

Value Value::real(double v) {
  Value out;
  out.data_ = v;
  return out;
}

Value Value::string(std::string text) {
  Value out;
  out.data_ = Text{std::make_shared<const std::string>(std::move(text))};
  return out;
}

Value Value::symbol(std::string_view name) {
  std::string upper = asciiUpper(name);
  Value out;
  if (upper != "NIL") {
    out.data_ = Symbol{std::make_shared<const std::string>(std::move(upper))};
  }
  return out;
}

Value Value::t() {
  // One shared name for the most common symbol.
  static const std::shared_ptr<const std::string> kName = std::make_shared<const std::string>("T");
  Value out;
  out.data_ = Symbol{kName};
  return out;
}

bool Value::isT() const { return isSymbol() && symbolName() == "T"; }

Value Value::cons(Value car, Value cdr) {
  Value out;
  out.data_ = std::make_shared<Cons>(std::move(car), std::move(cdr));
  return out;
}

Value Value::entityName(EntityName name) {
  Value out;
  out.data_ = name;
  return out;
}

Value Value::selectionSet(SelectionSet set) {
  Value out;
  out.data_ = std::move(set);
  return out;
}

Value Value::function(std::shared_ptr<const Function> fn) {
  Value out;
  out.data_ = std::move(fn);
  return out;
}

Value Value::list(std::span<const Value> items) {
  ListBuilder builder;
  for (const Value& item : items) {
    builder.append(item);
  }
  return builder.build();
}

const Value& Value::car() const {
  if (isNil()) {
    return kNil;
  }
  return std::get<std::shared_ptr<Cons>>(data_)->car;
}

const Value& Value::cdr() const {
  if (isNil()) {
    return kNil;
  }
  return std::get<std::shared_ptr<Cons>>(data_)->cdr;
}

const void* Value::identity() const {
  switch (kind()) {
  case Kind::Cons:
    return std::get<std::shared_ptr<Cons>>(data_).get();
  case Kind::String:
    return std::get<Text>(data_).text.get();
  case Kind::Function:
    return std::get<std::shared_ptr<const Function>>(data_).get();
  default:
    return nullptr;
  }
}

Cons::~Cons() {
  // Cells owned only by this one are moved onto a work list and released
  // there with empty fields, so freeing a list of any length or depth takes
  // constant stack. Cells with other owners are simply let go.
  std::vector<std::shared_ptr<Cons>> pending;
  auto detach = [&pending](Value& v) {
    if (auto* cell = std::get_if<std::shared_ptr<Cons>>(&v.data_)) {
      if (cell->use_count() == 1) {
        pending.push_back(std::move(*cell));
      }
    }
    v.data_ = std::monostate{};
  };
  detach(car);
  detach(cdr);
  while (!pending.empty()) {
    std::shared_ptr<Cons> cell = std::move(pending.back());
    pending.pop_back();
    detach(cell->car);
    detach(cell->cdr);
  }
}

void ListBuilder::append(Value item) {
  auto cell = std::make_shared<Cons>(std::move(item), Value());
  Cons* raw = cell.get();
  Value v;
  v.data_ = std::move(cell);
  if (last_ == nullptr) {
    head_ = std::move(v);
  } else {
    last_->cdr = std::move(v);
  }
  last_ = raw;
}

void ListBuilder::setTail(Value tail) {
  if (last_ == nullptr) {
    head_ = std::move(tail);
  } else {
    last_->cdr = std::move(tail);
  }
  last_ = nullptr;
}

Value ListBuilder::build() {
  last_ = nullptr;
  return std::exchange(head_, Value());
}

bool eq(const Value& a, const Value& b) {
  if (a.kind() != b.kind()) {
    return false;
  }
  switch (a.kind()) {
  case Value::Kind::Nil:
    return true;
  case Value::Kind::Integer:
    return a.asInteger() == b.asInteger();
  case Value::Kind::Real:
    return a.asReal() == b.asReal();
  case Value::Kind::Symbol:
    return a.symbolName() == b.symbolName();
  case Value::Kind::EntityName:
    return a.asEntityName() == b.asEntityName();
  case Value::Kind::SelectionSet:
    return a.asSelectionSet() == b.asSelectionSet();
  case Value::Kind::String:
  case Value::Kind::Cons:
  case Value::Kind::Function:
    return a.identity() == b.identity();
  }
  return false;
}

namespace {

bool equalAtoms(const Value& a, const Value& b, double fuzz) {
  if (a.isNumber() && b.isNumber()) {
    if (a.isInteger() && b.isInteger() && fuzz == 0.0) {
      return a.asInteger() == b.asInteger();
    }
    return std::fabs(a.asNumber() - b.asNumber()) <= fuzz;
  }
  if (a.kind() != b.kind()) {
    return false;
  }
  if (a.isString()) {
    return a.asString() == b.asString();
  }
  return eq(a, b);
}

} // namespace

bool equal(const Value& a, const Value& b, double fuzz) {
  std::vector<std::pair<const Value*, const Value*>> work{{&a, &b}};
  while (!work.empty()) {
    auto [x, y] = work.back();
    work.pop_back();
    if (x->isCons() && y->isCons()) {
      if (x->identity() == y->identity()) {
        continue;
      }
      work.emplace_back(&x->cdr(), &y->cdr());
      work.emplace_back(&x->car(), &y->car());
    } else if (!equalAtoms(*x, *y, fuzz)) {
      return false;
    }
  }
  return true;
}

std::vector<Value> listElements(const Value& list) {
  std::vector<Value> out;
  const Value* p = &list;
  for (; p->isCons(); p = &p->cdr()) {
    out.push_back(p->car());
  }
  if (!p->isNil()) {
    throw LispError("bad list: " + printValue(list, PrintStyle::Escaped));
  }
  return out;
}

} // namespace corvane::lisp
