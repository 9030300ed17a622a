#include "solids/sab_reader.h"

#include <cmath>

#include "solids/byte_cursor.h"

namespace corvane::solids {
namespace {

// Tags of the binary format.
enum : uint8_t {
  kTagChar = 0x02,
  kTagShort = 0x03,
  kTagLong = 0x04,
  kTagFloat = 0x05,
  kTagDouble = 0x06,
  kTagString1 = 0x07,
  kTagString2 = 0x08,
  kTagString4 = 0x09,
  kTagTrue = 0x0a,
  kTagFalse = 0x0b,
  kTagPointer = 0x0c,
  kTagIdent = 0x0d,
  kTagIdentPart = 0x0e,
  kTagOpen = 0x0f,
  kTagClose = 0x10,
  kTagTerminator = 0x11,
  kTagString4b = 0x12,
  kTagPosition = 0x13,
  kTagVector = 0x14,
  kTagEnum = 0x15,
  kTagVector2 = 0x16,
};

struct Signature {
  const char* text;
  size_t intSize;
};
constexpr Signature kSignatures[] = {{"ACIS BinaryFile", 4}, {"ASM BinaryFile4", 4}, {"ASM BinaryFile8", 8}};

class SabParser {
public:
  SabParser(ByteCursor& c, size_t intSize) : c_(c), intSize_(intSize) {}

  // Reads one tagged value. Identifier tags are returned through `ident`
  // (parts joined with '-', `identDone` set on the final part).
  bool value(uint8_t& tag, SatValue& v, std::string& reason) {
    v.at = c_.position();
    if (!c_.readU8(tag)) return fail(reason);
    int64_t i = 0;
    uint64_t n = 0;
    switch (tag) {
    case kTagChar:
      if (!c_.readSigned(1, i)) return fail(reason);
      return integer(v, i);
    case kTagShort:
      if (!c_.readSigned(2, i)) return fail(reason);
      return integer(v, i);
    case kTagLong:
      if (!c_.readSigned(intSize_, i)) return fail(reason);
      return integer(v, i);
    case kTagEnum:
      if (!c_.readSigned(intSize_, i)) return fail(reason);
      v.enumerated = true;
      return integer(v, i);
    case kTagFloat: {
      float f = 0;
      if (!c_.readF32(f)) return fail(reason);
      return real(v, f, reason);
    }
    case kTagDouble: {
      double d = 0;
      if (!c_.readF64(d)) return fail(reason);
      return real(v, d, reason);
    }
    case kTagString1:
    case kTagString2:
    case kTagString4:
    case kTagString4b:
    case kTagIdent:
    case kTagIdentPart: {
      size_t bytes = tag == kTagString2 ? 2 : (tag == kTagString4 || tag == kTagString4b) ? 4 : 1;
      if (!c_.readUnsigned(bytes, n) || n > c_.remaining() || !c_.readString(size_t(n), v.text)) return fail(reason);
      v.kind = (tag == kTagIdent || tag == kTagIdentPart) ? SatKind::Word : SatKind::String;
      return true;
    }
    case kTagTrue: v.kind = SatKind::True; return true;
    case kTagFalse: v.kind = SatKind::False; return true;
    case kTagPointer:
      if (!c_.readSigned(intSize_, i)) return fail(reason);
      if (i < -1) {
        reason = "bad reference in binary solid model";
        return false;
      }
      v.kind = SatKind::Pointer;
      v.integer = i;
      return true;
    case kTagOpen: v.kind = SatKind::Open; return true;
    case kTagClose: v.kind = SatKind::Close; return true;
    case kTagTerminator: return true;
    case kTagPosition:
    case kTagVector: {
      double d[3];
      for (double& x : d)
        if (!c_.readF64(x)) return fail(reason);
      v.kind = SatKind::Vector;
      v.vec = {d[0], d[1], d[2]};
      if (!isFinite(v.vec)) return nonFinite(reason);
      return true;
    }
    case kTagVector2: {
      double d[2];
      for (double& x : d)
        if (!c_.readF64(x)) return fail(reason);
      v.kind = SatKind::Vector;
      v.planar = true;
      v.vec = {d[0], d[1], 0};
      if (!isFinite(v.vec)) return nonFinite(reason);
      return true;
    }
    default:
      reason = "unknown tag " + std::to_string(tag) + " at byte " + std::to_string(c_.position() - 1) +
               " of binary solid model";
      return false;
    }
  }

private:
  static bool integer(SatValue& v, int64_t i) {
    v.kind = SatKind::Integer;
    v.integer = i;
    v.number = double(i);
    return true;
  }
  static bool real(SatValue& v, double d, std::string& reason) {
    if (!std::isfinite(d)) return nonFinite(reason);
    v.kind = SatKind::Double;
    v.number = d;
    return true;
  }
  static bool nonFinite(std::string& reason) {
    reason = "binary solid model holds a non-finite number";
    return false;
  }
  bool fail(std::string& reason) {
    reason = "binary solid model is truncated at byte " + std::to_string(c_.position());
    return false;
  }

