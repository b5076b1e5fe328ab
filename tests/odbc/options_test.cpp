// The option functions against the scripted server: which requests are
// sent with which identifier, what is only stored, the refusals, and how
// answers are written.
#include <cstring>

#include "driver_session.h"

namespace {

using OptionsTest = DriverSession;

// Before the login the server's options are kept and sent as soon as the
// session exists (the driver manager replays an application's options
// there and ignores refusals); options the server never hears of are
// refused with "08003".
TEST_F(OptionsTest, ServerOptionsSetBeforeLoginReachTheSession) {
  SQLUINTEGER value = 0;
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_LOGIN_TIMEOUT, 30), SQL_SUCCESS);
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_LOGIN_TIMEOUT, &value), SQL_SUCCESS);
  EXPECT_EQ(value, 30u);
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_AUTOCOMMIT, 0), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_MAX_ROWS, 5), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_TXN_ISOLATION, 8), SQL_SUCCESS);  // the default: not sent
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_TRANSLATE_DLL, (SQLULEN) "x.so"), SQL_ERROR);
  auto records = ConnectionErrors();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].state, "08003");
  EXPECT_EQ(records[0].native, 1054);
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_AUTOCOMMIT, &value), SQL_SUCCESS);
  EXPECT_EQ(value, 0u);
  value = 12345;
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_MAX_ROWS, &value), SQL_SUCCESS);
  EXPECT_EQ(value, 12345u);  // a statement option: nothing to answer here

  ScriptLogin(server);
  server.Expect(Frame(27, U16(0)))
      .Send(ReturnOnly(0))
      .Expect(Frame(32, U32(0) + U32(5)))
      .Send(ReturnOnly(0))
      .ExpectEnd();
  EXPECT_EQ(Connect(server), SQL_SUCCESS);
}

TEST_F(OptionsTest, ConnectionOptionFramesCarryNoOrAZeroStatementId) {
  ScriptLogin(server);
  server.Expect(Bytes({2, 0, 0, 0, 0x1A, 0, 1, 0}))  // access mode: read only
      .Send(ReturnOnly(0))
      .Expect(Frame(27, U16(0)))
      .Send(ReturnOnly(0))
      .Expect(Frame(38, U16(2)))
      .Send(ReturnOnly(0))
      .Expect(Frame(32, U32(0) + U32(10)))
      .Send(ReturnOnly(0))
      .Expect(Frame(0, ""))
      .Send(AllocReply(7))
      .ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_ACCESS_MODE, SQL_MODE_READ_ONLY), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_TXN_ISOLATION, SQL_TXN_READ_COMMITTED), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_MAX_ROWS, 10), SQL_SUCCESS);
  // Stored only, or nothing at all: no frame.
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_QUERY_TIMEOUT, 9), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_LOGIN_TIMEOUT, 60), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_ODBC_CURSORS, 1), SQL_SUCCESS);
  EXPECT_EQ(SQLSetConnectOption(hdbc, 4321, 1), SQL_SUCCESS);
  SQLUINTEGER value = 0;
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_LOGIN_TIMEOUT, &value), SQL_SUCCESS);
  EXPECT_EQ(value, 15u);
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_ACCESS_MODE, &value), SQL_SUCCESS);
  EXPECT_EQ(value, 1u);
  // A statement allocated later takes the connection's values.
  SQLHSTMT s = Allocate();
  SQLULEN answer = 0;
  EXPECT_EQ(SQLGetStmtOption(s, SQL_MAX_ROWS, &answer), SQL_SUCCESS);
  EXPECT_EQ(answer, 10u);
  EXPECT_EQ(SQLGetStmtOption(s, SQL_QUERY_TIMEOUT, &answer), SQL_SUCCESS);
  EXPECT_EQ(answer, 9u);
}

// Every statement option with a request: its frame from the connection
// (statementId 0, the default of later statements) and from a statement
// (its identifier), and the value read back from the statement.
TEST_F(OptionsTest, EveryStatementOptionRequestHasItsFrameFromBothHandles) {
  const struct {
    SQLUSMALLINT option;
    uint16_t code;
    bool wide;  // a 32-bit number rather than a 16-bit enumerated value
    SQLULEN value;
  } rows[] = {{SQL_MAX_ROWS, 32, true, 70000},   {SQL_NOSCAN, 33, false, 1},
              {SQL_MAX_LENGTH, 31, true, 4096},  {SQL_CURSOR_TYPE, 30, false, 3},
              {SQL_CONCURRENCY, 28, false, 2},   {SQL_ROWSET_SIZE, 36, true, 25},
              {SQL_RETRIEVE_DATA, 35, false, 0}, {SQL_USE_BOOKMARKS, 39, false, 1}};
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7));
  for (const auto& r : rows) {
    const std::string value = r.wide ? U32(static_cast<uint32_t>(r.value))
                                     : U16(static_cast<uint16_t>(r.value));
    server.Expect(Frame(r.code, U32(0) + value)).Send(ReturnOnly(0));
    server.Expect(Frame(r.code, U32(7) + value)).Send(ReturnOnly(0));
  }
  server.ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  for (const auto& r : rows) {
    EXPECT_EQ(SQLSetConnectOption(hdbc, r.option, r.value), SQL_SUCCESS) << r.option;
    EXPECT_EQ(SQLSetStmtOption(s, r.option, r.value), SQL_SUCCESS) << r.option;
    SQLULEN answer = 12345;
    EXPECT_EQ(SQLGetStmtOption(s, r.option, &answer), SQL_SUCCESS) << r.option;
    EXPECT_EQ(answer, r.value) << r.option;
  }
}

