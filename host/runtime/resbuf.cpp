// Result buffers: allocation, release, building and copying of chains.
#include <cstdarg>
#include <cstring>

#include "ads.h"
#include "runtime/list_functions.h"

namespace {

// Types and group codes whose value is a text the chain owns.
bool holdsText(int type) {
  return type == RTSTR || (type >= 1000 && type <= 1009 && type != 1004) || (type >= 0 && type <= 9) ||
         (type >= 100 && type <= 102) || type == 105 || (type >= 300 && type <= 309) ||
         (type >= 410 && type <= 419) || (type >= 430 && type <= 439) ||
         (type >= 470 && type <= 479) || type == 999;
}

bool holdsBinary(int type) { return type == 1004 || (type >= 310 && type <= 319); }

bool holdsPoint(int type) {
  return type == RTPOINT || type == RT3DPOINT || (type >= 10 && type <= 17) ||
         (type >= 1010 && type <= 1013) || type == 210;
}

bool holdsShort(int type) {
  return type == RTSHORT || (type >= 60 && type <= 79) || (type >= 1060 && type <= 1070) ||
         (type >= 170 && type <= 179) || (type >= 270 && type <= 289) ||
         (type >= 370 && type <= 389) || (type >= 400 && type <= 409);
}

bool holdsLong(int type) {
  return type == RTLONG || type == 1071 || (type >= 90 && type <= 99) ||
         (type >= 420 && type <= 429) || (type >= 440 && type <= 459);
}

bool holdsName(int type) { return type == RTENAME || type == RTPICKS || (type >= 330 && type <= 369) || type == -1 || type == -2; }

} // namespace

extern "C" {

struct resbuf* ads_newrb(int type) {
  auto* rb = static_cast<resbuf*>(acad_calloc(1, sizeof(resbuf)));
  if (rb != nullptr) rb->restype = static_cast<short>(type);
  return rb;
}

int ads_relrb(struct resbuf* rb) {
  while (rb != nullptr) {
    resbuf* next = rb->rbnext;
    if (holdsText(rb->restype)) acad_free(rb->resval.rstring);
    else if (holdsBinary(rb->restype)) acad_free(rb->resval.rbinary.buf);
    acad_free(rb);
    rb = next;
  }
  return RTNORM;
}

struct resbuf* ads_buildlist(int rtype, ...) {
  va_list ap;
  va_start(ap, rtype);
  resbuf* head = nullptr;
  resbuf** tail = &head;
  for (int type = rtype; type != 0; type = va_arg(ap, int)) {
    resbuf* rb = ads_newrb(type);
    if (rb == nullptr) {
      ads_relrb(head);
      va_end(ap);
      return nullptr;
    }
    if (holdsText(type)) {
      const char* s = va_arg(ap, const char*);
      rb->resval.rstring = acad__strdup(s ? s : "");
    } else if (type == RTREAL || type == RTANG || (type >= 40 && type <= 59) ||
               (type >= 1040 && type <= 1042) || (type >= 140 && type <= 149)) {
      rb->resval.rreal = va_arg(ap, double);
    } else if (holdsPoint(type) || (type >= 1020 && type <= 1039)) {
      const double* p = va_arg(ap, const double*);
      if (p) std::memcpy(rb->resval.rpoint, p, sizeof rb->resval.rpoint);
    } else if (holdsShort(type)) {
      rb->resval.rint = static_cast<short>(va_arg(ap, int));
    } else if (holdsLong(type)) {
      rb->resval.rlong = va_arg(ap, long);
    } else if (holdsName(type)) {
      const long* n = va_arg(ap, const long*);
      if (n) {
        rb->resval.rlname[0] = n[0];
        rb->resval.rlname[1] = n[1];
      }
    }
    // RTNIL, RTT, RTLB, RTLE, RTDOTE, RTVOID carry no value.
    *tail = rb;
    tail = &rb->rbnext;
  }
  va_end(ap);
  return head;
}

} // extern "C"

namespace corvane {

resbuf* copyChain(const resbuf* chain) {
  resbuf* head = nullptr;
  resbuf** tail = &head;
  for (const resbuf* rb = chain; rb != nullptr; rb = rb->rbnext) {
    resbuf* copy = ads_newrb(rb->restype);
    if (copy == nullptr) {
      ads_relrb(head);
      return nullptr;
    }
    copy->resval = rb->resval;
    if (holdsText(rb->restype)) {
      copy->resval.rstring = rb->resval.rstring ? acad__strdup(rb->resval.rstring) : nullptr;
    } else if (holdsBinary(rb->restype)) {
      copy->resval.rbinary.buf = nullptr;
      short n = rb->resval.rbinary.clen;
      if (n > 0 && rb->resval.rbinary.buf != nullptr) {
        copy->resval.rbinary.buf = static_cast<char*>(acad_malloc(static_cast<size_t>(n)));
        if (copy->resval.rbinary.buf) std::memcpy(copy->resval.rbinary.buf, rb->resval.rbinary.buf, static_cast<size_t>(n));
      }
    }
    *tail = copy;
    tail = &copy->rbnext;
  }
  return head;
}

} // namespace corvane
