// What a DWG file's container holds, once its structure has been read: the
// version, and the bytes of each section the object reader needs, after
// decoding and decompression. Three containers fill it (R13 to R2000; the
// paged layout of R2004, R2010 and later; R2007's own); everything above it
// reads sections, never file offsets, except that R13 to R2000 keep their
// objects at offsets of the file itself.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace corvane::dwg {

enum class DwgVersion : uint8_t { kR13, kR14, kR2000, kR2004, kR2007, kR2010, kR2013, kR2018 };

// The version named by the file's first six bytes ("AC1012" ... "AC1032");
// nullopt for any other file, earlier DWG versions included.
std::optional<DwgVersion> versionFromMagic(std::span<const uint8_t> file);
// "AC1015" for kR2000, and so on.
std::string_view versionMagic(DwgVersion version);

struct DwgSections {
  DwgVersion version = DwgVersion::kR2000;
  uint16_t codePage = 0; // the file header's code page number (30 = ANSI_1252)

  // Each section's bytes as the object reader reads them: for R2004 and
  // later the section's pages decompressed and joined; for R13 to R2000 the
  // bytes the file header's locator names. The header and classes sections
  // keep their sentinels, sizes and CRCs.
  std::vector<uint8_t> header;      // AcDb:Header, the header variables
  std::vector<uint8_t> classes;     // AcDb:Classes
  std::vector<uint8_t> handles;     // AcDb:Handles, the object map
  std::vector<uint8_t> dataStorage; // AcDb:AcDsPrototype_1b (R2013 and later); empty when absent

  // The bytes the object map's offsets point into: AcDb:AcDbObjects for
  // R2004 and later (held in ownedObjects), the whole file for R13 to
  // R2000, whose offsets are file offsets. Valid while the file's bytes and
  // this struct live.
  std::span<const uint8_t> objects;
  std::vector<uint8_t> ownedObjects;
};

} // namespace corvane::dwg
