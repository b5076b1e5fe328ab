// What the programs of the real driver manager share as ODBC 3
// applications: one unixODBC folder for the process (unixODBC reads its
// files once per process) naming the driver under test and the data source
// VeloraFake (connection strings give its Service=; VeloraFakeW through
// the ODBC 3.80 library), and a fixture.
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
    std::ofstream(dir_ + "/odbcinst.ini") << "[Velora Test]\nDriver = " << VEL_DRIVER_PATH << "\nThreading = 0\n"
                                          << "[Velora Test W]\nDriver = " << VEL_WIDE_DRIVER_PATH << "\n";
    std::ofstream(dir_ + "/odbc.ini") << "[VeloraFake]\nDriver = Velora Test\nServer = 127.0.0.1\nService = 1\n"
                                      << "[VeloraFakeW]\nDriver = Velora Test W\nServer = 127.0.0.1\n";
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("ODBCINI", (dir_ + "/odbc.ini").c_str(), 1);
    setenv("HOME", (dir_ + "/home").c_str(), 1);
  }
  void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + dir_ + "'").c_str()), 0); }
  const std::string dir_ = std::string(VEL_TEST_WORK_DIR) + "/odbc_dm." + std::to_string(getpid());
};
inline const ::testing::Environment* const kOdbcFolder = ::testing::AddGlobalTestEnvironment(new OdbcFolder);

// An ODBC 3 application's handles: Connect() makes a connection to
// VeloraFake at a service and a statement, Disconnect() (also at the end)
// frees them.
class OdbcTest : public ::testing::Test {
 protected:
  void TearDown() override { Disconnect(); }
  void Connect(const std::string& service, const std::string& dsn = "VeloraFake") {
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_)));
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_)));
    const std::string in = "DSN=" + dsn + ";Service=" + service + ";User=u;Password=p";
    SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, nullptr, 0, nullptr, 0);
    ASSERT_TRUE(SQL_SUCCEEDED(rc)) << State(SQL_HANDLE_DBC, dbc_);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_)));
  }
  void Disconnect() {
    if (stmt_) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    if (dbc_) SQLDisconnect(dbc_);
    if (dbc_) SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    if (env_) SQLFreeHandle(SQL_HANDLE_ENV, env_);
    stmt_ = dbc_ = env_ = nullptr;
  }
  // The SQLSTATE of the first record (of the statement unless told), or "".
  std::string State(SQLSMALLINT type = SQL_HANDLE_STMT, SQLHANDLE handle = nullptr) {
    SQLCHAR state[6] = {0}, text[512] = {0};
    SQLINTEGER native = 0;
    return SQL_SUCCEEDED(SQLGetDiagRec(type, handle ? handle : stmt_, 1, state, &native, text, sizeof text, nullptr))
               ? reinterpret_cast<char*>(state)
               : "";
  }

  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
  SQLHSTMT stmt_ = nullptr;
};

#endif
