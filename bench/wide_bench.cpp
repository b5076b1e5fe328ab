// Benchmark (printed figures, no assertions): fetches wide rows (16
// columns of mixed types: integers, doubles, decimals, text of 20 to 100
// characters, timestamps, a date; some NULLs) through unixODBC from a
// velora-server of its own, bound row-wise into rowsets of 100 rows and
// column-wise into arrays of 1000 (as columnar readers bind), and prints
// rows and values per second.
//
//   wide_bench [--rows N] [--server PATH] [--driver PATH]   (over SQLite)
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench_support.h"

namespace {

constexpr int kColumns = 16;
// Each column's SQL type, the C type it is bound as and the bytes a value takes there.
struct Col {
  const char* sql;
  SQLSMALLINT cType;
  SQLLEN size;
};
const Col kCols[kColumns] = {
    {"id INTEGER", SQL_C_SLONG, 4},
    {"small SMALLINT", SQL_C_SSHORT, 2},
    {"qty INTEGER", SQL_C_SLONG, 4},
    {"big BIGINT", SQL_C_SBIGINT, 8},
    {"price DOUBLE", SQL_C_DOUBLE, 8},
    {"ratio FLOAT", SQL_C_DOUBLE, 8},
    {"score REAL", SQL_C_FLOAT, 4},
    {"total DECIMAL(12,2)", SQL_C_CHAR, 16},
    {"rate NUMERIC(10,4)", SQL_C_CHAR, 16},
    {"code VARCHAR(20)", SQL_C_CHAR, 24},
    {"title VARCHAR(60)", SQL_C_CHAR, 64},
    {"note VARCHAR(100)", SQL_C_CHAR, 104},
    {"created TIMESTAMP", SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT)},
    {"changed TIMESTAMP", SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT)},
    {"day DATE", SQL_C_TYPE_DATE, sizeof(SQL_DATE_STRUCT)},
    {"tag VARCHAR(40)", SQL_C_CHAR, 40}};

void CreateDatabase(const std::string& path, long rows) {
  std::string sql = "CREATE TABLE wide (";
  for (int c = 0; c < kColumns; ++c) sql += std::string(c ? ", " : "") + kCols[c].sql;
  sql +=
      "); INSERT INTO wide WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i "
      "< " +
      std::to_string(rows) +
      ") SELECT i, i % 30000, i * 3, i * 1000003, i * 0.5, i * 0.125, i * 0.25, round(i * 1.01, 2),"
      " CASE WHEN i % 7 = 0 THEN NULL ELSE round(i * 0.0001, 4) END, printf('code-%08d', i),"
      " printf('%-50s', 'title of row ' || i), CASE WHEN i % 5 = 0 THEN NULL ELSE"
      " printf('%-90s', 'a longer note about row ' || i) END,"
      " datetime('2024-01-01 00:00:00', '+' || i || ' seconds'), CASE WHEN i % 3 = 0 THEN NULL ELSE"
      " datetime('2024-06-01 12:00:00', '+' || i || ' minutes') END, date('2024-01-01', '+' || (i "
      "% 365) || ' days'),"
      " CASE WHEN i % 11 = 0 THEN NULL ELSE 'tag-' || (i % 97) END FROM n;";
  sqlite3* db = nullptr;
  char* error = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK ||
      sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK)
    Fail(std::string("creating the table: ") + (error ? error : "?"));
  sqlite3_close(db);
}

// One pass over the table in rowsets of size rows, bound row-wise or
// column-wise; returns rows per second.
double FetchWide(SQLHDBC dbc, bool rowWise, SQLULEN size, long* count) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ODBC_OK(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_HANDLE_DBC, dbc);
  SQLLEN rowBytes = 0;  // row-wise: each column's value, then its length
  for (const Col& c : kCols) rowBytes += (c.size + 7) / 8 * 8 + sizeof(SQLLEN);
  std::vector<char> buffer(static_cast<size_t>(rowBytes) * size);
  SQLULEN fetched = 0;
  ODBC_OK(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)(rowWise ? rowBytes : 0), 0),
          SQL_HANDLE_STMT, stmt);
  ODBC_OK(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)size, 0), SQL_HANDLE_STMT,
          stmt);
  ODBC_OK(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0), SQL_HANDLE_STMT, stmt);
  std::vector<SQLINTEGER*> ids;
  size_t at = 0;
  for (int c = 0; c < kColumns; ++c) {
    const size_t value = static_cast<size_t>((kCols[c].size + 7) / 8 * 8);
    char* data = buffer.data() + (rowWise ? at : at * size);
    SQLLEN* length = reinterpret_cast<SQLLEN*>(data + (rowWise ? value : value * size));
    ODBC_OK(SQLBindCol(stmt, SQLUSMALLINT(c + 1), kCols[c].cType, data, kCols[c].size, length),
            SQL_HANDLE_STMT, stmt);
    at += value + sizeof(SQLLEN);
  }
  const Clock::time_point start = Clock::now();
  ODBC_OK(SQLExecDirect(stmt, (SQLCHAR*)"SELECT * FROM wide ORDER BY id", SQL_NTS), SQL_HANDLE_STMT,
          stmt);
  long rows = 0;
  long long checksum = 0;
  for (SQLRETURN rc; (rc = SQLFetch(stmt)) != SQL_NO_DATA;) {
    if (!SQL_SUCCEEDED(rc)) OdbcFail("SQLFetch", SQL_HANDLE_STMT, stmt);
    for (SQLULEN r = 0; r < fetched; ++r) {
      // Column 1 is first in the row or in the buffer; a column-wise array
      // of a fixed C type holds its values at the type's size apart.
      SQLINTEGER id = 0;
      std::memcpy(&id, buffer.data() + (rowWise ? r * rowBytes : r * sizeof id), sizeof id);
      checksum += id;
    }
    rows += static_cast<long>(fetched);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  if (checksum != static_cast<long long>(rows) * (rows + 1) / 2) Fail("rows came back wrong");
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  *count = rows;
  return rows / seconds;
}

void Measure(const std::string& server, const std::string& driver, const std::string& db) {
  const int port = StartServer(server, g_dir, db);
  WriteIni(g_dir, driver, port);
  Odbc odbc = Connect(port);
  for (bool rowWise : {true, false}) {
    long count = 0;
    const double rate = FetchWide(odbc.dbc, rowWise, rowWise ? 100 : 1000, &count);
    std::printf("  %s: %10.0f rows/s %11.0f values/s (%ld rows)\n",
                rowWise ? "row-wise, rowsets of 100   " : "column-wise, arrays of 1000", rate,
                rate * kColumns, count);
  }
  Disconnect(&odbc);
  StopServer();
}

}  // namespace

int main(int argc, char** argv) {
  g_program = "wide_bench";
  long rows = 100000;
  std::string server = VEL_BENCH_SERVER, driver = VEL_BENCH_DRIVER;
  ParseOptions(argc, argv, &rows, &server, &driver);
  MakeWorkDir();
  const std::string db = g_dir + "/wide.db";
  std::printf(
      "wide_bench: %ld rows of 16 columns (integers, doubles, decimals, text, timestamps, a date; "
      "some NULLs)\n",
      rows);
  CreateDatabase(db, rows);
  Measure(server, driver, db);
  RemoveDir();
  return 0;
}
