#include "dwg/dwg_objects.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "dwg/dwg_error.h"
#include "dxf/dxf_values.h"
#include "runtime/text.h"
#include "solids/dxf_model_text.h"
#include "solids/sab_reader.h"
#include "solids/sat_text_writer.h"

namespace corvane::dwg {

namespace {

using V = DwgVersion;

// One object being decoded: its streams, where its text goes, and what it
// says of itself.
struct Decoding {
  Decoding(ObjectReader& reader, std::string& text, const DwgNames& n, DwgObject& o)
      : in(reader), w(text, &o.notes), names(n), obj(o) {}

  ObjectReader& in;
  DxfTextWriter w;
  const DwgNames& names;
  DwgObject& obj;
  // Entities
  DwgColor color;
  uint8_t ltypeFlags = 0, plotstyleFlags = 0, materialFlags = 0, shadowFlags = 0;
  bool byLayerLinetype = true; // R13, R14
  bool fullStyle = false, faceStyle = false, edgeStyle = false;
  double ltypeScale = 1.0;
  int invisible = 0;
  int lineweight = 29;
  std::string graphics;
  uint32_t reactorCount = 0;
  bool xdictMissing = false;
  bool inPaperSpaceBlock = false; // BLOCK and ENDBLK of a layout's block: 67
  bool previews = true;           // block records' previews and entities' graphics written
  bool binaryModels = false;      // binary models handed up as read, not as model text

