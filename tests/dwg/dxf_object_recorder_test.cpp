// What the DWG reader records of the DXF it writes is what the DXF loader's
// scan finds in that text: every object with every field, the
// inconsistencies, the layout. Checked on every corpus DWG, read whole and
// for an export, against scanDxf itself.
#include <gtest/gtest.h>

#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "dwg/dwg_error.h"
#include "dwg/dwg_reader.h"
#include "dxf/dxf_scanner.h"
#include "support/corpus.h"

namespace corvane::dwg {
namespace {

// Every object and inconsistency a sink hears, as one line each.
class Transcript : public DxfObjectSink {
public:
  explicit Transcript(std::string_view text) : text_(text) {}

  void object(const DxfObjectInfo& i) override {
    std::ostringstream s;
    s << "object " << static_cast<int>(i.role) << " inBlock " << i.inBlock << " paper " << i.paperSpace << " at "
      << i.begin << " " << i.afterType << " " << i.ownEnd << " " << i.end << " xdata " << i.xdataBegin << " "
      << i.xdataEnd << " type " << i.type << " handle " << i.handle << " @" << offset(i.handle) << " name "
      << i.name << " @" << offset(i.name) << " table " << i.table << " color "
      << (i.color ? std::to_string(*i.color) : "-") << " polyline " << i.polylineFlags << " " << i.vertices << " "
      << i.controlVertices << " " << i.surfaceVertices << " line " << i.line;
    lines.push_back(s.str());
  }
  void inconsistency(uint32_t ordinal, uint32_t line, std::string message) override {
    lines.push_back("inconsistency " + std::to_string(ordinal) + " line " + std::to_string(line) + ": " + message);
  }

  std::vector<std::string> lines;

private:
  // Where a view lies in the text (views of the same bytes must agree).
  long offset(std::string_view v) const { return v.empty() ? -1 : static_cast<long>(v.data() - text_.data()); }
  std::string_view text_;
};

std::string describe(const DxfLayout& l) {
  std::ostringstream s;
  s << "version " << l.version << " padCodes " << l.style.padCodes << " padIntegers " << l.style.padIntegers
    << " lineEnd " << l.style.lineEnd.size() << " encoding " << static_cast<int>(l.style.encoding) << " handSeed "
    << (l.handSeed ? std::to_string(l.handSeed->begin) + "-" + std::to_string(l.handSeed->end) : "-")
    << " handlesOn " << l.handlesOn << " tablesEnd " << (l.tablesEnd ? std::to_string(*l.tablesEnd) : "-")
    << " newTablesAt " << l.newTablesAt << " entitiesEnd " << (l.entitiesEnd ? std::to_string(*l.entitiesEnd) : "-")
    << " newEntitiesAt " << l.newEntitiesAt << " acdsEnd " << (l.acdsEnd ? std::to_string(*l.acdsEnd) : "-");
  if (l.appIds)
    s << " appIds " << l.appIds->endTab << " " << l.appIds->count.begin << "-" << l.appIds->count.end << " "
      << l.appIds->countValue << " " << l.appIds->handle;
  for (const DxfAcdsRecord& r : l.acdsRecords) s << " acds " << r.owner << " " << r.range.begin << "-" << r.range.end;
  return s.str();
}

TEST(DxfObjectRecorder, RecordsWhatTheScanFinds) {
  const auto files = corvane::testing::dwgCorpusFiles();
  if (files.empty()) GTEST_SKIP() << "the shared DWG corpus is not beside the project";
  for (const auto& file : files) {
    const std::string bytes = corvane::testing::readBytes(file);
    for (DwgReadScope scope : {DwgReadScope::kWholeDrawing, DwgReadScope::kExport}) {
      SCOPED_TRACE(file.filename().string() + (scope == DwgReadScope::kExport ? " (export)" : ""));
      DwgAsDxf dxf;
      ASSERT_NO_THROW(dxf = readDwgAsDxf(
                          std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
                          scope));
      Transcript scanned(dxf.text), recorded(dxf.text);
      const DxfScanResult scan = scanDxf(dxf.text, "drawing", scanned);
      ASSERT_TRUE(scan.ok()) << scan.error;
      reportDxfObjects(dxf.objects, dxf.inconsistencies, dxf.text, recorded);
      for (size_t i = 0; i < std::min(scanned.lines.size(), recorded.lines.size()); ++i)
        ASSERT_EQ(recorded.lines[i], scanned.lines[i]) << i;
      ASSERT_EQ(recorded.lines.size(), scanned.lines.size());
      EXPECT_EQ(describe(dxf.layout), describe(scan.layout));
    }
  }
}

} // namespace
} // namespace corvane::dwg
