#include "drawing/selection_sets.h"

#include <algorithm>
#include <functional>
#include <memory>
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

// The members in the order they were added. A set past a few members also
// keeps them hashed, so that adding to a large set stays cheap while a
// one-entity set costs no more than its vector.
struct Members {
  static constexpr size_t kHashedFrom = 16;
  std::vector<Member> order;
  std::unordered_set<Member, MemberHash> present;
  size_t size() const { return order.size(); }
  const Member& operator[](size_t i) const { return order[i]; }
  bool add(const Member& m) {
    if (order.size() < kHashedFrom) {
      if (std::find(order.begin(), order.end(), m) != order.end()) return false;
    } else {
      if (present.empty()) present.insert(order.begin(), order.end());
      if (!present.insert(m).second) return false;
    }
    order.push_back(m);
    return true;
  }
};

// Live sets by id, in the order made (so sorted by id); the members of freed
// sets are kept for new ones, so that a set made and freed per object costs
// no allocation.
struct Registry {
  std::vector<std::pair<long, std::unique_ptr<Members>>> live;
  std::vector<std::unique_ptr<Members>> spare;
};

Registry& registry() {
  static Registry sets;
  return sets;
}

Members* findSet(const ads_name name) {
  if (name == nullptr || name[0] != kSelectionSetTag) return nullptr;
  auto& live = registry().live;
  auto it = std::lower_bound(live.begin(), live.end(), name[1],
                             [](const auto& entry, long id) { return entry.first < id; });
  return it == live.end() || it->first != name[1] ? nullptr : it->second.get();
}

} // namespace

void newSelectionSet(ads_name set) {
  static long nextId = 0;
  long id = ++nextId;
  Registry& sets = registry();
  std::unique_ptr<Members> members;
  if (sets.spare.empty()) {
    members = std::make_unique<Members>();
  } else {
    members = std::move(sets.spare.back());
    sets.spare.pop_back();
  }
  sets.live.emplace_back(id, std::move(members));
  set[0] = kSelectionSetTag;
  set[1] = id;
}

bool addToSelectionSet(const ads_name set, const ads_name entity) {
  Members* members = findSet(set);
  if (members == nullptr || recordFromEntityName(entity) == nullptr) return false;
  members->add(Member{entity[0], entity[1]});
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
  Members* members = findSet(set);
  if (members == nullptr) return false;
  Registry& sets = registry();
  auto it = std::find_if(sets.live.begin(), sets.live.end(),
                         [members](const auto& entry) { return entry.second.get() == members; });
  // Small ones are kept for reuse; a large one gives its memory back.
  if (members->order.capacity() <= Members::kHashedFrom && sets.spare.size() < 8) {
    members->order.clear();
    sets.spare.push_back(std::move(it->second));
  }
  sets.live.erase(it);
  return true;
}

bool isSelectionSet(const ads_name name) { return findSet(name) != nullptr; }

long liveSelectionSets() { return static_cast<long>(registry().live.size()); }

} // namespace corvane
