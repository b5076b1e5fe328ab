// The entry points' answers that need no request: refusals on a statement
// (bookmarks, column numbers, fetch types, positioning, locks), SQLBindCol,
// and SQLGetFunctions' fixed table and handle lookup.
#include "handles/Frame.h"
#include "handles/Statement.h"
#include "odbc/info/Functions.h"
#include "odbc/session.h"

namespace {

using RefusalTest = SessionTest;

// Refused calls queue one record (each call clears the records before it)
// and write nothing. SQLBindCol never touches the buffers (offsets stand in
// for pointers: nothing may be read or written through them), keeps one
// binding per column (the type is checked at fetch) and traces them.
TEST_F(RefusalTest, CallsRefusedBeforeAnythingIsWrittenAndBindColNeverTouchesTheBuffers) {
  ScriptStatement();
  SQLHSTMT s = Open();
  SQLULEN rows = 77;
  SQLUSMALLINT status[1] = {5};
  char buffer[8];
  SQLLEN length = 3;
  const std::string got[] = {
      // Forward-only: every fetch type but the next rowset (and the first
      // before any row) is out of range.
      Stmt(SQLExtendedFetch(s, SQL_FETCH_LAST, 1, &rows, status), s),
      Stmt(SQLSetPos(s, 1, SQL_POSITION, SQL_LOCK_NO_CHANGE), s),
      Stmt(SQLSetScrollOptions(s, SQL_CONCUR_LOCK, SQL_SCROLL_STATIC, 1), s),
      Stmt(SQLBindCol(s, 0, SQL_C_CHAR, buffer, 8, &length), s),
      Stmt(SQLGetData(s, 0, SQL_C_CHAR, buffer, 8, &length), s),
      Stmt(SQLGetData(s, 1, SQL_C_CHAR, buffer, 8, &length), s)};  // no result set: every column out of range
  EXPECT_EQ(got[0] + "|" + got[1] + "|" + got[2] + "|" + got[3] + "|" + got[4] + "|" + got[5],
            "ERROR S1106 1072 C:fetch type out of range|ERROR 24000 1006 C:result set does not exist|"
            "ERROR S1C00 1061 C:cursors are read-only: SQLSetPos only positions|ERROR S1C00 1061 C:bookmarks not "
            "supported yet|"
            "ERROR S1C00 1061 C:bookmarks not supported yet|ERROR S1002 1044 C:column number out of "
            "range");
  EXPECT_EQ(std::to_string(rows) + " " + std::to_string(status[0]) + " " + std::to_string(length), "77 5 3");
  SQLPOINTER offset = reinterpret_cast<SQLPOINTER>(0x10);
  SQLLEN* lengthOffset = reinterpret_cast<SQLLEN*>(0x20);
  TraceCapture trace("A2");
  EXPECT_EQ(SQL_SUCCESS, SQLBindCol(s, 3, SQL_C_CHAR, offset, 100, lengthOffset));
  EXPECT_EQ(SQL_SUCCESS, SQLBindCol(s, 3, SQL_C_SLONG, offset, 0, lengthOffset));
  EXPECT_EQ(SQL_SUCCESS, SQLBindCol(s, 2, 12345, offset, 0, nullptr));
  EXPECT_EQ(SQL_SUCCESS, SQLBindCol(s, 3, SQL_C_SLONG, nullptr, 0, nullptr));
  const Statement* statement = static_cast<Statement*>(s);  // an HSTMT is the object
  ASSERT_EQ(1u, statement->bindings.Count());
  EXPECT_EQ(2, statement->bindings.Head()->columnNumber);
  SQLGetData(s, 2, SQL_C_SLONG, offset, 4, nullptr);
  char handle[32];
  std::snprintf(handle, sizeof handle, "0x%08lx", HandleValue(s));
  EXPECT_TRUE(trace.Has('A', 2, std::string("SQLBindCol: hstmt=") + handle + ", icol=3")) << trace.Text();
  EXPECT_TRUE(trace.Has('A', 2, " fCType=1, rgbValue=0x10, cbValueMax=100")) << trace.Text();
  EXPECT_TRUE(trace.Has('A', 2, std::string("SQLGetData: hstmt=") + handle + ", icol=2"));
  EXPECT_TRUE(trace.Has('A', 2, " fCType=-16, rgbValue=0x10, cbValueMax=4"));
}

// The whole table (exactly 100 entries, through the connection) agrees
// with the single answers; numbers beyond it (ODBC 3 functions asked one
// by one) are unsupported. The trace lists entries 1..71: the 43
// supported ones below 72, 28 others.
TEST_F(RefusalTest, GetFunctionsTableSingleAnswersAndTrace) {
  SQLUSMALLINT table[102];
  for (SQLUSMALLINT& entry : table) entry = 0x5555;
  ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(hdbc, SQL_API_ALL_FUNCTIONS, table));
  int supported = 0;
  EXPECT_EQ(0, table[0]);
  EXPECT_EQ(0x5555, table[100]);
  const std::pair<SQLUSMALLINT, SQLUSMALLINT> cases[] = {{SQL_API_SQLGETDATA, 1},
                                                         {63, 1},
                                                         {62, 0},
                                                         {SQL_API_SQLEXTENDEDFETCH, 1},
                                                         {SQL_API_SQLMORERESULTS, 1},
                                                         {SQL_API_SQLSETPOS, 1},
                                                         {71, 0},
                                                         {99, 0},
                                                         {100, 0},
                                                         {SQL_API_SQLFETCHSCROLL, 0},
                                                         {65535, 0}};
  for (SQLUSMALLINT i = 1; i < 100; ++i) {
    SQLUSMALLINT exists = 0x5555;
    ASSERT_EQ(SQL_SUCCESS, GetFunctions(i, &exists));
    EXPECT_EQ(exists, table[i]) << "entry " << i;
    supported += table[i];
  }
  EXPECT_EQ(45, supported);
  for (const auto& c : cases) {
    SQLUSMALLINT exists = 0x5555;
    EXPECT_EQ(SQL_SUCCESS, GetFunctions(c.first, &exists));
    EXPECT_EQ(c.second, exists) << "function " << c.first;
  }
  EXPECT_EQ(SQL_SUCCESS, GetFunctions(SQL_API_ALL_FUNCTIONS, nullptr));
  for (SQLUSMALLINT function : {SQLUSMALLINT{0}, SQLUSMALLINT{72}, SQLUSMALLINT{100}}) {
    TraceCapture trace("A2");
    GetFunctions(function, table);
    std::string lines = trace.Text();
    ASSERT_NE(std::string::npos, lines.find("SQLGetFunctions: Results\n")) << lines;
    lines = lines.substr(lines.find("SQLGetFunctions: Results\n"));
    int trues = 0, falses = 0;
    for (size_t p = lines.find("A2:     "); p != std::string::npos; p = lines.find("A2:     ", p + 1)) {
      trues += lines.compare(p + 8, 5, "TRUE\n") == 0;
      falses += lines.compare(p + 8, 6, "FALSE\n") == 0;
    }
    EXPECT_EQ(44 * 100 + 27, trues * 100 + falses) << lines;
  }
}

}  // namespace
