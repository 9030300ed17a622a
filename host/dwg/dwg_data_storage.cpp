#include "dwg/dwg_data_storage.h"

#include <algorithm>
#include <string_view>

#include "dwg/dwg_error.h"
#include "solids/sab_reader.h"

namespace corvane::dwg {

namespace {

constexpr const char* kSection = "AcDb:AcDsPrototype_1b";
constexpr size_t kSegmentHeader = 48; // signature, name, eight longs, padding

// Little-endian reads at checked offsets of the section.
class StoreBytes {
public:
  explicit StoreBytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  uint32_t u32(uint64_t at) const {
    need(at, 4);
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | bytes_[at + static_cast<size_t>(i)];
    return v;
  }
  uint64_t u64(uint64_t at) const { return u32(at) | (uint64_t{u32(at + 4)} << 32); }
  std::span<const uint8_t> span(uint64_t at, uint64_t size) const {
    need(at, size);
    return bytes_.subspan(static_cast<size_t>(at), static_cast<size_t>(size));
  }
  void need(uint64_t at, uint64_t size) const {
    if (at > bytes_.size() || size > bytes_.size() - at)
      throw DwgError(kSection, at, std::to_string(size) + " bytes run past the section's " +
                                       std::to_string(bytes_.size()));
  }
  [[noreturn]] static void fail(uint64_t at, const std::string& what) { throw DwgError(kSection, at, what); }

private:
  std::span<const uint8_t> bytes_;
};

struct Segment {
  uint64_t offset = 0;
  uint64_t size = 0;
};

} // namespace

std::vector<DwgStoredModel> readStoredModels(std::span<const uint8_t> section) {
  std::vector<DwgStoredModel> models;
  if (section.empty()) return models;
  const StoreBytes in(section);
  if (in.u32(0) != 0x6472616A) StoreBytes::fail(0, "no data-storage signature");
  // The header: where the segment index lies, how many segments it lists,
  // and which one is the data-record index.
  const uint64_t indexAt = in.u32(24);
  const uint32_t segmentCount = in.u32(32);
  const uint32_t dataIndexSegment = in.u32(40);
  if (segmentCount > section.size() / 12) StoreBytes::fail(32, "more segments than the section holds");
  std::vector<Segment> segments(segmentCount);
  for (uint32_t i = 0; i < segmentCount; ++i) {
    const uint64_t at = indexAt + kSegmentHeader + uint64_t{i} * 12;
    segments[i] = {in.u64(at), in.u32(at + 8)};
    if (segments[i].offset != 0) in.need(segments[i].offset, std::max<uint64_t>(segments[i].size, kSegmentHeader));
  }
  if (dataIndexSegment >= segmentCount || segments[dataIndexSegment].offset == 0)
    StoreBytes::fail(40, "no index of data records");

  // The data-record index: (segment, offset in it, schema) for each record.
  const uint64_t indexBase = segments[dataIndexSegment].offset + kSegmentHeader;
  const uint32_t recordCount = in.u32(indexBase);
  if (recordCount > section.size() / 12) StoreBytes::fail(indexBase, "more data records than the section holds");
  struct Record {
    uint32_t segment, offset;
  };
  std::vector<Record> records;
  for (uint32_t i = 0; i < recordCount; ++i) {
    const uint64_t at = indexBase + 8 + uint64_t{i} * 12;
    const Record r{in.u32(at), in.u32(at + 4)};
    if (r.segment == 0 && r.offset == 0) continue; // an empty slot
    if (r.segment >= segmentCount || segments[r.segment].offset == 0)
      StoreBytes::fail(at, "a data record in segment " + std::to_string(r.segment) + ", which the store lacks");
    records.push_back(r);
  }
  // In each data segment the records come first (a size, a count, the
  // object's handle, where its blob lies); the blobs follow them, each a
  // size and its bytes.
  std::vector<uint64_t> blobsAt(segmentCount, 0);
  for (const Record& r : records) {
    const uint64_t base = segments[r.segment].offset + kSegmentHeader;
    blobsAt[r.segment] = std::max<uint64_t>(blobsAt[r.segment], uint64_t{r.offset} + in.u32(base + r.offset));
  }
  for (const Record& r : records) {
    const uint64_t base = segments[r.segment].offset + kSegmentHeader;
    const uint64_t blobs = blobsAt[r.segment];
    const uint64_t at = base + r.offset;
    if (in.u32(at) < 20) StoreBytes::fail(at, "a data record of " + std::to_string(in.u32(at)) + " bytes");
    const uint64_t handle = in.u64(at + 8);
    const uint64_t blobAt = base + blobs + in.u32(at + 16);
    const uint32_t size = in.u32(blobAt);
    const std::span<const uint8_t> blob = in.span(blobAt + 4, size);
    if (!solids::looksLikeSab(blob.data(), blob.size())) continue; // a thumbnail
    models.push_back({handle, std::string(reinterpret_cast<const char*>(blob.data()), blob.size())});
  }
  return models;
}

} // namespace corvane::dwg
