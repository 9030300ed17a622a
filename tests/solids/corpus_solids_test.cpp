// The 3D solids of the shared DXF corpus: every 3DSOLID / BODY entity is
// tessellated and its mesh must be closed and outward. The model data are
// taken out of the DXF text by a small scanner here (groups 1 and 3 of the
// entity; for R2013+ the ACDSDATA record linked by handle).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "mesh_checks.h"
#include "solids/solid_tessellator.h"

namespace corvane::solids::test {
namespace {

namespace fs = std::filesystem;

struct CorpusEntity {
  std::string type;
  corvane::SolidModelData data;
};

std::vector<CorpusEntity> scanDxf(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::pair<int, std::string>> groups;
  std::string code, value;
  while (std::getline(in, code) && std::getline(in, value)) {
    if (!value.empty() && value.back() == '\r') value.pop_back();
    groups.push_back({std::atoi(code.c_str()), value});
  }
  std::vector<CorpusEntity> out;
  std::map<std::string, std::vector<uint8_t>> binaryByHandle;
  CorpusEntity* cur = nullptr;
  bool inData = false;
  std::string dataHandle;
  bool collecting = false;
  for (auto& [c, v] : groups) {
    if (c == 0) {
      cur = nullptr;
      if (v == "3DSOLID" || v == "BODY") {
        out.push_back({v, {}});
        cur = &out.back();
      }
    }
    if (c == 2 && v == "ACDSDATA") inData = true;
    if (inData) {
      if (c == 320) dataHandle = v, collecting = false;
      if (c == 2) collecting = v == "ASM_Data";
      if (c == 310 && collecting) {
        auto& bytes = binaryByHandle[dataHandle];
        for (size_t i = 0; i + 1 < v.size(); i += 2) bytes.push_back(uint8_t(std::stoi(v.substr(i, 2), nullptr, 16)));
      }
      continue;
    }
    if (!cur) continue;
    if (c == 5) cur->data.handle = v;
    if (c == 70) cur->data.modelerVersion = std::atoi(v.c_str());
    if (c == 1 || c == 3) {
      std::string s = v;
      if (!s.empty() && s[0] == ' ') {}
      cur->data.textGroups.push_back(s);
      cur->data.textGroupCodes.push_back(c);
    }
  }
  for (CorpusEntity& e : out) {
    auto it = binaryByHandle.find(e.data.handle);
    if (it != binaryByHandle.end()) e.data.binary = it->second;
  }
  return out;
}

TEST(CorpusSolids, EverySolidGivesAClosedOutwardMesh) {
  fs::path dir = fs::path(CORVANE_SOURCE_DIR) / ".." / "shared" / "corpus" / "dxf";
  if (!fs::exists(dir)) dir = "/work/shared/corpus/dxf";
  if (!fs::exists(dir)) GTEST_SKIP() << "corpus not found";
  int solids = 0;
  for (const auto& file : fs::directory_iterator(dir)) {
    if (file.path().extension() != ".dxf") continue;
    for (CorpusEntity& e : scanDxf(file.path())) {
      SCOPED_TRACE(file.path().filename().string() + " " + e.type + " " + e.data.handle);
      ++solids;
      SolidTessellation t;
      std::string reason;
      bool ok = tessellateSolidModel(e.data, 0, t, reason);
      // One writer stores an empty model (header and end marker only).
      if (!ok && reason == "solid model has no body") {
        std::cout << "  " << e.type << " " << e.data.handle << ": " << reason << "\n";
        continue;
      }
      ASSERT_TRUE(ok) << reason;
      for (const SolidMesh& m : t.bodies) {
        Box3 b = meshBounds(m);
        std::cout << "  " << file.path().filename().string() << " " << e.type << " " << e.data.handle << ": "
                  << m.faces.size() << " faces, volume " << meshVolume(m) << ", box " << b.lo.x << " " << b.lo.y
                  << " " << b.lo.z << " / " << b.hi.x << " " << b.hi.y << " " << b.hi.z << "\n";
        EXPECT_FALSE(m.faces.empty());
        EXPECT_EQ(closednessFault(m), "");
        EXPECT_GT(meshVolume(m), 0);
      }
      for (const std::string& w : t.warnings) std::cout << "  warning: " << w << "\n";
    }
  }
  EXPECT_GE(solids, 12);
}

}  // namespace
}  // namespace corvane::solids::test
