// Class descriptors and the system registry behind acrxSysRegistry().
#pragma once

#include "acrx.h"

namespace corvane {

// Finds the class descriptor NAME or makes it with PARENT, and enters it into
// the "ClassDictionary". Descriptors live as long as the host; the returned
// pointer is never null. A second call with the same name returns the first
// descriptor (its parent is not changed).
AcRxClass* registerClass(const char* name, AcRxClass* parent);

// Puts OBJECT into the system registry under KEY (the registry owns it).
void registerSystemObject(const char* key, AcRxObject* object);

} // namespace corvane
