// The trace log: mode parsing, the header, line, dump and closing formats,
// and the bounds on long messages and values.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/Trace.h"
#include "support/capture.h"

namespace {

std::string Pid() {
  char b[16];
  std::snprintf(b, sizeof b, "(%5d)", static_cast<int>(getpid()));
  return b;
}

// What follows the header (everything when there is none).
std::string Body(TraceCapture& trace) {
  std::string out = trace.Text();
  size_t header = out.find("]\n\n");
  return header == std::string::npos ? out : out.substr(header + 3);
}

TEST(TraceTest, ModeStringSelectsLettersAndLevels) {
  TraceCapture trace("A2N");
  EXPECT_TRUE(TraceEnabled('A', 2));
  EXPECT_FALSE(TraceEnabled('A', 3));
  EXPECT_TRUE(TraceEnabled('N', 1));
  EXPECT_FALSE(TraceEnabled('N', 2));
  EXPECT_FALSE(TraceEnabled('a', 0));
  // Installing a mode closes the file installed before it: give each its own.
  SetTraceMode("*1A3", std::tmpfile());
  EXPECT_TRUE(TraceEnabled('Z', 1));
  EXPECT_TRUE(TraceEnabled('A', 3));
  SetTraceMode("a2", std::tmpfile());
  EXPECT_FALSE(TraceEnabled('A', 1));
  EXPECT_TRUE(TraceEnabled('A', 0));
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
            Body(trace));
}

TEST(TraceTest, EmptyModeWritesNoHeaderButLevelZero) {
  TraceCapture trace("");
  Trace('N', 0, "recv() returned EOF.");
  Trace('N', 1, "hidden");
  EXPECT_EQ(Pid() + " N0: recv() returned EOF.\n", trace.Text());
}

TEST(TraceTest, LongMessageIsCutNotOverrun) {
  TraceCapture trace("");
  std::string big(5000, 'q');
  Trace('A', 0, "%s", big.c_str());
  EXPECT_EQ(Pid().size() + 5 + 1023 + 1, trace.Text().size());
}

TEST(TraceTest, TraceStringCutsAtEighty) {
  TraceCapture trace("P2");
  std::string v(100, 'v');
  TraceString('P', 2, "statement.PutElement()", v.c_str());
  TraceString('P', 2, "x", nullptr);
  TraceString('P', 2, "y", std::string(80, 'w').c_str());
  EXPECT_EQ(TraceCapture::Line('P', 2,
                               " statement.PutElement()=\"" + std::string(80, 'v') + "...\"") +
                TraceCapture::Line('P', 2, " x=\"<null>\"") +
                TraceCapture::Line('P', 2, " y=\"" + std::string(80, 'w') + "\""),
            Body(trace));
}

TEST(TraceTest, DumpOfTwentyBytes) {
  TraceCapture trace("");
  unsigned char bytes[20];
  for (int i = 0; i < 20; ++i) bytes[i] = static_cast<unsigned char>(0x41 + i);
  bytes[3] = 0x01;
  TraceDump("title", bytes, 20);
  std::string expected = Pid() +
                         " title\nbuffer contains 20 bytes of data\n"
                         "000: 41 42 43 01 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50 |ABC.EFGHIJKLMNOP|\n"
                         "010: 51 52 53 54" +
                         std::string(36, ' ') + " |QRST" + std::string(12, ' ') + "|\n";
  EXPECT_EQ(expected, trace.Text());
}

TEST(TraceTest, CloseWritesEndeAndStopsTracing) {
  TraceCapture trace("A");
  CloseTrace();
  EXPECT_FALSE(TraceIsOpen());
  Trace('A', 0, "after close");
  // "\n\nEnde: ", the time as asctime gives it with its own newline, and
  // the line's newline.
  std::string body = Body(trace);
  ASSERT_EQ(0u, body.find("\n\nEnde: "));
  EXPECT_EQ(8u + 24u + 2u, body.size());
  EXPECT_EQ("\n\n", body.substr(body.size() - 2));
}

}  // namespace
