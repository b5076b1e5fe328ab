// Catalog functions, SQLGetTypeInfo and SQLGetInfo against the scripted
// server: the exact request frames and trace lines, refusals, replies other
// than SQL_SUCCESS, and every kind of SQLGetInfo answer.
#include <cstring>
#include <functional>

#include "driver_session.h"

namespace {

using CatalogWireTest = DriverSession;

const SQLCHAR* T(const char* text) { return reinterpret_cast<const SQLCHAR*>(text); }
SQLCHAR* M(const char* text) { return const_cast<SQLCHAR*>(T(text)); }

std::string Texts(std::initializer_list<const char*> texts) {
  std::string out;
  for (const char* t : texts) out += Text16(t);
  return out;
}

// A reply describing one column.
std::string OneColumn() {
  return ReplyFrame(U16(0) + U16(1) + ColumnBytes("TABLE_NAME", 128, 1, "", 128, 0, "", 12, 0));
}

std::string HandleText(SQLHSTMT s) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(reinterpret_cast<uintptr_t>(s)));
  return text;
}

struct CatalogCall {
  std::function<SQLRETURN(SQLHSTMT)> call;
  std::string frame;                // the request, statement id 7
  std::vector<std::string> traces;  // "@" stands for the statement handle
};

// Texts with trailing blanks lose them, null pointers with length 0 are
// empty texts, numbers travel unchanged, unchecked.
const std::vector<CatalogCall> kCalls = {
    {[](SQLHSTMT s) { return SQLTables(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); },
     Frame(43, U32(7) + Texts({"", "", "", ""})),
     {"SQLTables: hstmt=@", " szTableQualifier=[<null>]", " szTableOwner=[<null>]",
      " szTableName=[<null>]", " szTableType=[<null>]"}},
    {[](SQLHSTMT s) {
       return SQLTables(s, M("%"), SQL_NTS, M(""), SQL_NTS, M("ABC   "), 6, M("'TABLE','VIEW'"), SQL_NTS);
     },
     Frame(43, U32(7) + Texts({"%", "", "ABC", "'TABLE','VIEW'"})),
     {"SQLTables: hstmt=@", " szTableQualifier=[%]", " szTableOwner=[]", " szTableName=[ABC   ]",
      " szTableType=['TABLE','VIEW']"}},
    {[](SQLHSTMT s) { return SQLColumns(s, M("q"), 1, M("own"), 2, M("emp"), SQL_NTS, M("na\\_%"), SQL_NTS); },
     Frame(4, U32(7) + Texts({"q", "ow", "emp", "na\\_%"})),
     {"SQLColumns: hstmt=@", " szTableQualifier=[q]", " szTableOwner=[ow]", " szTableName=[emp]",
      " szColumnName=[na\\_%]"}},
    {[](SQLHSTMT s) { return SQLStatistics(s, nullptr, 0, nullptr, 0, M("emp"), SQL_NTS, 7, 1); },
     Frame(41, U32(7) + Texts({"", "", "emp"}) + U16(7) + U16(1)),
     {"SQLStatistics: hstmt=@, fUnique=7, fAccuracy=1", " szTableQualifier=[<null>]",
      " szTableOwner=[<null>]", " szTableName=[emp]"}},
    {[](SQLHSTMT s) { return SQLSpecialColumns(s, 2, nullptr, 0, M(" "), 1, M("emp  "), 5, 9, 0); },
     Frame(40, U32(7) + U16(2) + Texts({"", "", "emp"}) + U16(9) + U16(0)),
     {"SQLSpecialColumns: hstmt=@, fColType=2, fScope=9, fNullable=0", " szTableQualifier=[<null>]",
      " szTableOwner=[ ]", " szTableName=[emp  ]"}},
    {[](SQLHSTMT s) { return SQLGetTypeInfo(s, 93); }, Frame(19, U32(7) + U16(93)),
     {"SQLGetTypeInfo: hstmt=@, fSqlType=93"}},
    {[](SQLHSTMT s) { return SQLGetTypeInfo(s, SQL_WVARCHAR); }, Frame(19, U32(7) + U16(0xFFF7)),
     {"SQLGetTypeInfo: hstmt=@, fSqlType=-9"}},
};

