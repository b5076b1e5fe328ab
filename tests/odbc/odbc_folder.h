// What the fetch programs share as ODBC 3 applications: a private unixODBC
// folder for the process, the first diagnostic record of a handle, and a
// connection made with SQLDriverConnect.
#ifndef VELORA_TESTS_FETCH_ODBC_FOLDER_H
#define VELORA_TESTS_FETCH_ODBC_FOLDER_H

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// Writes odbcinst.ini (the driver under test as "Velora Fetch Test") and
// odbc.ini with one data source of that driver at 127.0.0.1:service into a
// folder of this process (ctest runs cases in parallel processes), points
// unixODBC at it and returns the folder. unixODBC reads its files once per
// process: call before any ODBC call.
inline std::string UseOdbcFolder(const std::string& name, const std::string& dataSource,
                                 int service) {
  const std::string dir = std::string(VEL_TEST_WORK_DIR) + "/" + name + "." + std::to_string(getpid());
  mkdir(dir.c_str(), 0700);
  mkdir((dir + "/home").c_str(), 0700);
  FILE* inst = std::fopen((dir + "/odbcinst.ini").c_str(), "w");
  FILE* ini = std::fopen((dir + "/odbc.ini").c_str(), "w");
  EXPECT_TRUE(inst != nullptr && ini != nullptr) << "cannot write the ini files in " << dir;
  if (inst) std::fprintf(inst, "[Velora Fetch Test]\nDriver = %s\nThreading = 3\n", VEL_DRIVER_PATH);
  if (ini)
    std::fprintf(ini, "[%s]\nDriver = Velora Fetch Test\nServer = 127.0.0.1\nService = %d\n",
                 dataSource.c_str(), service);
  if (inst) std::fclose(inst);
  if (ini) std::fclose(ini);
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
  setenv("HOME", (dir + "/home").c_str(), 1);
  return dir;
}

inline void RemoveOdbcFolder(const std::string& dir) {
  std::string remove = "rm -rf '" + dir + "'";
  if (std::system(remove.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir.c_str());
}

// "STATE message" of the first record, or "" when there is none.
inline std::string Diagnostic(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {0}, text[512] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length)))
    return "";
  return std::string((char*)state) + " " + (char*)text;
}

// An ODBC 3 environment and a connection made with SQLDriverConnect(in)
// and a statement handle; fails the test when any step fails.
inline void ConnectOdbc3(const std::string& in, SQLHENV* env, SQLHDBC* dbc, SQLHSTMT* stmt) {
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, env)));
  SQLSetEnvAttr(*env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, *env, dbc)));
  SQLRETURN rc = SQLDriverConnect(*dbc, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0,
                                  nullptr, SQL_DRIVER_NOPROMPT);
  ASSERT_TRUE(SQL_SUCCEEDED(rc)) << Diagnostic(SQL_HANDLE_DBC, *dbc);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, *dbc, stmt)));
}

// Frees what ConnectOdbc3 made (null handles are skipped) and clears them.
inline void DisconnectOdbc3(SQLHENV* env, SQLHDBC* dbc, SQLHSTMT* stmt) {
  if (*stmt) SQLFreeHandle(SQL_HANDLE_STMT, *stmt);
  if (*dbc) SQLDisconnect(*dbc);
  if (*dbc) SQLFreeHandle(SQL_HANDLE_DBC, *dbc);
  if (*env) SQLFreeHandle(SQL_HANDLE_ENV, *env);
  *stmt = *dbc = *env = nullptr;
}

#endif
