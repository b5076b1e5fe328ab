// SQLGetDiagRec, SQLGetDiagField and SQLError: record numbers, buffer
// truncation, header fields, the row and column a record concerns, and
// SQL_NO_DATA past the last record.
#include "conformance.h"

namespace {

// A statement that leaves records, and what its first record says.
struct RecordCase {
  const char* sql;
  SQLUSMALLINT column;  // SQLGetData of this column after a fetch (0: none)
  SQLSMALLINT cType;
  SQLSMALLINT bufferLength;
  const char* state;        // ODBC 3's form
  SQLINTEGER columnNumber;  // SQL_DIAG_COLUMN_NUMBER
  SQLLEN rowNumber;         // SQL_DIAG_ROW_NUMBER
  const char* subclass;     // SQL_DIAG_SUBCLASS_ORIGIN (the class's is ISO 9075 in each)
};

const RecordCase kRecords[] = {
    {"SELEC 1", 0, 0, 0, "42000", SQL_NO_COLUMN_NUMBER, SQL_NO_ROW_NUMBER, "ISO 9075"},
    {"SELECT * FROM conformance_no_such_table", 0, 0, 0, "42S02", SQL_NO_COLUMN_NUMBER, SQL_NO_ROW_NUMBER, "ODBC 3.0"},
    {"SELECT 'abcdef'", 1, SQL_C_CHAR, 3, "01004", 1, SQL_ROW_NUMBER_UNKNOWN, "ISO 9075"},
    {"SELECT 1, 'abcdef'", 2, SQL_C_CHAR, 3, "01004", 2, SQL_ROW_NUMBER_UNKNOWN, "ISO 9075"},
    {"SELECT 1, 300", 2, SQL_C_STINYINT, 0, "22003", 2, SQL_ROW_NUMBER_UNKNOWN, "ISO 9075"},
};

class Diagnostics : public Conformance {
 protected:
  // Runs the case and leaves its records on s.
  void Provoke(const RecordCase& row) {
    const SQLRETURN rc = Exec(row.sql);
    if (row.column == 0) return;
    ASSERT_EQ(SQL_SUCCESS, rc) << Diag(SQL_HANDLE_STMT, s);
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(s));
    char buffer[16];
    SQLLEN length = 0;
    SQLGetData(s, row.column, row.cType, buffer, row.bufferLength ? row.bufferLength : sizeof buffer, &length);
  }
};

TEST_P(Diagnostics, RecordsAndTheirFields) {
  for (const RecordCase& row : kRecords) {
    SCOPED_TRACE(row.sql);
    Provoke(row);
    SQLCHAR state[6] = {0}, message[512] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetDiagRec(SQL_HANDLE_STMT, s, 1, state, &native, message, sizeof message, &length));
    EXPECT_EQ(lib().State(row.state), (char*)state);
    const std::string text = (char*)message;
    EXPECT_EQ(static_cast<SQLSMALLINT>(text.size()), length);
    // Record numbers below 1 are an error; past the last there is no data.
    EXPECT_EQ(SQL_ERROR, SQLGetDiagRec(SQL_HANDLE_STMT, s, 0, state, &native, message, sizeof message, &length));
    EXPECT_EQ(SQL_ERROR, SQLGetDiagRec(SQL_HANDLE_STMT, s, -1, state, &native, message, sizeof message, &length));
    EXPECT_EQ(SQL_NO_DATA, SQLGetDiagRec(SQL_HANDLE_STMT, s, 2, state, &native, message, sizeof message, &length));
    // A short buffer: the message cut, its whole length, "01004" not posted.
    SQLCHAR small[5] = {0};
    EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
              SQLGetDiagRec(SQL_HANDLE_STMT, s, 1, state, &native, small, sizeof small, &length));
    EXPECT_EQ(text.substr(0, 4), (char*)small);
    EXPECT_EQ(static_cast<SQLSMALLINT>(text.size()), length);
    // unixODBC answers for an ODBC 2 driver from SQLError, whatever the length.
    if (lib().odbc3) {
      EXPECT_EQ(SQL_ERROR, SQLGetDiagRec(SQL_HANDLE_STMT, s, 1, state, &native, message, -1, &length));
    }
    // Header fields.
    SQLINTEGER count = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, s, 0, SQL_DIAG_NUMBER, &count, 0, nullptr));
    EXPECT_EQ(1, count);
    // The record's row and column.
    if (lib().odbc3) {
      SQLINTEGER column = 0;
      SQLLEN rowNumber = 0;
      EXPECT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, s, 1, SQL_DIAG_COLUMN_NUMBER, &column, 0, nullptr));
      EXPECT_EQ(row.columnNumber, column);
      EXPECT_EQ(SQL_SUCCESS, SQLGetDiagField(SQL_HANDLE_STMT, s, 1, SQL_DIAG_ROW_NUMBER, &rowNumber, 0, nullptr));
      EXPECT_EQ(row.rowNumber, rowNumber);
      SQLCHAR origin[16] = {0}, subclass[16] = {0};
      SQLGetDiagField(SQL_HANDLE_STMT, s, 1, SQL_DIAG_CLASS_ORIGIN, origin, sizeof origin, nullptr);
      SQLGetDiagField(SQL_HANDLE_STMT, s, 1, SQL_DIAG_SUBCLASS_ORIGIN, subclass, sizeof subclass, nullptr);
      EXPECT_EQ("ISO 9075/" + std::string(row.subclass), (char*)origin + ("/" + std::string((char*)subclass)));
    }
    EXPECT_EQ(SQL_NO_DATA, SQLGetDiagField(SQL_HANDLE_STMT, s, 2, SQL_DIAG_SQLSTATE, state, sizeof state, &length));
    EXPECT_EQ(SQL_ERROR, SQLGetDiagField(SQL_HANDLE_STMT, s, 0, SQL_DIAG_SQLSTATE, state, sizeof state, &length));
    // SQLError hands the record out once, then there is no more.
    EXPECT_EQ(SQL_SUCCESS, SQLError(SQL_NULL_HENV, SQL_NULL_HDBC, s, state, &native, message, sizeof message, &length));
    EXPECT_EQ(lib().State(row.state), (char*)state);
    EXPECT_EQ(SQL_NO_DATA, SQLError(SQL_NULL_HENV, SQL_NULL_HDBC, s, state, &native, message, sizeof message, &length));
    SQLFreeStmt(s, SQL_CLOSE);
  }
}

VEL_CONFORMANCE_SUITE(Diagnostics);

}  // namespace
