#include "solids/model_transform.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cstring>
#include <set>

#include "solids/sab_reader.h"
#include "solids/sat_text_reader.h"
#include "solids/solid_model.h"

namespace corvane::solids {
namespace {

// Binary tags this file writes or overwrites (see sab_reader.cpp).
constexpr uint8_t kTagLong = 0x04, kTagDouble = 0x06, kTagTrue = 0x0a, kTagFalse = 0x0b, kTagPointer = 0x0c,
                  kTagIdent = 0x0d, kTagTerminator = 0x11, kTagPosition = 0x13, kTagVector = 0x14;
constexpr size_t kSignatureLength = 15; // "ACIS BinaryFile", "ASM BinaryFile4", "ASM BinaryFile8"

// One of a transform's 13 numbers (9 matrix rows, translation, scale): a
// value, and the component for a vector value (-1 for a plain number).
struct Slot {
  size_t value = 0;
  int component = -1;
};

struct TransformLayout {
  std::array<Slot, 13> numbers;
  std::array<size_t, 3> flags{SIZE_MAX, SIZE_MAX, SIZE_MAX}; // rotate, reflect, shear
};

bool isNumber(const SatValue& v) { return v.kind == SatKind::Integer || v.kind == SatKind::Double; }

double numberAt(const SatRecord& r, const Slot& s) {
  const SatValue& v = r.values[s.value];
  if (s.component < 0) return v.number;
  return s.component == 0 ? v.vec.x : s.component == 1 ? v.vec.y : v.vec.z;
}

bool layoutOf(const SatRecord& r, size_t start, TransformLayout& out) {
  size_t i = start, n = 0;
  // Rows and translation: vectors or three numbers each; then the scale.
  while (n < 12 && i < r.values.size()) {
    const SatValue& v = r.values[i];
    if (v.kind == SatKind::Vector && n % 3 == 0) {
      for (int k = 0; k < 3; ++k) out.numbers[n++] = {i, k};
    } else if (isNumber(v)) {
      out.numbers[n++] = {i, -1};
    } else {
      return false;
    }
    ++i;
  }
  if (n < 12 || i >= r.values.size() || !isNumber(r.values[i])) return false;
  out.numbers[12] = {i++, -1};
  for (size_t f = 0; f < 3 && i < r.values.size(); ++f, ++i) {
    SatKind k = r.values[i].kind;
    if (k != SatKind::Word && k != SatKind::True && k != SatKind::False) break;
    out.flags[f] = i;
  }
  return true;
}

// The 13 numbers of OLD (rows, translation, scale) with MAP after them.
std::array<double, 13> composed(const std::array<double, 13>& old, const ModelMap& map) {
  // The body's transform takes p to s (p R) + t: its linear part is s R^T.
  // MAP after it: sigma s (Q R^T) p + sigma Q t + m, so R' = R Q^T.
  std::array<double, 13> out{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double sum = 0;
      for (int k = 0; k < 3; ++k) sum += old[static_cast<size_t>(i * 3 + k)] * map.q[j][k];
      out[static_cast<size_t>(i * 3 + j)] = sum;
    }
  const double t[3] = {old[9], old[10], old[11]};
  for (int j = 0; j < 3; ++j) {
    double sum = 0;
    for (int k = 0; k < 3; ++k) sum += map.q[j][k] * t[k];
    const double m = j == 0 ? map.translation.x : j == 1 ? map.translation.y : map.translation.z;
    out[static_cast<size_t>(9 + j)] = map.scale * sum + m;
  }
  out[12] = old[12] * map.scale;
  return out;
}

constexpr std::array<double, 13> kIdentity{1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1};

bool rotates(const std::array<double, 13>& n) { return !std::equal(n.begin(), n.begin() + 9, kIdentity.begin()); }
bool reflects(const std::array<double, 13>& n) {
  const double det = n[0] * (n[4] * n[8] - n[5] * n[7]) - n[1] * (n[3] * n[8] - n[5] * n[6]) +
                     n[2] * (n[3] * n[7] - n[4] * n[6]);
  return det < 0;
}

std::string numberText(double v) {
  if (v == 0) v = 0; // no "-0"
  char buf[32];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  return ec == std::errc() ? std::string(buf, end) : std::string("0");
}

// What a model needs changed: transforms to rewrite, bodies without one.
struct Plan {
  std::set<size_t> transforms;
  std::vector<size_t> bareBodies; // records whose transform reference is -1
  std::vector<size_t> bareSlots;  // the reference's value index in each
};

bool planOf(const SatDocument& doc, Plan& plan, std::string& reason) {
  for (size_t r = 0; r < doc.records.size(); ++r) {
    const SatRecord& rec = doc.records[r];
    std::string_view kind = rec.kind;
    size_t dash = kind.rfind('-');
    if ((dash == std::string_view::npos ? kind : kind.substr(dash + 1)) != "body") continue;
    size_t slot = bodyTransformSlot(rec, doc.version);
    if (slot == SIZE_MAX) {
      reason = "solid model body record " + std::to_string(r) + " has no transform reference";
      return false;
    }
    int64_t target = rec.values[slot].integer;
    if (target < 0) {
      plan.bareBodies.push_back(r);
      plan.bareSlots.push_back(slot);
    } else if (static_cast<size_t>(target) < doc.records.size() &&
               doc.records[static_cast<size_t>(target)].kind == "transform") {
      plan.transforms.insert(static_cast<size_t>(target));
    } else {
      reason = "solid model body record " + std::to_string(r) + " refers to a transform it lacks";
      return false;
    }
  }
  return true;
}

// Reads the numbers of every transform to rewrite, with their layouts.
// Transforms kept as one text value (some binary writers do) go to
// TEXTUAL, as the record and the value's index; null TEXTUAL refuses them.
bool transformsOf(const SatDocument& doc, const Plan& plan, std::vector<std::pair<size_t, TransformLayout>>& out,
                  std::vector<std::pair<size_t, size_t>>* textual, std::string& reason) {
  for (size_t r : plan.transforms) {
    TransformLayout layout;
    const SatRecord& rec = doc.records[r];
    size_t start = transformMatrixSlot(rec, doc.version);
    if (start == SIZE_MAX && textual != nullptr) {
      for (size_t v = 0; v < rec.values.size(); ++v)
        if (rec.values[v].kind == SatKind::String && rec.values[v].text.find(' ') != std::string::npos) {
          textual->emplace_back(r, v);
          break;
        }
      continue;
    }
    if (start == SIZE_MAX || !layoutOf(rec, start, layout)) {
      reason = "solid model transform record " + std::to_string(r) + " can't be rewritten";
      return false;
    }
    out.emplace_back(r, layout);
  }
  return true;
}

// A transform kept as one text value ("1 0 0 ... 1 no_rotate no_reflect
// no_shear "): its numbers with MAP after them, its flags to match. False
// when the text does not start with 13 numbers.
bool composedText(const std::string& old, const ModelMap& map, std::string& out) {
  std::vector<std::string> words;
  for (size_t at = 0; at < old.size();) {
    size_t end = old.find(' ', at);
    if (end == std::string::npos) end = old.size();
    if (end > at) words.push_back(old.substr(at, end - at));
    at = end + 1;
  }
  if (words.size() < 13) return false;
  std::array<double, 13> n{};
  for (size_t k = 0; k < 13; ++k) {
    auto [ptr, ec] = std::from_chars(words[k].data(), words[k].data() + words[k].size(), n[k]);
    if (ec != std::errc() || ptr != words[k].data() + words[k].size()) return false;
  }
  n = composed(n, map);
  out.clear();
  for (size_t k = 0; k < 13; ++k) out += numberText(n[k]) + " ";
  for (size_t k = 13; k < words.size(); ++k) {
    std::string w = words[k];
    if (w == "rotate" || w == "no_rotate") w = rotates(n) ? "rotate" : "no_rotate";
    if (w == "reflect" || w == "no_reflect") w = reflects(n) ? "reflect" : "no_reflect";
    out += w;
    if (k + 1 < words.size() || old.back() == ' ') out += ' ';
  }
  return true;
}

std::array<double, 13> numbersOf(const SatRecord& r, const TransformLayout& layout) {
  std::array<double, 13> n{};
  for (size_t k = 0; k < 13; ++k) n[k] = numberAt(r, layout.numbers[k]);
  return n;
}

struct Edit {
  size_t begin, end;
  std::string text;
};

size_t tokenEnd(std::string_view text, size_t at) {
  while (at < text.size() && text[at] != ' ' && text[at] != '\t' && text[at] != '\n' && text[at] != '\r') ++at;
  return at;
}

} // namespace

bool transformModelText(std::string& text, const ModelMap& map, std::string& reason) {
  SatDocument doc;
  if (!readSatText(text, doc, reason)) return false;
  Plan plan;
  std::vector<std::pair<size_t, TransformLayout>> transforms;
  if (!planOf(doc, plan, reason) || !transformsOf(doc, plan, transforms, nullptr, reason)) return false;
  std::vector<Edit> edits;
  auto replaceToken = [&](size_t at, std::string value) {
    edits.push_back({at, tokenEnd(text, at), std::move(value)});
  };
  for (const auto& [r, layout] : transforms) {
    const SatRecord& rec = doc.records[r];
    std::array<double, 13> n = composed(numbersOf(rec, layout), map);
    for (size_t k = 0; k < 13; ++k) replaceToken(rec.values[layout.numbers[k].value].at, numberText(n[k]));
    if (layout.flags[0] != SIZE_MAX && rec.values[layout.flags[0]].kind == SatKind::Word)
      replaceToken(rec.values[layout.flags[0]].at, rotates(n) ? "rotate" : "no_rotate");
    if (layout.flags[1] != SIZE_MAX && rec.values[layout.flags[1]].kind == SatKind::Word)
      replaceToken(rec.values[layout.flags[1]].at, reflects(n) ? "reflect" : "no_reflect");
  }
  if (!plan.bareBodies.empty()) {
    // One new transform for every body that had none, after the last record.
    const size_t index = doc.records.size();
    for (size_t b = 0; b < plan.bareBodies.size(); ++b)
      replaceToken(doc.records[plan.bareBodies[b]].values[plan.bareSlots[b]].at, "$" + std::to_string(index));
    std::array<double, 13> n = composed(kIdentity, map);
    std::string record;
    if (!doc.records.empty() && text[doc.records.front().at] == '-') record += "-" + std::to_string(index) + " ";
    record += "transform $-1 ";
    if (doc.version >= 600) record += "-1 ";
    for (double v : n) record += numberText(v) + " ";
    record += rotates(n) ? "rotate " : "no_rotate ";
    record += reflects(n) ? "reflect " : "no_reflect ";
    record += "no_shear #\n";
    if (doc.endAt > 0 && text[doc.endAt - 1] != '\n') record.insert(0, "\n");
    edits.push_back({doc.endAt, doc.endAt, std::move(record)});
    // The header's record count, when it has one: the second number of the first line.
    size_t at = text.find_first_not_of(" \t\r\n");
    at = text.find_first_not_of(" \t", tokenEnd(text, at));
    if (doc.declaredRecords > 0 && at != std::string::npos) replaceToken(at, std::to_string(doc.declaredRecords + 1));
  }
  std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.begin > b.begin; });
  for (const Edit& e : edits) text.replace(e.begin, e.end - e.begin, e.text);
  return true;
}

