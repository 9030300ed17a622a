// Small DXF texts for tests, written group by group in a chosen style, and
// the same groups as binary DXF.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "dxf/dxf_values.h"

namespace corvane::testing {

using Groups = std::vector<std::pair<int, std::string>>;

struct TextStyle {
  bool padCodes = true;
  const char* lineEnd = "\n";
};

inline std::string dxfText(const Groups& groups, TextStyle style = {}) {
  std::string out;
  for (const auto& [code, value] : groups) {
    char buf[16];
    std::snprintf(buf, sizeof buf, style.padCodes ? "%3d" : "%d", code);
    out += buf;
    out += style.lineEnd;
    out += value;
    out += style.lineEnd;
  }
  return out;
}

// GROUPS as a binary DXF file with ENCODING's codes; values as a text file
// writes them (numbers in decimal, chunks in hex).
inline std::string dxfBinary(const Groups& groups, DxfEncoding encoding) {
  DxfStyle style;
  style.encoding = encoding;
  std::string out(kDxfBinarySentinel);
  for (const auto& [code, value] : groups) out += style.group(code, value);
  return out;
}

// An R2000 drawing: layers "0" (7), "Walls" (off, stored -3) and "Red" (1);
// APPID ACAD; a block holding a 3DFACE; in the ENTITIES section a 3DFACE
// (handle 2F, by layer on Walls), a SOLID (colour 5, layer Red), a LINE in
// paper space, a polyface mesh (3 vertices, one face), a CIRCLE with
// ACAD extended data, and an unknown WIDGET entity.
inline Groups r2000Drawing() {
  return {
      {0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1015"}, {9, "$HANDSEED"}, {5, "100"},
      {0, "ENDSEC"},
      {0, "SECTION"}, {2, "TABLES"},
      {0, "TABLE"}, {2, "LAYER"}, {5, "2"}, {330, "0"}, {100, "AcDbSymbolTable"}, {70, "     3"},
      {0, "LAYER"}, {5, "10"}, {330, "2"}, {100, "AcDbSymbolTableRecord"}, {100, "AcDbLayerTableRecord"},
      {2, "0"}, {70, "     0"}, {62, "     7"}, {6, "CONTINUOUS"},
      {0, "LAYER"}, {5, "11"}, {330, "2"}, {100, "AcDbSymbolTableRecord"}, {100, "AcDbLayerTableRecord"},
      {2, "Walls"}, {70, "     0"}, {62, "    -3"}, {6, "CONTINUOUS"},
      {0, "LAYER"}, {5, "12"}, {330, "2"}, {100, "AcDbSymbolTableRecord"}, {100, "AcDbLayerTableRecord"},
      {2, "Red"}, {70, "     0"}, {62, "     1"}, {6, "CONTINUOUS"},
      {0, "ENDTAB"},
      {0, "TABLE"}, {2, "APPID"}, {5, "9"}, {330, "0"}, {100, "AcDbSymbolTable"}, {70, "     1"},
      {0, "APPID"}, {5, "13"}, {330, "9"}, {100, "AcDbSymbolTableRecord"}, {100, "AcDbRegAppTableRecord"},
      {2, "ACAD"}, {70, "     0"},
      {0, "ENDTAB"},
      {0, "ENDSEC"},
      {0, "SECTION"}, {2, "BLOCKS"},
      {0, "BLOCK"}, {5, "20"}, {8, "0"}, {2, "B1"}, {70, "     0"}, {10, "0.0"}, {20, "0.0"}, {30, "0.0"},
      {0, "3DFACE"}, {5, "21"}, {8, "0"}, {10, "0.0"}, {20, "0.0"}, {30, "0.0"}, {11, "1.0"}, {21, "0.0"},
      {31, "0.0"}, {12, "1.0"}, {22, "1.0"}, {32, "0.0"}, {13, "1.0"}, {23, "1.0"}, {33, "0.0"},
      {0, "ENDBLK"}, {5, "22"}, {8, "0"},
      {0, "ENDSEC"},
      {0, "SECTION"}, {2, "ENTITIES"},
      {0, "3DFACE"}, {5, "2F"}, {330, "1F"}, {100, "AcDbEntity"}, {8, "Walls"}, {100, "AcDbFace"},
      {10, "0.0"}, {20, "0.0"}, {30, "0.0"}, {11, "1.0"}, {21, "0.0"}, {31, "0.0"},
      {12, "1.0"}, {22, "1.0"}, {32, "0.0"}, {13, "0.0"}, {23, "1.0"}, {33, "0.5"}, {70, "     5"},
      {0, "SOLID"}, {5, "30"}, {330, "1F"}, {100, "AcDbEntity"}, {8, "Red"}, {62, "     5"},
      {100, "AcDbTrace"}, {10, "0.0"}, {20, "0.0"}, {30, "0.0"}, {11, "2.0"}, {21, "0.0"}, {31, "0.0"},
      {12, "0.0"}, {22, "2.0"}, {32, "0.0"}, {13, "2.0"}, {23, "2.0"}, {33, "0.0"}, {39, "3.5"},
      {210, "0.0"}, {220, "0.0"}, {230, "-1.0"},
      {0, "LINE"}, {5, "31"}, {330, "1F"}, {100, "AcDbEntity"}, {67, "     1"}, {8, "0"}, {100, "AcDbLine"},
      {10, "0.0"}, {20, "0.0"}, {30, "0.0"}, {11, "1.0"}, {21, "1.0"}, {31, "1.0"},
      {0, "POLYLINE"}, {5, "32"}, {330, "1F"}, {100, "AcDbEntity"}, {8, "0"}, {62, "     0"},
      {100, "AcDbPolyFaceMesh"}, {66, "     1"}, {10, "0.0"}, {20, "0.0"}, {30, "0.0"}, {70, "    64"},
      {71, "     3"}, {72, "     1"},
      {0, "VERTEX"}, {5, "33"}, {8, "0"}, {10, "0.0"}, {20, "0.0"}, {30, "0.0"}, {70, "   192"},
      {0, "VERTEX"}, {5, "34"}, {8, "0"}, {10, "1.0"}, {20, "0.0"}, {30, "0.0"}, {70, "   192"},
      {0, "VERTEX"}, {5, "35"}, {8, "0"}, {10, "0.0"}, {20, "1.0"}, {30, "0.0"}, {70, "   192"},
      {0, "VERTEX"}, {5, "36"}, {8, "0"}, {10, "0.0"}, {20, "0.0"}, {30, "0.0"}, {70, "   128"},
      {71, "     1"}, {72, "    -2"}, {73, "     3"},
      {0, "SEQEND"}, {5, "37"}, {8, "0"},
      {0, "CIRCLE"}, {5, "40"}, {330, "1F"}, {100, "AcDbEntity"}, {8, "red"}, {100, "AcDbCircle"},
      {10, "0.0"}, {20, "0.0"}, {30, "0.0"}, {40, "1.0"},
      {1001, "ACAD"}, {1000, "keep me"}, {1070, "     7"}, {1040, "0.30000"},
      {0, "WIDGET"}, {5, "41"}, {8, "Nowhere"},
      {0, "ENDSEC"},
      {0, "SECTION"}, {2, "OBJECTS"},
      {0, "DICTIONARY"}, {5, "C"}, {330, "0"}, {100, "AcDbDictionary"},
      {0, "ENDSEC"},
      {0, "EOF"},
  };
}

// An R12 drawing without handles: a LAYER table, an APPID table with ACAD,
// one 3DFACE on layer 0 and one polygon mesh of 2 by 2.
inline Groups r12Drawing() {
  return {
      {0, "SECTION"}, {2, "HEADER"}, {9, "$ACADVER"}, {1, "AC1009"}, {0, "ENDSEC"},
      {0, "SECTION"}, {2, "TABLES"},
      {0, "TABLE"}, {2, "LAYER"}, {70, "     1"},
      {0, "LAYER"}, {2, "0"}, {70, "     0"}, {62, "     7"}, {6, "CONTINUOUS"},
      {0, "ENDTAB"},
      {0, "TABLE"}, {2, "APPID"}, {70, "     1"},
      {0, "APPID"}, {2, "ACAD"}, {70, "     0"},
      {0, "ENDTAB"},
      {0, "ENDSEC"},
      {0, "SECTION"}, {2, "ENTITIES"},
      {0, "3DFACE"}, {8, "0"}, {10, "0.0"}, {20, "0.0"}, {30, "0.0"}, {11, "1.0"}, {21, "0.0"},
      {31, "0.0"}, {12, "1.0"}, {22, "1.0"}, {32, "0.0"}, {13, "0.0"}, {23, "1.0"}, {33, "0.0"},
      {0, "POLYLINE"}, {8, "0"}, {66, "     1"}, {10, "0.0"}, {20, "0.0"}, {30, "0.0"}, {70, "    16"},
      {71, "     2"}, {72, "     2"},
      {0, "VERTEX"}, {8, "0"}, {10, "0.0"}, {20, "0.0"}, {30, "0.0"}, {70, "    64"},
      {0, "VERTEX"}, {8, "0"}, {10, "1.0"}, {20, "0.0"}, {30, "0.0"}, {70, "    64"},
      {0, "VERTEX"}, {8, "0"}, {10, "0.0"}, {20, "1.0"}, {30, "0.0"}, {70, "    64"},
      {0, "VERTEX"}, {8, "0"}, {10, "1.0"}, {20, "1.0"}, {30, "1.0"}, {70, "    64"},
      {0, "SEQEND"}, {8, "0"},
      {0, "ENDSEC"},
      {0, "EOF"},
  };
}

} // namespace corvane::testing
