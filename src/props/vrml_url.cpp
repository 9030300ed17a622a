#include "props/vrml_url.h"

#include <cstring>
#include <memory>
#include <new>

#include "acdb.h"
#include "props/xdata_chain.h"

namespace {

constexpr const char* kLinkApp = "PE_URL";
constexpr const char* kDescriptionApp = "VRML_Url_Data";
constexpr int kAppName = 1001;
constexpr int kStringItem = 1000;

// The record's texts are module heap blocks of length plus one bytes; these
// two are the only places that make and release them.
char* copyText(const char* text) {
  const std::size_t size = std::strlen(text) + 1;
  try {
    auto copy = std::make_unique_for_overwrite<char[]>(size);
    std::memcpy(copy.get(), text, size);
    return copy.release();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void releaseText(char*& text) {
  std::unique_ptr<char[]> owned(text);
  text = nullptr;
}

// Copies first, then releases: TEXT may be the old text itself.
int replaceText(char*& slot, const char* text) {
  char* copy = nullptr;
  if (text != nullptr) {
    copy = copyText(text);
    if (copy == nullptr) {
      return 0;
    }
  }
  releaseText(slot);
  slot = copy;
  return 1;
}

bool writeTextChain(AcDbObject* object, const char* appName, const char* text) {
  ads_regapp(appName);
  XDataChain chain;
  chain.addText(kAppName, appName);
  if (text != nullptr) {
    chain.addText(kStringItem, text);
  }
  return chain.writeTo(object);
}

enum class Stored { kNone, kText, kMalformed };

// The text stored for APPNAME: none, a well-formed text item, or malformed
// data (first item not 1001, second missing or not 1000).
Stored readTextChain(AcDbObject* object, const char* appName, char*& slot) {
  StoredXData data(object, appName);
  if (data.first() == nullptr) {
    return Stored::kNone;
  }
  const resbuf* text = data.first()->restype == kAppName ? data.take(kStringItem) : nullptr;
  if (text == nullptr) {
    return Stored::kMalformed;
  }
  replaceText(slot, text->resval.rstring);
  return Stored::kText;
}

} // namespace

VrmlUrl::VrmlUrl() : anchorOpen(0), link(nullptr), description(nullptr) {}

VrmlUrl::~VrmlUrl() { clear(); }

int VrmlUrl::setLink(const char* text) { return replaceText(link, text); }

int VrmlUrl::setDescription(const char* text) { return replaceText(description, text); }

void VrmlUrl::clear() {
  releaseText(link);
  releaseText(description);
}

int VrmlUrl::writeUrlXData(AcDbObject* object) {
  if (object == nullptr) {
    return 0;
  }
  if (!writeTextChain(object, kLinkApp, link)) {
    return 0;
  }
  return writeTextChain(object, kDescriptionApp, description) ? 1 : 0;
}

int VrmlUrl::readUrlXData(AcDbObject* object) {
  if (object == nullptr) {
    return 0;
  }
  if (readTextChain(object, kLinkApp, link) == Stored::kMalformed) {
    return 0;
  }
  return readTextChain(object, kDescriptionApp, description) == Stored::kMalformed ? 0 : 1;
}
