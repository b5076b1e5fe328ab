// The option and transaction functions against the scripted server: which
// requests go out with which identifier, what is only stored, the refusals
// and how answers are written.
#include <cstring>

#include "driver_session.h"

namespace {

using OptionsTest = DriverSession;

// Before the login the server's options are kept and sent as soon as the
// session exists (the driver manager replays an application's options
// there); options the server never hears of are refused with 08003, and
// a transaction fails. After it the transaction type goes out unchecked,
// and a null connection means every logged-in connection of the
// environment (the idle one is left alone).
TEST_F(OptionsTest, OptionsSetBeforeLoginReachTheSessionAndTransactions) {
  EXPECT_EQ(Conn(SQLTransact(henv, hdbc, SQL_COMMIT)),
            "ERROR 08S01 3047 [QTX][Velora ODBC Client]communication failure");
  SQLUINTEGER value = 12345;
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_AUTOCOMMIT, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_MAX_ROWS, 5), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_TXN_ISOLATION, 8), SQL_SUCCESS);  // the default: not sent
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_MAX_ROWS, &value), SQL_SUCCESS);
  EXPECT_EQ(value, 12345u);  // a statement option: nothing to answer here
  EXPECT_EQ(Conn(SQLSetConnectOption(hdbc, SQL_CURRENT_QUALIFIER, (SQLULEN) "main")),
            "ERROR 08003 1054 [QTX][Velora ODBC Client]connection not open");
  ScriptLogin().Expect(Frame(27, U16(0))).Send(ReturnOnly(0))
      .Expect(Frame(32, U32(0) + U32(5))).Send(ReturnOnly(0))
      .Expect(Frame(44, U16(7))).Send(ReturnOnly(0xFFFF))
      .Expect(Frame(9, U32(0))).Send(ErrorReply("S1012", 1, "invalid transaction operation code"))
      .Expect(Frame(44, U16(1))).Send(ReturnOnly(0)).ExpectEnd();
  EXPECT_EQ(Connect(), SQL_SUCCESS);
  SQLHDBC idle = nullptr;
  ASSERT_EQ(SQLAllocConnect(henv, &idle), SQL_SUCCESS);
  EXPECT_EQ(Conn(SQLTransact(nullptr, hdbc, 7)),
            "ERROR S1012 1 [QTX][Velora ODBC Server]invalid transaction operation code");
  EXPECT_EQ(SQLTransact(henv, SQL_NULL_HDBC, SQL_ROLLBACK), SQL_SUCCESS);
  SQLFreeConnect(idle);
}

// Every option with a request: connection options without a statement id;
// statement options from the connection with id 0 (the default of later
// statements, read back whole) and from a statement with its id. Options
// only stored, or not kept at all, send nothing.
TEST_F(OptionsTest, EveryOptionRequestHasItsFrame) {
  const struct {
    SQLUSMALLINT option;
    uint16_t code;
    bool wide;  // a 32-bit number rather than a 16-bit enumerated value
    SQLULEN value;
    bool statement;
  } rows[] = {{SQL_ACCESS_MODE, 26, false, 1, false}, {SQL_AUTOCOMMIT, 27, false, 0, false},
              {SQL_TXN_ISOLATION, 38, false, 2, false}, {SQL_MAX_ROWS, 32, true, 70000, true},
              {SQL_NOSCAN, 33, false, 1, true},         {SQL_MAX_LENGTH, 31, true, 4096, true},
              {SQL_CURSOR_TYPE, 30, false, 3, true},    {SQL_CONCURRENCY, 28, false, 2, true},
              {SQL_ROWSET_SIZE, 36, true, 25, true},    {SQL_RETRIEVE_DATA, 35, false, 0, true},
              {SQL_USE_BOOKMARKS, 39, false, 1, true}};
  auto body = [](const auto& r, uint32_t id) {
    return (r.statement ? U32(id) : "") + (r.wide ? U32(static_cast<uint32_t>(r.value))
                                                  : U16(static_cast<uint16_t>(r.value)));
  };
  ScriptLogin();
  for (const auto& r : rows) server.Expect(Frame(r.code, body(r, 0))).Send(ReturnOnly(0));
  server.Expect(Frame(0, "")).Send(Alloc(7));
  for (const auto& r : rows) {
    if (r.statement) server.Expect(Frame(r.code, body(r, 7))).Send(ReturnOnly(0));
  }
  server.ExpectEnd();
  ASSERT_EQ(Connect(), SQL_SUCCESS);
  for (const auto& r : rows) EXPECT_EQ(SQLSetConnectOption(hdbc, r.option, r.value), SQL_SUCCESS);
  for (SQLUSMALLINT stored : {SQL_QUERY_TIMEOUT, SQL_LOGIN_TIMEOUT, SQL_ODBC_CURSORS, 4321}) {
    EXPECT_EQ(SQLSetConnectOption(hdbc, stored, 9), SQL_SUCCESS) << stored;
  }
  SQLHSTMT s = nullptr;
  ASSERT_EQ(SQLAllocStmt(hdbc, &s), SQL_SUCCESS);
  SQLULEN answer;
  std::memset(&answer, 0xFF, sizeof answer);
  EXPECT_EQ(SQLGetStmtOption(s, SQL_QUERY_TIMEOUT, &answer), SQL_SUCCESS);
  EXPECT_EQ(answer, 9u);
  for (const auto& r : rows) {
    if (!r.statement) continue;
    std::memset(&answer, 0xFF, sizeof answer);
    EXPECT_EQ(SQLGetStmtOption(s, r.option, &answer), SQL_SUCCESS) << r.option;
    EXPECT_EQ(answer, r.value) << r.option;
    EXPECT_EQ(SQLSetStmtOption(s, r.option, r.value), SQL_SUCCESS) << r.option;
  }
}

