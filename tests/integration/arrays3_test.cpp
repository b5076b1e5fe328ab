// Row and parameter arrays of the ODBC 3.x library (VelWide) through the
// driver manager: 200 rows inserted by arrays of 100 parameter sets in
// both binding kinds, a set that fails in the middle of an array, every
// row read back by SQLFetchScroll in rowsets of 100 in both binding kinds,
// and an explicit descriptor as the row descriptor.
#include <cstdio>
#include <cstring>

#include "integration.h"

namespace {

struct Pair {
  SQLINTEGER id;
  SQLLEN idLength;
  char name[20];
  SQLLEN nameLength;
};

// Binds ids and names for sets (or rows) of 100: column-wise from the
// arrays, row-wise from pairs.
void Bind(SQLHSTMT s, bool rows, bool rowWise, Pair* pairs, SQLINTEGER* ids, char (*names)[20], SQLLEN* lengths) {
  const SQLULEN type = rowWise ? sizeof(Pair) : 0;
  SQLSetStmtAttr(s, rows ? SQL_ATTR_ROW_BIND_TYPE : SQL_ATTR_PARAM_BIND_TYPE, (SQLPOINTER)type, 0);
  SQLSetStmtAttr(s, rows ? SQL_ATTR_ROW_ARRAY_SIZE : SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)100, 0);
  SQLPOINTER id = rowWise ? (SQLPOINTER)&pairs[0].id : ids, name = rowWise ? pairs[0].name : names[0];
  SQLLEN* nameLength = rowWise ? &pairs[0].nameLength : lengths;
  if (rows) {
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(s, 1, SQL_C_SLONG, id, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(s, 2, SQL_C_CHAR, name, 20, nameLength));
  } else {
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, id, 0, nullptr));
    ASSERT_EQ(SQL_SUCCESS,
              SQLBindParameter(s, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, name, 20, nameLength));
  }
}

TEST(Odbc3Arrays, RowsAndParameterSetsOfAHundredInBothBindingKinds) {
  OdbcConnection c;
  ASSERT_TRUE(SQL_SUCCEEDED(c.DriverConnect("DSN=VelWide"))) << c.Diag();
  c.Execute("DROP TABLE arrays3");
  ASSERT_EQ(SQL_SUCCESS, c.Execute("CREATE TABLE arrays3 (id INTEGER PRIMARY KEY, name VARCHAR(20))"));
  SQLHSTMT s = c.Statement();
  Pair pairs[100];
  SQLINTEGER ids[100];
  char names[100][20];
  SQLLEN lengths[100], count = 0;
  SQLUSMALLINT status[100];
  SQLULEN done = 0;
  SQLSetStmtAttr(s, SQL_ATTR_PARAM_STATUS_PTR, status, 0);
  SQLSetStmtAttr(s, SQL_ATTR_PARAMS_PROCESSED_PTR, &done, 0);
  for (bool rowWise : {false, true}) {
    for (int i = 0; i < 100; ++i) {
      const int id = i + 1 + (rowWise ? 100 : 0);
      ids[i] = pairs[i].id = id;
      std::snprintf(names[i], sizeof names[i], "n%d", id);
      std::strcpy(pairs[i].name, names[i]);
      lengths[i] = pairs[i].nameLength = SQL_NTS;
    }
    Bind(s, false, rowWise, pairs, ids, names, lengths);
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(s, (SQLCHAR*)"INSERT INTO arrays3 VALUES (?, ?)", SQL_NTS))
        << Diag(SQL_HANDLE_STMT, s);
    SQLRowCount(s, &count);
    EXPECT_EQ("100 100 0 0", std::to_string(done) + " " + std::to_string(count) + " " + std::to_string(status[0]) +
                                 " " + std::to_string(status[99]));
  }
  // A duplicate key in the middle: the sets around it are inserted.
  SQLINTEGER more[3] = {201, 5, 202};
  SQLFreeStmt(s, SQL_RESET_PARAMS);
  SQLSetStmtAttr(s, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)3, 0);
  SQLSetStmtAttr(s, SQL_ATTR_PARAM_BIND_TYPE, SQL_PARAM_BIND_BY_COLUMN, 0);
  SQLBindParameter(s, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, more, 0, nullptr);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLExecDirect(s, (SQLCHAR*)"INSERT INTO arrays3 (id) VALUES (?)", SQL_NTS));
  SQLRowCount(s, &count);
  EXPECT_EQ("0 5 0 3 2", std::to_string(status[0]) + " " + std::to_string(status[1]) + " " + std::to_string(status[2]) +
                             " " + std::to_string(done) + " " + std::to_string(count));
  SQLFreeHandle(SQL_HANDLE_STMT, s);

  // Read back in rowsets of 100: 100, 100, 2, then the end.
  for (bool rowWise : {false, true}) {
    s = c.Statement();
    SQLULEN fetched = 0;
    SQLSetStmtAttr(s, SQL_ATTR_ROW_STATUS_PTR, status, 0);
    SQLSetStmtAttr(s, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    Bind(s, true, rowWise, pairs, ids, names, lengths);
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(s, (SQLCHAR*)"SELECT id, name FROM arrays3 ORDER BY id", SQL_NTS));
    std::string seen, wrong;
    long sum = 0;
    SQLRETURN rc;
    while ((rc = SQLFetchScroll(s, SQL_FETCH_NEXT, 0)) == SQL_SUCCESS && seen.size() < 20) {
      seen += std::to_string(fetched) + " ";
      for (SQLULEN i = 0; i < 100; ++i) {
        const int id = rowWise ? pairs[i].id : ids[i];
        const std::string name = rowWise ? pairs[i].name : names[i];
        const SQLLEN length = rowWise ? pairs[i].nameLength : lengths[i];
        if (i >= fetched) {
          if (status[i] != SQL_ROW_NOROW) wrong += " norow " + std::to_string(i);
          continue;
        }
        sum += id;
        const bool right = id > 200 ? length == SQL_NULL_DATA : name == "n" + std::to_string(id);
        if (!right || status[i] != SQL_ROW_SUCCESS) wrong += " row " + std::to_string(id);
      }
    }
    EXPECT_EQ(SQL_NO_DATA, rc) << Diag(SQL_HANDLE_STMT, s);
    EXPECT_EQ("100 100 2 ", seen);
    EXPECT_EQ("", wrong);
    EXPECT_EQ(200 * 201 / 2 + 201 + 202, sum);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
  }

  // An explicit row descriptor: the first rowset's ids; the implementation
  // row descriptor's record read back.
  s = c.Statement();
  SQLHDESC desc = nullptr, ird = nullptr;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, c.dbc, &desc));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(desc, 0, SQL_DESC_ARRAY_SIZE, (SQLPOINTER)100, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(desc, 1, SQL_C_SLONG, 0, 4, 0, 0, ids, nullptr, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(s, SQL_ATTR_APP_ROW_DESC, desc, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(s, (SQLCHAR*)"SELECT id FROM arrays3 ORDER BY id", SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(s));
  EXPECT_EQ("1 100", std::to_string(ids[0]) + " " + std::to_string(ids[99]));
  ASSERT_EQ(SQL_SUCCESS, SQLGetStmtAttr(s, SQL_ATTR_IMP_ROW_DESC, &ird, 0, nullptr));
  SQLCHAR name[16] = {0};
  SQLSMALLINT type = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLGetDescRec(ird, 1, name, sizeof name, nullptr, &type, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ("id 4", std::string((char*)name) + " " + std::to_string(type));
  SQLFreeHandle(SQL_HANDLE_STMT, s);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DESC, desc));
}

}  // namespace
