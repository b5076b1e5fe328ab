// SQLConnect, SQLDriverConnect, SQLDisconnect and the allocation and freeing
// of connection handles: the argument rules, the connection's states
// (08002 in use, 08003 not open, HY010 freeing a connected handle), the
// state a failed connect leaves, and the completed string's truncation.
#include <cstring>

#include "conformance.h"

namespace {

SQLRETURN DriverConnect(SQLHDBC dbc, const std::string& in, SQLSMALLINT inLength = SQL_NTS, SQLSMALLINT outSize = 512) {
  SQLCHAR out[512];
  return SQLDriverConnect(dbc, nullptr, (SQLCHAR*)in.c_str(), inLength, out, outSize, nullptr, SQL_DRIVER_NOPROMPT);
}

SQLRETURN Connect(SQLHDBC dbc, const char* dsn, SQLSMALLINT dsnLength = SQL_NTS, SQLSMALLINT userLength = 0) {
  return SQLConnect(dbc, (SQLCHAR*)dsn, dsnLength, (SQLCHAR*)"", userLength, (SQLCHAR*)"", 0);
}

struct ConnectCase {
  const char* name;
  bool connected;  // the handle is connected before the call
  SQLRETURN (*call)(SQLHDBC dbc, const char* dsn);
  SQLRETURN rc;
  const char* state;    // ODBC 3's form; "" for none
  bool connectedAfter;  // else the handle is allocated (and can connect)
};

const ConnectCase kCases[] = {
    {"SQLConnect", false, [](SQLHDBC d, const char* dsn) { return Connect(d, dsn); }, SQL_SUCCESS, "", true},
    {"SQLConnect, DSN of explicit length", false,
     [](SQLHDBC d, const char* dsn) { return Connect(d, (std::string(dsn) + "junk").c_str(), std::strlen(dsn)); },
     SQL_SUCCESS, "", true},
    {"SQLConnect, DSN length below 0", false, [](SQLHDBC d, const char* dsn) { return Connect(d, dsn, -5); }, SQL_ERROR,
     "HY090", false},
    {"SQLConnect, user length below 0", false, [](SQLHDBC d, const char* dsn) { return Connect(d, dsn, SQL_NTS, -5); },
     SQL_ERROR, "HY090", false},
    {"SQLConnect, unknown DSN", false, [](SQLHDBC d, const char*) { return Connect(d, "conformance_no_dsn"); },
     SQL_ERROR, "IM002", false},
    {"SQLConnect, connected", true, [](SQLHDBC d, const char* dsn) { return Connect(d, dsn); }, SQL_ERROR, "08002",
     true},
    {"SQLDriverConnect", false, [](SQLHDBC d, const char* dsn) { return DriverConnect(d, std::string("DSN=") + dsn); },
     SQL_SUCCESS, "", true},
    {"SQLDriverConnect, input length below 0", false,
     [](SQLHDBC d, const char* dsn) { return DriverConnect(d, std::string("DSN=") + dsn, -5); }, SQL_ERROR, "HY090",
     false},
    {"SQLDriverConnect, output size below 0", false,
     [](SQLHDBC d, const char* dsn) { return DriverConnect(d, std::string("DSN=") + dsn, SQL_NTS, -1); }, SQL_ERROR,
     "HY090", false},
    {"SQLDriverConnect, no server answers", false,
     [](SQLHDBC d, const char* dsn) {
       return DriverConnect(d, std::string("DSN=") + dsn + ";Server=127.0.0.1;Port=1");
     },
     SQL_ERROR, "08001", false},
    {"SQLDriverConnect, connected", true,
     [](SQLHDBC d, const char* dsn) { return DriverConnect(d, std::string("DSN=") + dsn); }, SQL_ERROR, "08002", true},
    {"SQLDisconnect", true, [](SQLHDBC d, const char*) { return SQLDisconnect(d); }, SQL_SUCCESS, "", false},
    {"SQLDisconnect, not connected", false, [](SQLHDBC d, const char*) { return SQLDisconnect(d); }, SQL_ERROR, "08003",
     false},
    {"SQLFreeHandle, connected", true, [](SQLHDBC d, const char*) { return SQLFreeHandle(SQL_HANDLE_DBC, d); },
     SQL_ERROR, "HY010", true},
    {"SQLFreeConnect, connected", true, [](SQLHDBC d, const char*) { return SQLFreeConnect(d); }, SQL_ERROR, "HY010",
     true},
    {"SQLAllocStmt, not connected", false,
     [](SQLHDBC d, const char*) {
       SQLHSTMT h;
       return SQLAllocStmt(d, &h);
     },
     SQL_ERROR, "08003", false},
    {"SQLAllocStmt", true,
     [](SQLHDBC d, const char*) {
       SQLHSTMT h;
       return SQLAllocStmt(d, &h);
     },
     SQL_SUCCESS, "", true},
    // Not offered (SQLGetFunctions says so): refused, and the handle stays unconnected.
    {"SQLBrowseConnect", false,
     [](SQLHDBC d, const char* dsn) {
       SQLCHAR out[64];
       return SQLBrowseConnect(d, (SQLCHAR*)(std::string("DSN=") + dsn).c_str(), SQL_NTS, out, sizeof out, nullptr);
     },
     SQL_ERROR, "HYC00", false},
};

class Connection : public Conformance {};

// Each case on a connection handle of its own; after it the handle
// disconnects (when connected) or connects (when not), and is freed.
TEST_P(Connection, ArgumentsAndStates) {
  for (const ConnectCase& row : kCases) {
    SCOPED_TRACE(row.name);
    SQLHDBC d = SQL_NULL_HDBC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, c.env, &d));
    if (row.connected) {
      ASSERT_TRUE(SQL_SUCCEEDED(Connect(d, lib().dsn)));
    }
    EXPECT_EQ(row.rc, row.call(d, lib().dsn));
    EXPECT_EQ(row.state[0] ? lib().State(row.state) : "", FirstState(SQL_HANDLE_DBC, d));
    if (!row.connectedAfter) {
      EXPECT_EQ(lib().State("08003"), SQLDisconnect(d) == SQL_ERROR ? FirstState(SQL_HANDLE_DBC, d) : "");
      EXPECT_TRUE(SQL_SUCCEEDED(DriverConnect(d, std::string("DSN=") + lib().dsn)));
    }
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(d));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, d));
  }
}

