// The wide-character entry points as an application meets them (linked
// statically) against a real server: texts in UTF-16 (surrogate pairs
// included) reach the server as UTF-8 and come back whole; sizes count
// characters (bytes for SQLColAttributesW); a cut keeps whole characters;
// a lone surrogate is "22018".
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/velora_server.h"

namespace {

using W = std::u16string;
SQLWCHAR* P(const W& text) { return (SQLWCHAR*)text.c_str(); }
W Got(const SQLWCHAR* text) { return W((const char16_t*)text); }
const SQLWCHAR kLone[] = {'S', 'E', 'L', 'E', 'C', 'T', ' ', 0xD800, 0};  // a lone high surrogate

class WideTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ASSERT_TRUE(server.Start()) << server.Error(); }
  void SetUp() override {
    setenv("VELODBC_DIALOG", "none", 1);
    setenv("ODBCSYSINI", "/nonexistent", 1);
    setenv("ODBCINI", "/nonexistent/odbc.ini", 1);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &henv));
    ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(henv, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, henv, &hdbc));
    const std::string port = server.PortText();
    in = u"DSN=Wide;Server=127.0.0.1;Service=" + W(port.begin(), port.end()) + u";User=\U0001F600";
  }
  void TearDown() override {
    SQLDisconnect(hdbc);
    SQLFreeConnect(hdbc);
    SQLFreeEnv(henv);
  }
  SQLHSTMT Open() {
    EXPECT_TRUE(SQL_SUCCEEDED(SQLDriverConnectW(hdbc, nullptr, P(in), SQL_NTS, nullptr, 0, nullptr, 0)));
    SQLHSTMT s = nullptr;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocStmt(hdbc, &s));
    return s;
  }
  // The result and the first record as an ODBC 3 application reads it:
  // "rc STATE message".
  static std::string Diag(SQLRETURN rc, SQLHDBC c, SQLHSTMT s) {
    SQLCHAR state[6] = {0}, message[256] = {0};
    std::string text = std::to_string(rc);
    if (SQLGetDiagRec(s ? SQL_HANDLE_STMT : SQL_HANDLE_DBC, s ? s : c, 1, state, nullptr, message, 256, nullptr) ==
        SQL_SUCCESS) {
      text += " " + std::string((char*)state) + " " + (char*)message;
    }
    return text;
  }
  // Column n of the current result's first row as UTF-8; closes the cursor.
  static std::string First(SQLHSTMT s, int n) {
    char value[256] = {0};
    SQLLEN length = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLFetch(s));
    SQLGetData(s, SQLUSMALLINT(n), SQL_C_CHAR, value, sizeof value, &length);
    SQLFreeStmt(s, SQL_CLOSE);
    return value;
  }

  static VeloraServer server;
  SQLHENV henv = nullptr;
  SQLHDBC hdbc = nullptr;
  W in;
};
VeloraServer WideTest::server;

// The connection string back by characters, whole and cut one unit into
// the emoji's pair (only what comes before the pair is written).
TEST_F(WideTest, DriverConnectOutputCountsCharactersAndCutsWhole) {
  SQLWCHAR out[300];
  SQLSMALLINT length = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLDriverConnectW(hdbc, nullptr, P(in), SQL_NTS, out, 300, &length, 0));
  const W whole = Got(out);
  const size_t pair = whole.find(u"User=\U0001F600") + 5;
  EXPECT_EQ(whole.size(), size_t(length));
  SQLDisconnect(hdbc);
  const SQLRETURN rc = SQLDriverConnectW(hdbc, nullptr, P(in), SQL_NTS, out, SQLSMALLINT(pair + 2), &length, 0);
  EXPECT_EQ("1 01004 [QTX][Velora ODBC Client]data truncated", Diag(rc, hdbc, nullptr));
  EXPECT_EQ(whole.substr(0, pair), Got(out));
  EXPECT_EQ(whole.size(), size_t(length));
}

// An accent, CJK and an emoji reach the server as UTF-8, in literals and
// names (also through the catalog calls); an explicit length counts
// characters.
TEST_F(WideTest, SqlTextsAndNamesRoundTripAsUtf8) {
  SQLHSTMT s = Open();
  const W table = u"t\u00e9\U0001F600", text = u"\u00e9\u4e2d\U0001F600";
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirectW(s, P(u"CREATE TABLE \"" + table + u"\" (\"n\u4e2d\" VARCHAR(40))"), SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirectW(s, P(u"INSERT INTO \"" + table + u"\" VALUES ('" + text + u"')"), SQL_NTS));
  const W select = u"SELECT * FROM \"" + table + u"\"; trailing words";
  ASSERT_EQ(SQL_SUCCESS, SQLPrepareW(s, P(select), SQLINTEGER(select.find(u';'))));
  ASSERT_EQ(SQL_SUCCESS, SQLExecute(s));
  EXPECT_EQ(u8"\u00e9\u4e2d\U0001F600", First(s, 1));
  ASSERT_EQ(SQL_SUCCESS, SQLColumnsW(s, nullptr, 0, nullptr, 0, P(table), SQL_NTS, nullptr, 0));
  EXPECT_EQ(u8"n\u4e2d", First(s, 4));
  ASSERT_EQ(SQL_SUCCESS, SQLTablesW(s, nullptr, 0, nullptr, 0, P(table), SQLSMALLINT(table.size()), nullptr, 0));
  EXPECT_EQ(u8"t\u00e9\U0001F600", First(s, 3));
}

