// Parameters against the scripted server: the exact parameter data set of
// each C type and SQL type pair, refusals that send nothing, the order of
// the values, and the data-at-execution sequences.
#include <algorithm>
#include <cstring>

#include "handles/Environment.h"
#include "odbc/session.h"

namespace {

// One parameterDataElement.
std::string P(uint16_t n, int16_t type, const std::string& data, bool null = false) {
  return U16(n) + U16(static_cast<uint16_t>(type)) + (null ? "\x01" : std::string(1, '\0')) +
         U32(static_cast<uint32_t>(data.size())) + data;
}
std::string Direct(const std::string& sql, const std::string& set) { return Frame(10, U32(7) + Text16(sql) + set); }
const std::string kNoColumns = ReplyFrame(U16(0) + U16(0));
const std::string kDate = U16(2024) + U16(2) + U16(29), kTime = U16(13) + U16(45) + U16(30);

using ParameterWireTest = SessionTest;

// in: the application's buffer
// ind: its length indicator
// out: type, null flag, length and value sent; or the record
// clang-format off
struct Row { SQLSMALLINT c, sql; std::string in; SQLLEN ind; std::string out; };
// clang-format on
const Row kForms[] = {
    {SQL_C_CHAR, SQL_VARCHAR, "ab", SQL_NTS, P(1, 12, Z("ab"))},
    {SQL_C_CHAR, SQL_BINARY, "AB", 2, P(1, -2, "AB")},
    {SQL_C_CHAR, SQL_INTEGER, "-5", SQL_NTS, P(1, 4, Raw(-5))},
    {SQL_C_CHAR, SQL_BIGINT, "-9000000000000000001", SQL_NTS, P(1, -5, FromHex("e6 7c 50 6c 84 e2 01 00 01 00"))},
    {SQL_C_CHAR, SQL_NUMERIC, "12.5", SQL_NTS, P(1, 2, FromHex("00 f2 00 00 00 00 00 00 00 00 50 12"))},
    {SQL_C_CHAR, SQL_REAL, "-1.5", SQL_NTS, P(1, 7, Raw(-1.5f))},
    {SQL_C_CHAR, SQL_BIT, "1", SQL_NTS, P(1, -7, "\x01")},
    {SQL_C_CHAR, SQL_DATE, "2024-02-29", SQL_NTS, P(1, 9, kDate)},
    {SQL_C_CHAR, SQL_TIME, "13:45:30", SQL_NTS, P(1, 10, kTime)},
    {SQL_C_CHAR, SQL_TIMESTAMP, "2024-02-29 13:45:30.5", SQL_NTS, P(1, 11, kDate + kTime + U32(500000000))},
    {SQL_C_WCHAR, SQL_WVARCHAR, std::string("\xe9\0\xac\x20\x3d\xd8\x00\xde\0\0", 10), SQL_NTS,
     P(1, 12, Z("\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"))},
    {SQL_C_BINARY, SQL_INTEGER, Raw(-2), 4, P(1, 4, Raw(-2))},
    {SQL_C_BINARY, SQL_CHAR, std::string("A\0B", 3), 3, P(1, 1, std::string("A\0B\0", 4))},
    {SQL_C_DEFAULT, SQL_INTEGER, Raw(7), 0, P(1, 4, Raw(7))},
    {SQL_C_DEFAULT, SQL_BIGINT, "42", SQL_NTS, P(1, -5, U16(0) + U16(0) + U16(0) + U16(42) + U16(0))},
    {SQL_C_SLONG, SQL_BIGINT, Raw(-5), 0, P(1, -5, U16(0x8000) + U16(0) + U16(0) + U16(5) + U16(1))},
    {SQL_C_SBIGINT, SQL_BIGINT, U32(0) + U32(0xffffff00), 0, P(1, -5, U16(0) + U16(0x100) + U16(0) + U16(0) + U16(1))},
    {SQL_C_SLONG, SQL_NUMERIC, Raw(-7), 0, P(1, 2, FromHex("01 f1 00 00 00 00 00 00 00 00 00 70"))},
    {SQL_C_UTINYINT, SQL_VARCHAR, "\xc8", 0, P(1, 12, Z("200"))},
    {SQL_C_STINYINT, SQL_DOUBLE, "\xfe", 0, P(1, 8, Raw(-2.0))},
    {SQL_C_DOUBLE, SQL_INTEGER, Raw(3.0), 0, P(1, 4, Raw(3))},
    {SQL_C_DOUBLE, SQL_BIGINT, Raw(-3e9), 0, P(1, -5, U16(0x8000) + U16(0) + U16(0xb2d0) + U16(0x5e00) + U16(1))},
    {SQL_C_FLOAT, SQL_CHAR, Raw(12.5f), 0, P(1, 1, Z("12.5000000"))},
    {SQL_C_DOUBLE, SQL_VARCHAR, Raw(0.5), 0, P(1, 12, Z(".50000000000000000"))},
    {SQL_C_DATE, SQL_TIMESTAMP, kDate, 0, P(1, 11, kDate + U16(0) + U16(0) + U16(0) + U32(0))},
    {SQL_C_TIME, SQL_CHAR, kTime, 0, P(1, 1, Z("13:45:30"))},
    {SQL_C_TIMESTAMP, SQL_VARCHAR, kDate + kTime + U32(250000000), 0, P(1, 12, Z("2024-02-29 13:45:30.250"))},
    {SQL_C_TIMESTAMP, SQL_DATE, kDate + U16(0) + U16(0) + U16(0) + U32(0), 0, P(1, 9, kDate)},
    {SQL_C_TIMESTAMP, SQL_TIME, kDate + kTime + U32(0), 0, P(1, 10, kTime)},
    {SQL_C_SLONG, SQL_INTEGER, Raw(1), SQL_NULL_DATA, P(1, 4, "", true)},
    // The structures as their texts: precision and scale are the structure's.
    {SQL_C_NUMERIC, SQL_VARCHAR, std::string("\x0a\x02\x00\x87\xd6\x12", 6) + std::string(13, '\0'), 0,
     P(1, 12, Z("-12345.67"))},
    {SQL_C_NUMERIC, SQL_NUMERIC, std::string("\x05\x01\x01\x7d", 4) + std::string(15, '\0'), 0,
     P(1, 2, FromHex("00 f2 00 00 00 00 00 00 00 00 50 12"))},
    {SQL_C_GUID, SQL_GUID, U32(0x6F9619FF) + U16(0x8B86) + U16(0xD011) + FromHex("b4 2d 00 c0 4f c9 64 ff"), 0,
     P(1, 12, Z("6f9619ff-8b86-d011-b42d-00c04fc964ff"))},
};

TEST_F(ParameterWireTest, EachPairSendsItsValueForm) {
  ScriptStatement();
  for (const Row& r : kForms) server.Expect(Direct("?", U16(1) + r.out)).Send(kNoColumns);
  SQLHSTMT s = Open();
  for (const Row& r : kForms) {
    SQLLEN ind = r.ind;
    ASSERT_EQ(SQLBindParameter(s, 1, SQL_PARAM_INPUT, r.c, r.sql, 0, 0, (SQLPOINTER)r.in.data(), 0, &ind), SQL_SUCCESS);
    ASSERT_EQ(SQLExecDirect(s, M("?"), SQL_NTS), SQL_SUCCESS) << r.c << " " << r.sql << " " << Diag(nullptr, s);
  }
}

const Row kRefusals[] = {
    {SQL_C_SLONG, SQL_DATE, Raw(1), 0, "07006 1027 C:requested conversion not supported"},
    {SQL_C_SLONG, SQL_GUID, Raw(1), 0, "07006 1027 C:requested conversion not supported"},
    {SQL_C_GUID, SQL_INTEGER, Raw(1), 0, "07006 1027 C:requested conversion not supported"},
    {SQL_C_SLONG, SQL_SMALLINT, Raw(70000), 0, "22003 1027 C:whole digits lost"},
    {SQL_C_USHORT, SQL_SMALLINT, U16(40000), 0, "22003 1027 C:data out of range"},
    {SQL_C_ULONG, SQL_NUMERIC, U32(3000000000u), 0, "22003 1027 C:machine too stupid to convert this to character"},
    {SQL_C_SLONG, SQL_BIT, Raw(2), 0, "22003 1027 C:value out of range"},
    {SQL_C_CHAR, SQL_NUMERIC, "1x", SQL_NTS, "22005 1027 C:character data is non-numeric"},
    {SQL_C_CHAR, SQL_NUMERIC, "123456789012345678", SQL_NTS, "01004 1041 C:data truncated"},
    {SQL_C_DEFAULT, SQL_BIGINT, "4x", SQL_NTS, "22005 1027 C:could not convert character to numeric"},
    {SQL_C_CHAR, SQL_REAL, "1" + std::string(39, '0'), SQL_NTS, "22003 1027 C:data out of range"},
    {SQL_C_CHAR, SQL_BIT, "2", SQL_NTS, "22003 1027 C:out of range for BIT column"},
    {SQL_C_CHAR, SQL_BIT, "1.5", SQL_NTS, "01004 1027 C:fractional value for BIT column"},
    {SQL_C_CHAR, SQL_DATE, "1996-05-01x", SQL_NTS, "01004 1027 C:could not convert character to date"},
    {SQL_C_CHAR, SQL_TIME, "13:45:30xx", SQL_NTS, "01004 1027 C:could not convert character to time"},
    {SQL_C_BINARY, SQL_INTEGER, "abc", 3, "22003 1063 C:binary length doesn't match size of object on data source"},
    {SQL_C_DOUBLE, SQL_INTEGER, Raw(3.5), 0, "01004 1027 C:fractional digits lost"},
    {SQL_C_DOUBLE, SQL_BIT, Raw(0.5), 0, "01004 1027 C:value out of range"},
    {SQL_C_TIMESTAMP, SQL_DATE, kDate + kTime + U32(0), 0, "01004 1027 C:time information lost"},
    {SQL_C_TIMESTAMP, SQL_TIME, kDate + kTime + U32(1), 0, "01004 1027 C:fraction information lost"},
    {SQL_C_CHAR, SQL_CHAR, "a", SQL_DEFAULT_PARAM, "S1C00 1071 C:SQL procedures are not supported"},
    {SQL_C_CHAR, SQL_CHAR, "a", -7, "S1009 1072 C:function called with invalid argument value"},
};

// Nothing is sent for a refused value; the bindings stay for the next try.
TEST_F(ParameterWireTest, RefusalsPostOneRecordAndSendNothing) {
  ScriptStatement();
  SQLHSTMT s = Open();
  for (const Row& r : kRefusals) {
    SQLLEN ind = r.ind;
    ASSERT_EQ(SQLBindParameter(s, 1, SQL_PARAM_INPUT, r.c, r.sql, 0, 0, (SQLPOINTER)r.in.data(), 0, &ind), SQL_SUCCESS);
    EXPECT_EQ(SQLExecDirect(s, M("?"), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(Diag(nullptr, s), r.out) << r.c << " " << r.sql;
  }
  // A value that makes the request longer than any frame may be.
  std::string huge((257 << 20) - 8, 'h');
  SQLLEN atExec = SQL_DATA_AT_EXEC;
  ASSERT_EQ(SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_LONGVARBINARY, 0, 0, nullptr, 0, &atExec),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(s, M("?"), SQL_NTS) + SQLParamData(s, nullptr), 2 * SQL_NEED_DATA);
  EXPECT_EQ(SQLPutData(s, &huge[0], 8) + SQLPutData(s, &huge[0], static_cast<SQLLEN>(huge.size())), 0);
  EXPECT_EQ(SQLParamData(s, nullptr), SQL_ERROR);
  EXPECT_EQ(Diag(nullptr, s), "S1090 1072 C:request too long: a request carries at most 268435456 bytes");
  EXPECT_EQ(SQLParamOptions(s, 0, nullptr), SQL_ERROR);
  EXPECT_EQ(Diag(nullptr, s), "S1107 1072 C:row value out of range");
}

// Values travel in parameter order whatever the binding order; SQL_IGNORE
// leaves one out; a null buffer is NULL. Markers are counted in the text.
TEST_F(ParameterWireTest, OrderIgnoreNullAndDescription) {
  ScriptStatement()
      .Expect(Direct("? '?' \"?\" /* ? */ ?-- ?\n? $q$?$q$ E'\\'?'", U16(2) + P(1, 4, "", true) + P(3, 12, Z("c"))))
      .Send(kNoColumns);
  SQLHSTMT s = Open();
  SQLLEN nts = SQL_NTS, ignore = SQL_IGNORE;
  SQLSMALLINT n = 0, type = 0, scale = 0, nullable = 0;
  SQLULEN size = 0;
  ASSERT_EQ(SQLBindParameter(s, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 9, 0, M("c"), 0, &nts), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_CHAR, 1, 0, M("a"), 0, &nts), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_CHAR, 1, 0, M("b"), 0, &ignore), SQL_SUCCESS);
  // A null buffer is NULL before any length is measured (without a length
  // either it is refused).
  ASSERT_EQ(SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_INTEGER, 10, 3, nullptr, 0, nullptr), SQL_ERROR);
  ASSERT_EQ(SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_INTEGER, 10, 3, nullptr, 0, &nts), SQL_SUCCESS);
  EXPECT_EQ(SQLExecDirect(s, M("? '?' \"?\" /* ? */ ?-- ?\n? $q$?$q$ E'\\'?'"), SQL_NTS), SQL_SUCCESS)
      << Diag(nullptr, s);
  EXPECT_EQ(SQLNumParams(s, &n), SQL_SUCCESS);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(SQLDescribeParam(s, 1, &type, &size, &scale, &nullable), SQL_SUCCESS);
  EXPECT_EQ(
      std::to_string(type) + " " + std::to_string(size) + " " + std::to_string(scale) + " " + std::to_string(nullable),
      "4 10 3 2");
  EXPECT_EQ(SQLDescribeParam(s, 4, &type, &size, &scale, &nullable), SQL_ERROR);
  EXPECT_EQ(Diag(nullptr, s), "S1093 1070 C:invalid parameter number for SQLDescribeParam");
}

