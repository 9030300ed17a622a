#include "dwg/dwg_dxf_assembly.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <cmath>
#include <variant>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "dwg/dwg_error.h"
#include "dwg/dxf_text_writer.h"
#include "dxf/dxf_values.h"

namespace corvane::dwg {

namespace {

constexpr uint32_t kBlockRecordType = 49;
constexpr uint32_t kAppIdType = 67;
constexpr uint32_t kBlockControlType = 48;

// Types that have no place in a DXF file: the R13/R14 viewport entity
// headers and the format's placeholders.
bool hasNoDxfForm(uint32_t type) { return type == 70 || type == 71 || type == 75 || type == 76; }

bool isControl(uint32_t type) {
  switch (type) {
  case 48: case 50: case 52: case 56: case 60: case 62: case 64: case 66: case 68: return true;
  default: return false;
  }
}

class Assembly {
public:
  Assembly(DwgVersion version, const DwgHeaderValues& header, const std::vector<DwgClass>& classes,
           const DwgObjectStore& store)
      : version_(version), header_(header), store_(store) {
    for (const DwgClass& c : classes) classInfo_[c.number] = {c.dxfName, c.isEntity()};
    names_.modelSpace = header.modelSpace;
    names_.paperSpace = header.paperSpace;
  }

  void decodeAll() {
    uint64_t bytes = 0;
    for (size_t i = 0; i < store_.size(); ++i) bytes += store_.sizeAt(i);
    // About what the main thread's share of the objects writes.
    texts_[0].reserve(static_cast<size_t>(std::min<uint64_t>(bytes * 3 / 2, uint64_t{1} << 30)));
    // Registered applications first (extended data names them), then the
    // other records and the controls, then everything else.
    decodePass([](uint32_t type) { return type == kAppIdType || type == kBlockControlType; });
    for (const auto& [handle, o] : objects_)
      if (o.type == kBlockControlType)
        for (size_t i = 0; i < o.owned.size(); ++i) names_.blockIndex.emplace(o.owned[i], static_cast<uint32_t>(i));
    // Linetypes and text styles before the records that name them.
    decodePass([](uint32_t type) { return type == 57 || type == 53; });
    decodePass([](uint32_t type) { return isNamedRecordType(type); });
    if (names_.modelSpace == 0 || names_.paperSpace == 0) {
      // The block table's control names the two spaces too.
      for (const auto& [handle, o] : objects_)
        if (o.type == 48) {
          if (names_.modelSpace == 0) names_.modelSpace = o.first;
          if (names_.paperSpace == 0) names_.paperSpace = o.last;
        }
    }
    decodeTheRest();
    dropRoundTripData();
    completeHeader();
  }

private:
  // What the header variables didn't give is found among the objects: the
  // tables' controls by type, the named objects dictionary as the
  // dictionary no one owns, the handle seed past the highest handle.
  void completeHeader() {
    static const uint32_t kControlTypes[9] = {64, 56, 50, 52, 60, 62, 66, 68, 48};
    uint64_t highest = 0;
    for (size_t i = 0; i < store_.size(); ++i) highest = std::max(highest, store_.handleAt(i));
    for (uint64_t h : order_) {
      const DwgObject& o = objects_.at(h);
      for (size_t k = 0; k < 9; ++k)
        if (o.type == kControlTypes[k] && header_.controls[k] == 0) header_.controls[k] = h;
      if (o.type == 42 && o.owner == 0 && header_.namedObjects == 0) header_.namedObjects = h;
    }
    if (header_.handSeed <= highest) header_.handSeed = highest + 1;
  }

public:
  const DwgHeaderValues& header() const { return header_; }

