#include "drawing/selection_sets.h"

#include <functional>
#include <map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "drawing/entity_names.h"

namespace corvane {

namespace {

using Member = std::pair<long, long>; // an entity name's two words

struct MemberHash {
  size_t operator()(const Member& m) const {
    return std::hash<long>()(m.first) * 1000003u ^ std::hash<long>()(m.second);
  }
};

// The members in the order they were added, and the same members hashed so
// that adding to a large set stays cheap.
struct Members {
  std::vector<Member> order;
  std::unordered_set<Member, MemberHash> present;
  size_t size() const { return order.size(); }
  const Member& operator[](size_t i) const { return order[i]; }
};

std::map<long, Members>& sets() {
  static std::map<long, Members> live;
  return live;
}

Members* findSet(const ads_name name) {
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
  Members* members = findSet(set);
  if (members == nullptr || recordFromEntityName(entity) == nullptr) return false;
  Member m{entity[0], entity[1]};
  if (members->present.insert(m).second) members->order.push_back(m);
  return true;
}

bool selectionSetLength(const ads_name set, long& length) {
  Members* members = findSet(set);
  if (members == nullptr) return false;
  length = static_cast<long>(members->size());
  return true;
}

bool selectionSetMember(const ads_name set, long position, ads_name entity) {
  Members* members = findSet(set);
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
