// The records of a solid-model file, untyped: what the text and the binary
// readers produce and what solid_model interprets. A record is its kind name
// ("face", "plane-surface", "persubent-acadSolidHistory-attrib") and its
// values in file order; "$n" references are record numbers counted from 0.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry/vec_math.h"

namespace corvane::solids {

enum class SatKind : uint8_t {
  Pointer, // "$n", "$-1" / binary pointer; `integer` is the record number or -1
  Integer, // integer number; `integer` and `number` both hold it
  Double,  // other number; `number`
  String,  // "@n text", binary strings; `text`
  Word,    // keyword such as forward, single, I, F, T, exactsur; `text`
  True,    // binary true
  False,   // binary false
  Open,    // "{"
  Close,   // "}"
  Vector,  // binary position or vector; `vec`
};

struct SatValue {
  SatKind kind = SatKind::Integer;
  size_t at = 0; // where it starts: its token in text, its tag byte in binary
  int64_t integer = 0;
  double number = 0;
  Vec3 vec;
  std::string text;
  // Binary only, for writers of text: the number was an enumeration's
  // (text writes a word for it); the vector was a parameter pair (u, v),
  // two numbers in text, z = 0 here.
  bool enumerated = false;
  bool planar = false;
};

struct SatRecord {
  size_t at = 0; // where it starts (its index prefix or kind name)
  std::string kind;
  std::vector<SatValue> values;
};

struct SatDocument {
  int version = 0;         // e.g. 106, 400, 700, 21800
  int declaredRecords = 0; // from the header; 0 when the writer left it open
  int declaredBodies = 0;
  double unitsMm = 1; // millimetres per model unit, 1 when not stated
  bool binary = false;
  bool missingEndMarker = false; // text ended after a whole record
  size_t endAt = 0;              // where the end marker starts (the data's end without one)
  size_t intSize = 0;            // binary: bytes of an integer or reference
  std::vector<SatRecord> records;
  // The rest of the header as read, for writers: its fourth number (flags),
  // the product, modeller version and save date strings (from version 2
  // on), the units line's numbers (millimetres per unit, then tolerances),
  // and the end marker's name ("End-of-ACIS-data"; empty when missing).
  int64_t flags = 0;
  std::vector<std::string> headerStrings;
  std::vector<double> headerNumbers;
  std::string endMarker;
};

// Limits that keep hostile input from costing unbounded memory or time.
constexpr size_t kMaxSatRecords = 4'000'000;

// Takes the version, record count and body count of a model's first header
// line into DOC. False with REASON when the version is not one we read or a
// count is absurd; DOC is unchanged then.
inline bool takeSatHeader(const int64_t header[3], SatDocument& doc, std::string& reason) {
  if (header[0] < 100 || header[0] > 100000) {
    reason = "solid model version " + std::to_string(header[0]) + " is not supported";
    return false;
  }
  if (header[1] < 0 || header[1] > int64_t(kMaxSatRecords) || header[2] < 0 || header[2] > int64_t(kMaxSatRecords)) {
    reason = "solid model header has absurd record or body counts";
    return false;
  }
  doc.version = int(header[0]);
  doc.declaredRecords = int(header[1]);
  doc.declaredBodies = int(header[2]);
  return true;
}

} // namespace corvane::solids
