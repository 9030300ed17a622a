// libFuzzer target: any text read and evaluated as a command-line entry
// ends in a value or an error line, without memory errors or undefined
// behaviour. Each entry gets a budget of calls, so that an endless loop
// ends like one cancelled with Ctrl-C.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "lisp/interpreter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Long inputs add nothing the reader hasn't seen in short ones.
  if (size > 4096) return 0;
  corvane::lisp::Interpreter interpreter([](std::string_view) {});
  int checks = 0;
  interpreter.setInterruptCheck([&checks] { return ++checks > 200; });
  std::string_view text(reinterpret_cast<const char*>(data), size);
  corvane::lisp::LineResult result = interpreter.evaluateLine(text);
  if (!result.ok && result.text.rfind("; error: ", 0) != 0) __builtin_trap();
  return 0;
}
