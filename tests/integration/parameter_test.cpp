// Parameters through the unixODBC driver manager against a real server:
// a value of every SQL type inserted through a parameter reads back equal,
// and long values go in pieces through data at execution.
#include "integration.h"

namespace {

class Parameters : public Open {
 protected:
  // The first value that query returns, as text.
  std::string ReadBack(const std::string& query) {
    SQLHSTMT s = c.Statement();
    std::string text = Rows(s, SQLExecDirect(s, (SQLCHAR*)query.c_str(), SQL_NTS), {1});
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    return text;
  }
};

DATE_STRUCT kDate = {2024, 2, 29};
TIME_STRUCT kTime = {13, 45, 30};
TIMESTAMP_STRUCT kStamp = {2024, 2, 29, 13, 45, 30, 250000000};
SQLINTEGER kInt = -123456;
SQLSMALLINT kShort = 1234;
SQLSCHAR kTiny = -12;
SQLCHAR kBit = 1;
SQLBIGINT kBig = -9000000000000000001LL;
SQLREAL kReal = 2.5f;
SQLDOUBLE kDouble = -1234.625;
unsigned char kBytes[] = {0x41, 0x00, 0x43, 0xff};

// length: SQL_NTS for texts
// expected: binary values come back as hexadecimal digits
// clang-format off
struct TypeCase { const char* declared; SQLSMALLINT cType; SQLSMALLINT sqlType; const void* value; SQLLEN length;
    std::string expected; };
// clang-format on
const TypeCase kTypes[] = {
    {"CHAR(8)", SQL_C_CHAR, SQL_CHAR, "abc", SQL_NTS, "abc     "},
    {"VARCHAR(20)", SQL_C_CHAR, SQL_VARCHAR, "h\xc3\xa9llo", SQL_NTS, "h\xc3\xa9llo"},
    {"LONGVARCHAR", SQL_C_CHAR, SQL_LONGVARCHAR, "a longer text", SQL_NTS, "a longer text"},
    {"BINARY(4)", SQL_C_BINARY, SQL_BINARY, kBytes, 4, "410043FF"},
    {"VARBINARY(8)", SQL_C_BINARY, SQL_VARBINARY, kBytes, 3, "410043"},
    {"LONGVARBINARY", SQL_C_BINARY, SQL_LONGVARBINARY, kBytes, 2, "4100"},
    {"BIT", SQL_C_BIT, SQL_BIT, &kBit, 0, "1"},
    {"TINYINT", SQL_C_STINYINT, SQL_TINYINT, &kTiny, 0, "-12"},
    {"SMALLINT", SQL_C_SSHORT, SQL_SMALLINT, &kShort, 0, "1234"},
    {"INTEGER", SQL_C_SLONG, SQL_INTEGER, &kInt, 0, "-123456"},
    {"BIGINT", SQL_C_SBIGINT, SQL_BIGINT, &kBig, 0, "-9000000000000000001"},
    {"BIGINT", SQL_C_CHAR, SQL_BIGINT, "9000000000000000001", SQL_NTS, "9000000000000000001"},
    {"REAL", SQL_C_FLOAT, SQL_REAL, &kReal, 0, "2.5"},
    {"FLOAT", SQL_C_DOUBLE, SQL_FLOAT, &kDouble, 0, "-1234.625"},
    {"NUMERIC(10,2)", SQL_C_CHAR, SQL_NUMERIC, "-12345.67", SQL_NTS, "-12345.67"},
    {"DATE", SQL_C_DATE, SQL_DATE, &kDate, 0, "2024-02-29"},
    {"TIME", SQL_C_TIME, SQL_TIME, &kTime, 0, "13:45:30"},
    {"TIMESTAMP", SQL_C_TIMESTAMP, SQL_TIMESTAMP, &kStamp, 0, "2024-02-29 13:45:30.250"},
    {"VARCHAR(20)", SQL_C_WCHAR, SQL_WVARCHAR, u"w\u00e9\u20ac", SQL_NTS, "w\xc3\xa9\xe2\x82\xac"},
    {"INTEGER", SQL_C_SLONG, SQL_INTEGER, nullptr, SQL_NULL_DATA, "-"},
};

TEST_F(Parameters, EveryTypeReadsBackEqual) {
  int n = 0;
  for (const auto& t : kTypes) {
    const std::string table = "p_type" + std::to_string(++n);
    ASSERT_EQ(c.Execute("CREATE TABLE " + table + " (v " + t.declared + ")"), SQL_SUCCESS);
    SQLHSTMT s = c.Statement();
    ASSERT_EQ(SQLPrepare(s, (SQLCHAR*)("INSERT INTO " + table + " VALUES (?)").c_str(), SQL_NTS), SQL_SUCCESS);
    SQLLEN length = t.length;
    ASSERT_EQ(
        SQLBindParameter(s, 1, SQL_PARAM_INPUT, t.cType, t.sqlType, 20, 2, const_cast<void*>(t.value), 0, &length),
        SQL_SUCCESS);
    EXPECT_EQ(SQLExecute(s), SQL_SUCCESS) << t.declared << " " << Diag(SQL_HANDLE_STMT, s);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    EXPECT_EQ(ReadBack("SELECT v FROM " + table), t.expected) << t.declared << " from C type " << t.cType;
  }
}

// A megabyte of text and of bytes, each given in pieces of 64 KiB.
TEST_F(Parameters, LongValuesInPieces) {
  ASSERT_EQ(c.Execute("CREATE TABLE p_long (v LONGVARCHAR, b LONGVARBINARY)"), SQL_SUCCESS);
  std::string text(1 << 20, 'x'), bytes(1 << 20, '\0');
  for (size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char>('a' + i % 26), bytes[i] = static_cast<char>(i * 7);
  SQLHSTMT s = c.Statement();
  SQLLEN atExec = SQL_LEN_DATA_AT_EXEC(0);
  ASSERT_EQ(SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_LONGVARCHAR, 0, 0, (SQLPOINTER)1, 0, &atExec),
            SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0, (SQLPOINTER)2, 0, &atExec),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(s, (SQLCHAR*)"INSERT INTO p_long VALUES (?, ?)", SQL_NTS), SQL_NEED_DATA);
  SQLPOINTER which = nullptr;
  for (const std::string* value : {&text, &bytes}) {
    ASSERT_EQ(SQLParamData(s, &which), SQL_NEED_DATA) << Diag(SQL_HANDLE_STMT, s);
    EXPECT_EQ(which, (SQLPOINTER)(uintptr_t)(value == &text ? 1 : 2));
    for (size_t at = 0; at < value->size(); at += 65536)
      ASSERT_EQ(SQLPutData(s, (SQLPOINTER)(value->data() + at), 65536), SQL_SUCCESS);
  }
  ASSERT_EQ(SQLParamData(s, &which), SQL_SUCCESS) << Diag(SQL_HANDLE_STMT, s);
  SQLFreeHandle(SQL_HANDLE_STMT, s);
  EXPECT_TRUE(ReadBack("SELECT v FROM p_long") == text);
  std::string hex;  // bytes read back as characters: two hexadecimal digits each
  for (char b : bytes) hex += "0123456789ABCDEF"[(b >> 4) & 0xF], hex += "0123456789ABCDEF"[b & 0xF];
  EXPECT_TRUE(ReadBack("SELECT b FROM p_long") == hex);
}

}  // namespace
