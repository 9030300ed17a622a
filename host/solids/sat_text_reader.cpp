#include "solids/sat_text_reader.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace corvane::solids {
namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

class TextCursor {
public:
  explicit TextCursor(std::string_view t) : t_(t) {}
  void skipSpace() {
    while (p_ < t_.size() && isSpace(t_[p_])) ++p_;
  }
  bool atEnd() {
    skipSpace();
    return p_ >= t_.size();
  }
  // The next whitespace-delimited token (empty at the end).
  std::string_view token() {
    skipSpace();
    size_t b = p_;
    start_ = b;
    while (p_ < t_.size() && !isSpace(t_[p_])) ++p_;
    return t_.substr(b, p_ - b);
  }
  std::string_view peekToken() {
    size_t save = p_;
    std::string_view tok = token();
    p_ = save;
    return tok;
  }
  // The rest of the current line, cursor moved past its newline.
  std::string_view line() {
    size_t b = p_;
    while (p_ < t_.size() && t_[p_] != '\n') ++p_;
    std::string_view l = t_.substr(b, p_ - b);
    if (p_ < t_.size()) ++p_;
    return l;
  }
  // After "@n": one separator, then exactly n characters.
  bool counted(size_t n, std::string& out) {
    if (p_ < t_.size() && t_[p_] == ' ') ++p_;
    if (t_.size() - p_ < n) return false;
    out.assign(t_.substr(p_, n));
    p_ += n;
    return true;
  }
  size_t position() const { return p_; }
  void seek(size_t p) { p_ = p; }
  // Where the last token read starts.
  size_t tokenStart() const { return start_; }

private:
  std::string_view t_;
  size_t p_ = 0;
  size_t start_ = 0;
};

