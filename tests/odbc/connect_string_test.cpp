// Connection-string keys and output buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "odbc/ConnectString.h"

namespace {

std::string Value(const std::string& text, const char* key) {
  const char* value;
  uint32_t length;
  if (!FindConnectKey(text.data(), static_cast<uint32_t>(text.size()), key, &value, &length)) {
    return "<absent>";
  }
  return std::string(value, length);
}

TEST(ConnectStringTest, KeysAreFoundAnywhereWithCaseAndEndAtSemicolon) {
  EXPECT_EQ(Value("DSN=a;Server=b", "DSN="), "a");
  EXPECT_EQ(Value("DSN=a;Server=b", "Server="), "b");
  EXPECT_EQ(Value("MyDSN=x;DSN=y", "DSN="), "x");  // the first occurrence, inside a longer key
  EXPECT_EQ(Value("dsn=a", "DSN="), "<absent>");
  EXPECT_EQ(Value("DSN=", "DSN="), "");
  EXPECT_EQ(Value("User=;DSN=z", "User="), "");
  EXPECT_EQ(Value("", "DSN="), "<absent>");
}

TEST(ConnectStringTest, CopiedValuesAreCutAtTheBufferSize) {
  char buffer[4];
  std::string text = "Service=123456;";
  ASSERT_TRUE(CopyConnectValue(text.data(), static_cast<uint32_t>(text.size()), "Service=", buffer,
                               sizeof buffer));
  EXPECT_STREQ(buffer, "123");
  std::strcpy(buffer, "old");
  EXPECT_FALSE(CopyConnectValue(text.data(), static_cast<uint32_t>(text.size()), "Server=", buffer,
                                sizeof buffer));
  EXPECT_STREQ(buffer, "old");
}

TEST(ConnectStringTest, OutputFitsOnlyWithRoomForTheNul) {
  char buffer[8];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_TRUE(CopyOutput("abc", 3, buffer, 4));
  EXPECT_STREQ(buffer, "abc");
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_FALSE(CopyOutput("abcd", 4, buffer, 4));
  EXPECT_STREQ(buffer, "abc");
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_FALSE(CopyOutput("abcd", 4, buffer, 0));
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_FALSE(CopyOutput("abcd", 4, buffer, -5));
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_FALSE(CopyOutput("abcd", 4, nullptr, 2));
  EXPECT_TRUE(CopyOutput("", 0, buffer, 1));
  EXPECT_STREQ(buffer, "");
}

}  // namespace
