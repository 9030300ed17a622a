// Selections and picks from the command line: ads_ssget, ads_entsel and the
// selection-set calls, and ads_regapp on the current drawing.
#include <cctype>
#include <sstream>
#include <string>
#include <unordered_set>
#include <vector>

#include "ads.h"
#include "console/console.h"
#include "console/export_answer.h"
#include "console/interrupts.h"
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
    "Expects all, L (last), P (previous), layer NAME..., the handles of objects (such as 2F), "
    "or R to remove objects and A to add them again.\n";

// The model-space object with HANDLE, not erased; null when there is none.
AcDbObjectRecord* pickable(const Drawing& drawing, const std::string& handle) {
  AcDbObjectRecord* r = drawing.records().findByHandle(handle);
  return r != nullptr && RecordIndex::isModelSpace(*r) && !r->has(record_flags::kErased) ? r : nullptr;
}

// The last selection made at "Select objects: ", for P: the drawing it was
// made in and its objects' handles (handles, not records: an object erased
// since is left out, and another drawing's selection is no selection).
struct PreviousSelection {
  const Drawing* drawing = nullptr;
  std::vector<std::string> handles;
};

PreviousSelection& previousSelection() {
  static auto* previous = new PreviousSelection;
  return *previous;
}

// The objects being chosen: in the order first picked, each once. Adding
// and removing cost the same however many are chosen, so that "all" on a
// large drawing stays linear.
class Picks {
public:
  explicit Picks(std::vector<AcDbObjectRecord*>& out) : out_(out) {
    for (AcDbObjectRecord* r : out) add(r);
    out_.clear();
  }
  bool add(AcDbObjectRecord* r) {
    if (!chosen_.insert(r).second) return false;
    order_.push_back(r);
    return true;
  }
  bool remove(AcDbObjectRecord* r) { return chosen_.erase(r) != 0; }
  // Writes the chosen objects, in order, to the caller's vector.
  void finish() {
    out_.reserve(chosen_.size());
    for (AcDbObjectRecord* r : order_)
      if (chosen_.erase(r) != 0) out_.push_back(r);
  }

private:
  std::vector<AcDbObjectRecord*>& out_;
  std::vector<AcDbObjectRecord*> order_; // may hold removed ones, and one twice
  std::unordered_set<AcDbObjectRecord*> chosen_;
};

// How often a long selection looks for Ctrl-C and shows its running count.
constexpr size_t kCheckEvery = 4096;

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
  Picks picks(picked);
  bool removing = false;
  const std::string removePrompt = "Remove objects: ";
  for (;;) {
    Answer answer = console.ask(removing ? removePrompt : prompt);
    if (answer.kind == Answer::kCancel || answer.kind == Answer::kEnd) return RTCAN;
    std::vector<std::string> tokens = words(answer.text);
    if (tokens.empty()) {
      picks.finish();
      if (picked.empty()) {
        hostPrint("Nothing selected.\n");
      } else {
        PreviousSelection& previous = previousSelection();
        previous.drawing = &drawing;
        previous.handles.clear();
        for (const AcDbObjectRecord* r : picked) previous.handles.push_back(drawing.handleText(*r));
      }
      return RTNORM;
    }
    const std::string first = asciiLower(tokens[0]);
    if (tokens.size() == 1 && (first == "r" || first == "remove" || first == "a" || first == "add")) {
      removing = first[0] == 'r';
      continue;
    }
    // One object after another; a pending Ctrl-C (or Escape) stops a long
    // run within a few thousand objects.
    size_t changed = 0;
    size_t seen = 0;
    bool cancelled = false;
    auto take = [&](AcDbObjectRecord* record) {
      if (removing ? picks.remove(record) : picks.add(record)) ++changed;
      if (++seen % kCheckEvery != 0) return true;
      if (breakPending()) cancelled = true;
      else if (console.interactive()) hostPrint("\r" + std::to_string(changed) + (removing ? " removed" : " found"));
      return !cancelled;
    };
    bool bad = false;
    if (first == "all" && tokens.size() == 1) {
      for (AcDbObjectRecord* r : drawing.records().modelSpace())
        if (!take(r)) break;
    } else if ((first == "last" || first == "l") && tokens.size() == 1) {
      if (AcDbObjectRecord* r = drawing.records().lastModelSpace()) take(r);
    } else if ((first == "previous" || first == "p") && tokens.size() == 1) {
      const PreviousSelection& previous = previousSelection();
      if (previous.drawing == &drawing)
        for (const std::string& handle : previous.handles)
          if (AcDbObjectRecord* r = pickable(drawing, handle); r != nullptr && !take(r)) break;
    } else if (first == "layer" && tokens.size() >= 2) {
      for (size_t i = 1; i < tokens.size() && !cancelled; ++i) {
        if (drawing.findLayer(tokens[i]) == nullptr) {
          hostPrint("Layer " + tokens[i] + " does not exist.\n");
          bad = true;
          continue;
        }
        for (AcDbObjectRecord* r : objectsOnLayers(drawing, {tokens[i]}))
          if (!take(r)) break;
      }
    } else {
      for (const std::string& t : tokens) {
        AcDbObjectRecord* r = pickable(drawing, t);
        if (r == nullptr) {
          hostPrint("*Invalid selection*: " + t + "\n");
          bad = true;
          continue;
        }
        take(r);
      }
      if (bad) {
        hostPrint(kObjectsAccepted);
        console.noteStepFailed("invalid selection: " + answer.text);
      }
      if (bad && changed == 0) continue;
    }
    // A running count stands on the line: what follows takes its place.
    const std::string overCount = console.interactive() && seen >= kCheckEvery ? "\r\033[K" : "";
    if (cancelled) {
      clearBreak();
      hostPrint(overCount + "*Cancel*\n");
      return RTCAN;
    }
    if (bad && changed == 0 && seen == 0) continue;
    hostPrint(overCount + std::to_string(changed) + (removing ? " removed" : " found") + "\n");
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
