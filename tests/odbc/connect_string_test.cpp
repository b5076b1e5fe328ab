// Connection-string keys: found anywhere (also ending a longer key's name),
// with their case, ending at a semicolon, and copied cut to the buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "odbc/ConnectString.h"

namespace {

TEST(ConnectStringTest, KeysAreFoundAnywhereWithCaseAndEndAtSemicolon) {
  const struct {
    const char *text, *key, *value;  // value null: absent
  } rows[] = {{"DSN=a;Server=b", "DSN=", "a"},
              {"DSN=a;Server=b", "Server=", "b"},
              {"MyDSN=x;DSN=y", "DSN=", "x"},
              {"dsn=a", "DSN=", nullptr},
              {"DSN=", "DSN=", ""},
              {"User=;DSN=z", "User=", ""},
              {"", "DSN=", nullptr}};
  for (const auto& r : rows) {
    const char* value = nullptr;
    uint32_t length = 0;
    bool found = FindConnectKey(r.text, static_cast<uint32_t>(std::strlen(r.text)), r.key, &value, &length);
    EXPECT_EQ(found ? std::string(value, length) : "<absent>", r.value ? r.value : "<absent>") << r.text;
  }
  char buffer[4] = "old";
  EXPECT_FALSE(CopyConnectValue("Service=123456;", 15, "Server=", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "old");
  EXPECT_TRUE(CopyConnectValue("Service=123456;", 15, "Service=", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "123");
  // The output string fits only with room for its NUL; a size below 1 or
  // no buffer writes nothing.
  EXPECT_TRUE(CopyOutput("abc", 3, buffer, 4));
  EXPECT_FALSE(CopyOutput("abcd", 4, buffer, 4));
  EXPECT_STREQ(buffer, "abc");
  EXPECT_FALSE(CopyOutput("abcd", 4, buffer, 0) || CopyOutput("abcd", 4, buffer, -5) ||
               CopyOutput("abcd", 4, nullptr, 2));
  EXPECT_STREQ(buffer, "abc");
}

}  // namespace
