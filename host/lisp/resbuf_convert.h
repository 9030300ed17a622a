// Conversions between list-language values and the host's result-buffer
// chains, for calls into a module's list functions and back.
#pragma once

#include <memory>
#include <span>

#include "ads.h"
#include "lisp/value.h"

namespace corvane::lisp {

struct ResbufReleaser {
  void operator()(resbuf* chain) const { ads_relrb(chain); }
};
// A chain released with ads_relrb when the owner goes; release() hands it
// over to a caller who will call ads_relrb itself.
using ResbufChain = std::unique_ptr<resbuf, ResbufReleaser>;

// VALUES as a chain, one item each (null for no values): integers RTSHORT
// when they fit in 16 bits, else RTLONG; reals RTREAL; strings RTSTR (texts
// from acad__strdup); entity names RTENAME; selection sets RTPICKS; nil
// RTNIL; T RTT; lists RTLB items RTLE, a dotted list RTLB items RTDOTE tail
// RTLE. Throws LispError for other symbols, functions and strings holding a
// null byte (a C text would silently cut them short).
ResbufChain toResbufChain(std::span<const Value> values);

// Result: a chain of one item is that item, several are a list, none is
// nil (a module's ads_retint, ads_retstr...). List: the items are always a
// list, also when there is one (ads_retlist).
enum class ChainShape { Result, List };

// The value CHAIN stands for (the caller keeps and releases CHAIN). RTLB /
// RTLE nest lists; RTDOTE before the last item of a list makes it the tail;
// RTPOINT / RT3DPOINT become lists of two / three reals; RTVOID a quiet
// result. Throws LispError for an unbalanced or misplaced RTLB, RTLE or
// RTDOTE and for types it does not know. Iterative: any depth is safe.
Value fromResbufChain(const resbuf* chain, ChainShape shape);

} // namespace corvane::lisp
