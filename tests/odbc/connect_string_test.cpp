// Connection-string keys and output buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "odbc/ConnectString.h"

namespace {

TEST(ConnectStringTest, KeysAreFoundAnywhereWithCaseAndEndAtSemicolon) {
  const struct {
    const char *text, *key, *value;  // value null: absent
  } rows[] = {{"DSN=a;Server=b", "DSN=", "a"}, {"DSN=a;Server=b", "Server=", "b"},
              {"MyDSN=x;DSN=y", "DSN=", "x"},  // the first occurrence, inside a longer key
              {"dsn=a", "DSN=", nullptr},      {"DSN=", "DSN=", ""},
              {"User=;DSN=z", "User=", ""},     {"", "DSN=", nullptr}};
  for (const auto& r : rows) {
    const char* value = nullptr;
    uint32_t length = 0;
    bool found = FindConnectKey(r.text, static_cast<uint32_t>(std::strlen(r.text)), r.key, &value,
                                &length);
    EXPECT_EQ(found ? std::string(value, length) : "<absent>", r.value ? r.value : "<absent>")
        << r.text << " " << r.key;
  }
  char buffer[4] = "old";
  EXPECT_FALSE(CopyConnectValue("Service=123456;", 15, "Server=", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "old");
  EXPECT_TRUE(CopyConnectValue("Service=123456;", 15, "Service=", buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "123");  // cut at the buffer's size
}

// The output fits only with room for its NUL; nothing is written past the
// given size, nor anything at all for a size below 1 or a null buffer.
TEST(ConnectStringTest, OutputFitsOnlyWithRoomForTheNul) {
  const struct {
    const char* text;
    long size;
    bool fits;
    const char* written;  // the buffer afterwards
  } rows[] = {{"abc", 4, true, "abc"}, {"abcd", 4, false, "abc"}, {"abcd", 0, false, "xxxxxxx"},
              {"abcd", -5, false, "xxxxxxx"}, {"", 1, true, ""}};
  for (const auto& r : rows) {
    char buffer[8] = "xxxxxxx";
    EXPECT_EQ(CopyOutput(r.text, static_cast<uint32_t>(std::strlen(r.text)), buffer, r.size), r.fits);
    EXPECT_STREQ(buffer, r.written) << r.text << " " << r.size;
    const long kept = r.size > 0 ? r.size : 0;
    EXPECT_EQ(std::string(buffer + kept), std::string(7 - kept, 'x'));
  }
  EXPECT_FALSE(CopyOutput("abcd", 4, nullptr, 2));
}

}  // namespace
