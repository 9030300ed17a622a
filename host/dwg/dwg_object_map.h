// The object map (AcDb:Handles): where each object lies, by handle. It is
// kept in pages of at most about 2 KB, each a big-endian size, pairs of
// deltas (handle: unsigned modular char; offset: signed modular char), both
// counted from zero at each page's start, and a big-endian CRC; a page of
// size 2 ends the map.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "dwg/dwg_sections.h"

namespace corvane::dwg {

struct DwgObjectLocation {
  uint64_t handle = 0;
  uint64_t offset = 0; // of the object's first byte in DwgSections::objects
};

class DwgObjectMap {
public:
  // Every object of the drawing, in ascending handle order.
  std::span<const DwgObjectLocation> entries() const { return entries_; }
  size_t size() const { return entries_.size(); }
  // Where HANDLE's object lies; nullopt when the map doesn't hold it.
  std::optional<uint64_t> find(uint64_t handle) const;
  // HANDLE's place in entries(); nullopt when the map doesn't hold it.
  std::optional<size_t> indexOf(uint64_t handle) const;

private:
  friend DwgObjectMap readObjectMap(const DwgSections& sections);
  std::vector<DwgObjectLocation> entries_;
};

// Reads SECTIONS.handles. Checks each page's size against the bytes behind
// it and its CRC, that every offset lies inside SECTIONS.objects and that
// no handle appears twice; throws DwgError ("AcDb:Handles" and the byte
// within it) otherwise.
DwgObjectMap readObjectMap(const DwgSections& sections);

} // namespace corvane::dwg
