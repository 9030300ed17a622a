// The whole text format of the world file. Every number goes through
// number_format.h; every byte goes to the file through OutputFile.
#include "vrml_writer.h"

#include <cstring>
#include <initializer_list>
#include <string_view>

#include "props/vrml_material.h"
#include "props/vrml_url.h"
#include "mesh.h"
#include "number_format.h"

namespace {

// Largest line writeMesh assembles in place: three general numbers with
// their separators.
constexpr std::size_t kVertexLineChars = 3 * kMaxNumberChars + 8;
// Longest face line: four indices with their commas, and "-1,\n".
constexpr std::size_t kFaceLineChars = 4 * (kMaxNumberChars + 1) + 4;
static_assert(kVertexLineChars <= OutputFile::kMaxReserve);
static_assert(kFaceLineChars <= OutputFile::kMaxReserve);

// Longest material line assembled in place: a label, three fixed numbers
// and their separators.
constexpr std::size_t kMaterialLineChars = 16 + 3 * (kMaxNumberChars + 1) + 1;
static_assert(kMaterialLineChars <= OutputFile::kMaxReserve);

// LABEL, then each value after a tab, then a line end: one line in place.
void writeFixedLine(OutputFile& file, std::string_view label, std::initializer_list<double> values) {
  char* at = file.reserve(kMaterialLineChars);
  std::memcpy(at, label.data(), label.size());
  at += label.size();
  for (double value : values) {
    *at++ = '\t';
    at = formatFixed6(at, value);
  }
  *at++ = '\n';
  file.commit(at);
}

void writeColorLine(OutputFile& file, std::string_view label, const VrmlColor& color) {
  writeFixedLine(file, label, {color.red, color.green, color.blue});
}

// A VRML string: a double quote or a backslash gets a backslash before it,
// so that the text reads back as it was stored and can't end the string
// early (a link ending in a backslash, for one); every other byte as it
// stands.
void appendQuoted(OutputFile& file, const char* text) {
  file.append('"');
  std::string_view rest(text);
  for (std::size_t special = rest.find_first_of("\"\\"); special != std::string_view::npos;
       special = rest.find_first_of("\"\\")) {
    file.append(rest.substr(0, special));
    file.append('\\');
    file.append(rest[special]);
    rest.remove_prefix(special + 1);
  }
  file.append(rest);
  file.append('"');
}

} // namespace

int writeHeader(OutputFile* file) {
  if (file != nullptr) {
    file->append("#VRML V1.0 ascii\n"
                 "ShapeHints {\n"
                 "\tvertexOrdering UNKNOWN_ORDERING\n"
                 "\tshapeType UNKNOWN_SHAPE_TYPE\n"
                 "\tfaceType CONVEX\n"
                 "\tcreaseAngle 0.5\n"
                 "}\n");
  }
  return 1;
}

int beginSeparator(OutputFile* file) {
  if (file == nullptr) {
    return 0;
  }
  file->append("Separator {\n");
  return 1;
}

int endSeparator(OutputFile* file) {
  if (file == nullptr) {
    return 0;
  }
  file->append("}\n");
  return 1;
}

void VrmlMaterial::writeMaterial(OutputFile* file) const {
  if (file == nullptr || valid == 0) {
    return;
  }
  file->append("Material {\n");
  writeColorLine(*file, "\tambientColor", ambientColor);
  writeColorLine(*file, "\tdiffuseColor", diffuseColor);
  writeColorLine(*file, "\tspecularColor", specularColor);
  writeColorLine(*file, "\temissiveColor", emissiveColor);
  writeFixedLine(*file, "\tshininess", {shininess});
  writeFixedLine(*file, "\ttransparency", {transparency});
  file->append("}\n");
}

void VrmlUrl::beginAnchor(OutputFile* file) {
  if (file == nullptr || link == nullptr) {
    return;
  }
  file->append("WWWAnchor {\n\tname ");
  appendQuoted(*file, link);
  file->append('\n');
  if (description != nullptr) {
    file->append("\tdescription ");
    appendQuoted(*file, description);
    file->append('\n');
  }
  anchorOpen = 1;
}

void VrmlUrl::endAnchor(OutputFile* file) {
  if (anchorOpen == 1 && file != nullptr) {
    file->append("}\n");
  }
  anchorOpen = 0;
}

void Mesh::writeMesh(OutputFile* file) const {
  if (file == nullptr || !vertices || !faces) {
    return;
  }
  file->append("Coordinate3 {\n\tpoint[\n");
  for (const Point3& point : *vertices) {
    char* at = file->reserve(kVertexLineChars);
    at = formatGeneral6(at, point.x);
    *at++ = '\t';
    at = formatGeneral6(at, point.y);
    *at++ = '\t';
    at = formatGeneral6(at, point.z);
    *at++ = ',';
    *at++ = '\n';
    file->commit(at);
  }
  file->append("\t]\n}\nIndexedFaceSet {\n\tcoordIndex [\n\t");
  for (const MeshFace& face : *faces) {
    char* at = file->reserve(kFaceLineChars);
    const int count = face.cornerCount < 0 ? 0 : (face.cornerCount > 4 ? 4 : face.cornerCount);
    for (int k = 0; k < count; ++k) {
      at = formatInteger(at, face.corners[k]);
      *at++ = ',';
    }
    std::memcpy(at, "-1,\n", 4);
    file->commit(at + 4);
  }
  file->append("\t]\n}\n");
}
