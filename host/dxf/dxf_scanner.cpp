#include "dxf/dxf_scanner.h"

#include <bit>
#include <cstdio>
#include <cstring>

#include "dxf/dxf_cursor.h"
#include "dxf/dxf_polyline_tally.h"

namespace corvane {

namespace {

// A value shown in a message: at most 40 bytes, control bytes escaped.
std::string quoted(std::string_view value) {
  std::string out = "'";
  size_t n = 0;
  for (char c : value) {
    if (++n > 40) {
      out += "...";
      break;
    }
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", u);
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "'";
}

// The common shape of a real, "[-]digits[.digits]" with fewer than 300
// integer digits, is a finite number; anything else takes the full check.
inline bool isPlainReal(std::string_view v) {
  const char* p = v.data();
  const char* e = p + v.size();
  if (p < e && *p == '-') ++p;
  const char* digits = p;
  while (p < e && static_cast<unsigned char>(*p - '0') < 10) ++p;
  size_t intDigits = static_cast<size_t>(p - digits);
  if (p < e && *p == '.') {
    ++p;
    const char* fraction = p;
    while (p < e && static_cast<unsigned char>(*p - '0') < 10) ++p;
    if (intDigits == 0 && p == fraction) return false;
  } else if (intDigits == 0) {
    return false;
  }
  return p == e && intDigits < 300;
}

// Skips ASCII digits from P, eight bytes at a time, at most about LIMIT of
// them; returns the first byte that is not one. A byte counts as a digit
// when its high nibble is 3 and adding 6 keeps it so. Adding 6 may carry
// out of a byte above '9', which only disturbs the bytes after it: the
// lowest flagged byte is exact.
inline const char* skipDigits(const char* p, size_t limit) {
  const char* start = p;
  while (true) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    if constexpr (std::endian::native != std::endian::little) w = __builtin_bswap64(w);
    constexpr uint64_t kHigh = 0xF0F0F0F0F0F0F0F0ULL, kThrees = 0x3030303030303030ULL;
    uint64_t t = ((w & kHigh) ^ kThrees) | (((w + 0x0606060606060606ULL) & kHigh) ^ kThrees);
    if (t != 0) return p + (__builtin_ctzll(t) >> 3);
    p += 8;
    if (static_cast<size_t>(p - start) >= limit) return p;
  }
}

// Whether V is the word WORD. With the length known at compile time the
// comparison is a load or two, not a library call: it runs for every
// object's type.
template <size_t N> inline bool isWord(std::string_view v, const char (&word)[N]) {
  return v.size() == N - 1 && std::memcmp(v.data(), word, N - 1) == 0;
}

bool isSubEntity(std::string_view type) {
  return isWord(type, "VERTEX") || isWord(type, "SEQEND") || isWord(type, "ATTRIB");
}

class Scanner {
public:
  Scanner(std::string_view text, std::string_view fileName, DxfObjectSink& sink)
      : text_(text), fileName_(fileName), sink_(sink) {}

  DxfScanResult run();

private:
  struct Group : DxfGroupView {
    uint32_t where = 0; // line of the code (text), offset of the group (binary)
  };

  // Reads the next group into g_. False at the end of the file (error_
  // empty) or on a bad group (error_ set).
  [[gnu::always_inline]] bool next() {
    if (pos_ >= text_.size()) return false;
    if (pos_ >= nextPassed_) {
      sink_.passed(pos_);
      nextPassed_ = pos_ + kPassedEvery;
    }
    if (binary_) return nextBinary();
    return (styleFound_ && text_.size() - pos_ >= kFastMargin && fastText()) || nextText();
  }
  [[gnu::noinline]] bool nextText();
  [[gnu::always_inline]] inline bool fastText();
  static constexpr size_t kFastMargin = 128;
  [[gnu::always_inline]] inline bool nextBinary();
  // The refusal of a binary group that can't be read (PROBLEM), or of a
  // real that is not finite (kNone); returns false.
  [[gnu::noinline]] bool failBinary(DxfBinaryProblem problem, size_t begin);
  // Sets error_ (unless set) to what went wrong at WHERE (a line, or in a
  // binary file an offset); returns false.
  bool fail(uint64_t where, const std::string& what);
  bool failEnd(const char* what);
  bool refuseEncoding();
  std::string_view name() const { return trimBlanks(g_.text()); }

