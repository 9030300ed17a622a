#include "console/host_commands.h"

#include <cctype>
#include <string>

#include "console/console.h"
#include "console/selection.h"
#include "drawing/drawing.h"
#include "explode/explode.h"
#include "runtime/host_services.h"

namespace corvane {
namespace {

std::string colourText(int index) {
  if (index == 256) return "BYLAYER";
  if (index == 0) return "BYBLOCK";
  return std::to_string(index);
}

void saveTo(Console& console, Drawing& drawing, const std::string& path) {
  HostResult result = path.empty() ? drawing.save() : drawing.saveAs(path);
  if (result) {
    hostPrint("\nSaved " + drawing.file().path() + ".\n");
    return;
  }
  hostPrint("\n" + result.error + "\n");
  console.noteStepFailed(result.error);
}

void saveAsCommand(Console& console) {
  Drawing* drawing = currentDrawing();
  if (drawing == nullptr) return;
  Answer answer = console.ask("\nSave drawing as <" + drawing->file().path() + ">: ");
  if (answer.kind != Answer::kText) return;
  std::string path = answer.text.empty() ? drawing->file().path() : answer.text;
  if (path.empty()) return;
  // A DXF can't hold what the DWG reader could only list: say what stays
  // behind, and go on only when told to.
  const Drawing::DwgOrigin* dwg = drawing->dwgOrigin();
  if (dwg != nullptr && !dwg->listedKinds.empty()) {
    std::string kinds;
    for (const auto& [kind, count] : dwg->listedKinds)
      kinds += (kinds.empty() ? "" : ", ") + std::to_string(count) + " " + kind;
    Answer go = console.ask("\nThe DXF can't carry what was only listed of the DWG: " + kinds +
                            ".\nSave without them? <N>: ");
    if (go.kind != Answer::kText || go.text.empty() || (go.text[0] != 'y' && go.text[0] != 'Y')) return;
  }
  saveTo(console, *drawing, path);
}

void saveCommand(Console& console) {
  Drawing* drawing = currentDrawing();
  if (drawing == nullptr) return;
  if (drawing->file().path().empty()) {
    saveAsCommand(console);
    return;
  }
  saveTo(console, *drawing, "");
}

void listCommand(Console& console) {
  Drawing* drawing = currentDrawing();
  if (drawing == nullptr) return;
  std::vector<AcDbObjectRecord*> picked;
  if (askForObjects(console, *drawing, "\nSelect objects: ", picked) != RTNORM) return;
  for (AcDbObjectRecord* r : picked) {
    std::string line = "\n" + std::string(drawing->typeName(*r)) + "  Handle = " +
                       drawing->handleText(*r) + "  Layer: " + std::string(drawing->layerName(*r)) +
                       "  Color: " + colourText(drawing->colorIndex(*r));
    std::vector<std::string> apps = drawing->xdataApplications(*r);
    if (!apps.empty()) {
      line += "  Extended data:";
      for (const std::string& app : apps) line += " " + app;
    }
    hostPrint(line + "\n");
  }
}

void explodeCommand(Console& console) {
  Drawing* drawing = currentDrawing();
  if (drawing == nullptr) return;
  std::vector<AcDbObjectRecord*> picked;
  if (askForObjects(console, *drawing, "\nSelect objects: ", picked) != RTNORM || picked.empty()) return;
  ExplodeReport report = explodeObjects(*drawing, picked);
  for (const std::string& line : report.refused) hostPrint("\n" + line);
  hostPrint("\n" + std::to_string(report.exploded) + " exploded, " + std::to_string(report.refused.size()) +
            " could not be exploded.\n");
}

void quitCommand(Console& console) {
  Drawing* drawing = currentDrawing();
  if (drawing != nullptr && drawing->modified()) {
    if (console.interactive()) {
      Answer answer = console.ask("\nThe drawing has unsaved changes. Discard them? <N>: ");
      if (answer.kind != Answer::kText || answer.text.empty() ||
          (answer.text[0] != 'y' && answer.text[0] != 'Y'))
        return;
    } else {
      hostPrint("\nUnsaved changes to " + drawing->file().path() + " discarded.\n");
    }
  }
  console.requestQuit();
}

void holdOpenCommand(Console& console) {
  Drawing* drawing = currentDrawing();
  if (drawing == nullptr) return;
  Answer handle = console.ask("\nHandle of the object to hold open: ");
  if (handle.kind != Answer::kText) return;
  AcDbObjectRecord* r = drawing->records().findByHandle(handle.text);
  if (r == nullptr) {
    hostPrint("\nNo object with handle " + handle.text + ".\n");
    return;
  }
  Answer mode = console.ask("\nHold it open for [Read/Write] <Write>: ");
  if (mode.kind != Answer::kText) return;
  bool read = !mode.text.empty() && (mode.text[0] == 'r' || mode.text[0] == 'R');
  Acad::ErrorStatus status = drawing->holdOpen(*r, read ? AcDb::kForRead : AcDb::kForWrite);
  if (status != Acad::eOk) hostPrint("\nCannot hold " + handle.text + " open.\n");
}

} // namespace

void registerHostCommands(Console& console) {
  console.addHostCommand("SAVE", saveCommand);
  console.addHostCommand("SAVEAS", saveAsCommand);
  console.addHostCommand("LIST", listCommand);
  console.addHostCommand("EXPLODE", explodeCommand);
  console.addHostCommand("QUIT", quitCommand);
  console.addHostCommand("HOLDOPEN", holdOpenCommand);
}

} // namespace corvane
