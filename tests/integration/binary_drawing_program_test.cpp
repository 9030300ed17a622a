// Binary DXF drawings through the corvane program: the corpus's load, save
// back unchanged and export the world of their text twins; drawings of
// every version export; properties set on one are saved in binary and read
// back by a fresh run and by an independent reader; cut files are refused
// with one line naming the byte.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/corpus.h"
#include "test_drawing.h"

namespace corvane::testing {
namespace {

const char* kPython = "/usr/bin/python3";

TEST(BinaryDrawingProgram, CorpusDrawingsSaveBackAndExportTheWorldOfTheirTwins) {
  std::vector<std::filesystem::path> files = binaryCorpusFiles();
  if (files.empty()) GTEST_SKIP() << "the shared corpus is not beside the project";
  std::string dir = makeTempDir();
  size_t twins = 0;
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    std::string saved = dir + "/" + file.filename().string();
    ProcessResult r = runProcess({corvanePath(), "run", file.string(), "-"}, "SAVEAS\n" + saved + "\n");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(readBytes(saved) == readBytes(file)) << "changed on save";

    std::string wrl = dir + "/" + file.stem().string() + ".wrl";
    r = runProcess({corvanePath(), "export", file.string(), "-o", wrl});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("objects converted."), std::string::npos) << r.out;
    EXPECT_EQ(coinCheck(wrl), "");
    std::filesystem::path twin = textTwin(file);
    if (twin.empty()) continue;
    ++twins;
    // Model space as it stands: the meshes an export explodes hold numbers
    // that the text twins round in their last digits.
    r = runProcess({corvanePath(), "export", file.string(), "--keep-blocks", "-o", wrl});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string twinWrl = dir + "/" + twin.stem().string() + ".twin.wrl";
    r = runProcess({corvanePath(), "export", twin.string(), "--keep-blocks", "-o", twinWrl});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(readFile(twinWrl) == readFile(wrl)) << "the text twin " << twin.filename() << " gives another world";
  }
  EXPECT_EQ(twins, 4u);
}

// Writes a binary drawing of VERSION with ezdxf: a 3D face and a polyface
// cube; prints the face's handle.
ProcessResult writeWithEzdxf(const std::string& path, const std::string& version) {
  const char* script =
      "import sys, ezdxf\n"
      "from ezdxf.render.forms import cube\n"
      "doc = ezdxf.new(sys.argv[2])\n"
      "msp = doc.modelspace()\n"
      "face = msp.add_3dface([(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 1)])\n"
      "cube().render_polyface(msp)\n"
      "doc.saveas(sys.argv[1], fmt='bin')\n"
      "print(face.dxf.handle, end='')\n";
  return runProcess({kPython, "-c", script, path, version});
}

TEST(BinaryDrawingProgram, EveryVersionExports) {
  if (!haveEzdxf()) GTEST_SKIP() << "python3-ezdxf not installed";
  std::string dir = makeTempDir();
  for (const char* version : {"R12", "R2000", "R2004", "R2007", "R2010", "R2013", "R2018"}) {
    SCOPED_TRACE(version);
    std::string dxf = dir + "/" + version + ".dxf", wrl = dir + "/" + version + ".wrl";
    ProcessResult made = writeWithEzdxf(dxf, version);
    ASSERT_EQ(made.status, 0) << made.err;
    ProcessResult r = runProcess({corvanePath(), "export", dxf, "-o", wrl});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("2 objects converted."), std::string::npos) << r.out;
    EXPECT_EQ(coinCheck(wrl, {"--groups", "2"}), "");
  }
}

TEST(BinaryDrawingProgram, PropertiesAreSavedInBinaryAndReadBack) {
  if (!haveEzdxf()) GTEST_SKIP() << "python3-ezdxf not installed";
  std::string dir = makeTempDir();
  for (const char* version : {"R12", "R2018"}) {
    SCOPED_TRACE(version);
    std::string dxf = dir + "/" + version + ".dxf";
    ProcessResult made = writeWithEzdxf(dxf, version);
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string& face = made.out;
    ProcessResult r = runProcess({corvanePath(), "run", dxf, "-"},
                                 "vrmlprop\n" + face + "\n@1018 https://example.com/roof.html\n@1020 The roof\n"
                                 "@1014 60\n@1\nSAVE\n");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_NE(r.out.find("Saved"), std::string::npos) << r.out;
    std::string saved = readBytes(dxf);
    ASSERT_EQ(saved.compare(0, 18, "AutoCAD Binary DXF"), 0) << "saved in another form";

    ProcessResult again = runProcess({corvanePath(), "run", dxf, "-"},
                                     "(vrml_geturl (handent \"" + face + "\"))\n(vrml_getmaterial (handent \"" +
                                         face + "\"))\n");
    EXPECT_EQ(again.err, "");
    EXPECT_NE(again.out.find("(\"https://example.com/roof.html\" \"The roof\")"), std::string::npos) << again.out;
    EXPECT_NE(again.out.find("(1 0.6 0"), std::string::npos) << again.out;

    const char* read =
        "import sys, ezdxf\n"
        "doc = ezdxf.readfile(sys.argv[1])\n"
        "e = doc.entitydb[sys.argv[2]]\n"
        "for app in sorted(e.xdata.data): print(app, [t.value for t in e.get_xdata(app)])\n";
    ProcessResult independent = runProcess({kPython, "-c", read, dxf, face});
    ASSERT_EQ(independent.status, 0) << independent.err;
    EXPECT_NE(independent.out.find("'https://example.com/roof.html'"), std::string::npos) << independent.out;
    EXPECT_NE(independent.out.find("VRML_Application"), std::string::npos) << independent.out;
  }
}

TEST(BinaryDrawingProgram, CutFilesAreRefusedWithTheByte) {
  std::vector<std::filesystem::path> files = binaryCorpusFiles();
  if (files.empty()) GTEST_SKIP() << "the shared corpus is not beside the project";
  std::string bytes = readBytes(files.front());
  std::string dir = makeTempDir();
  for (size_t n : {size_t{1}, size_t{21}, size_t{22}, size_t{23}, size_t{100}, bytes.size() / 2, bytes.size() - 1}) {
    std::string cut = dir + "/cut.dxf";
    writeFile(cut, bytes.substr(0, n));
    ProcessResult r = runProcess({corvanePath(), "run", cut, "-"}, "");
    EXPECT_EQ(r.status, 2) << n;
    EXPECT_EQ(occurrences(r.err, "\n"), 1u) << n << ": " << r.err;
    EXPECT_EQ(r.err.rfind("corvane: " + cut + ": byte ", 0), 0u) << n << ": " << r.err;
    EXPECT_NE(r.err.find("the file ends"), std::string::npos) << n << ": " << r.err;
    EXPECT_EQ(r.out, "") << n;
  }
}

} // namespace
} // namespace corvane::testing
