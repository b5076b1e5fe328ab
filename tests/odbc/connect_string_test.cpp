// Connection-string keys, output buffers and the option tables.
#include <gtest/gtest.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "odbc/ConnectString.h"
#include "odbc/OptionTable.h"

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

TEST(OptionTableTest, StatementOptionsSendTheirRequestsFromBothHandles) {
  const struct {
    uint16_t option;
    uint16_t code;
  } sent[] = {{SQL_MAX_ROWS, 32},    {SQL_NOSCAN, 33},        {SQL_MAX_LENGTH, 31},
              {SQL_CURSOR_TYPE, 30}, {SQL_CONCURRENCY, 28},   {SQL_ROWSET_SIZE, 36},
              {SQL_RETRIEVE_DATA, 35}, {SQL_USE_BOOKMARKS, 39}};
  for (const auto& row : sent) {
    EXPECT_EQ(SetStmtOptionRow(row.option)->requestCode, row.code) << row.option;
    EXPECT_EQ(SetConnectOptionRow(row.option)->requestCode, row.code) << row.option;
    EXPECT_EQ(GetStmtOptionRow(row.option)->action, OptionAction::kStore) << row.option;
    EXPECT_EQ(GetConnectOptionRow(row.option)->action, OptionAction::kNothing) << row.option;
  }
  EXPECT_EQ(SetConnectOptionRow(SQL_ACCESS_MODE)->requestCode, 26);
  EXPECT_EQ(SetConnectOptionRow(SQL_AUTOCOMMIT)->requestCode, 27);
  EXPECT_EQ(SetConnectOptionRow(SQL_TXN_ISOLATION)->requestCode, 38);
  EXPECT_EQ(SetStmtOptionRow(SQL_QUERY_TIMEOUT)->action, OptionAction::kStore);
  EXPECT_EQ(GetStmtOptionRow(SQL_ROW_NUMBER)->requestCode, 18);
}

TEST(OptionTableTest, RefusalsCarryTheirTexts) {
  EXPECT_STREQ(SetConnectOptionRow(SQL_PACKET_SIZE)->refusal->text,
               "can't change network packet size");
  EXPECT_STREQ(GetConnectOptionRow(SQL_TRANSLATE_OPTION)->refusal->text,
               "translation DLL not supported");
  EXPECT_EQ(SetStmtOptionRow(SQL_KEYSET_SIZE)->refusal->native, 1059);
  EXPECT_EQ(GetStmtOptionRow(SQL_SIMULATE_CURSOR)->refusal->native, 1060);
  EXPECT_STREQ(GetStmtOptionRow(SQL_GET_BOOKMARK)->refusal->text, "bookmarks not supported yet");
  EXPECT_STREQ(GetStmtOptionRow(SQL_BIND_TYPE)->refusal->text, "extended fetch not supported yet");
  EXPECT_EQ(SetStmtOptionRow(SQL_BIND_TYPE)->action, OptionAction::kNothing);
  EXPECT_EQ(SetStmtOptionRow(SQL_ROW_NUMBER)->action, OptionAction::kNothing);
  EXPECT_EQ(GetStmtOptionRow(99)->action, OptionAction::kNothing);
  EXPECT_EQ(SetConnectOptionRow(4321)->action, OptionAction::kNothing);
}

}  // namespace
