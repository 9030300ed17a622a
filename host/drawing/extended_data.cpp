#include "drawing/extended_data.h"

#include <cmath>
#include <cstring>

#include "dxf/dxf_cursor.h"

namespace corvane {

namespace {

// One item of a block: a single group, or a point's x, y and z groups.
struct XItem {
  int code = 0;
  DxfGroupView values[3];
  int valueCount = 0;
  size_t begin = 0, end = 0; // within the block
};

bool isPointCode(int code) { return code >= 1010 && code <= 1019; }
bool isRealCode(int code) { return code >= 1020 && code <= 1059; }
bool isShortCode(int code) { return code >= 1060 && code <= 1070; }

std::vector<XItem> parseItems(std::string_view block, DxfEncoding encoding) {
  std::vector<XItem> items;
  DxfGroupCursor cursor(block, encoding);
  DxfGroupView g;
  bool pending = false;
  DxfGroupView held;
  while (pending || cursor.next(g)) {
    if (pending) {
      g = held;
      pending = false;
    }
    XItem item;
    item.code = g.code;
    item.values[0] = g;
    item.valueCount = 1;
    item.begin = g.begin;
    item.end = g.end;
    if (isPointCode(g.code)) {
      for (int axis = 1; axis < 3; ++axis) {
        DxfGroupView next;
        if (!cursor.next(next)) break;
        if (next.code != g.code + 10 * axis) {
          held = next;
          pending = true;
          break;
        }
        item.values[axis] = next;
        item.valueCount = axis + 1;
        item.end = next.end;
      }
    }
    items.push_back(item);
  }
  return items;
}

char* copyText(std::string_view text) {
  auto* s = static_cast<char*>(acad_malloc(text.size() + 1));
  if (s == nullptr) return nullptr;
  if (!text.empty()) std::memcpy(s, text.data(), text.size());
  s[text.size()] = '\0';
  return s;
}

short toShort(long long v) {
  return static_cast<short>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

bool fillResbuf(resbuf* rb, const XItem& item, const DxfTextCodec& codec) {
  int code = item.code;
  if (code == 1004) {
    std::string bytes;
    item.values[0].bytes(bytes);
    if (bytes.size() > 32767) bytes.resize(32767);
    rb->resval.rbinary.clen = static_cast<short>(bytes.size());
    rb->resval.rbinary.buf = nullptr;
    if (!bytes.empty()) {
      rb->resval.rbinary.buf = static_cast<char*>(acad_malloc(bytes.size()));
      if (rb->resval.rbinary.buf == nullptr) {
        rb->resval.rbinary.clen = 0;
        return false;
      }
      std::memcpy(rb->resval.rbinary.buf, bytes.data(), bytes.size());
    }
  } else if (code >= 1000 && code <= 1009) {
    std::string_view v = item.values[0].text();
    if (code == 1001 || code == 1002) v = trimBlanks(v);
    rb->resval.rstring = code == 1000 || code == 1003 ? copyText(codec.toUtf8(v)) : copyText(v);
    if (rb->resval.rstring == nullptr) return false;
  } else if (isPointCode(code)) {
    for (int axis = 0; axis < 3; ++axis)
      rb->resval.rpoint[axis] = axis < item.valueCount ? item.values[axis].real() : 0.0;
  } else if (isRealCode(code)) {
    rb->resval.rreal = item.values[0].real();
  } else if (isShortCode(code)) {
    rb->resval.rint = toShort(item.values[0].integer());
  } else if (code == 1071) {
    rb->resval.rlong = static_cast<long>(item.values[0].integer());
  }
  return true;
}

bool hasLineEnd(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

bool validItem(const resbuf* rb, int& depth) {
  int code = rb->restype;
  switch (code) {
  case 1000:
  case 1003: {
    const char* s = rb->resval.rstring;
    if (s == nullptr) return false;
    std::string_view v(s);
    return v.size() <= 255 && !hasLineEnd(v);
  }
  case 1002: {
    const char* s = rb->resval.rstring;
    if (s == nullptr) return false;
    if (std::strcmp(s, "{") == 0) {
      ++depth;
      return true;
    }
    if (std::strcmp(s, "}") == 0) return --depth >= 0;
    return false;
  }
  case 1004:
    return rb->resval.rbinary.clen >= 0 && rb->resval.rbinary.clen <= 127 &&
           (rb->resval.rbinary.clen == 0 || rb->resval.rbinary.buf != nullptr);
  case 1005:
    return rb->resval.rstring != nullptr && parseHandle(rb->resval.rstring).has_value() &&
           !hasLineEnd(rb->resval.rstring);
  case 1010:
  case 1011:
  case 1012:
  case 1013:
    return std::isfinite(rb->resval.rpoint[0]) && std::isfinite(rb->resval.rpoint[1]) &&
           std::isfinite(rb->resval.rpoint[2]);
  case 1040:
  case 1041:
  case 1042:
    return std::isfinite(rb->resval.rreal);
  case 1070:
    return true;
  case 1071:
    return rb->resval.rlong >= -2147483648L && rb->resval.rlong <= 2147483647L;
  default:
    return false;
  }
}

// True when RB holds the same code and value as the stored ITEM.
bool sameValue(const resbuf* rb, const XItem& item, const DxfTextCodec& codec) {
  int code = rb->restype;
  if (code != item.code) return false;
  switch (code) {
  case 1000:
  case 1003:
    return codec.toUtf8(item.values[0].text()) == rb->resval.rstring;
  case 1005:
    return item.values[0].text() == rb->resval.rstring;
  case 1002:
    return trimBlanks(item.values[0].text()) == rb->resval.rstring;
  case 1004: {
    std::string bytes;
    if (!item.values[0].bytes(bytes)) return false;
    return bytes.size() == static_cast<size_t>(rb->resval.rbinary.clen) &&
           (bytes.empty() || std::memcmp(bytes.data(), rb->resval.rbinary.buf, bytes.size()) == 0);
  }
  case 1010:
  case 1011:
  case 1012:
  case 1013:
    if (item.valueCount != 3) return false;
    for (int axis = 0; axis < 3; ++axis)
      if (item.values[axis].real() != rb->resval.rpoint[axis]) return false;
    return true;
  case 1040:
  case 1041:
  case 1042:
    return item.values[0].real() == rb->resval.rreal;
  case 1070:
    return item.values[0].integer() == rb->resval.rint;
  case 1071:
    return item.values[0].integer() == rb->resval.rlong;
  default:
    return false;
  }
}

std::string formatItem(const resbuf* rb, const DxfStyle& style, const DxfTextCodec& codec) {
  int code = rb->restype;
  switch (code) {
  case 1000:
  case 1003:
    return style.group(code, codec.fromUtf8(rb->resval.rstring));
  case 1002:
  case 1005:
    return style.group(code, rb->resval.rstring);
  case 1004:
    return style.group(code, encodeDxfHex(std::string_view(rb->resval.rbinary.buf,
                                                           static_cast<size_t>(rb->resval.rbinary.clen))));
  case 1010:
  case 1011:
  case 1012:
  case 1013:
    return style.realGroup(code, rb->resval.rpoint[0]) + style.realGroup(code + 10, rb->resval.rpoint[1]) +
           style.realGroup(code + 20, rb->resval.rpoint[2]);
  case 1040:
  case 1041:
  case 1042:
    return style.realGroup(code, rb->resval.rreal);
  case 1070:
    return style.intGroup(code, rb->resval.rint);
  case 1071:
    return style.intGroup(code, rb->resval.rlong);
  default:
    return {};
  }
}

} // namespace

std::vector<XDataBlock> splitXData(std::string_view region, DxfEncoding encoding) {
  std::vector<XDataBlock> blocks;
  DxfGroupCursor cursor(region, encoding);
  DxfGroupView g;
  size_t blockBegin = 0;
  std::string_view name;
  bool open = false;
  while (cursor.next(g)) {
    if (g.code != 1001) continue;
    if (open) blocks.push_back({name, region.substr(blockBegin, g.begin - blockBegin)});
    open = true;
    blockBegin = g.begin;
    name = trimBlanks(g.text());
  }
  if (open) blocks.push_back({name, region.substr(blockBegin)});
  return blocks;
}

bool appendXDataChain(std::string_view block, DxfEncoding encoding, const DxfTextCodec& codec, resbuf**& tail) {
  for (const XItem& item : parseItems(block, encoding)) {
    resbuf* rb = ads_newrb(item.code);
    if (rb == nullptr) return false;
    *tail = rb;
    tail = &rb->rbnext;
    if (!fillResbuf(rb, item, codec)) return false;
  }
  return true;
}

Acad::ErrorStatus splitChain(const resbuf* chain, std::vector<ChainApplication>& apps) {
  apps.clear();
  if (chain == nullptr || chain->restype != 1001) return Acad::eInvalidInput;
  int depth = 0;
  for (const resbuf* rb = chain; rb != nullptr; rb = rb->rbnext) {
    if (rb->restype == 1001) {
      if (depth != 0) return Acad::eInvalidInput;
      if (rb->resval.rstring == nullptr) return Acad::eInvalidInput;
      apps.push_back(ChainApplication{rb->resval.rstring, {}});
      continue;
    }
    if (!validItem(rb, depth)) return Acad::eInvalidInput;
    apps.back().items.push_back(rb);
  }
  if (depth != 0) return Acad::eInvalidInput;
  return Acad::eOk;
}

std::string composeXDataBlock(const ChainApplication& app, std::string_view oldBlock, const DxfStyle& style,
                              const DxfTextCodec& codec) {
  std::vector<XItem> old = parseItems(oldBlock, style.encoding);
  std::string out;
  if (!old.empty() && old[0].code == 1001 && trimBlanks(old[0].values[0].text()) == app.name)
    out.append(oldBlock.substr(old[0].begin, old[0].end - old[0].begin));
  else
    out += style.group(1001, app.name);
  for (size_t i = 0; i < app.items.size(); ++i) {
    const resbuf* rb = app.items[i];
    size_t oldIndex = i + 1; // old[0] is the 1001 item
    if (oldIndex < old.size() && sameValue(rb, old[oldIndex], codec)) {
      const XItem& o = old[oldIndex];
      out.append(oldBlock.substr(o.begin, o.end - o.begin));
    } else {
      out += formatItem(rb, style, codec);
    }
  }
  return out;
}

} // namespace corvane
