// The drawing's DXF, put together from its decoded objects in the order
// DXF keeps them: HEADER, CLASSES, TABLES (each table's control object,
// then its records), BLOCKS (each block record's BLOCK, its entities and
// ENDBLK), ENTITIES (model space, then the current paper space), OBJECTS
// (the named objects dictionary first), and ACDSDATA for R2013 and later.
// Table records are decoded first, so that every other object can name the
// layers, linetypes, styles and blocks it refers to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "dwg/dwg_classes.h"
#include "dwg/dwg_header_variables.h"
#include "dwg/dwg_object_reader.h"
#include "dwg/dwg_objects.h"
#include "dwg/dwg_reader.h"
#include "dwg/dwg_sections.h"

namespace corvane::dwg {

// The header variables the DXF needs; those left 0 are found among the
// objects.
struct DwgHeaderValues {
  uint64_t handSeed = 0;
  uint64_t namedObjects = 0; // the root dictionary
  uint64_t modelSpace = 0;   // *Model_Space and *Paper_Space block records
  uint64_t paperSpace = 0;
  // The tables' control objects, in DXF's order: VPORT, LTYPE, LAYER,
  // STYLE, VIEW, UCS, APPID, DIMSTYLE, BLOCK_RECORD (0 where unknown).
  uint64_t controls[9] = {};
  // Every header variable the file keeps: those DXF writes go to the
  // HEADER section, in the file's order. Null for none.
  const DwgHeaderVariables* variables = nullptr;
};

// The objects of the file's object map.
class DwgObjectStore {
public:
  virtual ~DwgObjectStore() = default;
  // How many objects the map lists, and the handle of the I-th.
  virtual size_t size() const = 0;
  virtual uint64_t handleAt(size_t i) const = 0;
  // The type number of the I-th object (framing it when it wasn't yet);
  // throws DwgError where the framing can't be trusted.
  virtual uint32_t typeAt(size_t i) const = 0;
  // The bytes of the I-th object's data (framing it when it wasn't yet).
  virtual uint64_t sizeAt(size_t i) const = 0;
  // Frames the I-th object and calls DECODE with its type number and its
  // streams; throws DwgError where the framing can't be trusted.
  virtual void read(size_t i, const std::function<void(uint32_t type, ObjectReader& in)>& decode) const = 0;
};

// A solid model kept in the data-storage section (R2013 and later): the
// entity it belongs to and its binary model.
struct DwgStoredModel {
  uint64_t entity = 0;
  std::string data;
};

// Decodes every object of STORE and writes the drawing's DXF into OUT
// (text, listed handles and kinds). Throws DwgError where an object can't
// be trusted.
void assembleDxf(DwgVersion version, uint16_t codePage, const DwgHeaderValues& header,
                 const std::vector<DwgClass>& classes, const DwgObjectStore& store,
                 const std::vector<DwgStoredModel>& models, DwgAsDxf& out);

// $DWGCODEPAGE's name for a code page number ("ANSI_1252" for 30).
std::string codePageName(uint16_t codePage);

} // namespace corvane::dwg
