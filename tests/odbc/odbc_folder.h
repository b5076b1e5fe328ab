// What the programs of the real driver manager share as ODBC 3
// applications: one unixODBC folder for the process (unixODBC reads its
// files once per process) naming the driver under test and the data source
// VeloraFake (connection strings give its Service=), the first diagnostic
// record of a handle, and a connection made with SQLDriverConnect.
#ifndef VELORA_TESTS_ODBC_ODBC_FOLDER_H
#define VELORA_TESTS_ODBC_ODBC_FOLDER_H

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

class OdbcFolder : public ::testing::Environment {
  void SetUp() override {
    mkdir(dir_.c_str(), 0700);
    mkdir((dir_ + "/home").c_str(), 0700);
    std::ofstream(dir_ + "/odbcinst.ini") << "[Velora Test]\nDriver = " << VEL_DRIVER_PATH << "\nThreading = 3\n";
    std::ofstream(dir_ + "/odbc.ini") << "[VeloraFake]\nDriver = Velora Test\nServer = 127.0.0.1\nService = 1\n";
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
    setenv("HOME", (dir_ + "/home").c_str(), 1);
  }
  void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0); }
  const std::string dir_ = std::string(VEL_TEST_WORK_DIR) + "/odbc_dm." + std::to_string(getpid());
};
inline const ::testing::Environment* const kOdbcFolder = ::testing::AddGlobalTestEnvironment(new OdbcFolder);

// The SQLSTATE of the first record, or "".
inline std::string State(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {0}, text[512] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  return SQL_SUCCEEDED(SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &length))
             ? reinterpret_cast<char*>(state) : "";
}

// An ODBC 3 environment, a connection to VeloraFake at service and a
// statement; DisconnectOdbc3 frees them.
inline void ConnectOdbc3(const std::string& service, SQLHENV* env, SQLHDBC* dbc, SQLHSTMT* stmt) {
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, env)));
  SQLSetEnvAttr(*env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, *env, dbc)));
  const std::string in = "DSN=VeloraFake;Service=" + service + ";User=u;Password=p";
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
