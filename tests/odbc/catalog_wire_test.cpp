// Catalog functions, SQLGetTypeInfo and SQLGetInfo against the scripted
// server: the exact request frames, refusals, replies other than
// SQL_SUCCESS, and SQLGetInfo's answers by kind, length and trace line.
#include <functional>

#include "handles/Environment.h"
#include "odbc/session.h"

namespace {

using CatalogWireTest = SessionTest;

std::string Texts(std::initializer_list<const char*> texts) {
  std::string out;
  for (const char* t : texts) out += Text16(t);
  return out;
}
const std::string kOneColumn = ReplyFrame(U16(0) + U16(1) + Column("TABLE_NAME", 128, 1, 12, 128));
// The statement's result columns.
std::string Cols(SQLHSTMT s, const std::string& got = "") {
  SQLSMALLINT count = -1;
  return got + " " + (SQLNumResultCols(s, &count) == SQL_SUCCESS ? std::to_string(count) : "none");
}

// Texts lose trailing blanks, null pointers with length 0 are empty texts,
// numbers travel unchanged and unchecked; each reply's description becomes
// the result set.
const std::pair<std::function<SQLRETURN(SQLHSTMT)>, std::string> kCalls[] = {
    {[](SQLHSTMT s) { return SQLTables(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0); },
     Frame(43, U32(7) + Texts({"", "", "", ""}))},
    {[](SQLHSTMT s) { return SQLTables(s, M("%"), SQL_NTS, M(""), 0, M("ABC   "), 6, M("V'"), 1); },
     Frame(43, U32(7) + Texts({"%", "", "ABC", "V"}))},
    {[](SQLHSTMT s) { return SQLColumns(s, M("q"), 1, M("ow"), 2, M("e"), SQL_NTS, M("n\\_%"), 4); },
     Frame(4, U32(7) + Texts({"q", "ow", "e", "n\\_%"}))},
    {[](SQLHSTMT s) { return SQLStatistics(s, nullptr, 0, nullptr, 0, M("emp"), 3, 7, 1); },
     Frame(41, U32(7) + Texts({"", "", "emp"}) + U16(7) + U16(1))},
    {[](SQLHSTMT s) { return SQLSpecialColumns(s, 2, nullptr, 0, M(" "), 1, M("e  "), 3, 9, 0); },
     Frame(40, U32(7) + U16(2) + Texts({"", "", "e"}) + U16(9) + U16(0))},
    {[](SQLHSTMT s) { return SQLGetTypeInfo(s, SQL_WVARCHAR); }, Frame(19, U32(7) + U16(0xFFF7))},
};

TEST_F(CatalogWireTest, RequestsAreExactAndTheReplyDescribesTheResultSet) {
  ScriptStatement();
  for (const auto& c : kCalls) server.Expect(c.second).Send(kOneColumn);
  SQLHSTMT s = Open();
  TraceCapture trace("A2");
  for (const auto& c : kCalls) EXPECT_EQ(Cols(s, Stmt(c.first(s), s)), "0 1") << Hex(c.second);
  // The entry line and each text argument as given.
  char line[96];
  std::snprintf(line, sizeof line, "SQLSpecialColumns: hstmt=0x%08lx, fColType=2, fScope=9, fNullable=0",
                static_cast<unsigned long>(reinterpret_cast<uintptr_t>(s)));
  EXPECT_TRUE(trace.Has('A', 2, line) && trace.Has('A', 2, " szTableName=[e  ]")) << trace.Text();
}

// The six functions the driver does not offer send nothing and keep the
// result set (the keys too: this server's login offered none, and
// SQLGetFunctions says so); so does a text of invalid length. Only SQL_SUCCESS adopts a
// description: after a warning the statement has none.
TEST_F(CatalogWireTest, RefusalsKeepTheResultSetAndOnlySuccessAdoptsOne) {
  Talk(ScriptStatement(), {{Frame(19, U32(7) + U16(0)), kOneColumn},
                           {Frame(4, U32(7) + Texts({"", "", "emp", ""})), ReturnOnly(1)},
                           {Frame(9, U32(7)), ErrorReply("01000", 5, "cut short")}});
  SQLHSTMT s = Open();
  ASSERT_EQ(SQLGetTypeInfo(s, SQL_ALL_TYPES), SQL_SUCCESS);
  const std::string got[] = {Stmt(SQLTablePrivileges(s, 0, 0, 0, 0, M("t"), 1), s),
                             Stmt(SQLColumnPrivileges(s, 0, 0, 0, 0, 0, 0, 0, 0), s),
                             Stmt(SQLPrimaryKeys(s, 0, 0, 0, 0, M("t"), 1), s),
                             Stmt(SQLForeignKeys(s, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), s),
                             Stmt(SQLProcedures(s, 0, 0, 0, 0, 0, 0), s),
                             Stmt(SQLProcedureColumns(s, 0, 0, 0, 0, 0, 0, 0, 0), s),
                             Stmt(SQLTables(s, 0, 0, 0, 0, M("t"), -5, 0, 0), s)};
  const char* names[] = {"TablePrivileges", "ColumnPrivileges", "PrimaryKeys",
                         "ForeignKeys",     "Procedures",       "ProcedureColumns"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(got[i], std::string("ERROR S1C00 3028 C:SQL") + names[i] + " not implemented");
  EXPECT_EQ(got[6], "ERROR S1090 1072 C:invalid string or buffer length");
  EXPECT_EQ(Cols(s), " 1");
  SQLUSMALLINT exists[100] = {};
  ASSERT_EQ(SQLGetFunctions(hdbc, SQL_API_ALL_FUNCTIONS, exists), SQL_SUCCESS);
  EXPECT_EQ(exists[SQL_API_SQLPRIMARYKEYS] + exists[SQL_API_SQLFOREIGNKEYS], 0);
  EXPECT_EQ(Cols(s, Stmt(SQLColumns(s, 0, 0, 0, 0, M("emp"), SQL_NTS, 0, 0), s)), "INFO 01000 5 S:cut short 0");
}

// A login reply that offers the key catalogue after the fetch type: the
// key functions are requests of their own (texts as for the others), and
// SQLGetFunctions reports them on this connection only.
TEST_F(CatalogWireTest, KeysGoToAServerThatOfferedThem) {
  Talk(server, {{Greeting(), U16(0)},
                {ConnectFrame("public", ""), ReplyFrame(ConnectBody() + U16(0) + U16(1))},
                {Frame(0, ""), Alloc(7)},
                {Frame(24, U32(7) + Texts({"q", "", "t"})), kOneColumn},
                {Frame(14, U32(7) + Texts({"", "", "p", "", "o", "f_%"})), kOneColumn}});
  SQLHSTMT s = Open();
  SQLUSMALLINT exists[2] = {};
  ASSERT_EQ(SQLGetFunctions(hdbc, SQL_API_SQLPRIMARYKEYS, &exists[0]), SQL_SUCCESS);
  ASSERT_EQ(SQLGetFunctions(hdbc, SQL_API_SQLFOREIGNKEYS, &exists[1]), SQL_SUCCESS);
  EXPECT_EQ(exists[0] + exists[1], 2);
  EXPECT_EQ(Cols(s, Stmt(SQLPrimaryKeys(s, M("q"), 1, nullptr, 0, M("t  "), SQL_NTS), s)), "0 1");
  EXPECT_EQ(Cols(s, Stmt(SQLForeignKeys(s, 0, 0, 0, 0, M("p"), 1, 0, 0, M("o"), 1, M("f_%"), SQL_NTS), s)), "0 1");
}

// An ODBC 3 application sees the catalog's columns by their ODBC 3 names
// and the ODBC 3 date and time codes in DATA_TYPE and in descriptions; its
// request alone asks for ODBC 3's further columns (CATALOG_ODBC3), which a
// server may leave out.
TEST_F(CatalogWireTest, Odbc3NamesAndTypeCodes) {
  const std::string describe =
      ReplyFrame(U16(0) + U16(4) + Column("TABLE_QUALIFIER", 128, 1, 12, 128) + Column("DATA_TYPE", 2, 0, 5, 5) +
                 Column("PRECISION", 4, 1, 4) + Column("D", 6, 1, 9));
  ScriptStatement();
  for (int version = 2; version <= 3; ++version) {
    server.Expect(Frame(4, U32(7) + Texts({"", "", "t", ""}) + (version == 3 ? U16(2) : ""))).Send(describe);
    server.Expect(Frame(13, U32(7) + U16(1) + U16(2))).Send(ReplyFrame(U16(0) + U16(1) + Value(2, U16(10))));
  }
  SQLHSTMT s = Open();
  const std::string expected[] = {"TABLE_QUALIFIER PRECISION 10 9 9", "TABLE_CAT COLUMN_SIZE 92 91 91"};
  for (int version = 2; version <= 3; ++version) {
    reinterpret_cast<Environment*>(henv)->SetOdbcVersion(static_cast<uint32_t>(version));
    ASSERT_EQ(SQLColumns(s, nullptr, 0, nullptr, 0, M("t"), SQL_NTS, nullptr, 0), SQL_SUCCESS);
    SQLSMALLINT code = 0, type = 0;
    SQLLEN attribute = 0;
    ASSERT_EQ(SQLBindCol(s, 2, SQL_C_SSHORT, &code, 0, nullptr), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(s), SQL_SUCCESS);
    std::string got;
    for (SQLUSMALLINT col : {1, 3}) {
      SQLCHAR name[32] = {0};
      SQLDescribeCol(s, col, name, sizeof name, nullptr, nullptr, nullptr, nullptr, nullptr);
      got += std::string((char*)name) + " ";
    }
    SQLDescribeCol(s, 4, nullptr, 0, nullptr, &type, nullptr, nullptr, nullptr);
    SQLColAttributes(s, 4, SQL_COLUMN_TYPE, nullptr, 0, nullptr, &attribute);
    EXPECT_EQ(got + std::to_string(code) + " " + std::to_string(type) + " " + std::to_string(attribute),
              expected[version - 2]);
  }
}

// Numbers: 2 or 4 bytes whatever cbInfoValueMax says. Texts:
// whole with their NUL, or cut to cbInfoValueMax - 1 characters and a NUL
// with "01004". Several trace lines name another value than the answer.
// bytes: the buffer's start afterwards (filled with '#' before)
// trace: the answer's trace line after four blanks
// clang-format off
struct InfoCase { SQLUSMALLINT type; SQLSMALLINT cbMax; std::string bytes; SQLSMALLINT pcb; SQLRETURN rc;
    std::string trace; };
// clang-format on
const InfoCase kInfo[] = {
    {SQL_ACTIVE_STATEMENTS, 2, U16(16), 2, 0, "ACTIVE_STATEMENTS=16"},
    {SQL_ACTIVE_STATEMENTS, 0, U16(16), 2, 0, "ACTIVE_STATEMENTS=16"},
    {SQL_IDENTIFIER_CASE, 2, U16(SQL_IC_MIXED), 2, 0, "IDENTIFIER_CASE=4"},
    {SQL_TXN_ISOLATION_OPTION, 3, U32(8), 4, 0, "TXN_ISOLATION_OPTION=8"},
    {SQL_GETDATA_EXTENSIONS, 4, U32(11), 4, 0, "GETDATA_EXTENSIONS=GD_ANY_COLUMN | GD_ANY_ORDER"},
    {65003, 4, U32(33), 4, 0, "OJ_CAPABILITIES=OJ_LEFT|OJ_INNER"},
    {SQL_DBMS_NAME, 7, Z("Velora"), 6, 0, "DBMS_NAME=Velora"},
    {SQL_DBMS_NAME, 6, Z("Velor"), 6, 1, "DBMS_NAME=Velora"},
    {SQL_DBMS_NAME, 0, "#", 6, 1, "DBMS_NAME=Velora"},
    {SQL_KEYWORDS, 758, "ABS,ACOS,", 757, 0, "KEYWORDS"},
    {SQL_PROCEDURE_TERM, 4, Z("") + '#', 0, 0, "PROCEDURE_TERM=empty"},
    {SQL_ORDER_BY_COLUMNS_IN_SELECT, 4, Z("Y"), 1, 0, "ORDER_BY_COLUMNC_IN_SELECT=Yes"},
    // The conversions {fn CONVERT} makes, by source type.
    {SQL_CONVERT_CHAR, 4, U32(29695), 4, 0, "CONVERT_CHAR=29695"},
    {SQL_CONVERT_VARCHAR, 4, U32(769), 4, 0, "CONVERT_VARCHAR=769"},
    {SQL_CONVERT_DATE, 4, U32(230145), 4, 0, "CONVERT_DATE=230145"},
    {SQL_CONVERT_TIMESTAMP, 4, U32(229376), 4, 0, "CONVERT_TIMESTAMP=229376"},
    {SQL_CONVERT_VARBINARY, 4, U32(0), 4, 0, "CONVERT_VARBINARY=0"},
    // From the connection: its data source, server, server version, qualifier.
    {SQL_DATA_SOURCE_NAME, 8, Z("Sales"), 5, 0, "DATA_SOURCE_NAME=Sales"},
    {SQL_SERVER_NAME, 16, Z("127.0.0.1"), 9, 0, "SERVER_NAME=127.0.0.1"},
    {SQL_DBMS_VER, 32, Z("01.00.0000 Velora 1.0"), 21, 0, "DBMS_VER=01.00.0000 Velora 1.0"},
    {SQL_DATABASE_NAME, 8, Z(""), 0, 0, "DATABASE_NAME="},
    // ODBC 3 types clients ask at connect; the driver manager's own answer.
    {10002, 4, Z("N"), 1, 0, "DESCRIBE_PARAMETER=No"},
    {SQL_ODBC_VER, 8, "########", -1, 0, "ODBC_VER="},
};

TEST_F(CatalogWireTest, GetInfoAnswersByKindLengthTruncationAndTrace) {
  ScriptLogin().ExpectEnd();
  ASSERT_EQ(Connect(), SQL_SUCCESS);
  for (const auto& c : kInfo) {
    TraceCapture trace("A2");
    std::string buffer(800, '#');
    SQLSMALLINT pcb = 99;
    const std::string rc = Conn(SQLGetInfo(hdbc, c.type, &buffer[0], c.cbMax, &pcb));
    EXPECT_EQ(rc + "|" + buffer.substr(0, c.bytes.size()) + "|" + std::to_string(pcb),
              (c.rc ? "INFO 01004 1041 C:data truncated|" : "0|") + c.bytes + "|" + std::to_string(c.pcb));
    EXPECT_TRUE(trace.Has('A', 2, "    " + c.trace)) << trace.Text();
  }
  SQLSMALLINT pcb = 0;
  EXPECT_EQ(SQLGetInfo(hdbc, SQL_KEYWORDS, nullptr, 0, &pcb), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(pcb, 757);
  // Every type up to 114 answers, and the ODBC 3 ones; others are refused.
  char b[800];
  for (SQLUSMALLINT type = 0; type <= 116; ++type) EXPECT_EQ(SQLGetInfo(hdbc, type, b, sizeof b, nullptr), 0) << type;
  EXPECT_EQ(SQLGetInfo(hdbc, 999, b, sizeof b, nullptr), -1);
  EXPECT_EQ(Diag(hdbc, nullptr), "S1096 1072 C:information type out of range");
  // Handles are as wide as a pointer; SQL_DRIVER_HSTMT leaves the buffer.
  void* handle = nullptr;
  EXPECT_EQ(SQLGetInfo(hdbc, SQL_DRIVER_HDBC, &handle, sizeof handle, &pcb), SQL_SUCCESS);
  EXPECT_EQ(handle, hdbc);
  EXPECT_EQ(pcb, static_cast<SQLSMALLINT>(sizeof handle));
  EXPECT_EQ(SQLGetInfo(hdbc, SQL_DRIVER_HSTMT, &handle, sizeof handle, &pcb), SQL_SUCCESS);
  EXPECT_EQ(handle, hdbc);
}

}  // namespace
