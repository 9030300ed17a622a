#include "drawing/selection_sets.h"

#include <algorithm>
#include <map>
#include <utility>

#include "drawing/entity_names.h"

namespace corvane {

namespace {

using Member = std::pair<long, long>; // an entity name's two words

std::map<long, std::vector<Member>>& sets() {
  static std::map<long, std::vector<Member>> live;
  return live;
}

std::vector<Member>* findSet(const ads_name name) {
  if (name == nullptr || name[0] != kSelectionSetTag) return nullptr;
  auto it = sets().find(name[1]);
  return it == sets().end() ? nullptr : &it->second;
}

} // namespace

void newSelectionSet(ads_name set) {
  static long nextId = 0;
  long id = ++nextId;
  sets()[id];
  set[0] = kSelectionSetTag;
  set[1] = id;
}

bool addToSelectionSet(const ads_name set, const ads_name entity) {
  std::vector<Member>* members = findSet(set);
  if (members == nullptr || recordFromEntityName(entity) == nullptr) return false;
  Member m{entity[0], entity[1]};
  if (std::find(members->begin(), members->end(), m) == members->end()) members->push_back(m);
  return true;
}

bool selectionSetLength(const ads_name set, long& length) {
  std::vector<Member>* members = findSet(set);
  if (members == nullptr) return false;
  length = static_cast<long>(members->size());
  return true;
}

bool selectionSetMember(const ads_name set, long position, ads_name entity) {
  std::vector<Member>* members = findSet(set);
  if (members == nullptr || position < 0 || position >= static_cast<long>(members->size()))
    return false;
  const Member& m = (*members)[static_cast<size_t>(position)];
  ads_name name = {m.first, m.second};
  if (recordFromEntityName(name) == nullptr) return false;
  entity[0] = m.first;
  entity[1] = m.second;
  return true;
}

bool freeSelectionSet(const ads_name set) {
  if (findSet(set) == nullptr) return false;
  sets().erase(set[1]);
  return true;
}

bool isSelectionSet(const ads_name name) { return findSet(name) != nullptr; }

long liveSelectionSets() { return static_cast<long>(sets().size()); }

} // namespace corvane
