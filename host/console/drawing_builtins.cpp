#include "console/drawing_builtins.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "acdb.h"
#include "console/console.h"
#include "console/selection.h"
#include "drawing/drawing.h"
#include "drawing/entity_maker.h"
#include "drawing/entity_names.h"
#include "drawing/selection_sets.h"
#include "lisp/lisp_error.h"
#include "lisp/resbuf_convert.h"
#include "runtime/command_stack.h"
#include "runtime/host_services.h"

namespace corvane {
namespace {

using lisp::Arguments;
using lisp::Interpreter;
using lisp::ListBuilder;
using lisp::Value;

Drawing& drawing() {
  Drawing* d = currentDrawing();
  if (d == nullptr) throw lisp::LispError("no drawing");
  return *d;
}

Value entityValue(const AcDbObjectRecord* record) {
  if (record == nullptr) return Value();
  lisp::EntityName name;
  makeEntityName(*record, name.id);
  return Value::entityName(name);
}

AcDbObjectRecord* recordOf(const Arguments& a, size_t i) {
  lisp::EntityName name = a.entityName(i);
  return recordFromEntityName(name.id);
}

// A selection set value that frees the host's set when no value holds it.
Value selectionValue(const ads_name ss) {
  lisp::SelectionSet set;
  set.id[0] = ss[0];
  set.id[1] = ss[1];
  long id0 = ss[0], id1 = ss[1];
  set.keeper = std::shared_ptr<const void>(nullptr, [id0, id1](const void*) {
    ads_name n = {id0, id1};
    freeSelectionSet(n);
  });
  return Value::selectionSet(set);
}

bool isPointX(int code) {
  return (code >= 10 && code <= 18) || code == 210 || (code >= 110 && code <= 112) ||
         (code >= 1010 && code <= 1013);
}

// A group's value as the kind its code carries: a real, an integer (a real
// when it does not fit 32 bits), a binary chunk in hex, or a string.
Value groupValue(const DxfGroupView& g) {
  switch (dxfValueKind(g.code)) {
  case DxfValueKind::kReal:
    return Value::real(g.real());
  case DxfValueKind::kInt: {
    long long v = g.integer();
    if (v >= INT32_MIN && v <= INT32_MAX) return Value::integer(static_cast<int32_t>(v));
    return Value::real(static_cast<double>(v));
  }
  case DxfValueKind::kText:
    break;
  }
  std::string bytes;
  if (dxfBinaryType(g.code) == DxfBinaryType::kChunk && g.bytes(bytes)) return Value::string(encodeDxfHex(bytes));
  return Value::string(std::string(g.text()));
}

// (code . value) pairs of an object's groups, points folded into
// (code x y z). Extended data is left to the -3 part.
Value groupList(const Drawing& d, const AcDbObjectRecord& record) {
  ListBuilder list;
  list.append(Value::cons(Value::integer(-1), entityValue(&record)));
  std::vector<DxfGroupView> groups = d.groups(record);
  for (size_t i = 0; i < groups.size(); ++i) {
    int code = groups[i].code;
    if (code >= 1000) break; // extended data follows; entget gives it under -3
    if (isPointX(code)) {
      ListBuilder point;
      point.append(Value::integer(code));
      point.append(Value::real(groups[i].real()));
      for (int axis = 1; axis <= 2 && i + 1 < groups.size(); ++axis) {
        int next = groups[i + 1].code;
        if (next != code + 10 * axis) break;
        point.append(Value::real(groups[++i].real()));
      }
      list.append(point.build());
      continue;
    }
    list.append(Value::cons(Value::integer(code), groupValue(groups[i])));
  }
  return list.build();
}

// One application's extended data, as entget shows it:
// ("APP" (1000 . "text") (1040 . 0.3) (1010 x y z) ...).
Value xdataList(const resbuf* chain) {
  ListBuilder all;
  ListBuilder app;
  bool open = false;
  for (const resbuf* rb = chain; rb != nullptr; rb = rb->rbnext) {
    int code = rb->restype;
    if (code == 1001) {
      if (open) all.append(app.build());
      app.append(Value::string(rb->resval.rstring ? rb->resval.rstring : ""));
      open = true;
      continue;
    }
    Value value;
    if ((code >= 1010 && code <= 1013)) {
      ListBuilder point;
      point.append(Value::integer(code));
      for (double c : rb->resval.rpoint) point.append(Value::real(c));
      app.append(point.build());
      continue;
    }
    if (code >= 1040 && code <= 1042) value = Value::real(rb->resval.rreal);
    else if (code >= 1060 && code <= 1070) value = Value::integer(rb->resval.rint);
    else if (code == 1071) value = Value::integer(static_cast<int32_t>(rb->resval.rlong));
    else if (code == 1004) value = Value::string(std::string(rb->resval.rbinary.buf ? rb->resval.rbinary.buf : "", static_cast<size_t>(rb->resval.rbinary.clen > 0 ? rb->resval.rbinary.clen : 0)));
    else value = Value::string(rb->resval.rstring ? rb->resval.rstring : "");
    app.append(Value::cons(Value::integer(code), value));
  }
  if (open) all.append(app.build());
  return all.build();
}

struct ChainOwner {
  resbuf* head = nullptr;
  resbuf** tail = &head;
  ~ChainOwner() { ads_relrb(head); }
  resbuf* add(int type) {
    resbuf* rb = ads_newrb(type);
    if (rb == nullptr) throw lisp::LispError("out of memory");
    *tail = rb;
    tail = &rb->rbnext;
    return rb;
  }
};

double realOf(const Value& v) {
  if (!v.isNumber()) lisp::throwBadType("numberp", v);
  return v.asNumber();
}

// The -3 part of an entmod list as one chain of every application named.
void appendXdata(ChainOwner& chain, const Value& apps) {
  for (Value a = apps; a.isCons(); a = a.cdr()) {
    const Value& app = a.car();
    if (!app.isCons() || !app.car().isString()) lisp::throwBadType("consp", app);
    chain.add(1001)->resval.rstring = acad__strdup(app.car().asString().c_str());
    for (Value item = app.cdr(); item.isCons(); item = item.cdr()) {
      const Value& pair = item.car();
      if (!pair.isCons() || !pair.car().isInteger()) lisp::throwBadType("consp", pair);
      int code = pair.car().asInteger();
      const Value& v = pair.cdr();
      if (code >= 1010 && code <= 1013) {
        resbuf* rb = chain.add(code);
        Value p = v;
        for (double& c : rb->resval.rpoint) {
          if (!p.isCons()) break;
          c = realOf(p.car());
          p = p.cdr();
        }
      } else if (code >= 1040 && code <= 1042) {
        chain.add(code)->resval.rreal = realOf(v);
      } else if (code >= 1060 && code <= 1070) {
        if (!v.isInteger()) lisp::throwBadType("fixnump", v);
        chain.add(code)->resval.rint = static_cast<short>(v.asInteger());
      } else if (code == 1071) {
        if (!v.isInteger()) lisp::throwBadType("fixnump", v);
        chain.add(code)->resval.rlong = v.asInteger();
      } else if (code >= 1000 && code <= 1009 && code != 1004 && code != 1001) {
        if (!v.isString()) lisp::throwBadType("stringp", v);
        chain.add(code)->resval.rstring = acad__strdup(v.asString().c_str());
      } else {
        throw lisp::LispError("bad extended data group: " + std::to_string(code));
      }
    }
  }
}

// An entmake list as new groups; the -3 part (extended data) goes to XDATA.
std::vector<NewGroup> newGroups(const Value& list, Value& xdata) {
  std::vector<NewGroup> groups;
  for (Value item = list; item.isCons(); item = item.cdr()) {
    const Value& pair = item.car();
    if (!pair.isCons() || !pair.car().isInteger()) lisp::throwBadType("consp", pair);
    NewGroup g;
    g.code = pair.car().asInteger();
    const Value& v = pair.cdr();
    if (g.code == -3) {
      xdata = v;
      continue;
    }
    if (v.isCons()) {
      // (code x y [z]): a point.
      g.kind = NewGroup::kPoint;
      double* xyz[] = {&g.point.x, &g.point.y, &g.point.z};
      size_t n = 0;
      for (Value c = v; c.isCons() && n < 3; c = c.cdr()) *xyz[n++] = realOf(c.car());
      if (n < 2) lisp::throwBadType("pointp", v);
    } else if (v.isString()) {
      g.kind = NewGroup::kText;
      g.text = v.asString();
    } else if (v.isInteger()) {
      g.kind = NewGroup::kInteger;
      g.integer = v.asInteger();
    } else if (v.isReal()) {
      g.kind = NewGroup::kReal;
      g.real = v.asReal();
    } else if (v.isEntityName()) {
      continue; // -1 and other references name existing objects
    } else {
      lisp::throwBadType("atom", v);
    }
    groups.push_back(std::move(g));
  }
  return groups;
}

// What (command ...) answers for one argument.
std::string commandWord(const Value& v) {
  if (v.isString()) return v.asString();
  if (v.isInteger()) return std::to_string(v.asInteger());
  char text[96];
  if (v.isReal()) {
    std::snprintf(text, sizeof text, "%.16g", v.asReal());
    return text;
  }
  if (v.isSelectionSet()) return selectionAnswer(v.asSelectionSet().id);
  if (v.isEntityName()) return entityAnswer(v.asEntityName().id);
  if (v.isNil()) return "";
  if (v.isCons()) {
    std::string point;
    for (Value c = v; c.isCons(); c = c.cdr()) {
      std::snprintf(text, sizeof text, "%.16g", realOf(c.car()));
      point += (point.empty() ? "" : ",") + std::string(text);
    }
    return point;
  }
  lisp::throwBadType("stringp", v);
}

} // namespace

void addDrawingBuiltins(Interpreter& in) {
  auto maker = std::make_shared<EntityMaker>();
  in.defineBuiltin("entmake", [maker](Interpreter&, const Arguments& a) -> Value {
    a.expectCount(1);
    const Value& list = a.list(0);
    Value xdata;
    std::vector<NewGroup> groups = newGroups(list, xdata);
    ChainOwner chain;
    if (!xdata.isNil()) appendXdata(chain, xdata);
    Drawing& d = drawing();
    EntityMaker::Result result = maker->make(d, groups);
    if (result.status == EntityMaker::kRefused) {
      hostPrint("\nentmake: " + result.reason + ".\n");
      return Value();
    }
    if (result.record != nullptr && chain.head != nullptr && d.setXData(*result.record, chain.head) != Acad::eOk) {
      d.setErased(*result.record, true);
      hostPrint("\nentmake: the extended data can't be stored.\n");
      return Value();
    }
    return list;
  });
  in.defineBuiltin("entdel", [](Interpreter&, const Arguments& a) -> Value {
    a.expectCount(1);
    AcDbObjectRecord* r = recordOf(a, 0);
    // Deleting twice brings the object back.
    if (r == nullptr || r->role != RecordRole::kEntity || r->has(record_flags::kInBlock) ||
        r->has(record_flags::kPaperSpace))
      return Value();
    Drawing& d = drawing();
    d.setErased(*r, !r->has(record_flags::kErased));
    return a[0];
  });
  in.defineBuiltin("command", [](Interpreter&, const Arguments& a) -> Value {
    Console* console = currentConsole();
    if (console == nullptr) throw lisp::LispError("command: no command line runs");
    std::vector<std::string> words;
    for (const Value& v : a.values()) words.push_back(commandWord(v));
    if (!words.empty() && !console->runCommand(words))
      hostPrint("Unknown command \"" + words.front() + "\".\n");
    return Value();
  });
  in.defineBuiltin("ssget", [](Interpreter&, const Arguments& a) -> Value {
    a.expectCount(0, 2);
    ads_name ss;
    int status;
    if (a.size() == 0) {
      status = ads_ssget(nullptr, nullptr, nullptr, nullptr, ss);
    } else {
      const std::string& mode = a.string(0);
      lisp::ResbufChain filter;
      if (a.size() == 2) {
        std::vector<Value> items;
        for (Value f = a.list(1); f.isCons(); f = f.cdr()) items.push_back(f.car());
        // (code . value) pairs go over as group-code items.
        ChainOwner chain;
        for (const Value& item : items) {
          if (!item.isCons() || !item.car().isInteger() || !item.cdr().isString())
            lisp::throwBadType("consp", item);
          chain.add(item.car().asInteger())->resval.rstring = acad__strdup(item.cdr().asString().c_str());
        }
        status = ads_ssget(mode.c_str(), nullptr, nullptr, chain.head, ss);
      } else {
        status = ads_ssget(mode.c_str(), nullptr, nullptr, nullptr, ss);
      }
    }
    return status == RTNORM ? selectionValue(ss) : Value();
  });
  in.defineBuiltin("sslength", [](Interpreter&, const Arguments& a) -> Value {
    a.expectCount(1);
    long n = 0;
    if (ads_sslength(a.selectionSet(0).id, &n) != RTNORM) return Value();
    return Value::integer(static_cast<int32_t>(n));
  });
  in.defineBuiltin("ssname", [](Interpreter&, const Arguments& a) -> Value {
    a.expectCount(2);
    ads_name e;
    if (ads_ssname(a.selectionSet(0).id, a.integer(1), e) != RTNORM) return Value();
    lisp::EntityName name;
    name.id[0] = e[0];
    name.id[1] = e[1];
    return Value::entityName(name);
  });
  in.defineBuiltin("ssadd", [](Interpreter&, const Arguments& a) -> Value {
    a.expectCount(0, 2);
    ads_name result;
    if (a.size() == 0) {
      if (ads_ssadd(nullptr, nullptr, result) != RTNORM) return Value();
      return selectionValue(result);
    }
    lisp::EntityName e = a.entityName(0);
    if (a.size() == 1) {
      if (ads_ssadd(e.id, nullptr, result) != RTNORM) return Value();
      return selectionValue(result);
    }
    if (ads_ssadd(e.id, a.selectionSet(1).id, result) != RTNORM) return Value();
    return a[1];
  });
  in.defineBuiltin("entlast", [](Interpreter&, const Arguments& a) -> Value {
    a.expectCount(0);
    return entityValue(drawing().records().lastModelSpace());
  });
  in.defineBuiltin("entnext", [](Interpreter&, const Arguments& a) -> Value {
    a.expectCount(0, 1);
    if (a.size() == 0) return entityValue(drawing().records().firstModelSpace());
    AcDbObjectRecord* r = recordOf(a, 0);
    return r ? entityValue(drawing().records().nextModelSpace(r)) : Value();
  });
  in.defineBuiltin("handent", [](Interpreter&, const Arguments& a) -> Value {
    a.expectCount(1);
    AcDbObjectRecord* r = drawing().records().findByHandle(a.string(0));
    if (r == nullptr || r->has(record_flags::kErased) || r->role != RecordRole::kEntity) return Value();
    return entityValue(r);
  });
  in.defineBuiltin("entsel", [](Interpreter&, const Arguments& a) -> Value {
    a.expectCount(0, 1);
    std::string prompt = a.size() == 1 ? a.string(0) : "\nSelect object: ";
    ads_name e;
    ads_point p;
    if (ads_entsel(prompt.c_str(), e, p) != RTNORM) return Value();
    lisp::EntityName name;
    name.id[0] = e[0];
    name.id[1] = e[1];
    Value point[] = {Value::real(p[0]), Value::real(p[1]), Value::real(p[2])};
    Value items[] = {Value::entityName(name), Value::list(point)};
    return Value::list(items);
  });
  in.defineBuiltin("entget", [](Interpreter&, const Arguments& a) -> Value {
    a.expectCount(1, 2);
    AcDbObjectRecord* r = recordOf(a, 0);
    if (r == nullptr || r->has(record_flags::kErased)) return Value();
    Drawing& d = drawing();
    Value groups = groupList(d, *r);
    if (a.size() < 2) return groups;
    // The applications named, in the order asked; "*" stands for all of
    // them, in the object's order.
    std::vector<std::string> names;
    for (Value app = a.list(1); app.isCons(); app = app.cdr()) {
      if (!app.car().isString()) lisp::throwBadType("stringp", app.car());
      names.push_back(app.car().asString());
    }
    if (std::find(names.begin(), names.end(), "*") != names.end()) names = {"*"};
    ListBuilder xdata;
    for (const std::string& name : names) {
      lisp::ResbufChain chain(d.xData(*r, name == "*" ? nullptr : name.c_str()));
      for (Value x = xdataList(chain.get()); x.isCons(); x = x.cdr()) xdata.append(x.car());
    }
    if (xdata.empty()) return groups;
    ListBuilder all;
    for (Value g = groups; g.isCons(); g = g.cdr()) all.append(g.car());
    all.append(Value::cons(Value::integer(-3), xdata.build()));
    return all.build();
  });
  in.defineBuiltin("entmod", [](Interpreter&, const Arguments& a) -> Value {
    a.expectCount(1);
    const Value& list = a.cons(0);
    AcDbObjectRecord* r = nullptr;
    Value xdata;
    for (Value g = list; g.isCons(); g = g.cdr()) {
      const Value& pair = g.car();
      if (!pair.isCons() || !pair.car().isInteger()) continue;
      if (pair.car().asInteger() == -1 && pair.cdr().isEntityName())
        r = recordFromEntityName(pair.cdr().asEntityName().id);
      if (pair.car().asInteger() == -3) xdata = pair.cdr();
    }
    if (r == nullptr) return Value();
    if (xdata.isNil()) return list; // only extended data can be changed
    ChainOwner chain;
    appendXdata(chain, xdata);
    ads_name name;
    makeEntityName(*r, name);
    AcDbObjectId id;
    if (acdbGetObjectId(id, name) != Acad::eOk) return Value();
    AcDbObject* object = nullptr;
    if (acdbOpenAcDbObject(object, id, AcDb::kForWrite) != Acad::eOk) return Value();
    Acad::ErrorStatus status = object->setXData(chain.head);
    object->close();
    return status == Acad::eOk ? list : Value();
  });
  in.defineBuiltin("regapp", [](Interpreter&, const Arguments& a) -> Value {
    a.expectCount(1);
    const std::string& name = a.string(0);
    Drawing& d = drawing();
    if (d.isAppRegistered(name) || !d.registerApp(name)) return Value();
    return Value::string(name);
  });
  in.defineBuiltin("tblsearch", [](Interpreter&, const Arguments& a) -> Value {
    a.expectCount(2, 3);
    if (!equalsIgnoreCase(a.string(0), "LAYER")) return Value();
    Drawing& d = drawing();
    AcDbObjectRecord* layer = d.findLayer(a.string(1));
    if (layer == nullptr) return Value();
    ListBuilder list;
    list.append(Value::cons(Value::integer(0), Value::string("LAYER")));
    list.append(Value::cons(Value::integer(2), Value::string(std::string(d.layerName(*layer)))));
    for (const DxfGroupView& g : d.groups(*layer)) {
      if (g.code == 70 || g.code == 6) list.append(Value::cons(Value::integer(g.code), groupValue(g)));
    }
    list.append(Value::cons(Value::integer(62), Value::integer(d.layerColor(*layer))));
    return list.build();
  });
}

} // namespace corvane