  ByteCursor& c_;
  size_t intSize_;
};

} // namespace

bool looksLikeSab(const uint8_t* data, size_t size) {
  ByteCursor c(data, size);
  for (const Signature& s : kSignatures)
    if (c.startsWith(s.text)) return true;
  return false;
}

namespace {

// readSab, or scanSab with EACH.
bool parseSab(const uint8_t* data, size_t size, SatDocument& doc, const SabRecordVisit* each, std::string& reason) {
  doc = SatDocument{};
  doc.binary = true;
  ByteCursor c(data, size);
  size_t intSize = 0;
  for (const Signature& s : kSignatures) {
    if (c.startsWith(s.text)) {
      intSize = s.intSize;
      c.skip(std::char_traits<char>::length(s.text));
      break;
    }
  }
  if (intSize == 0) {
    reason = "binary solid model has no known signature";
    return false;
  }
  doc.intSize = intSize;
  int64_t header[4];
  for (int64_t& h : header) {
    if (!c.readSigned(intSize, h)) {
      reason = "binary solid model header is truncated";
      return false;
    }
  }
  if (!takeSatHeader(header, doc, reason)) return false;
  doc.flags = header[3];

  SabParser p(c, intSize);
  // Header values (product, version and date strings, then units and
  // tolerances) run up to the first record's kind name.
  bool sawUnits = false;
  std::string kind;
  size_t kindAt = 0;
  while (true) {
    uint8_t tag = 0;
    SatValue v;
    if (!p.value(tag, v, reason)) return false;
    if (tag == kTagIdent || tag == kTagIdentPart) {
      kindAt = v.at;
      kind = v.text;
      if (tag == kTagIdentPart) kind += '-';
      if (tag == kTagIdent) break;
      // Remaining parts follow.
      while (true) {
        if (!p.value(tag, v, reason)) return false;
        if (tag != kTagIdent && tag != kTagIdentPart) {
          reason = "binary solid model has a broken record name";
          return false;
        }
        kind += v.text;
        if (tag == kTagIdent) break;
        kind += '-';
      }
      break;
    }
    if (v.kind == SatKind::Double && !sawUnits) {
      sawUnits = true;
      if (v.number > 0) doc.unitsMm = v.number;
    }
    if (v.kind == SatKind::Double) doc.headerNumbers.push_back(v.number);
    if (v.kind == SatKind::String) doc.headerStrings.push_back(std::move(v.text));
  }

  size_t records = 0;
  SatRecord rec; // a scan reuses it for every record
  while (true) {
    if (kind.starts_with("End-of-") || kind.starts_with("Begin-of-")) {
      doc.endAt = kindAt;
      doc.endMarker = std::move(kind);
      return true;
    }
    if (records >= kMaxSatRecords) {
      reason = "solid model has too many records";
      return false;
    }
    rec.at = kindAt;
    rec.kind = std::move(kind);
    rec.values.clear();
    kind.clear();
    std::string pendingWord;
    while (true) {
      uint8_t tag = 0;
      SatValue v;
      if (!p.value(tag, v, reason)) return false;
      if (tag == kTagTerminator) break;
      if (tag == kTagIdentPart) {
        pendingWord += v.text;
        pendingWord += '-';
        continue;
      }
      if (tag == kTagIdent && !pendingWord.empty()) {
        v.text = pendingWord + v.text;
        pendingWord.clear();
      }
      rec.values.push_back(std::move(v));
    }
    ++records;
    if (each != nullptr) {
      if (!(*each)(rec, reason)) return false;
    } else {
      doc.records.push_back(std::move(rec));
      rec = SatRecord{};
    }
    // The next record's name.
    bool first = true;
    while (true) {
      uint8_t tag = 0;
      SatValue v;
      if (!p.value(tag, v, reason)) return false;
      if (first) kindAt = v.at;
      first = false;
      if (tag != kTagIdent && tag != kTagIdentPart) {
        reason = "binary solid model record " + std::to_string(records) + " does not start with a kind name";
        return false;
      }
      kind += v.text;
      if (tag == kTagIdent) break;
      kind += '-';
    }
  }
}

} // namespace

bool readSab(const uint8_t* data, size_t size, SatDocument& doc, std::string& reason) {
  return parseSab(data, size, doc, nullptr, reason);
}

bool scanSab(const uint8_t* data, size_t size, SatDocument& doc, const SabRecordVisit& each, std::string& reason) {
  return parseSab(data, size, doc, &each, reason);
}

} // namespace corvane::solids
