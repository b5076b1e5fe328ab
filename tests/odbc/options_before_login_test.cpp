// Options set before the login and connection strings without a data
// source, against the scripted server: what is kept and read back before
// the session, the frames that apply it once the session exists, and the
// connect frame of a string that names only the driver.
#include <cstring>

#include "driver_session.h"

namespace {

using BeforeLoginTest = DriverSession;

TEST_F(BeforeLoginTest, EveryOptionIsKeptReadBackAndAppliedOnceTheSessionExists) {
  // get: what SQLGetConnectOption answers before the login (-1: nothing
  // written, as for every statement option read on a connection).
  const struct {
    SQLUSMALLINT option;
    SQLULEN value;
    long long get;
  } rows[] = {{SQL_QUIET_MODE, 0x1234, 0x1234}, {SQL_PACKET_SIZE, 4096, 4096},
              {SQL_ROWSET_SIZE, 3, -1},         {SQL_BIND_TYPE, 24, -1},
              {SQL_QUERY_TIMEOUT, 9, -1},       {SQL_KEYSET_SIZE, 10, 10},
              {SQL_ODBC_CURSORS, 2, -1},        {SQL_ASYNC_ENABLE, 1, -1},
              {SQL_OPT_TRACE, 0, -1},           {4321, 1, -1}};
  for (const auto& r : rows) {
    EXPECT_EQ(SQLSetConnectOption(hdbc, r.option, r.value), SQL_SUCCESS) << r.option;
    SQLUINTEGER answer = 0xEEEEEEEE;
    EXPECT_EQ(SQLGetConnectOption(hdbc, r.option, &answer), SQL_SUCCESS) << r.option;
    EXPECT_EQ(r.get < 0 ? 0xEEEEEEEEu : SQLUINTEGER(r.get), answer) << r.option;
  }
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_CURRENT_QUALIFIER, (SQLULEN) "main"), SQL_SUCCESS);
  char qualifier[16] = "";
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_CURRENT_QUALIFIER, qualifier), SQL_SUCCESS);
  EXPECT_STREQ(qualifier, "main");

  // The rowset size reaches the session; the server's "one row at a time"
  // warning is no news to the application, which gets its rowsets. The
  // options only a session answers are refused there: the connect warns.
  ScriptLogin(server);
  server.Expect(Frame(36, U32(0) + U32(3)))
      .Send(ReturnOnly(SQL_SUCCESS_WITH_INFO))
      .Expect(Frame(9, U32(0)))
      .Send(ErrorReply("01S02", 0, "option value changed: rows are fetched one at a time"))
      .Expect(Frame(0, ""))
      .Send(AllocReply(7))
      .ExpectEnd();
  EXPECT_EQ(Connect(server), SQL_SUCCESS_WITH_INFO);
  auto records = ConnectionErrors();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].state + " " + std::to_string(records[0].native), "S1C00 1059");
  EXPECT_EQ(records[1].state + " " + std::to_string(records[1].native), "S1C00 1056");
  SQLUINTEGER window = 0;
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_QUIET_MODE, &window), SQL_SUCCESS);
  EXPECT_EQ(window, 0x1234u);
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_PACKET_SIZE, &window), SQL_ERROR);  // the session's answer
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_CURRENT_QUALIFIER, qualifier), SQL_SUCCESS);
  EXPECT_STREQ(qualifier, "main");
  SQLHSTMT s = Allocate();
  for (const auto& r : {std::pair<SQLUSMALLINT, SQLULEN>{SQL_ROWSET_SIZE, 3}, {SQL_QUERY_TIMEOUT, 9}}) {
    SQLULEN answer = 0;
    EXPECT_EQ(SQLGetStmtOption(s, r.first, &answer), SQL_SUCCESS);
    EXPECT_EQ(answer, r.second) << r.first;
  }
}

// A statement's rowset size above 1: the server's 01S02 is dropped, any
// other warning is the application's.
TEST_F(BeforeLoginTest, RowsetSizeAboveOneIsAcceptedWithoutTheServersWarning) {
  const struct {
    const char* state;
    SQLRETURN rc;
    size_t records;
  } rows[] = {{"01S02", SQL_SUCCESS, 0}, {"01000", SQL_SUCCESS_WITH_INFO, 1}};
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7));
  for (const auto& r : rows) {
    server.Expect(Frame(36, U32(7) + U32(20)))
        .Send(ReturnOnly(SQL_SUCCESS_WITH_INFO))
        .Expect(Frame(9, U32(7)))
        .Send(ErrorReply(r.state, 0, "option value changed"));
  }
  server.ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  for (const auto& r : rows) {
    EXPECT_EQ(SQLSetStmtOption(s, SQL_ROWSET_SIZE, 20), r.rc) << r.state;
    EXPECT_EQ(StatementErrors(s).size(), r.records) << r.state;
  }
}

// A string naming the driver instead of a data source: everything comes
// from the string (the odbc.ini section "Sales" is not read), the session
// uses the data source Database= names, else the server's default (an
// empty name). Neither DSN= nor DRIVER=: refused before anything is sent.
TEST_F(BeforeLoginTest, ConnectionStringsWithoutADataSource) {
  UsePrivateIni("[Sales]\nUser = fromini\nPassword = yes\nServer = 10.9.9.9\n");
  const struct {
    std::string in;  // the service is appended
    std::string dataSource, user, password;
    std::string out;  // before ";Service=", then after the service
    std::string tail;
  } rows[] = {
      {"DRIVER={Velora};Server=127.0.0.1;UID=bob;PWD=pw", "", "bob", "pw",
       "DRIVER={Velora};Server=127.0.0.1", ";User=bob;Password=no;PWD=pw"},
      {"driver=Velora;Database=Sales;Server=127.0.0.1", "Sales", "public", "",
       "DRIVER=Velora;Database=Sales;Server=127.0.0.1", ";User=public;Password=no"},
  };
  for (const auto& r : rows) {
    FakeServer fake;
    fake.Expect(Greeting()).Send(U16(0)).Expect(ConnectFrame(r.dataSource, r.user, r.password))
        .Send(ConnectReply()).Expect(Frame(8, "")).Send(ReturnOnly(0)).ExpectEnd();
    fake.Start();
    const std::string in = r.in + ";Service=" + fake.Port();
    SQLCHAR buffer[256] = {0};
    SQLSMALLINT length = 0;
    EXPECT_EQ(SQLDriverConnect(hdbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, buffer, sizeof buffer,
                               &length, SQL_DRIVER_NOPROMPT),
              SQL_SUCCESS) << r.in;
    EXPECT_EQ(reinterpret_cast<char*>(buffer), r.out + ";Service=" + fake.Port() + r.tail);
    EXPECT_EQ(SQLDisconnect(hdbc), SQL_SUCCESS);
    EXPECT_TRUE(fake.Finish()) << fake.Error();
  }
  const char* neither = "Server=127.0.0.1;Service=1;UID=bob";
  EXPECT_EQ(SQLDriverConnect(hdbc, nullptr, (SQLCHAR*)neither, SQL_NTS, nullptr, 0, nullptr,
                             SQL_DRIVER_NOPROMPT),
            SQL_ERROR);
  auto records = ConnectionErrors();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].state + " " + records[0].message,
            "IM007 [QTX][Velora ODBC Client]missing data source name");
}

}  // namespace
