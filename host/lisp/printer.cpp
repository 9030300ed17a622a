#include "lisp/printer.h"

#include <cstdio>
#include <vector>

#include "lisp/number_format.h"

namespace corvane::lisp {

namespace {

void appendEscaped(std::string& out, const std::string& text) {
  out += '"';
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
    case '"':
      out += "\\\"";
      break;
    case '\\':
      out += "\\\\";
      break;
    case '\n':
      out += "\\n";
      break;
    case '\t':
      out += "\\t";
      break;
    case '\r':
      out += "\\r";
      break;
    case 27:
      out += "\\e";
      break;
    default:
      if (c < 32 || c == 127) {
        char octal[8];
        std::snprintf(octal, sizeof octal, "\\%03o", c);
        out += octal;
      } else {
        out += ch;
      }
    }
  }
  out += '"';
}

void appendAtom(std::string& out, const Value& v, PrintStyle style) {
  char buffer[64];
  switch (v.kind()) {
  case Value::Kind::Nil:
    out += "nil";
    break;
  case Value::Kind::Integer:
    out += std::to_string(v.asInteger());
    break;
  case Value::Kind::Real:
    out += formatReal(v.asReal());
    break;
  case Value::Kind::String:
    if (style == PrintStyle::Escaped) {
      appendEscaped(out, v.asString());
    } else {
      out += v.asString();
    }
    break;
  case Value::Kind::Symbol:
    out += v.symbolName();
    break;
  case Value::Kind::EntityName:
    std::snprintf(buffer, sizeof buffer, "<Entity name: %lx>",
                  static_cast<unsigned long>(v.asEntityName().id[0]));
    out += buffer;
    break;
  case Value::Kind::SelectionSet:
    std::snprintf(buffer, sizeof buffer, "<Selection set: %ld>", v.asSelectionSet().id[0]);
    out += buffer;
    break;
  case Value::Kind::Function:
    out += v.asFunction().kind == Function::Kind::User ? "<Usubr: " : "<Subr: ";
    out += v.asFunction().name;
    out += '>';
    break;
  case Value::Kind::Cons:
    break; // handled by printValue
  }
}

} // namespace

std::string printValue(const Value& value, PrintStyle style) {
  struct Frame {
    const Value* rest;
    bool first;
  };
  std::string out;
  std::vector<Frame> open;
  auto emit = [&](const Value& v) {
    if (v.isCons()) {
      out += '(';
      open.push_back({&v, true});
    } else {
      appendAtom(out, v, style);
    }
  };
  emit(value);
  while (!open.empty()) {
    Frame& frame = open.back();
    const Value* rest = frame.rest;
    if (rest->isCons()) {
      if (!frame.first) {
        out += ' ';
      }
      frame.first = false;
      frame.rest = &rest->cdr();
      emit(rest->car()); // may grow the stack: frame is not used after this
    } else {
      if (!rest->isNil()) {
        out += " . ";
        appendAtom(out, *rest, style);
      }
      out += ')';
      open.pop_back();
    }
  }
  return out;
}

} // namespace corvane::lisp