// A completed string cut to the output buffer: 01004, the first size - 1
// characters and a NUL, and the whole string's length.
TEST_P(Connection, OutputStringTruncation) {
  const std::string in = std::string("DSN=") + lib().dsn;
  const SQLSMALLINT whole = static_cast<SQLSMALLINT>(c.out.size());
  for (const SQLSMALLINT size : {SQLSMALLINT(1), SQLSMALLINT(5), whole, SQLSMALLINT(whole + 1)}) {
    SCOPED_TRACE(size);
    SQLHDBC d = SQL_NULL_HDBC;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, c.env, &d));
    SQLCHAR out[512];
    std::memset(out, 'x', sizeof out);
    SQLSMALLINT length = -1;
    const SQLRETURN rc =
        SQLDriverConnect(d, nullptr, (SQLCHAR*)in.c_str(), SQL_NTS, out, size, &length, SQL_DRIVER_NOPROMPT);
    const bool cut = size <= whole;
    EXPECT_EQ(cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS, rc);
    EXPECT_EQ(cut ? "01004" : "", FirstState(SQL_HANDLE_DBC, d));
    EXPECT_EQ(whole, length);
    EXPECT_EQ(c.out.substr(0, size - 1), std::string(reinterpret_cast<char*>(out)));
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(d));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, d));
  }
}

// Allocating a connection handle: a null output pointer is HY009 on the
// environment; the ODBC 2 pair allocates and frees as SQLAllocHandle does.
TEST_P(Connection, Allocation) {
  EXPECT_EQ(SQL_ERROR, SQLAllocHandle(SQL_HANDLE_DBC, c.env, nullptr));
  EXPECT_EQ(lib().State("HY009"), FirstState(SQL_HANDLE_ENV, c.env));
  SQLHDBC d = SQL_NULL_HDBC;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(c.env, &d));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeConnect(d));
  SQLHENV e = SQL_NULL_HENV;  // the ODBC 2 environment pair
  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&e));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeEnv(e));
}

VEL_CONFORMANCE_SUITE(Connection);

}  // namespace
