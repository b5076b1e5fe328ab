// Options set before the login against the scripted server: kept and read
// back before the session, then applied once it exists. (Strings without
// a data source: tests/integration/apps_test.cpp.)
#include "driver_session.h"

namespace {

using BeforeLoginTest = DriverSession;

TEST_F(BeforeLoginTest, EveryOptionIsKeptReadBackAndAppliedOnceTheSessionExists) {
  // get: SQLGetConnectOption's answer before the login; 7: nothing written
  // (a statement option read on a connection).
  const struct { SQLUSMALLINT option; SQLULEN value, get; } rows[] = {
      {SQL_QUIET_MODE, 0x1234, 0x1234}, {SQL_PACKET_SIZE, 4096, 4096}, {SQL_KEYSET_SIZE, 10, 10},
      {SQL_ROWSET_SIZE, 3, 7}, {SQL_QUERY_TIMEOUT, 9, 7}, {SQL_ODBC_CURSORS, 2, 7}, {SQL_ASYNC_ENABLE, 1, 7}};
  for (const auto& r : rows) {
    SQLUINTEGER answer = 7;
    EXPECT_EQ(SQLSetConnectOption(hdbc, r.option, r.value), SQL_SUCCESS) << r.option;
    EXPECT_EQ(SQLGetConnectOption(hdbc, r.option, &answer), SQL_SUCCESS) << r.option;
    EXPECT_EQ(answer, r.get) << r.option;
  }
  EXPECT_EQ(SQLSetConnectOption(hdbc, SQL_CURRENT_QUALIFIER, (SQLULEN) "main"), SQL_SUCCESS);
  // A string with neither DSN= nor DRIVER= is refused as ever.
  EXPECT_EQ(SQLDriverConnect(hdbc, nullptr, (SQLCHAR*)"UID=u", SQL_NTS, nullptr, 0, nullptr, 0), SQL_ERROR);
  EXPECT_EQ(ConnectionErrors().at(0).state, "IM007");
  // The server's "one row at a time" is no news: the driver builds the
  // rowsets. The options only a session answers are refused there: the
  // connect warns with their records, newest first.
  ScriptLogin(server);
  server.Expect(Frame(36, U32(0) + U32(3))).Send(ReturnOnly(SQL_SUCCESS_WITH_INFO))
      .Expect(Frame(9, U32(0))).Send(ErrorReply("01S02", 0, "rows are fetched one at a time"))
      .Expect(Frame(0, "")).Send(AllocReply(7)).ExpectEnd();
  EXPECT_EQ(Connect(server), SQL_SUCCESS_WITH_INFO);
  auto records = ConnectionErrors();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].native * 10000 + records[1].native, 1059 * 10000 + 1056);
  char qualifier[16] = "";
  EXPECT_EQ(SQLGetConnectOption(hdbc, SQL_CURRENT_QUALIFIER, qualifier), SQL_SUCCESS);
  EXPECT_STREQ(qualifier, "main");
  SQLULEN rowset = 0;
  EXPECT_EQ(SQLGetStmtOption(Allocate(), SQL_ROWSET_SIZE, &rowset), SQL_SUCCESS);
  EXPECT_EQ(rowset, 3u);
}

}  // namespace
