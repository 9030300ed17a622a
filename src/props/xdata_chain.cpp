#include "props/xdata_chain.h"

XDataChain::~XDataChain() { ads_relrb(head_); }

resbuf* XDataChain::append(int code) {
  if (failed_) {
    return nullptr;
  }
  resbuf* item = ads_newrb(code);
  if (item == nullptr) {
    failed_ = true;
    return nullptr;
  }
  if (tail_ == nullptr) {
    head_ = item;
  } else {
    tail_->rbnext = item;
  }
  tail_ = item;
  return item;
}

void XDataChain::addText(int code, const char* text) {
  if (resbuf* item = append(code)) {
    item->resval.rstring = acad__strdup(text);
    if (item->resval.rstring == nullptr) {
      failed_ = true;
    }
  }
}

void XDataChain::addReal(int code, double value) {
  if (resbuf* item = append(code)) {
    item->resval.rreal = value;
  }
}

void XDataChain::addShort(int code, short value) {
  if (resbuf* item = append(code)) {
    item->resval.rint = value;
  }
}

bool XDataChain::writeTo(AcDbObject* object) const {
  return !failed_ && head_ != nullptr && object->setXData(head_) == Acad::eOk;
}

StoredXData::StoredXData(AcDbObject* object, const char* appName)
    : head_(object->xData(appName)), next_(head_ != nullptr ? head_->rbnext : nullptr) {}

StoredXData::~StoredXData() { ads_relrb(head_); }

const resbuf* StoredXData::take(int code) {
  if (next_ == nullptr || next_->restype != code) {
    return nullptr;
  }
  const resbuf* item = next_;
  next_ = next_->rbnext;
  return item;
}
