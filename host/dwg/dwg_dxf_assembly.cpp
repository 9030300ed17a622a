#include "dwg/dwg_dxf_assembly.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <variant>

#include "dwg/dwg_error.h"
#include "dwg/dxf_text_writer.h"
#include "dxf/dxf_values.h"

namespace corvane::dwg {

namespace {

constexpr uint32_t kBlockRecordType = 49;
constexpr uint32_t kAppIdType = 67;
constexpr uint32_t kBlockControlType = 48;
constexpr uint32_t kDictionaryType = 42;

// Types that have no place in a DXF file: the R13/R14 viewport entity
// headers and the format's placeholders.
bool hasNoDxfForm(uint32_t type) { return type == 70 || type == 71 || type == 75 || type == 76; }

bool isControl(uint32_t type) {
  switch (type) {
  case 48: case 50: case 52: case 56: case 60: case 62: case 64: case 66: case 68: return true;
  default: return false;
  }
}

// The entities whose own data an export reads: what it converts (3D faces,
// 2D solids, polyface and polygon meshes with their vertices, 3D solids,
// bodies, MESH), what it places them by (block references, blocks), and
// the polylines' own groups, which their classes are told by.
bool exportReads(uint32_t type, const DwgClassInfo* cls) {
  if (cls != nullptr) return cls->dxfName == "MESH";
  switch (type) {
  case 4: case 5: case 6: case 7: case 8: case 12: case 13: case 14: case 15: case 16: case 28: case 29: case 30:
  case 31: case 38: case 39:
    return true;
  default: return false;
  }
}

bool isBlockReference(uint32_t type) { return type == 7 || type == 8; }

// Entities whose VERTEX, ATTRIB and SEQEND records an export leaves out:
// the vertices of 2D and 3D polylines, the attributes of block references.
bool exportSkipsOwned(uint32_t type) { return type == 7 || type == 8 || type == 15 || type == 16; }

// The places in NOTES from FROM on moved back by BY bytes (groups cut out
// before them).
void shiftNotes(DxfGroupNotes& notes, uint32_t from, uint32_t by) {
  auto shift = [&](uint32_t& at) {
    if (at != DxfGroupNotes::kNone && at >= from) at -= by;
  };
  for (DxfGroupNotes::Span* s : {&notes.handle, &notes.handle105, &notes.name, &notes.layer, &notes.flagsValue}) {
    shift(s->begin);
    shift(s->end);
  }
  shift(notes.xdataBegin);
  shift(notes.xdataEnd);
}

class Assembly {
public:
  Assembly(const DwgFile& dwg, const DwgHeaderValues& header, std::vector<DwgStoredModel> models, DwgReadScope scope,
           DwgAsDxf& out)
      : dwg_(dwg), map_(dwg.objectMap.entries()), version_(dwg.version()), header_(header), models_(std::move(models)),
        scope_(scope), out_(out), w_(out.text), rec_(out.text, w_, out.objects, out.inconsistencies, out.layout) {
    for (const DwgClass& c : dwg.classes) classInfo_[c.number] = {c.dxfName, c.isEntity()};
    names_.modelSpace = header.modelSpace;
    names_.paperSpace = header.paperSpace;
    const size_t n = map_.size();
    types_.assign(n, kUnknownType);
    keptAt_.assign(n, -1);
    state_.assign(n, 0);
    visitedEntities_.at.assign(n, 0);
    visitedOwned_.at.assign(n, 0);
  }

  void run() {
    if (scope_ == DwgReadScope::kExport && discoverTables()) {
      // Records no control owns are read when an object names them.
      names_.learn = [this](uint64_t handle) { learnName(handle); };
    } else {
      decodeTables();
      findRoundTripData();
    }
    completeHeader();
    if (scope_ == DwgReadScope::kExport) findReachedBlocks();
    // Room for the whole text, reserved once: what is never written costs
    // no memory.
    uint64_t bytes = 0;
    for (const DwgStoredModel& m : models_) bytes += m.data.size() * 2 + m.data.size() / 64 * 5;
    out_.text.reserve(static_cast<size_t>(std::min<uint64_t>(dwg_.sections.objects.size() * 4 + bytes + (1 << 16),
                                                             uint64_t{1} << 32)));
    writeHeader();
    // The loader reads nothing of CLASSES: only a drawing that may be saved
    // keeps it.
    if (scope_ == DwgReadScope::kWholeDrawing) writeClasses();
    writeTables();
    writeBlocks();
    section(DxfObjectRecorder::Section::kEntities, "ENTITIES");
    inSpace_ = true;
    writeEntitiesOf(names_.modelSpace);
    writeEntitiesOf(names_.paperSpace);
    inSpace_ = false;
    endSection();
    if (scope_ == DwgReadScope::kWholeDrawing) writeObjects();
    if (version_ >= DwgVersion::kR2013 || !inlineModels_.empty()) writeDataStorage();
    rec_.endOfFile(out_.text.size());
    w_.text(0, "EOF");
    out_.listedKinds.assign(listedKinds_.begin(), listedKinds_.end());
  }

private:
  static constexpr uint8_t kEmitted = 1; // written, or left out for good
  static constexpr uint8_t kListed = 2;  // written as listed (by scope or for want of a decoder)
  static constexpr uint8_t kLinksKnown = 4; // its chain's links in links_
  static constexpr uint8_t kInSpace = 8;    // an entity of model or paper space

