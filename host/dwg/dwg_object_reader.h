// What an object decoder reads: one object's streams, behind the names the
// format's public description gives its codes (B, BS, BD, T, H, ...). Data
// come from the data stream, texts from the string stream (R2007 and later)
// or the data stream (before), handles from the handle stream, resolved
// against the object's own handle. Every read is checked by the bit reader
// underneath, which throws DwgError naming the section and the byte where
// the object's bits ran out.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "dwg/bit_reader.h"
#include "dwg/dwg_sections.h"

namespace corvane::dwg {

class ObjectReader {
public:
  // DATA is the object's data stream; STRINGS its string stream (R2007 and
  // later; the data stream itself before); HANDLES its handle stream. OWN
  // is the object's own handle. The readers must outlive this one.
  ObjectReader(DwgVersion version, BitReader& data, BitReader& strings, BitReader& handles, uint64_t own)
      : version_(version), data_(data), strings_(strings), handles_(handles), own_(own) {}

  DwgVersion version() const { return version_; }
  bool since(DwgVersion v) const { return version_ >= v; }
  bool before(DwgVersion v) const { return version_ < v; }
  uint64_t ownHandle() const { return own_; }

  bool B() { return data_.readB(); }
  uint8_t BB() { return data_.readBB(); }
  uint16_t BS() { return data_.readBS(); }
  uint32_t BL() { return data_.readBL(); }
  uint64_t BLL() { return data_.readBLL(); }
  uint8_t RC() { return data_.readRC(); }
  uint16_t RS() { return data_.readRS(); }
  uint32_t RL() { return data_.readRL(); }
  // Reals: a value that is not finite (no drawing holds one, and DXF has
  // no text for it) is refused where it is read.
  double BD() { return finite(data_.readBD()); }
  double RD() { return finite(data_.readRD()); }
  double DD(double def) { return finite(data_.readDD(def)); }
  double BT() { return finite(data_.readBT()); }
  Vec3 BE() { return finite(data_.readBE()); }
  Vec3 BD3() { return finite(data_.read3BD()); }
  Vec3 RD2() {
    const Vec2 p = data_.read2RD();
    return finite(Vec3{p.x, p.y, 0});
  }
  // COUNT bytes (checked against what the data stream holds first); or
  // moves past them.
  std::string bytes(uint64_t count);
  void skipBytes(uint64_t count);
  // T: TV from the data stream before R2007 (bytes in the drawing's code
  // page, as DXF keeps them), TU from the string stream after (as UTF-8,
  // characters beyond ASCII as DXF's "\U+XXXX").
  std::string T();
  // CMC of a table record or object, its names from the string stream.
  DwgColor CMC() { return data_.readCMC(strings_); }
  // ENC: an entity's colour.
  DwgColor ENC() { return data_.readENC(); }

  // H from the handle stream: the handle it names (0: none).
  uint64_t H() { return handles_.readH(own_).handle; }
  // COUNT handles, COUNT checked against what the handle stream holds (at
  // least 8 bits a handle) before anything is allocated.
  std::vector<uint64_t> handles(uint32_t count);
  // A count the object states, checked against the bits left in the data
  // stream at MINBITS bits an item before anything is allocated for it;
  // WHAT names the items in the error.
  uint32_t count(uint64_t stated, uint64_t minBits, const char* what);
  // The same for a count of texts, against the stream they are read from
  // (a text takes at least the bits of its length).
  uint32_t countTexts(uint64_t stated, const char* what);

  BitReader& data() { return data_; }
  BitReader& strings() { return strings_; }
  BitReader& handleStream() { return handles_; }
  [[noreturn]] void fail(const std::string& what) const { data_.fail(what); }

private:
  double finite(double v) const {
    if (!std::isfinite(v)) data_.fail("a real that is not a finite number");
    return v;
  }
  Vec3 finite(const Vec3& v) const {
    finite(v.x);
    finite(v.y);
    finite(v.z);
    return v;
  }

  DwgVersion version_;
  BitReader& data_;
  BitReader& strings_;
  BitReader& handles_;
  uint64_t own_;
};

} // namespace corvane::dwg