  // The variables DXF writes in its HEADER ("$..." with a group), but the
  // three written first. A handle whose group holds a name (a layer, a
  // style, a block) is written as that name.
  void writeHeaderVariables(DxfTextWriter& w, const DwgHeaderVariables& variables) const {
    for (const DwgHeaderVariable& v : variables.variables) {
      if (v.group == 0 || !v.name.starts_with("$") || v.name == "$ACADVER" || v.name == "$DWGCODEPAGE" ||
          v.name == "$HANDSEED")
        continue;
      const int code = v.group;
      const DxfValueKind kind = dxfValueKind(code);
      std::string entry;
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
      if (ok) w.out() += entry;
    }
  }

private:
  // A drawing saved down to R2000 or R2004 by a later program keeps what
  // the older format can't hold in an extension dictionary of one
  // ACAD_XREC_ROUNDTRIP record, for that program to read back. DXF has no
  // use for it: the object's text leaves the dictionary out, and neither
  // the dictionary nor its record is written.
  void dropRoundTripData() {
    for (auto& [handle, dict] : objects_) {
      if (dict.type != 42 || dict.name != "ACAD_XREC_ROUNDTRIP" || dict.owned.size() != 1) continue;
      auto owner = objects_.find(dict.owner);
      if (owner == objects_.end()) continue;
      std::string link;
      DxfTextWriter w(link);
      w.text(102, "{ACAD_XDICTIONARY");
      w.handle(360, handle);
      w.text(102, "}");
      DwgObject& o = owner->second;
      const size_t at = textOf(o).find(link);
      if (at == std::string::npos) continue;
      o.cutBegin = at;
      o.cutEnd = at + link.size();
      emitted_.insert(handle);
      emitted_.insert(dict.owned[0]);
    }
  }

public:
  void write(const std::string& headerText, const std::vector<DwgClass>& classes,
             const std::vector<DwgStoredModel>& models, DwgAsDxf& out) {
    std::string& text = out.text;
    size_t modelBytes = 0;
    for (const DwgStoredModel& m : models) modelBytes += m.data.size() * 2 + m.data.size() / 64;
    text.reserve(headerText.size() + texts_[0].size() + texts_[1].size() + modelBytes + (1 << 16));
    DxfTextWriter w(text);
    section(w, "HEADER");
    text += headerText;
    w.text(0, "ENDSEC");
    section(w, "CLASSES");
    for (const DwgClass& c : classes) {
      w.text(0, "CLASS");
      w.text(1, c.dxfName);
      w.text(2, c.cppName);
      w.text(3, c.appName);
      w.integer(90, c.proxyFlags);
      if (version_ >= DwgVersion::kR2004) w.integer(91, c.instanceCount);
      w.integer(280, c.wasZombie ? 1 : 0);
      w.integer(281, c.isEntity() ? 1 : 0);
    }
    w.text(0, "ENDSEC");
    writeTables(w);
    writeBlocks(w);
    section(w, "ENTITIES");
    writeEntitiesOf(w, names_.modelSpace);
    writeEntitiesOf(w, names_.paperSpace);
    w.text(0, "ENDSEC");
    writeObjects(w);
    if (version_ >= DwgVersion::kR2013) writeDataStorage(w, models);
    w.text(0, "EOF");
    std::map<std::string, uint32_t> kinds;
    for (const DwgObject* o : written_)
      if (o->listedOnly) {
        out.listedHandles.push_back(o->handle);
        ++kinds[std::string(o->kind)];
      }
    out.listedKinds.assign(kinds.begin(), kinds.end());
  }

private:
  void decodePass(const std::function<bool(uint32_t)>& wanted) {
    for (size_t i = 0; i < store_.size(); ++i) {
      const uint64_t handle = store_.handleAt(i);
      if (objects_.count(handle) != 0) continue;
      const uint32_t type = store_.typeAt(i);
      if (!wanted(type) || hasNoDxfForm(type)) continue;
      bool tryAgain = false;
      store_.read(i, [&](uint32_t framed, ObjectReader& in) { tryAgain = !decodeOne(framed, in, false); });
      // An object whose own data this reader can't follow is listed: its
      // common data read again, its kind's data left alone.
      if (tryAgain) store_.read(i, [&](uint32_t framed, ObjectReader& in) { decodeOne(framed, in, true); });
    }
  }

  // Every object the table records' passes left, decoded on two threads
  // (each object stands alone once the names are known), kept in the map's
  // order. The first object, in that order, that can't be read is the one
  // the refusal names.
  void decodeTheRest() {
    std::vector<size_t> todo;
    for (size_t i = 0; i < store_.size(); ++i) {
      if (objects_.count(store_.handleAt(i)) != 0) continue;
      const uint32_t type = store_.typeAt(i); // frames every object before the threads start
      if (!isNamedRecordType(type) && !hasNoDxfForm(type)) todo.push_back(i);
    }
    std::vector<DwgObject> decoded(todo.size());
    std::vector<std::exception_ptr> failed(2);
    auto work = [&](size_t part, size_t from, size_t to) {
      try {
        for (size_t k = from; k < to; ++k) {
          decodeAt(todo[k], decoded[k], texts_[part]);
          decoded[k].textPart = static_cast<uint8_t>(part);
        }
      } catch (...) {
        failed[part] = std::current_exception();
      }
    };
    constexpr size_t kWorthAThread = 256;
    const size_t half = todo.size() >= kWorthAThread ? todo.size() / 2 : todo.size();
    // Each thread writes into a text of its own, made big enough once: a
    // thread's heap grown piece by piece costs more than the decoding.
    uint64_t bytes = 0;
    for (size_t k = half; k < todo.size(); ++k) bytes += store_.sizeAt(todo[k]);
    texts_[1].reserve(static_cast<size_t>(std::min<uint64_t>(bytes * 3, uint64_t{1} << 30)));
    {
      std::jthread second;
      if (half < todo.size()) second = std::jthread(work, 1, half, todo.size());
      work(0, 0, half);
    }
    for (size_t part = 0; part < 2; ++part)
      if (failed[part]) std::rethrow_exception(failed[part]);
    for (DwgObject& o : decoded) keep(std::move(o));
  }

