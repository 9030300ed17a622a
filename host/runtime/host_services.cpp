#include "runtime/host_services.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/background_work.h"
#include "runtime/module_loader.h"
#include "runtime/text.h"

namespace corvane {
namespace {

OutputSink& sink() {
  static auto* s = new OutputSink;
  return *s;
}

OutputSink& errorSink() {
  static auto* s = new OutputSink;
  return *s;
}

std::string& lineShown() {
  static auto* line = new std::string;
  return *line;
}

SysVar shortVar(short v, bool readOnly = false) {
  SysVar s;
  s.type = SysVar::kShort;
  s.shortValue = v;
  s.readOnly = readOnly;
  return s;
}

SysVar stringVar(const std::string& v, bool readOnly = false) {
  SysVar s;
  s.type = SysVar::kString;
  s.stringValue = v;
  s.readOnly = readOnly;
  return s;
}

} // namespace

void setOutputSink(OutputSink s) { sink() = std::move(s); }

namespace {
bool gOutputMuted = false;
} // namespace

void setOutputMuted(bool muted) { gOutputMuted = muted; }

const std::string& currentOutputLine() { return lineShown(); }

void hostPrint(std::string_view text) {
  if (gOutputMuted) return;
  // What the cursor's line shows: a line feed or a carriage return starts
  // it afresh. Held to a screen's width or so; prompts are shorter.
  std::string& line = lineShown();
  size_t start = text.size();
  while (start > 0 && text[start - 1] != '\r' && text[start - 1] != '\n') --start;
  if (start > 0) line.clear();
  line.append(text.substr(start));
  if (line.size() > 1024) line.erase(0, line.size() - 1024);
  if (sink()) {
    sink()(text);
  } else {
    // A person watching sees every piece at once; a pipe or file gets the
    // text in large writes (an export prints a progress line per object).
    static const bool toTerminal = isatty(fileno(stdout)) != 0;
    std::fwrite(text.data(), 1, text.size(), stdout);
    if (toTerminal) std::fflush(stdout);
  }
}

void setErrorSink(OutputSink s) { errorSink() = std::move(s); }

void hostError(std::string_view text) {
  if (errorSink()) errorSink()(text);
  else std::fwrite(text.data(), 1, text.size(), stderr);
}

namespace {
std::atomic<bool> gCommandFailed{false};
std::function<bool()>& commandCheck() {
  static auto* check = new std::function<bool()>;
  return *check;
}
} // namespace

void failCommand() { gCommandFailed = true; }

bool commandFailed() {
  if (!gCommandFailed && commandCheck() && commandCheck()()) gCommandFailed = true;
  return gCommandFailed;
}

void clearCommandFailure() { gCommandFailed = false; }

void setCommandCheck(std::function<bool()> check) { commandCheck() = std::move(check); }

SysVars::SysVars() {
  define("CMDECHO", shortVar(1));
  define("FILEDIA", shortVar(0));
  define("EXPERT", shortVar(0));
  define("DWGNAME", stringVar("Drawing1.dwg", true));
  define("DWGPREFIX", stringVar("", true));
  define("ACADVER", stringVar("13.0 (Corvane)", true));
  define("ACADPREFIX", stringVar(""));
  SysVar tolerance;
  tolerance.type = SysVar::kReal;
  tolerance.realValue = 0.0; // 0: relative to each body's size
  define("FACETCHORD", tolerance);
  // Minutes between automatic recovery copies of a changed drawing; 0 turns
  // them off. Fractions of a minute are allowed.
  SysVar saveTime;
  saveTime.type = SysVar::kReal;
  saveTime.realValue = 10.0;
  saveTime.lowest = 0.0;
  define("SAVETIME", saveTime);
  // The most objects one EXPLODE, or the exploding before an export, may
  // place (corvane export --explode-limit sets it).
  SysVar explodeLimit;
  explodeLimit.type = SysVar::kReal;
  explodeLimit.realValue = static_cast<double>(defaultExplodeLimit());
  explodeLimit.lowest = 0.0;
  define("EXPLODELIMIT", explodeLimit);
}

unsigned long long defaultExplodeLimit() {
  // What a placed object holds from its text in the drawing to its group
  // in the world, with room for the bigger kinds: corvane export of a
  // multiple insert of 3D faces peaks at about 550 bytes more per face
  // (600 x 600 copies: 198 MB, 300 x 300: 54 MB).
  constexpr unsigned long long kBytesPerObject = 2048;
  const long pages = ::sysconf(_SC_PHYS_PAGES), pageSize = ::sysconf(_SC_PAGESIZE);
  unsigned long long bytes = pages > 0 && pageSize > 0 ? static_cast<unsigned long long>(pages) * pageSize : 1ULL << 32;
  struct rlimit limit;
  if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < bytes)
    bytes = limit.rlim_cur;
  return std::max<unsigned long long>(bytes / 4 / kBytesPerObject, 100000);
}