bool parseInteger(std::string_view s, int64_t& v) {
  if (s.empty()) return false;
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool parseNumber(std::string_view s, double& v) {
  if (s.empty()) return false;
  char c = s[0];
  if (!(isDigit(c) || c == '-' || c == '+' || c == '.')) return false;
  if (c == '+') s.remove_prefix(1);
  auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(v);
}

bool isRecordStart(std::string_view line) {
  // A record starts with its kind name, optionally preceded by "-<index> ".
  size_t p = 0;
  while (p < line.size() && isSpace(line[p])) ++p;
  if (p < line.size() && line[p] == '-') {
    size_t q = p + 1;
    while (q < line.size() && isDigit(line[q])) ++q;
    if (q == p + 1) return false;
    while (q < line.size() && isSpace(line[q])) ++q;
    p = q;
  }
  if (p >= line.size()) return false;
  char c = line[p];
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The product line: counted strings ("16 Autodesk AutoCAD", or "@16 ..."
// as some writers put it), each count followed by one blank and the text.
bool countedStrings(std::string_view line, std::vector<std::string>& out) {
  out.clear();
  size_t p = 0;
  while (true) {
    while (p < line.size() && isSpace(line[p])) ++p;
    if (p >= line.size()) return !out.empty();
    if (line[p] == '@') ++p;
    size_t q = p;
    while (q < line.size() && isDigit(line[q])) ++q;
    int64_t n = 0;
    if (!parseInteger(line.substr(p, q - p), n) || n < 0) return false;
    p = q;
    if (n > 0) {
      if (p >= line.size() || line[p] != ' ' || line.size() - p - 1 < size_t(n)) return false;
      ++p;
    }
    out.emplace_back(line.substr(p, size_t(n)));
    p += size_t(n);
  }
}

bool isEndMarker(std::string_view kind) { return kind.starts_with("End-of-") || kind.starts_with("Begin-of-"); }

} // namespace

bool readSatText(std::string_view text, SatDocument& doc, std::string& reason) {
  doc = SatDocument{};
  TextCursor cur(text);
  int64_t header[4] = {0, 0, 0, 0};
  for (int i = 0; i < 4; ++i) {
    if (!parseInteger(cur.token(), header[i])) {
      reason = "solid model text has no valid header line";
      return false;
    }
  }
  if (!takeSatHeader(header, doc, reason)) return false;
  doc.flags = header[3];
  cur.line(); // rest of the header line (padding)

  // Product/date and units lines: present from version 2 on, recognised by
  // their shape rather than by version so that unusual writers still read.
  for (int i = 0; i < 2 && !cur.atEnd(); ++i) {
    size_t save = cur.position();
    std::string_view l = cur.line();
    if (isRecordStart(l)) {
      cur.seek(save);
      break;
    }
    // The units line is all numbers: millimetres per unit, then tolerances.
    TextCursor lc(l);
    std::vector<double> numbers;
    bool allNumbers = true;
    for (std::string_view tok = lc.token(); !tok.empty(); tok = lc.token()) {
      double value = 0;
      if (!parseNumber(tok, value)) allNumbers = false;
      numbers.push_back(value);
    }
    if (allNumbers && numbers.size() >= 3 && numbers[0] > 0) {
      doc.unitsMm = numbers[0];
      doc.headerNumbers = std::move(numbers);
    } else if (!allNumbers && doc.headerStrings.empty() && !countedStrings(l, doc.headerStrings)) {
      doc.headerStrings.clear();
    }
  }

  while (true) {
    if (cur.atEnd()) {
      // Some writers cut the end marker off; the records read are whole.
      if (doc.records.empty()) {
        reason = "solid model text has no records";
        return false;
      }
      doc.missingEndMarker = true;
      doc.endAt = text.size();
      break;
    }
    std::string_view kind = cur.token();
    size_t recordAt = cur.tokenStart();
    if (kind.size() > 1 && kind[0] == '-' && isDigit(kind[1])) kind = cur.token();
    if (isEndMarker(kind)) {
      doc.endAt = recordAt;
      doc.endMarker.assign(kind);
      break;
    }
    if (kind.empty() || !((kind[0] >= 'a' && kind[0] <= 'z') || (kind[0] >= 'A' && kind[0] <= 'Z'))) {
      reason = "solid model record " + std::to_string(doc.records.size()) + " does not start with a kind name";
      return false;
    }
    if (doc.records.size() >= kMaxSatRecords) {
      reason = "solid model has too many records";
      return false;
    }
    SatRecord rec;
    rec.at = recordAt;
    rec.kind.assign(kind);
    while (true) {
      if (cur.atEnd()) {
        reason = "solid model record " + std::to_string(doc.records.size()) + " (" + rec.kind + ") is truncated";
        return false;
      }
      std::string_view tok = cur.token();
      if (tok == "#") break;
      SatValue v;
      v.at = cur.tokenStart();
      int64_t n = 0;
      if (tok[0] == '$') {
        if (!parseInteger(tok.substr(1), n) || n < -1) {
          reason = "bad reference \"" + std::string(tok) + "\" in record " + std::to_string(doc.records.size());
          return false;
        }
        v.kind = SatKind::Pointer;
        v.integer = n;
      } else if (tok[0] == '@') {
        if (!parseInteger(tok.substr(1), n) || n < 0 || !cur.counted(size_t(n), v.text)) {
          reason = "bad string in record " + std::to_string(doc.records.size());
          return false;
        }
        v.kind = SatKind::String;
      } else if (tok == "{") {
        v.kind = SatKind::Open;
      } else if (tok == "}") {
        v.kind = SatKind::Close;
      } else if (parseInteger(tok, n) && !(n == 0 && tok[0] == '-')) { // "-0": a negative zero, kept
        v.kind = SatKind::Integer;
        v.integer = n;
        v.number = double(n);
      } else if (parseNumber(tok, v.number)) {
        v.kind = SatKind::Double;
      } else {
        // A "#" glued to the last value still ends the record.
        bool ends = tok.size() > 1 && tok.back() == '#';
        if (ends) tok.remove_suffix(1);
        v.kind = SatKind::Word;
        v.text.assign(tok);
        if (parseNumber(tok, v.number)) v.kind = SatKind::Double;
        rec.values.push_back(std::move(v));
        if (ends) break;
        continue;
      }
      rec.values.push_back(std::move(v));
    }
    doc.records.push_back(std::move(rec));
  }
  return true;
}

} // namespace corvane::solids