// Refusals of both handles and both directions write nothing and queue one
// record; the current qualifier is stored and read back cut to 255; a
// statement option the server refuses is kept all the same; the row
// number is asked from the server each time.
TEST_F(OptionsTest, RefusalsQualifierAndRowNumber) {
  ScriptStatement().Expect(Frame(36, U32(7) + U32(10))).Send(ReturnOnly(0xFFFF))
      .Expect(Frame(9, U32(7))).Send(ErrorReply("S1009", 3, "rowset size not allowed"))
      .Expect(Frame(18, U32(7))).Send(ReplyFrame(U16(0) + U32(42)))
      .Expect(Frame(18, U32(7))).Send(ReplyFrame(U16(0) + U32(43))).ExpectEnd();
  SQLHSTMT s = Open();
  const struct {
    bool statement, get;
    SQLUSMALLINT option;
    const char* diag;
  } refused[] = {{0, 0, SQL_PACKET_SIZE, "1056 [QTX][Velora ODBC Client]can't change network packet size"},
                 {0, 1, SQL_TRANSLATE_OPTION, "1057 [QTX][Velora ODBC Client]translation DLL not supported"},
                 {1, 0, SQL_KEYSET_SIZE, "1059 [QTX][Velora ODBC Client]keyset-driven cursors not supported"},
                 {1, 1, SQL_GET_BOOKMARK, "1061 [QTX][Velora ODBC Client]bookmarks not supported yet"}};
  for (const auto& r : refused) {
    SQLULEN answer = 99;
    SQLRETURN rc = r.statement ? (r.get ? SQLGetStmtOption(s, r.option, &answer)
                                        : SQLSetStmtOption(s, r.option, 1))
                               : (r.get ? SQLGetConnectOption(hdbc, r.option, &answer)
                                        : SQLSetConnectOption(hdbc, r.option, 1));
    EXPECT_EQ(rc, SQL_ERROR) << r.option;
    EXPECT_EQ(answer, 99u);
    EXPECT_EQ(Diag(r.statement ? nullptr : hdbc, r.statement ? s : nullptr), std::string("S1C00 ") + r.diag);
  }
  std::string name(300, 'q');
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_CURRENT_QUALIFIER, (SQLULEN)name.c_str()), SQL_SUCCESS);
  char buffer[400];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_CURRENT_QUALIFIER, buffer), SQL_SUCCESS);
  EXPECT_EQ(std::string(buffer, 257), std::string(255, 'q') + '\0' + 'x');
  EXPECT_EQ(Stmt(SQLSetStmtOption(s, SQL_ROWSET_SIZE, 10), s),
            "ERROR S1009 3 [QTX][Velora ODBC Server]rowset size not allowed");
  SQLULEN answer = 0;
  EXPECT_EQ(SQLGetStmtOption(s, SQL_ROWSET_SIZE, &answer), SQL_SUCCESS);
  EXPECT_EQ(answer, 10u);
  for (SQLULEN row : {42u, 43u}) {
    EXPECT_EQ(SQLGetStmtOption(s, SQL_ROW_NUMBER, &answer), SQL_SUCCESS);
    EXPECT_EQ(answer, row);
  }
}

}  // namespace