// The name "a", an emoji, "b" (four units) into buffers of 0 to 5
// characters (SQLDescribeColW) and of 4 to 11 bytes (SQLColAttributesW and
// SQLColAttributeW: an odd size holds whole units): the pair is never split; a name longer than
// the driver's first buffer comes back whole.
TEST_F(WideTest, NamesCutByCharactersNeverSplitAPair) {
  SQLHSTMT s = Open();
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirectW(s, P(u"SELECT 1 AS \"a\U0001F600b\""), SQL_NTS));
  const struct {
    int form;  // 0 SQLDescribeColW, 1 SQLColAttributesW, 2 SQLColAttributeW
    int size;
    SQLRETURN rc;
    W text;
    // clang-format off
  } cases[] = {{0, 0, 1, u"-"}, {0, 2, 1, u"a"}, {0, 3, 1, u"a"}, {0, 4, 1, u"a\U0001F600"},
               {0, 5, 0, u"a\U0001F600b"}, {1, 4, 1, u"a"}, {1, 7, 1, u"a"}, {1, 8, 1, u"a\U0001F600"},
               {1, 10, 0, u"a\U0001F600b"}, {1, 11, 0, u"a\U0001F600b"}, {2, 8, 1, u"a\U0001F600"},
               {2, 10, 0, u"a\U0001F600b"}};
  // clang-format on
  for (const auto& c : cases) {
    SQLWCHAR name[8] = {'-', 0};
    SQLSMALLINT length = 0, size = SQLSMALLINT(c.size);
    EXPECT_EQ(c.rc, c.form == 2 ? SQLColAttributeW(s, 1, SQL_DESC_NAME, name, size, &length, nullptr)
                    : c.form    ? SQLColAttributesW(s, 1, SQL_COLUMN_NAME, name, size, &length, nullptr)
                                : SQLDescribeColW(s, 1, name, size, &length, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(c.text + (c.form ? u"/8" : u"/4"), Got(name) + u"/" + char16_t('0' + length)) << c.size;
  }
  SQLLEN type = 0, count = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLColAttributesW(s, 1, SQL_COLUMN_TYPE, nullptr, 0, nullptr, &type));
  EXPECT_EQ(SQL_SUCCESS, SQLColAttributeW(s, 1, SQL_DESC_COUNT, nullptr, 0, nullptr, &count));
  EXPECT_EQ(SQL_INTEGER * 10 + 1, type * 10 + count);
  const W longName(300, u'\u00e9');
  SQLFreeStmt(s, SQL_CLOSE);
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirectW(s, P(u"SELECT 1 AS \"" + longName + u"\""), SQL_NTS));
  SQLWCHAR name[301];
  EXPECT_EQ(SQL_SUCCESS, SQLDescribeColW(s, 1, name, 301, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(longName, Got(name));
}

// A lone surrogate anywhere a text goes in is "22018" (nothing is sent);
// cut before it, the same text is the server's to judge.
TEST_F(WideTest, LoneSurrogateIsInvalidCharacterValue) {
  SQLHSTMT s = Open();
  SQLWCHAR* lone = (SQLWCHAR*)kLone;
  SQLHDBC other = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv, &other));
  const std::string got[] = {Diag(SQLExecDirectW(s, lone, SQL_NTS), nullptr, s),
                             Diag(SQLPrepareW(s, lone, 8), nullptr, s),
                             Diag(SQLTablesW(s, nullptr, 0, nullptr, 0, lone, SQL_NTS, nullptr, 0), nullptr, s),
                             Diag(SQLSetCursorNameW(s, lone + 7, 1), nullptr, s),
                             Diag(SQLNativeSqlW(hdbc, lone, SQL_NTS, nullptr, 0, nullptr), hdbc, nullptr),
                             Diag(SQLConnectW(other, lone, SQL_NTS, nullptr, 0, nullptr, 0), other, nullptr)};
  for (const std::string& g : got)
    EXPECT_EQ("-1 22018 [QTX][Velora ODBC Client]invalid character value: the text is not UTF-16", g);
  EXPECT_EQ("-1 HY090 [QTX][Velora ODBC Client]invalid string or buffer length",
            Diag(SQLConnectW(other, lone, -5, nullptr, 0, nullptr, 0), other, nullptr));
  EXPECT_EQ("-1 42000", Diag(SQLExecDirectW(s, lone, 7), nullptr, s).substr(0, 8));
  SQLFreeConnect(other);
}

// A cursor name by characters; SQLErrorW's message cut by characters with
// its whole length, then no record left.
TEST_F(WideTest, CursorNameAndErrorMessageByCharacters) {
  SQLHSTMT s = Open();
  ASSERT_EQ(SQL_SUCCESS, SQLSetCursorNameW(s, P(u"cur_1"), SQL_NTS));
  SQLWCHAR name[8], state[6];
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetCursorNameW(s, name, 6, &length));
  EXPECT_EQ(u"cur_1", Got(name));
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetCursorNameW(s, name, 5, &length));
  EXPECT_EQ(u"cur_/5", Got(name) + u"/" + char16_t('0' + length));
  SQLExecDirectW(s, (SQLWCHAR*)kLone, SQL_NTS);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLErrorW(nullptr, nullptr, s, state, nullptr, name, 8, &length));
  EXPECT_EQ(u"22018 [QTX][V", Got(state) + u" " + Got(name));  // the declared 3.x form
  EXPECT_EQ(72, length);
  EXPECT_EQ(SQL_NO_DATA_FOUND, SQLErrorW(nullptr, nullptr, s, state, nullptr, name, 0, &length));
  EXPECT_EQ(u"00000", Got(state));
}

}  // namespace
