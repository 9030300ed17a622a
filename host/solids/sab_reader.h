// Reads the binary form of a solid model ("ACIS BinaryFile", "ASM
// BinaryFile4" / "ASM BinaryFile8"): a fixed header, then tagged values,
// records starting with their kind name and ending with a terminator tag, up
// to the end marker record. Every read is checked against the bytes that
// remain; returns false with a one-line reason on malformed or truncated
// data (`doc` is then unspecified). The bytes are not retained.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "solids/sat_document.h"

namespace corvane::solids {

bool readSab(const uint8_t* data, size_t size, SatDocument& doc, std::string& reason);

// Reads as readSab does, but keeps no records in DOC (its header, end and
// end marker are read): each record is handed to EACH as soon as it is
// read, then dropped. For a reader that needs only where a model ends, and
// what a look at each record tells, without holding the model. False from
// EACH stops the read with the reason it gives.
using SabRecordVisit = std::function<bool(const SatRecord& record, std::string& reason)>;
bool scanSab(const uint8_t* data, size_t size, SatDocument& doc, const SabRecordVisit& each, std::string& reason);

// True when the bytes start with one of the binary file signatures.
bool looksLikeSab(const uint8_t* data, size_t size);

} // namespace corvane::solids