  bool since(V v) const { return in.since(v); }
  bool before(V v) const { return in.before(v); }
  std::string_view nameOf(uint64_t handle, std::string_view fallback = "") const {
    const std::string* n = names.find(handle);
    return n ? std::string_view(*n) : fallback;
  }
};

constexpr double kDegreesPerRadian = 180.0 / std::numbers::pi;

bool isDefaultNormal(const Vec3& p) { return p.x == 0 && p.y == 0 && p.z == 1; }

// Whether a real equals its default as DXF judges it, within the last bits
// of a double (a width of 0.9999999999999999 is the default 1).
bool isDefault(double value, double def) {
  return std::fabs(value - def) <= 1e-12 * std::max(1.0, std::fabs(def));
}

// DXF 370 of a lineweight index: the standard weights in hundredths of a
// millimetre, then by layer, by block and default.
int lineweightValue(int index) {
  static const std::array<int, 24> kWeights = {0,  5,  9,  13, 15, 18,  20,  25,  30,  35,  40,  50,
                                               53, 60, 70, 80, 90, 100, 106, 120, 140, 158, 200, 211};
  if (index >= 0 && index < 24) return kWeights[static_cast<size_t>(index)];
  if (index == 30) return -2;
  if (index == 31) return -3;
  return -1;
}

bool isTrueColor(const DwgColor& c, bool entity) {
  if (entity) return (c.flags & 0x80) != 0;
  return c.hasRgb && (c.rgb >> 24) == 0xC2;
}

// 62 (by layer left out for entities), 420, 430 and 440.
void writeColor(DxfTextWriter& w, const DwgColor& c, bool entity) {
  const int number = entity ? c.index : c.colorNumber();
  if (!entity || (number != 256 && number != 257)) w.integer(62, number);
  if (isTrueColor(c, entity)) w.integer(420, c.rgb & 0xFFFFFF);
  if (!c.name.empty()) w.text(430, c.bookName.empty() ? c.name : c.bookName + "$" + c.name);
  if (c.hasTransparency) w.integer(440, c.transparency);
}

// ---------------------------------------------------------------------------
// Extended data: (size, application, items) until a size of 0.

uint64_t bigEndianHandle(const std::string& bytes) {
  uint64_t h = 0;
  for (char c : bytes) h = (h << 8) | static_cast<uint8_t>(c);
  return h;
}

// Moves past the extended data: it is read again, and written, after the
// object's own groups (writeExtendedData).
void skipExtendedData(Decoding& d) {
  BitReader& data = d.in.data();
  for (;;) {
    const uint16_t size = data.readBS();
    if (size == 0) break;
    data.readH(d.in.ownHandle());
    if (uint64_t{size} * 8 > data.remaining()) data.fail("extended data runs past the object");
    data.seek(data.position() + uint64_t{size} * 8);
  }
}

// The extended data from bit AT of the data stream, written as the
// object's last groups.
void writeExtendedData(Decoding& d, uint64_t at) {
  BitReader& data = d.in.data();
  data.seek(at);
  DxfTextWriter& x = d.w;
  std::string& text = x.out();
  for (;;) {
    const uint16_t size = data.readBS();
    if (size == 0) break;
    const uint64_t app = data.readH(d.in.ownHandle()).handle;
    if (uint64_t{size} * 8 > data.remaining()) data.fail("extended data runs past the object");
    const uint64_t end = data.position() + uint64_t{size} * 8;
    const size_t appStart = text.size();
    const DxfGroupNotes notesBefore = d.obj.notes;
    x.text(1001, d.nameOf(app, "ACAD"));
    const size_t itemsStart = text.size();
    while (data.position() < end) {
      const uint8_t code = data.readRC();
      switch (code) {
      case 0: // a string
        if (d.since(V::kR2007)) {
          const uint16_t length = data.readRS();
          if (uint64_t{length} * 16 > end - std::min(end, data.position()))
            data.fail("extended data text runs past its item");
          std::vector<uint16_t> units(length);
          for (uint16_t& u : units) u = data.readRS();
          x.text(1000, dxfUnicodeEscapes(utf16ToUtf8(units)));
        } else {
          const uint8_t length = data.readRC();
          data.readRS(); // its code page: the drawing's
          x.text(1000, d.in.bytes(length));
        }
        break;
      case 2: x.text(1002, data.readRC() == 0 ? "{" : "}"); break;
      case 3: x.text(1003, d.nameOf(bigEndianHandle(d.in.bytes(8)), "0")); break;
      case 4: x.binary(1004, d.in.bytes(data.readRC())); break;
      case 5: x.handle(1005, bigEndianHandle(d.in.bytes(8))); break;
      case 10: case 11: case 12: case 13: x.point(1000 + code, {d.in.RD(), d.in.RD(), d.in.RD()}); break;
      case 40: case 41: case 42: x.real(1000 + code, d.in.RD()); break;
      case 70: x.integer(1070, static_cast<int16_t>(data.readRS())); break;
      case 71: x.integer(1071, static_cast<int32_t>(data.readRL())); break;
      default: data.fail("extended data item of unknown type " + std::to_string(code));
      }
    }
    if (data.position() != end) data.fail("extended data runs past its stated size");
    // A material kept the R2000 way (ACAD's "RTMaterial" and a handle) is
    // the entity's material: DXF writes none of it.
    // So are R2000's lineweight and plot style kept in R13 and R14
    // ("RTLwPs").
    const std::string_view items = std::string_view(text).substr(itemsStart);
    if (items.starts_with("1000\nRTMaterial\n") || items.starts_with("1000\nRTLwPs\n")) {
      text.resize(appStart);
      d.obj.notes = notesBefore;
    }
  }
}

// ---------------------------------------------------------------------------
// Common data of entities and of other objects.

void readEntityCommon(Decoding& d) {
  ObjectReader& in = d.in;
  if (in.B()) { // the graphic shown for the entity
    const uint64_t size = d.since(V::kR2010) ? in.BLL() : static_cast<uint32_t>(in.RL());
    if (d.previews) d.graphics = in.bytes(size);
    else in.skipBytes(size);
  }
  if (d.before(V::kR2000)) in.RL(); // the object's size in bits, already known to its framing
  d.obj.entmode = in.BB();
  d.reactorCount = in.BL(); // checked where their handles are read
  if (d.before(V::kR2000)) d.byLayerLinetype = in.B();
  if (d.since(V::kR2004)) d.xdictMissing = in.B();
  if (d.before(V::kR2004)) d.obj.noLinks = in.B();
  if (d.since(V::kR2013)) d.obj.modelInDataStorage = in.B();
  d.color = in.ENC();
  d.ltypeScale = in.BD();
  if (d.since(V::kR2007)) {
    // The corpus's R2010 to R2018 drawings keep the material's flags
    // before the plot style's (an entity with a material by handle and a
    // plot style by layer reads so, and its DXF twin agrees).
    d.ltypeFlags = in.BB();
    d.materialFlags = in.BB();
    d.plotstyleFlags = in.BB();
    d.shadowFlags = in.RC();
  } else if (d.since(V::kR2000)) {
    d.ltypeFlags = in.BB();
    d.plotstyleFlags = in.BB();
  }
  if (d.since(V::kR2010)) {
    d.fullStyle = in.B();
    d.faceStyle = in.B();
    d.edgeStyle = in.B();
  }
  d.invisible = static_cast<uint16_t>(in.BS());
  if (d.since(V::kR2000)) d.lineweight = in.RC();
}

void readObjectCommon(Decoding& d) {
  ObjectReader& in = d.in;
  if (d.before(V::kR2000)) in.RL(); // size in bits
  d.reactorCount = in.BL(); // checked where their handles are read
  if (d.since(V::kR2004)) d.xdictMissing = in.B();
  if (d.since(V::kR2013)) d.obj.modelInDataStorage = in.B();
}

// The handle stream's common part and the DXF groups that open the
// object's text: "0 DXFNAME", or for a table's control object "0 TABLE"
// and "2 DXFNAME".
// AFTERREAD, when given, runs between the reading of the handles and the
// writing of the groups.
// The handles that open the handle stream, as readHeadHandles reads them
// into the object and here.
struct HeadHandles {
  std::vector<uint64_t> reactors;
  uint64_t xdict = 0, layer = 0, ltype = 0, material = 0, plotstyle = 0;
};

// The handle stream's common part: owner, reactors, extension dictionary,
// and for entities layer, linetype, links (R13 to R2000), material, plot
// style; the owner and links go to d.obj.
void readHeadHandles(Decoding& d, HeadHandles& h) {
  ObjectReader& in = d.in;
  DwgObject& o = d.obj;
  const bool entity = o.entity;
  // An entity's colour-book handle comes first in its handle stream.
  if (entity && d.color.bookHandleFollows()) in.H();
  if (!entity || o.entmode == 0) o.owner = in.H();
  h.reactors = in.handles(d.reactorCount);
  h.xdict = d.xdictMissing ? 0 : in.H();
  uint64_t& layer = h.layer;
  uint64_t& ltype = h.ltype;
  uint64_t& material = h.material;
  uint64_t& plotstyle = h.plotstyle;
  if (entity) {
    if (d.before(V::kR2000)) {
      layer = in.H();
      if (!d.byLayerLinetype) ltype = in.H();
    }
    if (d.before(V::kR2004) && !o.noLinks) {
      o.prev = in.H();
      o.next = in.H();
    }
    if (d.since(V::kR2000)) {
      layer = in.H();
      if (d.ltypeFlags == 3) ltype = in.H();
    }
    if (d.since(V::kR2007)) {
      if (d.materialFlags == 3) material = in.H();
      if (d.shadowFlags == 3) in.H();
    }
    if (d.since(V::kR2000) && d.plotstyleFlags == 3) plotstyle = in.H();
    if (d.since(V::kR2010)) {
      if (d.fullStyle) in.H();
      if (d.faceStyle) in.H();
      if (d.edgeStyle) in.H();
    }
    if (o.entmode == 1) o.owner = d.names.paperSpace;
    if (o.entmode == 2) o.owner = d.names.modelSpace;
  }
}

void writeHead(Decoding& d, std::string_view dxfName, int handleCode = 5, bool table = false,
               const std::function<void()>& afterRead = {}) {
  DwgObject& o = d.obj;
  const bool entity = o.entity;
  HeadHandles h;
  readHeadHandles(d, h);
  const std::vector<uint64_t>& reactors = h.reactors;
  const uint64_t xdict = h.xdict, layer = h.layer, ltype = h.ltype, material = h.material, plotstyle = h.plotstyle;
  if (afterRead) afterRead();

  DxfTextWriter& w = d.w;
  if (table) {
    w.text(0, "TABLE");
    w.text(2, dxfName);
  } else {
    w.text(0, dxfName);
  }
  w.handle(handleCode, o.handle);
  o.xdict = xdict;
  if (xdict != 0) {
    o.xdictLinkBegin = w.out().size() - o.notes.base;
    w.text(102, "{ACAD_XDICTIONARY");
    w.handle(360, xdict);
    w.text(102, "}");
    o.xdictLinkEnd = w.out().size() - o.notes.base;
  }
  if (!reactors.empty()) {
    w.text(102, "{ACAD_REACTORS");
    for (uint64_t r : reactors) w.handle(330, r);
    w.text(102, "}");
  }
  w.handle(330, o.owner);
  if (!entity) return;
  w.subclass("AcDbEntity");
  if (o.entmode == 1 || d.inPaperSpaceBlock) w.integer(67, 1);
  w.text(8, d.nameOf(layer, "0"));
  if (d.before(V::kR2000)) {
    if (!d.byLayerLinetype) w.text(6, d.nameOf(ltype, "ByLayer"));
  } else if (d.ltypeFlags == 1) {
    w.text(6, "ByBlock");
  } else if (d.ltypeFlags == 2) {
    w.text(6, "Continuous");
  } else if (d.ltypeFlags == 3) {
    w.text(6, d.nameOf(ltype, "Continuous"));
  }
  if (material != 0) w.handle(347, material);
  writeColor(w, d.color, true);
  if (!isDefault(d.ltypeScale, 1)) w.real(48, d.ltypeScale);
  if (d.invisible & 1) w.integer(60, 1);
  if (d.since(V::kR2000) && d.lineweight != 29) w.integer(370, lineweightValue(d.lineweight));
  if (plotstyle != 0) w.handle(390, plotstyle);
  if (!d.graphics.empty()) {
    if (d.since(V::kR2010)) w.integer(160, static_cast<long long>(d.graphics.size()));
    else w.integer(92, static_cast<long long>(d.graphics.size()));
    w.binary(310, d.graphics);
  }
}

void writeHeadThen(Decoding& d, std::string_view dxfName, const std::function<void()>& afterRead) {
  writeHead(d, dxfName, 5, false, afterRead);
}

// ---------------------------------------------------------------------------
// Entities

void writeThickness(DxfTextWriter& w, double thickness) {
  if (thickness != 0) w.real(39, thickness);
}
void writeNormal(DxfTextWriter& w, const Vec3& n) {
  if (!isDefaultNormal(n)) w.point(210, n);
}

void decodeLine(Decoding& d) {
  ObjectReader& in = d.in;
  Vec3 a, b;
  if (d.before(V::kR2000)) {
    a = in.BD3();
    b = in.BD3();
  } else {
    const bool zIsZero = in.B();
    a.x = in.RD();
    b.x = in.DD(a.x);
    a.y = in.RD();
    b.y = in.DD(a.y);
    if (!zIsZero) {
      a.z = in.RD();
      b.z = in.DD(a.z);
    }
  }
  const double thickness = in.BT();
  const Vec3 normal = in.BE();
  writeHead(d, "LINE");
  d.w.subclass("AcDbLine");
  writeThickness(d.w, thickness);
  d.w.point(10, a);
  d.w.point(11, b);
  writeNormal(d.w, normal);
}

void decodeCircleOrArc(Decoding& d, bool arc) {
  ObjectReader& in = d.in;
  const Vec3 center = in.BD3();
  const double radius = in.BD();
  const double thickness = in.BT();
  const Vec3 normal = in.BE();
  double start = 0, end = 0;
  if (arc) {
    start = in.BD();
    end = in.BD();
  }
  writeHead(d, arc ? "ARC" : "CIRCLE");
  d.w.subclass("AcDbCircle");
  writeThickness(d.w, thickness);
  d.w.point(10, center);
  d.w.real(40, radius);
  writeNormal(d.w, normal);
  if (arc) {
    d.w.subclass("AcDbArc");
    d.w.real(50, start * kDegreesPerRadian);
    d.w.real(51, end * kDegreesPerRadian);
  }
}

void decodeArc(Decoding& d) { decodeCircleOrArc(d, true); }
void decodeCircle(Decoding& d) { decodeCircleOrArc(d, false); }

void decodePoint(Decoding& d) {
  ObjectReader& in = d.in;
  const Vec3 p = in.BD3();
  const double thickness = in.BT();
  const Vec3 normal = in.BE();
  const double angle = in.BD();
  writeHead(d, "POINT");
  d.w.subclass("AcDbPoint");
  d.w.point(10, p);
  writeThickness(d.w, thickness);
  writeNormal(d.w, normal);
  if (angle != 0) d.w.real(50, angle * kDegreesPerRadian);
}

void decode3dFace(Decoding& d) {
  ObjectReader& in = d.in;
  std::array<Vec3, 4> c;
  int flags = 0;
  if (d.before(V::kR2000)) {
    for (Vec3& p : c) p = in.BD3();
    flags = static_cast<uint16_t>(in.BS());
  } else {
    const bool noFlags = in.B();
    const bool zIsZero = in.B();
    c[0].x = in.RD();
    c[0].y = in.RD();
    if (!zIsZero) c[0].z = in.RD();
    for (size_t i = 1; i < 4; ++i)
      c[i] = {in.DD(c[i - 1].x), in.DD(c[i - 1].y), in.DD(c[i - 1].z)};
    if (!noFlags) flags = static_cast<uint16_t>(in.BS());
  }
  writeHead(d, "3DFACE");
  d.w.subclass("AcDbFace");
  for (size_t i = 0; i < 4; ++i) d.w.point(10 + static_cast<int>(i), c[i]);
  if (flags != 0) d.w.integer(70, flags);
}

// SOLID and TRACE: four corners in the object's plane.
void decodeSolidOrTrace(Decoding& d, std::string_view name) {
  ObjectReader& in = d.in;
  const double thickness = in.BT();
  const double elevation = in.BD();
  std::array<Vec3, 4> c;
  for (Vec3& p : c) {
    p.x = in.RD();
    p.y = in.RD();
    p.z = elevation;
  }
  const Vec3 normal = in.BE();
  writeHead(d, name);
  d.w.subclass("AcDbTrace");
  for (size_t i = 0; i < 4; ++i) d.w.point(10 + static_cast<int>(i), c[i]);
  writeThickness(d.w, thickness);
  writeNormal(d.w, normal);
}

void decodeSolid(Decoding& d) { decodeSolidOrTrace(d, "SOLID"); }
void decodeTrace(Decoding& d) { decodeSolidOrTrace(d, "TRACE"); }

// What TEXT, ATTRIB and ATTDEF share: the text's own data.
struct TextData {
  double elevation = 0;
  Vec3 insertion, alignment;
  bool hasAlignment = false;
  Vec3 normal{0, 0, 1};
  double thickness = 0, oblique = 0, rotation = 0, height = 0, width = 1;
  std::string value;
  int generation = 0, halign = 0, valign = 0;
};

TextData readText(Decoding& d) {
  ObjectReader& in = d.in;
  TextData t;
  if (d.before(V::kR2000)) {
    t.elevation = in.BD();
    const Vec3 ins = in.RD2(), al = in.RD2();
    t.insertion = {ins.x, ins.y, t.elevation};
    t.alignment = {al.x, al.y, t.elevation};
    t.normal = in.BD3();
    t.thickness = in.BD();
    t.oblique = in.BD();
    t.rotation = in.BD();
    t.height = in.BD();
    t.width = in.BD();
    t.value = in.T();
    t.generation = static_cast<uint16_t>(in.BS());
    t.halign = static_cast<uint16_t>(in.BS());
    t.valign = static_cast<uint16_t>(in.BS());
    t.hasAlignment = t.halign != 0 || t.valign != 0;
    return t;
  }
  const uint8_t flags = in.RC();
  if (!(flags & 0x01)) t.elevation = in.RD();
  const double x = in.RD(), y = in.RD();
  t.insertion = {x, y, t.elevation};
  if (!(flags & 0x02)) {
    t.alignment = {in.DD(x), in.DD(y), t.elevation};
    t.hasAlignment = true;
  }
  t.normal = in.BE();
  t.thickness = in.BT();
  if (!(flags & 0x04)) t.oblique = in.RD();
  if (!(flags & 0x08)) t.rotation = in.RD();
  t.height = in.RD();
  if (!(flags & 0x10)) t.width = in.RD();
  t.value = in.T();
  if (!(flags & 0x20)) t.generation = static_cast<uint16_t>(in.BS());
  if (!(flags & 0x40)) t.halign = static_cast<uint16_t>(in.BS());
  if (!(flags & 0x80)) t.valign = static_cast<uint16_t>(in.BS());
  return t;
}

// The AcDbText part, as DXF writes it for all three kinds.
void writeText(Decoding& d, const TextData& t, std::string_view style) {
  DxfTextWriter& w = d.w;
  w.subclass("AcDbText");
  writeThickness(w, t.thickness);
  w.point(10, t.insertion);
  w.real(40, t.height);
  w.text(1, t.value);
  if (!isDefault(t.rotation, 0)) w.real(50, t.rotation * kDegreesPerRadian);
  if (!isDefault(t.width, 1)) w.real(41, t.width);
  if (!isDefault(t.oblique, 0)) w.real(51, t.oblique * kDegreesPerRadian);
  if (!style.empty() && style != "Standard" && style != "STANDARD") w.text(7, style);
  if (t.generation != 0) w.integer(71, t.generation);
  if (t.halign != 0) w.integer(72, t.halign);
  if (t.hasAlignment && (t.halign != 0 || t.valign != 0)) w.point(11, t.alignment);
  writeNormal(w, t.normal);
}

void decodeText(Decoding& d) {
  const TextData t = readText(d);
  writeHead(d, "TEXT");
  const std::string_view style = d.nameOf(d.in.H());
  writeText(d, t, style);
  d.w.subclass("AcDbText");
  if (t.valign != 0) d.w.integer(73, t.valign);
}

// ATTRIB and ATTDEF after the text: R2010's version, R2018's kind of
// attribute (single line; a multi-line one's text is not read), the tag.
void decodeAttribute(Decoding& d, bool definition) {
  ObjectReader& in = d.in;
  const TextData t = readText(d);
  int version = 0;
  if (d.since(V::kR2010)) version = in.RC();
  if (d.since(V::kR2018)) {
    const uint8_t kind = in.RC();
    if (kind > 1) in.fail("multi-line attribute not supported");
  }
  const std::string tag = in.T();
  const int fieldLength = static_cast<uint16_t>(in.BS());
  const int flags = in.RC();
  bool lockPosition = false;
  if (d.since(V::kR2007)) lockPosition = in.B();
  int definitionVersion = 0;
  std::string prompt;
  if (definition) {
    if (d.since(V::kR2010)) definitionVersion = in.RC();
    prompt = in.T();
  }
  writeHead(d, definition ? "ATTDEF" : "ATTRIB");
  const std::string_view style = d.nameOf(in.H());
  writeText(d, t, style);
  DxfTextWriter& w = d.w;
  if (definition) {
    w.subclass("AcDbAttributeDefinition");
    if (d.since(V::kR2010)) w.integer(280, definitionVersion);
    w.text(3, prompt);
  } else {
    w.subclass("AcDbAttribute");
    if (d.since(V::kR2010)) w.integer(280, version);
  }
  w.text(2, tag);
  w.integer(70, flags);
  if (fieldLength != 0) w.integer(73, fieldLength);
  if (t.valign != 0) w.integer(74, t.valign);
  if (d.since(V::kR2007)) w.integer(280, lockPosition ? 1 : 0);
}

void decodeAttrib(Decoding& d) { decodeAttribute(d, false); }
void decodeAttdef(Decoding& d) { decodeAttribute(d, true); }

// Whether the block record RECORD is a layout's (paper space) block.
bool isLayoutBlock(const Decoding& d, uint64_t record) {
  if (record == d.names.paperSpace) return true;
  const std::string* name = d.names.find(record);
  return name != nullptr && name->size() >= 12 && asciiUpper(name->substr(0, 12)) == "*PAPER_SPACE";
}

void decodeBlock(Decoding& d) {
  const std::string name = d.in.T();
  d.inPaperSpaceBlock = d.obj.entmode == 1;
  writeHeadThen(d, "BLOCK", [&] { d.inPaperSpaceBlock = isLayoutBlock(d, d.obj.owner); });
  const auto info = d.names.blocks.find(d.obj.owner);
  const DwgBlockInfo block = info == d.names.blocks.end() ? DwgBlockInfo{} : info->second;
  DxfTextWriter& w = d.w;
  w.subclass("AcDbBlockBegin");
  const std::string_view recordName = d.nameOf(d.obj.owner, name);
  w.text(2, recordName);
  w.integer(70, block.flags);
  w.point(10, block.base);
  w.text(3, recordName);
  w.text(1, block.xrefPath);
}

void decodeEndBlock(Decoding& d) {
  writeHeadThen(d, "ENDBLK", [&] { d.inPaperSpaceBlock = isLayoutBlock(d, d.obj.owner); });
  d.w.subclass("AcDbBlockEnd");
}

void decodeSeqend(Decoding& d) { writeHead(d, "SEQEND"); }

// The handles that chain what an INSERT or POLYLINE owns: R13 to R2000
// name the first and last, later versions list them all; a SEQEND ends
// them.
void readOwnedChain(Decoding& d, uint32_t ownedCount, bool has) {
  if (!has) return;
  if (d.before(V::kR2004)) {
    d.obj.first = d.in.H();
    d.obj.last = d.in.H();
  } else {
    d.obj.owned = d.in.handles(ownedCount);
  }
  d.obj.seqend = d.in.H();
}

void decodeInsert(Decoding& d, bool multiple) {
  ObjectReader& in = d.in;
  const Vec3 at = in.BD3();
  Vec3 scale{1, 1, 1};
  if (d.before(V::kR2000)) {
    scale = in.BD3();
  } else {
    switch (in.BB()) {
    case 3: break;
    case 1:
      scale.y = in.DD(1.0);
      scale.z = in.DD(1.0);
      break;
    case 2: scale.x = scale.y = scale.z = in.RD(); break;
    default:
      scale.x = in.RD();
      scale.y = in.DD(scale.x);
      scale.z = in.DD(scale.x);
      break;
    }
  }
  const double rotation = in.BD();
  const Vec3 normal = in.BD3();
  const bool hasAttributes = in.B();
  uint32_t ownedCount = 0;
  if (d.since(V::kR2004) && hasAttributes) ownedCount = in.BL() /* handles, checked where read */;
  int columns = 1, rows = 1;
  double columnSpacing = 0, rowSpacing = 0;
  if (multiple) {
    columns = static_cast<uint16_t>(in.BS());
    rows = static_cast<uint16_t>(in.BS());
    columnSpacing = in.BD();
    rowSpacing = in.BD();
  }
  writeHead(d, "INSERT");
  const uint64_t block = in.H();
  d.obj.insertedBlock = block;
  readOwnedChain(d, ownedCount, hasAttributes);
  DxfTextWriter& w = d.w;
  w.subclass(multiple ? "AcDbMInsertBlock" : "AcDbBlockReference");
  if (hasAttributes) w.integer(66, 1);
  w.text(2, d.nameOf(block));
  w.point(10, at);
  if (!isDefault(scale.x, 1)) w.real(41, scale.x);
  if (!isDefault(scale.y, 1)) w.real(42, scale.y);
  if (!isDefault(scale.z, 1)) w.real(43, scale.z);
  if (!isDefault(rotation, 0)) w.real(50, rotation * kDegreesPerRadian);
  if (multiple) {
    if (columns != 1) w.integer(70, columns);
    if (rows != 1) w.integer(71, rows);
    if (columnSpacing != 0) w.real(44, columnSpacing);
    if (rowSpacing != 0) w.real(45, rowSpacing);
  }
  writeNormal(w, normal);
}

void decodeSingleInsert(Decoding& d) { decodeInsert(d, false); }
void decodeMultipleInsert(Decoding& d) { decodeInsert(d, true); }

void decodeVertex2d(Decoding& d) {
  ObjectReader& in = d.in;
  const int flags = in.RC();
  const Vec3 p = in.BD3();
  double startWidth = in.BD(), endWidth;
  if (startWidth < 0) {
    startWidth = -startWidth;
    endWidth = startWidth;
  } else {
    endWidth = in.BD();
  }
  const double bulge = in.BD();
  int32_t id = 0;
  if (d.since(V::kR2010)) id = in.BL();
  const double tangent = in.BD();
  writeHead(d, "VERTEX");
  DxfTextWriter& w = d.w;
  w.subclass("AcDbVertex");
  w.subclass("AcDb2dVertex");
  w.point(10, p);
  if (startWidth != 0) w.real(40, startWidth);
  if (endWidth != 0) w.real(41, endWidth);
  if (bulge != 0) w.real(42, bulge);
  if (id != 0) w.integer(91, id);
  w.integer(70, flags);
  if (flags & 2) w.real(50, tangent * kDegreesPerRadian);
}

void decodePointVertex(Decoding& d, std::string_view subclass) {
  ObjectReader& in = d.in;
  const int flags = in.RC();
  const Vec3 p = in.BD3();
  writeHead(d, "VERTEX");
  d.w.subclass("AcDbVertex");
  d.w.subclass(subclass);
  d.w.point(10, p);
  d.w.integer(70, flags);
}

void decodeVertex3d(Decoding& d) { decodePointVertex(d, "AcDb3dPolylineVertex"); }
void decodeVertexMesh(Decoding& d) { decodePointVertex(d, "AcDbPolygonMeshVertex"); }
void decodeVertexPface(Decoding& d) { decodePointVertex(d, "AcDbPolyFaceMeshVertex"); }

void decodeFaceRecord(Decoding& d) {
  ObjectReader& in = d.in;
  std::array<int, 4> index{};
  for (int& i : index) i = in.BS();
  writeHead(d, "VERTEX");
  DxfTextWriter& w = d.w;
  w.subclass("AcDbFaceRecord");
  w.point(10, {});
  w.integer(70, 128);
  w.integer(71, index[0]);
  for (size_t i = 1; i < 4; ++i)
    if (index[i] != 0) w.integer(71 + static_cast<int>(i), index[i]);
}

void decodePolyline2d(Decoding& d) {
  ObjectReader& in = d.in;
  const int flags = static_cast<uint16_t>(in.BS());
  const int curve = static_cast<uint16_t>(in.BS());
  const double startWidth = in.BD(), endWidth = in.BD();
  const double thickness = in.BT();
  const double elevation = in.BD();
  const Vec3 normal = in.BE();
  uint32_t owned = 0;
  if (d.since(V::kR2004)) owned = in.BL() /* handles, checked where read */;
  writeHead(d, "POLYLINE");
  readOwnedChain(d, owned, true);
  DxfTextWriter& w = d.w;
  w.subclass("AcDb2dPolyline");
  w.integer(66, 1);
  w.point(10, {0, 0, elevation});
  writeThickness(w, thickness);
  if (flags != 0) w.integer(70, flags);
  if (startWidth != 0) w.real(40, startWidth);
  if (endWidth != 0) w.real(41, endWidth);
  if (curve != 0) w.integer(75, curve);
  writeNormal(w, normal);
}

void decodePolyline3d(Decoding& d) {
  ObjectReader& in = d.in;
  const int splineFlags = in.RC();
  const int closedFlags = in.RC();
  uint32_t owned = 0;
  if (d.since(V::kR2004)) owned = in.BL() /* handles, checked where read */;
  writeHead(d, "POLYLINE");
  readOwnedChain(d, owned, true);
  DxfTextWriter& w = d.w;
  w.subclass("AcDb3dPolyline");
  w.integer(66, 1);
  w.point(10, {});
  int flags = 8 | (closedFlags & 1);
  if (splineFlags != 0) flags |= 4;
  w.integer(70, flags);
  if (splineFlags == 1) w.integer(75, 5);
  else if (splineFlags == 2) w.integer(75, 6);
}

void decodePolyfaceMesh(Decoding& d) {
  ObjectReader& in = d.in;
  const int vertices = static_cast<uint16_t>(in.BS());
  const int faces = static_cast<uint16_t>(in.BS());
  uint32_t owned = 0;
  if (d.since(V::kR2004)) owned = in.BL() /* handles, checked where read */;
  writeHead(d, "POLYLINE");
  readOwnedChain(d, owned, true);
  DxfTextWriter& w = d.w;
  w.subclass("AcDbPolyFaceMesh");
  w.integer(66, 1);
  w.point(10, {});
  w.integer(70, 64);
  w.integer(71, vertices);
  w.integer(72, faces);
}

void decodePolygonMesh(Decoding& d) {
  ObjectReader& in = d.in;
  const int flags = static_cast<uint16_t>(in.BS());
  const int curve = static_cast<uint16_t>(in.BS());
  const int m = static_cast<uint16_t>(in.BS()), n = static_cast<uint16_t>(in.BS());
  const int mDensity = static_cast<uint16_t>(in.BS()), nDensity = static_cast<uint16_t>(in.BS());
  uint32_t owned = 0;
  if (d.since(V::kR2004)) owned = in.BL() /* handles, checked where read */;
  writeHead(d, "POLYLINE");
  readOwnedChain(d, owned, true);
  DxfTextWriter& w = d.w;
  w.subclass("AcDbPolygonMesh");
  w.integer(66, 1);
  w.point(10, {});
  w.integer(70, flags);
  w.integer(71, m);
  w.integer(72, n);
  if (mDensity != 0) w.integer(73, mDensity);
  if (nDensity != 0) w.integer(74, nDensity);
  if (curve != 0) w.integer(75, curve);
}

void decodeLwPolyline(Decoding& d) {
  ObjectReader& in = d.in;
  const int flags = static_cast<uint16_t>(in.BS());
  double constWidth = 0, elevation = 0, thickness = 0;
  Vec3 normal{0, 0, 1};
  if (flags & 4) constWidth = in.BD();
  if (flags & 8) elevation = in.BD();
  if (flags & 2) thickness = in.BD();
  if (flags & 1) normal = in.BD3();
  const uint32_t points = in.count(in.BL(), 2, "points");
  uint32_t bulges = 0, ids = 0, widths = 0;
  if (flags & 16) bulges = in.count(in.BL(), 2, "bulges");
  if (d.since(V::kR2010) && (flags & 1024)) ids = in.count(in.BL(), 2, "vertex ids");
  if (flags & 32) widths = in.count(in.BL(), 4, "widths");
  std::vector<double> xy(size_t{points} * 2);
  for (uint32_t i = 0; i < points; ++i) {
    if (d.before(V::kR2000) || i == 0) {
      xy[2 * i] = in.RD();
      xy[2 * i + 1] = in.RD();
    } else {
      xy[2 * i] = in.DD(xy[2 * i - 2]);
      xy[2 * i + 1] = in.DD(xy[2 * i - 1]);
    }
  }
  std::vector<double> bulge(bulges);
  for (double& b : bulge) b = in.BD();
  std::vector<int32_t> id(ids);
  for (int32_t& v : id) v = in.BL();
  std::vector<std::pair<double, double>> width(widths);
  for (auto& [s, e] : width) {
    s = in.BD();
    e = in.BD();
  }
  writeHead(d, "LWPOLYLINE");
  DxfTextWriter& w = d.w;
  w.subclass("AcDbPolyline");
  w.integer(90, points);
  w.integer(70, (flags & 512 ? 1 : 0) | (flags & 256 ? 128 : 0));
  if (widths == 0) w.real(43, constWidth);
  if (elevation != 0) w.real(38, elevation);
  writeThickness(w, thickness);
  for (uint32_t i = 0; i < points; ++i) {
    w.point2(10, xy[2 * i], xy[2 * i + 1]);
    if (widths == points && (width[i].first != 0 || width[i].second != 0)) {
      w.real(40, width[i].first);
      w.real(41, width[i].second);
    }
    if (bulges == points && bulge[i] != 0) w.real(42, bulge[i]);
    if (ids == points) w.integer(91, id[i]);
  }
  writeNormal(w, normal);
}

void decodeMText(Decoding& d) {
  ObjectReader& in = d.in;
  const Vec3 at = in.BD3();
  const Vec3 normal = in.BD3();
  const Vec3 direction = in.BD3();
  const double width = in.BD();
  double rectHeight = 0;
  if (d.since(V::kR2007)) rectHeight = in.BD();
  const double height = in.BD();
  const int attachment = static_cast<uint16_t>(in.BS());
  const int drawing = static_cast<uint16_t>(in.BS());
  in.BD(); // extents height
  in.BD(); // extents width
  const std::string text = in.T();
  int spacingStyle = 1;
  double spacing = 1;
  if (d.since(V::kR2000)) {
    spacingStyle = static_cast<uint16_t>(in.BS());
    spacing = in.BD();
    in.B();
  }
  int fill = 0;
  if (d.since(V::kR2004)) {
    fill = in.BL();
    if (fill & 1) {
      in.BL();
      in.CMC();
      in.BL();
    }
  }
  // R2018 repeats the layout and may add columns: the text's own groups
  // above are all the DXF needs, the rest is left unread.
  writeHead(d, "MTEXT");
  const std::string_view style = d.nameOf(in.H());
  DxfTextWriter& w = d.w;
  w.subclass("AcDbMText");
  w.point(10, at);
  w.real(40, height);
  w.real(41, width);
  if (d.since(V::kR2007)) w.real(46, rectHeight);
  w.integer(71, attachment);
  w.integer(72, drawing);
  // Text over 250 bytes goes in pieces: 3 groups, then the rest in 1.
  size_t at0 = 0;
  while (text.size() - at0 > 250) {
    w.text(3, std::string_view(text).substr(at0, 250));
    at0 += 250;
  }
  w.text(1, std::string_view(text).substr(at0));
  if (!style.empty() && style != "Standard" && style != "STANDARD") w.text(7, style);
  writeNormal(w, normal);
  if (!(direction.x == 1 && direction.y == 0 && direction.z == 0)) w.point(11, direction);
  w.integer(73, spacingStyle);
  w.real(44, spacing);
  if (fill != 0) w.integer(90, fill);
}

// A character of the model text as the modeller wrote it: the format
// keeps each printable character c as 159 - c.
char plainModelChar(char c) {
  const auto u = static_cast<uint8_t>(c);
  return u > 32 ? static_cast<char>(159 - u) : c;
}

// The model text's second line names the program, the modeller and the
// time the model was written, as three counted strings (each its length,
// a blank and its characters: "24 Wed Mar 18 09:32:12 2020" for the time).
// DXF writes the time as the empty string; so do we, leaving everything
// else as it is.
void dropModelTime(std::string& model) {
  size_t p = model.find('\n');
  if (p == std::string::npos) return;
  ++p;
  const size_t lineEnd = std::min(model.find('\n', p), model.size());
  for (int field = 0; field < 3; ++field) {
    const size_t start = p;
    size_t count = 0;
    while (p < lineEnd && plainModelChar(model[p]) >= '0' && plainModelChar(model[p]) <= '9' && count < 100000)
      count = count * 10 + static_cast<size_t>(plainModelChar(model[p++]) - '0');
    if (p == start || p >= lineEnd || model[p] != ' ' || count > lineEnd - p - 1) return;
    if (field == 2) {
      model.replace(start, p + 1 + count - start, 1, static_cast<char>(159 - '0'));
      return;
    }
    p += 1 + count;
    if (p >= lineEnd || model[p] != ' ') return;
    ++p;
  }
}

// Model text (lines ended by '\n'; in its stored form when STORED, plain
// else) as DXF groups: a group 1 per line, continued in groups 3, through
// the one writer of model groups the host has. TEXT is made plain in
// place: a model is the largest thing a drawing holds, and is read once.
void writeModelText(DxfTextWriter& w, std::string& text, bool stored) {
  // Lines as DXF keeps them: without the carriage returns and the trailing
  // blanks some writers leave.
  char* const begin = text.data();
  char* out = begin;
  for (char c : text) {
    if (stored) c = plainModelChar(c);
    if (c == '\n')
      while (out != begin && (out[-1] == ' ' || out[-1] == '\r')) --out;
    *out++ = c;
  }
  while (out != begin && (out[-1] == ' ' || out[-1] == '\r' || out[-1] == '\n')) --out;
  text.resize(size_t(out - begin));
  const std::string& plain = text;
  if (solids::modelTextStorable(plain)) {
    solids::emitModelText(plain, [&w](int code, std::string_view value) { w.raw(code, value); });
    return;
  }
  // A character with no stored form: the lines stored as they are.
  size_t at = 0;
  std::string line;
  while (at < plain.size()) {
    const size_t end = std::min(plain.find('\n', at), plain.size());
    line.assign(plain, at, end - at);
    for (char& c : line) c = plainModelChar(c);
    w.text(1, line);
    at = end + 1;
  }
}

// Where the model read into DOC ends in BYTES: after its end marker, a name
// (its parts, tag 0x0E, then its last, 0x0D).
size_t endOfModel(ObjectReader& in, const std::string& bytes, const solids::SatDocument& doc) {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t at = doc.endAt;
  while (at + 2 <= bytes.size()) {
    const uint8_t tag = data[at];
    const size_t length = data[at + 1];
    if (at + 2 + length > bytes.size() || (tag != 0x0D && tag != 0x0E)) break;
    at += 2 + length;
    if (tag == 0x0D) return at;
  }
  in.fail("binary solid model has no end marker");
}

// The bytes of a binary model (SAB) at the start of BYTES: up to and with
// its end marker; DOC gets the model as read. Throws through IN where the
// model can't be read. With NOTEXTFORM, DOC keeps only the model's header,
// and its records are looked at one by one as they are read: NOTEXTFORM
// gets why the model has no text form (as hasSatTextForm would say),
// empty when it has one.
size_t binaryModelLength(ObjectReader& in, const std::string& bytes, solids::SatDocument& doc,
                         std::string* noTextForm = nullptr) {
  std::string reason;
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  if (noTextForm == nullptr) {
    if (!solids::readSab(data, bytes.size(), doc, reason)) in.fail(reason);
    return endOfModel(in, bytes, doc);
  }
  std::string recordReason;
  const auto look = [&recordReason](const solids::SatRecord& record, std::string&) {
    if (recordReason.empty()) solids::satRecordHasTextForm(record, recordReason);
    return true;
  };
  if (!solids::scanSab(data, bytes.size(), doc, look, reason)) in.fail(reason);
  if (solids::satHeaderHasTextForm(doc, solids::SatTextStyle::kDxf, *noTextForm)) *noTextForm = recordReason;
  return endOfModel(in, bytes, doc);
}

// A wire of the wireframe kept beside a model: skipped.
void skipWire(ObjectReader& in) {
  in.RC();
  in.BL();
  in.BS();
  in.BL();
  const uint32_t points = in.count(in.BL(), 6, "wire points");
  for (uint32_t i = 0; i < points; ++i) in.BD3();
  if (in.B()) {
    for (int i = 0; i < 4; ++i) in.BD3();
    in.BD();
    in.B();
    in.B();
    in.B();
  }
}

// 3DSOLID, REGION and BODY: the model (text before R2004's saves, binary
// after; for R2013 and later in the data-storage section), the wireframe
// beside it, and from R2013 on the model's revision.
void decodeModeler(Decoding& d, std::string_view name) {
  ObjectReader& in = d.in;
  std::string model;
  bool binary = false;
  solids::SatDocument binaryModel; // a binary model, as read (an export's: its header alone)
  std::string noTextForm;          // an export's binary model: why it has no text form
  int version = 1;
  // A model kept in the data-storage section (R2013 and later) leaves
  // nothing of itself here; else a flag says whether there is one.
  if (!d.obj.modelInDataStorage && !in.B()) {
    in.B();
    version = in.BS();
    if (version == 1) {
      for (;;) {
        const uint32_t size = in.BL();
        if (size == 0) break;
        model += in.bytes(in.count(size, 8, "bytes of model text"));
      }
      dropModelTime(model);
    } else {
      // Binary model data inline, up to its end marker.
      std::string rest = in.bytes(in.data().remaining() / 8);
      const size_t length = binaryModelLength(in, rest, binaryModel, d.binaryModels ? &noTextForm : nullptr);
      in.data().seek(in.data().position() - (rest.size() - length) * 8);
      rest.resize(length);
      model = std::move(rest);
      binary = true;
    }
  }
  // The wireframe: a point when one is kept, the isolines' count, and
  // the wires and silhouettes when kept.
  if (in.B() && in.B()) in.BD3();
  in.BL();
  if (in.B()) {
    const uint32_t wires = in.count(in.BL(), 8, "wires");
      for (uint32_t i = 0; i < wires; ++i) skipWire(in);
    const uint32_t silhouettes = in.count(in.BL(), 8, "silhouettes");
    for (uint32_t i = 0; i < silhouettes; ++i) {
      in.BL();
      in.BD3();
      in.BD3();
      in.BD3();
      in.B();
      const uint32_t n = in.count(in.BL(), 8, "wires");
      for (uint32_t k = 0; k < n; ++k) skipWire(in);
    }
  }
  in.B();
  uint32_t materials = 0;
  if (d.since(V::kR2007)) {
    materials = in.count(in.BL(), 2, "materials");
    for (uint32_t i = 0; i < materials; ++i) {
      in.BL();
      in.BL();
    }
  }
  bool hasRevision = false;
  std::string revision;
  if (d.since(V::kR2013)) {
    hasRevision = in.B();
    const uint32_t major = in.BL();
    const uint16_t minor1 = in.BS(), minor2 = in.BS();
    const std::string b = in.bytes(8);
      in.BL();
      char text[40];
    std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", major, minor1, minor2,
                  uint8_t(b[0]), uint8_t(b[1]), uint8_t(b[2]), uint8_t(b[3]), uint8_t(b[4]), uint8_t(b[5]),
                  uint8_t(b[6]), uint8_t(b[7]));
    revision = text;
  }
  writeHead(d, name);
  in.handles(materials);
  uint64_t history = 0;
  // A 3D solid keeps the handle of its history (R2007 and later); regions
  // and bodies have none.
  const bool hasHistory = d.since(V::kR2007) && name == "3DSOLID";
  if (hasHistory) history = in.H();
  DxfTextWriter& w = d.w;
  w.subclass("AcDbModelerGeometry");
  if (d.since(V::kR2013)) {
    w.integer(290, hasRevision ? 1 : 0);
    w.text(2, revision);
  } else if (binary && d.binaryModels) {
    // Handed up as read: the reader of an export takes binary models as
    // they are, and model text would only be parsed back into this. What
    // has no text form is refused as the text would refuse it.
    if (!noTextForm.empty()) in.fail("binary solid model: " + noTextForm);
    w.integer(70, 1);
    d.obj.binaryModel = std::move(model);
  } else if (binary) {
    // The binary model as model text, as DXF of these versions keeps it.
    std::string text, reason;
    if (!solids::writeSatText(binaryModel, solids::SatTextStyle::kDxf, text, reason))
      in.fail("binary solid model: " + reason);
    w.integer(70, 1);
    writeModelText(w, text, false);
  } else {
    w.integer(70, version);
    writeModelText(w, model, true);
  }
  if (hasHistory) {
    w.subclass("AcDb3dSolid");
    w.handle(350, history);
  }
}

void decodeRegion(Decoding& d) { decodeModeler(d, "REGION"); }
void decode3dSolid(Decoding& d) { decodeModeler(d, "3DSOLID"); }
void decodeBody(Decoding& d) { decodeModeler(d, "BODY"); }

void decodeMesh(Decoding& d) {
  ObjectReader& in = d.in;
  const int version = static_cast<uint16_t>(in.BS());
  const bool blendCrease = in.B();
  const uint32_t subdivision = in.BL();
  const uint32_t vertices = in.count(in.BL(), 6, "vertices");
  std::vector<Vec3> v(vertices);
  for (Vec3& p : v) p = in.BD3();
  const uint32_t faceItems = in.count(in.BL(), 2, "faces");
  std::vector<int32_t> faces(faceItems);
  for (int32_t& f : faces) f = in.BL();
  const uint32_t edges = in.count(in.BL(), 4, "edges");
  std::vector<int32_t> edge(size_t{edges} * 2);
  for (int32_t& e : edge) e = in.BL();
  const uint32_t creases = in.count(in.BL(), 2, "creases");
  std::vector<double> crease(creases);
  for (double& c : crease) c = in.BD();
  writeHead(d, "MESH");
  DxfTextWriter& w = d.w;
  w.subclass("AcDbSubDMesh");
  w.integer(71, version);
  w.integer(72, blendCrease ? 1 : 0);
  w.integer(91, subdivision);
  w.integer(92, vertices);
  for (const Vec3& p : v) w.point(10, p);
  w.integer(93, faceItems);
  for (int32_t f : faces) w.integer(90, f);
  w.integer(94, edges);
  for (int32_t e : edge) w.integer(90, e);
  w.integer(95, creases);
  for (double c : crease) w.real(140, c);
  w.integer(90, 0);
}

// ---------------------------------------------------------------------------
// Table records and control objects

struct RecordHead {
  std::string name;
  int flags = 0; // DXF 70's xref bits (16 dependent, 64 referenced)
};

// "*D", "*U", "*Paper_Space": a star and a prefix, with no number yet.
bool isAnonymousBlockName(std::string_view name) {
  if (name.size() < 2 || name[0] != '*') return false;
  for (char c : name.substr(1))
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_')) return false;
  return true;
}

RecordHead readRecordHead(Decoding& d) {
  ObjectReader& in = d.in;
  RecordHead h;
  h.name = in.T();
  const bool referenced = in.B();
  bool dependent;
  if (d.before(V::kR2007)) {
    in.BS();
    dependent = in.B();
  } else {
    dependent = in.B();
    if (dependent) in.BS();
  }
  // DXF keeps the dependence on an external reference; "referenced" (64)
  // is the session's, not the file's.
  (void)referenced;
  h.flags = dependent ? 16 : 0;
  if (d.obj.type == 49 && isAnonymousBlockName(h.name)) {
    auto at = d.names.blockIndex.find(d.obj.handle);
    if (at != d.names.blockIndex.end()) h.name += std::to_string(at->second);
  }
  d.obj.name = h.name;
  return h;
}

// FLAGS < 0 leaves 70 out (block records write it later, for another use).
void writeRecordHead(Decoding& d, std::string_view dxfName, std::string_view subclass, const RecordHead& h,
                     int flags, int handleCode = 5) {
  writeHead(d, dxfName, handleCode);
  d.w.subclass("AcDbSymbolTableRecord");
  d.w.subclass(subclass);
  d.w.text(2, h.name);
  if (flags >= 0) d.w.integer(70, flags);
}

void decodeLayer(Decoding& d) {
  ObjectReader& in = d.in;
  const RecordHead h = readRecordHead(d);
  int flags = h.flags;
  bool off = false, plot = true;
  int weight = 29;
  if (d.before(V::kR2000)) {
    // R13 and R14 say "off" by the colour's sign alone (read below).
    if (in.B()) flags |= 1;
    in.B();
    if (in.B()) flags |= 2;
    if (in.B()) flags |= 4;
  } else {
    const int bits = static_cast<uint16_t>(in.BS());
    flags |= (bits & 1) | (bits & 4 ? 2 : 0) | (bits & 8 ? 4 : 0);
    off = (bits & 2) != 0;
    plot = (bits & 16) != 0;
    weight = (bits & 0x3E0) >> 5;
  }
  const DwgColor color = in.CMC();
  int number = static_cast<int16_t>(color.colorNumber());
  if (number < 0) {
    off = true;
    number = -number;
  }
  writeRecordHead(d, "LAYER", "AcDbLayerTableRecord", h, flags);
  in.H(); // the external reference's block
  uint64_t plotstyle = 0, material = 0, visualStyle = 0;
  if (d.since(V::kR2000)) plotstyle = in.H();
  if (d.since(V::kR2007)) material = in.H();
  const uint64_t ltype = in.H();
  if (d.since(V::kR2013)) visualStyle = in.H();
  DxfTextWriter& w = d.w;
  w.integer(62, off ? -number : number);
  if (isTrueColor(color, false)) w.integer(420, color.rgb & 0xFFFFFF);
  w.text(6, d.nameOf(ltype, "Continuous"));
  if (d.since(V::kR2000)) {
    if (!plot) w.integer(290, 0);
    w.integer(370, lineweightValue(weight));
    w.handle(390, plotstyle);
  }
  if (d.since(V::kR2007)) w.handle(347, material);
  if (d.since(V::kR2013)) w.handle(348, visualStyle);
}

void decodeLinetype(Decoding& d) {
  ObjectReader& in = d.in;
  const RecordHead h = readRecordHead(d);
  const std::string description = in.T();
  const double length = in.BD();
  const int alignment = in.RC();
  const int dashes = in.RC();
  struct Dash {
    double length, x, y, scale, rotation;
    int shape, flags;
    uint64_t style = 0;
  };
  std::vector<Dash> dash(static_cast<size_t>(dashes));
  bool hasText = false;
  for (Dash& x : dash) {
    x.length = in.BD();
    x.shape = in.BS();
    x.x = in.RD();
    x.y = in.RD();
    x.scale = in.BD();
    x.rotation = in.BD();
    x.flags = static_cast<uint16_t>(in.BS());
    if (x.flags & 2) hasText = true;
  }
  std::string strings;
  if (d.before(V::kR2007)) strings = in.bytes(256);
  else if (hasText) strings = in.bytes(512);
  writeRecordHead(d, "LTYPE", "AcDbLinetypeTableRecord", h, h.flags);
  in.H(); // external reference block
  for (Dash& x : dash) x.style = in.H();
  DxfTextWriter& w = d.w;
  w.text(3, description);
  w.integer(72, alignment);
  w.integer(73, dashes);
  w.real(40, length);
  for (const Dash& x : dash) {
    w.real(49, x.length);
    w.integer(74, x.flags);
    if (x.flags != 0) {
      w.integer(75, x.shape);
      w.handle(340, x.style);
      w.real(46, x.scale);
      w.real(50, x.rotation * kDegreesPerRadian);
      w.real(44, x.x);
      w.real(45, x.y);
    }
  }
}

void decodeStyle(Decoding& d) {
  ObjectReader& in = d.in;
  const RecordHead h = readRecordHead(d);
  int flags = h.flags;
  if (in.B()) flags |= 1;
  if (in.B()) flags |= 4;
  const double height = in.BD(), width = in.BD(), oblique = in.BD();
  const int generation = in.RC();
  const double last = in.BD();
  const std::string font = in.T(), bigFont = in.T();
  writeRecordHead(d, "STYLE", "AcDbTextStyleTableRecord", h, flags);
  DxfTextWriter& w = d.w;
  w.real(40, height);
  w.real(41, width);
  w.real(50, oblique * kDegreesPerRadian);
  w.integer(71, generation);
  w.real(42, last);
  w.text(3, font);
  w.text(4, bigFont);
}

void decodeAppId(Decoding& d) {
  const RecordHead h = readRecordHead(d);
  d.in.RC();
  writeRecordHead(d, "APPID", "AcDbRegAppTableRecord", h, h.flags);
}

void decodeBlockRecord(Decoding& d) {
  ObjectReader& in = d.in;
  const RecordHead h = readRecordHead(d);
  DwgBlockInfo info;
  info.flags = h.flags;
  if (in.B()) info.flags |= 1;
  if (in.B()) info.flags |= 2;
  const bool xref = in.B();
  const bool overlaid = in.B();
  if (xref) info.flags |= 4;
  if (overlaid) info.flags |= 8;
  if (d.since(V::kR2000)) in.B(); // loaded
  uint32_t owned = 0;
  if (d.since(V::kR2004)) owned = in.BL() /* handles, checked where read */;
  info.base = in.BD3();
  info.xrefPath = in.T();
  uint32_t inserts = 0;
  std::string preview;
  int units = 0;
  bool explodable = true;
  int scaling = 0;
  if (d.since(V::kR2000)) {
    // The insert handles' count: bytes of 1 until a 0.
    while (in.RC() != 0) ++inserts;
    in.T(); // description
    const uint32_t size = in.count(in.BL(), 8, "preview");
    if (d.previews) preview = in.bytes(size);
    else in.skipBytes(size);
  }
  if (d.since(V::kR2007)) {
    units = static_cast<uint16_t>(in.BS());
    explodable = in.B();
    scaling = in.RC();
  }
  // A block record's DXF 70 is its insert units (R2007 and later); its
  // flags go to its BLOCK.
  writeRecordHead(d, "BLOCK_RECORD", "AcDbBlockTableRecord", h, -1);
  in.H(); // null
  d.obj.blockEntity = in.H();
  if (d.before(V::kR2004)) {
    if (!xref && !overlaid) {
      d.obj.first = in.H();
      d.obj.last = in.H();
    }
  } else {
    d.obj.owned = in.handles(owned);
  }
  d.obj.endBlock = in.H();
  uint64_t layout = 0;
  std::vector<uint64_t> references;
  if (d.since(V::kR2000)) {
    references = in.handles(inserts);
    layout = in.H();
  }
  DxfTextWriter& w = d.w;
  if (d.since(V::kR2000)) w.handle(340, layout);
  w.binary(310, preview);
  if (!references.empty()) {
    std::sort(references.begin(), references.end());
    w.text(102, "{BLKREFS");
    for (uint64_t r : references) w.handle(331, r);
    w.text(102, "}");
  }
  if (d.since(V::kR2007)) {
    w.integer(70, units);
    w.integer(280, explodable ? 1 : 0);
    w.integer(281, scaling);
  }
  d.obj.block = std::move(info);
}

// Any other table record: its name and flags are what others refer to.
void decodeOtherRecord(Decoding& d, std::string_view dxfName, std::string_view subclass, int handleCode = 5) {
  const RecordHead h = readRecordHead(d);
  writeRecordHead(d, dxfName, subclass, h, h.flags, handleCode);
}

void decodeVport(Decoding& d) { decodeOtherRecord(d, "VPORT", "AcDbViewportTableRecord"); }
void decodeView(Decoding& d) { decodeOtherRecord(d, "VIEW", "AcDbViewTableRecord"); }
void decodeUcs(Decoding& d) { decodeOtherRecord(d, "UCS", "AcDbUCSTableRecord"); }
void decodeDimstyle(Decoding& d) { decodeOtherRecord(d, "DIMSTYLE", "AcDbDimStyleTableRecord", 105); }

// A table's control object: the TABLE group that opens the table, and its
// records in order.
void decodeControl(Decoding& d, std::string_view table) {
  ObjectReader& in = d.in;
  const uint32_t entries = in.BS(); // checked where their handles are read
  int more = 0;
  if (table == "DIMSTYLE" && d.since(V::kR2000)) more = in.RC();
  writeHead(d, table, 5, true);
  d.obj.owned = in.handles(entries);
  if (table == "BLOCK_RECORD") {
    const uint64_t model = in.H(), paper = in.H();
    d.obj.first = model;
    d.obj.last = paper;
  } else if (table == "LTYPE") {
    d.obj.first = in.H(); // ByBlock
    d.obj.last = in.H();  // ByLayer
  }
  std::vector<uint64_t> extra;
  if (more > 0) extra = in.handles(static_cast<uint32_t>(more));
  d.w.subclass("AcDbSymbolTable");
  d.w.integer(70, entries);
  if (table == "DIMSTYLE") {
    d.w.subclass("AcDbDimStyleTable");
    d.w.integer(71, more);
    for (uint64_t h : extra) d.w.handle(340, h);
  }
}

// ---------------------------------------------------------------------------
// Objects

void decodeDictionary(Decoding& d, bool withDefault) {
  ObjectReader& in = d.in;
  const uint32_t items = in.countTexts(in.BL(), "dictionary entries");
  int cloning = 1, hardOwner = 0;
  if (d.in.version() == V::kR14) {
    if (withDefault) in.RL();
    else hardOwner = in.RC();
  }
  if (d.since(V::kR2000)) {
    cloning = in.BS();
    hardOwner = in.RC();
  }
  std::vector<std::string> keys(items);
  for (std::string& k : keys) k = in.T();
  writeHead(d, withDefault ? "ACDBDICTIONARYWDFLT" : "DICTIONARY");
  std::vector<uint64_t> values = in.handles(items);
  d.obj.owned = values;
  if (items == 1) d.obj.name = keys[0];
  uint64_t def = 0;
  if (withDefault) def = in.H();
  DxfTextWriter& w = d.w;
  w.subclass("AcDbDictionary");
  if (hardOwner != 0) w.integer(280, hardOwner);
  w.integer(281, cloning);
  for (uint32_t i = 0; i < items; ++i) {
    // An entry naming no object (R13 keeps erased entries so, with an
    // empty key) has no place in DXF.
    if (values[i] == 0) continue;
    w.text(3, keys[i]);
    w.handle(hardOwner & 1 ? 360 : 350, values[i]);
  }
  if (withDefault) {
    w.subclass("AcDbDictionaryWithDefault");
    w.handle(340, def);
  }
}

// XRECORD: its groups, each a code and a value of the code's type, in
// as many bytes as the record states.
void decodeXRecord(Decoding& d) {
  ObjectReader& in = d.in;
  const uint32_t size = in.BL();
  if (size > in.data().remaining() / 8) in.fail("an extension record's data runs past the object");
  // The items are written after the head, which the cloning flag behind
  // them opens: they are read once that is written.
  const uint64_t items = in.data().position();
  const uint64_t end = items + uint64_t{size} * 8;
  in.data().seek(end);
  int cloning = 1;
  if (d.since(V::kR2000)) cloning = in.BS();
  const uint64_t after = in.data().position();
  writeHead(d, "XRECORD");
  DxfTextWriter& x = d.w;
  x.subclass("AcDbXrecord");
  if (d.since(V::kR2000)) x.integer(280, cloning);
  in.data().seek(items);
  while (in.data().position() < end) {
    const int code = static_cast<int16_t>(in.RS());
    if (code >= 310 && code <= 319) {
      x.binary(code, in.bytes(in.RC()));
      continue;
    }
    if ((code >= 320 && code <= 369) || (code >= 390 && code <= 399) || code == 480 || code == 481) {
      x.handle(code, in.data().readRLL());
      continue;
    }
    switch (dxfValueKind(code)) {
    case DxfValueKind::kReal:
      if ((code >= 10 && code <= 18) || (code >= 110 && code <= 112) || code == 210 || (code >= 1010 && code <= 1013))
        x.point(code, {in.RD(), in.RD(), in.RD()});
      else if (code >= 50 && code <= 58)
        x.real(code, in.RD() * kDegreesPerRadian); // angles: radians kept, degrees written
      else
        x.real(code, in.RD());
      break;
    case DxfValueKind::kInt:
      switch (dxfBinaryType(code)) {
      case DxfBinaryType::kInt16: x.integer(code, static_cast<int16_t>(in.RS())); break;
      case DxfBinaryType::kInt32: x.integer(code, static_cast<int32_t>(in.RL())); break;
      case DxfBinaryType::kInt64: x.integer(code, static_cast<int64_t>(in.data().readRLL())); break;
      default: x.integer(code, in.RC()); break;
      }
      break;
    default: {
      // A string: R2007 and later in UTF-16 code units, before as bytes
      // after a code page.
      const uint16_t length = in.RS();
      if (d.since(V::kR2007)) {
        if (uint64_t{length} * 16 > in.data().remaining()) in.fail("an extension record's text runs past it");
        std::vector<uint16_t> units(length);
        for (uint16_t& u : units) u = in.RS();
        x.text(code, dxfUnicodeEscapes(utf16ToUtf8(units)));
      } else {
        in.RC();
        x.text(code, in.bytes(length));
      }
      break;
    }
    }
  }
  if (in.data().position() != end) in.fail("an extension record's items run past its stated size");
  in.data().seek(after);
}

void decodeGroup(Decoding& d) {
  ObjectReader& in = d.in;
  const std::string description = in.T();
  const int unnamed = in.BS(), selectable = in.BS();
  const uint32_t count = in.BL();
  writeHead(d, "GROUP");
  const std::vector<uint64_t> members = in.handles(count);
  DxfTextWriter& w = d.w;
  w.subclass("AcDbGroup");
  w.text(300, description);
  w.integer(70, unnamed);
  w.integer(71, selectable);
  for (uint64_t h : members) w.handle(340, h);
}

void decodePlaceholder(Decoding& d) { writeHead(d, "ACDBPLACEHOLDER"); }

void decodeWipeoutVariables(Decoding& d) {
  const int frame = d.in.BS();
  writeHead(d, "WIPEOUTVARIABLES");
  d.w.subclass("AcDbWipeoutVariables");
  d.w.integer(70, frame);
}

void decodeScale(Decoding& d) {
  ObjectReader& in = d.in;
  const int flags = in.BS();
  const std::string name = in.T();
  const double paper = in.BD(), drawing = in.BD();
  const bool unit = in.B();
  writeHead(d, "SCALE");
  DxfTextWriter& w = d.w;
  w.subclass("AcDbScale");
  w.integer(70, flags);
  w.text(300, name);
  w.real(140, paper);
  w.real(141, drawing);
  w.integer(290, unit ? 1 : 0);
}

// LAYOUT: its plot settings, then the layout's own data (name, tab order,
// limits, extents, its UCS); its block record and last active viewport
// by handle.
void decodeLayout(Decoding& d) {
  ObjectReader& in = d.in;
  const std::string pageSetup = in.T(), printer = in.T();
  const int plotFlags = in.BS();
  double margins[6];
  for (double& m : margins) m = in.BD(); // left, bottom, right, top; paper width, height
  const std::string paper = in.T();
  const double originX = in.BD(), originY = in.BD();
  const int paperUnits = in.BS(), rotation = in.BS(), plotType = in.BS();
  double window[4];
  for (double& v : window) v = in.BD();
  std::string viewName; // R2004 and later keep the view by handle
  if (d.before(V::kR2004)) viewName = in.T();
  const double realUnits = in.BD(), drawingUnits = in.BD();
  const std::string styleSheet = in.T();
  const int scaleType = in.BS();
  const double scale = in.BD();
  const double imageX = in.BD(), imageY = in.BD();
  int shadeMode = 0, shadeLevel = 0, shadeDpi = 0;
  if (d.since(V::kR2004)) {
    shadeMode = in.BS();
    shadeLevel = in.BS();
    shadeDpi = in.BS();
  }
  const std::string name = in.T();
  const uint32_t tabOrder = in.BL();
  const int flags = in.BS();
  const Vec3 ucsOrigin = in.BD3();
  const double limMinX = in.RD(), limMinY = in.RD(), limMaxX = in.RD(), limMaxY = in.RD();
  const Vec3 insertion = in.BD3(), xAxis = in.BD3(), yAxis = in.BD3();
  const double elevation = in.BD();
  const int orthoType = in.BS();
  const Vec3 extMin = in.BD3(), extMax = in.BD3();
  uint32_t viewports = 0;
  if (d.since(V::kR2004)) viewports = in.BL(); // handles, checked where read
  writeHead(d, "LAYOUT");
  if (d.since(V::kR2004)) in.H(); // the plot view
  if (d.since(V::kR2007)) in.H(); // the visual style
  const uint64_t block = in.H(), viewport = in.H(), baseUcs = in.H(), namedUcs = in.H();
  in.handles(viewports);
  DxfTextWriter& w = d.w;
  w.subclass("AcDbPlotSettings");
  w.text(1, pageSetup);
  w.text(2, printer);
  w.text(4, paper);
  w.text(6, viewName);
  for (int i = 0; i < 6; ++i) w.real(40 + i, margins[i]);
  w.real(46, originX);
  w.real(47, originY);
  w.real(48, window[0]);
  w.real(49, window[1]);
  w.real(140, window[2]);
  w.real(141, window[3]);
  w.real(142, realUnits);
  w.real(143, drawingUnits);
  w.integer(70, plotFlags);
  w.integer(72, paperUnits);
  w.integer(73, rotation);
  w.integer(74, plotType);
  w.text(7, styleSheet);
  w.integer(75, scaleType);
  w.real(147, scale);
  if (d.since(V::kR2004)) {
    w.integer(76, shadeMode);
    w.integer(77, shadeLevel);
    w.integer(78, shadeDpi);
  }
  w.real(148, imageX);
  w.real(149, imageY);
  w.subclass("AcDbLayout");
  w.text(1, name);
  w.integer(70, flags);
  w.integer(71, tabOrder);
  w.point2(10, limMinX, limMinY);
  w.point2(11, limMaxX, limMaxY);
  w.point(12, insertion);
  w.point(14, extMin);
  w.point(15, extMax);
  w.real(146, elevation);
  w.point(13, ucsOrigin);
  w.point(16, xAxis);
  w.point(17, yAxis);
  w.integer(76, orthoType);
  w.handle(330, block);
  if (viewport != 0) w.handle(331, viewport);
  if (namedUcs != 0) w.handle(345, namedUcs);
  if (baseUcs != 0) w.handle(346, baseUcs);
}

void decodeDictionaryVar(Decoding& d) {
  const int schema = d.in.RC();
  const std::string value = d.in.T();
  writeHead(d, "DICTIONARYVAR");
  d.w.subclass("DictionaryVariables");
  d.w.integer(280, schema);
  d.w.text(1, value);
}

// Kinds the reader lists without their own data.
void decodeListed(Decoding& d) {
  d.obj.listedOnly = true;
  writeHead(d, d.obj.kind);
}

// ---------------------------------------------------------------------------
// The table of kinds

struct Kind {
  std::string_view dxfName;
  bool entity;
  void (*decode)(Decoding&);
};

const Kind* fixedKind(uint32_t type) {
  static const std::unordered_map<uint32_t, Kind> kKinds = {
      {1, {"TEXT", true, decodeText}},
      {2, {"ATTRIB", true, decodeAttrib}},
      {3, {"ATTDEF", true, decodeAttdef}},
      {4, {"BLOCK", true, decodeBlock}},
      {5, {"ENDBLK", true, decodeEndBlock}},
      {6, {"SEQEND", true, decodeSeqend}},
      {7, {"INSERT", true, decodeSingleInsert}},
      {8, {"INSERT", true, decodeMultipleInsert}},
      {10, {"VERTEX", true, decodeVertex2d}},
      {11, {"VERTEX", true, decodeVertex3d}},
      {12, {"VERTEX", true, decodeVertexMesh}},
      {13, {"VERTEX", true, decodeVertexPface}},
      {14, {"VERTEX", true, decodeFaceRecord}},
      {15, {"POLYLINE", true, decodePolyline2d}},
      {16, {"POLYLINE", true, decodePolyline3d}},
      {17, {"ARC", true, decodeArc}},
      {18, {"CIRCLE", true, decodeCircle}},
      {19, {"LINE", true, decodeLine}},
      {20, {"DIMENSION", true, nullptr}},
      {21, {"DIMENSION", true, nullptr}},
      {22, {"DIMENSION", true, nullptr}},
      {23, {"DIMENSION", true, nullptr}},
      {24, {"DIMENSION", true, nullptr}},
      {25, {"DIMENSION", true, nullptr}},
      {26, {"DIMENSION", true, nullptr}},
      {27, {"POINT", true, decodePoint}},
      {28, {"3DFACE", true, decode3dFace}},
      {29, {"POLYLINE", true, decodePolyfaceMesh}},
      {30, {"POLYLINE", true, decodePolygonMesh}},
      {31, {"SOLID", true, decodeSolid}},
      {32, {"TRACE", true, decodeTrace}},
      {33, {"SHAPE", true, nullptr}},
      {34, {"VIEWPORT", true, nullptr}},
      {35, {"ELLIPSE", true, nullptr}},
      {36, {"SPLINE", true, nullptr}},
      {37, {"REGION", true, decodeRegion}},
      {38, {"3DSOLID", true, decode3dSolid}},
      {39, {"BODY", true, decodeBody}},
      {40, {"RAY", true, nullptr}},
      {41, {"XLINE", true, nullptr}},
      {42, {"DICTIONARY", false, [](Decoding& d) { decodeDictionary(d, false); }}},
      {43, {"OLEFRAME", true, nullptr}},
      {44, {"MTEXT", true, decodeMText}},
      {45, {"LEADER", true, nullptr}},
      {46, {"TOLERANCE", true, nullptr}},
      {47, {"MLINE", true, nullptr}},
      {48, {"BLOCK_RECORD", false, [](Decoding& d) { decodeControl(d, "BLOCK_RECORD"); }}},
      {49, {"BLOCK_RECORD", false, decodeBlockRecord}},
      {50, {"LAYER", false, [](Decoding& d) { decodeControl(d, "LAYER"); }}},
      {51, {"LAYER", false, decodeLayer}},
      {52, {"STYLE", false, [](Decoding& d) { decodeControl(d, "STYLE"); }}},
      {53, {"STYLE", false, decodeStyle}},
      {56, {"LTYPE", false, [](Decoding& d) { decodeControl(d, "LTYPE"); }}},
      {57, {"LTYPE", false, decodeLinetype}},
      {60, {"VIEW", false, [](Decoding& d) { decodeControl(d, "VIEW"); }}},
      {61, {"VIEW", false, decodeView}},
      {62, {"UCS", false, [](Decoding& d) { decodeControl(d, "UCS"); }}},
      {63, {"UCS", false, decodeUcs}},
      {64, {"VPORT", false, [](Decoding& d) { decodeControl(d, "VPORT"); }}},
      {65, {"VPORT", false, decodeVport}},
      {66, {"APPID", false, [](Decoding& d) { decodeControl(d, "APPID"); }}},
      {67, {"APPID", false, decodeAppId}},
      {68, {"DIMSTYLE", false, [](Decoding& d) { decodeControl(d, "DIMSTYLE"); }}},
      {69, {"DIMSTYLE", false, decodeDimstyle}},
      {70, {"VP_ENT_HDR_CTRL", false, nullptr}},
      {71, {"VP_ENT_HDR", false, nullptr}},
      {72, {"GROUP", false, decodeGroup}},
      {73, {"MLINESTYLE", false, nullptr}},
      {74, {"OLE2FRAME", true, nullptr}},
      {75, {"DUMMY", false, nullptr}},
      {76, {"LONG_TRANSACTION", false, nullptr}},
      {77, {"LWPOLYLINE", true, decodeLwPolyline}},
      {78, {"HATCH", true, nullptr}},
      {79, {"XRECORD", false, decodeXRecord}},
      {80, {"ACDBPLACEHOLDER", false, decodePlaceholder}},
      {81, {"VBA_PROJECT", false, nullptr}},
      {82, {"LAYOUT", false, decodeLayout}},
      {498, {"ACAD_PROXY_ENTITY", true, nullptr}},
      {499, {"ACAD_PROXY_OBJECT", false, nullptr}},
  };
  auto it = kKinds.find(type);
  return it == kKinds.end() ? nullptr : &it->second;
}

const Kind* classKind(std::string_view dxfName) {
  static const Kind kClassKinds[] = {
      {"MESH", true, decodeMesh},
      // R13 and R14 know the lightweight polyline by class.
      {"LWPOLYLINE", true, decodeLwPolyline},
      {"ACDBDICTIONARYWDFLT", false, [](Decoding& d) { decodeDictionary(d, true); }},
      {"XRECORD", false, decodeXRecord},
      {"ACDBPLACEHOLDER", false, decodePlaceholder},
      {"WIPEOUTVARIABLES", false, decodeWipeoutVariables},
      {"SCALE", false, decodeScale},
      {"DICTIONARYVAR", false, decodeDictionaryVar},
      // R13 and R14 know layouts by class.
      {"LAYOUT", false, decodeLayout},
  };
  for (const Kind& k : kClassKinds)
    if (k.dxfName == dxfName) return &k;
  return nullptr;
}

} // namespace

