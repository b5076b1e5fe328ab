// The base layer: String, the list and its cursor, the profile reader and
// the settings read once, the trace log's formats and its file.
#include <gtest/gtest.h>
#include <sql.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "base/Alloc.h"
#include "base/LinkedList.h"
#include "base/Profile.h"
#include "base/Settings.h"
#include "base/String.h"
#include "support/capture.h"

namespace {

std::string Of(const String& s) { return s.Text() ? std::string(s.Text(), s.Length()) : "<null>"; }

// SetString: a count wins over the terminator; SQL_NTS and other negative
// counts read to the NUL; trailing blanks (not tabs) are dropped; null
// text and SQL_NULL_DATA store an empty, non-null text. Concatenate drops
// each piece's trailing blank.
TEST(StringTest, LengthsBlanksAndConcatenation) {
  // clang-format off
  struct Row { const char* text; int32_t count; std::string stored; };
  // clang-format on
  const Row rows[] = {{"abc   ", SQL_NTS, "abc"}, {"ab\t ", SQL_NTS, "ab\t"},         {"   ", 3, ""},
                      {nullptr, 5, ""},           {"xyz", SQL_NULL_DATA, ""},         {"abcdef", 3, "abc"},
                      {"abcdef", -3, "abcdef"},   {"a\0b", 3, std::string("a\0b", 3)}};
  for (auto& r : rows) {
    String s;
    EXPECT_EQ(1, s.SetString(r.text, r.count));
    EXPECT_EQ(r.stored, Of(s)) << r.count;
  }
  String s, other;
  EXPECT_EQ("<null>", Of(s));
  ASSERT_TRUE(s.SetString("ab") && other.SetString("x"));
  for (const char* piece : {"c ", " (", static_cast<const char*>(nullptr)}) ASSERT_EQ(1, s.Concatenate(piece));
  ASSERT_EQ(1, s.Concatenate(other));
  EXPECT_EQ("abc (x", Of(s));
}

TEST(StringTest, AllocationFailureLeavesEmptyOrUnchangedAndIsTraced) {
  String s;
  ASSERT_EQ(1, s.SetString("keep"));
  TraceCapture trace("X2");
  SetAllocFailAfter(0);
  EXPECT_EQ(0, s.Concatenate("more  "));
  EXPECT_EQ("keep", Of(s));
  EXPECT_EQ(0, s.SetString("new "));
  ResetAllocFailure();
  EXPECT_EQ("<null>", Of(s));
  EXPECT_EQ(TraceCapture::Line('X', 2, "String::Concatenate() failed, line=127, alloc=9") +
                TraceCapture::Line('X', 2, "String::SetString() failed, line=65, alloc=4"),
            trace.Body());
}

std::vector<int> g_deleted;

struct Item : ListItem {
  explicit Item(int v) : value(v) {}
  ~Item() override { g_deleted.push_back(value); }
  int value;
};

// The cursor: the last item appended; null after its item is unlinked or
// deleted; moved by lookups only when they hit; past the end Next stays
// null until First. Destroying the list deletes each item once, in order.
TEST(ListTest, CursorUnlinkDeleteAndDestruction) {
  g_deleted.clear();
  {
    LinkedList list;
    Item *a = new (std::nothrow) Item(1), *b = new (std::nothrow) Item(2), *c = new (std::nothrow) Item(3),
         *z = new (std::nothrow) Item(0), stray(9);
    for (Item* item : {a, b, c}) list.Append(item);
    EXPECT_EQ(c, list.Current());
    list.InsertBefore(a, z);  // before the first: the cursor is on a
    EXPECT_EQ(z, list.Head());
    EXPECT_EQ(a, list.Current());
    EXPECT_EQ(0, list.GetItem(&stray));
    EXPECT_EQ(a, list.Current());
    uint16_t index = 99;
    EXPECT_EQ(kOnList, list.GetItem(b, &index));
    EXPECT_EQ(2, index);
    EXPECT_EQ(b, list.Current());
    list.First();
    EXPECT_EQ(nullptr, list.ItemAt(4));
    EXPECT_EQ(z, list.Current());
    EXPECT_EQ(b, list.ItemAt(2));
    list.Unlink(b);
    EXPECT_EQ(nullptr, list.Current());
    EXPECT_EQ(nullptr, list.Next());
    EXPECT_EQ(c, a->NextItem());
    EXPECT_EQ(a, c->Previous());
    EXPECT_EQ(nullptr, b->Owner());
    delete b;
    list.First();
    list.Delete(z);
    EXPECT_EQ(nullptr, list.Current());
    EXPECT_EQ(a, list.Head());
    EXPECT_EQ(c, list.Tail());
    EXPECT_EQ(2u, list.Count());
    list.First();
    EXPECT_EQ(c, list.Next());
    EXPECT_EQ(nullptr, list.Next());
    EXPECT_EQ(nullptr, list.Next());
    EXPECT_EQ(a, list.First());
    list.Append(new (std::nothrow) Item(4));
  }
  EXPECT_EQ((std::vector<int>{2, 0, 9, 1, 3, 4}), g_deleted);  // 9: the stray on the stack
}

TEST(ListDeathTest, UnlinkOfAForeignItemStops) {
  LinkedList list;
  Item stray(5);
  EXPECT_DEATH(list.Unlink(&stray), "GetItem\\(item\\) == kOnList.*LinkedList");
}

// Names without regard to case, values trimmed and unquoted, the default
// when absent, everything cut at the buffer size; integers are the
// leading number, 0 without digits, the default when absent.
TEST(ProfileTest, StringsAndIntegers) {
  SettingsFile file(
      "; comment\n[debug]\n  LOGFILE = /tmp/x.log  \nLogMode=\"A2\"\nDebug=-3\n"
      "[Config]\nUseKeepAlive=1x\nEmpty=\n");
  // clang-format off
  const struct { const char *section, *key; unsigned size; std::string expected; } rows[] = {
      {"Debug", "LogFile", 99, "/tmp/x.log"}, {"DEBUG", "logmode", 99, "A2"},  {"Config", "Empty", 99, ""},
      {"Debug", "Missing", 5, "defa"},        {"Debug", "LogFile", 5, "/tmp"}, {"Nowhere", "LogFile", 99, "default"}};
  // clang-format on
  for (auto& r : rows) {
    char buf[99];
    EXPECT_EQ(r.expected.size(), GetPrivateProfileStringA(r.section, r.key, "default", buf, r.size, "velodbc.ini"));
    EXPECT_EQ(r.expected, buf) << r.key;
  }
  // clang-format off
  struct Number { const char *section, *key; unsigned expected; };
  // clang-format on
  const Number numbers[] = {{"Debug", "Debug", static_cast<unsigned>(-3)},
                            {"Config", "UseKeepAlive", 1},
                            {"Config", "Empty", 0},
                            {"Config", "Missing", 7}};
  for (auto& n : numbers) EXPECT_EQ(n.expected, GetPrivateProfileIntA(n.section, n.key, 7, "velodbc.ini")) << n.key;
  setenv("VELODBC_INI", "/nonexistent/velodbc.ini", 1);
  EXPECT_EQ(4u, GetPrivateProfileIntA("Config", "UseKeepAlive", 4, "velodbc.ini"));
}

// Every key lands in the one structure; the file is read once until the
// test seam asks again; a negative Debug counts as on.
TEST(SettingsTest, ReadOncePerProcessIntoOneStructure) {
  ForgetSettings();
  auto shown = [](const DriverSettings& s) {
    return std::string(s.logFile) + "|" + s.logMode + "|" + std::to_string(s.debug) + "|" +
           std::to_string(s.useKeepAlive) + "|" + std::to_string(s.ctl3d);
  };
  {
    SettingsFile file("[Debug]\nLogFile=/tmp/t.log\nLogMode=A2N\nDebug=-4\n[Config]\nUseKeepAlive=2\nCtl3D=0\n");
    EXPECT_EQ("/tmp/t.log|A2N|1|2|0", shown(Settings()));
  }
  const unsigned reading = Settings().reading;
  SettingsFile empty("");
  EXPECT_EQ("/tmp/t.log|A2N|1|2|0", shown(Settings()));
  ForgetSettings();
  EXPECT_EQ("||0|0|1", shown(Settings()));  // Ctl3D is on unless switched off
  EXPECT_EQ(reading + 1, Settings().reading);
  ForgetSettings();
}

std::string Pid() { return TraceCapture::Line('A', 0, "").substr(0, 7); }

TEST(TraceTest, ModeStringSelectsLettersAndLevels) {
  // mode, letter+level pairs enabled, pairs not enabled
  const char* rows[][3] = {{"A2N", "A2 N1", "A3 N2 a0"}, {"*1A3", "Z1 A3", "Z2"}, {"a2", "A0", "A1"}};
  for (auto& row : rows) {
    TraceCapture trace(row[0]);
    for (int on = 1; on <= 2; ++on) {
      std::istringstream pairs(row[on]);
      for (std::string p; pairs >> p;) EXPECT_EQ(on == 1, TraceEnabled(p[0], p[1] - '0')) << row[0] << p;
    }
  }
}

// Closing writes "\n\nEnde: ", the time as asctime gives it with its own
// newline, and the line's newline; nothing is traced after it.
TEST(TraceTest, HeaderLineFormatAndClosingLine) {
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
  EXPECT_EQ(Pid() + " A2: SQLFetch: hstmt=0x00001234\n\n" + Pid() + " A2: Return code: SQL_SUCCESS\n\n", trace.Body());
  CloseTrace();
  EXPECT_FALSE(TraceIsOpen());
  Trace('A', 0, "after close");
  const std::string end = trace.Text().substr(out.size());
  ASSERT_EQ(0u, end.find("\n\nEnde: "));
  EXPECT_EQ(8u + 24u + 2u, end.size());
  EXPECT_EQ("\n\n", end.substr(end.size() - 2));
}

// Without a mode only level 0 is written, and no header; a message is cut
// at 1023 characters, a value at 80; a dump shows 16 bytes a row.
TEST(TraceTest, LevelZeroCutsAndDumpWithoutHeader) {
  TraceCapture trace("");
  Trace('N', 0, "recv() returned EOF.");
  Trace('N', 1, "hidden");
  Trace('A', 0, "%s", std::string(5000, 'q').c_str());
  TraceString('P', 0, "statement.PutElement()", std::string(100, 'v').c_str());
  TraceString('P', 0, "x", nullptr);
  TraceString('P', 0, "y", std::string(80, 'w').c_str());
  unsigned char bytes[20];
  for (int i = 0; i < 20; ++i) bytes[i] = static_cast<unsigned char>(i == 3 ? 1 : 0x41 + i);
  TraceDump("title", bytes, 20);
  EXPECT_EQ(Pid() + " N0: recv() returned EOF.\n" + Pid() + " A0: " + std::string(1023, 'q') + "\n" + Pid() +
                " P0:  statement.PutElement()=\"" + std::string(80, 'v') + "...\"\n" + Pid() + " P0:  x=\"<null>\"\n" +
                Pid() + " P0:  y=\"" + std::string(80, 'w') + "\"\n" + Pid() +
                " title\nbuffer contains 20 bytes of data\n"
                "000: 41 42 43 01 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50 |ABC.EFGHIJKLMNOP|\n"
                "010: 51 52 53 54" +
                std::string(36, ' ') + " |QRST" + std::string(12, ' ') + "|\n",
            trace.Text());
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
  std::ifstream file(path);
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  CloseTrace();
  unlink(path);
  EXPECT_NE(std::string::npos, text.find("Flags = [A2]\n\n" + Pid() + " A2: one line\n")) << text;
}

}  // namespace
