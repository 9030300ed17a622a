// vrmlcheck: reads a VRML 1.0 world file with Coin and prints what it holds
// as one line of key=value counts; optionally compares counts with expected
// values. Exit status: 0 the file parses, every coordIndex lies inside its
// Coordinate3 and every expected count matches; 1 otherwise; 2 bad usage.
#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/nodes/SoCoordinate3.h>
#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoIndexedFaceSet.h>
#include <Inventor/nodes/SoMaterial.h>
#include <Inventor/nodes/SoSeparator.h>
#include <Inventor/nodes/SoWWWAnchor.h>

#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "coin_world.h"

namespace {

using coinworld::kExitFailed;
using coinworld::kExitOk;
using coinworld::kExitUsage;

constexpr const char* kUsage =
    "usage: vrmlcheck FILE [--groups N] [--materials N] [--anchors N] [--faces N] [--points N]\n"
    "Reads FILE as VRML 1.0 and prints: separators materials anchors coordinate3\n"
    "indexedfacesets faces points indices. --groups compares the Separator count\n"
    "(anchors not included). Exit 0 when FILE parses, all indices are inside\n"
    "their Coordinate3 and the counts given match; 1 otherwise; 2 bad usage.\n";

struct Expected {
  const char* key;  // the option without "--", the output key it checks
  const char* outputKey;
  std::optional<long> value;
};

struct Options {
  std::string file;
  std::vector<Expected> expected{{"groups", "separators", {}},
                                 {"materials", "materials", {}},
                                 {"anchors", "anchors", {}},
                                 {"faces", "faces", {}},
                                 {"points", "points", {}}};
};

struct Counts {
  long separators = 0, materials = 0, anchors = 0, coordinate3 = 0, faceSets = 0, faces = 0, points = 0;
  long badIndices = 0;
  std::string firstBadIndex;  // where the first one is, for the message

  long byKey(std::string_view key) const {
    if (key == "separators") return separators;
    if (key == "materials") return materials;
    if (key == "anchors") return anchors;
    if (key == "faces") return faces;
    return points;
  }
};

// Parses argv into OPTIONS; false (with a message in ERROR) on bad usage.
bool parseArguments(int argc, char** argv, Options& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg.starts_with("--")) {
      Expected* slot = nullptr;
      for (Expected& e : options.expected)
        if (arg.substr(2) == e.key) slot = &e;
      if (!slot) {
        error = "unknown option " + std::string(arg);
        return false;
      }
      if (i + 1 >= argc) {
        error = std::string(arg) + " needs a number";
        return false;
      }
      const std::string_view number = argv[++i];
      long value = 0;
      const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
      if (ec != std::errc() || end != number.data() + number.size() || value < 0) {
        error = std::string(arg) + ": not a count: " + std::string(number);
        return false;
      }
      slot->value = value;
    } else if (options.file.empty()) {
      options.file = arg;
    } else {
      error = "more than one file given";
      return false;
    }
  }
  if (options.file.empty()) error = "no file given";
  return error.empty();
}

// Walks NODE's subtree. ACTIVE is the Coordinate3 in effect: a Separator
// (a WWWAnchor is one) restores it on the way out, a plain Group does not.
void walk(SoNode* node, const SoCoordinate3*& active, Counts& c) {
  if (node->isOfType(SoWWWAnchor::getClassTypeId())) {
    ++c.anchors;
  } else if (node->isOfType(SoSeparator::getClassTypeId())) {
    ++c.separators;
  }
  if (node->isOfType(SoMaterial::getClassTypeId())) ++c.materials;
  if (node->isOfType(SoCoordinate3::getClassTypeId())) {
    active = static_cast<const SoCoordinate3*>(node);
    ++c.coordinate3;
    c.points += active->point.getNum();
  }
  if (node->isOfType(SoIndexedFaceSet::getClassTypeId())) {
    const auto* set = static_cast<const SoIndexedFaceSet*>(node);
    ++c.faceSets;
    const int pointCount = active ? active->point.getNum() : 0;
    const int n = set->coordIndex.getNum();
    const int32_t* index = set->coordIndex.getValues(0);
    bool openFace = false;
    for (int i = 0; i < n; ++i) {
      if (index[i] == -1) {
        ++c.faces;
        openFace = false;
        continue;
      }
      openFace = true;
      if (index[i] < 0 || index[i] >= pointCount) {
        if (c.badIndices++ == 0) {
          c.firstBadIndex = "IndexedFaceSet " + std::to_string(c.faceSets) + ", coordIndex[" +
                            std::to_string(i) + "] = " + std::to_string(index[i]) + " with " +
                            std::to_string(pointCount) + " points";
        }
      }
    }
    if (openFace) ++c.faces;  // a last face without its -1
  }
  if (node->isOfType(SoGroup::getClassTypeId())) {
    auto* group = static_cast<SoGroup*>(node);
    const SoCoordinate3* scoped = active;
    const bool separates = node->isOfType(SoSeparator::getClassTypeId());
    for (int i = 0; i < group->getNumChildren(); ++i) walk(group->getChild(i), separates ? scoped : active, c);
  }
}

// Reads and checks one file; the program's exit status.
int run(const Options& options, FILE* out, FILE* err) {
  const char* name = options.file.c_str();
  std::string error;
  bool vrml1 = false;
  SoSeparator* root = coinworld::readWorld(options.file, error, &vrml1);
  if (root == nullptr) {
    std::fprintf(err, "vrmlcheck: %s: %s\n", name, error.c_str());
    return kExitFailed;
  }
  Counts c;
  const SoCoordinate3* active = nullptr;
  // readAll wraps the file's top-level nodes in a Separator of its own.
  for (int i = 0; i < root->getNumChildren(); ++i) walk(root->getChild(i), active, c);
  root->unref();

  std::fprintf(out,
               "separators=%ld materials=%ld anchors=%ld coordinate3=%ld indexedfacesets=%ld faces=%ld "
               "points=%ld indices=%s\n",
               c.separators, c.materials, c.anchors, c.coordinate3, c.faceSets, c.faces, c.points,
               c.badIndices ? "out-of-range" : "ok");
  int status = kExitOk;
  if (!vrml1) {
    std::fprintf(err, "vrmlcheck: %s: not a VRML 1.0 file\n", name);
    status = kExitFailed;
  }
  if (c.badIndices) {
    std::fprintf(err, "vrmlcheck: %s: %ld coordIndex values outside their Coordinate3; first: %s\n", name,
                 c.badIndices, c.firstBadIndex.c_str());
    status = kExitFailed;
  }
  for (const Expected& e : options.expected) {
    if (e.value && *e.value != c.byKey(e.outputKey)) {
      std::fprintf(err, "vrmlcheck: %s: expected %s=%ld, found %ld\n", name, e.outputKey, *e.value,
                   c.byKey(e.outputKey));
      status = kExitFailed;
    }
  }
  return status;
}

} // namespace

int main(int argc, char** argv) {
  return coinworld::runTool<Options>("vrmlcheck", kUsage, argc, argv, parseArguments,
                                     [](const Options& options) { return run(options, stdout, stderr); });
}
