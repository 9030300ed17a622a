// What an export reads of a DWG is what the whole drawing reads of it: the
// same entities, each in its place; those an export converts or places in
// the same text; the others as the reader lists a kind it has no decoder
// for (their common groups and extended data, nothing of their own); the
// tables as they are but for block previews. Checked on every corpus DWG.
#include <gtest/gtest.h>

#include <map>
#include <span>
#include <string>
#include <vector>

#include "dwg/dwg_reader.h"
#include "dxf/dxf_values.h"
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
    int same = 0, listed = 0;
    for (const auto& [handle, w] : all) {
      if (w.object->role == DxfObjectRole::kObject) continue;
      auto e = ours.find(handle);
      // Every entity, block and table record is there, in its place.
      ASSERT_NE(e, ours.end()) << w.type << " " << handle;
      EXPECT_EQ(e->second.type, w.type) << handle;
      EXPECT_EQ(e->second.object->role, w.object->role) << handle;
      EXPECT_EQ(e->second.object->inBlock, w.object->inBlock) << handle;
      const bool blockRecord = w.type == "BLOCK_RECORD";
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
    EXPECT_TRUE(exported.text.find("\nOBJECTS\n") == std::string::npos);
    EXPECT_TRUE(exported.listedHandles.empty());
    (void)listed;
  }
}

} // namespace
} // namespace corvane::dwg