SysVar* SysVars::find(const std::string& name) {
  auto it = vars_.find(asciiUpper(name));
  return it == vars_.end() ? nullptr : &it->second;
}

void SysVars::define(const std::string& name, SysVar value) { vars_[asciiUpper(name)] = std::move(value); }

SysVars& sysVars() {
  static auto* vars = new SysVars;
  return *vars;
}

std::vector<std::string>& searchPath() {
  static auto* path = new std::vector<std::string>;
  return *path;
}

namespace {

// FORMAT with ARGS into OUT (SIZE bytes) when it holds no conversions but
// %d, %i, %ld, %li, %s and %% without flags, width or precision: the
// module's messages. Returns the length, or -1 for anything else (then
// vsnprintf does it) or when it does not fit.
int formatPlain(char* out, size_t size, const char* format, va_list args) {
  size_t n = 0;
  auto put = [&](const char* text, size_t length) {
    if (length > size - n) return false;
    std::memcpy(out + n, text, length);
    n += length;
    return true;
  };
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      if (!put(p, 1)) return -1;
      continue;
    }
    ++p;
    bool wide = false;
    if (*p == 'l') {
      wide = true;
      ++p;
    }
    char digits[24];
    if (*p == 'd' || *p == 'i') {
      const long v = wide ? va_arg(args, long) : va_arg(args, int);
      unsigned long magnitude = v < 0 ? 0UL - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
      char* end = digits + sizeof digits;
      char* at = end;
      do {
        *--at = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
      } while (magnitude != 0);
      if (v < 0) *--at = '-';
      if (!put(at, static_cast<size_t>(end - at))) return -1;
    } else if (*p == 's' && !wide) {
      const char* text = va_arg(args, const char*);
      if (text == nullptr) text = "(null)";
      if (!put(text, std::strlen(text))) return -1;
    } else if (*p == '%' && !wide) {
      if (!put("%", 1)) return -1;
    } else {
      return -1;
    }
  }
  return static_cast<int>(n);
}

} // namespace

} // namespace corvane

using corvane::SysVar;

