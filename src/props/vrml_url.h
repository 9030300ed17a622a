// The hyperlink of one drawing object: link and description.
#pragma once

class AcDbObject;
class OutputFile;

// Owns its two texts, each null or a heap copy of length plus one bytes made
// by the setters and released by the setters, clear and the destructor.
// Readers may use link and description directly; change them only through
// the setters. Not copyable.
struct VrmlUrl {
  int anchorOpen; // set by beginAnchor, cleared by endAnchor
  char* link;
  char* description;

  VrmlUrl();
  ~VrmlUrl();
  VrmlUrl(const VrmlUrl&) = delete;
  VrmlUrl& operator=(const VrmlUrl&) = delete;

  // Store a copy of TEXT (nothing for null) in place of the old text, which
  // is released. TEXT may be the record's own text. Return 1; 0 only when
  // memory for the copy can't be had, with the old text kept.
  int setLink(const char* text);
  int setDescription(const char* text);
  // Releases both texts and sets them to null; anchorOpen is not changed.
  void clear();

  // Stores link under "PE_URL" and description under "VRML_Url_Data" on
  // OBJECT (open for writing), each chain without its text when the text is
  // absent. Returns 1 when both were stored; 0 with no object or when the
  // host refuses a chain (a refused link skips the description).
  int writeUrlXData(AcDbObject* object);
  // Loads link and description from OBJECT (open). A text the object doesn't
  // hold is left as it was, so start from an empty record. Returns 1, or 0
  // with no object or malformed data (a bad link skips the description).
  int readUrlXData(AcDbObject* object);

  // With a link and a file: the opening of a WWWAnchor with its name and,
  // if present, description line, and anchorOpen set to 1. Texts are quoted
  // with each '"' written as \". endAnchor writes the closing "}\n" only
  // while anchorOpen is 1, then clears it. Defined in
  // src/export/vrml_writer.cpp.
  void beginAnchor(OutputFile* file);
  void endAnchor(OutputFile* file);
};
