// The one error type of the list language. Reader, evaluator and built-ins
// throw it; the command line prints "; error: " followed by what().
// The message is a single line without the "; error: " prefix.
#pragma once

#include <stdexcept>
#include <string>

namespace corvane::lisp {

class LispError : public std::runtime_error {
public:
  explicit LispError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace corvane::lisp
