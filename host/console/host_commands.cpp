#include "console/host_commands.h"

#include <sys/stat.h>

#include <cctype>
#include <string>

#include "console/console.h"
#include "console/export_answer.h"
#include "console/selection.h"
#include "drawing/drawing.h"
#include "explode/explode.h"
#include "runtime/host_services.h"
#include "runtime/text.h"

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

// The file name's extension with its dot ("" for none), as typed.
std::string extensionOf(const std::string& path) {
  size_t slash = path.rfind('/');
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 == path.size() ||
      dot == (slash == std::string::npos ? 0 : slash + 1))
    return "";
  return path.substr(dot);
}

// Why the host will not write a drawing to PATH (a name with its extension):
// empty when it will. The host writes DXF only, so a DWG or any other
// extension would give a file its name misdescribes.
std::string refusedName(const Drawing& drawing, const std::string& path) {
  std::string ext = asciiLower(extensionOf(path));
  if (ext == ".dxf") return {};
  if (ext == ".dwg") {
    if (drawing.dwgOrigin() != nullptr) return path + ": a DWG drawing is read, never written; SAVEAS NAME.dxf saves it as DXF";
    return path + ": this host writes DXF drawings, never DWG; SAVEAS NAME.dxf saves it as DXF";
  }
  return path + ": not a name for a drawing this host writes (it writes DXF); SAVEAS NAME.dxf saves it";
}

// Asks where to save until a name is given that may be written: a bare
// name gets .dxf, and an existing file other than the drawing's own is
// replaced only when the user says so (else the name is asked again).
// Empty when the user cancels or the name is refused (it says why).
std::string askSaveName(Console& console, const Drawing& drawing) {
  for (;;) {
    Answer answer = console.ask("\nSave drawing as <" + drawing.file().path() + ">: ");
    if (answer.kind != Answer::kText) return {};
    std::string path = answer.text.empty() ? drawing.file().path() : pathFromAnswer(answer.text);
    if (path.empty()) return {};
    std::string why;
    if (struct stat st {}; ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
      why = path + ": a folder; SAVEAS FOLDER/NAME.dxf saves the drawing in it";
    else if (extensionOf(path).empty()) path += ".dxf";
    if (why.empty()) why = refusedName(drawing, path);
    if (!why.empty()) {
      hostPrint("\n" + why + "\n");
      console.noteStepFailed(why);
      return {};
    }
    if (drawing.file().isOwnFile(path)) return path;
    Replace replace = askToReplace(console, path);
    if (replace == Replace::kCancel) return {};
    if (replace == Replace::kYes) return path;
  }
}

void saveAsCommand(Console& console) {
  Drawing* drawing = currentDrawing();
  if (drawing == nullptr) return;
  std::string path = askSaveName(console, *drawing);
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
    if (!isYes(go)) return;
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
  ExplodeReport report = explodeObjects(*drawing, picked, explodeLimit());
  if (!report.overLimit.empty()) {
    hostPrint("\nCannot explode: " + report.overLimit + ". Nothing was exploded.\n");
    return;
  }
  // A reference that stays has a reason of its own; the objects of other
  // kinds are only counted.
  for (const std::string& line : report.refused) hostPrint("\n" + line);
  std::string line = "\n" + std::to_string(report.exploded) + " exploded, " + std::to_string(report.notExploded()) +
                     " could not be exploded";
  if (!report.otherKinds.empty())
    line += " (" + countedKindsText(report.otherKinds) + (report.otherKinds.size() == 1 && report.otherKinds[0].second == 1
                                                              ? ": not a block reference or a mesh)"
                                                              : ": not block references or meshes)");
  hostPrint(line + ".\n");
}

void quitCommand(Console& console) {
  Drawing* drawing = currentDrawing();
  if (drawing != nullptr && drawing->modified()) {
    if (console.interactive()) {
      Answer answer = console.ask("\nThe drawing has unsaved changes. Discard them? <N>: ");
      if (!isYes(answer)) return;
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
    console.noteStepFailed("No object with handle " + handle.text + ".");
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
  console.addHostCommand("SAVEAS", saveAsCommand, CommandWords::kRestOfLine);
  console.addHostCommand("LIST", listCommand);
  console.addHostCommand("EXPLODE", explodeCommand);
  console.addHostCommand("QUIT", quitCommand);
  console.addHostCommand("HOLDOPEN", holdOpenCommand);
}

} // namespace corvane