  bool section(std::string_view sectionName);
  bool header();
  bool drawingObjects(bool blocks);
  bool tables();
  bool objects();
  bool acdsData();
  bool skipSection();
  // True when the current group is 0 ENDSEC; false with error_ set for a
  // section that ends without one.
  bool atSectionEnd(std::string_view sectionName, bool& ended) {
    ended = false;
    return g_.code != 0 || checkSectionEnd(sectionName, ended);
  }
  bool checkSectionEnd(std::string_view sectionName, bool& ended);

  void startObject(DxfObjectRole role);
  [[gnu::always_inline]] inline void ownGroup();
  void finishObject(size_t endPos);
  void startSub(std::string_view type);
  void subGroup();
  void finishSub();

  std::string_view text_;
  std::string_view fileName_;
  DxfObjectSink& sink_;
  DxfScanResult result_;
  std::string error_;
  size_t pos_ = 0;
  static constexpr size_t kPassedEvery = size_t{1} << 20;
  size_t nextPassed_ = kPassedEvery;
  uint32_t line_ = 0;
  bool binary_ = false;
  Group g_;
  bool styleFound_ = false;
  bool intStyleFound_ = false;

  // The object being read.
  bool haveObject_ = false;
  bool inOwn_ = false;
  bool inXData_ = false;
  bool xdataClosed_ = false;
  bool inBlock_ = false;
  std::string_view tableName_;
  DxfObjectInfo cur_;
  uint32_t ordinal_ = 0;
  bool isPolyline_ = false;
  bool isDimStyle_ = false;
  bool seen62_ = false, seen70_ = false;
  int meshM_ = 0, meshN_ = 0;
  // Polyline vertices seen so far.
  std::string_view subType_;
  int subFlags_ = 0;
  int subIndex_[4] = {0, 0, 0, 0};
  uint32_t subLine_ = 0;
  DxfPolylineTally tally_;
  // Table header bookkeeping.
  DxfRange tableCount_;
  long long tableCountValue_ = 0;
  bool tableCountSeen_ = false;
};

bool Scanner::fail(uint64_t where, const std::string& what) {
  if (error_.empty()) error_ = dxfLocation(fileName_, result_.layout.style.encoding, where) + ": " + what;
  return false;
}

bool Scanner::failEnd(const char* what) {
  if (binary_) return fail(text_.size(), what);
  return fail(line_ == 0 ? 1 : line_, what);
}

inline bool Scanner::nextBinary() {
  const size_t begin = pos_;
  const DxfBinaryProblem problem = readBinaryGroup(text_, pos_, result_.layout.style.encoding, g_);
  // A double is not finite when all its exponent bits are set.
  if (problem != DxfBinaryProblem::kNone ||
      (kDxfBinaryTypes[static_cast<size_t>(g_.code)] == DxfBinaryType::kReal &&
       (g_.value[7] & 0x7F) == 0x7F && (g_.value[6] & 0xF0) == 0xF0))
    return failBinary(problem, begin);
  pos_ = g_.end;
  g_.where = static_cast<uint32_t>(begin);
  return true;
}

bool Scanner::failBinary(DxfBinaryProblem problem, size_t begin) {
  const std::string code = std::to_string(g_.code);
  switch (problem) {
  case DxfBinaryProblem::kCutInCode: return fail(begin, "the file ends inside a group code (truncated)");
  case DxfBinaryProblem::kCodeRange: return fail(begin, "group code " + code + " is outside 0..1071");
  case DxfBinaryProblem::kCutInValue: return fail(begin, "the file ends inside group " + code + " (truncated)");
  case DxfBinaryProblem::kNone: break;
  }
  return fail(begin, "group " + code + " value is not a finite number");
}

// The usual group, read with no more than a glance per byte: a code line of
// up to three blanks and one to four digits, and a value line that is
// plainly what the code asks for ("[-]digits[.digits]" for a real, blanks
// and "[-]digits" for an integer, anything for text). False, with nothing
// changed, for whatever else; nextText then reads the group the long way,
// which also finds the words for what is wrong. The caller guarantees
// kFastMargin bytes after pos_, so that a code line and a numeric value
// line are read without a bounds check per byte.
inline bool Scanner::fastText() {
  const char* base = text_.data();
  const char* p = base + pos_;
  int code;
  const char* q = readUsualCodeLine(p, code);
  if (q == nullptr || code > kMaxDxfCode) return false;
  const char* value = q;
  const DxfValueKind kind = dxfValueKind(code);
  size_t next;
  if (kind == DxfValueKind::kText) {
    // Eight bytes at a time, as readDxfLine does, while the margin lasts; a
    // longer line takes the long way.
    const char* r = value;
    const char* last = p + kFastMargin - 8;
    while (true) {
      if (r > last) return false;
      uint64_t w;
      std::memcpy(&w, r, 8);
      if constexpr (std::endian::native != std::endian::little) w = __builtin_bswap64(w);
      const uint64_t x = w ^ 0x0A0A0A0A0A0A0A0AULL;
      const uint64_t t = (x - 0x0101010101010101ULL) & ~x & 0x8080808080808080ULL;
      if (t != 0) {
        r += __builtin_ctzll(t) >> 3;
        break;
      }
      r += 8;
    }
    next = static_cast<size_t>(r + 1 - base);
    if (r > value && r[-1] == '\r') --r;
    g_.value = std::string_view(value, static_cast<size_t>(r - value));
  } else {
    const char* r = value;
    if (kind == DxfValueKind::kInt) {
      if (!intStyleFound_) return false;
      for (int blanks = 0; blanks < 8 && *r == ' '; ++blanks) ++r;
      if (*r == '-') ++r;
      const char* digits = r;
      r = skipDigits(r, 16);
      if (r == digits || r - digits > 18) return false;
    } else {
      if (*r == '-') ++r;
      const char* digits = r;
      r = skipDigits(r, 32);
      const bool intDigits = r != digits;
      if (*r == '.') {
        ++r;
        const char* fraction = r;
        r = skipDigits(r, 32);
        if (!intDigits && r == fraction) return false;
      } else if (!intDigits) {
        return false;
      }
    }
    if (*r == '\n') {
      next = static_cast<size_t>(r + 1 - base);
    } else if (*r == '\r' && r[1] == '\n') {
      next = static_cast<size_t>(r + 2 - base);
    } else {
      return false;
    }
    g_.value = std::string_view(value, static_cast<size_t>(r - value));
  }
  g_.code = code;
  g_.begin = pos_;
  g_.end = next;
  g_.where = ++line_;
  ++line_;
  pos_ = next;
  return true;
}

bool Scanner::nextText() {
  std::string_view codeLine, valueLine;
  size_t begin = pos_;
  size_t afterCode = readDxfLine(text_, pos_, codeLine);
  uint32_t codeLineNo = ++line_;
  if (!styleFound_) {
    // The first line tells the file's line end; the first 0 group (checked
    // below) how it aligns codes.
    result_.layout.style.lineEnd =
        (afterCode >= 2 && text_[afterCode - 1] == '\n' && text_[afterCode - 2] == '\r') ? "\r\n"
                                                                                          : "\n";
  }
  // The usual code line is up to four digits after blanks; anything else
  // takes the general parser.
  std::optional<int> code;
  {
    const char* p = codeLine.data();
    const char* e = p + codeLine.size();
    while (p < e && *p == ' ') ++p;
    int v = 0, digits = 0;
    while (p < e && digits < 5 && *p >= '0' && *p <= '9') {
      v = v * 10 + (*p++ - '0');
      ++digits;
    }
    if (p == e && digits > 0 && digits < 5)
      code = v;
    else
      code = parseGroupCode(codeLine);
  }
  if (!code) {
    if (codeLine.find('\r') != std::string_view::npos)
      return fail(codeLineNo, "the lines end with CR alone; DXF lines end with LF or CR LF");
    if (afterCode == text_.size() && text_.back() != '\n')
      return fail(codeLineNo, "the file ends inside a group code (truncated)");
    return fail(codeLineNo, "group code " + quoted(codeLine) + " is not a number");
  }
  if (*code < kMinDxfCode || *code > kMaxDxfCode)
    return fail(codeLineNo, "group code " + std::to_string(*code) + " is outside 0..1071");
  if (afterCode >= text_.size())
    return fail(codeLineNo, "group code " + std::to_string(*code) + " has no value (file truncated)");
  pos_ = readDxfLine(text_, afterCode, valueLine);
  ++line_;
  // A value that fails its check at the very end of the file, without a
  // line end, was cut off there.
  auto failValue = [&](const std::string& what) {
    if (pos_ == text_.size() && text_.back() != '\n')
      return fail(line_, "the file ends inside the value of group " + std::to_string(*code) + " (truncated)");
    return fail(line_, what);
  };
  switch (dxfValueKind(*code)) {
  case DxfValueKind::kText:
    break;
  case DxfValueKind::kReal: {
    if (isPlainReal(valueLine)) break;
    NumberCheck c = checkDxfReal(valueLine);
    if (c == NumberCheck::kNotNumber)
      return failValue("group " + std::to_string(*code) + " needs a number, found " + quoted(valueLine));
    if (c == NumberCheck::kNotFinite)
      return failValue("group " + std::to_string(*code) + " value " + quoted(valueLine) +
                       " is not a finite number");
    break;
  }
  case DxfValueKind::kInt:
    if (checkDxfInt(valueLine) != NumberCheck::kOk)
      return failValue("group " + std::to_string(*code) + " needs an integer, found " +
                       quoted(valueLine));
    if (!intStyleFound_) {
      intStyleFound_ = true;
      result_.layout.style.padIntegers = !valueLine.empty() && valueLine[0] == ' ';
    }
    break;
  }
  if (*code == 0 && !styleFound_) {
    styleFound_ = true;
    result_.layout.style.padCodes = !codeLine.empty() && codeLine[0] == ' ';
  }
  g_.code = *code;
  g_.value = valueLine;
  g_.begin = begin;
  g_.end = pos_;
  g_.where = codeLineNo;
  return true;
}

// Recognises the file's form before the first group is read: binary DXF
// (and which code width), or a form the loader does not read. True when the
// file is refused, with error_ saying why in words.
bool Scanner::refuseEncoding() {
  DxfStyle& style = result_.layout.style;
  if (text_.starts_with(kDxfBinarySentinel)) {
    binary_ = true;
    // The first group is 0 SECTION: "00 'S'" with one-byte codes, "00 00
    // 'S'" with two-byte ones (a leading comment 999 opens with the escape).
    size_t at = kDxfBinarySentinel.size();
    bool byteCodes = text_.size() > at + 1 && ((text_[at] == 0 && text_[at + 1] != 0) ||
                                               static_cast<unsigned char>(text_[at]) == 255);
    style.encoding = byteCodes ? DxfEncoding::kBinaryByteCodes : DxfEncoding::kBinaryWordCodes;
    return false;
  }
  if (text_.starts_with("AutoCAD Binary DXF") || kDxfBinarySentinel.starts_with(text_)) {
    binary_ = true;
    style.encoding = DxfEncoding::kBinaryWordCodes;
    if (text_.size() < kDxfBinarySentinel.size())
      return !fail(text_.size(), "the file ends inside the binary DXF sentinel (truncated)");
    return !fail(18, "the binary DXF sentinel is damaged (CR LF SUB NUL should follow its name)");
  }
  if (text_.starts_with("AC10") || text_.starts_with("AC2")) return !fail(1, "this is a DWG drawing, not a DXF file");
  // UTF-16 text, with or without a byte-order mark: every other byte of its
  // ASCII is NUL, which no DXF text has.
  if (text_.starts_with("\xFF\xFE") || text_.starts_with("\xFE\xFF") ||
      (text_.size() >= 2 && (text_[0] == 0) != (text_[1] == 0)))
    return !fail(1, "the file is UTF-16 text; DXF text is read as ASCII or UTF-8 (save it in one of those)");
  return false;
}

DxfScanResult Scanner::run() {
  if (text_.empty()) {
    fail(1, "the file is empty");
    result_.error = error_;
    return std::move(result_);
  }
  if (!refuseEncoding()) {
    if (binary_)
      pos_ = kDxfBinarySentinel.size();
    else if (text_.starts_with("\xEF\xBB\xBF"))
      pos_ = 3; // a byte-order mark is no group
    bool sawEof = false;
    bool sawTables = false;
    bool insertionFound = false;
    bool entitiesPlaceFound = false;
    while (next()) {
      if (g_.code == 999) continue;
      if (g_.code != 0) {
        fail(g_.where, "expected SECTION or EOF, found group " + std::to_string(g_.code));
        break;
      }
      if (isWord(name(), "EOF")) {
        sawEof = true;
        if (!insertionFound) result_.layout.newTablesAt = g_.begin;
        if (!entitiesPlaceFound) result_.layout.newEntitiesAt = g_.begin;
        break;
      }
      if (!isWord(name(), "SECTION")) {
        fail(g_.where, "expected SECTION or EOF, found " + quoted(name()));
        break;
      }
      size_t sectionBegin = g_.begin;
      uint32_t sectionLine = g_.where;
      if (!next()) {
        if (error_.empty()) failEnd("file ends inside a SECTION (no EOF)");
        break;
      }
      if (g_.code != 2) {
        fail(sectionLine, "SECTION without a name (2 group)");
        break;
      }
      std::string sectionName(name());
      if (!insertionFound && !isWord(sectionName, "HEADER") && !isWord(sectionName, "CLASSES")) {
        insertionFound = true;
        result_.layout.newTablesAt = sectionBegin;
      }
      if (isWord(sectionName, "TABLES")) sawTables = true;
      // A new ENTITIES section would go before the sections that follow it.
      if (!entitiesPlaceFound && (isWord(sectionName, "OBJECTS") || isWord(sectionName, "THUMBNAILIMAGE") ||
                                  isWord(sectionName, "ACDSDATA"))) {
        entitiesPlaceFound = true;
        result_.layout.newEntitiesAt = sectionBegin;
      }
      if (!section(sectionName)) break;
    }
    (void)sawTables;
    // A file without integers pads them (or not) as it pads its codes.
    if (!intStyleFound_) result_.layout.style.padIntegers = result_.layout.style.padCodes;
    if (error_.empty() && !sawEof) failEnd("the file ends without EOF (truncated)");
  }
  if (!error_.empty()) {
    result_.error = error_;
  } else {
    const std::string& v = result_.layout.version;
    if (v.size() == 6 && v.compare(0, 2, "AC") == 0 && v >= "AC1012") result_.layout.handlesOn = true;
  }
  return std::move(result_);
}

bool Scanner::section(std::string_view sectionName) {
  if (isWord(sectionName, "HEADER")) return header();
  if (isWord(sectionName, "ENTITIES")) return drawingObjects(false);
  if (isWord(sectionName, "BLOCKS")) return drawingObjects(true);
  if (isWord(sectionName, "TABLES")) return tables();
  if (isWord(sectionName, "OBJECTS")) return objects();
  if (isWord(sectionName, "ACDSDATA")) return acdsData();
  return skipSection();
}

bool Scanner::checkSectionEnd(std::string_view sectionName, bool& ended) {
  std::string_view v = name();
  if (isWord(v, "ENDSEC")) {
    ended = true;
    return true;
  }
  if (isWord(v, "EOF") || isWord(v, "SECTION"))
    return fail(g_.where, "section " + std::string(sectionName) + " is not closed by ENDSEC before " +
                             std::string(v));
  return true;
}

bool Scanner::skipSection() {
  while (next()) {
    bool ended;
    if (!atSectionEnd("", ended)) return false;
    if (ended) return true;
  }
  if (error_.empty()) failEnd("the file ends inside a section (no ENDSEC, no EOF)");
  return false;
}

bool Scanner::header() {
  std::string_view variable;
  while (next()) {
    bool ended;
    if (!atSectionEnd("HEADER", ended)) return false;
    if (ended) return true;
    if (g_.code == 9) {
      variable = name();
    } else if (isWord(variable, "$ACADVER") && g_.code == 1) {
      result_.layout.version = std::string(name());
    } else if (isWord(variable, "$HANDSEED") && g_.code == 5) {
      size_t valueBegin = static_cast<size_t>(g_.value.data() - text_.data());
      result_.layout.handSeed = DxfRange{valueBegin, valueBegin + g_.value.size()};
    } else if (isWord(variable, "$HANDLING") && g_.code == 70) {
      if (g_.integer() != 0) result_.layout.handlesOn = true;
    }
  }
  if (error_.empty()) failEnd("the file ends inside the HEADER section (no ENDSEC, no EOF)");
  return false;
}

void Scanner::startObject(DxfObjectRole role) {
  haveObject_ = true;
  inOwn_ = true;
  inXData_ = false;
  xdataClosed_ = false;
  cur_ = DxfObjectInfo{};
  cur_.role = role;
  cur_.inBlock = inBlock_;
  cur_.begin = g_.begin;
  cur_.afterType = pos_;
  cur_.type = name();
  cur_.table = tableName_;
  cur_.line = g_.where;
  cur_.xdataBegin = cur_.xdataEnd = SIZE_MAX;
  isPolyline_ = role == DxfObjectRole::kEntity && isWord(cur_.type, "POLYLINE");
  isDimStyle_ = role == DxfObjectRole::kTableRecord && isWord(tableName_, "DIMSTYLE");
  seen62_ = seen70_ = false;
  meshM_ = meshN_ = 0;
  subType_ = {};
  tally_ = {};
  tableCountSeen_ = false;
}

inline void Scanner::ownGroup() {
  int code = g_.code;
  if (code >= 1000) {
    if (!inXData_ && !xdataClosed_ && code == 1001) {
      inXData_ = true;
      cur_.xdataBegin = g_.begin;
    }
    return;
  }
  if (inXData_) {
    // Extended data runs to the first ordinary group after it.
    inXData_ = false;
    xdataClosed_ = true;
    cur_.xdataEnd = g_.begin;
  }
  if (xdataClosed_) return;
  switch (code) {
  case 5:
    if (!isDimStyle_ && cur_.handle.empty()) cur_.handle = name();
    break;
  case 105:
    if (isDimStyle_ && cur_.handle.empty()) cur_.handle = name();
    break;
  case 2:
    if (cur_.role == DxfObjectRole::kTable || cur_.role == DxfObjectRole::kTableRecord) {
      if (cur_.name.empty()) cur_.name = name();
    }
    break;
  case 8:
    if ((cur_.role == DxfObjectRole::kEntity || cur_.role == DxfObjectRole::kBlockMarker) &&
        cur_.name.empty())
      cur_.name = g_.text();
    break;
  case 62:
    if (!seen62_) {
      seen62_ = true;
      long long c = g_.integer();
      cur_.color = c < -32768 ? -32768 : c > 32767 ? 32767 : static_cast<int>(c);
    }
    break;
  case 67:
    if (g_.integer() == 1) cur_.paperSpace = true;
    break;
  case 70:
    if (!seen70_) {
      seen70_ = true;
      if (isPolyline_) cur_.polylineFlags = static_cast<int>(g_.integer() & 0xFFFF);
      if (cur_.role == DxfObjectRole::kTable) {
        size_t b = static_cast<size_t>(g_.value.data() - text_.data());
        tableCount_ = DxfRange{b, b + g_.value.size()};
        tableCountValue_ = g_.integer();
        tableCountSeen_ = true;
      }
    }
    break;
  case 71:
    if (isPolyline_) meshM_ = static_cast<int>(g_.integer());
    break;
  case 72:
    if (isPolyline_) meshN_ = static_cast<int>(g_.integer());
    break;
  default:
    break;
  }
}

void Scanner::startSub(std::string_view type) {
  finishSub();
  if (inOwn_) {
    inOwn_ = false;
    cur_.ownEnd = g_.begin;
  }
  subType_ = type;
  subFlags_ = 0;
  subIndex_[0] = subIndex_[1] = subIndex_[2] = subIndex_[3] = 0;
  subLine_ = g_.where;
}

void Scanner::subGroup() {
  if (!isWord(subType_, "VERTEX")) return;
  if (g_.code == 70) {
    subFlags_ = static_cast<int>(g_.integer());
  } else if (g_.code >= 71 && g_.code <= 74) {
    long long v = g_.integer();
    subIndex_[g_.code - 71] = static_cast<int>(v < -2000000000 ? -2000000000 : v > 2000000000 ? 2000000000 : v);
  }
}

void Scanner::finishSub() {
  if (!isWord(subType_, "VERTEX") || !isPolyline_) {
    subType_ = {};
    return;
  }
  subType_ = {};
  tally_.vertex(subFlags_, subIndex_);
}

void Scanner::finishObject(size_t endPos) {
  if (!haveObject_) return;
  finishSub();
  haveObject_ = false;
  if (inOwn_) cur_.ownEnd = endPos;
  if (cur_.xdataBegin == SIZE_MAX) cur_.xdataBegin = cur_.xdataEnd = cur_.ownEnd;
  if (cur_.xdataEnd == SIZE_MAX) cur_.xdataEnd = cur_.ownEnd;
  cur_.end = endPos;
  if (isPolyline_) {
    cur_.vertices = static_cast<uint32_t>(tally_.all);
    cur_.controlVertices = static_cast<uint32_t>(tally_.control);
    cur_.surfaceVertices = static_cast<uint32_t>(tally_.surface);
  }
  if (cur_.role == DxfObjectRole::kTable && isWord(cur_.name, "APPID")) {
    DxfAppIdTable t;
    t.count = tableCountSeen_ ? tableCount_ : DxfRange{};
    t.countValue = tableCountValue_;
    t.handle = std::string(cur_.handle);
    result_.layout.appIds = t; // endTab is filled in at ENDTAB
  }
  uint32_t ordinal = ordinal_++;
  sink_.object(cur_);
  if (isPolyline_) {
    std::string why = tally_.inconsistency(cur_.polylineFlags, meshM_, meshN_);
    if (!why.empty()) sink_.inconsistency(ordinal, cur_.line, std::move(why));
  }
}

bool Scanner::drawingObjects(bool blocks) {
  std::string_view sectionName = blocks ? "BLOCKS" : "ENTITIES";
  inBlock_ = false;
  while (next()) {
    bool ended;
    if (!atSectionEnd(sectionName, ended)) return false;
    if (ended) {
      finishObject(g_.begin);
      if (!blocks) result_.layout.entitiesEnd = g_.begin;
      return true;
    }
    if (g_.code != 0) {
      if (!haveObject_) continue;
      if (inOwn_)
        ownGroup();
      else
        subGroup();
      continue;
    }
    std::string_view type = name();
    if (haveObject_ && isSubEntity(type) && cur_.role == DxfObjectRole::kEntity) {
      startSub(type);
      continue;
    }
    finishObject(g_.begin);
    if (blocks && isWord(type, "BLOCK")) {
      inBlock_ = true;
      startObject(DxfObjectRole::kBlockMarker);
    } else if (blocks && isWord(type, "ENDBLK")) {
      startObject(DxfObjectRole::kBlockMarker);
      inBlock_ = false;
    } else {
      startObject(DxfObjectRole::kEntity);
      // Entities between blocks (a malformed but readable file) still
      // belong to no model space.
      if (blocks) cur_.inBlock = true;
    }
  }
  if (error_.empty()) failEnd("the file ends inside a section (no ENDSEC, no EOF)");
  return false;
}

bool Scanner::tables() {
  tableName_ = {};
  bool inTable = false;
  while (next()) {
    bool ended;
    if (!atSectionEnd("TABLES", ended)) return false;
    if (ended) {
      finishObject(g_.begin);
      result_.layout.tablesEnd = g_.begin;
      // An APPID table without ENDTAB takes new records before ENDSEC.
      if (inTable && isWord(tableName_, "APPID") && result_.layout.appIds) result_.layout.appIds->endTab = g_.begin;
      tableName_ = {};
      return true;
    }
    if (g_.code != 0) {
      if (haveObject_) {
        ownGroup();
        if (cur_.role == DxfObjectRole::kTable && g_.code == 2 && tableName_.empty()) {
          tableName_ = name();
        }
      }
      continue;
    }
    std::string_view type = name();
    finishObject(g_.begin);
    if (isWord(type, "TABLE")) {
      // An APPID table that the next one closes, without ENDTAB, takes new
      // records before it.
      if (inTable && isWord(tableName_, "APPID") && result_.layout.appIds) result_.layout.appIds->endTab = g_.begin;
      tableName_ = {};
      inTable = true;
      startObject(DxfObjectRole::kTable);
    } else if (isWord(type, "ENDTAB")) {
      if (isWord(tableName_, "APPID") && result_.layout.appIds) result_.layout.appIds->endTab = g_.begin;
      tableName_ = {};
      inTable = false;
    } else if (inTable) {
      startObject(DxfObjectRole::kTableRecord);
    } else {
      return fail(g_.where, "expected TABLE or ENDSEC in the TABLES section, found " + quoted(type));
    }
  }
  if (error_.empty()) failEnd("the file ends inside the TABLES section (no ENDSEC, no EOF)");
  return false;
}

bool Scanner::objects() {
  while (next()) {
    bool ended;
    if (!atSectionEnd("OBJECTS", ended)) return false;
    if (ended) {
      finishObject(g_.begin);
      return true;
    }
    if (g_.code != 0) {
      if (haveObject_) ownGroup();
      continue;
    }
    finishObject(g_.begin);
    startObject(DxfObjectRole::kObject);
  }
  if (error_.empty()) failEnd("the file ends inside the OBJECTS section (no ENDSEC, no EOF)");
  return false;
}

bool Scanner::acdsData() {
  bool inRecord = false;
  DxfAcdsRecord record;
  bool ownerSeen = false;
  auto finish = [&](size_t endPos) {
    if (inRecord && ownerSeen) {
      record.range.end = endPos;
      result_.layout.acdsRecords.push_back(record);
    }
    inRecord = false;
  };
  while (next()) {
    bool ended;
    if (!atSectionEnd("ACDSDATA", ended)) return false;
    if (ended) {
      finish(g_.begin);
      result_.layout.acdsEnd = g_.begin;
      return true;
    }
    if (g_.code == 0) {
      finish(g_.begin);
      if (isWord(name(), "ACDSRECORD")) {
        inRecord = true;
        ownerSeen = false;
        record = DxfAcdsRecord{};
        record.range.begin = g_.begin;
      }
    } else if (inRecord && g_.code == 320 && !ownerSeen) {
      if (auto h = parseHandle(g_.text())) {
        record.owner = *h;
        ownerSeen = true;
      }
    }
  }
  if (error_.empty()) failEnd("the file ends inside the ACDSDATA section (no ENDSEC, no EOF)");
  return false;
}

} // namespace

std::string dxfLocation(std::string_view fileName, DxfEncoding encoding, uint64_t where) {
  std::string out(fileName);
  if (encoding == DxfEncoding::kText) return out + ":" + std::to_string(where);
  return out + ": byte " + std::to_string(where);
}

DxfScanResult scanDxf(std::string_view text, std::string_view fileName, DxfObjectSink& sink) {
  Scanner scanner(text, fileName, sink);
  return scanner.run();
}

} // namespace corvane
