// The ads_* calls that talk to the user or run host commands through the
// command line: the file dialog and ads_command.
#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "ads.h"
#include "console/console.h"
#include "console/selection.h"
#include "runtime/background_work.h"
#include "runtime/host_services.h"

namespace {

bool fileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

} // namespace

extern "C" {

int ads_getfiled(const char* title, const char* defawlt, const char* ext, int flags,
                 struct resbuf* result) {
  corvane::Console* console = corvane::currentConsole();
  if (console == nullptr || result == nullptr) return RTERROR;
  std::string prompt = "\n";
  prompt += title ? title : "";
  if (defawlt != nullptr && *defawlt != '\0') prompt += std::string(" <") + defawlt + ">";
  prompt += ": ";
  std::string path;
  for (;;) {
    corvane::Answer answer = console->ask(prompt);
    if (answer.kind != corvane::Answer::kText) return RTCAN;
    path = corvane::pathFromAnswer(answer.text);
    if (path.empty() && defawlt != nullptr) path = defawlt;
    if (path.empty()) return RTCAN;
    // A name typed without an extension gets the default one.
    if (ext != nullptr && *ext != '\0') {
      size_t slash = path.rfind('/');
      size_t dot = path.rfind('.');
      if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        path += std::string(".") + ext;
    }
    if ((flags & 1) == 0 && !fileExists(path)) {
      corvane::hostPrint("\nCannot find " + path + ".");
      console->noteStepFailed("Cannot find " + path + ".");
      return RTERROR;
    }
    if ((flags & 1) == 0) break;
    // Declining to replace a file is choosing another name, as in a file
    // dialog: the question comes back.
    corvane::Replace replace = corvane::askToReplace(*console, path);
    if (replace == corvane::Replace::kCancel) return RTCAN;
    if (replace == corvane::Replace::kYes) break;
  }
  char* copy = acad__strdup(path.c_str());
  if (copy == nullptr) return RTERROR;
  if (result->restype == RTSTR) acad_free(result->resval.rstring);
  result->restype = RTSTR;
  result->resval.rstring = copy;
  return RTNORM;
}

int ads_command(int rtype, ...) {
  corvane::Console* console = corvane::currentConsole();
  va_list ap;
  va_start(ap, rtype);
  std::vector<std::string> words;
  bool bad = false;
  for (int type = rtype; type != 0 && type != RTNONE; type = va_arg(ap, int)) {
    char text[96];
    switch (type) {
    case RTSTR: {
      const char* s = va_arg(ap, const char*);
      words.push_back(s ? s : "");
      break;
    }
    case RTSHORT:
      std::snprintf(text, sizeof text, "%d", va_arg(ap, int));
      words.push_back(text);
      break;
    case RTLONG:
      std::snprintf(text, sizeof text, "%ld", va_arg(ap, long));
      words.push_back(text);
      break;
    case RTREAL:
      std::snprintf(text, sizeof text, "%.16g", va_arg(ap, double));
      words.push_back(text);
      break;
    case RTPICKS:
      words.push_back(corvane::selectionAnswer(va_arg(ap, const long*)));
      break;
    case RTENAME:
      words.push_back(corvane::entityAnswer(va_arg(ap, const long*)));
      break;
    case RTPOINT:
    case RT3DPOINT: {
      const double* p = va_arg(ap, const double*);
      std::snprintf(text, sizeof text, "%.16g,%.16g,%.16g", p ? p[0] : 0, p ? p[1] : 0, p ? p[2] : 0);
      words.push_back(text);
      break;
    }
    default:
      bad = true;
      break;
    }
    if (bad) break;
  }
  va_end(ap);
  if (bad || console == nullptr) return RTERROR;
  // A host command may change anything.
  corvane::beforeHostChange();
  return console->runCommand(std::move(words)) ? RTNORM : RTERROR;
}

} // extern "C"
