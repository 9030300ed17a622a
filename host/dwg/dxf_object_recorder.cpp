#include "dwg/dxf_object_recorder.h"

#include <cstring>

#include "dxf/dxf_values.h"

namespace corvane::dwg {

namespace {

bool isSubEntity(std::string_view type) { return type == "VERTEX" || type == "SEQEND" || type == "ATTRIB"; }

uint32_t offsetFrom(size_t from, size_t at) { return static_cast<uint32_t>(at - from); }

} // namespace

DxfObjectRecorder::DxfObjectRecorder(const std::string& text, const DxfTextWriter& w,
                                     std::vector<DwgDxfObject>& objects,
                                     std::vector<DwgDxfInconsistency>& inconsistencies, DxfLayout& layout)
    : text_(text), w_(w), objects_(objects), inconsistencies_(inconsistencies), layout_(layout) {
  layout_.style.encoding = DxfEncoding::kText;
  layout_.style.lineEnd = "\n";
  layout_.style.padCodes = true;
}

uint32_t DxfObjectRecorder::line() const {
  return static_cast<uint32_t>(1 + 2 * (w_.groups() + pieceGroups_));
}

// The value of the 0 group at BEGIN ("  0\nTYPE\n"), and the offset just
// after it.
std::string_view DxfObjectRecorder::typeAt(size_t begin, uint32_t& afterType) const {
  const size_t value = begin + 4;
  const void* end = std::memchr(text_.data() + value, '\n', text_.size() - value);
  const size_t valueEnd = end ? static_cast<size_t>(static_cast<const char*>(end) - text_.data()) : text_.size();
  afterType = offsetFrom(begin, valueEnd + 1);
  return trimBlanks(std::string_view(text_).substr(value, valueEnd - value));
}

void DxfObjectRecorder::section(Section section, size_t begin) {
  finish(begin);
  section_ = section;
  if (!firstSectionPlaced_ && section != Section::kHeader && section != Section::kClasses) {
    firstSectionPlaced_ = true;
    layout_.newTablesAt = begin;
  }
  if (!entitiesPlaced_ && (section == Section::kObjects || section == Section::kAcdsData)) {
    entitiesPlaced_ = true;
    layout_.newEntitiesAt = begin;
  }
  inTable_ = false;
  table_ = DwgDxfObject::kNone;
}

bool DxfObjectRecorder::inAppIdTable() const {
  if (table_ == DwgDxfObject::kNone || !layout_.appIds) return false;
  const DwgDxfObject& t = objects_[table_];
  if (t.name == DwgDxfObject::kNone) return false;
  return std::string_view(text_).substr(t.begin + t.name, t.nameEnd - t.name) == "APPID";
}

void DxfObjectRecorder::endSection(size_t begin) {
  finish(begin);
  switch (section_) {
  case Section::kTables:
    layout_.tablesEnd = begin;
    if (inTable_ && inAppIdTable()) layout_.appIds->endTab = begin;
    break;
  case Section::kEntities: layout_.entitiesEnd = begin; break;
  case Section::kAcdsData: layout_.acdsEnd = begin; break;
  default: break;
  }
  inTable_ = false;
  table_ = DwgDxfObject::kNone;
}

void DxfObjectRecorder::endTable(size_t begin) {
  finish(begin);
  if (inAppIdTable()) layout_.appIds->endTab = begin;
  inTable_ = false;
  table_ = DwgDxfObject::kNone;
}

void DxfObjectRecorder::endOfFile(size_t begin) {
  finish(begin);
  if (!firstSectionPlaced_) layout_.newTablesAt = begin;
  if (!entitiesPlaced_) layout_.newEntitiesAt = begin;
  layout_.handlesOn = layout_.version.size() == 6 && layout_.version.starts_with("AC") && layout_.version >= "AC1012";
  // Integers are padded as the file's first one is (as its codes are when
  // it has none).
  layout_.style.padIntegers = layout_.style.padCodes;
  for (size_t at = 0; at < begin;) {
    const size_t codeEnd = text_.find('\n', at);
    const size_t valueEnd = codeEnd == std::string::npos ? std::string::npos : text_.find('\n', codeEnd + 1);
    if (valueEnd == std::string::npos) break;
    const std::optional<int> code = parseGroupCode(std::string_view(text_).substr(at, codeEnd - at));
    if (code && dxfValueKind(*code) == DxfValueKind::kInt) {
      layout_.style.padIntegers = valueEnd > codeEnd + 1 && text_[codeEnd + 1] == ' ';
      break;
    }
    at = valueEnd + 1;
  }
}

void DxfObjectRecorder::header(std::string_view version, size_t handSeedBegin, size_t handSeedEnd) {
  layout_.version = std::string(version);
  layout_.handSeed = DxfRange{handSeedBegin, handSeedEnd};
}

void DxfObjectRecorder::acdsRecord(size_t begin, size_t end, uint64_t owner) {
  DxfAcdsRecord record;
  record.owner = owner;
  record.range = DxfRange{begin, end};
  layout_.acdsRecords.push_back(record);
}

void DxfObjectRecorder::piece(const DxfGroupNotes& notes, size_t begin) {
  if (notes.laterZeroGroups == 0) {
    onePiece(notes, begin);
    return;
  }
  // Groups of code 0 inside: the scan sees an object start at each. The
  // piece is noted again, group by group, and each part taken as a piece.
  DxfGroupNotes part;
  size_t partBegin = begin;
  part.base = begin;
  for (size_t at = begin; at < text_.size();) {
    const size_t codeEnd = text_.find('\n', at);
    const size_t valueEnd = text_.find('\n', codeEnd + 1);
    const int code = parseGroupCode(std::string_view(text_).substr(at, codeEnd - at)).value_or(-1);
    if (code == 0 && at > partBegin) {
      onePiece(part, partBegin);
      part = DxfGroupNotes{};
      part.base = partBegin = at;
    }
    part.note(code, at, text_, codeEnd + 1, valueEnd);
    at = valueEnd + 1;
  }
  onePiece(part, partBegin);
}

void DxfObjectRecorder::onePiece(const DxfGroupNotes& notes, size_t begin) {
  uint32_t afterType = 0;
  const std::string_view type = typeAt(begin, afterType);
  switch (section_) {
  case Section::kBlocks:
  case Section::kEntities:
    if (have_ && cur_.role == DxfObjectRole::kEntity && isSubEntity(type)) {
      sub(notes, begin, type);
      break;
    }
    finish(begin);
    if (section_ == Section::kBlocks && (type == "BLOCK" || type == "ENDBLK")) {
      start(DxfObjectRole::kBlockMarker, notes, begin, type, afterType);
    } else {
      start(DxfObjectRole::kEntity, notes, begin, type, afterType);
    }
    cur_.inBlock = section_ == Section::kBlocks;
    break;
  case Section::kTables:
    finish(begin);
    if (type == "TABLE") {
      if (inTable_ && inAppIdTable()) layout_.appIds->endTab = begin;
      table_ = DwgDxfObject::kNone;
      inTable_ = true;
      start(DxfObjectRole::kTable, notes, begin, type, afterType);
    } else {
      start(DxfObjectRole::kTableRecord, notes, begin, type, afterType);
    }
    break;
  case Section::kObjects:
    finish(begin);
    start(DxfObjectRole::kObject, notes, begin, type, afterType);
    break;
  default: break;
  }
  pieceGroups_ += notes.groups;
}

void DxfObjectRecorder::start(DxfObjectRole role, const DxfGroupNotes& notes, size_t begin, std::string_view type,
                              uint32_t afterType) {
  have_ = true;
  inOwn_ = true;
  cur_ = DwgDxfObject{};
  cur_.role = role;
  cur_.begin = begin;
  cur_.afterType = afterType;
  cur_.line = line();
  cur_.table = role == DxfObjectRole::kTableRecord ? table_ : DwgDxfObject::kNone;
  const bool dimStyle = role == DxfObjectRole::kTableRecord && table_ != DwgDxfObject::kNone &&
                        objects_[table_].name != DwgDxfObject::kNone &&
                        std::string_view(text_).substr(objects_[table_].begin + objects_[table_].name,
                                                       objects_[table_].nameEnd - objects_[table_].name) == "DIMSTYLE";
  const DxfGroupNotes::Span& handle = dimStyle ? notes.handle105 : notes.handle;
  if (handle.found()) {
    cur_.handle = handle.begin;
    cur_.handleEnd = handle.end;
  }
  const bool named = role == DxfObjectRole::kTable || role == DxfObjectRole::kTableRecord;
  const DxfGroupNotes::Span& name = named ? notes.name : notes.layer;
  if (name.found() && (named || role == DxfObjectRole::kEntity || role == DxfObjectRole::kBlockMarker)) {
    cur_.name = name.begin;
    cur_.nameEnd = name.end;
  }
  cur_.hasColor = notes.hasColor;
  cur_.color = notes.color;
  cur_.paperSpace = notes.paperSpace;
  cur_.xdataBegin = notes.xdataBegin;
  cur_.xdataEnd = notes.xdataEnd;
  isPolyline_ = role == DxfObjectRole::kEntity && type == "POLYLINE";
  if (isPolyline_ && notes.has70) cur_.polylineFlags = static_cast<int>(notes.flags & 0xFFFF);
  meshM_ = notes.meshM;
  meshN_ = notes.meshN;
  subType_ = {};
  tally_ = {};
  if (role == DxfObjectRole::kTable && cur_.name != DwgDxfObject::kNone &&
      std::string_view(text_).substr(begin + cur_.name, cur_.nameEnd - cur_.name) == "APPID") {
    DxfAppIdTable t;
    if (notes.has70) t.count = DxfRange{begin + notes.flagsValue.begin, begin + notes.flagsValue.end};
    t.countValue = notes.has70 ? notes.flags : 0;
    if (cur_.handle != DwgDxfObject::kNone)
      t.handle = std::string(std::string_view(text_).substr(begin + cur_.handle, cur_.handleEnd - cur_.handle));
    appIdTable_ = std::move(t);
  }
}

void DxfObjectRecorder::sub(const DxfGroupNotes& notes, size_t begin, std::string_view type) {
  finishSub();
  if (inOwn_) {
    inOwn_ = false;
    cur_.ownEnd = offsetFrom(cur_.begin, begin);
  }
  subType_ = type;
  subFlags_ = notes.vertexFlags;
  for (int i = 0; i < 4; ++i) subIndex_[i] = notes.faceIndex[i];
}

void DxfObjectRecorder::finishSub() {
  if (subType_ != "VERTEX" || !isPolyline_) {
    subType_ = {};
    return;
  }
  subType_ = {};
  tally_.vertex(subFlags_, subIndex_);
}

void DxfObjectRecorder::finish(size_t endPos) {
  if (!have_) return;
  finishSub();
  have_ = false;
  const uint32_t end = offsetFrom(cur_.begin, endPos);
  if (inOwn_) cur_.ownEnd = end;
  if (cur_.xdataBegin == DxfGroupNotes::kNone) cur_.xdataBegin = cur_.xdataEnd = cur_.ownEnd;
  if (cur_.xdataEnd == DxfGroupNotes::kNone) cur_.xdataEnd = cur_.ownEnd;
  cur_.end = end;
  if (isPolyline_) {
    cur_.vertices = static_cast<uint32_t>(tally_.all);
    cur_.controlVertices = static_cast<uint32_t>(tally_.control);
    cur_.surfaceVertices = static_cast<uint32_t>(tally_.surface);
  }
  const uint32_t ordinal = static_cast<uint32_t>(objects_.size());
  if (cur_.role == DxfObjectRole::kTable) {
    table_ = ordinal;
    if (appIdTable_) layout_.appIds = std::move(*appIdTable_); // endTab is filled in at ENDTAB
    appIdTable_.reset();
  }
  objects_.push_back(cur_);
  if (isPolyline_) {
    std::string why = tally_.inconsistency(cur_.polylineFlags, meshM_, meshN_);
    if (!why.empty()) inconsistencies_.push_back({ordinal, cur_.line, std::move(why)});
  }
}

void reportDxfObjects(const std::vector<DwgDxfObject>& objects, const std::vector<DwgDxfInconsistency>& inconsistencies,
                      std::string_view text, DxfObjectSink& sink) {
  size_t next = 0;
  for (size_t i = 0; i < objects.size(); ++i) {
    const DwgDxfObject& o = objects[i];
    DxfObjectInfo info;
    info.role = o.role;
    info.inBlock = o.inBlock;
    info.paperSpace = o.paperSpace;
    info.begin = o.begin;
    info.afterType = o.begin + o.afterType;
    info.ownEnd = o.begin + o.ownEnd;
    info.end = o.begin + o.end;
    info.xdataBegin = o.begin + o.xdataBegin;
    info.xdataEnd = o.begin + o.xdataEnd;
    info.type = trimBlanks(text.substr(o.begin + 4, o.afterType - 5));
    if (o.handle != DwgDxfObject::kNone) info.handle = text.substr(o.begin + o.handle, o.handleEnd - o.handle);
    if (o.name != DwgDxfObject::kNone) info.name = text.substr(o.begin + o.name, o.nameEnd - o.name);
    if (o.table != DwgDxfObject::kNone) {
      const DwgDxfObject& t = objects[o.table];
      if (t.name != DwgDxfObject::kNone) info.table = text.substr(t.begin + t.name, t.nameEnd - t.name);
    }
    if (o.hasColor) info.color = o.color;
    info.polylineFlags = o.polylineFlags;
    info.vertices = o.vertices;
    info.controlVertices = o.controlVertices;
    info.surfaceVertices = o.surfaceVertices;
    info.line = o.line;
    sink.object(info);
    for (; next < inconsistencies.size() && inconsistencies[next].ordinal == i; ++next)
      sink.inconsistency(inconsistencies[next].ordinal, inconsistencies[next].line, inconsistencies[next].message);
  }
}

} // namespace corvane::dwg
