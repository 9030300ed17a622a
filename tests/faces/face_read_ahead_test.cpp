// The face files' read-ahead, driven as a module drives it: inside a module
// call, ads_ssname over a selection, a one-entity set per object, its face
// file asked for, read and deleted.
#include "faces/face_read_ahead.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "ads.h"
#include "drawing/drawing.h"
#include "drawing/entity_names.h"
#include "drawing/selection_sets.h"
#include "face_file_test_reader.h"
#include "faces/face_file_directory.h"
#include "runtime/module_loader.h"

namespace corvane {
namespace {

// Files in the host's face-file directory now.
int faceFilesLeft() {
  const std::string path = FaceFileDirectory::forProcess().path();
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return 0;
  int count = 0;
  while (const dirent* entry = readdir(dir))
    if (entry->d_name[0] != '.') ++count;
  closedir(dir);
  return count;
}

std::string faceText(int i) {
  const std::string x = std::to_string(i * 1.25), y = std::to_string(i % 7 * 0.5);
  return "0\n3DFACE\n8\n0\n10\n" + x + "\n20\n" + y + "\n30\n0\n11\n" + x + "\n21\n3\n31\n0\n12\n9\n22\n3\n32\n" +
         std::to_string(i) + "\n13\n9\n23\n" + y + "\n33\n1\n";
}

class FaceReadAheadTest : public ::testing::Test {
protected:
  void SetUp() override {
    std::string text = "0\nSECTION\n2\nENTITIES\n";
    for (int i = 0; i < 60; ++i) text += i % 6 == 5 ? "0\nLINE\n8\n0\n10\n0\n20\n0\n30\n0\n11\n1\n21\n1\n31\n0\n" : faceText(i);
    text += "0\nENDSEC\n0\nEOF\n";
    DrawingLoadResult loaded = Drawing::loadText(text, "walk.dxf");
    ASSERT_TRUE(loaded.drawing) << loaded.error;
    drawing_ = std::move(loaded.drawing);
    newSelectionSet(set_);
    for (AcDbObjectRecord* record : drawing_->records().modelSpace()) {
      ads_name entity;
      makeEntityName(*record, entity);
      addToSelectionSet(set_, entity);
      // What a request made on the spot gives, made before any walk.
      expected_.push_back(writtenOnDemand(*record, 1));
    }
  }
  void TearDown() override { freeSelectionSet(set_); }

  static std::vector<uint8_t> writtenOnDemand(const AcDbObjectRecord& record, int flags) {
    const AcDbObjectRecord* one = &record;
    EntityFaceFile file = writeEntityFaceFile({&one, 1}, flags, 0.0);
    EXPECT_NE(file.fileName, nullptr) << file.error;
    std::vector<uint8_t> bytes = test::fileBytes(file.fileName);
    FaceFileDirectory::forProcess().discard(file.fileName);
    return bytes;
  }

  // One object as the export converts it: its name from the set, a
  // one-entity set, the face file read back. DELETE as the export does
  // after a good read.
  std::vector<uint8_t> convert(long position, int flags = 1, bool remove = true) {
    ads_name entity, one;
    EXPECT_EQ(ads_ssname(set_, position, entity), RTNORM);
    EXPECT_EQ(ads_ssadd(entity, nullptr, one), RTNORM);
    const char* name = nullptr;
    EXPECT_EQ(adsi_ent2face(one, &name, flags), RTNORM);
    ads_ssfree(one);
    if (name == nullptr) return {};
    std::vector<uint8_t> bytes = test::fileBytes(name);
    if (remove) {
      EXPECT_EQ(unlink(name), 0);
    }
    return bytes;
  }

  // Converts the object at POSITION and checks its file against the one a
  // request on the spot made.
  void expectSame(long position) {
    EXPECT_EQ(convert(position), expected_[static_cast<size_t>(position)]) << "position " << position;
  }
  static bool isFace(long position) { return position % 6 != 5; }

  long taken() const { return FaceReadAhead::instance().filesTaken(); }