// SQLDescribeParam: with the server's offer, its description (one request
// per text; it outranks the binding); without, the binding, and for a
// parameter not bound LONGVARCHAR of the size of an unsized marker.
// talk: the describe request's reply; "" for none
// clang-format off
struct DescribeCase { bool offer; std::string talk; const char* got; };
// clang-format on
const DescribeCase kDescribe[] = {
    {false, "", "-1 8000 0 2 / 4 10 3 2 / S1093"},
    {true, ReplyFrame(U16(0) + U16(2) + Column("a", 4, 0, 4, 10) + Column("", 0, 2, -1, 0)),
     "4 10 0 0 / -1 0 0 2 / S1093"},
    {true, ReplyFrame(U16(0) + U16(1) + Column("d", 6, 1, 9, 10)), "9 10 0 1 / S1093 / S1093"},
};

class DescribeParamWireTest : public SessionTest, public ::testing::WithParamInterface<DescribeCase> {};

TEST_P(DescribeParamWireTest, AsTheServerSays) {
  const DescribeCase& row = GetParam();
  const std::string offer = row.offer ? std::string(5 * 2 + 8 + 2, '\0') + U16(1) : "";
  Talk(server, {{Greeting(), U16(0)},
                {ConnectFrame("public", ""), ReplyFrame(ConnectBody() + offer)},
                {Frame(0, ""), Alloc(7)},
                {Frame(23, U32(7) + Text16("? ?")), ReplyFrame(U16(0) + U16(0))}});
  if (!row.talk.empty()) server.Expect(Frame(48, U32(7))).Send(row.talk);
  SQLHSTMT s = Open();
  SQLINTEGER value = 0;
  ASSERT_EQ(SQLPrepare(s, M("? ?"), SQL_NTS), SQL_SUCCESS);
  ASSERT_EQ(SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 3, &value, 0, nullptr), SQL_SUCCESS);
  std::string got;
  for (SQLUSMALLINT i = 1; i <= 3; ++i) {
    SQLSMALLINT type = 0, scale = 0, nullable = 0;
    SQLULEN size = 0;
    got += i > 1 ? " / " : "";
    if (SQLDescribeParam(s, i, &type, &size, &scale, &nullable) == SQL_SUCCESS)
      got += std::to_string(type) + " " + std::to_string(size) + " " + std::to_string(scale) + " " +
             std::to_string(nullable);
    else
      got += Diag(nullptr, s).substr(0, 5);
  }
  EXPECT_EQ(got, row.got);
}

