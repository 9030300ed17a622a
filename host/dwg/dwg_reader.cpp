#include "dwg/dwg_reader.h"

#include <optional>

#include "dwg/dwg_classes.h"
#include "dwg/dwg_data_storage.h"
#include "dwg/dwg_dxf_assembly.h"
#include "dwg/dwg_error.h"
#include "dwg/dwg_file.h"
#include "dwg/dwg_object_frame.h"
#include "dwg/dwg_object_map.h"
#include "dxf/dxf_values.h"

namespace corvane::dwg {

namespace {

// The objects of the map, framed one at a time as they are decoded.
class FileObjects : public DwgObjectStore {
public:
  FileObjects(const DwgSections& sections, const std::vector<DwgClass>& classes, const DwgObjectMap& map)
      : sections_(sections), classes_(classes), map_(map) {}

  size_t size() const override { return map_.size(); }
  uint64_t handleAt(size_t i) const override { return map_.entries()[i].handle; }

  uint32_t typeAt(size_t i) const override { return frameAt(i).type; }
  uint64_t sizeAt(size_t i) const override { return frameAt(i).size; }

  void read(size_t i, const std::function<void(uint32_t, ObjectReader&)>& decode) const override {
    const DwgObjectFrame& frame = frameAt(i);
    DwgObjectStreams streams = frame.streams();
    ObjectReader in(sections_.version, streams.data, streams.text(), streams.handles, frame.handle);
    decode(frame.type, in);
  }

private:
  // Each object is framed (its size and checksum checked) once, when it is
  // first asked for; the decoders' passes then read it from its frame.
  const DwgObjectFrame& frameAt(size_t i) const {
    if (frames_.empty()) frames_.resize(map_.size());
    if (!frames_[i]) {
      const DwgObjectLocation& at = map_.entries()[i];
      DwgObjectFrame frame = frameObject(sections_, classes_, at.offset);
      if (frame.handle != at.handle)
        throw DwgError("AcDb:AcDbObjects", at.offset,
                       "the object the map gives handle " + formatHandle(at.handle) + " has handle " +
                           formatHandle(frame.handle));
      frames_[i] = std::move(frame);
    }
    return *frames_[i];
  }

  const DwgSections& sections_;
  const std::vector<DwgClass>& classes_;
  const DwgObjectMap& map_;
  mutable std::vector<std::optional<DwgObjectFrame>> frames_;
};

} // namespace

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

DwgAsDxf readDwgAsDxf(std::span<const uint8_t> file) {
  const DwgFile dwg = readDwgFile(file);
  FileObjects store(dwg.sections, dwg.classes, dwg.objectMap);
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
  header.variables = &vars;
  const std::vector<DwgStoredModel> models = readStoredModels(dwg.sections.dataStorage);
  DwgAsDxf out;
  assembleDxf(dwg.version(), dwg.sections.codePage, header, dwg.classes, store, models, out);
  return out;
}

} // namespace corvane::dwg