std::string_view fixedTypeName(uint32_t type) {
  const Kind* k = fixedKind(type);
  return k ? k->dxfName : std::string_view();
}

bool isNamedRecordType(uint32_t type) {
  switch (type) {
  case 48: case 49: case 50: case 51: case 52: case 53: case 56: case 57: case 60: case 61: case 62: case 63:
  case 64: case 65: case 66: case 67: case 68: case 69:
    return true;
  default: return false;
  }
}

void readEntityLinks(ObjectReader& in, const DwgNames& names, DwgObject& out) {
  out = DwgObject{};
  out.handle = in.ownHandle();
  out.entity = true;
  std::string none;
  Decoding d(in, none, names, out);
  d.previews = false;
  skipExtendedData(d);
  readEntityCommon(d);
  HeadHandles h;
  readHeadHandles(d, h);
}

void decodeObject(ObjectReader& in, uint32_t type, const DwgClassInfo* cls, const DwgNames& names,
                  DwgObject& out, std::string& text, bool listOnly, bool previews, bool binaryModels) {
  out.type = type;
  out.handle = in.ownHandle();
  out.textBegin = text.size();
  out.notes = DxfGroupNotes{};
  out.notes.base = out.textBegin;
  try {
    Decoding d(in, text, names, out);
    d.previews = previews;
    d.binaryModels = binaryModels;
    const Kind* kind = nullptr;
    if (type >= 500) {
      if (cls == nullptr) in.fail("object of type " + std::to_string(type) + " has no class");
      kind = classKind(cls->dxfName);
      out.kind = cls->dxfName;
      out.entity = cls->entity;
    } else {
      kind = fixedKind(type);
      if (kind == nullptr) in.fail("object of unknown type " + std::to_string(type));
      out.kind = kind->dxfName;
      out.entity = kind->entity;
    }
    const uint64_t extendedData = in.data().position();
    skipExtendedData(d);
    if (out.entity) readEntityCommon(d);
    else readObjectCommon(d);
    if (kind != nullptr && kind->decode != nullptr && !listOnly) kind->decode(d);
    else decodeListed(d);
    writeExtendedData(d, extendedData);
  } catch (...) {
    text.resize(out.textBegin);
    throw;
  }
  out.textEnd = text.size();
}

} // namespace corvane::dwg
