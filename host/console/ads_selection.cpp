// Selections and picks from the command line: ads_ssget, ads_entsel and the
// selection-set calls, and ads_regapp on the current drawing.
#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "ads.h"
#include "console/console.h"
#include "console/export_answer.h"
#include "console/selection.h"
#include "drawing/drawing.h"
#include "drawing/entity_names.h"
#include "drawing/selection_sets.h"
#include "faces/face_read_ahead.h"
#include "runtime/command_stack.h"
#include "runtime/host_services.h"
#include "runtime/text.h"

namespace corvane {
namespace {

std::vector<std::string> words(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

bool matchesAny(std::string_view value, const std::string& alternatives) {
  size_t start = 0;
  while (start <= alternatives.size()) {
    size_t end = alternatives.find(',', start);
    if (end == std::string::npos) end = alternatives.size();
    std::string one = alternatives.substr(start, end - start);
    if (one == "*" || equalsIgnoreCase(one, std::string(value))) return true;
    start = end + 1;
  }
  return false;
}

const char* const kObjectsAccepted =
    "Expects all, last, layer NAME..., or the handles of objects (such as 2F).\n";

// The model-space object with HANDLE, not erased; null when there is none.
AcDbObjectRecord* pickable(const Drawing& drawing, const std::string& handle) {
  AcDbObjectRecord* r = drawing.records().findByHandle(handle);
  return r != nullptr && RecordIndex::isModelSpace(*r) && !r->has(record_flags::kErased) ? r : nullptr;
}

} // namespace

bool passesFilter(const Drawing& drawing, const AcDbObjectRecord& record, const resbuf* filter) {
  for (const resbuf* rb = filter; rb != nullptr; rb = rb->rbnext) {
    if (rb->restype == 0 && rb->resval.rstring &&
        !matchesAny(drawing.typeName(record), rb->resval.rstring))
      return false;
    if (rb->restype == 8 && rb->resval.rstring &&
        !matchesAny(drawing.layerName(record), rb->resval.rstring))
      return false;
  }
  return true;
}

std::vector<AcDbObjectRecord*> objectsOnLayers(const Drawing& drawing,
                                               const std::vector<std::string>& layers) {
  std::vector<AcDbObjectRecord*> found;
  for (AcDbObjectRecord* record : drawing.records().modelSpace()) {
    if (layers.empty()) {
      found.push_back(record);
      continue;
    }
    for (const std::string& layer : layers)
      if (equalsIgnoreCase(std::string(drawing.layerName(*record)), layer)) {
        found.push_back(record);
        break;
      }
  }
  return found;
}

std::string entityAnswer(const ads_name entity) {
  const AcDbObjectRecord* r = recordFromEntityName(entity);
  const Drawing* d = drawingOwning(r);
  return d ? d->handleText(*r) : std::string();
}

std::string selectionAnswer(const ads_name ss) {
  std::string answer;
  long length = 0;
  if (ss == nullptr || !selectionSetLength(ss, length)) return answer;
  for (long i = 0; i < length; ++i) {
    ads_name e;
    if (!selectionSetMember(ss, i, e)) continue;
    std::string handle = entityAnswer(e);
    if (handle.empty()) continue;
    if (!answer.empty()) answer += ' ';
    answer += handle;
  }
  return answer;
}

int askForObjects(Console& console, const Drawing& drawing, const std::string& prompt,
                  std::vector<AcDbObjectRecord*>& picked) {
  for (;;) {
    Answer answer = console.ask(prompt);
    if (answer.kind == Answer::kCancel) return RTCAN;
    if (answer.kind == Answer::kEnd) return RTCAN;
    std::vector<std::string> tokens = words(answer.text);
    if (tokens.empty()) return RTNORM;
    size_t before = picked.size();
    auto add = [&](AcDbObjectRecord* record) {
      for (AcDbObjectRecord* p : picked)
        if (p == record) return;
      picked.push_back(record);
    };
    const std::string first = asciiLower(tokens[0]);
    if (first == "all" && tokens.size() == 1) {
      for (AcDbObjectRecord* r : drawing.records().modelSpace()) add(r);
    } else if (first == "last" && tokens.size() == 1) {
      if (AcDbObjectRecord* r = drawing.records().lastModelSpace()) add(r);
    } else if (first == "layer" && tokens.size() >= 2) {
      for (size_t i = 1; i < tokens.size(); ++i)
        for (AcDbObjectRecord* r : objectsOnLayers(drawing, {tokens[i]})) add(r);
    } else {
      bool bad = false;
      for (const std::string& t : tokens) {
        AcDbObjectRecord* r = pickable(drawing, t);
        if (r == nullptr) {
          hostPrint("*Invalid selection*: " + t + "\n");
          bad = true;
          continue;
        }
        add(r);
      }
      if (bad) {
        hostPrint(kObjectsAccepted);
        console.noteStepFailed("invalid selection: " + answer.text);
      }
      if (bad && picked.size() == before) continue;
    }
    hostPrint(std::to_string(picked.size() - before) + " found\n");
  }
}

} // namespace corvane

using namespace corvane;

extern "C" {

int ads_ssget(const char* str, const void* pt1, const void* pt2, const struct resbuf* filter,
              ads_name ss) {
  Drawing* drawing = currentDrawing();
  if (drawing == nullptr || ss == nullptr) return RTERROR;
  std::vector<AcDbObjectRecord*> picked;
  std::string mode = str ? str : "";
  while (!mode.empty() && (mode[0] == '_' || mode[0] == '.')) mode.erase(0, 1);
  if (mode == "X" || mode == "x") {
    for (AcDbObjectRecord* r : drawing->records().modelSpace())
      if (passesFilter(*drawing, *r, filter)) picked.push_back(r);
  } else if (str == nullptr && pt1 == nullptr && pt2 == nullptr) {
    Console* console = currentConsole();
    if (console == nullptr) return RTCAN;
    int status = askForObjects(*console, *drawing, "Select objects: ", picked);
    if (status != RTNORM) return status;
    if (filter != nullptr)
      std::erase_if(picked, [&](AcDbObjectRecord* r) { return !passesFilter(*drawing, *r, filter); });
  } else {
    return RTERROR; // point and window selections need a screen
  }
  if (picked.empty()) return RTERROR;
  newSelectionSet(ss);
  for (AcDbObjectRecord* r : picked) {
    ads_name e;
    makeEntityName(*r, e);
    addToSelectionSet(ss, e);
  }
  return RTNORM;
}

int ads_sslength(const ads_name ss, long* len) {
  if (ss == nullptr || len == nullptr) return RTERROR;
  return selectionSetLength(ss, *len) ? RTNORM : RTERROR;
}

int ads_ssname(const ads_name ss, long i, ads_name entres) {
  if (ss == nullptr || entres == nullptr || !selectionSetMember(ss, i, entres)) return RTERROR;
  FaceReadAhead::instance().walked(ss, i);
  noteSetWalked(ss, i, entres);
  return RTNORM;
}

int ads_ssadd(const ads_name ename, const ads_name ss, ads_name result) {
  if (result == nullptr) return RTERROR;
  if (ename != nullptr && recordFromEntityName(ename) == nullptr) return RTERROR;
  if (ss == nullptr) {
    newSelectionSet(result);
    if (ename != nullptr && !addToSelectionSet(result, ename)) {
      freeSelectionSet(result);
      return RTERROR;
    }
    return RTNORM;
  }
  if (!isSelectionSet(ss)) return RTERROR;
  if (ename != nullptr && !addToSelectionSet(ss, ename)) return RTERROR;
  result[0] = ss[0];
  result[1] = ss[1];
  return RTNORM;
}

int ads_ssfree(const ads_name sname) {
  if (sname == nullptr) return RTERROR;
  return freeSelectionSet(sname) ? RTNORM : RTERROR;
}

int ads_entsel(const char* prompt, ads_name result, ads_point ptres) {
  Drawing* drawing = currentDrawing();
  Console* console = currentConsole();
  if (drawing == nullptr || console == nullptr || result == nullptr) return RTERROR;
  AcDbObjectRecord* r = nullptr;
  // A pick that names no object is asked again, as a missed pick would be.
  while (r == nullptr) {
    Answer answer = console->ask(prompt ? prompt : "\nSelect object: ");
    if (answer.kind != Answer::kText) return RTCAN;
    std::vector<std::string> tokens = words(answer.text);
    if (tokens.empty()) return RTERROR;
    if (tokens.size() == 1)
      r = equalsIgnoreCase(tokens[0], "last") ? drawing->records().lastModelSpace() : pickable(*drawing, tokens[0]);
    if (r == nullptr) {
      hostPrint("*Invalid selection*\nExpects the handle of one object (such as 2F), or last.\n");
      console->noteStepFailed("invalid selection: " + answer.text);
    }
  }
  notePicked(*r);
  makeEntityName(*r, result);
  if (ptres != nullptr) ptres[0] = ptres[1] = ptres[2] = 0.0;
  return RTNORM;
}

int ads_regapp(const char* appname) {
  Drawing* drawing = currentDrawing();
  if (drawing == nullptr || appname == nullptr) return RTERROR;
  return drawing->registerApp(appname) ? RTNORM : RTERROR;
}

} // extern "C"