  // Decodes the I-th object into O, listing it when its kind's decoder
  // can't follow it.
  void decodeAt(size_t i, DwgObject& o, std::string& text) const {
    bool decodedWhole = false;
    store_.read(i, [&](uint32_t type, ObjectReader& in) { decodedWhole = decodeInto(type, in, false, o, text); });
    if (!decodedWhole) {
      o = DwgObject{};
      store_.read(i, [&](uint32_t type, ObjectReader& in) { decodeInto(type, in, true, o, text); });
    }
  }

  // False when the kind's decoder failed (O is then to be thrown away).
  bool decodeInto(uint32_t type, ObjectReader& in, bool listOnly, DwgObject& o, std::string& text) const {
    const DwgClassInfo* cls = nullptr;
    if (type >= 500) {
      auto it = classInfo_.find(type);
      if (it == classInfo_.end()) in.fail("object of type " + std::to_string(type) + " has no class");
      cls = &it->second;
    }
    try {
      decodeObject(in, type, cls, names_, o, text, listOnly);
    } catch (const DwgError&) {
      // Tables are what every other object leans on: no listing for them.
      if (listOnly || isNamedRecordType(type)) throw;
      return false;
    }
    return true;
  }

  // False when the kind's decoder failed and nothing was kept.
  bool decodeOne(uint32_t type, ObjectReader& in, bool listOnly) {
    DwgObject o;
    if (!decodeInto(type, in, listOnly, o, texts_[0])) return false;
    keep(std::move(o));
    return true;
  }

  void keep(DwgObject&& o) {
    const uint32_t type = o.type;
    const uint64_t handle = o.handle;
    if (isNamedRecordType(type) && !isControl(type)) names_.byHandle[handle] = o.name;
    if (type == kBlockRecordType) names_.blocks[handle] = o.block;
    if (objects_.emplace(handle, std::move(o)).second) order_.push_back(handle);
  }

  const DwgObject* find(uint64_t handle) const {
    auto it = objects_.find(handle);
    return it == objects_.end() ? nullptr : &it->second;
  }

  std::string_view textOf(const DwgObject& o) const {
    return std::string_view(texts_[o.textPart]).substr(o.textBegin, o.textEnd - o.textBegin);
  }

  void appendText(DxfTextWriter& w, const DwgObject& o) const {
    const std::string_view text = textOf(o);
    if (o.cutEnd > o.cutBegin) {
      w.out().append(text.substr(0, o.cutBegin)).append(text.substr(o.cutEnd));
    } else {
      w.out().append(text);
    }
  }

  static void section(DxfTextWriter& w, std::string_view name) {
    w.text(0, "SECTION");
    w.text(2, name);
  }

  void emit(DxfTextWriter& w, const DwgObject& o) {
    if (!emitted_.insert(o.handle).second) return;
    appendText(w, o);
    written_.push_back(&o);
  }

  // The entities a chain of R13 to R2000 links from FIRST to LAST.
  std::vector<uint64_t> chain(uint64_t first, uint64_t last) const {
    std::vector<uint64_t> out;
    std::unordered_set<uint64_t> seen;
    for (uint64_t h = first; h != 0 && seen.insert(h).second;) {
      const DwgObject* o = find(h);
      if (o == nullptr) break;
      out.push_back(h);
      if (h == last) break;
      h = o->noLinks ? h + 1 : o->next;
    }
    return out;
  }

  std::vector<uint64_t> ownedEntities(const DwgObject& owner) const {
    if (version_ >= DwgVersion::kR2004) return owner.owned;
    return chain(owner.first, owner.last);
  }

  // An entity and what belongs to it: a POLYLINE's vertices, an INSERT's
  // attributes, and their SEQEND.
  void writeEntity(DxfTextWriter& w, const DwgObject& o) {
    if (!o.entity || emitted_.count(o.handle) != 0) return;
    emit(w, o);
    if (o.seqend == 0) return;
    for (uint64_t h : ownedEntities(o))
      if (const DwgObject* sub = find(h)) emit(w, *sub);
    if (const DwgObject* end = find(o.seqend)) emit(w, *end);
  }

