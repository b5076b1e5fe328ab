// Statements against the scripted server: allocation, freeing, closing
// and what each sends, preparation, execution, cursor names, row counts,
// and the description of result sets.
#include <cstring>

#include "convert/ColumnValue.h"
#include "handles/Statement.h"
#include "driver_session.h"

namespace {

// A description of three columns: AMOUNT NUMERIC(10,2), NAME VARCHAR(20),
// FLAG BIT.
std::string ThreeColumns() {
  return U16(3) + ColumnBytes("AMOUNT", 12, SQL_NULLABLE, "dbo", 10, 2, "SALES", SQL_NUMERIC, 1) +
         ColumnBytes("NAME", 20, SQL_NO_NULLS, "dbo", 20, 0, "SALES", SQL_VARCHAR, 0) +
         ColumnBytes("FLAG", 1, SQL_NULLABLE, "", 1, 0, "SALES", SQL_BIT, 0);
}

using StatementTest = DriverSession;

std::string FreeFrame(uint16_t option) { return Frame(15, U32(7) + U16(option)); }

TEST_F(StatementTest, FreeOptionsSendCloseAndDropOnlyAndDropDeletesTheHandle) {
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7))
      .Expect(FreeFrame(SQL_CLOSE)).Send(ReturnOnly(0))
      .Expect(FreeFrame(SQL_CLOSE)).Send(ReturnOnly(0))  // SQLCancel
      .Expect(Bytes({6, 0, 0, 0, 0x0F, 0, 7, 0, 0, 0, 1, 0})).Send(ReturnOnly(0))
      .ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  EXPECT_EQ(SQLFreeStmt(s, SQL_UNBIND), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_RESET_PARAMS), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_SUCCESS);
  EXPECT_EQ(SQLCancel(s), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_DROP), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_INVALID_HANDLE);
}

TEST_F(StatementTest, UnbindAndResetParamsSendNothingEvenWhenTheServerIsGone) {
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7)).Close();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  ASSERT_TRUE(server.Finish()) << server.Error();
  EXPECT_EQ(SQLFreeStmt(s, SQL_UNBIND), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_RESET_PARAMS), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_ERROR);
  EXPECT_EQ(StatementErrors(s).at(0).state, "08S01");
}

// The server forgets a session's statements when it ends; so does the
// driver: a statement left at disconnect is freed with the session, and
// its handle can never reach a statement of a later session.
TEST_F(StatementTest, DisconnectFreesTheStatementsLeftOnTheConnection) {
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7))
      .Expect(Frame(8, "")).Send(ReturnOnly(0))
      .ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  ASSERT_EQ(SQLDisconnect(hdbc), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFreeStmt(s, SQL_DROP), SQL_INVALID_HANDLE);
}

TEST_F(StatementTest, RefusedDropKeepsTheHandleUsable) {
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7))
      .Expect(FreeFrame(SQL_DROP)).Send(ReturnOnly(0xFFFF))
      .Expect(Frame(9, U32(7))).Send(ErrorReply("S1010", 2, "busy"))
      .Expect(FreeFrame(SQL_CLOSE)).Send(ReturnOnly(0))
      .ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  EXPECT_EQ(SQLFreeStmt(s, SQL_DROP), SQL_ERROR);
  EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_SUCCESS);
}

// A server that went away has forgotten the statement already: dropping it
// frees the handle (else an application that closes its cursors after a
// lost connection could never get rid of them), while SQL_CLOSE still
// reports the failure.
TEST_F(StatementTest, DropAfterTheServerWentAwayFreesTheHandle) {
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7)).Close();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  ASSERT_TRUE(server.Finish()) << server.Error();
  EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_ERROR);
  EXPECT_EQ(StatementErrors(s).at(0).state, "08S01");
  EXPECT_EQ(SQLFreeStmt(s, SQL_DROP), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLDisconnect(hdbc), SQL_SUCCESS_WITH_INFO);
}

