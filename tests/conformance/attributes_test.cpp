// SQLSetConnectAttr/SQLGetConnectAttr, SQLSetStmtAttr/SQLGetStmtAttr and
// the ODBC 2.0 option functions: values taken, values changed ("01S02",
// read back as the value used), refusals, and the width of the answer.
#include <cstring>

#include "conformance.h"

namespace {

constexpr SQLULEN kDepends = 0xDEAD;  // the level the storage runs instead

struct SetCase {
  bool statement;  // else the connection
  SQLINTEGER attribute;
  SQLULEN value;
  SQLRETURN rc;
  const char* state;  // ODBC 3's form; "" for none
  SQLULEN readBack;   // what a get answers afterwards (when rc succeeded)
  Libraries libraries;
};

const SetCase kSet[] = {
    {true, SQL_ATTR_QUERY_TIMEOUT, 7, SQL_SUCCESS, "", 7, kBoth},
    {true, SQL_ATTR_MAX_ROWS, 5, SQL_SUCCESS, "", 5, kBoth},
    {true, SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC, SQL_SUCCESS, "", SQL_CURSOR_STATIC, kBoth},
    {true, SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN, SQL_SUCCESS, "", SQL_CURSOR_KEYSET_DRIVEN, kBoth},
    {true, SQL_ATTR_CURSOR_SENSITIVITY, SQL_SENSITIVE, SQL_SUCCESS, "", SQL_SENSITIVE, kOdbc3Only},
    {true, SQL_ATTR_KEYSET_SIZE, 5, SQL_SUCCESS_WITH_INFO, "01S02", 0, kOdbc3Only},
    {true, SQL_ATTR_CONCURRENCY, SQL_CONCUR_READ_ONLY, SQL_SUCCESS, "", SQL_CONCUR_READ_ONLY, kBoth},
    // Rows are locked where the storage can (PostgreSQL); else optimistic instead, read back as used.
    {true, SQL_ATTR_CONCURRENCY, SQL_CONCUR_LOCK, SQLRETURN(OnPostgres() ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO),
     OnPostgres() ? "" : "01S02", SQLULEN(OnPostgres() ? SQL_CONCUR_LOCK : SQL_CONCUR_ROWVER), kBoth},
    {true, SQL_ATTR_CONCURRENCY, SQL_CONCUR_VALUES, SQL_SUCCESS, "", SQL_CONCUR_VALUES, kBoth},
    // SQL_ASYNC_MODE is none: asynchronous execution cannot be switched on.
    {true, SQL_ATTR_ASYNC_ENABLE, SQL_ASYNC_ENABLE_OFF, SQL_SUCCESS, "", SQL_ASYNC_ENABLE_OFF, kBoth},
    {true, SQL_ATTR_ASYNC_ENABLE, SQL_ASYNC_ENABLE_ON, SQL_SUCCESS_WITH_INFO, "01S02", SQL_ASYNC_ENABLE_OFF, kBoth},
    {false, SQL_ATTR_ASYNC_ENABLE, SQL_ASYNC_ENABLE_ON, SQL_SUCCESS_WITH_INFO, "01S02", SQL_ASYNC_ENABLE_OFF,
     kOdbc3Only},
    {false, SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF, SQL_SUCCESS, "", SQL_AUTOCOMMIT_OFF, kBoth},
    {false, SQL_ATTR_TXN_ISOLATION, SQL_TXN_SERIALIZABLE, SQL_SUCCESS, "", SQL_TXN_SERIALIZABLE, kBoth},
    {false, SQL_ATTR_TXN_ISOLATION, SQL_TXN_READ_UNCOMMITTED, SQL_SUCCESS_WITH_INFO, "01S02", kDepends, kBoth},
    // Unknown attributes, the driver-specific range among them.
    {true, 9999, 0, SQL_ERROR, "HY092", 0, kBoth},
    {true, 16001, 0, SQL_ERROR, "HY092", 0, kBoth},
    {false, 9999, 0, SQL_ERROR, "HY092", 0, kBoth},
    {false, 1299, 0, SQL_ERROR, "HY092", 0, kBoth},
};

class Attributes : public Conformance {
 protected:
  SQLRETURN Set(const SetCase& row) {
    if (row.statement) return SQLSetStmtAttr(s, row.attribute, (SQLPOINTER)row.value, SQL_IS_UINTEGER);
    return SQLSetConnectAttr(c.dbc, row.attribute, (SQLPOINTER)row.value, SQL_IS_UINTEGER);
  }
  SQLRETURN Get(bool statement, SQLINTEGER attribute, void* buffer, SQLINTEGER length) {
    if (statement) return SQLGetStmtAttr(s, attribute, buffer, length, nullptr);
    return SQLGetConnectAttr(c.dbc, attribute, buffer, length, nullptr);
  }
  std::string State(bool statement) {
    return statement ? FirstState(SQL_HANDLE_STMT, s) : FirstState(SQL_HANDLE_DBC, c.dbc);
  }
};

TEST_P(Attributes, SetValuesReadBackAsUsed) {
  for (const SetCase& row : kSet) {
    if (!lib().Holds(row.libraries)) continue;
    SCOPED_TRACE(std::to_string(row.attribute) + "=" + std::to_string(row.value));
    EXPECT_EQ(row.rc, Set(row));
    EXPECT_EQ(row.state[0] ? lib().State(row.state) : "", State(row.statement));
    if (!SQL_SUCCEEDED(row.rc)) continue;
    SQLULEN value = 0;
    EXPECT_EQ(SQL_SUCCESS, Get(row.statement, row.attribute, &value, 0));
    EXPECT_EQ(row.readBack == kDepends ? (OnPostgres() ? SQL_TXN_READ_COMMITTED : SQL_TXN_SERIALIZABLE) : row.readBack,
              value);
  }
  SQLSetConnectAttr(c.dbc, SQL_ATTR_AUTOCOMMIT, (SQLPOINTER)SQL_AUTOCOMMIT_ON, 0);
}

// The ODBC 2.0 option functions refuse unknown options as well.
TEST_P(Attributes, OptionFunctionsRefuseUnknownOptions) {
  SQLULEN value = 0;
  for (SQLUSMALLINT option : {SQLUSMALLINT(999), SQLUSMALLINT(1299), SQLUSMALLINT(16001)}) {
    SCOPED_TRACE(option);
    EXPECT_EQ(SQL_ERROR, SQLSetConnectOption(c.dbc, option, 0));
    EXPECT_EQ(lib().State("HY092"), FirstState(SQL_HANDLE_DBC, c.dbc));
    EXPECT_EQ(SQL_ERROR, SQLGetConnectOption(c.dbc, option, &value));
    EXPECT_EQ(lib().State("HY092"), FirstState(SQL_HANDLE_DBC, c.dbc));
    EXPECT_EQ(SQL_ERROR, SQLSetStmtOption(s, option, 0));
    EXPECT_EQ(lib().State("HY092"), FirstState(SQL_HANDLE_STMT, s));
    EXPECT_EQ(SQL_ERROR, SQLGetStmtOption(s, option, &value));
    EXPECT_EQ(lib().State("HY092"), FirstState(SQL_HANDLE_STMT, s));
  }
}

// An integer attribute read into a buffer declared SQL_IS_UINTEGER,
// SQL_IS_INTEGER, SQL_IS_SMALLINT or SQL_IS_USMALLINT fills exactly that
// width; the bytes after it stay.
struct WidthCase {
  bool statement;
  SQLINTEGER attribute;
};
const WidthCase kWidths[] = {
    {true, SQL_ATTR_QUERY_TIMEOUT},    {true, SQL_ATTR_MAX_ROWS},          {true, SQL_ATTR_MAX_LENGTH},
    {true, SQL_ATTR_NOSCAN},           {true, SQL_ATTR_ASYNC_ENABLE},      {true, SQL_ATTR_CURSOR_TYPE},
    {true, SQL_ATTR_CONCURRENCY},      {true, SQL_ATTR_ROW_ARRAY_SIZE},    {true, SQL_ROWSET_SIZE},
    {true, SQL_ATTR_RETRIEVE_DATA},    {true, SQL_ATTR_USE_BOOKMARKS},     {true, SQL_ATTR_ROW_BIND_TYPE},
    {true, SQL_ATTR_PARAMSET_SIZE},    {true, SQL_ATTR_CURSOR_SCROLLABLE}, {true, SQL_ATTR_CURSOR_SENSITIVITY},
    {true, SQL_ATTR_METADATA_ID},      {false, SQL_ATTR_AUTOCOMMIT},       {false, SQL_ATTR_ACCESS_MODE},
    {false, SQL_ATTR_TXN_ISOLATION},   {false, SQL_ATTR_LOGIN_TIMEOUT},    {false, SQL_ATTR_CONNECTION_TIMEOUT},
    {false, SQL_ATTR_CONNECTION_DEAD},
};

// The 2.0 library's option functions take no buffer length (unixODBC hands
// the application's buffer to SQLGetStmtOption): they answer as wide as
// ODBC defines each option.
TEST_P(Attributes, DeclaredIntegerWidthsAreHonoured) {
  if (!lib().odbc3) return;
  for (const WidthCase& row : kWidths) {
    for (SQLINTEGER declared : {SQL_IS_UINTEGER, SQL_IS_INTEGER, SQL_IS_USMALLINT, SQL_IS_SMALLINT}) {
      SCOPED_TRACE(std::to_string(row.attribute) + " as " + std::to_string(declared));
      const size_t width = declared == SQL_IS_UINTEGER || declared == SQL_IS_INTEGER ? 4 : 2;
      unsigned char buffer[16];
      std::memset(buffer, 0xAB, sizeof buffer);
      if (!SQL_SUCCEEDED(Get(row.statement, row.attribute, buffer, declared))) {
        ADD_FAILURE() << State(row.statement);
        continue;
      }
      for (size_t i = width; i < sizeof buffer; ++i) EXPECT_EQ(0xAB, buffer[i]) << "byte " << i;
    }
  }
}

VEL_CONFORMANCE_SUITE(Attributes);

}  // namespace
