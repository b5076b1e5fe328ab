// What the fetch programs share as ODBC 3 applications of the real driver
// manager: a private unixODBC folder for the process, the first diagnostic
// record of a handle, and a connection made with SQLDriverConnect.
#ifndef VELORA_TESTS_FETCH_ODBC_FOLDER_H
#define VELORA_TESTS_FETCH_ODBC_FOLDER_H

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

// Writes odbcinst.ini (the driver under test) and odbc.ini (dataSource at
// 127.0.0.1:service) into a folder of this process and points unixODBC,
// which reads them once per process, at it: call before any ODBC call.
inline std::string UseOdbcFolder(const std::string& name, const std::string& dataSource, int service) {
  const std::string dir = std::string(VEL_TEST_WORK_DIR) + "/" + name + "." + std::to_string(getpid());
  mkdir(dir.c_str(), 0700);
  mkdir((dir + "/home").c_str(), 0700);
  std::ofstream(dir + "/odbcinst.ini") << "[Velora Fetch Test]\nDriver = " << VEL_DRIVER_PATH << "\nThreading = 3\n";
  std::ofstream(dir + "/odbc.ini") << "[" << dataSource << "]\nDriver = Velora Fetch Test\nServer = 127.0.0.1\n"
                                   << "Service = " << service << "\n";
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
  setenv("HOME", (dir + "/home").c_str(), 1);
  return dir;
}

inline void RemoveOdbcFolder(const std::string& dir) {
  if (std::system(("rm -rf '" + dir + "'").c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir.c_str());
}

// The SQLSTATE of the first record, or "".
inline std::string State(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {0}, text[512] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  return SQL_SUCCEEDED(SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length))
             ? reinterpret_cast<char*>(state) : "";
}

// An ODBC 3 environment, a connection made with SQLDriverConnect(in) and a
// statement; DisconnectOdbc3 frees them.
inline void ConnectOdbc3(const std::string& in, SQLHENV* env, SQLHDBC* dbc, SQLHSTMT* stmt) {
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, env)));
  SQLSetEnvAttr(*env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, *env, dbc)));
  SQLRETURN rc = SQLDriverConnect(*dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                  SQL_DRIVER_NOPROMPT);
  ASSERT_TRUE(SQL_SUCCEEDED(rc)) << State(SQL_HANDLE_DBC, *dbc);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, *dbc, stmt)));
}

inline void DisconnectOdbc3(SQLHENV* env, SQLHDBC* dbc, SQLHSTMT* stmt) {
  if (*stmt) SQLFreeHandle(SQL_HANDLE_STMT, *stmt);
  if (*dbc) SQLDisconnect(*dbc);
  if (*dbc) SQLFreeHandle(SQL_HANDLE_DBC, *dbc);
  if (*env) SQLFreeHandle(SQL_HANDLE_ENV, *env);
  *stmt = *dbc = *env = nullptr;
}

#endif
