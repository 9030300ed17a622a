// The evaluated arguments of one built-in call, and the one place that
// checks them, so that every built-in (the host's too) words its errors
// alike: "too few arguments", "too many arguments",
// "bad argument type: numberp: \"a\"", "bad argument value: substr: 0".
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "lisp/value.h"

namespace corvane::lisp {

// Throws LispError "bad argument type: PREDICATE: VALUE" (VALUE printed as
// prin1 prints it).
[[noreturn]] void throwBadType(std::string_view predicate, const Value& value);

class Arguments {
public:
  // FUNCTION is the name errors mention; VALUES must outlive this object.
  Arguments(std::string_view function, std::span<const Value> values)
      : function_(function), values_(values) {}

  std::string_view function() const { return function_; }
  std::size_t size() const { return values_.size(); }
  std::span<const Value> values() const { return values_; }
  // The argument at I without a type check; "too few arguments" past the end.
  const Value& operator[](std::size_t i) const;

  // Throws "too few arguments" / "too many arguments" unless
  // MIN <= size() <= MAX.
  void expectCount(std::size_t min, std::size_t max) const;
  void expectCount(std::size_t exactly) const { expectCount(exactly, exactly); }

  // Typed access: each throws "bad argument type: PREDICATE: VALUE" when the
  // argument at I is of another kind.
  std::int32_t integer(std::size_t i) const;         // fixnump
  double number(std::size_t i) const;                // numberp (integer or real)
  const std::string& string(std::size_t i) const;    // stringp
  const Value& list(std::size_t i) const;            // listp (nil or a cons)
  const Value& cons(std::size_t i) const;            // consp
  const std::string& symbol(std::size_t i) const;    // symbolp
  EntityName entityName(std::size_t i) const;        // lentityp
  const SelectionSet& selectionSet(std::size_t i) const; // lselsetp

  [[noreturn]] void badType(std::size_t i, std::string_view predicate) const;
  // "bad argument value: FUNCTION: VALUE" (function name in lower case) for
  // an argument of the right kind but outside what the function accepts.
  [[noreturn]] void badValue(std::size_t i) const;

private:
  std::string_view function_;
  std::span<const Value> values_;
};

} // namespace corvane::lisp