  // ---- objects ----------------------------------------------------------------

  std::optional<size_t> indexOf(uint64_t handle) const { return dwg_.objectMap.indexOf(handle); }
  // The I-th object's type, read when first asked for.
  uint32_t typeAt(size_t i) {
    if (types_[i] == kUnknownType) types_[i] = objectTypeAt(dwg_.sections, map_[i].offset);
    return types_[i];
  }
  // An object that can be written: in the map, of a kind DXF has.
  std::optional<size_t> writable(uint64_t handle) {
    std::optional<size_t> i = indexOf(handle);
    if (i && hasNoDxfForm(typeAt(*i))) return std::nullopt;
    return i;
  }
  bool isEntity(size_t i) { return isEntityType(static_cast<uint16_t>(typeAt(i)), dwg_.classes).value_or(false); }
  bool emitted(size_t i) const { return (state_[i] & kEmitted) != 0; }

  const DwgClassInfo* classOf(uint32_t type) const {
    auto it = classInfo_.find(type);
    return it == classInfo_.end() ? nullptr : &it->second;
  }

  // Decodes the I-th object onto TEXT into O (cleared first); an object
  // whose own data this reader can't follow is listed instead: its common
  // data read again, its kind's data left alone. LISTONLY lists it anyway.
  void decode(size_t i, std::string& text, DwgObject& o, bool listOnly) {
    const DwgObjectFrame frame = frameOf(i);
    o = DwgObject{};
    if (decodeFramed(frame, text, o, listOnly)) return;
    o = DwgObject{};
    decodeFramed(frame, text, o, true);
  }

  // The I-th object's frame, which must bear the handle the map gives it.
  DwgObjectFrame frameOf(size_t i) const {
    DwgObjectFrame frame = dwg_.frameAt(map_[i].offset);
    if (frame.handle != map_[i].handle)
      throw DwgError("AcDb:AcDbObjects", map_[i].offset,
                     "the object the map gives handle " + formatHandle(map_[i].handle) + " has handle " +
                         formatHandle(frame.handle));
    return frame;
  }

  // False when the kind's decoder failed (O is then to be thrown away).
  bool decodeFramed(const DwgObjectFrame& frame, std::string& text, DwgObject& o, bool listOnly) const {
    DwgObjectStreams streams = frame.streams();
    ObjectReader in(version_, streams.data, streams.text(), streams.handles, frame.handle);
    const DwgClassInfo* cls = nullptr;
    if (frame.type >= 500) {
      cls = classOf(frame.type);
      if (cls == nullptr) in.fail("object of type " + std::to_string(frame.type) + " has no class");
    }
    try {
      decodeObject(in, frame.type, cls, names_, o, text, listOnly, scope_ == DwgReadScope::kWholeDrawing,
                   scope_ == DwgReadScope::kExport);
    } catch (const DwgError&) {
      // Tables are what every other object leans on: no listing for them.
      if (listOnly || isNamedRecordType(frame.type)) throw;
      return false;
    }
    return true;
  }

  bool listOnlyFor(size_t i) {
    if (scope_ != DwgReadScope::kExport || !isEntity(i)) return false;
    const uint32_t type = typeAt(i);
    return !exportReads(type, type >= 500 ? classOf(type) : nullptr);
  }

  // ---- what is decoded first --------------------------------------------------

  void keep(size_t i) {
    DwgObject o;
    decode(i, keptText_, o, listOnlyFor(i));
    const uint32_t type = o.type;
    if (isNamedRecordType(type) && !isControl(type)) names_.byHandle[o.handle] = o.name;
    if (type == kBlockRecordType) names_.blocks[o.handle] = o.block;
    keptAt_[i] = static_cast<int32_t>(kept_.size());
    kept_.push_back(std::move(o));
  }

  const DwgObject* kept(size_t i) const { return keptAt_[i] < 0 ? nullptr : &kept_[static_cast<size_t>(keptAt_[i])]; }
  const DwgObject* keptByHandle(uint64_t handle) const {
    const std::optional<size_t> i = indexOf(handle);
    return i ? kept(*i) : nullptr;
  }