TEST_F(OptionsTest, UnsupportedConnectionOptionsAreRefusedWithTheirTexts) {
  ScriptLogin(server);
  server.ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  const struct {
    SQLUSMALLINT option;
    SQLINTEGER native;
    const char* text;
  } refused[] = {{SQL_PACKET_SIZE, 1056, "can't change network packet size"},
                 {SQL_TRANSLATE_DLL, 1057, "translation DLL not supported"},
                 {SQL_TRANSLATE_OPTION, 1057, "translation DLL not supported"},
                 {SQL_KEYSET_SIZE, 1059, "keyset-driven cursors not supported"},
                 {SQL_SIMULATE_CURSOR, 1060, "simulated cursors not used"}};
  for (const auto& r : refused) {
    EXPECT_EQ(SQLSetConnectOption(hdbc, r.option, 1), SQL_ERROR);
    auto records = ConnectionErrors();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].state, "S1C00");
    EXPECT_EQ(records[0].native, r.native);
    EXPECT_EQ(records[0].message, std::string("[QTX][Velora ODBC Client]") + r.text);
  }
  char buffer[300];
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_PACKET_SIZE, buffer), SQL_ERROR);
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_TRANSLATE_DLL, buffer), SQL_ERROR);
}

// The refusals and the options that are neither stored nor sent: the
// whole exchange is the login and the allocation, so nothing else is sent.
TEST_F(OptionsTest, RefusalsAndIgnoredOptionsOfBothHandles) {
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7)).ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  const struct {
    bool get;
    SQLUSMALLINT option;
    SQLINTEGER native;
    const char* text;
  } refused[] = {{true, SQL_BIND_TYPE, 1062, "extended fetch not supported yet"},
                 {true, SQL_KEYSET_SIZE, 1059, "keyset-driven cursors not supported"},
                 {false, SQL_KEYSET_SIZE, 1059, "keyset-driven cursors not supported"},
                 {true, SQL_SIMULATE_CURSOR, 1060, "simulated cursors not used"},
                 {false, SQL_SIMULATE_CURSOR, 1060, "simulated cursors not used"},
                 {true, SQL_GET_BOOKMARK, 1061, "bookmarks not supported yet"}};
  for (const auto& r : refused) {
    SQLULEN answer = 99;
    EXPECT_EQ(r.get ? SQLGetStmtOption(s, r.option, &answer) : SQLSetStmtOption(s, r.option, 1),
              SQL_ERROR)
        << r.option;
    EXPECT_EQ(answer, 99u);
    auto records = StatementErrors(s);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].state, "S1C00");
    EXPECT_EQ(records[0].native, r.native);
    EXPECT_EQ(records[0].message, std::string("[QTX][Velora ODBC Client]") + r.text);
  }
  char text[16] = "untouched";
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_PACKET_SIZE, text), SQL_ERROR);
  EXPECT_EQ(ConnectionErrors().at(0).native, 1056);
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_TRANSLATE_OPTION, text), SQL_ERROR);
  EXPECT_EQ(ConnectionErrors().at(0).native, 1057);
  for (SQLUSMALLINT option : {SQL_OPT_TRACE, SQL_OPT_TRACEFILE, SQL_ODBC_CURSORS, SQL_MAX_ROWS}) {
    EXPECT_EQ(SQLGetConnectOption(hdbc, option, text), SQL_SUCCESS) << option;
  }
  EXPECT_STREQ(text, "untouched");
  SQLULEN answer = 99;
  EXPECT_EQ(SQLSetStmtOption(s, SQL_ASYNC_ENABLE, 1), SQL_SUCCESS);
  EXPECT_EQ(SQLSetStmtOption(s, SQL_ROW_NUMBER, 1), SQL_SUCCESS);
  EXPECT_EQ(SQLGetStmtOption(s, 15, &answer), SQL_SUCCESS);
  EXPECT_EQ(answer, 99u);
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_QUIET_MODE, 0x1234), SQL_SUCCESS);
  SQLUINTEGER window = 0;
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_QUIET_MODE, &window), SQL_SUCCESS);
  EXPECT_EQ(window, 0x1234u);
}

