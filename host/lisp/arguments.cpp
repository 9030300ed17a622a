#include "lisp/arguments.h"

#include "lisp/lisp_error.h"
#include "lisp/printer.h"
#include "runtime/text.h"

namespace corvane::lisp {

void throwBadType(std::string_view predicate, const Value& value) {
  throw LispError("bad argument type: " + std::string(predicate) + ": " +
                  printValue(value, PrintStyle::Escaped));
}

const Value& Arguments::operator[](std::size_t i) const {
  if (i >= values_.size()) {
    throw LispError("too few arguments");
  }
  return values_[i];
}

void Arguments::expectCount(std::size_t min, std::size_t max) const {
  if (values_.size() < min) {
    throw LispError("too few arguments");
  }
  if (values_.size() > max) {
    throw LispError("too many arguments");
  }
}

std::int32_t Arguments::integer(std::size_t i) const {
  const Value& v = (*this)[i];
  if (!v.isInteger()) {
    badType(i, "fixnump");
  }
  return v.asInteger();
}

double Arguments::number(std::size_t i) const {
  const Value& v = (*this)[i];
  if (!v.isNumber()) {
    badType(i, "numberp");
  }
  return v.asNumber();
}

const std::string& Arguments::string(std::size_t i) const {
  const Value& v = (*this)[i];
  if (!v.isString()) {
    badType(i, "stringp");
  }
  return v.asString();
}

const Value& Arguments::list(std::size_t i) const {
  const Value& v = (*this)[i];
  if (!v.isList()) {
    badType(i, "listp");
  }
  return v;
}

const Value& Arguments::cons(std::size_t i) const {
  const Value& v = (*this)[i];
  if (!v.isCons()) {
    badType(i, "consp");
  }
  return v;
}

const std::string& Arguments::symbol(std::size_t i) const {
  const Value& v = (*this)[i];
  if (!v.isSymbol()) {
    badType(i, "symbolp");
  }
  return v.symbolName();
}

EntityName Arguments::entityName(std::size_t i) const {
  const Value& v = (*this)[i];
  if (!v.isEntityName()) {
    badType(i, "lentityp");
  }
  return v.asEntityName();
}

const SelectionSet& Arguments::selectionSet(std::size_t i) const {
  const Value& v = (*this)[i];
  if (!v.isSelectionSet()) {
    badType(i, "lselsetp");
  }
  return v.asSelectionSet();
}

void Arguments::badType(std::size_t i, std::string_view predicate) const {
  throwBadType(predicate, (*this)[i]);
}

void Arguments::badValue(std::size_t i) const {
  throw LispError("bad argument value: " + asciiLower(function_) + ": " +
                  printValue((*this)[i], PrintStyle::Escaped));
}

} // namespace corvane::lisp
