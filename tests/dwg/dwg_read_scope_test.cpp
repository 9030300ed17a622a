// What an export reads of a DWG is what the whole drawing reads of it: the
// same entities, each in its place; those an export converts or places in
// the same text; the others as the reader lists a kind it has no decoder
// for (their common groups and extended data, nothing of their own); the
// tables of linetypes, layers, applications and block records as they are
// but for block previews, the other tables not at all. Blocks hold only
// what the export's explode places, and only the blocks it reaches. A solid's
// binary model reaches an export as read, beside the text, and the whole
// drawing as its DXF twin holds it. The HEADER of an export holds only
// what the loader takes from it, and there are no CLASSES. Checked on
// every corpus DWG.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "dwg/dwg_reader.h"
#include "dxf/dxf_values.h"
#include "dxf/entity_views.h"
#include "solids/dxf_model_text.h"
#include "solids/sab_reader.h"
#include "solids/sat_text_writer.h"
#include "support/corpus.h"

namespace corvane::dwg {
namespace {

struct Placed {
  const DwgDxfObject* object = nullptr;
  std::string_view type, own, head, xdata;
};

// Each object with a handle, by handle: its type, its own groups (the
// records that follow it left out), and those split where its extended
// data begins.
std::map<std::string, Placed> byHandle(const DwgAsDxf& dxf) {
  std::map<std::string, Placed> out;
  const std::string_view text = dxf.text;
  for (const DwgDxfObject& o : dxf.objects) {
    if (o.handle == DwgDxfObject::kNone) continue;
    Placed p;
    p.object = &o;
    p.type = text.substr(o.begin + 4, o.afterType - 5);
    p.own = text.substr(o.begin, o.ownEnd);
    p.head = text.substr(o.begin, o.xdataBegin);
    p.xdata = text.substr(o.begin + o.xdataBegin, o.xdataEnd - o.xdataBegin);
    out.emplace(std::string(text.substr(o.begin + o.handle, o.handleEnd - o.handle)), p);
  }
  return out;
}

// TEXT without the pictures an export leaves out: an entity's graphic (a
// 92 or 160 group with the 310 groups after it) and a block record's
// preview (its 310 groups).
std::string withoutPictures(std::string_view text, bool blockRecord) {
  std::vector<std::pair<int, std::string_view>> groups;
  for (size_t at = 0; at < text.size();) {
    const size_t codeEnd = text.find('\n', at), valueEnd = text.find('\n', codeEnd + 1);
    groups.emplace_back(parseGroupCode(text.substr(at, codeEnd - at)).value_or(-1), text.substr(at, valueEnd + 1 - at));
    at = valueEnd + 1;
  }
  std::string out;
  for (size_t i = 0; i < groups.size(); ++i) {
    const int code = groups[i].first;
    const bool graphic = (code == 92 || code == 160) && i + 1 < groups.size() && groups[i + 1].first == 310;
    if (graphic) {
      while (i + 1 < groups.size() && groups[i + 1].first == 310) ++i;
      continue;
    }
    if (blockRecord && code == 310) continue;
    out += groups[i].second;
  }
  return out;
}

// The value of TEXT's first group CODE ("" for none).
std::string_view groupValue(std::string_view text, int code) {
  for (size_t at = 0; at < text.size();) {
    const size_t codeEnd = text.find('\n', at), valueEnd = text.find('\n', codeEnd + 1);
    if (codeEnd == std::string_view::npos || valueEnd == std::string_view::npos) break;
    if (parseGroupCode(text.substr(at, codeEnd - at)) == code) return text.substr(codeEnd + 1, valueEnd - codeEnd - 1);
    at = valueEnd + 1;
  }
  return {};
}

// Each handle's block, by name ("" outside blocks), and the blocks an
// export's explode reaches: named by a block reference outside blocks, or
// by one in a block reached.
struct Blocks {
  std::map<std::string, std::string> of;
  std::set<std::string> reached;
};

Blocks blocksOf(const DwgAsDxf& dxf, const std::map<std::string, Placed>& objects) {
  Blocks out;
  std::map<std::string, std::vector<std::string>> references; // by the block they lie in
  std::vector<std::pair<uint64_t, const Placed*>> inOrder;
  for (const auto& [handle, p] : objects) inOrder.emplace_back(p.object->begin, &p);
  std::sort(inOrder.begin(), inOrder.end());
  std::string current;
  for (const auto& [begin, p] : inOrder) {
    const std::string handle(std::string_view(dxf.text).substr(begin + p->object->handle,
                                                                p->object->handleEnd - p->object->handle));
    if (p->type == "BLOCK") current = groupValue(p->own, 2);
    out.of[handle] = p->object->inBlock ? current : "";
    if (p->type == "INSERT") references[p->object->inBlock ? current : ""].emplace_back(groupValue(p->own, 2));
    if (p->type == "ENDBLK") current.clear();
  }
  std::vector<std::string> todo = references[""];
  while (!todo.empty()) {
    const std::string name = todo.back();
    todo.pop_back();
    if (!out.reached.insert(name).second) continue;
    for (const std::string& inner : references[name]) todo.push_back(inner);
  }
  return out;
}

// The kinds an export's explode places from a block: what it converts,
// meshes, block references (and what belongs to them).
bool placedKind(std::string_view type) {
  for (const char* k : {"3DFACE", "SOLID", "POLYLINE", "VERTEX", "SEQEND", "3DSOLID", "BODY", "MESH", "INSERT"})
    if (type == k) return true;
  return false;
}

TEST(DwgReadScope, AnExportReadsWhatTheWholeDrawingReads) {
  const auto files = corvane::testing::dwgCorpusFiles();
  if (files.empty()) GTEST_SKIP() << "the shared DWG corpus is not beside the project";
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    const std::string bytes = corvane::testing::readBytes(file);
    const std::span<const uint8_t> span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const DwgAsDxf whole = readDwgAsDxf(span, DwgReadScope::kWholeDrawing);
    const DwgAsDxf exported = readDwgAsDxf(span, DwgReadScope::kExport);
    const auto ours = byHandle(exported), all = byHandle(whole);
    const Blocks blocks = blocksOf(whole, all);
    int same = 0, listed = 0, leftOut = 0, unreadTables = 0;
    for (const auto& [handle, w] : all) {
      if (w.object->role == DxfObjectRole::kObject) continue;
      auto e = ours.find(handle);
      const bool table = w.object->role == DxfObjectRole::kTable;
      if (table || w.object->role == DxfObjectRole::kTableRecord) {
        // Only the tables of linetypes, layers, applications and block
        // records are read; the others not at all.
        const std::string_view name = table ? groupValue(w.own, 2) : w.type;
        const bool read = name == "LTYPE" || name == "LAYER" || name == "APPID" || name == "BLOCK_RECORD";
        EXPECT_EQ(e != ours.end(), read) << w.type << " " << handle << " " << name;
        if (!read) {
          ++unreadTables;
          continue;
        }
      }
      const bool inBlock = w.object->inBlock && w.type != "BLOCK" && w.type != "ENDBLK";
      if (e == ours.end() && inBlock) {
        // Left out of a block: of a kind the explode doesn't place, or of
        // a block it doesn't reach.
        EXPECT_TRUE(!placedKind(w.type) || !blocks.reached.contains(blocks.of.at(handle)))
            << w.type << " " << handle << " of " << blocks.of.at(handle);
        ++leftOut;
        continue;
      }
      // Every other entity, block and table record is there, in its place.
      ASSERT_NE(e, ours.end()) << w.type << " " << handle;
      EXPECT_EQ(e->second.type, w.type) << handle;
      EXPECT_EQ(e->second.object->role, w.object->role) << handle;
      EXPECT_EQ(e->second.object->inBlock, w.object->inBlock) << handle;
      const bool blockRecord = w.type == "BLOCK_RECORD";
      if (w.type == "3DSOLID" && e->second.own != w.own) continue; // a binary model: its own test
      if (e->second.own == withoutPictures(w.own, blockRecord)) {
        ++same;
      } else {
        // Listed: the common groups, then the extended data.
        ++listed;
        EXPECT_TRUE(withoutPictures(w.head, blockRecord).starts_with(e->second.head)) << w.type << " " << handle;
        EXPECT_EQ(e->second.xdata, w.xdata) << w.type << " " << handle;
        EXPECT_NE(w.type, "3DFACE");
        EXPECT_NE(w.type, "INSERT");
        EXPECT_NE(w.type, "3DSOLID");
      }
    }
    EXPECT_GT(same, 0);
    EXPECT_GT(unreadTables, 0);
    // Every corpus drawing but one without blocks has dimensions' blocks.
    if (file.stem() != "r2004_libredwg_surfaces") {
      EXPECT_GT(leftOut, 0);
    }
    EXPECT_TRUE(exported.text.find("\nOBJECTS\n") == std::string::npos);
    EXPECT_TRUE(exported.text.find("\nCLASSES\n") == std::string::npos);
    EXPECT_TRUE(whole.text.find("\nCLASSES\n") != std::string::npos);
    const std::string_view header = std::string_view(exported.text).substr(0, exported.text.find("\nENDSEC\n"));
    EXPECT_NE(header.find("\n$ACADVER\n"), std::string_view::npos);
    EXPECT_NE(header.find("\n$DWGCODEPAGE\n"), std::string_view::npos);
    EXPECT_NE(header.find("\n$HANDSEED\n"), std::string_view::npos);
    EXPECT_EQ(std::count(header.begin(), header.end(), '$'), 3) << header;
    EXPECT_TRUE(exported.listedHandles.empty());
    (void)listed;
  }
}

// The ACDSDATA record naming HANDLE in DXF ("" for none).
std::string_view modelRecordOf(const DwgAsDxf& dxf, uint64_t handle) {
  for (const DxfAcdsRecord& r : dxf.layout.acdsRecords)
    if (r.owner == handle) return std::string_view(dxf.text).substr(r.range.begin, r.range.end - r.range.begin);
  return {};
}

// The model an export keeps beside its text for HANDLE (null for none).
const std::string* modelBeside(const DwgAsDxf& dxf, uint64_t handle) {
  auto it = std::lower_bound(dxf.models.begin(), dxf.models.end(), handle,
                             [](const DwgStoredModel& m, uint64_t h) { return m.entity < h; });
  return it != dxf.models.end() && it->entity == handle ? &it->data : nullptr;
}

// A solid's binary model reaches an export as read, beside the text: its
// ACDSDATA record (as R2013 keeps one) names the entity and the model's
// size but holds none of its bytes, so that the loader reads no model back
// from text. R2004 to R2010 keep the model in the object, where the whole
// drawing (shell, entget, SAVEAS) has the model text its DXF twin holds;
// R2013 and later keep it in the data-storage section, where the whole
// drawing has it in ACDSDATA. Either way, the same model.
TEST(DwgReadScope, AnExportKeepsBinaryModelsBesideItsText) {
  int solids = 0;
  for (const auto& file : corvane::testing::dwgCorpusFiles()) {
    const std::string stem = file.stem().string();
    if (stem.starts_with("r13") || stem.starts_with("r14") || stem.starts_with("r2000")) continue;
    SCOPED_TRACE(stem);
    const bool stored = !stem.starts_with("r2004") && !stem.starts_with("r2007") && !stem.starts_with("r2010");
    const std::string bytes = corvane::testing::readBytes(file);
    const std::span<const uint8_t> span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    const DwgAsDxf whole = readDwgAsDxf(span, DwgReadScope::kWholeDrawing);
    const DwgAsDxf exported = readDwgAsDxf(span, DwgReadScope::kExport);
    EXPECT_TRUE(whole.models.empty());
    EXPECT_TRUE(std::is_sorted(exported.models.begin(), exported.models.end(),
                               [](const DwgStoredModel& a, const DwgStoredModel& b) { return a.entity < b.entity; }));
    if (!stored) {
      EXPECT_TRUE(whole.layout.acdsRecords.empty());
      EXPECT_EQ(whole.text.find("\nACDSDATA\n"), std::string::npos);
    }
    const auto all = byHandle(whole), ours = byHandle(exported);
    size_t beside = 0;
    for (const auto& [handle, w] : all) {
      if (w.type != "3DSOLID" || w.object->inBlock) continue;
      const uint64_t h = *parseHandle(handle);
      SolidModelData text;
      readSolidModelText(w.own, DxfEncoding::kText, text);
      if (!stored && text.textGroups.empty()) continue;
      ++solids;
      SCOPED_TRACE(handle);
      const auto e = ours.find(handle);
      ASSERT_NE(e, ours.end());
      const std::string_view record = modelRecordOf(exported, h);
      ASSERT_FALSE(record.empty());
      SolidModelData binary;
      readSolidModelText(e->second.own, DxfEncoding::kText, binary);
      EXPECT_TRUE(binary.textGroups.empty());
      ASSERT_TRUE(readAcdsBinary(record, DxfEncoding::kText, binary.binary));
      EXPECT_TRUE(binary.binary.empty()) << "the record holds the model's bytes";
      const std::string* model = modelBeside(exported, h);
      ASSERT_NE(model, nullptr);
      ++beside;
      std::string_view size = groupValue(record, 94);
      size.remove_prefix(std::min(size.find_first_not_of(' '), size.size()));
      EXPECT_EQ(size, std::to_string(model->size()));
      if (stored) {
        // The whole drawing's record holds the same bytes.
        std::vector<uint8_t> wholeModel;
        ASSERT_TRUE(readAcdsBinary(modelRecordOf(whole, h), DxfEncoding::kText, wholeModel));
        EXPECT_EQ(std::string(wholeModel.begin(), wholeModel.end()), *model);
        EXPECT_EQ(e->second.own, w.own);
        continue;
      }
      EXPECT_EQ(binary.modelerVersion, 1);
      EXPECT_TRUE(modelRecordOf(whole, h).empty());
      // The bytes, written as model text, are the whole drawing's model.
      solids::SatDocument doc;
      std::string reason, fromBinary, fromText;
      ASSERT_TRUE(solids::readSab(reinterpret_cast<const uint8_t*>(model->data()), model->size(), doc, reason))
          << reason;
      ASSERT_TRUE(solids::writeSatText(doc, solids::SatTextStyle::kDxf, fromBinary, reason)) << reason;
      ASSERT_TRUE(solids::decodeModelText(text, fromText, reason)) << reason;
      EXPECT_EQ(fromBinary, fromText);
      // Everything else of the entity is as the whole drawing has it.
      std::string withoutModel;
      for (std::string_view rest = w.own; !rest.empty();) {
        const size_t codeEnd = rest.find('\n'), valueEnd = rest.find('\n', codeEnd + 1);
        const std::string_view group = rest.substr(0, valueEnd + 1);
        const int code = parseGroupCode(rest.substr(0, codeEnd)).value_or(-1);
        if (code != 1 && code != 3) withoutModel += group;
        rest.remove_prefix(group.size());
      }
      EXPECT_EQ(e->second.own, withoutModel);
    }
    EXPECT_EQ(beside, exported.models.size());
  }
  if (solids == 0) GTEST_SKIP() << "no R2004 to R2018 drawing with a solid beside the project";
}

} // namespace
} // namespace corvane::dwg