INSTANTIATE_TEST_SUITE_P(Offers, DescribeParamWireTest, ::testing::ValuesIn(kDescribe));

// Texts in pieces (SQL_NTS pieces, UTF-16 split inside a character), a fixed-size value
// keeping the last buffer, a value never put (NULL); then a sequence
// abandoned by SQLCancel, and one whose final execution the server refuses.
TEST_F(ParameterWireTest, DataAtExecution) {
  const std::string sql = "?,?,?,?";
  Talk(ScriptStatement(),
       {{Direct(sql, U16(4) + P(1, 12, Z("abcd")) + P(2, 4, Raw(2)) + P(3, 12, "", true) + P(4, -1, Z("\xc3\xa9"))),
         kNoColumns},
        {Frame(15, U32(7) + U16(0)), ReturnOnly(0)},
        {Direct(sql, U16(4) + P(1, 12, Z("")) + P(2, 4, Raw(1)) + P(3, 12, "", true) + P(4, -1, "", true)),
         ReturnOnly(0xffff)},
        {Frame(9, U32(7)), ErrorReply("23000", 19, "constraint")}});
  SQLHSTMT s = Open();
  SQLLEN atExec = SQL_DATA_AT_EXEC, len = SQL_LEN_DATA_AT_EXEC(0);
  SQLINTEGER one = 1, two = 2;
  for (SQLUSMALLINT i = 1; i <= 4; ++i) {
    const SQLSMALLINT c = i == 2 ? SQL_C_SLONG : i == 4 ? SQL_C_WCHAR : SQL_C_CHAR;
    const SQLSMALLINT t = i == 2 ? SQL_INTEGER : i == 4 ? SQL_WLONGVARCHAR : SQL_VARCHAR;
    ASSERT_EQ(SQLBindParameter(s, i, SQL_PARAM_INPUT, c, t, 0, 0, (SQLPOINTER)(uintptr_t)i, 0, i == 4 ? &len : &atExec),
              SQL_SUCCESS);
  }
  SQLPOINTER which = nullptr;
  EXPECT_EQ(SQLPutData(s, M("x"), 1), SQL_ERROR);
  EXPECT_EQ(Diag(nullptr, s), "S1010 1064 C:SQLPutData called in wrong context");
  ASSERT_EQ(SQLExecDirect(s, M(sql.c_str()), SQL_NTS), SQL_NEED_DATA);
  std::string order;
  for (SQLRETURN rc; (rc = SQLParamData(s, &which)) == SQL_NEED_DATA;) {
    order += std::to_string(reinterpret_cast<uintptr_t>(which));
    int put = 0;
    if (which == (SQLPOINTER)1)
      put = SQLPutData(s, M("ab"), 2) + SQLPutData(s, M("c"), SQL_NTS) + SQLPutData(s, M("dX"), 1);
    if (which == (SQLPOINTER)2) put = SQLPutData(s, &one, 0) + SQLPutData(s, &two, 0);
    // A UTF-16 character split across two pieces.
    if (which == (SQLPOINTER)4) put = SQLPutData(s, M("\xe9"), 1) + SQLPutData(s, M(""), 1);
    EXPECT_EQ(put, 0);
  }
  EXPECT_EQ(order, "1234");
  // Abandoned: SQLCancel closes; the sequence is gone.
  ASSERT_EQ(SQLExecDirect(s, M(sql.c_str()), SQL_NTS), SQL_NEED_DATA);
  EXPECT_EQ(SQLCancel(s), SQL_SUCCESS);
  EXPECT_EQ(SQLParamData(s, &which), SQL_ERROR);
  EXPECT_EQ(Diag(nullptr, s), "S1010 1064 C:function sequence error");
  // Refused at the end: the server's record, and no sequence left.
  ASSERT_EQ(SQLExecDirect(s, M(sql.c_str()), SQL_NTS), SQL_NEED_DATA);
  EXPECT_EQ(SQLParamData(s, &which), SQL_NEED_DATA);
  EXPECT_EQ(SQLPutData(s, M(""), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLParamData(s, &which), SQL_NEED_DATA);
  EXPECT_EQ(SQLPutData(s, &one, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLParamData(s, &which) + SQLParamData(s, &which), 2 * SQL_NEED_DATA);
  EXPECT_EQ(SQLPutData(s, M("-"), SQL_DEFAULT_PARAM), SQL_ERROR);
  EXPECT_EQ(Diag(nullptr, s), "S1C00 1071 C:SQL procedures are not supported");
  EXPECT_EQ(SQLPutData(s, M("e"), SQL_NULL_DATA), SQL_SUCCESS);
  EXPECT_EQ(SQLParamData(s, &which), SQL_ERROR);
  EXPECT_EQ(Diag(nullptr, s), "23000 19 S:constraint");
  EXPECT_EQ(SQLParamData(s, &which), SQL_ERROR);
}

// Wide texts that are not UTF-16 (a lone surrogate, half a unit) are
// refused for an ODBC 3 application and mended as always for an ODBC 2
// one; a 1 MiB value put in odd-sized pieces that split its pairs arrives
// whole.
TEST_F(ParameterWireTest, WideTextsByOdbcVersion) {
  const std::string lone("a\0\x00\xd8", 4), odd("a\0b", 3);
  const std::string emoji("\x3d\xd8\x00\xde", 4), emojiUtf8 = "\xf0\x9f\x98\x80";
  std::string wide, utf8;
  for (int i = 0; i < 262144; ++i) wide += emoji, utf8 += emojiUtf8;
  ScriptStatement()
      .Expect(Direct("?", U16(1) + P(1, 12, Z("a\xef\xbf\xbd"))))
      .Send(kNoColumns)
      .Expect(Direct("?", U16(1) + P(1, 12, Z("a"))))
      .Send(kNoColumns)
      .Expect(Direct("?", U16(1) + P(1, -1, Z(utf8))))
      .Send(kNoColumns);
  SQLHSTMT s = Open();
  for (int version : {2, 3}) {
    reinterpret_cast<Environment*>(henv)->SetOdbcVersion(static_cast<uint32_t>(version));
    for (const std::string* in : {&lone, &odd}) {
      SQLLEN ind = static_cast<SQLLEN>(in->size());
      ASSERT_EQ(
          SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 0, 0, (SQLPOINTER)in->data(), 0, &ind),
          SQL_SUCCESS);
      EXPECT_EQ(SQLExecDirect(s, M("?"), SQL_NTS), version == 2 ? SQL_SUCCESS : SQL_ERROR);
      EXPECT_EQ(Diag(nullptr, s), version == 2 ? "" : "22018 1027 C:invalid character value: the text is not UTF-16");
    }
  }
  SQLLEN atExec = SQL_DATA_AT_EXEC;
  ASSERT_EQ(SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WLONGVARCHAR, 0, 0, nullptr, 0, &atExec),
            SQL_SUCCESS);
  ASSERT_EQ(SQLExecDirect(s, M("?"), SQL_NTS) + SQLParamData(s, nullptr), 2 * SQL_NEED_DATA);
  for (size_t at = 0; at < wide.size(); at += 1001) {
    const SQLLEN n = static_cast<SQLLEN>(std::min<size_t>(1001, wide.size() - at));
    ASSERT_EQ(SQLPutData(s, &wide[at], n), SQL_SUCCESS);
  }
  EXPECT_EQ(SQLParamData(s, nullptr), SQL_SUCCESS) << Diag(nullptr, s);
}

}  // namespace
