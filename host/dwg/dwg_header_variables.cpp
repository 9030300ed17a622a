#include "dwg/dwg_header_variables.h"

#include <string>

#include "dwg/dwg_error.h"
#include "dwg/dwg_section_streams.h"

namespace corvane::dwg {
namespace {

using V = DwgVersion;

// More variables than any version keeps, and more handles.
constexpr size_t kMostVariables = 512;
constexpr size_t kMostHandles = 64;

// Reads the variables in turn, each from the stream its kind lives in, and
// keeps them (or their handles alone) under their names.
class HeaderReader {
public:
  HeaderReader(DwgSectionStreams& streams, DwgVersion version, DwgHeaderKeeping keeping, DwgHeaderVariables& out)
      : s_(streams), version_(version), handlesOnly_(keeping == DwgHeaderKeeping::kHandles), out_(out) {
    // Room for every variable kept at once: growing the list would take
    // fresh memory at every step.
    out_.variables.reserve(handlesOnly_ ? kMostHandles : kMostVariables);
  }

  bool since(V v) const { return version_ >= v; }
  bool until(V v) const { return version_ <= v; }

  void b(std::string_view name, int16_t group) { keep(name, group, int64_t(s_.data.readB())); }
  void rc(std::string_view name, int16_t group) { keep(name, group, int64_t(s_.data.readRC())); }
  void bs(std::string_view name, int16_t group) { keep(name, group, int64_t(s_.data.readBS())); }
  // A BS holding a signed value (user integers, lineweights).
  void bss(std::string_view name, int16_t group) { keep(name, group, int64_t(int16_t(s_.data.readBS()))); }
  void bl(std::string_view name, int16_t group) { keep(name, group, int64_t(s_.data.readBL())); }
  void bls(std::string_view name, int16_t group) { keep(name, group, int64_t(int32_t(s_.data.readBL()))); }
  void bll(std::string_view name, int16_t group) { keep(name, group, int64_t(s_.data.readBLL())); }
  void bd(std::string_view name, int16_t group) { keep(name, group, s_.data.readBD()); }
  void p3(std::string_view name) { keep(name, 10, s_.data.read3BD()); }
  void p2(std::string_view name) { keep(name, 10, s_.data.read2RD()); }
  void t(std::string_view name, int16_t group) { keep(name, group, s_.text().readT()); }
  void h(std::string_view name, int16_t group) { keep(name, group, s_.handles().readH()); }
  void cmc(std::string_view name, int16_t group) { keep(name, group, s_.data.readCMC(s_.text())); }
  // A date or a time span: whole days, then milliseconds into the day.
  void date(std::string_view name, int16_t group) {
    double days = s_.data.readBL();
    double ms = s_.data.readBL();
    keep(name, group, days + ms / 86400000.0);
  }
  // Values nothing is known of: read past.
  void skipB(int n = 1) { while (n--) s_.data.readB(); }
  void skipBS(int n = 1) { while (n--) s_.data.readBS(); }
  void skipBL(int n = 1) { while (n--) s_.data.readBL(); }
  void skipBD(int n = 1) { while (n--) s_.data.readBD(); }
  void skipTail() {
    BitReader& in = since(V::kR2007) ? s_.handles() : s_.data;
    for (int i = 0; i < 4; ++i) in.readBS();
  }
  void handSeed() {
    // Kept in the data itself in every version, not among the handles.
    DwgHandleRef seed = s_.data.readH();
    out_.handSeed = seed.handle;
    keep("$HANDSEED", 5, seed);
  }
  // The integer read last.
  int64_t last() const { return lastInteger_; }

private:
  void keep(std::string_view name, int16_t group, DwgHeaderValue value) {
    if (const int64_t* i = std::get_if<int64_t>(&value)) lastInteger_ = *i;
    if (handlesOnly_ && !std::holds_alternative<DwgHandleRef>(value)) return;
    out_.variables.push_back(DwgHeaderVariable{name, group, std::move(value)});
  }