TEST_F(CatalogWireTest, RequestsAndTracesAreExactAndTheReplyDescribesTheResultSet) {
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7));
  for (const CatalogCall& c : kCalls) server.Expect(c.frame).Send(OneColumn());
  server.ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  for (size_t i = 0; i < kCalls.size(); ++i) {
    TraceCapture trace("A2");
    ASSERT_EQ(kCalls[i].call(s), SQL_SUCCESS) << "call " << i;
    std::string lines;
    for (std::string line : kCalls[i].traces) {
      size_t at = line.find('@');
      if (at != std::string::npos) line.replace(at, 1, HandleText(s));
      lines += TraceCapture::Line('A', 2, line);
    }
    EXPECT_NE(trace.Text().find(lines), std::string::npos) << "call " << i << "\n" << trace.Text();
    SQLSMALLINT count = 0;
    EXPECT_EQ(SQLNumResultCols(s, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 1) << "call " << i;
  }
}

// The six functions the driver does not offer send nothing and leave the
// statement's result set; so does a text of invalid length.
TEST_F(CatalogWireTest, RefusalsSendNothingAndKeepTheResultSet) {
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7))
      .Expect(Frame(43, U32(7) + Texts({"", "", "", ""}))).Send(OneColumn())
      .ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  ASSERT_EQ(SQLTables(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  const struct {
    std::function<SQLRETURN()> call;
    const char* state;
    const char* text;
  } kRefusals[] = {
      {[&] { return SQLTablePrivileges(s, nullptr, 0, nullptr, 0, M("t"), 1); }, "S1C00",
       "SQLTablePrivileges not implemented"},
      {[&] { return SQLColumnPrivileges(s, nullptr, 0, nullptr, 0, M("t"), 1, nullptr, 0); }, "S1C00",
       "SQLColumnPrivileges not implemented"},
      {[&] { return SQLPrimaryKeys(s, nullptr, 0, nullptr, 0, M("t"), 1); }, "S1C00",
       "SQLPrimaryKeys not implemented"},
      {[&] { return SQLForeignKeys(s, nullptr, 0, nullptr, 0, M("t"), 1, nullptr, 0, nullptr, 0, nullptr, 0); },
       "S1C00", "SQLForeignKeys not implemented"},
      {[&] { return SQLProcedures(s, nullptr, 0, nullptr, 0, nullptr, 0); }, "S1C00",
       "SQLProcedures not implemented"},
      {[&] { return SQLProcedureColumns(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); }, "S1C00",
       "SQLProcedureColumns not implemented"},
      {[&] { return SQLTables(s, nullptr, 0, nullptr, 0, M("t"), -5, nullptr, 0); }, "S1090",
       "invalid string or buffer length"},
  };
  for (const auto& r : kRefusals) {
    EXPECT_EQ(r.call(), SQL_ERROR) << r.text;
    auto records = StatementErrors(s);
    ASSERT_EQ(records.size(), 1u) << r.text;
    EXPECT_EQ(records[0].state, r.state);
    EXPECT_EQ(records[0].message, std::string("[QTX][Velora ODBC Client]") + r.text);
    SQLSMALLINT count = 0;
    EXPECT_EQ(SQLNumResultCols(s, &count), SQL_SUCCESS);
    EXPECT_EQ(count, 1) << r.text;
  }
}

// Only SQL_SUCCESS adopts a description: a warning from the server is
// returned with its record, and the statement has no result set after it.
TEST_F(CatalogWireTest, RepliesOtherThanSuccessLeaveNoResultSet) {
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7))
      .Expect(Frame(43, U32(7) + Texts({"", "", "", ""}))).Send(OneColumn())
      .Expect(Frame(4, U32(7) + Texts({"", "", "emp", ""}))).Send(ReturnOnly(1))
      .Expect(Frame(9, U32(7))).Send(ErrorReply("01000", 5, "columns cut short"))
      .Expect(Frame(19, U32(7) + U16(0))).Send(OneColumn())
      .Expect(Frame(19, U32(7) + U16(12))).Send(ReturnOnly(0xFFFF))
      .Expect(Frame(9, U32(7))).Send(ErrorReply("S1004", 6, "no such type"))
      .ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  SQLSMALLINT count = -1;
  ASSERT_EQ(SQLTables(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLColumns(s, nullptr, 0, nullptr, 0, M("emp"), SQL_NTS, nullptr, 0), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(StatementErrors(s).at(0).message, "[QTX][Velora ODBC Server]columns cut short");
  EXPECT_EQ(SQLNumResultCols(s, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(SQLGetTypeInfo(s, SQL_ALL_TYPES), SQL_SUCCESS);
  EXPECT_EQ(SQLGetTypeInfo(s, SQL_VARCHAR), SQL_ERROR);
  EXPECT_EQ(StatementErrors(s).at(0).state, "S1004");
  EXPECT_EQ(SQLNumResultCols(s, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 0);
}

struct InfoCase {
  SQLUSMALLINT type;
  SQLSMALLINT cbMax;
  std::string bytes;  // what the buffer holds after the call (filled with '#' before)
  SQLSMALLINT pcb;
  SQLRETURN rc;
  std::string trace;  // the answer's trace line
};

const std::string kKeywords =
    "ABS,ACOS,ALL,ALTER,AND,ANY,AS,ASC,ASCII,ASIN,ATAN,ATAN2,AVG,BETWEEN,BY,CASCADE,CEIL,CHAR,CHECK,CONCAT,"
    "CONVERT,COS,COT,COUNT,CREATE,CURDATE,CURRENT,CURTIME,DATABASE,DATE,DAYOFMONTH,DAYOFWEEK,DAYOFYEAR,DEFAULT,"
    "DELETE,DESC,DESCRIBE,DISTINCT,DOUBLE,DROP,ESCAPE,EXISTS,EXP,FIELD,FLOAT,FLOOR,FN,FOR,FORMAT,FOREIGN,FROM,"
    "GRANT,GROUP,HAVING,HOUR,IFNULL,IN,INDEX,INSERT,INTEGER,INT,INTO,IS,JOIN,KEY,LCASE,LEFT,LENGTH,LIKE,LOCATE,"
    "LOG,LTRIM,MAX,MICROSOFT,MIN,MINUTE,MOD,MONTH,NOT,NOW,NULL,ODBC,OF,ON,OPTION,OR,ORDER,OUTER,PI,PRIMARY,"
    "PRODUCT,PUBLIC,QUARTER,RAND,REFERENCES,REPEAT,REPLACE,RESTRICT,REVOKE,RIGHT,RTRIM,SECOND,SELECT,SET,SIGN,"
    "SIN,SMALLINT,SQRT,SUBSTR,SUM,TABLE,TAN,TIME,TIMESTAMP,TO,UCASE,UNION,UNIQUE,UPDATE,USER,VALUES,VENDOR,"
    "VIEW,WEEK,WHERE,WITH,XOR,YEAR";

const InfoCase kInfoCases[] = {
    // Numbers: 2 or 4 bytes, cut without a warning to cbInfoValueMax.
    {SQL_ACTIVE_STATEMENTS, 2, U16(16), 2, SQL_SUCCESS, "    ACTIVE_STATEMENTS=16"},
    {SQL_ACTIVE_STATEMENTS, 1, "\x10#", 2, SQL_SUCCESS, "    ACTIVE_STATEMENTS=16"},
    {SQL_ACTIVE_STATEMENTS, 0, "##", 2, SQL_SUCCESS, "    ACTIVE_STATEMENTS=16"},
    {SQL_FETCH_DIRECTION, 4, U32(1), 4, SQL_SUCCESS, "    FETCH_DIRECTION=FD_FETCH_NEXT"},
    {SQL_ODBC_API_CONFORMANCE, 2, U16(2), 2, SQL_SUCCESS, "    ODBC_API_CONFORMANCE=OAC_LEVEL1"},
    {SQL_MAX_OWNER_NAME_LEN, 2, U16(30), 2, SQL_SUCCESS, "    MAX_OWNER_NAME_LEN=16"},
    {SQL_CONVERT_DATE, 4, U32(230145), 4, SQL_SUCCESS, "    CONVERT_DATE=230145"},
    {SQL_TXN_ISOLATION_OPTION, 3, std::string(3, '\0'), 4, SQL_SUCCESS, "    TXN_ISDOLATION_OPTION=0"},
    {SQL_GETDATA_EXTENSIONS, 4, U32(11), 4, SQL_SUCCESS, "    GETDATA_EXTENSIONS=GD_ANY_COLUMN | GD_ANY_ORDER"},
    {65003, 4, U32(33), 4, SQL_SUCCESS, "    OJ_CAPABILITIES=OJ_LEFT|OJ_INNER"},
    // Texts: whole with their NUL, or cut to cbInfoValueMax - 1 and a NUL.
    {SQL_DBMS_NAME, 7, std::string("Velora\0", 7), 6, SQL_SUCCESS, "    DBMS_NAME=Velora"},
    {SQL_DBMS_NAME, 6, std::string("Velor\0", 6), 6, SQL_SUCCESS_WITH_INFO, "    DBMS_NAME=Velora"},
    {SQL_DBMS_NAME, 0, "#", 6, SQL_SUCCESS_WITH_INFO, "    DBMS_NAME=Velora"},
    {SQL_KEYWORDS, 758, kKeywords + '\0', 757, SQL_SUCCESS, "    KEYWORDS"},
    {SQL_KEYWORDS, 757, kKeywords.substr(0, 756) + '\0', 757, SQL_SUCCESS_WITH_INFO, "    KEYWORDS"},
    {SQL_PROCEDURE_TERM, 4, std::string("\0#", 2), 0, SQL_SUCCESS, "    PROCEDURE_TERM=empty"},
    {SQL_SPECIAL_CHARACTERS, 4, std::string("\0#", 2), 0, SQL_SUCCESS, "    SPECIAL_CHARACTERS=not defined"},
    {SQL_DATA_SOURCE_READ_ONLY, 4, std::string("Y\0", 2), 1, SQL_SUCCESS, "    DATA_SOURCE_READ_ONLY=Yes"},
    {SQL_ORDER_BY_COLUMNS_IN_SELECT, 4, std::string("Y\0", 2), 1, SQL_SUCCESS, "    ORDER_BY_COLUMNC_IN_SELECT=Yes"},
    {SQL_SEARCH_PATTERN_ESCAPE, 4, std::string("\\\0", 2), 1, SQL_SUCCESS, "    SEARCH_PATTERN_ESCAPE=\\"},
    {SQL_IDENTIFIER_QUOTE_CHAR, 4, std::string("|\0", 2), 1, SQL_SUCCESS, "    IDENTIFIER_QUOTE_CHAR=|"},
    {SQL_DRIVER_ODBC_VER, 8, std::string("02.00\0", 6), 5, SQL_SUCCESS, "    DRIVER_ODBC_VER=02.00"},
    // From the connection: its data source, server, server version, user.
    {SQL_DATA_SOURCE_NAME, 8, std::string("Sales\0", 6), 5, SQL_SUCCESS, "    DATA_SOURCE_NAME=Sales"},
    {SQL_SERVER_NAME, 16, std::string("127.0.0.1\0", 10), 9, SQL_SUCCESS, "    SERVER_NAME=127.0.0.1"},
    {SQL_DBMS_VER, 16, std::string("Velora 1.0\0", 11), 10, SQL_SUCCESS, "    DBMS_VER=Velora 1.0"},
    {SQL_USER_NAME, 8, std::string("public\0", 7), 6, SQL_SUCCESS, "    USER_NAME=public"},
    {SQL_DATABASE_NAME, 8, std::string("\0", 1), 0, SQL_SUCCESS, "    DATABASE_NAME="},
    // ODBC 3 types every client asks at connect.
    {10002, 4, std::string("N\0", 2), 1, SQL_SUCCESS, "    DESCRIBE_PARAMETER=No"},
    {10003, 4, std::string("N\0", 2), 1, SQL_SUCCESS, "    CATALOG_NAME=No"},
    // The driver manager's own answer: nothing from the driver.
    {SQL_ODBC_VER, 8, "########", -1, SQL_SUCCESS, "    ODBC_VER="},
};

TEST_F(CatalogWireTest, GetInfoAnswersByKindLengthAndTruncation) {
  ScriptLogin(server);
  server.ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  for (const InfoCase& c : kInfoCases) {
    TraceCapture trace("A2");
    std::string buffer(800, '#');
    SQLSMALLINT pcb = 99;
    EXPECT_EQ(SQLGetInfo(hdbc, c.type, &buffer[0], c.cbMax, &pcb), c.rc) << c.trace;
    EXPECT_EQ(buffer.substr(0, c.bytes.size()), c.bytes) << c.trace;
    EXPECT_EQ(pcb, c.pcb) << c.trace;
    EXPECT_TRUE(trace.Has('A', 2, c.trace)) << trace.Text();
    std::string states;
    for (const Record& r : ConnectionErrors()) states += r.state;
    EXPECT_EQ(states, c.rc == SQL_SUCCESS ? "" : "01004") << c.trace;
  }
  // A null buffer still learns the length.
  SQLSMALLINT pcb = 0;
  EXPECT_EQ(SQLGetInfo(hdbc, SQL_KEYWORDS, nullptr, 0, &pcb), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(pcb, 757);
}

TEST_F(CatalogWireTest, GetInfoKnowsEveryTypeUpTo114AndHandlesAsPointers) {
  ScriptLogin(server);
  server.ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  char buffer[800];
  for (SQLUSMALLINT type = 0; type <= 116; ++type) {
    const SQLRETURN rc = SQLGetInfo(hdbc, type, buffer, sizeof buffer, nullptr);
    EXPECT_EQ(rc, type < 115 ? SQL_SUCCESS : SQL_ERROR) << type;
  }
  EXPECT_EQ(ConnectionErrors().at(0).message, "[QTX][Velora ODBC Client]Internal error");
  EXPECT_EQ(SQLGetInfo(hdbc, 65002, buffer, sizeof buffer, nullptr), SQL_ERROR);
  EXPECT_EQ(ConnectionErrors().at(0).state, "S1000");

  // Handles are as wide as a pointer; SQL_DRIVER_HSTMT leaves the buffer.
  void* handle = nullptr;
  SQLSMALLINT pcb = 0;
  EXPECT_EQ(SQLGetInfo(hdbc, SQL_DRIVER_HDBC, &handle, sizeof handle, &pcb), SQL_SUCCESS);
  EXPECT_EQ(handle, hdbc);
  EXPECT_EQ(pcb, static_cast<SQLSMALLINT>(sizeof handle));
  EXPECT_EQ(SQLGetInfo(hdbc, SQL_DRIVER_HENV, &handle, sizeof handle, &pcb), SQL_SUCCESS);
  EXPECT_EQ(handle, henv);
  EXPECT_EQ(SQLGetInfo(hdbc, SQL_DRIVER_HSTMT, &handle, sizeof handle, &pcb), SQL_SUCCESS);
  EXPECT_EQ(handle, henv);
}

}  // namespace
