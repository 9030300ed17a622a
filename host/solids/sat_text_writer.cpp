#include "solids/sat_text_writer.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <span>
#include <string_view>
#include <vector>

#include "solids/sab_reader.h"

namespace corvane::solids {
namespace {

// The two words of a binary logical, for false and for true.
struct Logical {
  std::string_view no, yes;
};
constexpr Logical kSense{"forward", "reversed"};
constexpr Logical kSenseV{"forward_v", "reverse_v"};
constexpr Logical kSides{"single", "double"};
constexpr Logical kContainment{"out", "in"};
// An end of a parameter interval: infinite, or finite with its value next.
constexpr Logical kBound{"I", "F"};
constexpr Logical kRotation{"no_rotate", "rotate"};
constexpr Logical kReflection{"no_reflect", "reflect"};
constexpr Logical kShear{"no_shear", "shear"};
constexpr Logical kPlain{"F", "T"};

constexpr Logical kFace[] = {kSense, kSides, kContainment};
constexpr Logical kSensed[] = {kSense};
constexpr Logical kInterval[] = {kBound, kBound};
constexpr Logical kSensedInterval[] = {kSense, kBound, kBound};
constexpr Logical kSurfaceV[] = {kSenseV, kBound, kBound, kBound, kBound};
constexpr Logical kSensedSurface[] = {kSense, kBound, kBound, kBound, kBound};
constexpr Logical kCone[] = {kBound, kBound, kSense, kBound, kBound, kBound, kBound};
constexpr Logical kTransform[] = {kRotation, kReflection, kShear};

struct KindLogicals {
  std::string_view kind;
  std::span<const Logical> words;
};

// The logicals of each record kind, in the order they come outside any
// "{ }" block. Face, coedge, edge, the analytic surfaces and curves and the
// transform were checked against text and binary saves of the same models;
// the spline surface, intcurve and pcurve follow the same pattern.
constexpr KindLogicals kKinds[] = {
    {"face", kFace},
    {"coedge", kSensed},
    {"edge", kSensed},
    {"pcurve", kSensed},
    {"straight-curve", kInterval},
    {"ellipse-curve", kInterval},
    {"intcurve-curve", kSensedInterval},
    {"plane-surface", kSurfaceV},
    {"sphere-surface", kSurfaceV},
    {"torus-surface", kSurfaceV},
    {"cone-surface", kCone},
    {"spline-surface", kSensedSurface},
    {"transform", kTransform},
};

// The words of KIND's logicals: those of the longest ending of KIND (on a
// '-') that the table knows; none for other kinds.
std::span<const Logical> logicalsOf(std::string_view kind) {
  while (true) {
    for (const KindLogicals& k : kKinds)
      if (k.kind == kind) return k.words;
    size_t dash = kind.find('-');
    if (dash == std::string_view::npos) return {};
    kind.remove_prefix(dash + 1);
  }
}

// Where an enumeration's number stands in the head of a B-spline
// ("nubs 3 open 4", "nurbs 3 3 open open none none 2 2"): after its one or
// two degrees come as many closures, whose words are known.
class SplineHead {
public:
  void keyword(std::string_view word) {
    active_ = word == "nubs" || word == "nurbs";
    degrees_ = enums_ = 0;
  }
  void number() {
    if (active_ && enums_ == 0) ++degrees_;
    else active_ = false;
  }
  // The word for enumeration value N here, empty when it isn't known.
  std::string_view enumeration(int64_t n) {
    std::string_view word;
    if (active_ && (degrees_ == 1 || degrees_ == 2) && enums_ < degrees_ && n >= 0 && n <= 2) {
      static constexpr std::string_view kClosure[] = {"open", "closed", "periodic"};
      word = kClosure[n];
    }
    ++enums_;
    return word;
  }
  void other() { active_ = false; }

private:
  bool active_ = false;
  int degrees_ = 0, enums_ = 0;
};

void appendNumber(std::string& out, double v) {
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 19);
  out.append(buf, r.ptr);
}

bool isControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }
bool hasControl(std::string_view s) { return std::any_of(s.begin(), s.end(), isControl); }
// A record kind or keyword model text can't hold: empty, or with a blank
// or control character (it would not read back as one word).
bool badKeyword(std::string_view word) {
  return word.empty() || std::any_of(word.begin(), word.end(), [](char c) { return c == ' ' || isControl(c); });
}

// The header strings STYLE writes: product and modeller version, and the
// save date but in DXF's style.
size_t headerStringsWritten(const SatDocument& doc, SatTextStyle style) {
  if (doc.version < 200) return 0;
  return std::min(doc.headerStrings.size(), size_t{style == SatTextStyle::kDxf ? 2u : 3u});
}

bool appendString(std::string& out, const std::string& s, int version, std::string& reason) {
  if (hasControl(s)) {
    reason = "solid model string holds a control character";
    return false;
  }
  if (version >= 700) out += '@';
  out += std::to_string(s.size());
  out += ' ';
  out += s;
  return true;
}

