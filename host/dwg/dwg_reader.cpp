#include "dwg/dwg_reader.h"

#include "dwg/dwg_classes.h"
#include "dwg/dwg_data_storage.h"
#include "dwg/dwg_dxf_assembly.h"
#include "dwg/dwg_error.h"
#include "dwg/dwg_file.h"
#include "dxf/dxf_values.h"

namespace corvane::dwg {

bool isDwgFile(std::string_view file) {
  // The magics of DWG releases: AC1.2 to AC1032, AC2.10, and MC0.0 of the
  // first release.
  return file.starts_with("AC1") || file.starts_with("AC2") || file.starts_with("MC0.0");
}

bool isDwgName(std::string_view path) {
  if (path.size() < 4) return false;
  std::string_view ext = path.substr(path.size() - 4);
  return ext[0] == '.' && (ext[1] | 0x20) == 'd' && (ext[2] | 0x20) == 'w' && (ext[3] | 0x20) == 'g';
}

DwgAsDxf readDwgAsDxf(std::span<const uint8_t> file, DwgReadScope scope) {
  // Objects' pages are read as the objects are: an export reads few. Of
  // the header variables an export keeps the handles alone: its HEADER
  // holds only the three the loader takes from any (written whatever the
  // scope).
  const DwgFile dwg = readDwgFile(
      file, DwgObjectReading::kAsAsked,
      scope == DwgReadScope::kExport ? DwgHeaderKeeping::kHandles : DwgHeaderKeeping::kAll);
  const DwgHeaderVariables& vars = dwg.header;
  DwgHeaderValues header;
  header.handSeed = vars.handSeed;
  header.namedObjects = vars.handle("DICTIONARY_NAMED_OBJECT");
  header.modelSpace = vars.handle("BLOCK_RECORD_MSPACE");
  header.paperSpace = vars.handle("BLOCK_RECORD_PSPACE");
  const char* const kControls[9] = {"VPORT_CONTROL_OBJECT", "LTYPE_CONTROL_OBJECT",  "LAYER_CONTROL_OBJECT",
                                    "STYLE_CONTROL_OBJECT", "VIEW_CONTROL_OBJECT",   "UCS_CONTROL_OBJECT",
                                    "APPID_CONTROL_OBJECT", "DIMSTYLE_CONTROL_OBJECT", "BLOCK_CONTROL_OBJECT"};
  for (size_t i = 0; i < 9; ++i) header.controls[i] = vars.handle(kControls[i]);
  if (scope == DwgReadScope::kWholeDrawing) header.variables = &vars;
  DwgAsDxf out;
  assembleDxf(dwg, header, readStoredModels(dwg.sections.dataStorage), scope, out);
  return out;
}

} // namespace corvane::dwg