  DwgSectionStreams& s_;
  DwgVersion version_;
  bool handlesOnly_;
  int64_t lastInteger_ = 0;
  DwgHeaderVariables& out_;
};

void readAll(HeaderReader& r) {
  if (r.since(V::kR2013)) r.bll("$REQUIREDVERSIONS", 160);
  r.skipBD(4); // unit conversion ratios
  for (std::string_view name : {"UNIT1_NAME", "UNIT2_NAME", "UNIT3_NAME", "UNIT4_NAME"}) r.t(name, 0);
  r.skipBL(2);
  if (r.until(V::kR14)) r.skipBS();
  if (r.until(V::kR2000)) r.h("VX_TABLE_RECORD", 0);
  r.b("$DIMASO", 70);
  r.b("$DIMSHO", 70);
  if (r.until(V::kR14)) r.b("$DIMSAV", 70);
  for (std::string_view name : {"$PLINEGEN", "$ORTHOMODE", "$REGENMODE", "$FILLMODE", "$QTEXTMODE", "$PSLTSCALE", "$LIMCHECK"})
    r.b(name, 70);
  if (r.until(V::kR14)) r.b("$BLIPMODE", 70);
  if (r.since(V::kR2004)) r.skipB();
  for (std::string_view name : {"$USRTIMER", "$SKPOLY", "$ANGDIR", "$SPLFRAME"}) r.b(name, 70);
  if (r.until(V::kR14)) {
    r.b("$ATTREQ", 70);
    r.b("$ATTDIA", 70);
  }
  r.b("$MIRRTEXT", 70);
  r.b("$WORLDVIEW", 70);
  if (r.until(V::kR14)) r.skipB(); // wire frame
  r.b("$TILEMODE", 70);
  r.b("$PLIMCHECK", 70);
  r.b("$VISRETAIN", 70);
  if (r.until(V::kR14)) r.b("$DELOBJ", 70);
  r.b("$DISPSILH", 70);
  r.b("$PELLIPSE", 70);
  r.bs("$PROXYGRAPHICS", 70);
  if (r.until(V::kR14)) r.bs("$DRAGMODE", 70);
  for (std::string_view name : {"$TREEDEPTH", "$LUNITS", "$LUPREC", "$AUNITS", "$AUPREC"}) r.bs(name, 70);
  if (r.until(V::kR14)) r.bs("$OSMODE", 70);
  r.bs("$ATTMODE", 70);
  if (r.until(V::kR14)) r.bs("$COORDS", 70);
  r.bs("$PDMODE", 70);
  if (r.until(V::kR14)) r.bs("$PICKSTYLE", 70);
  if (r.since(V::kR2004)) r.skipBL(3);
  for (std::string_view name : {"$USERI1", "$USERI2", "$USERI3", "$USERI4", "$USERI5"}) r.bss(name, 70);
  for (std::string_view name : {"$SPLINESEGS", "$SURFU", "$SURFV", "$SURFTYPE", "$SURFTAB1", "$SURFTAB2", "$SPLINETYPE",
                                "$SHADEDGE", "$SHADEDIF", "$UNITMODE", "$MAXACTVP", "$ISOLINES", "$CMLJUST", "$TEXTQLTY"})
    r.bs(name, 70);
  r.bd("$LTSCALE", 40);
  r.bd("$TEXTSIZE", 40);
  r.bd("$TRACEWID", 40);
  r.bd("$SKETCHINC", 40);
  r.bd("$FILLETRAD", 40);
  r.bd("$THICKNESS", 40);
  r.bd("$ANGBASE", 50);
  for (std::string_view name : {"$PDSIZE", "$PLINEWID", "$USERR1", "$USERR2", "$USERR3", "$USERR4", "$USERR5", "$CHAMFERA",
                                "$CHAMFERB", "$CHAMFERC", "$CHAMFERD", "$FACETRES", "$CMLSCALE", "$CELTSCALE"})
    r.bd(name, 40);
  r.t("$MENU", 1);
  r.date("$TDUCREATE", 40);
  r.date("$TDUUPDATE", 40);
  if (r.since(V::kR2004)) r.skipBL(3);
  r.date("$TDINDWG", 40);
  r.date("$TDUSRTIMER", 40);
  r.cmc("$CECOLOR", 62);
  r.handSeed();
  r.h("$CLAYER", 8);
  r.h("$TEXTSTYLE", 7);
  r.h("$CELTYPE", 6);
  if (r.since(V::kR2007)) r.h("$CMATERIAL", 347);
  r.h("$DIMSTYLE", 2);
  r.h("$CMLSTYLE", 2);
  if (r.since(V::kR2000)) r.bd("$PSVPSCALE", 40);
  r.p3("$PINSBASE");
  r.p3("$PEXTMIN");
  r.p3("$PEXTMAX");
  r.p2("$PLIMMIN");
  r.p2("$PLIMMAX");
  r.bd("$PELEVATION", 40);
  r.p3("$PUCSORG");
  r.p3("$PUCSXDIR");
  r.p3("$PUCSYDIR");
  r.h("$PUCSNAME", 2);
  if (r.since(V::kR2000)) {
    r.h("$PUCSORTHOREF", 2);
    r.bs("$PUCSORTHOVIEW", 70);
    r.h("$PUCSBASE", 2);
    for (std::string_view name : {"$PUCSORGTOP", "$PUCSORGBOTTOM", "$PUCSORGLEFT", "$PUCSORGRIGHT", "$PUCSORGFRONT", "$PUCSORGBACK"})
      r.p3(name);
  }
  r.p3("$INSBASE");
  r.p3("$EXTMIN");
  r.p3("$EXTMAX");
  r.p2("$LIMMIN");
  r.p2("$LIMMAX");
  r.bd("$ELEVATION", 40);
  r.p3("$UCSORG");
  r.p3("$UCSXDIR");
  r.p3("$UCSYDIR");
  r.h("$UCSNAME", 2);
  if (r.since(V::kR2000)) {
    r.h("$UCSORTHOREF", 2);
    r.bs("$UCSORTHOVIEW", 70);
    r.h("$UCSBASE", 2);
    for (std::string_view name : {"$UCSORGTOP", "$UCSORGBOTTOM", "$UCSORGLEFT", "$UCSORGRIGHT", "$UCSORGFRONT", "$UCSORGBACK"})
      r.p3(name);
    r.t("$DIMPOST", 1);
    r.t("$DIMAPOST", 1);
  }
  if (r.until(V::kR14)) {
    for (std::string_view name : {"$DIMTOL", "$DIMLIM", "$DIMTIH", "$DIMTOH", "$DIMSE1", "$DIMSE2", "$DIMALT", "$DIMTOFL",
                                  "$DIMSAH", "$DIMTIX", "$DIMSOXD"})
      r.b(name, 70);
    r.rc("$DIMALTD", 70);
    r.rc("$DIMZIN", 70);
    r.b("$DIMSD1", 70);
    r.b("$DIMSD2", 70);
    r.rc("$DIMTOLJ", 70);
    r.rc("$DIMJUST", 70);
    r.rc("$DIMFIT", 70);
    r.b("$DIMUPT", 70);
    for (std::string_view name : {"$DIMTZIN", "$DIMALTZ", "$DIMALTTZ", "$DIMTAD"}) r.rc(name, 70);
    for (std::string_view name : {"$DIMUNIT", "$DIMAUNIT", "$DIMDEC", "$DIMTDEC", "$DIMALTU", "$DIMALTTD"}) r.bs(name, 70);
    r.h("$DIMTXSTY", 7);
  }
  for (std::string_view name : {"$DIMSCALE", "$DIMASZ", "$DIMEXO", "$DIMDLI", "$DIMEXE", "$DIMRND", "$DIMDLE", "$DIMTP", "$DIMTM"})
    r.bd(name, 40);
  if (r.since(V::kR2007)) {
    r.bd("$DIMFXL", 40);
    r.bd("$DIMJOGANG", 40);
    r.bs("$DIMTFILL", 70);
    r.cmc("$DIMTFILLCLR", 70);
  }
  if (r.since(V::kR2000)) {
    for (std::string_view name : {"$DIMTOL", "$DIMLIM", "$DIMTIH", "$DIMTOH", "$DIMSE1", "$DIMSE2"}) r.b(name, 70);
    r.bs("$DIMTAD", 70);
    r.bs("$DIMZIN", 70);
    r.bs("$DIMAZIN", 70);
  }
  if (r.since(V::kR2007)) r.bs("$DIMARCSYM", 70);
  for (std::string_view name : {"$DIMTXT", "$DIMCEN", "$DIMTSZ", "$DIMALTF", "$DIMLFAC", "$DIMTVP", "$DIMTFAC", "$DIMGAP"})
    r.bd(name, 40);
  if (r.until(V::kR14)) {
    r.t("$DIMPOST", 1);
    r.t("$DIMAPOST", 1);
    r.t("$DIMBLK", 1);
    r.t("$DIMBLK1", 1);
    r.t("$DIMBLK2", 1);
  }
  if (r.since(V::kR2000)) {
    r.bd("$DIMALTRND", 40);
    r.b("$DIMALT", 70);
    r.bs("$DIMALTD", 70);
    for (std::string_view name : {"$DIMTOFL", "$DIMSAH", "$DIMTIX", "$DIMSOXD"}) r.b(name, 70);
  }
  r.cmc("$DIMCLRD", 70);
  r.cmc("$DIMCLRE", 70);
  r.cmc("$DIMCLRT", 70);
  if (r.since(V::kR2000)) {
    for (std::string_view name : {"$DIMADEC", "$DIMDEC", "$DIMTDEC", "$DIMALTU", "$DIMALTTD", "$DIMAUNIT", "$DIMFRAC",
                                  "$DIMLUNIT", "$DIMDSEP", "$DIMTMOVE", "$DIMJUST"})
      r.bs(name, 70);
    r.b("$DIMSD1", 70);
    r.b("$DIMSD2", 70);
    for (std::string_view name : {"$DIMTOLJ", "$DIMTZIN", "$DIMALTZ", "$DIMALTTZ"}) r.bs(name, 70);
    r.b("$DIMUPT", 70);
    r.bs("$DIMATFIT", 70);
  }
  if (r.since(V::kR2007)) r.b("$DIMFXLON", 290);
  if (r.since(V::kR2010)) {
    r.b("$DIMTXTDIRECTION", 70);
    r.bd("$DIMALTMZF", 40);
    r.bd("$DIMMZF", 40);
    // Texts only from R2010 on, so only ever in the string stream, in turn.
    r.t("$DIMALTMZS", 1);
    r.t("$DIMMZS", 1);
  }
  if (r.since(V::kR2000)) {
    r.h("$DIMTXSTY", 7);
    r.h("$DIMLDRBLK", 1);
    r.h("$DIMBLK", 1);
    r.h("$DIMBLK1", 1);
    r.h("$DIMBLK2", 1);
  }
  if (r.since(V::kR2007)) {
    r.h("$DIMLTYPE", 6);
    r.h("$DIMLTEX1", 6);
    r.h("$DIMLTEX2", 6);
  }
  if (r.since(V::kR2000)) {
    r.bss("$DIMLWD", 70);
    r.bss("$DIMLWE", 70);
  }
  for (std::string_view name : {"BLOCK_CONTROL_OBJECT", "LAYER_CONTROL_OBJECT", "STYLE_CONTROL_OBJECT", "LTYPE_CONTROL_OBJECT",
                                "VIEW_CONTROL_OBJECT", "UCS_CONTROL_OBJECT", "VPORT_CONTROL_OBJECT", "APPID_CONTROL_OBJECT",
                                "DIMSTYLE_CONTROL_OBJECT"})
    r.h(name, 0);
  if (r.until(V::kR2000)) r.h("VX_CONTROL_OBJECT", 0);
  r.h("DICTIONARY_ACAD_GROUP", 0);
  r.h("DICTIONARY_ACAD_MLINESTYLE", 0);
  r.h("DICTIONARY_NAMED_OBJECT", 0);
  if (r.since(V::kR2000)) {
    r.bs("$TSTACKALIGN", 70);
    r.bs("$TSTACKSIZE", 70);
    r.t("$HYPERLINKBASE", 1);
    r.t("$STYLESHEET", 1);
    r.h("DICTIONARY_LAYOUT", 0);
    r.h("DICTIONARY_PLOTSETTINGS", 0);
    r.h("DICTIONARY_PLOTSTYLENAME", 0);
  }
  if (r.since(V::kR2004)) {
    r.h("DICTIONARY_MATERIAL", 0);
    r.h("DICTIONARY_COLOR", 0);
  }
  if (r.since(V::kR2007)) r.h("DICTIONARY_VISUALSTYLE", 0);
  if (r.since(V::kR2013)) r.h("DICTIONARY_LIGHTLIST", 0);
  if (r.since(V::kR2000)) {
    // Bits: 0x1F the current lineweight's index ($CELWEIGHT), 0x60 $ENDCAPS,
    // 0x180 $JOINSTYLE, 0x200 not $LWDISPLAY, 0x400 not $XEDIT, 0x800
    // $EXTNAMES, 0x2000 $PSTYLEMODE, 0x4000 $OLESTARTUP.
    r.bl("FLAGS", 0);
    r.bs("$INSUNITS", 70);
    r.bs("$CEPSNTYPE", 380);
    if (r.last() == 3) r.h("$CPSNID", 390);
    r.t("$FINGERPRINTGUID", 2);
    r.t("$VERSIONGUID", 2);
  }
  if (r.since(V::kR2004)) {
    for (std::string_view name : {"$SORTENTS", "$INDEXCTL", "$HIDETEXT", "$XCLIPFRAME", "$DIMASSOC", "$HALOGAP"}) r.rc(name, 280);
    r.bs("$OBSCOLOR", 70);
    r.bs("$INTERSECTIONCOLOR", 70);
    r.rc("$OBSLTYPE", 280);
    r.rc("$INTERSECTIONDISPLAY", 280);
    r.t("$PROJECTNAME", 1);
  }
  for (std::string_view name : {"BLOCK_RECORD_PSPACE", "BLOCK_RECORD_MSPACE", "LTYPE_BYLAYER", "LTYPE_BYBLOCK", "LTYPE_CONTINUOUS"})
    r.h(name, 0);
  if (r.since(V::kR2007)) {
    r.b("$CAMERADISPLAY", 290);
    r.skipBL(2);
    r.skipBD();
    for (std::string_view name : {"$STEPSPERSEC", "$STEPSIZE", "$3DDWFPREC", "$LENSLENGTH", "$CAMERAHEIGHT"}) r.bd(name, 40);
    r.rc("$SOLIDHIST", 280);
    r.rc("$SHOWHIST", 280);
    for (std::string_view name : {"$PSOLWIDTH", "$PSOLHEIGHT", "$LOFTANG1", "$LOFTANG2", "$LOFTMAG1", "$LOFTMAG2"}) r.bd(name, 40);
    r.bs("$LOFTPARAM", 70);
    r.rc("$LOFTNORMALS", 280);
    r.bd("$LATITUDE", 40);
    r.bd("$LONGITUDE", 40);
    r.bd("$NORTHDIRECTION", 40);
    r.bls("$TIMEZONE", 70);
    for (std::string_view name : {"$LIGHTGLYPHDISPLAY", "$TILEMODELIGHTSYNCH", "$DWFFRAME", "$DGNFRAME"}) r.rc(name, 280);
    r.b("$REALWORLDSCALE", 290);
    r.cmc("$INTERFERECOLOR", 62);
    r.h("$INTERFEREOBJVS", 345);
    r.h("$INTERFEREVPVS", 346);
    r.h("$DRAGVS", 349);
    r.rc("$CSHADOW", 280);
    r.bd("$SHADOWPLANELOCATION", 40);
  }
  // Four values nothing is known of; from R2007 on they end the handles.
  r.skipTail();
}

} // namespace

const DwgHeaderVariable* DwgHeaderVariables::find(std::string_view name) const {
  for (const DwgHeaderVariable& v : variables)
    if (v.name == name) return &v;
  return nullptr;
}

uint64_t DwgHeaderVariables::handle(std::string_view name) const {
  const DwgHeaderVariable* v = find(name);
  if (!v) return 0;
  const DwgHandleRef* ref = std::get_if<DwgHandleRef>(&v->value);
  return ref ? ref->handle : 0;
}

DwgHeaderVariables readHeaderVariables(const DwgSections& sections, DwgHeaderKeeping keeping) {
  DwgSectionStreams streams = sectionStreams(sections.header, kHeaderSentinel, "AcDb:Header", sections);
  DwgHeaderVariables out;
  HeaderReader reader(streams, sections.version, keeping, out);
  readAll(reader);
  // The variables must use the data up to its last byte, a little padding
  // aside; a version read with another's layout never does. Some files of
  // R13 to R2004 end the data, and R2010 files the handles, with a few bits
  // more (up to 21 in the corpus).
  auto check = [](const BitReader& in, uint64_t slack, const char* what) {
    if (in.remaining() >= slack)
      in.fail(std::string("the header's ") + what + " end " + std::to_string(in.remaining()) + " bits before their stream does");
  };
  bool separate = streams.separate;
  check(streams.data, separate ? 8 : 32, "variables");
  if (separate) {
    check(streams.strings, 8, "texts");
    check(streams.handleStream, 16, "handles");
  }
  return out;
}

} // namespace corvane::dwg
