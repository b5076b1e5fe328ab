#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "driver/trace.h"

namespace {

// Installs a temporary trace file with a mode and reads back what was written.
class TraceTest : public ::testing::Test {
 protected:
  void Install(const char* mode) {
    file_ = std::tmpfile();
    ASSERT_NE(nullptr, file_);
    int fd = dup(fileno(file_));
    reader_ = fdopen(fd, "r");
    SetTraceMode(mode, file_);
  }
  std::string Written() {
    std::fflush(file_);
    std::string out;
    std::rewind(reader_);
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, reader_)) > 0) out.append(buf, n);
    return out;
  }
  std::string Pid() {
    char b[16];
    std::snprintf(b, sizeof b, "(%5d)", static_cast<int>(getpid()));
    return b;
  }
  void TearDown() override {
    SetTraceMode("", nullptr);
    if (reader_) std::fclose(reader_);
  }
  FILE* file_ = nullptr;
  FILE* reader_ = nullptr;
};

TEST_F(TraceTest, ModeStringSelectsLettersAndLevels) {
  Install("A2N");
  EXPECT_TRUE(TraceEnabled('A', 2));
  EXPECT_FALSE(TraceEnabled('A', 3));
  EXPECT_TRUE(TraceEnabled('N', 1));
  EXPECT_FALSE(TraceEnabled('N', 2));
  EXPECT_FALSE(TraceEnabled('a', 0));
  // Installing a mode closes the file installed before it: give each its own.
  file_ = nullptr;
  SetTraceMode("*1A3", std::tmpfile());
  EXPECT_TRUE(TraceEnabled('Z', 1));
  EXPECT_TRUE(TraceEnabled('A', 3));
  SetTraceMode("a2", std::tmpfile());
  EXPECT_FALSE(TraceEnabled('A', 1));
  EXPECT_TRUE(TraceEnabled('A', 0));
}

TEST_F(TraceTest, HeaderAndLineFormat) {
  Install("A2");
  Trace('A', 2, "SQLFetch: hstmt=0x%08lx", 0x1234ul);
  Trace('A', 3, "not written");
  Trace('A', 2, "\nReturn code: %s\n", "SQL_SUCCESS");
  std::string out = Written();
  ASSERT_EQ(0u, out.find("\n** "));
  size_t flags = out.find("   Flags = [A2]\n\n");
  ASSERT_NE(std::string::npos, flags);
  std::string body = out.substr(flags + 17);
  EXPECT_EQ(Pid() + " A2: SQLFetch: hstmt=0x00001234\n\n" + Pid() +
                " A2: Return code: SQL_SUCCESS\n\n",
            body);
}

TEST_F(TraceTest, EmptyModeWritesNoHeaderButLevelZero) {
  Install("");
  Trace('N', 0, "recv() returned EOF.");
  Trace('N', 1, "hidden");
  EXPECT_EQ(Pid() + " N0: recv() returned EOF.\n", Written());
}

TEST_F(TraceTest, LongMessageIsCutNotOverrun) {
  Install("");
  std::string big(5000, 'q');
  Trace('A', 0, "%s", big.c_str());
  std::string out = Written();
  EXPECT_EQ(Pid().size() + 5 + 1023 + 1, out.size());
}

TEST_F(TraceTest, TraceStringCutsAtEighty) {
  Install("P2");
  std::string v(100, 'v');
  TraceString('P', 2, "statement.PutElement()", v.c_str());
  TraceString('P', 2, "x", nullptr);
  std::string out = Written();
  EXPECT_NE(std::string::npos,
            out.find(" statement.PutElement()=\"" + std::string(80, 'v') + "...\"\n"));
  EXPECT_NE(std::string::npos, out.find(" x=\"<null>\"\n"));
}

TEST_F(TraceTest, DumpOfTwentyBytes) {
  Install("");
  unsigned char bytes[20];
  for (int i = 0; i < 20; ++i) bytes[i] = static_cast<unsigned char>(0x41 + i);
  bytes[3] = 0x01;
  TraceDump("title", bytes, 20);
  std::string expected = Pid() +
                         " title\nbuffer contains 20 bytes of data\n"
                         "000: 41 42 43 01 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50 |ABC.EFGHIJKLMNOP|\n"
                         "010: 51 52 53 54" +
                         std::string(36, ' ') + " |QRST" + std::string(12, ' ') + "|\n";
  EXPECT_EQ(expected, Written());
}

TEST_F(TraceTest, CloseWritesEndeAndStopsTracing) {
  Install("A");
  CloseTrace();
  file_ = nullptr;
  EXPECT_FALSE(TraceIsOpen());
  Trace('A', 0, "after close");
  std::string out;
  std::rewind(reader_);
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, reader_)) > 0) out.append(buf, n);
  EXPECT_NE(std::string::npos, out.find("\n\nEnde: "));
  EXPECT_EQ(std::string::npos, out.find("after close"));
}

}  // namespace
