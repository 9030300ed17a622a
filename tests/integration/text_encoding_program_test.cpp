// Text typed at the host reaches a drawing in the drawing's own encoding and
// comes back the same: a code page (with "\U+XXXX" for what it lacks) up to
// R2004, UTF-8 from R2007. ezdxf reads the saved files independently.
#include <gtest/gtest.h>

#include "support/corpus.h"
#include "test_drawing.h"

namespace corvane::testing {
namespace {

const char* kPython = "/usr/bin/python3";

// An ezdxf drawing of VERSION with one 3DFACE at PATH; prints the face's
// handle.
ProcessResult writeDrawing(const std::string& path, const std::string& version) {
  const char* script =
      "import sys, ezdxf\n"
      "doc = ezdxf.new(sys.argv[2])\n"
      "doc.header['$DWGCODEPAGE'] = 'ANSI_1252'\n"
      "face = doc.modelspace().add_3dface([(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 1)])\n"
      "doc.saveas(sys.argv[1])\n"
      "print(face.dxf.handle, end='')\n";
  return runProcess({kPython, "-c", script, path, version});
}

TEST(TextEncodingProgram, DialogTextIsSavedInTheDrawingsEncodingAndReadsBack) {
  if (!haveEzdxf()) GTEST_SKIP() << "python3-ezdxf not installed";
  const std::string dir = makeTempDir();
  // é and € are in code page 1252 (E9, 80); Ш and 😀 are not.
  const std::string url = "https://example.com/café€";
  const std::string description = "Ш and 😀";
  for (const char* version : {"R2000", "R2018"}) {
    SCOPED_TRACE(version);
    const std::string dxf = dir + "/" + version + ".dxf";
    ProcessResult made = writeDrawing(dxf, version);
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string& face = made.out;
    ProcessResult r = runProcess({corvanePath(), "run", dxf, "-"},
                                 "vrmlprop\n" + face + "\n@1018 " + url + "\n@1020 " + description +
                                     "\n@1\n(vrml_geturl (handent \"" + face + "\"))\nSAVE\n");
    ASSERT_EQ(r.status, 0) << r.err;
    // What the dialog took is what the drawing gives back, before and
    // after a reload.
    const std::string shown = "(\"" + url + "\" \"" + description + "\")";
    EXPECT_NE(r.out.find("\n" + shown + "\n"), std::string::npos) << r.out;
    ProcessResult again = runProcess({corvanePath(), "run", dxf, "-"}, "(vrml_geturl (handent \"" + face + "\"))\n");
    EXPECT_NE(again.out.find("\n" + shown + "\n"), std::string::npos) << again.out;

    const std::string saved = readBytes(dxf);
    if (std::string(version) == "R2000") {
      EXPECT_NE(saved.find("https://example.com/caf\xE9\x80\n"), std::string::npos);
      EXPECT_NE(saved.find("\\U+0428 and \\U+D83D\\U+DE00\n"), std::string::npos);
      EXPECT_EQ(saved.find("café"), std::string::npos) << "UTF-8 in a code-page drawing";
    } else {
      EXPECT_NE(saved.find("\n" + url + "\n"), std::string::npos);
      EXPECT_NE(saved.find("\n" + description + "\n"), std::string::npos);
    }
    const char* read =
        "import sys, ezdxf\n"
        "doc = ezdxf.readfile(sys.argv[1])\n"
        "e = doc.entitydb[sys.argv[2]]\n"
        "for app in sorted(e.xdata.data):\n"
        "  for t in e.get_xdata(app):\n"
        "    if t.code == 1000: sys.stdout.buffer.write((t.value + '\\n').encode('utf-8'))\n";
    ProcessResult independent = runProcess({kPython, "-c", read, dxf, face});
    ASSERT_EQ(independent.status, 0) << independent.err;
    EXPECT_NE(independent.out.find(url + "\n"), std::string::npos) << independent.out;
    // ezdxf leaves the escapes of a code-page drawing's extended data as
    // they stand in the file.
    if (std::string(version) == "R2018")
      EXPECT_NE(independent.out.find(description + "\n"), std::string::npos) << independent.out;
    else
      EXPECT_NE(independent.out.find("\\U+0428 and \\U+D83D\\U+DE00\n"), std::string::npos) << independent.out;
  }
}

TEST(TextEncodingProgram, TextAlreadyInTheDrawingReachesTheHostAsUtf8AndStaysAsItWas) {
  if (!haveEzdxf()) GTEST_SKIP() << "python3-ezdxf not installed";
  const std::string dir = makeTempDir();
  const std::string dxf = dir + "/d.dxf";
  // Written by ezdxf in code page 1252, with one character it lacks.
  const char* script =
      "import sys, ezdxf\n"
      "doc = ezdxf.new('R2000')\n"
      "doc.header['$DWGCODEPAGE'] = 'ANSI_1252'\n"
      "doc.appids.new('PE_URL')\n"
      "face = doc.modelspace().add_3dface([(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 1)])\n"
      "face.set_xdata('PE_URL', [(1000, 'Grüße Ж')])\n"
      "doc.saveas(sys.argv[1])\n"
      "print(face.dxf.handle, end='')\n";
  ProcessResult made = runProcess({kPython, "-c", script, dxf});
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string before = readBytes(dxf);
  ASSERT_NE(before.find("Gr\xFC\xDF" "e \\U+0416"), std::string::npos) << "ezdxf wrote it otherwise";
  // Read and written back unchanged by a program, the bytes stay.
  ProcessResult r = runProcess({corvanePath(), "run", dxf, "-"},
                               "(setq e (entget (handent \"" + made.out + "\") '(\"PE_URL\")))\n"
                               "(entmod e)\n(cdr (cadr (assoc -3 e)))\nSAVE\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("\n((1000 . \"Grüße Ж\"))\n"), std::string::npos) << r.out;
  EXPECT_EQ(readBytes(dxf), before);
}

} // namespace
} // namespace corvane::testing