  LoadedModule module_; // stands in for a loaded module: a scope of it is a module call
  std::unique_ptr<Drawing> drawing_;
  ads_name set_;
  std::vector<std::vector<uint8_t>> expected_;
};

TEST_F(FaceReadAheadTest, AWalkInOrderGetsTheFilesARequestWouldMake) {
  const long before = taken();
  {
    ModuleScope call(&module_);
    for (long i = 0; i < 60; ++i) {
      // The export asks for faces only; lines are passed by.
      ads_name entity;
      ASSERT_EQ(ads_ssname(set_, i, entity), RTNORM);
      if (!isFace(i)) continue;
      expectSame(i);
      EXPECT_LE(faceFilesLeft(), 40) << "position " << i;
      // However busy the machine, the worker gets to make some ahead.
      for (int wait = 0; i == 0 && faceFilesLeft() == 0 && wait < 5000; ++wait) usleep(1000);
    }
  }
  EXPECT_GT(taken(), before); // made ahead, not only on the spot
  EXPECT_EQ(faceFilesLeft(), 0);
}

TEST_F(FaceReadAheadTest, AbortedSkippingAndOutOfOrderWalksLeaveNothingBehind) {
  {
    // Stops at the eighth object and leaves its file, as an export whose
    // face file can't be read does; everything made ahead goes too.
    ModuleScope call(&module_);
    for (long i = 0; i < 7; ++i) {
      if (isFace(i)) expectSame(i);
    }
    EXPECT_EQ(convert(7, 1, false), expected_[7]);
  }
  EXPECT_EQ(faceFilesLeft(), 0);
  {
    // Every second face only: the others are made ahead and never asked for.
    ModuleScope call(&module_);
    for (long i = 0; i < 60; ++i) {
      ads_name entity;
      ASSERT_EQ(ads_ssname(set_, i, entity), RTNORM);
      if (i % 2 == 0 && isFace(i)) expectSame(i);
    }
  }
  EXPECT_EQ(faceFilesLeft(), 0);
  {
    ModuleScope call(&module_);
    for (long i : {0L, 1L, 2L, 9L, 3L, 4L, 12L, 2L, 30L, 31L, 32L, 0L}) expectSame(i);
  }
  EXPECT_EQ(faceFilesLeft(), 0);
}

TEST_F(FaceReadAheadTest, ChangesAndOtherFlagsAreServedOnTheSpot) {
  ModuleScope call(&module_);
  for (long i = 0; i < 4; ++i) expectSame(i);
  // Opening an object for writing stops the read-ahead for the rest of the
  // call: nothing made before the change is handed out after it.
  AcDbObject* object = nullptr;
  ads_name entity;
  ASSERT_EQ(ads_ssname(set_, 4, entity), RTNORM);
  AcDbObjectId id;
  ASSERT_EQ(acdbGetObjectId(id, entity), Acad::eOk);
  ASSERT_EQ(acdbOpenAcDbObject(object, id, AcDb::kForWrite), Acad::eOk);
  object->close();
  const long afterChange = taken();
  for (long i = 4; i < 20; ++i) {
    if (isFace(i)) expectSame(i);
  }
  EXPECT_EQ(taken(), afterChange);
  EXPECT_EQ(faceFilesLeft(), 0);
}

TEST_F(FaceReadAheadTest, RequestsWithOtherFlagsGetTheirOwnFiles) {
  ModuleScope call(&module_);
  for (long i = 0; i < 10; ++i) {
    if (isFace(i)) {
      EXPECT_EQ(convert(i, 0), writtenOnDemand(*drawing_->records().modelSpace()[static_cast<size_t>(i)], 0));
    }
  }
  // The read-ahead guesses the flags of the last request; put them back.
  expectSame(10);
}

TEST_F(FaceReadAheadTest, SettingsChangedDuringAWalkStopIt) {
  ModuleScope call(&module_);
  for (long i = 0; i < 3; ++i) expectSame(i);
  resbuf value{};
  value.restype = RTSHORT;
  value.resval.rint = 0;
  ASSERT_EQ(ads_setvar("CMDECHO", &value), RTNORM);
  const long afterChange = taken();
  for (long i = 3; i < 12; ++i) {
    if (isFace(i)) expectSame(i);
  }
  EXPECT_EQ(taken(), afterChange);
}

} // namespace
} // namespace corvane