TEST_F(StatementTest, RefusedAllocationLeavesNoStatementAndTellsTheConnection) {
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(ReplyFrame(U16(0xFFFF)))
      .Expect(Frame(9, U32(0))).Send(ErrorReply("S1000", 9, "too many statements"))
      .ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = reinterpret_cast<SQLHSTMT>(1);
  EXPECT_EQ(SQLAllocStmt(hdbc, &s), SQL_ERROR);
  EXPECT_EQ(s, nullptr);
  auto records = ConnectionErrors();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].message, "[QTX][Velora ODBC Server]too many statements");
}

TEST_F(StatementTest, PrepareDescribesAndCloseKeepsTheDescriptionForExecute) {
  const std::string sql = "SELECT AMOUNT, NAME, FLAG FROM SALES";
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7))
      .Expect(Frame(23, U32(7) + Text16(sql))).Send(ReplyFrame(U16(0) + ThreeColumns()))
      .Expect(FreeFrame(SQL_CLOSE)).Send(ReturnOnly(0))
      .Expect(Frame(11, U32(7) + U16(0))).Send(ReturnOnly(0))
      .Expect(Frame(11, U32(7) + U16(0))).Send(ReturnOnly(0))
      .ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  ASSERT_EQ(SQLPrepare(s, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_SUCCESS);
  SQLSMALLINT count = 0;
  EXPECT_EQ(SQLNumResultCols(s, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(SQLExecute(s), SQL_SUCCESS);
  EXPECT_EQ(SQLExecute(s), SQL_SUCCESS);
  EXPECT_EQ(SQLNumResultCols(s, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 3);

  SQLCHAR name[16];
  SQLSMALLINT nameLength = 0, type = 0, scale = 0, nullable = 0;
  SQLULEN precision = 0;
  EXPECT_EQ(SQLDescribeCol(s, 1, name, 5, &nameLength, &type, &precision, &scale, &nullable),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(reinterpret_cast<char*>(name), "AMOU");
  EXPECT_EQ(nameLength, 6);
  EXPECT_EQ(type, SQL_NUMERIC);
  EXPECT_EQ(precision, 10u);
  EXPECT_EQ(scale, 2);
  EXPECT_EQ(nullable, SQL_NULLABLE);
  EXPECT_EQ(StatementErrors(s).at(0).state, "01004");
  EXPECT_EQ(SQLDescribeCol(s, 2, name, sizeof name, &nameLength, &type, &precision, &scale,
                           &nullable),
            SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(name), "NAME");
  EXPECT_EQ(nullable, SQL_NO_NULLS);
  EXPECT_EQ(SQLDescribeCol(s, 0, name, sizeof name, nullptr, nullptr, nullptr, nullptr, nullptr),
            SQL_ERROR);
  EXPECT_EQ(StatementErrors(s).at(0).state, "S1002");
  EXPECT_EQ(SQLDescribeCol(s, 4, name, sizeof name, nullptr, nullptr, nullptr, nullptr, nullptr),
            SQL_ERROR);
}

TEST_F(StatementTest, ColumnAttributesAnswerEveryDescriptorType) {
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7))
      .Expect(Frame(23, U32(7) + Text16("q"))).Send(ReplyFrame(U16(0) + ThreeColumns()))
      .ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  ASSERT_EQ(SQLPrepare(s, (SQLCHAR*)"q", 1), SQL_SUCCESS);
  auto number = [&](SQLUSMALLINT icol, SQLUSMALLINT type) {
    SQLLEN value;
    std::memset(&value, 0xAB, sizeof value);
    EXPECT_EQ(SQLColAttributes(s, icol, type, nullptr, 0, nullptr, &value), SQL_SUCCESS) << type;
    return value;
  };
  auto text = [&](SQLUSMALLINT icol, SQLUSMALLINT type) {
    char buffer[64] = {0};
    SQLSMALLINT length = -1;
    EXPECT_EQ(SQLColAttributes(s, icol, type, buffer, sizeof buffer, &length, nullptr),
              SQL_SUCCESS)
        << type;
    EXPECT_EQ(length, static_cast<SQLSMALLINT>(std::strlen(buffer)));
    return std::string(buffer);
  };
  EXPECT_EQ(number(1, SQL_COLUMN_COUNT), 3);
  EXPECT_EQ(number(99, SQL_COLUMN_COUNT), 3);
  EXPECT_EQ(text(1, SQL_COLUMN_NAME), "AMOUNT");
  EXPECT_EQ(number(2, SQL_COLUMN_TYPE), SQL_VARCHAR);
  EXPECT_EQ(number(1, SQL_COLUMN_LENGTH), 12);
  EXPECT_EQ(number(2, SQL_COLUMN_LENGTH), 0);  // VARCHAR before the first row
  EXPECT_EQ(number(1, SQL_COLUMN_PRECISION), 10);
  EXPECT_EQ(number(1, SQL_COLUMN_SCALE), 2);
  EXPECT_EQ(number(1, SQL_COLUMN_DISPLAY_SIZE), 12);
  EXPECT_EQ(number(2, SQL_COLUMN_DISPLAY_SIZE), 20);
  EXPECT_EQ(number(2, SQL_COLUMN_NULLABLE), SQL_NO_NULLS);
  EXPECT_EQ(number(1, SQL_COLUMN_UNSIGNED), SQL_FALSE);
  EXPECT_EQ(number(2, SQL_COLUMN_UNSIGNED), SQL_TRUE);
  EXPECT_EQ(number(3, SQL_COLUMN_UNSIGNED), SQL_TRUE);
  EXPECT_EQ(number(1, SQL_COLUMN_MONEY), 0);
  EXPECT_EQ(number(1, SQL_COLUMN_UPDATABLE), SQL_ATTR_WRITE);
  EXPECT_EQ(number(2, SQL_COLUMN_UPDATABLE), SQL_ATTR_READONLY);
  EXPECT_EQ(number(1, SQL_COLUMN_AUTO_INCREMENT), 0);
  EXPECT_EQ(number(2, SQL_COLUMN_CASE_SENSITIVE), 1);
  EXPECT_EQ(number(1, SQL_COLUMN_CASE_SENSITIVE), 0);
  EXPECT_EQ(number(3, SQL_COLUMN_SEARCHABLE), SQL_SEARCHABLE);
  EXPECT_EQ(text(1, SQL_COLUMN_TYPE_NAME), "NUMERIC");
  EXPECT_EQ(text(3, SQL_COLUMN_TYPE_NAME), "BIT");
  EXPECT_EQ(text(1, SQL_COLUMN_TABLE_NAME), "SALES");
  EXPECT_EQ(text(1, SQL_COLUMN_OWNER_NAME), "dbo");
  EXPECT_EQ(text(1, SQL_COLUMN_QUALIFIER_NAME), "");
  EXPECT_EQ(text(1, SQL_COLUMN_LABEL), "AMOUNT");  // the name when there is no label
  // ODBC 3 fields that the driver manager passes through.
  EXPECT_EQ(number(2, SQL_DESC_OCTET_LENGTH), 20);
  EXPECT_EQ(number(1, SQL_DESC_NUM_PREC_RADIX), 10);
  EXPECT_EQ(number(1, SQL_DESC_UNNAMED), SQL_NAMED);
  EXPECT_EQ(text(2, SQL_DESC_LITERAL_PREFIX), "'");
  EXPECT_EQ(text(2, SQL_DESC_BASE_COLUMN_NAME), "NAME");

  SQLLEN untouched = 77;
  EXPECT_EQ(SQLColAttributes(s, 1, 5000, nullptr, 0, nullptr, &untouched), SQL_SUCCESS);
  EXPECT_EQ(untouched, 77);
  EXPECT_EQ(SQLColAttributes(s, 0, SQL_COLUMN_COUNT, nullptr, 0, nullptr, &untouched), SQL_ERROR);
  EXPECT_EQ(StatementErrors(s).at(0).message, "[QTX][Velora ODBC Client]bookmarks not supported yet");
  EXPECT_EQ(SQLColAttributes(s, 4, SQL_COLUMN_NAME, nullptr, 0, nullptr, nullptr), SQL_ERROR);
  EXPECT_EQ(StatementErrors(s).at(0).state, "S1002");
  char buffer[4];
  SQLSMALLINT length = -1;
  EXPECT_EQ(SQLColAttributes(s, 1, SQL_COLUMN_LABEL, buffer, 0, &length, nullptr),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(length, 6);
  EXPECT_EQ(SQLColAttributes(s, 1, SQL_COLUMN_NAME, buffer, sizeof buffer, &length, nullptr),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(buffer, "AMO");
  EXPECT_EQ(length, 6);
}

TEST_F(StatementTest, WithoutAResultSetDescriptionCallsSayIt) {
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7))
      .Expect(Frame(10, U32(7) + Text16("CREATE TABLE t (a INT)") + U16(0)))
      .Send(ReplyFrame(U16(0) + U16(0)))
      .Expect(Frame(25, U32(7))).Send(ReplyFrame(U16(0) + U32(0xFFFFFFFF)))
      .Expect(Frame(10, U32(7) + Text16("x") + U16(0))).Send(ReplyFrame(U16(1)))
      .Expect(Frame(9, U32(7))).Send(ErrorReply("01000", 1, "warning"))
      .ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  ASSERT_EQ(SQLExecDirect(s, (SQLCHAR*)"CREATE TABLE t (a INT)", SQL_NTS), SQL_SUCCESS);
  SQLSMALLINT count = -1;
  EXPECT_EQ(SQLNumResultCols(s, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(SQLDescribeCol(s, 1, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr), SQL_ERROR);
  EXPECT_EQ(StatementErrors(s).at(0).state, "24000");
  EXPECT_EQ(SQLColAttributes(s, 1, SQL_COLUMN_COUNT, nullptr, 0, nullptr, nullptr), SQL_ERROR);
  EXPECT_EQ(StatementErrors(s).at(0).state, "24000");
  SQLLEN rows = 0;
  EXPECT_EQ(SQLRowCount(s, &rows), SQL_SUCCESS);
  EXPECT_EQ(rows, -1);
  EXPECT_EQ(SQLNumResultCols(s, nullptr), SQL_ERROR);
  EXPECT_EQ(StatementErrors(s).at(0).message, "[QTX][Velora ODBC Client]NULL pointer in argument pccol");
  // A warning from the server leaves no description.
  EXPECT_EQ(SQLExecDirect(s, (SQLCHAR*)"x", SQL_NTS), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(SQLNumResultCols(s, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 0);
}

TEST_F(StatementTest, UnknownColumnTypeFailsTheDescriptionKeepingEarlierColumns) {
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7))
      .Expect(Frame(23, U32(7) + Text16("q")))
      .Send(ReplyFrame(U16(0) + U16(2) +
                       ColumnBytes("A", 4, 1, "", 10, 0, "T", SQL_INTEGER, 0) +
                       ColumnBytes("B", 8, 1, "", 15, 0, "T", SQL_DOUBLE, 0)))
      .ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  EXPECT_EQ(SQLPrepare(s, (SQLCHAR*)"q", SQL_NTS), SQL_ERROR);
  EXPECT_EQ(StatementErrors(s).at(0).state, "S1001");
  SQLSMALLINT count = 0;
  EXPECT_EQ(SQLNumResultCols(s, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 1);
}

// Bindings are made by column number and outlive result sets: a binding
// beyond the last column waits for a result set that has its column, and
// SQL_CLOSE keeps the links while SQL_UNBIND removes them.
TEST_F(StatementTest, BindingsLinkToTheColumnsOfEachNewResultSet) {
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7))
      .Expect(Frame(23, U32(7) + Text16("two")))
      .Send(ReplyFrame(U16(0) + U16(2) + ColumnBytes("A", 4, 1, "", 10, 0, "T", SQL_INTEGER, 0) +
                       ColumnBytes("B", 4, 1, "", 10, 0, "T", SQL_INTEGER, 0)))
      .Expect(Frame(23, U32(7) + Text16("three"))).Send(ReplyFrame(U16(0) + ThreeColumns()))
      .Expect(FreeFrame(SQL_CLOSE)).Send(ReturnOnly(0))
      .ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT hstmt = Allocate();
  Statement* s = static_cast<Statement*>(hstmt);  // an HSTMT is the object's address
  SQLINTEGER value = 0;
  SQLLEN length = 0;
  ASSERT_EQ(SQLBindCol(hstmt, 3, SQL_C_SLONG, &value, 0, &length), SQL_SUCCESS);
  ASSERT_EQ(SQLPrepare(hstmt, (SQLCHAR*)"two", SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(s->bindings.Count(), 1u);
  EXPECT_EQ(s->Column(1)->binding, nullptr);
  EXPECT_EQ(s->Column(2)->binding, nullptr);
  ASSERT_EQ(SQLPrepare(hstmt, (SQLCHAR*)"three", SQL_NTS), SQL_SUCCESS);
  ASSERT_NE(s->Column(3), nullptr);
  EXPECT_EQ(s->Column(3)->binding, s->bindings.Find(3));
  EXPECT_NE(s->Column(3)->binding, nullptr);
  EXPECT_EQ(SQLFreeStmt(hstmt, SQL_CLOSE), SQL_SUCCESS);
  EXPECT_NE(s->Column(3)->binding, nullptr);
  EXPECT_EQ(SQLFreeStmt(hstmt, SQL_UNBIND), SQL_SUCCESS);
  EXPECT_EQ(s->Column(3)->binding, nullptr);
  EXPECT_EQ(s->bindings.Count(), 0u);
  SQLSMALLINT count = 0;
  EXPECT_EQ(SQLNumResultCols(hstmt, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 3);  // the description stays
}

TEST_F(StatementTest, CursorNamesRowCountAndTheCallsNotOffered) {
  ScriptLogin(server);
  server.Expect(Frame(0, "")).Send(AllocReply(7))
      .Expect(Frame(29, U32(7) + Text16("mine"))).Send(ReturnOnly(0))
      .Expect(Frame(16, U32(7))).Send(ReplyFrame(U16(0) + Text16("mine")))
      .Expect(Frame(16, U32(7))).Send(ReplyFrame(U16(0) + Text16("mine")))
      .Expect(Frame(16, U32(7))).Send(ReplyFrame(U16(0) + Text16("mine")))
      .Expect(Frame(25, U32(7))).Send(ReplyFrame(U16(0) + U32(3)))
      .Expect(Frame(25, U32(7))).Send(ReplyFrame(U16(0) + U32(3)))
      .ExpectEnd();
  ASSERT_EQ(Connect(server), SQL_SUCCESS);
  SQLHSTMT s = Allocate();
  EXPECT_EQ(SQLSetCursorName(s, (SQLCHAR*)"mine  ", SQL_NTS), SQL_SUCCESS);  // blanks dropped
  char name[8];
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQLGetCursorName(s, (SQLCHAR*)name, sizeof name, &length), SQL_SUCCESS);
  EXPECT_STREQ(name, "mine");
  EXPECT_EQ(SQLGetCursorName(s, (SQLCHAR*)name, 4, &length), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(name, "min");
  EXPECT_EQ(length, 4);
  EXPECT_EQ(StatementErrors(s).at(0).state, "01004");
  length = 0;
  EXPECT_EQ(SQLGetCursorName(s, nullptr, 0, &length), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(SQLRowCount(s, nullptr), SQL_ERROR);  // the request still goes out
  EXPECT_EQ(StatementErrors(s).at(0).message,
            "[QTX][Velora ODBC Client]NULL pointer in argument pcrow");
  SQLLEN rows = 0;
  EXPECT_EQ(SQLRowCount(s, &rows), SQL_SUCCESS);
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(SQLMoreResults(s), SQL_NO_DATA_FOUND);  // no result set: nothing sent
  char native[8];
  SQLINTEGER nativeLength = 0;
  EXPECT_EQ(SQLNativeSql(hdbc, (SQLCHAR*)"SELECT 1", SQL_NTS, (SQLCHAR*)native, sizeof native,
                         &nativeLength),
            SQL_ERROR);
  EXPECT_EQ(ConnectionErrors().at(0).message,
            "[QTX][Velora ODBC Client]SQLNativeSql not implemented");
  EXPECT_EQ(SQLPrepare(s, (SQLCHAR*)"x", -7), SQL_ERROR);
  EXPECT_EQ(StatementErrors(s).at(0).state, "S1090");
}

}  // namespace
