// The trace log: mode parsing, the header, line, dump and closing formats,
// the bounds on long messages and values, a line on disk at once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/Settings.h"
#include "base/Trace.h"
#include "support/capture.h"

namespace {

std::string Pid() { return TraceCapture::Line('A', 0, "").substr(0, 7); }

TEST(TraceTest, ModeStringSelectsLettersAndLevels) {
  struct Row {
    const char* mode;
    char letter;
    int level;
    bool enabled;
  } rows[] = {
      {"A2N", 'A', 2, true},  {"A2N", 'A', 3, false}, {"A2N", 'N', 1, true},
      {"A2N", 'N', 2, false}, {"A2N", 'a', 0, false}, {"*1A3", 'Z', 1, true},
      {"*1A3", 'A', 3, true}, {"a2", 'A', 1, false},  {"a2", 'A', 0, true},
  };
  for (const Row& r : rows) {
    TraceCapture trace(r.mode);
    EXPECT_EQ(r.enabled, TraceEnabled(r.letter, r.level)) << r.mode << r.letter << r.level;
  }
}

TEST(TraceTest, HeaderAndLineFormat) {
  TraceCapture trace("A2");
  Trace('A', 2, "SQLFetch: hstmt=0x%08lx", 0x1234ul);
  Trace('A', 3, "not written");
  Trace('A', 2, "\nReturn code: %s\n", "SQL_SUCCESS");
  std::string out = trace.Text();
  // An empty line, "** ", the time as ctime gives it (24 characters, its
  // newline removed), three blanks, the flags, an empty line.
  ASSERT_EQ(0u, out.find("\n** "));
  EXPECT_EQ(std::string::npos, out.substr(4, 24).find('\n'));
  EXPECT_EQ("   Flags = [A2]\n\n", out.substr(28, 17));
  EXPECT_EQ(Pid() + " A2: SQLFetch: hstmt=0x00001234\n\n" + Pid() +
                " A2: Return code: SQL_SUCCESS\n\n",
            trace.Body());
}

TEST(TraceTest, EmptyModeWritesNoHeaderButLevelZeroCutAt1023) {
  TraceCapture trace("");
  Trace('N', 0, "recv() returned EOF.");
  Trace('N', 1, "hidden");
  Trace('A', 0, "%s", std::string(5000, 'q').c_str());
  EXPECT_EQ(Pid() + " N0: recv() returned EOF.\n" + Pid() + " A0: " + std::string(1023, 'q') +
                "\n",
            trace.Text());
}

TEST(TraceTest, TraceStringCutsAtEighty) {
  TraceCapture trace("P2");
  TraceString('P', 2, "statement.PutElement()", std::string(100, 'v').c_str());
  TraceString('P', 2, "x", nullptr);
  TraceString('P', 2, "y", std::string(80, 'w').c_str());
  EXPECT_EQ(TraceCapture::Line('P', 2,
                               " statement.PutElement()=\"" + std::string(80, 'v') + "...\"") +
                TraceCapture::Line('P', 2, " x=\"<null>\"") +
                TraceCapture::Line('P', 2, " y=\"" + std::string(80, 'w') + "\""),
            trace.Body());
}

TEST(TraceTest, DumpOfTwentyBytes) {
  TraceCapture trace("");
  unsigned char bytes[20];
  for (int i = 0; i < 20; ++i) bytes[i] = static_cast<unsigned char>(0x41 + i);
  bytes[3] = 0x01;
  TraceDump("title", bytes, 20);
  EXPECT_EQ(Pid() +
                " title\nbuffer contains 20 bytes of data\n"
                "000: 41 42 43 01 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50 |ABC.EFGHIJKLMNOP|\n"
                "010: 51 52 53 54" +
                std::string(36, ' ') + " |QRST" + std::string(12, ' ') + "|\n",
            trace.Text());
}

TEST(TraceTest, CloseWritesEndeAndStopsTracing) {
  TraceCapture trace("A");
  CloseTrace();
  EXPECT_FALSE(TraceIsOpen());
  Trace('A', 0, "after close");
  // "\n\nEnde: ", the time as asctime gives it with its own newline, and
  // the line's newline.
  std::string body = trace.Body();
  ASSERT_EQ(0u, body.find("\n\nEnde: "));
  EXPECT_EQ(8u + 24u + 2u, body.size());
  EXPECT_EQ("\n\n", body.substr(body.size() - 2));
}

// The settings' trace file holds each line as soon as it is traced: another
// reader sees it while the file is still open.
TEST(TraceTest, EachLineIsOnDiskBeforeClose) {
  char path[] = "/tmp/velodbc-trace-XXXXXX";
  close(mkstemp(path));
  SettingsFile settings(std::string("[Debug]\nLogFile=") + path + "\nLogMode=A2\n");
  ForgetSettings();
  OpenTrace();
  ForgetSettings();
  Trace('A', 2, "one line");
  FILE* f = std::fopen(path, "r");
  ASSERT_NE(nullptr, f);
  char buf[512] = {};
  std::string text(buf, std::fread(buf, 1, sizeof buf - 1, f));
  std::fclose(f);
  CloseTrace();
  unlink(path);
  EXPECT_NE(std::string::npos, text.find("Flags = [A2]\n\n" + Pid() + " A2: one line\n")) << text;
}

}  // namespace
