// Statements against the scripted server: allocation, freeing, closing
// and what each sends, a lost server, preparation, execution, cursor
// names, row counts and the description of result sets.
#include <cstring>

#include "driver_session.h"
#include "handles/Connection.h"

namespace {

using StatementTest = DriverSession;

std::string FreeFrame(uint16_t option) { return Frame(15, U32(7) + U16(option)); }
// AMOUNT NUMERIC(10,2) updatable, NAME VARCHAR(20) not null, FLAG BIT.
std::string ThreeColumns() {
  return U16(3) + Column("AMOUNT", 12, SQL_NULLABLE, SQL_NUMERIC, 10, 2, 1) +
         Column("NAME", 20, SQL_NO_NULLS, SQL_VARCHAR, 20) + Column("FLAG", 1, 1, SQL_BIT, 1);
}

// A server that went away has forgotten the statement and the session:
// SQL_UNBIND and SQL_RESET_PARAMS send nothing, SQL_CLOSE reports the
// failure, SQL_DROP frees the handle (else an application closing its
// cursors after a lost connection could never get rid of them), and
// SQLDisconnect ends the session with 01002.
TEST_F(StatementTest, LostServerStillLetsTheApplicationFreeEverything) {
  ScriptStatement().Close();
  SQLHSTMT s = Open();
  ASSERT_TRUE(server.Finish()) << server.Error();
  EXPECT_EQ(SQLFreeStmt(s, SQL_UNBIND), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_RESET_PARAMS), SQL_SUCCESS);
  EXPECT_EQ(Stmt(SQLFreeStmt(s, SQL_CLOSE), s),
            "ERROR 08S01 3047 [QTX][Velora ODBC Client]communication failure");
  EXPECT_EQ(SQLFreeStmt(s, SQL_DROP), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_INVALID_HANDLE);
  EXPECT_EQ(Conn(SQLDisconnect(hdbc)), "INFO 01002 3047 [QTX][Velora ODBC Client]disconnect error");
  EXPECT_FALSE(static_cast<Connection*>(hdbc)->LoggedIn());
}

// A refused allocation leaves no statement and a refused drop a working
// handle; SQLCancel closes. The server forgets a session's statements
// when it ends; so does the driver: a statement left at disconnect is
// freed with the session, and its handle can never reach a later one.
TEST_F(StatementTest, AllocationFreeingAndDisconnectFreesWhatIsLeft) {
  ScriptLogin().Expect(Frame(0, "")).Send(ReturnOnly(0xFFFF))
      .Expect(Frame(9, U32(0))).Send(ErrorReply("S1000", 9, "too many statements"))
      .Expect(Frame(0, "")).Send(Alloc(7)).Expect(FreeFrame(SQL_DROP)).Send(ReturnOnly(0xFFFF))
      .Expect(Frame(9, U32(7))).Send(ErrorReply("S1010", 2, "busy"))
      .Expect(FreeFrame(SQL_CLOSE)).Send(ReturnOnly(0)).Expect(FreeFrame(SQL_CLOSE)).Send(ReturnOnly(0))
      .Expect(Bytes({6, 0, 0, 0, 0x0F, 0, 7, 0, 0, 0, 1, 0})).Send(ReturnOnly(0))
      .Expect(Frame(0, "")).Send(Alloc(8)).Expect(Frame(8, "")).Send(ReturnOnly(0)).ExpectEnd();
  ASSERT_EQ(Connect(), SQL_SUCCESS);
  SQLHSTMT s = reinterpret_cast<SQLHSTMT>(1), left = nullptr;
  EXPECT_EQ(SQLAllocStmt(hdbc, &s), SQL_ERROR);
  EXPECT_EQ(s, nullptr);
  EXPECT_EQ(ConnDiag(), "S1000 9 [QTX][Velora ODBC Server]too many statements");
  ASSERT_EQ(SQLAllocStmt(hdbc, &s), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_DROP), SQL_ERROR);
  EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_SUCCESS);
  EXPECT_EQ(SQLCancel(s), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_DROP), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_INVALID_HANDLE);
  ASSERT_EQ(SQLAllocStmt(hdbc, &left), SQL_SUCCESS);
  ASSERT_EQ(SQLDisconnect(hdbc), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(left, SQL_CLOSE), SQL_INVALID_HANDLE);
  EXPECT_EQ(SQLFreeStmt(left, SQL_DROP), SQL_INVALID_HANDLE);
}