extern "C" {

int ads_printf(const char* format, ...) {
  if (format == nullptr) return 0;
  va_list ap;
  va_start(ap, format);
  va_list copy;
  va_copy(copy, ap);
  // Most texts are short: format once into a local buffer (the common
  // conversions without the C library's machinery), and again into a
  // string of the right size only when they are not.
  char local[512];
  int n = corvane::formatPlain(local, sizeof local, format, copy);
  va_end(copy);
  if (n < 0) {
    va_copy(copy, ap);
    n = std::vsnprintf(local, sizeof local, format, copy);
    va_end(copy);
  }
  if (n < 0) {
    va_end(ap);
    return 0;
  }
  if (static_cast<size_t>(n) < sizeof local) {
    va_end(ap);
    corvane::hostPrint(std::string_view(local, static_cast<size_t>(n)));
    return n;
  }
  std::string text(static_cast<size_t>(n) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, ap);
  va_end(ap);
  text.resize(static_cast<size_t>(n));
  corvane::hostPrint(text);
  return n;
}

int ads_getvar(const char* sym, struct resbuf* result) {
  if (sym == nullptr || result == nullptr) return RTERROR;
  SysVar* v = corvane::sysVars().find(sym);
  if (v == nullptr) return RTERROR;
  switch (v->type) {
  case SysVar::kShort:
    result->restype = RTSHORT;
    result->resval.rint = v->shortValue;
    break;
  case SysVar::kReal:
    result->restype = RTREAL;
    result->resval.rreal = v->realValue;
    break;
  case SysVar::kString:
    result->restype = RTSTR;
    result->resval.rstring = acad__strdup(v->stringValue.c_str());
    if (result->resval.rstring == nullptr) return RTERROR;
    break;
  }
  return RTNORM;
}

int ads_setvar(const char* sym, const struct resbuf* val) {
  if (sym == nullptr || val == nullptr) return RTERROR;
  SysVar* v = corvane::sysVars().find(sym);
  if (v == nullptr || v->readOnly) return RTERROR;
  double number = val->restype == RTSHORT ? val->resval.rint
                  : val->restype == RTLONG ? static_cast<double>(val->resval.rlong)
                  : val->restype == RTREAL ? val->resval.rreal
                                           : 0.0;
  if (number < v->lowest) return RTERROR;
  corvane::beforeHostChange();
  switch (v->type) {
  case SysVar::kShort:
    if (val->restype == RTSHORT) v->shortValue = val->resval.rint;
    else if (val->restype == RTLONG && val->resval.rlong >= -32768 && val->resval.rlong <= 32767)
      v->shortValue = static_cast<short>(val->resval.rlong);
    else return RTERROR;
    return RTNORM;
  case SysVar::kReal:
    if (val->restype == RTREAL && std::isfinite(val->resval.rreal)) v->realValue = val->resval.rreal;
    else if (val->restype == RTSHORT) v->realValue = val->resval.rint;
    else if (val->restype == RTLONG) v->realValue = static_cast<double>(val->resval.rlong);
    else return RTERROR;
    return RTNORM;
  case SysVar::kString:
    if (val->restype != RTSTR || val->resval.rstring == nullptr) return RTERROR;
    v->stringValue = val->resval.rstring;
    return RTNORM;
  }
  return RTERROR;
}

int ads_findfile(const char* fname, char* result) {
  if (fname == nullptr || *fname == '\0' || result == nullptr) return RTERROR;
  auto isFile = [](const std::string& p) {
    struct stat st {};
    return stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  };
  auto found = [&](const std::string& p) {
    if (p.size() >= 512) return false;
    std::memcpy(result, p.c_str(), p.size() + 1);
    return true;
  };
  std::string name = fname;
  if (name.find('/') != std::string::npos) return isFile(name) && found(name) ? RTNORM : RTERROR;
  std::vector<std::string> folders = corvane::searchPath();
  if (SysVar* extra = corvane::sysVars().find("ACADPREFIX")) {
    std::string list = extra->stringValue;
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find(';', start);
      if (end == std::string::npos) end = list.size();
      if (end > start) folders.push_back(list.substr(start, end - start));
      start = end + 1;
    }
  }
  for (const std::string& folder : folders) {
    std::string p = folder.empty() ? name : folder + "/" + name;
    if (isFile(p)) return found(p) ? RTNORM : RTERROR;
  }
  return RTERROR;
}

void* adsw_acadMainWnd(void) {
  static int mainWindow;
  return &mainWindow;
}

} // extern "C"

void acrx_abort(const char* format, ...) {
  char text[1024];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(text, sizeof text, format ? format : "", ap);
  va_end(ap);
  corvane::setOutputMuted(false);
  corvane::hostPrint("\n");
  corvane::hostPrint(text);
  corvane::hostPrint("\n");
  std::fflush(stdout);
  corvane::abandonBackgroundWork();
  std::_Exit(3);
}
