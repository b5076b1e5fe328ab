// Return codes a reply may not carry (none of ODBC's, or none the call can
// return) make a malformed reply: byte-exact at a scripted server, each
// call on execute, fetch, get-data, free statement and transact gets
// SQL_ERROR with one "08S01" record, and no get-error request is sent.
#include "odbc/session.h"

namespace {

class ReplyCodeTest : public SessionTest, public ::testing::WithParamInterface<int> {};

TEST_P(ReplyCodeTest, EveryCallTurnsAnUnfitCodeIntoAnError) {
  const std::string bad = ReturnOnly(GetParam());
  const std::string exec = Frame(10, U32(7) + Text16("SELECT a") + U16(0));
  const std::string fetch = Frame(13, U32(7) + U16(0));
  Talk(ScriptStatement(), {{exec, bad},
                           {exec, ReplyFrame(U16(0) + U16(1) + Column("a", 4, 1, SQL_INTEGER, 4))},
                           {fetch, bad},
                           {fetch, ReplyFrame(U16(0) + U16(0))},
                           {Frame(17, U32(7) + U16(1)), bad},
                           {Frame(15, U32(7) + U16(SQL_DROP)), bad},
                           {Frame(44, U16(SQL_COMMIT)), bad}});
  SQLHSTMT s = Open();
  SQLINTEGER value = 0;
  const std::string error = "ERROR 08S01 3047 C:the server's reply was invalid";
  EXPECT_EQ(Stmt(SQLExecDirect(s, M("SELECT a"), SQL_NTS), s), error);
  ASSERT_EQ(Stmt(SQLExecDirect(s, M("SELECT a"), SQL_NTS), s), "0");
  EXPECT_EQ(Stmt(SQLFetch(s), s), error);
  ASSERT_EQ(Stmt(SQLFetch(s), s), "0");
  EXPECT_EQ(Stmt(SQLGetData(s, 1, SQL_C_SLONG, &value, 0, nullptr), s), error);
  EXPECT_EQ(Stmt(SQLFreeStmt(s, SQL_DROP), s), error);  // the handle stays
  EXPECT_EQ(Conn(SQLTransact(henv, hdbc, SQL_COMMIT)), error);
}

INSTANTIATE_TEST_SUITE_P(Codes, ReplyCodeTest, ::testing::Values(2, 3, 98, 101, -3, 32767, -1280, SQL_NEED_DATA));

}  // namespace