bool transformModelBinary(std::vector<uint8_t>& bytes, const ModelMap& map, std::string& reason) {
  SatDocument doc;
  if (!readSab(bytes.data(), bytes.size(), doc, reason)) return false;
  Plan plan;
  std::vector<std::pair<size_t, TransformLayout>> transforms;
  std::vector<std::pair<size_t, size_t>> textual;
  if (!planOf(doc, plan, reason) || !transformsOf(doc, plan, transforms, &textual, reason)) return false;
  // Transforms kept as text change their length: they are replaced last,
  // from the end back, after the edits that keep every offset.
  std::vector<std::pair<size_t, std::vector<uint8_t>>> replaced; // value offset -> new value bytes
  for (const auto& [r, v] : textual) {
    const SatValue& value = doc.records[r].values[v];
    std::string text;
    if (!composedText(value.text, map, text)) {
      reason = "solid model transform record " + std::to_string(r) + " can't be rewritten";
      return false;
    }
    std::vector<uint8_t> encoded{bytes[value.at]};
    const size_t lengthBytes = encoded[0] == 0x07 ? 1 : encoded[0] == 0x08 ? 2 : 4;
    if (lengthBytes < 4 && text.size() >= (size_t{1} << (8 * lengthBytes))) encoded[0] = 0x12; // a longer form
    const size_t n = encoded[0] == 0x07 ? 1 : encoded[0] == 0x08 ? 2 : 4;
    for (size_t k = 0; k < n; ++k) encoded.push_back(static_cast<uint8_t>(text.size() >> (8 * k)));
    encoded.insert(encoded.end(), text.begin(), text.end());
    replaced.emplace_back(value.at, std::move(encoded));
  }
  std::vector<uint8_t> out = bytes;
  auto putInteger = [&](size_t at, int64_t v) {
    for (size_t k = 0; k < doc.intSize; ++k) out[at + k] = static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * k));
  };
  auto putDouble = [&](size_t at, double v) {
    uint64_t u = std::bit_cast<uint64_t>(v);
    for (size_t k = 0; k < 8; ++k) out[at + k] = static_cast<uint8_t>(u >> (8 * k));
  };
  auto putFlag = [&](const SatRecord& rec, size_t value, bool on) {
    if (value == SIZE_MAX) return;
    const SatValue& v = rec.values[value];
    if (v.kind == SatKind::True || v.kind == SatKind::False) out[v.at] = on ? kTagTrue : kTagFalse;
  };
  for (const auto& [r, layout] : transforms) {
    const SatRecord& rec = doc.records[r];
    std::array<double, 13> n = composed(numbersOf(rec, layout), map);
    for (size_t k = 0; k < 13; ++k) {
      const Slot& s = layout.numbers[k];
      const SatValue& v = rec.values[s.value];
      uint8_t tag = bytes[v.at];
      bool vector = s.component >= 0 && (tag == kTagPosition || tag == kTagVector);
      if (!vector && !(s.component < 0 && tag == kTagDouble)) {
        reason = "solid model transform record " + std::to_string(r) + " keeps a number that can't be rewritten";
        return false;
      }
      putDouble(v.at + 1 + 8 * static_cast<size_t>(std::max(s.component, 0)), n[k]);
    }
    putFlag(rec, layout.flags[0], rotates(n));
    putFlag(rec, layout.flags[1], reflects(n));
  }
  if (!plan.bareBodies.empty()) {
    const size_t index = doc.records.size();
    for (size_t b = 0; b < plan.bareBodies.size(); ++b) {
      const SatValue& v = doc.records[plan.bareBodies[b]].values[plan.bareSlots[b]];
      if (bytes[v.at] != kTagPointer) {
        reason = "solid model body record " + std::to_string(plan.bareBodies[b]) + " keeps an unusual reference";
        return false;
      }
      putInteger(v.at + 1, static_cast<int64_t>(index));
    }
    std::array<double, 13> n = composed(kIdentity, map);
    std::vector<uint8_t> record;
    record.reserve(160);
    auto integer = [&](uint8_t tag, int64_t v) {
      record.push_back(tag);
      for (size_t k = 0; k < doc.intSize; ++k)
        record.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * k)));
    };
    auto real = [&](double v) {
      uint64_t u = std::bit_cast<uint64_t>(v);
      for (size_t k = 0; k < 8; ++k) record.push_back(static_cast<uint8_t>(u >> (8 * k)));
    };
    const char kName[] = "transform";
    record.push_back(kTagIdent);
    record.push_back(static_cast<uint8_t>(sizeof kName - 1));
    record.insert(record.end(), kName, kName + sizeof kName - 1);
    integer(kTagPointer, -1);
    if (doc.version >= 600) integer(kTagLong, -1);
    for (size_t row = 0; row < 4; ++row) {
      record.push_back(kTagVector);
      for (size_t k = 0; k < 3; ++k) real(n[row * 3 + k]);
    }
    record.push_back(kTagDouble);
    real(n[12]);
    record.push_back(rotates(n) ? kTagTrue : kTagFalse);
    record.push_back(reflects(n) ? kTagTrue : kTagFalse);
    record.push_back(kTagFalse);
    record.push_back(kTagTerminator);
    if (doc.declaredRecords > 0) putInteger(kSignatureLength + doc.intSize, doc.declaredRecords + 1);
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(doc.endAt), record.begin(), record.end());
  }
  std::sort(replaced.begin(), replaced.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  for (const auto& [at, encoded] : replaced) {
    const uint8_t tag = bytes[at];
    const size_t lengthBytes = tag == 0x07 ? 1 : tag == 0x08 ? 2 : 4;
    size_t length = 0;
    for (size_t k = 0; k < lengthBytes; ++k) length |= size_t{bytes[at + 1 + k]} << (8 * k);
    const auto begin = out.begin() + static_cast<std::ptrdiff_t>(at);
    out.erase(begin, begin + static_cast<std::ptrdiff_t>(1 + lengthBytes + length));
    out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), encoded.begin(), encoded.end());
  }
  bytes = std::move(out);
  return true;
}

} // namespace corvane::solids
