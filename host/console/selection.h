// Choosing objects of the current drawing at the command line.
#pragma once

#include <string>
#include <vector>

#include "ads.h"

struct AcDbObjectRecord;

namespace corvane {

class Console;
class Drawing;

// Asks PROMPT again and again until an empty answer; each answer adds
// objects: "all", "last", "layer NAME...", or entity handles. RTNORM (with
// possibly nothing picked) or RTCAN.
int askForObjects(Console& console, const Drawing& drawing, const std::string& prompt,
                  std::vector<AcDbObjectRecord*>& picked);
// Model-space objects on any of LAYERS (every object when LAYERS is empty).
std::vector<AcDbObjectRecord*> objectsOnLayers(const Drawing& drawing,
                                               const std::vector<std::string>& layers);
// The answer that picks the entities of the selection set SS (or the one
// entity ENTITY) at "Select objects: ": their handles; empty for a set or
// entity that names nothing.
std::string selectionAnswer(const ads_name ss);
std::string entityAnswer(const ads_name entity);
// A selection filter of (0 . "TYPE") and (8 . "LAYER") items, each a comma
// list of names or "*".
bool passesFilter(const Drawing& drawing, const AcDbObjectRecord& record, const resbuf* filter);

} // namespace corvane
