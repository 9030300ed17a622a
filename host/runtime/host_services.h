// Host-wide services of the runtime: where command-line text goes, system
// variables, the search path for support files.
#pragma once

#include <functional>
#include <limits>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ads.h"

namespace corvane {

// Command-line output. The console installs its sink; until then text goes
// to stdout. Text is passed on byte for byte.
using OutputSink = std::function<void(std::string_view)>;
void setOutputSink(OutputSink sink);
void hostPrint(std::string_view text);
// While muted, hostPrint drops what it is given: an export leaves out the
// greeting a module prints as it loads. acrx_abort unmutes first, so that
// the reason for an abort always shows.
void setOutputMuted(bool muted);
// The text printed since the last line feed or carriage return: what the
// line the cursor stands on shows (its last 1024 bytes).
const std::string& currentOutputLine();

// The host's diagnostics: whole lines ("corvane: ..."), each passed in one
// piece. A running session installs its error stream as the sink; until
// then text goes to stderr, unbuffered.
void setErrorSink(OutputSink sink);
void hostError(std::string_view text);

// The host can't serve the command in progress to its end (the drawing's
// file changed or could not be read under an export): from
// failCommand until clearCommandFailure, ads_usrbrk answers 1, so that the
// module stops as it does for Ctrl-C and replaces no file. The reason is
// the caller's to print. failCommand is safe from any thread.
void failCommand();
// True once the command failed, or when the check set by setCommandCheck
// finds it must (which then fails it). The command thread only.
bool commandFailed();
void clearCommandFailure();
// CHECK (empty: none) is asked by each commandFailed until it is set again:
// true fails the command (an export: its drawing's file changed).
void setCommandCheck(std::function<bool()> check);

// A system variable's value.
struct SysVar {
  enum Type { kShort, kReal, kString } type = kShort;
  short shortValue = 0;
  double realValue = 0;
  std::string stringValue;
  bool readOnly = false;
  double lowest = -std::numeric_limits<double>::infinity(); // setvar refuses less
};

class SysVars {
public:
  SysVars();
  // Case-insensitive; null when unknown.
  SysVar* find(const std::string& name);
  void define(const std::string& name, SysVar value);
  // Callers that want to know when a variable changes (e.g. CMDECHO).
  const std::map<std::string, SysVar>& all() const { return vars_; }

private:
  std::map<std::string, SysVar> vars_; // keys upper-case
};

SysVars& sysVars();

// The EXPLODELIMIT system variable's default: the objects exploding may
// place that fit in a quarter of the memory this process may have (the
// machine's, or less under an address-space limit), at the bytes a placed
// object takes in the drawing and the export. At least 100,000.
unsigned long long defaultExplodeLimit();

// The folders ads_findfile searches, in order.
std::vector<std::string>& searchPath();

} // namespace corvane
