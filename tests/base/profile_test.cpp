// The profile reader and the settings read from it once per process.
#include <gtest/gtest.h>

#include <string>

#include "base/Profile.h"
#include "base/Settings.h"
#include "support/capture.h"

namespace {

const char kIni[] = "velodbc.ini";

TEST(ProfileTest, StringsAndIntegers) {
  SettingsFile file(
      "; comment\n[debug]\n  LOGFILE = /tmp/x.log  \nLogMode=\"A2\"\nDebug=-3\n"
      "[Config]\nUseKeepAlive=1x\nEmpty=\n");
  // Names without regard to case, values trimmed and unquoted, the default
  // when absent, everything cut at the buffer size.
  struct Row {
    const char* section;
    const char* key;
    unsigned size;
    const char* expected;
  } rows[] = {
      {"Debug", "LogFile", 256, "/tmp/x.log"}, {"DEBUG", "logmode", 256, "A2"},
      {"Config", "Empty", 256, ""},            {"Debug", "Missing", 5, "defa"},
      {"Debug", "LogFile", 5, "/tmp"},         {"Nowhere", "LogFile", 256, "default"},
  };
  for (const Row& r : rows) {
    char buf[256];
    unsigned n = GetPrivateProfileStringA(r.section, r.key, "default", buf, r.size, kIni);
    EXPECT_STREQ(r.expected, buf) << r.key;
    EXPECT_EQ(std::string(r.expected).size(), n) << r.key;
  }
  EXPECT_EQ(static_cast<unsigned>(-3), GetPrivateProfileIntA("Debug", "Debug", 0, kIni));
  EXPECT_EQ(1u, GetPrivateProfileIntA("Config", "UseKeepAlive", 0, kIni));
  EXPECT_EQ(0u, GetPrivateProfileIntA("Config", "Empty", 9, kIni));
  EXPECT_EQ(7u, GetPrivateProfileIntA("Config", "Missing", 7, kIni));
  setenv("VELODBC_INI", "/nonexistent/velodbc.ini", 1);
  EXPECT_EQ(4u, GetPrivateProfileIntA("Config", "UseKeepAlive", 4, kIni));
}

// Every key lands in the one structure; the file is read once until the
// test seam asks again; a negative Debug counts as on.
TEST(SettingsTest, ReadOncePerProcessIntoOneStructure) {
  ForgetSettings();
  {
    SettingsFile file("[Debug]\nLogFile=/tmp/t.log\nLogMode=A2N\nDebug=-4\n"
                      "[Config]\nUseKeepAlive=2\nCtl3D=0\n");
    const DriverSettings& s = Settings();
    EXPECT_STREQ("/tmp/t.log", s.logFile);
    EXPECT_STREQ("A2N", s.logMode);
    EXPECT_EQ(1, s.debug);
    EXPECT_EQ(2, s.useKeepAlive);
    EXPECT_EQ(0, s.ctl3d);
  }
  const unsigned reading = Settings().reading;
  SettingsFile empty("");
  EXPECT_EQ(reading, Settings().reading);
  EXPECT_STREQ("A2N", Settings().logMode);
  ForgetSettings();
  const DriverSettings& s = Settings();
  EXPECT_EQ(reading + 1, s.reading);
  EXPECT_STREQ("", s.logFile);
  EXPECT_STREQ("", s.logMode);
  EXPECT_EQ(0, s.debug);
  EXPECT_EQ(0, s.useKeepAlive);
  EXPECT_EQ(1, s.ctl3d);  // on unless switched off
  ForgetSettings();
}

}  // namespace