TEST_F(OptionsTest, CurrentQualifierIsStoredWithoutARequestAndReadBackCut) {
  ScriptLogin(server);
  server.ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  std::string name(300, 'q');
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_CURRENT_QUALIFIER, reinterpret_cast<SQLULEN>(name.c_str())),
            SQL_SUCCESS);
  char buffer[400];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_CURRENT_QUALIFIER, buffer), SQL_SUCCESS);
  EXPECT_EQ(std::strlen(buffer), 255u);
  EXPECT_EQ(buffer[256], 'x');
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_CURRENT_QUALIFIER, reinterpret_cast<SQLULEN>("sales")),
            SQL_SUCCESS);
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_CURRENT_QUALIFIER, buffer), SQL_SUCCESS);
  EXPECT_STREQ(buffer, "sales");
}

TEST_F(OptionsTest, StatementOptionsCarryTheStatementIdAndAreKeptWhenRefused) {
  ScriptLogin(server);
  server.Expect(Frame(0, ""))
      .Send(AllocReply(7))
      .Expect(Frame(36, U32(7) + U32(10)))
      .Send(ReturnOnly(0xFFFF))
      .Expect(Frame(9, U32(7)))
      .Send(ErrorReply("S1009", 3, "rowset size not allowed"))
      .Expect(Frame(32, U32(7) + U32(5)))
      .Send(ReturnOnly(0))
      .Expect(Frame(18, U32(7)))
      .Send(ReplyFrame(U16(0) + U32(42)))
      .Expect(Frame(18, U32(7)))
      .Send(ReplyFrame(U16(0) + U32(43)))
      .ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  EXPECT_EQ(SQLSetStmtOption(s, SQL_ROWSET_SIZE, 10), SQL_ERROR);
  auto records = StatementErrors(s);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message, "[QTX][Velora ODBC Server]rowset size not allowed");
  SQLULEN answer;
  std::memset(&answer, 0xFF, sizeof answer);
  EXPECT_EQ(SQLGetStmtOption(s, SQL_ROWSET_SIZE, &answer), SQL_SUCCESS);
  EXPECT_EQ(answer, 10u);  // every byte of the SQLULEN written
  EXPECT_EQ(SQLSetStmtOption(s, SQL_MAX_ROWS, 5), SQL_SUCCESS);
  EXPECT_EQ(SQLSetStmtOption(s, SQL_QUERY_TIMEOUT, 5), SQL_SUCCESS);  // stored only
  EXPECT_EQ(SQLSetStmtOption(s, SQL_BIND_TYPE, 8), SQL_SUCCESS);
  EXPECT_EQ(SQLGetStmtOption(s, SQL_ROW_NUMBER, &answer), SQL_SUCCESS);
  EXPECT_EQ(answer, 42u);
  EXPECT_EQ(SQLGetStmtOption(s, SQL_ROW_NUMBER, &answer), SQL_SUCCESS);
  EXPECT_EQ(answer, 43u);
  EXPECT_EQ(SQLGetStmtOption(s, SQL_QUERY_TIMEOUT, &answer), SQL_SUCCESS);
  EXPECT_EQ(answer, 5u);
  EXPECT_EQ(SQLGetStmtOption(s, SQL_ASYNC_ENABLE, &answer), SQL_SUCCESS);
  EXPECT_EQ(answer, 0u);
  EXPECT_EQ(SQLGetStmtOption(s, SQL_BIND_TYPE, &answer), SQL_ERROR);
  records = StatementErrors(s);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message, "[QTX][Velora ODBC Client]extended fetch not supported yet");
  EXPECT_EQ(SQLGetStmtOption(s, SQL_GET_BOOKMARK, &answer), SQL_ERROR);
  EXPECT_EQ(SQLSetStmtOption(s, SQL_KEYSET_SIZE, 1), SQL_ERROR);
}

TEST_F(OptionsTest, TransactSendsTheTypeUncheckedAndANullConnectionMeansAll) {
  ScriptLogin(server);
  server.Expect(Frame(44, U16(0)))
      .Send(ReturnOnly(0))
      .Expect(Frame(44, U16(7)))
      .Send(ReturnOnly(0xFFFF))
      .Expect(Frame(9, U32(0)))
      .Send(ErrorReply("S1012", 1, "invalid transaction operation code"))
      .Expect(Frame(44, U16(1)))
      .Send(ReturnOnly(0))
      .ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHDBC idle = nullptr;
  ASSERT_EQ(SQLAllocConnect(henv, &idle), SQL_SUCCESS);  // not logged in: left alone
  EXPECT_EQ(SQLTransact(henv, hdbc, SQL_COMMIT), SQL_SUCCESS);
  EXPECT_EQ(SQLTransact(nullptr, hdbc, 7), SQL_ERROR);
  auto records = ConnectionErrors();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message, "[QTX][Velora ODBC Server]invalid transaction operation code");
  EXPECT_EQ(SQLTransact(henv, SQL_NULL_HDBC, SQL_ROLLBACK), SQL_SUCCESS);
  SQLFreeConnect(idle);
}

TEST_F(OptionsTest, TransactOnAConnectionNotLoggedInIsCommunicationFailure) {
  EXPECT_EQ(SQLTransact(henv, hdbc, SQL_COMMIT), SQL_ERROR);
  auto records = ConnectionErrors();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].state, "08S01");
}

}  // namespace