  // Keeps each of the objects WANTED (of CANDIDATES, in the map's order;
  // all objects when null).
  template <typename Wanted> void keepAll(Wanted wanted, const std::vector<size_t>* candidates) {
    const size_t n = candidates ? candidates->size() : map_.size();
    for (size_t k = 0; k < n; ++k) {
      const size_t i = candidates ? (*candidates)[k] : k;
      if (keptAt_[i] < 0 && wanted(typeAt(i)) && !hasNoDxfForm(typeAt(i))) keep(i);
    }
  }

  // The table records and controls, then the dictionaries, found by type
  // among all objects.
  void decodeTables() {
    decodeRecords(nullptr);
    keepAll([](uint32_t type) { return type == kDictionaryType; }, nullptr);
  }

  // The tables an export reads, by their place in header_.controls: the
  // linetypes (which layers name), the layers, the applications (which
  // extended data names) and the block records. Text styles, dimension
  // styles, views, coordinate systems and viewports serve nothing an export
  // converts or places.
  static bool exportReadsTable(size_t k) { return k == 1 || k == 2 || k == 6 || k == 8; }

  // For an export: the records the tables' controls own, as decodeTables
  // would read them, without reading the type of every object; false
  // (nothing read) when the header doesn't name every control.
  bool discoverTables() {
    std::vector<size_t> candidates;
    std::string scratch;
    DwgObject control;
    for (size_t k = 0; k < 9; ++k) {
      const uint64_t h = header_.controls[k];
      const std::optional<size_t> at = h ? writable(h) : std::nullopt;
      if (!at) return false;
      if (!exportReadsTable(k)) continue;
      candidates.push_back(*at);
      // What it owns, read aside: the control is read for its text with
      // the other records, once the applications are known.
      scratch.clear();
      decode(*at, scratch, control, false);
      std::vector<uint64_t> owned = control.owned;
      if (control.type == 56 || control.type == 48) owned.insert(owned.end(), {control.first, control.last});
      for (uint64_t o : owned)
        if (const std::optional<size_t> i = o ? writable(o) : std::nullopt) candidates.push_back(*i);
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
    decodeRecords(&candidates);
    return true;
  }

  // A record an object names that no control owns, read as it is named.
  void learnName(uint64_t handle) {
    const std::optional<size_t> i = writable(handle);
    if (!i || keptAt_[*i] >= 0) return;
    const uint32_t type = typeAt(*i);
    if (isNamedRecordType(type) && !isControl(type)) keep(*i);
  }

  // The table records and controls (of CANDIDATES; null: all objects).
  void decodeRecords(const std::vector<size_t>* candidates) {
    // Registered applications first (extended data names them), then the
    // other records and the controls.
    keepAll([](uint32_t type) { return type == kAppIdType || type == kBlockControlType; }, candidates);
    for (const DwgObject& o : kept_)
      if (o.type == kBlockControlType)
        for (size_t i = 0; i < o.owned.size(); ++i) names_.blockIndex.emplace(o.owned[i], static_cast<uint32_t>(i));
    // Linetypes and text styles before the records that name them.
    keepAll([](uint32_t type) { return type == 57 || type == 53; }, candidates);
    keepAll([](uint32_t type) { return isNamedRecordType(type); }, candidates);
    if (names_.modelSpace == 0 || names_.paperSpace == 0) {
      // The block table's control names the two spaces too.
      for (const DwgObject& o : kept_)
        if (o.type == kBlockControlType) {
          if (names_.modelSpace == 0) names_.modelSpace = o.first;
          if (names_.paperSpace == 0) names_.paperSpace = o.last;
        }
    }
  }

  // A drawing saved down to R2000 or R2004 by a later program keeps what
  // the older format can't hold in an extension dictionary of one
  // ACAD_XREC_ROUNDTRIP record, for that program to read back. DXF has no
  // use for it: the owner's text leaves the dictionary out, and neither
  // the dictionary nor its record is written.
  void findRoundTripData() {
    std::string scratch;
    DwgObject owner;
    for (const DwgObject& dict : kept_) {
      if (dict.type != kDictionaryType || dict.name != "ACAD_XREC_ROUNDTRIP" || dict.owned.size() != 1) continue;
      const std::optional<size_t> at = writable(dict.owner);
      if (!at) continue;
      uint64_t xdict = 0;
      if (const DwgObject* o = kept(*at)) {
        xdict = o->xdict;
      } else {
        scratch.clear();
        decode(*at, scratch, owner, true);
        xdict = owner.xdict;
      }
      if (xdict != dict.handle) continue;
      cutLinks_[dict.owner] = dict.handle;
      for (uint64_t h : {dict.handle, dict.owned[0]})
        if (std::optional<size_t> i = indexOf(h)) state_[*i] |= kEmitted;
    }
  }

  // Whether O's link to its extension dictionary is left out (a round-trip
  // dictionary's: findRoundTripData for the whole drawing, the dictionary
  // read as it is met for an export).
  bool dropsLink(const DwgObject& o) {
    if (o.xdict == 0) return false;
    if (scope_ == DwgReadScope::kWholeDrawing || !names_.learn) {
      auto cut = cutLinks_.find(o.handle);
      return cut != cutLinks_.end() && cut->second == o.xdict;
    }
    const std::optional<size_t> at = writable(o.xdict);
    if (!at || typeAt(*at) != kDictionaryType) return false;
    if (keptAt_[*at] < 0) keep(*at);
    const DwgObject& dict = *kept(*at);
    return dict.name == "ACAD_XREC_ROUNDTRIP" && dict.owned.size() == 1 && dict.owner == o.handle;
  }

  // What the header variables didn't give is found among the objects: the
  // tables' controls by type, the named objects dictionary as the
  // dictionary no one owns, the handle seed past the highest handle.
  void completeHeader() {
    static const uint32_t kControlTypes[9] = {64, 56, 50, 52, 60, 62, 66, 68, 48};
    const bool found = std::find(std::begin(header_.controls), std::end(header_.controls), 0) == std::end(header_.controls) &&
                       (header_.namedObjects != 0 || scope_ == DwgReadScope::kExport);
    for (size_t i = 0; i < map_.size() && !found; ++i) {
      for (size_t k = 0; k < 9; ++k)
        if (typeAt(i) == kControlTypes[k] && header_.controls[k] == 0 && kept(i) != nullptr)
          header_.controls[k] = map_[i].handle;
      if (const DwgObject* o = kept(i); o && o->type == kDictionaryType && o->owner == 0 && header_.namedObjects == 0)
        header_.namedObjects = o->handle;
    }
    const uint64_t highest = map_.empty() ? 0 : map_.back().handle;
    if (header_.handSeed <= highest) header_.handSeed = highest + 1;
  }

  // For an export: the blocks its explode can reach, those a block
  // reference of either space names, through every level (reached_). The
  // references met are kept, to be written from there, and so is every
  // entity of a space's chain (R13 to R2000): all are written, and each
  // is then framed once.
  void findReachedBlocks() {
    std::vector<uint64_t> todo{names_.modelSpace, names_.paperSpace};
    while (!todo.empty()) {
      const uint64_t record = todo.back();
      todo.pop_back();
      if (record == 0 || !reached_.insert(record).second) continue;
      const bool keepAll = version_ < DwgVersion::kR2004 && (record == names_.modelSpace || record == names_.paperSpace);
      forEachEntityOf(record, [&](size_t i) {
        if (!keepAll && !isBlockReference(typeAt(i))) return;
        if (keptAt_[i] < 0) keep(i);
        const DwgObject& o = *kept(i);
        if (isBlockReference(o.type) && !o.listedOnly && !reached_.contains(o.insertedBlock))
          todo.push_back(o.insertedBlock);
      });
    }
  }

  // Hands each entity of BLOCKRECORD's block to VISIT, in the block's
  // order (R13 to R2000: its chain).
  template <typename Visit> void forEachEntityOf(uint64_t blockRecord, Visit visit) {
    const DwgObject* record = keptByHandle(blockRecord);
    if (record == nullptr) return;
    if (version_ >= DwgVersion::kR2004) {
      for (uint64_t h : record->owned)
        if (const std::optional<size_t> i = writable(h); i && isEntity(*i)) visit(*i);
      return;
    }
    walkChain(record->first, record->last, visitedEntities_, [&](size_t i) -> Links {
      if (!isEntity(i)) return {};
      visit(i);
      return linksOf(i);
    });
  }

  // ---- writing ------------------------------------------------------------------

  void section(DxfObjectRecorder::Section s, std::string_view name) {
    rec_.section(s, out_.text.size());
    w_.text(0, "SECTION");
    w_.text(2, name);
  }

  void endSection() {
    rec_.endSection(out_.text.size());
    w_.text(0, "ENDSEC");
  }

  // Writes the I-th object where the text stands (a kept one copied, any
  // other decoded in place) and records it; MARK makes it emitted. The
  // object returned lives until the next call.
  const DwgObject& emit(size_t i, bool mark = true) {
    if (mark) state_[i] |= kEmitted;
    std::string& text = out_.text;
    const size_t begin = text.size();
    const DwgObject* o = kept(i);
    if (o != nullptr) {
      text.append(keptText_, o->textBegin, o->textEnd - o->textBegin);
    } else {
      decode(i, text, current_, listOnlyFor(i));
      o = &current_;
    }
    DxfGroupNotes notes = o->notes;
    if (dropsLink(*o) && o->xdictLinkEnd > o->xdictLinkBegin) {
      const size_t length = o->xdictLinkEnd - o->xdictLinkBegin;
      text.erase(begin + o->xdictLinkBegin, length);
      shiftNotes(notes, static_cast<uint32_t>(o->xdictLinkEnd), static_cast<uint32_t>(length));
      notes.groups -= 3;
    }
    rec_.piece(notes, begin);
    if (!o->binaryModel.empty())
      inlineModels_.push_back({o->handle, o == &current_ ? std::move(current_.binaryModel) : o->binaryModel});
    if (o->listedOnly) {
      state_[i] |= kListed;
      if (scope_ == DwgReadScope::kWholeDrawing) {
        out_.listedHandles.push_back(o->handle);
        ++listedKinds_[std::string(o->kind)];
      }
    }
    return *o;
  }

  // The I-th object's links, as an entity chain of R13 to R2000 follows
  // them: its next entity, or the handle after its own.
  struct Links {
    uint64_t next = 0;
    bool noLinks = false;
  };
  // Read once: an export's chains are walked twice (findReachedBlocks,
  // then writing).
  Links linksOf(size_t i) {
    if (const DwgObject* o = kept(i)) return {o->next, o->noLinks};
    if ((state_[i] & kLinksKnown) != 0) return links_[i];
    const DwgObjectFrame frame = frameOf(i);
    DwgObjectStreams streams = frame.streams();
    ObjectReader in(version_, streams.data, streams.text(), streams.handles, frame.handle);
    readEntityLinks(in, names_, peek_);
    if (links_.empty()) links_.resize(map_.size());
    links_[i] = {peek_.next, peek_.noLinks};
    state_[i] |= kLinksKnown;
    return links_[i];
  }

  // The objects a chain of R13 to R2000 links from FIRST to LAST, each
  // handed to WRITE (which returns its links) as it is reached; a chain
  // ends at an object that can't be written, or at one met before.
  // Chains of entities (VISITED: visitedEntities_) hold chains of what an
  // entity owns (visitedOwned_).
  struct Visits {
    std::vector<uint32_t> at; // by the map's order: the last walk that met each object
    uint32_t walk = 0;
  };
  template <typename Write> void walkChain(uint64_t first, uint64_t last, Visits& visits, Write write) {
    const uint32_t walk = ++visits.walk;
    for (uint64_t h = first; h != 0;) {
      const std::optional<size_t> i = writable(h);
      if (!i || visits.at[*i] == walk) break;
      visits.at[*i] = walk;
      const Links links = write(*i);
      if (h == last) break;
      h = links.noLinks ? h + 1 : links.next;
    }
  }

  // An entity and what belongs to it: a POLYLINE's vertices, an INSERT's
  // attributes, and their SEQEND. Returns its links.
  Links writeEntity(size_t i) {
    if (!isEntity(i)) return {};
    if (emitted(i)) return linksOf(i);
    if (inSpace_) state_[i] |= kInSpace;
    const DwgObject& o = emit(i);
    const Links links{o.next, o.noLinks};
    const uint64_t seqend = o.seqend;
    if (seqend == 0 || (scope_ == DwgReadScope::kExport && exportSkipsOwned(o.type))) return links;
    if (version_ >= DwgVersion::kR2004) {
      const std::vector<uint64_t> owned = o.owned;
      for (uint64_t h : owned)
        if (const std::optional<size_t> sub = writable(h); sub && !emitted(*sub)) emit(*sub);
    } else {
      walkChain(o.first, o.last, visitedOwned_, [&](size_t sub) -> Links {
        if (emitted(sub)) return linksOf(sub);
        const DwgObject& s = emit(sub);
        return {s.next, s.noLinks};
      });
    }
    if (const std::optional<size_t> end = writable(seqend); end && !emitted(*end)) emit(*end);
    return links;
  }

  // The entities of BLOCKRECORD's block. For an export, a block other than
  // the two spaces holds only what its explode places (what the export
  // converts, MESH objects, block references): the rest are left out.
  void writeEntitiesOf(uint64_t blockRecord) {
    const DwgObject* record = keptByHandle(blockRecord);
    if (record == nullptr) return;
    const bool placedOnly = scope_ == DwgReadScope::kExport && blockRecord != names_.modelSpace &&
                            blockRecord != names_.paperSpace;
    if (version_ >= DwgVersion::kR2004) {
      for (uint64_t h : record->owned) // kept: stays where it is
        if (const std::optional<size_t> i = writable(h); i && !(placedOnly && isEntity(*i) && listOnlyFor(*i)))
          writeEntity(*i);
    } else {
      walkChain(record->first, record->last, visitedEntities_, [&](size_t i) -> Links {
        if (!isEntity(i)) return {};
        if (placedOnly && listOnlyFor(i)) return linksOf(i);
        return writeEntity(i);
      });
    }
  }

  void writeHeader() {
    section(DxfObjectRecorder::Section::kHeader, "HEADER");
    std::string& text = out_.text;
    w_.text(9, "$ACADVER");
    w_.text(1, versionMagic(version_));
    w_.text(9, "$DWGCODEPAGE");
    w_.text(3, codePageName(dwg_.sections.codePage));
    w_.text(9, "$HANDSEED");
    const size_t seedBegin = text.size() + 4;
    w_.handle(5, header_.handSeed);
    rec_.header(versionMagic(version_), seedBegin, text.size() - 1);
    if (header_.variables != nullptr) writeHeaderVariables(*header_.variables);
    endSection();
  }

  // The variables DXF writes in its HEADER ("$..." with a group), but the
  // three written first. A handle whose group holds a name (a layer, a
  // style, a block) is written as that name.
  void writeHeaderVariables(const DwgHeaderVariables& variables) {
    std::string entry;
    for (const DwgHeaderVariable& v : variables.variables) {
      if (v.group == 0 || !v.name.starts_with("$") || v.name == "$ACADVER" || v.name == "$DWGCODEPAGE" ||
          v.name == "$HANDSEED")
        continue;
      const int code = v.group;
      const DxfValueKind kind = dxfValueKind(code);
      entry.clear();
      DxfTextWriter e(entry);
      e.text(9, v.name);
      bool ok = true;
      if (const auto* i = std::get_if<int64_t>(&v.value)) {
        if (kind == DxfValueKind::kInt) e.integer(code, *i);
        else if (kind == DxfValueKind::kReal) e.real(code, static_cast<double>(*i));
        else ok = false;
      } else if (const auto* d = std::get_if<double>(&v.value)) {
        ok = kind == DxfValueKind::kReal && std::isfinite(*d);
        if (ok) e.real(code, *d);
      } else if (const auto* p2 = std::get_if<Vec2>(&v.value)) {
        ok = std::isfinite(p2->x) && std::isfinite(p2->y);
        if (ok) e.point2(code, p2->x, p2->y);
      } else if (const auto* p3 = std::get_if<Vec3>(&v.value)) {
        ok = std::isfinite(p3->x) && std::isfinite(p3->y) && std::isfinite(p3->z);
        if (ok) e.point(code, *p3);
      } else if (const auto* t = std::get_if<std::string>(&v.value)) {
        ok = kind == DxfValueKind::kText;
        if (ok) e.text(code, *t);
      } else if (const auto* h = std::get_if<DwgHandleRef>(&v.value)) {
        if (code < 10) {
          const std::string* name = names_.find(h->handle);
          e.text(code, name ? *name : std::string());
        } else {
          e.handle(code, h->handle);
        }
      } else if (const auto* c = std::get_if<DwgColor>(&v.value)) {
        ok = kind == DxfValueKind::kInt;
        if (ok) e.integer(code, c->index);
      }
      if (!ok) continue;
      out_.text += entry;
      w_.counted(e.groups());
    }
  }

  void writeClasses() {
    section(DxfObjectRecorder::Section::kClasses, "CLASSES");
    for (const DwgClass& c : dwg_.classes) {
      w_.text(0, "CLASS");
      w_.text(1, c.dxfName);
      w_.text(2, c.cppName);
      w_.text(3, c.appName);
      w_.integer(90, c.proxyFlags);
      if (version_ >= DwgVersion::kR2004) w_.integer(91, c.instanceCount);
      w_.integer(280, c.wasZombie ? 1 : 0);
      w_.integer(281, c.isEntity() ? 1 : 0);
    }
    endSection();
  }

  void writeTables() {
    section(DxfObjectRecorder::Section::kTables, "TABLES");
    for (size_t k = 0; k < 9; ++k) {
      const std::optional<size_t> at = writable(header_.controls[k]);
      if (!at || (scope_ == DwgReadScope::kExport && !exportReadsTable(k))) continue;
      const DwgObject& c = emit(*at, false);
      std::vector<uint64_t> records;
      if (c.type == 56 || c.type == 48) {
        // LTYPE: ByBlock and ByLayer first; BLOCK_RECORD: the two spaces.
        records.push_back(c.first);
        records.push_back(c.last);
      }
      records.insert(records.end(), c.owned.begin(), c.owned.end());
      for (uint64_t h : records)
        if (const std::optional<size_t> r = writable(h); r && !isEntity(*r) && !emitted(*r)) emit(*r);
      rec_.endTable(out_.text.size());
      w_.text(0, "ENDTAB");
    }
    endSection();
  }

  void writeBlocks() {
    section(DxfObjectRecorder::Section::kBlocks, "BLOCKS");
    std::vector<uint64_t> records{names_.modelSpace, names_.paperSpace};
    if (const DwgObject* control = keptByHandle(header_.controls[8]))
      records.insert(records.end(), control->owned.begin(), control->owned.end());
    std::vector<bool> done(map_.size());
    for (uint64_t h : records) {
      const std::optional<size_t> at = indexOf(h);
      const DwgObject* r = at ? kept(*at) : nullptr;
      if (r == nullptr || r->type != kBlockRecordType || done[*at]) continue;
      done[*at] = true;
      const std::optional<size_t> begin = writable(r->blockEntity), end = writable(r->endBlock);
      if (!begin || !end) continue;
      if (!emitted(*begin)) emit(*begin);
      // The two spaces keep their entities in ENTITIES; an export's blocks
      // its explode can't reach stay empty.
      const bool reached = scope_ == DwgReadScope::kWholeDrawing || reached_.contains(h);
      if (h != names_.modelSpace && h != names_.paperSpace && reached) writeEntitiesOf(h);
      if (!emitted(*end)) emit(*end);
    }
    endSection();
  }

  void writeObjects() {
    section(DxfObjectRecorder::Section::kObjects, "OBJECTS");
    if (const std::optional<size_t> root = writable(header_.namedObjects); root && !emitted(*root)) emit(*root);
    for (size_t i = 0; i < map_.size(); ++i) {
      if (emitted(i) || hasNoDxfForm(typeAt(i)) || isEntity(i) || isNamedRecordType(typeAt(i))) continue;
      emit(i);
    }
    endSection();
  }

  // ACDSDATA: the two schemas DXF writes for solids' models (their
  // records' layout, as the format fixes it), then one record per model
  // of an object written (for an export, of one written whole). Before
  // R2013 only an export writes it: for the binary models its solids
  // handed up as read.
  void writeDataStorage() {
    section(DxfObjectRecorder::Section::kAcdsData, "ACDSDATA");
    DxfTextWriter& w = w_;
    w.integer(70, 2);
    w.integer(71, 6);
    const char* const kSchemas[] = {"AcDb_Thumbnail_Schema", "AcDb3DSolid_ASM_Data"};
    const char* const kData[] = {"Thumbnail_Data", "ASM_Data"};
    for (int i = 0; i < 2; ++i) {
      w.text(0, "ACDSSCHEMA");
      w.integer(90, i);
      w.text(1, kSchemas[i]);
      w.text(2, "AcDbDs::ID");
      w.integer(280, 10);
      w.integer(91, 8);
      w.text(2, kData[i]);
      w.integer(280, 15);
      w.integer(91, 0);
      const char* const kIndexes[] = {"AcDbDs::TreatedAsObjectData", "AcDbDs::Legacy", "AcDs:Indexable",
                                      "AcDbDs::HandleAttribute"};
      for (int k = 0; k < 4; ++k) {
        w.text(101, "ACDSRECORD");
        if (k < 2) w.integer(95, i);
        else w.text(1, "AcDbDs::ID");
        w.integer(90, k + 2);
        w.text(2, kIndexes[k]);
        w.integer(280, k == 3 ? 7 : 1);
        w.integer(k == 3 ? 282 : 291, 1);
      }
    }
    const char* const kPlain[][2] = {{"AcDbDs::TreatedAsObjectDataSchema", "AcDbDs::TreatedAsObjectData"},
                                     {"AcDbDs::LegacySchema", "AcDbDs::Legacy"},
                                     {"AcDbDs::IndexedPropertySchema", "AcDs:Indexable"},
                                     {"AcDbDs::HandleAttributeSchema", "AcDbDs::HandleAttribute"}};
    for (int i = 0; i < 4; ++i) {
      w.text(0, "ACDSSCHEMA");
      w.integer(90, i + 2);
      w.text(1, kPlain[i][0]);
      w.text(2, kPlain[i][1]);
      w.integer(280, i == 3 ? 7 : 1);
      w.integer(91, i == 3 ? 1 : 0);
      if (i == 3) w.integer(284, 1);
    }
    for (DwgStoredModel& m : models_) {
      const std::optional<size_t> at = indexOf(m.entity);
      if (!at || !emitted(*at)) continue; // a model of no object written
      if (scope_ == DwgReadScope::kExport && (state_[*at] & kListed) != 0) continue;
      writeModelRecord(m, *at);
    }
    for (DwgStoredModel& m : inlineModels_) writeModelRecord(m, *indexOf(m.entity));
    std::sort(out_.models.begin(), out_.models.end(),
              [](const DwgStoredModel& a, const DwgStoredModel& b) { return a.entity < b.entity; });
    endSection();
  }

  // One ACDSDATA record: M's binary model, linked to its entity (the I-th
  // object); for an export's solid of a space, without the model, which
  // goes to the output's models as it is.
  void writeModelRecord(DwgStoredModel& m, size_t i) {
    DxfTextWriter& w = w_;
    const size_t begin = out_.text.size();
    w.text(0, "ACDSRECORD");
    w.integer(90, 1);
    w.text(2, "AcDbDs::ID");
    w.integer(280, 10);
    w.handle(320, m.entity);
    w.text(2, "ASM_Data");
    w.integer(280, 15);
    w.integer(94, static_cast<long long>(m.data.size()));
    const uint64_t entity = m.entity;
    if (scope_ == DwgReadScope::kExport && (state_[i] & kInSpace) != 0) out_.models.push_back(std::move(m));
    else w.binary(310, m.data);
    rec_.acdsRecord(begin, out_.text.size(), entity);
  }

  const DwgFile& dwg_;
  std::span<const DwgObjectLocation> map_;
  DwgVersion version_;
  DwgHeaderValues header_; // what the header gave, completed from the objects
  std::vector<DwgStoredModel> models_;
  // An export's binary models its solids handed up as read (R2004 to R2010).
  std::vector<DwgStoredModel> inlineModels_;
  bool inSpace_ = false; // writing the entities of model and paper space
  DwgReadScope scope_;
  DwgAsDxf& out_;
  DxfTextWriter w_;
  DxfObjectRecorder rec_;
  std::unordered_map<uint32_t, DwgClassInfo> classInfo_;
  DwgNames names_;
  // By the map's order: each object's type (kUnknownType until read), its
  // place among the kept ones and its state (kEmitted, kListed).
  static constexpr uint32_t kUnknownType = UINT32_MAX;
  std::vector<uint32_t> types_;
  std::vector<int32_t> keptAt_;
  std::vector<uint8_t> state_;
  Visits visitedEntities_, visitedOwned_;
  // The objects decoded first (records, controls, dictionaries), their
  // texts one after another; a deque, so that one kept while another is
  // in hand leaves it where it is.
  std::deque<DwgObject> kept_;
  std::string keptText_;
  // Owners whose link to a round-trip dictionary is left out, with it.
  std::unordered_map<uint64_t, uint64_t> cutLinks_;
  DwgObject current_; // the object last decoded in place
  DwgObject peek_;    // one read aside for its links
  std::vector<Links> links_; // by the map's order, where kLinksKnown (empty until one is)
  std::map<std::string, uint32_t> listedKinds_;
  std::unordered_set<uint64_t> reached_; // an export's reachable blocks (findReachedBlocks)
};

} // namespace

std::string codePageName(uint16_t codePage) {
  static const char* const kNames[] = {
      "UTF8",      "US_ASCII",  "ISO_8859_1", "ISO_8859_2", "ISO_8859_3", "ISO_8859_4", "ISO_8859_5",
      "ISO_8859_6", "ISO_8859_7", "ISO_8859_8", "ISO_8859_9", "DOS437",    "DOS850",    "DOS852",
      "DOS855",    "DOS857",    "DOS860",    "DOS861",    "DOS863",    "DOS864",    "DOS865",
      "DOS869",    "DOS932",    "MACINTOSH", "BIG5",      "KSC5601",   "JOHAB",     "DOS866",
      "ANSI_1250", "ANSI_1251", "ANSI_1252", "GB2312",    "ANSI_1253", "ANSI_1254", "ANSI_1255",
      "ANSI_1256", "ANSI_1257", "ANSI_874",  "ANSI_932",  "ANSI_936",  "ANSI_949",  "ANSI_950",
      "ANSI_1361", "ANSI_1200", "ANSI_1258"};
  if (codePage < std::size(kNames)) return kNames[codePage];
  return "ANSI_1252";
}

void assembleDxf(const DwgFile& dwg, const DwgHeaderValues& header, std::vector<DwgStoredModel> models,
                 DwgReadScope scope, DwgAsDxf& out) {
  out.version = dwg.version();
  Assembly assembly(dwg, header, std::move(models), scope, out);
  assembly.run();
}

} // namespace corvane::dwg
