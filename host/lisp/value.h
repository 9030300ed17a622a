// Values of the list language: nil, integers (32-bit), reals, strings (bytes),
// symbols (upper-case names), cons cells, entity names, selection sets and
// functions. A Value is a small handle; heap parts (texts, cells, functions)
// are shared and immutable once built, so copying a Value is cheap and lists
// never form cycles. T is the symbol T, which evaluates to itself.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace corvane::lisp {

class Interpreter;
class Arguments;
class Value;
struct Cons;
struct Function;

// An entity name as the host hands it out: an opaque pair of longs.
struct EntityName {
  long id[2] = {0, 0};
  bool operator==(const EntityName&) const = default;
};

// A selection set name. KEEPER (may be null) is held as long as any value
// refers to the set, so a host built-in can free the set with ads_ssfree when
// the last reference goes away. Two sets are equal when their names are.
struct SelectionSet {
  long id[2] = {0, 0};
  std::shared_ptr<const void> keeper;
  bool operator==(const SelectionSet& other) const {
    return id[0] == other.id[0] && id[1] == other.id[1];
  }
};

class Value {
public:
  enum class Kind { Nil, Integer, Real, String, Symbol, Cons, EntityName, SelectionSet, Function };

  Value() = default; // nil
  static Value integer(std::int32_t v);
  static Value real(double v);
  static Value string(std::string text);
  // NAME is upper-cased (ASCII); "NIL" gives nil itself.
  static Value symbol(std::string_view name);
  static Value t();
  static Value boolean(bool b) { return b ? t() : Value(); }
  static Value cons(Value car, Value cdr);
  static Value entityName(EntityName name);
  static Value selectionSet(SelectionSet set);
  static Value function(std::shared_ptr<const Function> fn);
  // A list of the given items (nil when empty).
  static Value list(std::span<const Value> items);

  Kind kind() const { return static_cast<Kind>(data_.index()); }
  bool isNil() const { return kind() == Kind::Nil; }
  bool isInteger() const { return kind() == Kind::Integer; }
  bool isReal() const { return kind() == Kind::Real; }
  bool isNumber() const { return isInteger() || isReal(); }
  bool isString() const { return kind() == Kind::String; }
  bool isSymbol() const { return kind() == Kind::Symbol; }
  bool isCons() const { return kind() == Kind::Cons; }
  bool isList() const { return isNil() || isCons(); }
  bool isEntityName() const { return kind() == Kind::EntityName; }
  bool isSelectionSet() const { return kind() == Kind::SelectionSet; }
  bool isFunction() const { return kind() == Kind::Function; }
  bool isT() const;

  // Accessors; each requires the matching kind.
  std::int32_t asInteger() const { return std::get<std::int32_t>(data_); }
  double asReal() const { return std::get<double>(data_); }
  // An integer or a real as a double.
  double asNumber() const { return isInteger() ? asInteger() : asReal(); }
  const std::string& asString() const { return *std::get<Text>(data_).text; }
  const std::string& symbolName() const { return *std::get<Symbol>(data_).name; }
  const EntityName& asEntityName() const { return std::get<EntityName>(data_); }
  const SelectionSet& asSelectionSet() const { return std::get<SelectionSet>(data_); }
  const Function& asFunction() const { return *std::get<std::shared_ptr<const Function>>(data_); }
  std::shared_ptr<const Function> functionPtr() const {
    return std::get<std::shared_ptr<const Function>>(data_);
  }
  // car and cdr of a cons; nil for nil. Requires isList().
  const Value& car() const;
  const Value& cdr() const;

  // Identity of the heap part (cell, text, function); null for other kinds.
  const void* identity() const;

private:
  friend class ListBuilder;
  friend struct Cons;
  struct Text {
    std::shared_ptr<const std::string> text;
  };
  struct Symbol {
    std::shared_ptr<const std::string> name;
  };
  // The order of the alternatives is the order of Kind.
  std::variant<std::monostate, std::int32_t, double, Text, Symbol, std::shared_ptr<Cons>,
               EntityName, SelectionSet, std::shared_ptr<const Function>>
      data_;
};

struct Cons {
  Value car;
  Value cdr;
  Cons(Value a, Value d) : car(std::move(a)), cdr(std::move(d)) {}
  // Releases long or deeply nested lists without recursing once per cell.
  ~Cons();
  Cons(const Cons&) = delete;
  Cons& operator=(const Cons&) = delete;
};

// Builds a list front to back in linear time. build() hands the list over
// and leaves the builder empty.
class ListBuilder {
public:
  void append(Value item);
  // Ends the list with TAIL instead of nil (a dotted list); nothing may be
  // appended afterwards.
  void setTail(Value tail);
  bool empty() const { return head_.isNil(); }
  Value build();

private:
  Value head_;
  Cons* last_ = nullptr;
};

// A function value: a built-in (arguments evaluated), a special form
// (arguments handed over unevaluated as a list) or a user function made by
// defun or lambda (dynamically scoped parameters and locals).
struct Function {
  enum class Kind { Builtin, SpecialForm, User };
  using BuiltinFn = std::function<Value(Interpreter&, const Arguments&)>;
  using SpecialFn = std::function<Value(Interpreter&, const Value& args)>;

  Kind kind = Kind::Builtin;
  std::string name; // upper-case; "LAMBDA" for anonymous functions
  BuiltinFn builtin;
  SpecialFn special;
  std::vector<std::string> params;
  std::vector<std::string> locals;
  Value body; // list of forms
};

// eq: same heap object for cells, texts and functions; same value otherwise.
bool eq(const Value& a, const Value& b);
// equal: same structure and contents; numbers compare by value (an integer
// equals the same real) within FUZZ. Iterative, so any depth is safe.
bool equal(const Value& a, const Value& b, double fuzz = 0.0);

// Elements of a proper list. Throws LispError "bad list: ..." for an atom
// other than nil or a dotted list.
std::vector<Value> listElements(const Value& list);

} // namespace corvane::lisp