  void writeEntitiesOf(DxfTextWriter& w, uint64_t blockRecord) {
    const DwgObject* record = find(blockRecord);
    if (record == nullptr) return;
    for (uint64_t h : ownedEntities(*record))
      if (const DwgObject* o = find(h)) writeEntity(w, *o);
  }

  void writeTables(DxfTextWriter& w) {
    section(w, "TABLES");
    for (uint64_t control : header_.controls) {
      const DwgObject* c = find(control);
      if (c == nullptr) continue;
      appendText(w, *c);
      std::vector<uint64_t> records;
      if (c->type == 56 || c->type == 48) {
        // LTYPE: ByBlock and ByLayer first; BLOCK_RECORD: the two spaces.
        records.push_back(c->first);
        records.push_back(c->last);
      }
      records.insert(records.end(), c->owned.begin(), c->owned.end());
      for (uint64_t h : records)
        if (const DwgObject* r = find(h); r != nullptr && !r->entity) emit(w, *r);
      w.text(0, "ENDTAB");
    }
    w.text(0, "ENDSEC");
  }

  void writeBlocks(DxfTextWriter& w) {
    section(w, "BLOCKS");
    const DwgObject* control = find(header_.controls[8]);
    std::vector<uint64_t> records{names_.modelSpace, names_.paperSpace};
    if (control != nullptr) records.insert(records.end(), control->owned.begin(), control->owned.end());
    std::unordered_set<uint64_t> done;
    for (uint64_t h : records) {
      const DwgObject* r = find(h);
      if (r == nullptr || r->type != kBlockRecordType || !done.insert(h).second) continue;
      const DwgObject* begin = find(r->blockEntity);
      const DwgObject* end = find(r->endBlock);
      if (begin == nullptr || end == nullptr) continue;
      emit(w, *begin);
      // The two spaces keep their entities in ENTITIES.
      if (h != names_.modelSpace && h != names_.paperSpace)
        for (uint64_t e : ownedEntities(*r))
          if (const DwgObject* o = find(e)) writeEntity(w, *o);
      emit(w, *end);
    }
    w.text(0, "ENDSEC");
  }

  void writeObjects(DxfTextWriter& w) {
    section(w, "OBJECTS");
    if (const DwgObject* root = find(header_.namedObjects)) emit(w, *root);
    for (uint64_t h : order_) {
      const DwgObject* o = find(h);
      if (o == nullptr || o->entity || isNamedRecordType(o->type)) continue;
      emit(w, *o);
    }
    w.text(0, "ENDSEC");
  }

  // ACDSDATA: the two schemas DXF writes for solids' models (their
  // records' layout, as the format fixes it), then one record per model.
  void writeDataStorage(DxfTextWriter& w, const std::vector<DwgStoredModel>& models) {
    section(w, "ACDSDATA");
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
    for (const DwgStoredModel& m : models) {
      if (emitted_.count(m.entity) == 0) continue; // a model of no object written
      w.text(0, "ACDSRECORD");
      w.integer(90, 1);
      w.text(2, "AcDbDs::ID");
      w.integer(280, 10);
      w.handle(320, m.entity);
      w.text(2, "ASM_Data");
      w.integer(280, 15);
      w.integer(94, static_cast<long long>(m.data.size()));
      w.binary(310, m.data);
    }
    w.text(0, "ENDSEC");
  }

  DwgVersion version_;
  DwgHeaderValues header_; // what the header gave, completed from the objects
  const DwgObjectStore& store_;
  std::unordered_map<uint32_t, DwgClassInfo> classInfo_;
  DwgNames names_;
  std::unordered_map<uint64_t, DwgObject> objects_;
  std::string texts_[2]; // the objects' DXF text: the main thread's, the second decoder's
  std::vector<uint64_t> order_; // handles in the map's order, as decoded
  std::unordered_set<uint64_t> emitted_;
  std::vector<const DwgObject*> written_;
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

void assembleDxf(DwgVersion version, uint16_t codePage, const DwgHeaderValues& header,
                 const std::vector<DwgClass>& classes, const DwgObjectStore& store,
                 const std::vector<DwgStoredModel>& models, DwgAsDxf& out) {
  out.version = version;
  Assembly assembly(version, header, classes, store);
  assembly.decodeAll();
  std::string headerText;
  DxfTextWriter w(headerText);
  w.text(9, "$ACADVER");
  w.text(1, versionMagic(version));
  w.text(9, "$DWGCODEPAGE");
  w.text(3, codePageName(codePage));
  w.text(9, "$HANDSEED");
  w.handle(5, assembly.header().handSeed);
  if (header.variables != nullptr) assembly.writeHeaderVariables(w, *header.variables);
  assembly.write(headerText, classes, models, out);
}

} // namespace corvane::dwg
