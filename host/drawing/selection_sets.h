// Selection sets: ordered lists of entities named by an ads_name. A set's
// name is {kSelectionSetTag, id}; like entity names, set names are looked
// up and never dereferenced, so a forged or freed set name is refused.
// Sets hold entity names, so an entity whose drawing is gone reads as
// missing. The interactive selection (ads_ssget) is built on these.
#pragma once

#include <vector>

#include "ads.h"

struct AcDbObjectRecord;

namespace corvane {

// A new empty set; its name goes to SET. Release it with freeSelectionSet.
void newSelectionSet(ads_name set);
// Adds the entity ENTITY (an entity name) at the end of SET unless the set
// already holds it. False when SET or ENTITY names nothing.
bool addToSelectionSet(const ads_name set, const ads_name entity);
// The number of entities in SET; false when SET names no set.
bool selectionSetLength(const ads_name set, long& length);
// The entity name at POSITION (from 0); false outside the set, for an
// unknown set, or when that entity's drawing is gone.
bool selectionSetMember(const ads_name set, long position, ads_name entity);
// Releases SET; false when it names no set (already freed or forged).
bool freeSelectionSet(const ads_name set);
// True when NAME names a live selection set.
bool isSelectionSet(const ads_name name);
// Number of live sets, for leak checks in tests.
long liveSelectionSets();

} // namespace corvane