bool appendRecord(std::string& out, const SatRecord& rec, int version, std::string& reason) {
  if (badKeyword(rec.kind)) {
    reason = "solid model record kind \"" + rec.kind + "\" has no text form";
    return false;
  }
  out += rec.kind;
  const std::span<const Logical> logicals = logicalsOf(rec.kind);
  size_t logical = 0;
  int depth = 0;
  SplineHead head;
  for (const SatValue& v : rec.values) {
    out += ' ';
    switch (v.kind) {
    case SatKind::Pointer:
      out += '$';
      out += std::to_string(v.integer);
      head.other();
      break;
    case SatKind::Integer: {
      std::string_view word = v.enumerated ? head.enumeration(v.integer) : std::string_view();
      if (!v.enumerated) head.number();
      if (word.empty()) out += std::to_string(v.integer);
      else out += word;
      break;
    }
    case SatKind::Double:
      appendNumber(out, v.number);
      head.other();
      break;
    case SatKind::Vector:
      appendNumber(out, v.vec.x);
      out += ' ';
      appendNumber(out, v.vec.y);
      if (!v.planar) {
        out += ' ';
        appendNumber(out, v.vec.z);
      }
      head.other();
      break;
    case SatKind::String:
      if (!appendString(out, v.text, version, reason)) return false;
      head.other();
      break;
    case SatKind::Word:
      if (badKeyword(v.text)) {
        reason = "solid model keyword \"" + v.text + "\" has no text form";
        return false;
      }
      out += v.text;
      head.keyword(v.text);
      break;
    case SatKind::True:
    case SatKind::False: {
      // Logicals inside a block belong to its subtype, whose fields we
      // don't name.
      Logical words = depth == 0 && logical < logicals.size() ? logicals[logical] : kPlain;
      if (depth == 0) ++logical;
      out += v.kind == SatKind::True ? words.yes : words.no;
      head.other();
      break;
    }
    case SatKind::Open:
      out += '{';
      ++depth;
      head.other();
      break;
    case SatKind::Close:
      out += '}';
      --depth;
      head.other();
      break;
    }
  }
  out += " #\n";
  return true;
}

} // namespace

bool writeSatText(const SatDocument& doc, SatTextStyle style, std::string& text, std::string& reason) {
  text.clear();
  text += std::to_string(doc.version) + ' ' + std::to_string(doc.records.size()) + ' ' +
          std::to_string(doc.declaredBodies) + ' ' + std::to_string(doc.flags) + '\n';
  if (doc.version >= 200) {
    // Product, modeller version, save date: each as its length and text,
    // without the '@' that strings of records take.
    std::array<std::string_view, 3> strings{};
    for (size_t i = 0; i < strings.size() && i < doc.headerStrings.size(); ++i) strings[i] = doc.headerStrings[i];
    if (style == SatTextStyle::kDxf) strings[2] = {};
    for (size_t i = 0; i < strings.size(); ++i) {
      if (hasControl(strings[i])) {
        reason = "solid model header string holds a control character";
        return false;
      }
      if (i > 0) text += ' ';
      text += std::to_string(strings[i].size());
      if (!strings[i].empty()) {
        text += ' ';
        text += strings[i];
      }
    }
    text += '\n';
    // Millimetres per unit and the two tolerances; the modeller's own
    // tolerances where the document has none.
    std::vector<double> units = doc.headerNumbers;
    if (units.size() < 3) units = {doc.unitsMm, 1e-6, 1e-10};
    for (size_t i = 0; i < units.size(); ++i) {
      if (i > 0) text += ' ';
      appendNumber(text, units[i]);
    }
    text += '\n';
  }
  for (const SatRecord& rec : doc.records)
    if (!appendRecord(text, rec, doc.version, reason)) return false;
  if (style == SatTextStyle::kFile)
    text += (doc.endMarker.starts_with("End-of-") ? doc.endMarker : std::string("End-of-ACIS-data")) + '\n';
  return true;
}

bool satHeaderHasTextForm(const SatDocument& doc, SatTextStyle style, std::string& reason) {
  for (size_t i = 0; i < headerStringsWritten(doc, style); ++i) {
    if (hasControl(doc.headerStrings[i])) {
      reason = "solid model header string holds a control character";
      return false;
    }
  }
  return true;
}

bool satRecordHasTextForm(const SatRecord& rec, std::string& reason) {
  if (badKeyword(rec.kind)) {
    reason = "solid model record kind \"" + rec.kind + "\" has no text form";
    return false;
  }
  for (const SatValue& v : rec.values) {
    if (v.kind == SatKind::String && hasControl(v.text)) {
      reason = "solid model string holds a control character";
      return false;
    }
    if (v.kind == SatKind::Word && badKeyword(v.text)) {
      reason = "solid model keyword \"" + v.text + "\" has no text form";
      return false;
    }
  }
  return true;
}

bool hasSatTextForm(const SatDocument& doc, SatTextStyle style, std::string& reason) {
  if (!satHeaderHasTextForm(doc, style, reason)) return false;
  for (const SatRecord& rec : doc.records)
    if (!satRecordHasTextForm(rec, reason)) return false;
  return true;
}

bool sabToSatText(const uint8_t* data, size_t size, SatTextStyle style, std::string& text, std::string& reason) {
  SatDocument doc;
  if (!readSab(data, size, doc, reason)) return false;
  return writeSatText(doc, style, text, reason);
}

} // namespace corvane::solids