// The description survives SQL_CLOSE for the executions that follow; the
// column attributes come from it (or are refused at its limits); a
// description with an unknown column type fails, keeping the columns
// before it.
TEST_F(StatementTest, PrepareDescribesAndCloseKeepsTheDescriptionForExecute) {
  const std::string sql = "SELECT AMOUNT, NAME, FLAG FROM SALES";
  ScriptStatement().Expect(Frame(23, U32(7) + Text16(sql))).Send(ReplyFrame(U16(0) + ThreeColumns()))
      .Expect(FreeFrame(SQL_CLOSE)).Send(ReturnOnly(0))
      .Expect(Frame(11, U32(7) + U16(0))).Send(ReturnOnly(0))
      .Expect(Frame(11, U32(7) + U16(0))).Send(ReturnOnly(0)).Expect(Frame(23, U32(7) + Text16("q")))
      .Send(ReplyFrame(U16(0) + U16(2) + Column("A", 4, 1, SQL_INTEGER) + Column("B", 8, 1, SQL_DOUBLE)))
      .ExpectEnd();
  SQLHSTMT s = Open();
  ASSERT_EQ(SQLPrepare(s, (SQLCHAR*)sql.c_str(), SQL_NTS), SQL_SUCCESS);
  EXPECT_EQ(SQLFreeStmt(s, SQL_CLOSE), SQL_SUCCESS);
  EXPECT_EQ(SQLExecute(s), SQL_SUCCESS);
  EXPECT_EQ(SQLExecute(s), SQL_SUCCESS);
  SQLCHAR name[16];
  SQLSMALLINT count = 0, length = 0, type = 0, scale = 0, nullable = 0;
  SQLULEN precision = 0;
  EXPECT_EQ(SQLDescribeCol(s, 1, name, 5, &length, &type, &precision, &scale, &nullable),
            SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ((char*)name + (" " + std::to_string(length)) + " " + std::to_string(type) + " " +
                std::to_string(precision) + " " + std::to_string(scale) + " " + std::to_string(nullable),
            "AMOU 6 2 10 2 1");
  EXPECT_EQ(Diag(nullptr, s), "01004 1041 [QTX][Velora ODBC Client]data truncated");
  const struct {
    SQLUSMALLINT icol, type;
    SQLLEN number;
    const char* text = nullptr;  // set for the text answers
  } rows[] = {{1, SQL_COLUMN_COUNT, 3}, {99, SQL_COLUMN_COUNT, 3}, {2, SQL_COLUMN_TYPE, SQL_VARCHAR},
              {1, SQL_COLUMN_LENGTH, 12}, {2, SQL_COLUMN_LENGTH, 0},  // VARCHAR: no row yet
              {2, SQL_COLUMN_DISPLAY_SIZE, 20}, {2, SQL_COLUMN_NULLABLE, SQL_NO_NULLS},
              {1, SQL_COLUMN_UPDATABLE, SQL_ATTR_WRITE}, {1, 5000, -1},  // unknown: nothing written
              {1, SQL_COLUMN_TABLE_NAME, 0, "SALES"}, {1, SQL_COLUMN_LABEL, 0, "AMOUNT"}};  // no label: the name
  for (const auto& r : rows) {
    char text[64] = {0};
    SQLLEN number = -1;  // every bit set: the whole SQLLEN must be written
    EXPECT_EQ(SQLColAttributes(s, r.icol, r.type, text, sizeof text, &length, &number), SQL_SUCCESS);
    EXPECT_EQ(r.text ? text + ("/" + std::to_string(length)) : std::to_string(number),
              r.text ? r.text + ("/" + std::to_string(std::strlen(r.text))) : std::to_string(r.number))
        << r.icol << " " << r.type;
  }
  EXPECT_EQ(SQLColAttributes(s, 1, SQL_COLUMN_LABEL, name, 0, &length, nullptr), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(length, 6);
  EXPECT_EQ(SQLColAttributes(s, 1, SQL_COLUMN_NAME, name, 4, &length, nullptr), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ((char*)name, "AMO");
  EXPECT_EQ(Stmt(SQLColAttributes(s, 0, SQL_COLUMN_COUNT, nullptr, 0, nullptr, nullptr), s),
            "ERROR S1C00 1061 [QTX][Velora ODBC Client]bookmarks not supported yet");
  for (SQLUSMALLINT outside : {0, 4}) {
    EXPECT_EQ(Stmt(SQLDescribeCol(s, outside, name, sizeof name, nullptr, nullptr, nullptr, nullptr,
                             nullptr), s), "ERROR S1002 1044 [QTX][Velora ODBC Client]column number out of range");
  }
  EXPECT_EQ(Stmt(SQLColAttributes(s, 4, SQL_COLUMN_NAME, nullptr, 0, nullptr, nullptr), s),
            "ERROR S1002 1044 [QTX][Velora ODBC Client]column number out of range");
  EXPECT_EQ(Stmt(SQLPrepare(s, (SQLCHAR*)"q", SQL_NTS), s).substr(0, 11), "ERROR S1001");
  EXPECT_EQ(SQLNumResultCols(s, &count), SQL_SUCCESS);
  EXPECT_EQ(count, 1);
}

// Without a description (none, or a warning instead) the calls that need
// one say so; cursor names lose trailing blanks and are cut with 01004;
// the server's "no count" reaches the application as -1.
TEST_F(StatementTest, NoResultSetCursorNamesAndRowCount) {
  const std::string name = ReplyFrame(U16(0) + Text16("mine"));
  ScriptStatement().Expect(Frame(10, U32(7) + Text16("CREATE TABLE t (a INT)") + U16(0)))
      .Send(ReplyFrame(U16(0) + U16(0))).Expect(Frame(10, U32(7) + Text16("x") + U16(0)))
      .Send(ReplyFrame(U16(1))).Expect(Frame(9, U32(7))).Send(ErrorReply("01000", 1, "warning"))
      .Expect(Frame(29, U32(7) + Text16("mine"))).Send(ReturnOnly(0))
      .Expect(Frame(16, U32(7))).Send(name).Expect(Frame(16, U32(7))).Send(name)
      .Expect(Frame(16, U32(7))).Send(name).Expect(Frame(25, U32(7))).Send(ReplyFrame(U16(0) + U32(3)))
      .Expect(Frame(25, U32(7))).Send(ReplyFrame(U16(0) + U32(0xFFFFFFFF))).ExpectEnd();
  SQLHSTMT s = Open();
  const std::string none = "24000 1006 [QTX][Velora ODBC Client]result set does not exist";
  for (const char* sql : {"CREATE TABLE t (a INT)", "x"}) {  // "x": a warning, no description
    EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)sql, SQL_NTS)));
    EXPECT_EQ(Stmt(SQLDescribeCol(s, 1, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr), s),
              "ERROR " + none);
    EXPECT_EQ(Stmt(SQLColAttributes(s, 1, SQL_COLUMN_COUNT, nullptr, 0, nullptr, nullptr), s), "ERROR " + none);
  }
  EXPECT_EQ(Stmt(SQLNumResultCols(s, nullptr), s),
            "ERROR S1000 1072 [QTX][Velora ODBC Client]NULL pointer in argument pccol");
  EXPECT_EQ(SQLSetCursorName(s, (SQLCHAR*)"mine  ", SQL_NTS), SQL_SUCCESS);
  char text[8];
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQLGetCursorName(s, (SQLCHAR*)text, sizeof text, &length), SQL_SUCCESS);
  EXPECT_STREQ(text, "mine");
  EXPECT_EQ(SQLGetCursorName(s, (SQLCHAR*)text, 4, &length), SQL_SUCCESS_WITH_INFO);
  EXPECT_STREQ(text, "min");
  EXPECT_EQ(Diag(nullptr, s), "01004 1041 [QTX][Velora ODBC Client]data truncated");
  EXPECT_EQ(SQLGetCursorName(s, nullptr, 0, &length), SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(length, 4);
  EXPECT_EQ(Stmt(SQLRowCount(s, nullptr), s),
            "ERROR S1000 1072 [QTX][Velora ODBC Client]NULL pointer in argument pcrow");  // the request still goes out
  SQLLEN rows = 0;
  EXPECT_EQ(SQLRowCount(s, &rows), SQL_SUCCESS);
  EXPECT_EQ(rows, -1);  // the server's "no count"
  EXPECT_EQ(Stmt(SQLPrepare(s, (SQLCHAR*)"x", -7), s).substr(0, 11), "ERROR S1090");
}

}  // namespace
