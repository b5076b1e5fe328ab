// Benchmark (printed figures, no assertions): inserts rows of (INTEGER,
// VARCHAR(20), FLOAT, TIMESTAMP) through unixODBC into a velora-server of
// its own with one statement prepared once and executed per row, its four
// parameters bound once and changed in place, and prints rows per second.
//
//   insert_bench [--rows N] [--server PATH] [--driver PATH] [--storage URI]
// (with a PostgreSQL URI: the same over SQLite and then over PostgreSQL)
#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_support.h"

namespace {

void CreateTable(const std::string& path) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK ||
      sqlite3_exec(db,
                   "CREATE TABLE ins (id INTEGER, name VARCHAR(20), amount FLOAT, at TIMESTAMP)",
                   nullptr, nullptr, nullptr) != SQLITE_OK) {
    Fail("cannot create " + path);
  }
  sqlite3_close(db);
}

// Inserts rows in one transaction; returns rows per second.
double InsertRows(SQLHDBC dbc, long rows) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ODBC_OK(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_HANDLE_DBC, dbc);
  SQLINTEGER id = 0;
  char name[24];
  double amount = 0;
  SQL_TIMESTAMP_STRUCT at = {2024, 1, 1, 0, 0, 0, 0};
  SQLLEN nts = SQL_NTS;
  ODBC_OK(
      SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &id, 0, nullptr),
      SQL_HANDLE_STMT, stmt);
  ODBC_OK(SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, name, 0, &nts),
          SQL_HANDLE_STMT, stmt);
  ODBC_OK(SQLBindParameter(stmt, 3, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_FLOAT, 0, 0, &amount, 0,
                           nullptr),
          SQL_HANDLE_STMT, stmt);
  ODBC_OK(SQLBindParameter(stmt, 4, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 0, 0,
                           &at, 0, nullptr),
          SQL_HANDLE_STMT, stmt);
  Clock::time_point start = Clock::now();
  ODBC_OK(SQLPrepare(stmt, (SQLCHAR*)"INSERT INTO ins VALUES (?, ?, ?, ?)", SQL_NTS),
          SQL_HANDLE_STMT, stmt);
  for (long i = 1; i <= rows; ++i) {
    id = static_cast<SQLINTEGER>(i);
    std::snprintf(name, sizeof name, "row-%06ld", i);
    amount = i * 1.25;
    at.second = static_cast<SQLUSMALLINT>(i % 60);
    ODBC_OK(SQLExecute(stmt), SQL_HANDLE_STMT, stmt);
  }
  ODBC_OK(SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT), SQL_HANDLE_DBC, dbc);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  SQLFreeStmt(stmt, SQL_RESET_PARAMS);
  SQLINTEGER count = 0;
  ODBC_OK(SQLExecDirect(stmt, (SQLCHAR*)"SELECT COUNT(*), SUM(id) FROM ins", SQL_NTS),
          SQL_HANDLE_STMT, stmt);
  double sum = 0;
  if (SQLFetch(stmt) != SQL_SUCCESS ||
      SQLGetData(stmt, 1, SQL_C_SLONG, &count, 0, nullptr) != SQL_SUCCESS ||
      SQLGetData(stmt, 2, SQL_C_DOUBLE, &sum, 0, nullptr) != SQL_SUCCESS || count != rows ||
      sum != static_cast<double>(rows) * (rows + 1) / 2) {
    Fail("the rows inserted did not come back");
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return rows / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  g_program = "insert_bench";
  long rows = 20000;
  std::string server = VEL_BENCH_SERVER, driver = VEL_BENCH_DRIVER;
  std::string storage;
  ParseOptions(argc, argv, &rows, &server, &driver, &storage);
  MakeWorkDir();
  // SQLite, then the PostgreSQL database --storage names (its table "ins"
  // made again).
  for (const std::string& db : {g_dir + "/bench.db", storage}) {
    if (db.empty()) continue;
    if (!IsPostgres(db)) CreateTable(db);
    int port = StartServer(server, g_dir, db);
    WriteIni(g_dir, driver, port);
    Odbc odbc = Connect(port);
    if (IsPostgres(db)) {
      ExecSql(odbc.dbc, "DROP TABLE IF EXISTS ins");
      ExecSql(odbc.dbc,
              "CREATE TABLE ins (id INTEGER, name VARCHAR(20), amount FLOAT, at TIMESTAMP)");
    }
    ODBC_OK(SQLSetConnectAttr(odbc.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_OFF, 0),
            SQL_HANDLE_DBC, odbc.dbc);
    double rate = InsertRows(odbc.dbc, rows);
    Disconnect(&odbc);
    std::printf("velora-server on 127.0.0.1:%d over %s, %ld rows inserted in one transaction\n",
                port, IsPostgres(db) ? "PostgreSQL" : "SQLite", rows);
    std::printf("  prepared INSERT, 4 bound parameters, SQLExecute per row: %10.0f rows/s\n", rate);
    StopServer();
  }
  RemoveDir();
  return 0;
}
