// Extended-data chains (the host's result buffers) as the module builds and
// reads them for its stored properties.
#pragma once

#include "acdb.h"

// A chain under construction, released with ads_relrb when the builder goes
// out of scope. Texts are put in as acad__strdup copies, so the release frees
// them too. Any failed allocation makes the builder failed(); a failed chain
// is never written.
class XDataChain {
public:
  XDataChain() = default;
  ~XDataChain();
  XDataChain(const XDataChain&) = delete;
  XDataChain& operator=(const XDataChain&) = delete;

  // Appends one item of group code CODE (1001, 1000, 1040, 1070).
  void addText(int code, const char* text);
  void addReal(int code, double value);
  void addShort(int code, short value);

  bool failed() const { return failed_; }
  // Stores the chain on OBJECT: true when the chain was built whole and the
  // host took it.
  bool writeTo(AcDbObject* object) const;

private:
  resbuf* append(int code);

  resbuf* head_ = nullptr;
  resbuf* tail_ = nullptr;
  bool failed_ = false;
};

// An object's stored items for one application, released with ads_relrb when
// it goes out of scope. first() is the 1001 item (or null when the object
// holds nothing for the application); take() walks the items after it.
class StoredXData {
public:
  StoredXData(AcDbObject* object, const char* appName);
  ~StoredXData();
  StoredXData(const StoredXData&) = delete;
  StoredXData& operator=(const StoredXData&) = delete;

  const resbuf* first() const { return head_; }
  // The next item when it has group code CODE, else null (also at the end);
  // the walk moves on only past a matching item.
  const resbuf* take(int code);

private:
  resbuf* head_;
  resbuf* next_;
};
