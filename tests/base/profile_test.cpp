#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/Profile.h"

namespace {

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ::testing::TempDir() + "velodbc_profile_test.ini";
    FILE* f = std::fopen(path_.c_str(), "w");
    ASSERT_NE(nullptr, f);
    std::fputs("; comment\n[debug]\n  LOGFILE = /tmp/x.log  \nLogMode=\"A2\"\nDebug=-3\n"
               "[Config]\nUseKeepAlive=1x\nEmpty=\n",
               f);
    std::fclose(f);
    setenv("VELODBC_INI", path_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("VELODBC_INI");
    std::remove(path_.c_str());
  }
  std::string path_;
};

TEST_F(ProfileTest, NamesAreCaseInsensitiveAndValuesTrimmed) {
  char buf[256];
  EXPECT_EQ(10u, GetPrivateProfileStringA("Debug", "LogFile", "", buf, sizeof buf, "velodbc.ini"));
  EXPECT_STREQ("/tmp/x.log", buf);
  GetPrivateProfileStringA("DEBUG", "logmode", "", buf, sizeof buf, "velodbc.ini");
  EXPECT_STREQ("A2", buf);
  GetPrivateProfileStringA("Config", "Empty", "dflt", buf, sizeof buf, "velodbc.ini");
  EXPECT_STREQ("", buf);
}

TEST_F(ProfileTest, DefaultWhenAbsentAndCutAtBufferSize) {
  char buf[5];
  GetPrivateProfileStringA("Debug", "Missing", "default", buf, sizeof buf, "velodbc.ini");
  EXPECT_STREQ("defa", buf);
  GetPrivateProfileStringA("Debug", "LogFile", "", buf, sizeof buf, "velodbc.ini");
  EXPECT_STREQ("/tmp", buf);
  GetPrivateProfileStringA("Nowhere", "LogFile", "d", buf, sizeof buf, "velodbc.ini");
  EXPECT_STREQ("d", buf);
}

TEST_F(ProfileTest, IntegersReadLeadingNumber) {
  EXPECT_EQ(static_cast<unsigned>(-3), GetPrivateProfileIntA("Debug", "Debug", 0, "velodbc.ini"));
  EXPECT_EQ(1u, GetPrivateProfileIntA("Config", "UseKeepAlive", 0, "velodbc.ini"));
  EXPECT_EQ(7u, GetPrivateProfileIntA("Config", "Missing", 7, "velodbc.ini"));
  unsetenv("VELODBC_INI");
  setenv("VELODBC_INI", "/nonexistent/velodbc.ini", 1);
  EXPECT_EQ(4u, GetPrivateProfileIntA("Config", "UseKeepAlive", 4, "velodbc.ini"));
}

}  // namespace
