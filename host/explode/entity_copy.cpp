#include "explode/entity_copy.h"

#include "drawing/drawing.h"

namespace corvane {

std::unique_ptr<SourceEntity> readSourceEntity(const Drawing& drawing, const AcDbObjectRecord& record) {
  auto s = std::make_unique<SourceEntity>();
  s->record = &record;
  std::string_view full = drawing.records().fullText(record);
  if (const std::string* xdata = drawing.records().newXData(record)) {
    // Extended data changed since the text was stored: copies carry it as it stands.
    const RecordLayout layout = drawing.records().layoutOf(record);
    s->owned_.append(full.substr(0, layout.xdataBegin)).append(*xdata).append(full.substr(layout.xdataEnd));
    s->text = s->owned_;
  } else {
    s->text = full;
  }
  DxfGroupCursor cursor(s->text, drawing.file().encoding());
  DxfGroupView g;
  while (cursor.next(g)) {
    if (g.code == 0 && !s->groups.empty()) {
      if (s->subRecords.empty()) s->ownCount = s->groups.size();
      else s->subRecords.back().second = s->groups.size();
      s->subRecords.push_back({s->groups.size(), s->groups.size()});
    }
    s->groups.push_back(g);
  }
  if (s->subRecords.empty()) s->ownCount = s->groups.size();
  else s->subRecords.back().second = s->groups.size();
  if (!s->groups.empty()) s->type = trimBlanks(s->groups.front().text());
  return s;
}

const DxfGroupView* SourceEntity::find(int code) const {
  for (size_t i = 1; i < ownCount; ++i) {
    if (groups[i].code >= 1000) break;
    if (groups[i].code == code) return &groups[i];
  }
  return nullptr;
}

bool SourceEntity::has(int code) const { return find(code) != nullptr; }

std::string_view SourceEntity::xdata() const {
  size_t begin = SIZE_MAX, end = 0;
  for (size_t i = 1; i < ownCount; ++i) {
    if (groups[i].code >= 1000) {
      if (begin == SIZE_MAX) begin = groups[i].begin;
      end = groups[i].end;
    } else if (begin != SIZE_MAX) {
      break;
    }
  }
  return begin == SIZE_MAX ? std::string_view{} : text.substr(begin, end - begin);
}

CopyWriter::CopyWriter(Drawing& drawing, std::string owner)
    : drawing_(drawing), style_(drawing.file().style()), owner_(std::move(owner)),
      markers_(drawing.hasSubclassMarkers()), handles_(drawing.handlesOn()) {}

void CopyWriter::point(std::string& out, int code, const Vec3& p) const {
  real(out, code, p.x);
  real(out, code + 10, p.y);
  real(out, code + 20, p.z);
}

void CopyWriter::head(std::string& out, std::string_view type, uint64_t handle, std::string_view owner) const {
  group(out, 0, type);
  if (handles_) group(out, 5, formatHandle(handle));
  if (markers_) group(out, 330, owner);
}

void CopyWriter::layerAndColor(std::string& out, std::string_view layer, int color) const {
  if (markers_) group(out, 100, "AcDbEntity");
  group(out, 8, layer);
  if (color != 256) integer(out, 62, color);
}

std::string_view placedLayer(std::string_view layer, const Appearance& appearance) {
  return trimBlanks(layer) == "0" ? std::string_view(appearance.layer) : layer;
}

int placedColor(int color, const Appearance& appearance) { return color == 0 ? appearance.byBlockColor : color; }

void copyRecord(const CopyWriter& writer, const SourceEntity& source, size_t first, size_t last,
                uint64_t handle, std::string_view owner, const Appearance& appearance, GroupEdit& edit,
                std::string& out) {
  if (first >= last) return;
  writer.head(out, trimBlanks(source.groups[first].text()), handle, owner);
  bool markerSeen = false, inReactors = false, xdataStarted = false;
  for (size_t i = first + 1; i < last; ++i) {
    const DxfGroupView& g = source.groups[i];
    if (g.code >= 1000) {
      if (!xdataStarted) {
        xdataStarted = true;
        edit.beforeXData(out);
      }
      out.append(source.text.substr(g.begin, g.end - g.begin));
      continue;
    }
    if (g.code == 102) {
      // Reactors and extension dictionaries belong to the source object.
      inReactors = trimBlanks(g.text()) != "}";
      continue;
    }
    if (inReactors) continue;
    switch (g.code) {
    case 5:
    case 67:
      continue;
    case 330:
      if (!markerSeen) continue;
      break;
    case 100:
      markerSeen = true;
      break;
    case 8:
      if (trimBlanks(g.text()) != "0") break;
      writer.group(out, 8, appearance.layer);
      continue;
    case 62:
      if (g.integer() == 0) {
        writer.integer(out, 62, appearance.byBlockColor);
        continue;
      }
      break;
    default:
      break;
    }
    if (!edit.group(source, i, out)) out.append(source.text.substr(g.begin, g.end - g.begin));
  }
  if (!xdataStarted) edit.beforeXData(out);
}

} // namespace corvane
