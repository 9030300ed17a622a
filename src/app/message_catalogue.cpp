#include "app/message_catalogue.h"

#include "ads.h"
#include "ui.h"

namespace {
// Longer than the longest text (76 characters) with room to spare.
char gMessageBuffer[256];
} // namespace

const char* messageText(int id) {
  int length = id > 0 ? AfxLoadString(static_cast<UINT>(id), gMessageBuffer, sizeof gMessageBuffer) : 0;
  if (length > 0) return gMessageBuffer;
  ads_printf("\nError Loading Message: message %d not found.", id);
  gMessageBuffer[0] = '\0';
  return gMessageBuffer;
}
