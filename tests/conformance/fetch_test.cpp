// SQLBindCol, SQLFetch, SQLExtendedFetch, SQLFetchScroll, SQLGetData,
// SQLNumResultCols and SQLDescribeCol: each argument's rules, the
// SQLSTATEs and the values and lengths a call hands out.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "conformance.h"

namespace {

// What a case saw besides its return code, as text.
using Seen = std::string;

std::string Text(const char* buffer, SQLLEN length) {
  return length == SQL_NULL_DATA ? "-" : std::string(buffer, std::strlen(buffer));
}

// UTF-16 units as hexadecimal, "." between them.
std::string Units(const SQLWCHAR* units) {
  std::string out;
  char unit[8];
  for (const SQLWCHAR* u = units; *u != 0; ++u) {
    std::snprintf(unit, sizeof unit, "%s%X", out.empty() ? "" : ".", static_cast<unsigned>(*u));
    out += unit;
  }
  return out;
}

// Reads column col in pieces of size bytes until SQL_NO_DATA (at most 12
// calls: a value that makes no progress shows as a run of 01004): each
// call as "rc:length:value", the pieces separated by spaces.
SQLRETURN Pieces(SQLHSTMT s, SQLUSMALLINT col, SQLSMALLINT type, SQLLEN size, Seen* seen) {
  SQLRETURN rc = SQL_SUCCESS;
  for (int call = 0; call < 12; ++call) {
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    SQLLEN length = 0;
    rc = SQLGetData(s, col, type, buffer, size, &length);
    *seen += (call ? " " : "") + std::to_string(rc);
    if (rc == SQL_NO_DATA || rc == SQL_ERROR) break;
    *seen += ":" + std::to_string(length) + ":";
    *seen += type == SQL_C_WCHAR ? Units(reinterpret_cast<SQLWCHAR*>(buffer)) : Text(buffer, length);
  }
  return rc;
}

// SQLExtendedFetch of one row.
SQLRETURN Extended(SQLHSTMT s, SQLUSMALLINT type) {
  SQLULEN rows = 0;
  SQLUSMALLINT status[1];
  return SQLExtendedFetch(s, type, 0, &rows, status);
}

// SQLDescribeCol of column col with room for 7 characters of its name.
SQLRETURN Describe(SQLHSTMT s, SQLUSMALLINT col) {
  SQLCHAR name[8];
  SQLSMALLINT length = 0, type = 0, scale = 0, nullable = 0;
  SQLULEN size = 0;
  return SQLDescribeCol(s, col, name, sizeof name, &length, &type, &size, &scale, &nullable);
}

// A rowset of three rows (cursor type set before execution: the case's
// text is executed again), then SQLGetData of its bound column at the
// first row and after SQLSetPos to the second: "first second".
SQLRETURN RowsetRead(SQLHSTMT s, SQLULEN cursor, Seen* seen) {
  static SQLINTEGER bound[3];
  SQLINTEGER got = 0;
  SQLFreeStmt(s, SQL_CLOSE);
  SQLSetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, (SQLPOINTER)cursor, 0);
  SQLSetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)3, 0);
  SQLExecDirect(s, (SQLCHAR*)"SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3", SQL_NTS);
  SQLBindCol(s, 1, SQL_C_SLONG, bound, 0, nullptr);
  SQLRETURN rc = SQLFetchScroll(s, SQL_FETCH_NEXT, 0);
  for (SQLUSMALLINT row = 1; row <= 2 && SQL_SUCCEEDED(rc); ++row) {
    if (row == 2) rc = SQLSetPos(s, 2, SQL_POSITION, SQL_LOCK_NO_CHANGE);
    if (SQL_SUCCEEDED(rc)) rc = SQLGetData(s, 1, SQL_C_SLONG, &got, 0, nullptr);
    if (SQL_SUCCEEDED(rc)) *seen += (row == 2 ? " " : "") + std::to_string(got);
  }
  return rc;
}

// The first row's column 1 read as C type (an interval structure shown as
// "type sign fields"), or with sqlType the value of parameter 1 bound as
// C type from text (narrow, wide, or as a whole number) or from the
// structure "-1 2 3 4 5 6" (days .. fraction).
SQLRETURN Interval(SQLHSTMT s, SQLSMALLINT cType, Seen* seen, const char* param = nullptr, SQLSMALLINT sqlType = 0,
                   SQLSMALLINT paramCType = SQL_C_CHAR) {
  SQL_INTERVAL_STRUCT v{};
  char text[32] = {};
  SQLWCHAR wide[32] = {};
  SQLBIGINT big = param ? std::strtoll(param, nullptr, 10) : 0;
  SQLINTEGER whole = static_cast<SQLINTEGER>(big);
  v.interval_type = SQL_IS_DAY_TO_SECOND, v.interval_sign = SQL_TRUE, v.intval.day_second = {1, 2, 3, 4, 5};
  SQLRETURN rc = SQL_SUCCESS;
  if (param != nullptr) {
    std::strcpy(text, param);
    std::copy(text, text + std::strlen(text), wide);
    void* data = paramCType == SQL_C_CHAR      ? (void*)text
                 : paramCType == SQL_C_WCHAR   ? (void*)wide
                 : paramCType == SQL_C_SBIGINT ? (void*)&big
                 : paramCType == SQL_C_SLONG   ? (void*)&whole
                                               : &v;
    rc = SQLBindParameter(s, 1, SQL_PARAM_INPUT, paramCType, sqlType, 0, 0, data, 0, nullptr);
    const std::string type = sqlType == SQL_VARCHAR                  ? "VARCHAR"
                             : sqlType == SQL_INTERVAL_YEAR_TO_MONTH ? "INTERVAL YEAR TO MONTH"
                                                                     : "INTERVAL";
    if (SQL_SUCCEEDED(rc)) rc = SQLExecDirect(s, (SQLCHAR*)("SELECT CAST(? AS " + type + ")").c_str(), SQL_NTS);
  }
  if (SQL_SUCCEEDED(rc)) rc = SQLFetch(s);
  if (SQL_SUCCEEDED(rc)) rc = SQLGetData(s, 1, cType, cType == SQL_C_CHAR ? (void*)text : &v, sizeof text, nullptr);
  const auto& f = v.intval.day_second;
  const bool months = v.interval_type == SQL_IS_YEAR_TO_MONTH || v.interval_type <= SQL_IS_MONTH;
  char out[96];
  std::snprintf(out, sizeof out, months ? "%d %d %u %u" : "%d %d %u %u %u %u %u", int(v.interval_type), v.interval_sign,
                unsigned(months ? v.intval.year_month.year : f.day),
                unsigned(months ? v.intval.year_month.month : f.hour), unsigned(f.minute), unsigned(f.second),
                unsigned(f.fraction));
  *seen = !SQL_SUCCEEDED(rc) ? "" : cType == SQL_C_CHAR ? text : out;
  return rc;
}

// A rowset of size rows (at most 4) bound column-wise: column 1 as cType
// (SQL_C_SLONG or SQL_C_STINYINT), column 2 as text in room bytes, with
// indicators or without; "rows", then per row "status:value:text/length",
// or only the status of a row that failed or did not come.
SQLRETURN Rowset(SQLHSTMT s, bool odbc3, SQLULEN size, SQLSMALLINT cType, SQLLEN room, bool indicators, Seen* seen) {
  static SQLINTEGER whole[4];
  static SQLSCHAR tiny[4];
  static char text[32];
  static SQLLEN lengths[2][4];
  SQLUSMALLINT status[4] = {9, 9, 9, 9};
  SQLULEN rows = 0;
  const bool isTiny = cType == SQL_C_STINYINT;
  SQLBindCol(s, 1, cType, isTiny ? (void*)tiny : whole, 0, indicators ? lengths[0] : nullptr);
  SQLBindCol(s, 2, SQL_C_CHAR, text, room, indicators ? lengths[1] : nullptr);
  SQLRETURN rc;
  if (odbc3) {
    SQLSetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(size), 0);
    SQLSetStmtAttr(s, SQL_ATTR_ROW_STATUS_PTR, status, 0);
    SQLSetStmtAttr(s, SQL_ATTR_ROWS_FETCHED_PTR, &rows, 0);
    rc = SQLFetch(s);
  } else {
    SQLSetStmtOption(s, SQL_ROWSET_SIZE, size);
    rc = SQLExtendedFetch(s, SQL_FETCH_NEXT, 0, &rows, status);
  }
  *seen = std::to_string(rows);
  for (SQLULEN i = 0; i < size; ++i) {
    *seen += " " + std::to_string(status[i]);
    if (status[i] == SQL_ROW_ERROR || status[i] == SQL_ROW_NOROW) continue;
    const bool null = indicators && lengths[1][i] == SQL_NULL_DATA;
    *seen += ":" + (indicators && lengths[0][i] == SQL_NULL_DATA ? "-" : std::to_string(isTiny ? tiny[i] : whole[i])) +
             ":" + (null ? "-" : text + i * room) + "/" + (indicators ? std::to_string(lengths[1][i]) : "");
  }
  return rc;
}

struct FetchCase {
  const char* name;
  const char* sql;  // executed first; "" for none
  // The calls after it; returns the outcome of the call under test.
  SQLRETURN (*call)(SQLHSTMT s, bool odbc3, Seen* seen);
  SQLRETURN rc;
  const char* state;  // ODBC 3's form; "" for none
  const char* seen;
  Libraries libraries;
  bool postgresOnly = false;  // PostgreSQL's types (intervals)
};

char g_buffer[64];
SQLLEN g_length;

const FetchCase kFetch[] = {
    // SQLBindCol
    {"bind column 0 without bookmarks", "SELECT 1",
     [](SQLHSTMT s, bool, Seen*) { return SQLBindCol(s, 0, SQL_C_LONG, g_buffer, 4, &g_length); }, SQL_ERROR, "07009",
     "", kOdbc3Only},
    {"bind column 0 without bookmarks", "SELECT 1",
     [](SQLHSTMT s, bool, Seen*) { return SQLBindCol(s, 0, SQL_C_LONG, g_buffer, 4, &g_length); }, SQL_ERROR, "HYC00",
     "", kOdbc2Only},
    {"bind an unknown C type", "SELECT 1",
     [](SQLHSTMT s, bool, Seen*) { return SQLBindCol(s, 1, 9999, g_buffer, 4, &g_length); }, SQL_ERROR, "HY003", "",
     kBoth},
    {"bind a negative buffer length", "SELECT 1",
     [](SQLHSTMT s, bool, Seen*) { return SQLBindCol(s, 1, SQL_C_CHAR, g_buffer, -1, &g_length); }, SQL_ERROR, "HY090",
     "", kBoth},
    {"a null buffer unbinds", "SELECT 'new'",
     [](SQLHSTMT s, bool, Seen* seen) {
       std::strcpy(g_buffer, "old");
       SQLBindCol(s, 1, SQL_C_CHAR, g_buffer, sizeof g_buffer, &g_length);
       SQLBindCol(s, 1, SQL_C_CHAR, nullptr, 0, nullptr);
       const SQLRETURN rc = SQLFetch(s);
       *seen = g_buffer;
       return rc;
     },
     SQL_SUCCESS, "", "old", kBoth},
    // SQLFetch, SQLExtendedFetch, SQLFetchScroll
    {"fetch before execute", "", [](SQLHSTMT s, bool, Seen*) { return SQLFetch(s); }, SQL_ERROR, "HY010", "", kBoth},
    {"extended fetch before execute", "",
     [](SQLHSTMT s, bool, Seen*) { return Extended(s, SQL_FETCH_NEXT); }, SQL_ERROR, "HY010", "", kOdbc2Only},
    {"fetch scroll before execute", "", [](SQLHSTMT s, bool, Seen*) { return SQLFetchScroll(s, SQL_FETCH_NEXT, 0); },
     SQL_ERROR, "HY010", "", kOdbc3Only},
    {"fetch without a result set", "CREATE TEMPORARY TABLE IF NOT EXISTS conformance_fetch_none (a INTEGER)",
     [](SQLHSTMT s, bool, Seen*) { return SQLFetch(s); }, SQL_ERROR, "24000", "", kBoth},
    {"extended fetch without a result set", "CREATE TEMPORARY TABLE IF NOT EXISTS conformance_fetch_none (a INTEGER)",
     [](SQLHSTMT s, bool, Seen*) { return Extended(s, SQL_FETCH_NEXT); }, SQL_ERROR, "24000", "", kOdbc2Only},
    {"no data after the end, and again", "SELECT 1",
     [](SQLHSTMT s, bool, Seen* seen) {
       *seen = std::to_string(SQLFetch(s));
       *seen += " " + std::to_string(SQLFetch(s));
       return SQLFetch(s);
     },
     SQL_NO_DATA, "", "0 100", kBoth},
    {"fetch type out of range", "SELECT 1", [](SQLHSTMT s, bool, Seen*) { return SQLFetchScroll(s, 99, 0); }, SQL_ERROR,
     "HY106", "", kOdbc3Only},
    {"extended fetch type out of range", "SELECT 1",
     [](SQLHSTMT s, bool, Seen*) { return Extended(s, 99); }, SQL_ERROR, "HY106", "", kOdbc2Only},
    {"a NULL into a column bound without an indicator", "SELECT NULL",
     [](SQLHSTMT s, bool, Seen*) {
       SQLBindCol(s, 1, SQL_C_CHAR, g_buffer, sizeof g_buffer, nullptr);
       return SQLFetch(s);
     },
     SQL_ERROR, "22002", "", kBoth},
    {"a NULL without an indicator in a rowset: that row fails", "SELECT 1, NULL UNION ALL SELECT 2, 'b'",
     [](SQLHSTMT s, bool odbc3, Seen* seen) { return Rowset(s, odbc3, 2, SQL_C_SLONG, 8, false, seen); },
     SQL_SUCCESS_WITH_INFO, "22002", "2 5 0:2:b/", kBoth},
    // Column-wise arrays: NULLs among values, rows that end inside the
    // rowset, cut texts and values out of range in one row of several.
    {"column-wise arrays with a NULL, the rows ending inside the rowset",
     "SELECT 1, 'a' UNION ALL SELECT NULL, NULL UNION ALL SELECT 3, 'ccc'",
     [](SQLHSTMT s, bool odbc3, Seen* seen) { return Rowset(s, odbc3, 4, SQL_C_SLONG, 8, true, seen); }, SQL_SUCCESS,
     "", "3 0:1:a/1 0:-:-/-1 0:3:ccc/3 3", kBoth},
    {"column-wise arrays: a text longer than its buffer", "SELECT 1, 'a' UNION ALL SELECT 2, 'bcdefg' UNION ALL SELECT 3, 'c'",
     [](SQLHSTMT s, bool odbc3, Seen* seen) { return Rowset(s, odbc3, 3, SQL_C_SLONG, 4, true, seen); },
     SQL_SUCCESS_WITH_INFO, "01004", "3 0:1:a/1 6:2:bcd/6 0:3:c/1", kOdbc3Only},
    {"column-wise arrays: a text longer than its buffer", "SELECT 1, 'a' UNION ALL SELECT 2, 'bcdefg' UNION ALL SELECT 3, 'c'",
     [](SQLHSTMT s, bool odbc3, Seen* seen) { return Rowset(s, odbc3, 3, SQL_C_SLONG, 4, true, seen); },
     SQL_SUCCESS_WITH_INFO, "01004", "3 0:1:a/1 0:2:bcd/6 0:3:c/1", kOdbc2Only},
    {"column-wise arrays: a value out of range fails its row", "SELECT 1, 'a' UNION ALL SELECT 300, 'b' UNION ALL SELECT 3, 'c'",
     [](SQLHSTMT s, bool odbc3, Seen* seen) { return Rowset(s, odbc3, 3, SQL_C_STINYINT, 8, true, seen); },
     SQL_SUCCESS_WITH_INFO, "22003", "3 0:1:a/1 5 0:3:c/1", kBoth},
    {"column-wise arrays of one row", "SELECT 7, 'seven' UNION ALL SELECT 8, 'eight'",
     [](SQLHSTMT s, bool odbc3, Seen* seen) { return Rowset(s, odbc3, 1, SQL_C_SLONG, 8, true, seen); }, SQL_SUCCESS,
     "", "1 0:7:seven/5", kBoth},
    // SQLGetData
    {"get column 0 without bookmarks", "SELECT 1",
     [](SQLHSTMT s, bool, Seen*) {
       SQLFetch(s);
       return SQLGetData(s, 0, SQL_C_CHAR, g_buffer, sizeof g_buffer, &g_length);
     },
     SQL_ERROR, "07009", "", kBoth},
    {"get a column beyond the last", "SELECT 1",
     [](SQLHSTMT s, bool, Seen*) {
       SQLFetch(s);
       return SQLGetData(s, 2, SQL_C_CHAR, g_buffer, sizeof g_buffer, &g_length);
     },
     SQL_ERROR, "07009", "", kBoth},
    {"get with a negative buffer length", "SELECT 1",
     [](SQLHSTMT s, bool, Seen*) {
       SQLFetch(s);
       return SQLGetData(s, 1, SQL_C_CHAR, g_buffer, -1, &g_length);
     },
     SQL_ERROR, "HY090", "", kBoth},
    {"get an unknown C type", "SELECT 1",
     [](SQLHSTMT s, bool, Seen*) {
       SQLFetch(s);
       return SQLGetData(s, 1, 9999, g_buffer, sizeof g_buffer, &g_length);
     },
     SQL_ERROR, "HY003", "", kBoth},
    {"pieces give the remaining length, then no data", "SELECT 'abcdefgh'",
     [](SQLHSTMT s, bool, Seen* seen) {
       SQLFetch(s);
       return Pieces(s, 1, SQL_C_CHAR, 4, seen);
     },
     SQL_NO_DATA, "", "1:8:abc 1:5:def 0:2:gh 100", kBoth},
    {"binary pieces", "SELECT X'0102030405'",
     [](SQLHSTMT s, bool, Seen* seen) {
       SQLFetch(s);
       SQLRETURN rc = SQLGetData(s, 1, SQL_C_BINARY, g_buffer, 3, &g_length);
       *seen = std::to_string(rc) + ":" + std::to_string(g_length) + ":" + std::to_string(g_buffer[2]);
       rc = SQLGetData(s, 1, SQL_C_BINARY, g_buffer, 3, &g_length);
       *seen += " " + std::to_string(rc) + ":" + std::to_string(g_length) + ":" + std::to_string(g_buffer[1]);
       return SQLGetData(s, 1, SQL_C_BINARY, g_buffer, 3, &g_length);
     },
     SQL_NO_DATA, "", "1:5:3 0:2:5", kBoth},
    {"binary as text is hexadecimal, cut on whole bytes", "SELECT X'00FF1A'",
     [](SQLHSTMT s, bool, Seen* seen) {
       SQLFetch(s);
       return Pieces(s, 1, SQL_C_CHAR, 6, seen);
     },
     SQL_NO_DATA, "", "1:6:00FF 0:2:1A 100", kBoth},
    {"binary as wide text is hexadecimal", "SELECT X'ABCD01'",
     [](SQLHSTMT s, bool, Seen* seen) {
       SQLFetch(s);
       return Pieces(s, 1, SQL_C_WCHAR, 10, seen);
     },
     SQL_NO_DATA, "", "1:12:41.42.43.44 0:4:30.31 100", kOdbc3Only},
    {"a wide piece of one unit splits a surrogate pair", "SELECT 'a\xF0\x9F\x98\x80z'",
     [](SQLHSTMT s, bool, Seen* seen) {
       SQLFetch(s);
       return Pieces(s, 1, SQL_C_WCHAR, 5, seen);
     },
     SQL_NO_DATA, "", "1:8:61 1:6:D83D 1:4:DE00 0:2:7A 100", kOdbc3Only},
    {"a narrow piece smaller than a character makes progress", "SELECT '\xF0\x9F\x98\x80'",
     [](SQLHSTMT s, bool, Seen* seen) {
       SQLFetch(s);
       std::string pieces;
       const SQLRETURN rc = Pieces(s, 1, SQL_C_CHAR, 2, &pieces);
       *seen = std::to_string(std::count(pieces.begin(), pieces.end(), ' ') + 1) + " calls";
       return rc;
     },
     SQL_NO_DATA, "", "5 calls", kBoth},
    {"a CHAR(n) holds n characters of any width", "CREATE TABLE fetch_char (c CHAR(4))",
     [](SQLHSTMT s, bool, Seen* seen) {
       SQLExecDirect(s, (SQLCHAR*)"INSERT INTO fetch_char VALUES ('\xC3\xA9t\xC3\xA9')", SQL_NTS);
       SQLExecDirect(s, (SQLCHAR*)"SELECT c FROM fetch_char", SQL_NTS);
       SQLFetch(s);
       const SQLRETURN rc = Pieces(s, 1, SQL_C_CHAR, 64, seen);
       SQLFreeStmt(s, SQL_CLOSE);
       SQLExecDirect(s, (SQLCHAR*)"DROP TABLE fetch_char", SQL_NTS);
       return rc;
     },
     SQL_NO_DATA, "", "0:6:\xC3\xA9t\xC3\xA9  100", kBoth},
    {"a NULL without an indicator", "SELECT NULL",
     [](SQLHSTMT s, bool, Seen*) {
       SQLFetch(s);
       return SQLGetData(s, 1, SQL_C_CHAR, g_buffer, sizeof g_buffer, nullptr);
     },
     SQL_ERROR, "22002", "", kBoth},
    {"an earlier column after a later one (any order is claimed)", "SELECT 'a', 'b'",
     [](SQLHSTMT s, bool, Seen* seen) {
       SQLFetch(s);
       SQLGetData(s, 2, SQL_C_CHAR, g_buffer, sizeof g_buffer, &g_length);
       *seen = g_buffer;
       const SQLRETURN rc = SQLGetData(s, 1, SQL_C_CHAR, g_buffer, sizeof g_buffer, &g_length);
       *seen += g_buffer;
       return rc;
     },
     SQL_SUCCESS, "", "ba", kBoth},
    {"a bound column read again, on every row", "SELECT 'a' UNION ALL SELECT 'b' UNION ALL SELECT 'c'",
     [](SQLHSTMT s, bool, Seen* seen) {
       static char bound[8];
       static SQLLEN boundLength;
       SQLBindCol(s, 1, SQL_C_CHAR, bound, sizeof bound, &boundLength);
       SQLRETURN rc = SQL_SUCCESS;
       while (SQLFetch(s) == SQL_SUCCESS && rc == SQL_SUCCESS) {
         rc = SQLGetData(s, 1, SQL_C_CHAR, g_buffer, sizeof g_buffer, &g_length);
         *seen += std::string(bound) + (rc == SQL_SUCCESS ? g_buffer : "?");
       }
       return rc;
     },
     SQL_SUCCESS, "", "aabbcc", kBoth},
    {"a bound column of a rowset read at the row positioned on", "SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3",
     [](SQLHSTMT s, bool, Seen* seen) { return RowsetRead(s, SQL_CURSOR_STATIC, seen); }, SQL_SUCCESS, "", "1 2",
     kOdbc3Only},
    {"a forward-only rowset of three rows", "SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3",
     [](SQLHSTMT s, bool, Seen* seen) { return RowsetRead(s, SQL_CURSOR_FORWARD_ONLY, seen); }, SQL_ERROR, "HY109", "",
     kOdbc3Only},
    // SQLNumResultCols, SQLDescribeCol
    {"count the columns", "SELECT 1, 2",
     [](SQLHSTMT s, bool, Seen* seen) {
       SQLSMALLINT count = 0;
       const SQLRETURN rc = SQLNumResultCols(s, &count);
       *seen = std::to_string(count);
       return rc;
     },
     SQL_SUCCESS, "", "2", kBoth},
    {"no columns without a result set", "CREATE TEMPORARY TABLE IF NOT EXISTS conformance_fetch_none (a INTEGER)",
     [](SQLHSTMT s, bool, Seen* seen) {
       SQLSMALLINT count = 9;
       const SQLRETURN rc = SQLNumResultCols(s, &count);
       *seen = std::to_string(count);
       return rc;
     },
     SQL_SUCCESS, "", "0", kBoth},
    {"count before execute", "",
     [](SQLHSTMT s, bool, Seen*) {
       SQLSMALLINT count = 0;
       return SQLNumResultCols(s, &count);
     },
     SQL_ERROR, "HY010", "", kBoth},
    {"a column name cut to the buffer", "SELECT 1 AS abcdefgh",
     [](SQLHSTMT s, bool, Seen* seen) {
       SQLCHAR name[5];
       SQLSMALLINT length = 0, type = 0, scale = 0, nullable = 0;
       SQLULEN size = 0;
       const SQLRETURN rc = SQLDescribeCol(s, 1, name, sizeof name, &length, &type, &size, &scale, &nullable);
       *seen = std::string(reinterpret_cast<char*>(name)) + " " + std::to_string(length);
       return rc;
     },
     SQL_SUCCESS_WITH_INFO, "01004", "abcd 8", kBoth},
    {"describe a column beyond the last", "SELECT 1", [](SQLHSTMT s, bool, Seen*) { return Describe(s, 2); }, SQL_ERROR,
     "07009", "", kBoth},
    {"describe column 0", "SELECT 1", [](SQLHSTMT s, bool, Seen*) { return Describe(s, 0); }, SQL_ERROR, "07009", "",
     kBoth},
    {"describe without a result set", "CREATE TEMPORARY TABLE IF NOT EXISTS conformance_fetch_none (a INTEGER)",
     [](SQLHSTMT s, bool, Seen*) { return Describe(s, 1); }, SQL_ERROR, "07005", "", kOdbc3Only},
    {"describe without a result set", "CREATE TEMPORARY TABLE IF NOT EXISTS conformance_fetch_none (a INTEGER)",
     [](SQLHSTMT s, bool, Seen*) { return Describe(s, 1); }, SQL_ERROR, "24000", "", kOdbc2Only},
    // Intervals: PostgreSQL's described as ODBC 3's types; text and exact numbers in and out.
    {"an interval is described by its fields", "SELECT CAST('1 day' AS INTERVAL HOUR TO SECOND(3)), INTERVAL '1 day'",
     [](SQLHSTMT s, bool, Seen* seen) {
       SQLCHAR name[64];
       SQLSMALLINT length = 0, type = 0, scale = 0, nullable = 0;
       SQLULEN size = 0;
       SQLLEN code = 0;
       SQLRETURN rc = SQLDescribeCol(s, 1, name, sizeof name, &length, &type, &size, &scale, &nullable);
       SQLColAttribute(s, 2, SQL_DESC_DATETIME_INTERVAL_CODE, nullptr, 0, nullptr, &code);
       *seen =
           std::to_string(type) + " " + std::to_string(size) + " " + std::to_string(scale) + " " + std::to_string(code);
       return rc;
     },
     SQL_SUCCESS, "", "112 19 3 10", kOdbc3Only, true},
    {"an interval is text to ODBC 2", "SELECT INTERVAL '-26:03'",
     [](SQLHSTMT s, bool, Seen* seen) { return Interval(s, SQL_C_CHAR, seen); }, SQL_SUCCESS, "", "PT-26H-3M",
     kOdbc2Only, true},
    {"an interval into text", "SELECT INTERVAL '-26:03'",
     [](SQLHSTMT s, bool, Seen* seen) { return Interval(s, SQL_C_CHAR, seen); }, SQL_SUCCESS, "", "-1 02:03:00",
     kOdbc3Only, true},
    {"an interval into its structure", "SELECT INTERVAL '-26:03:04.5'",
     [](SQLHSTMT s, bool, Seen* seen) { return Interval(s, SQL_C_INTERVAL_DAY_TO_SECOND, seen); }, SQL_SUCCESS, "",
     "10 1 1 2 3 4 500000", kOdbc3Only, true},
    {"an interval into other fields", "SELECT INTERVAL '-26:03:04.5'",
     [](SQLHSTMT s, bool, Seen* seen) { return Interval(s, SQL_C_INTERVAL_HOUR_TO_MINUTE, seen); },
     SQL_SUCCESS_WITH_INFO, "01S07", "11 1 0 26 3 0 0", kOdbc3Only, true},
    {"year-month into day-time", "SELECT CAST('3-2' AS INTERVAL YEAR TO MONTH)",
     [](SQLHSTMT s, bool, Seen* seen) { return Interval(s, SQL_C_INTERVAL_DAY, seen); }, SQL_ERROR, "07006", "",
     kOdbc3Only, true},
    {"year-month into months", "SELECT CAST('3-2' AS INTERVAL YEAR TO MONTH)",
     [](SQLHSTMT s, bool, Seen* seen) { return Interval(s, SQL_C_INTERVAL_MONTH, seen); }, SQL_SUCCESS, "", "2 0 0 38",
     kOdbc3Only, true},
    {"a leading field overflows", "SELECT INTERVAL '40 years'",
     [](SQLHSTMT s, bool, Seen* seen) { return Interval(s, SQL_C_INTERVAL_SECOND, seen); }, SQL_ERROR, "22015", "",
     kOdbc3Only, true},
    {"a single field into a number", "SELECT CAST('7' AS INTERVAL DAY)",
     [](SQLHSTMT s, bool, Seen* seen) {
       SQLINTEGER n = 0;
       const SQLRETURN rc = SQLFetch(s) ? SQL_ERROR : SQLGetData(s, 1, SQL_C_SLONG, &n, 0, nullptr);
       *seen = std::to_string(n);
       return rc;
     },
     SQL_SUCCESS, "", "7", kOdbc3Only, true},
    {"text into an interval", "SELECT ' -5 10:20'",
     [](SQLHSTMT s, bool, Seen* seen) { return Interval(s, SQL_C_INTERVAL_DAY_TO_MINUTE, seen); }, SQL_SUCCESS, "",
     "9 1 5 10 20 0 0", kOdbc3Only},
    {"text that is no interval", "SELECT '5 x'",
     [](SQLHSTMT s, bool, Seen* seen) { return Interval(s, SQL_C_INTERVAL_DAY, seen); }, SQL_ERROR, "22018", "",
     kOdbc3Only},
    {"a number into a multi-field interval", "SELECT 5",
     [](SQLHSTMT s, bool, Seen* seen) { return Interval(s, SQL_C_INTERVAL_DAY_TO_HOUR, seen); }, SQL_ERROR, "07006", "",
     kOdbc3Only},
    {"a structure parameter", "",
     [](SQLHSTMT s, bool, Seen* seen) {
       return Interval(s, SQL_C_INTERVAL_DAY_TO_SECOND, seen, "", SQL_INTERVAL_DAY_TO_SECOND,
                       SQL_C_INTERVAL_DAY_TO_SECOND);
     },
     SQL_SUCCESS, "", "10 1 1 2 3 4 5", kOdbc3Only, true},
    {"a structure parameter as text", "",
     [](SQLHSTMT s, bool, Seen* seen) {
       return Interval(s, SQL_C_CHAR, seen, "", SQL_VARCHAR, SQL_C_INTERVAL_DAY_TO_SECOND);
     },
     SQL_SUCCESS, "", "-1 02:03:04.000005", kOdbc3Only},
    {"a text parameter", "",
     [](SQLHSTMT s, bool,
        Seen* seen) { return Interval(s, SQL_C_INTERVAL_YEAR_TO_MONTH, seen, "-3-2", SQL_INTERVAL_YEAR_TO_MONTH); },
     SQL_SUCCESS, "", "7 1 3 2", kOdbc3Only, true},
    {"a text parameter that is no interval", "",
     [](SQLHSTMT s, bool, Seen* seen) { return Interval(s, SQL_C_CHAR, seen, "3 days", SQL_INTERVAL_DAY); }, SQL_ERROR,
     "22018", "", kOdbc3Only},
    {"a text parameter overflows", "",
     [](SQLHSTMT s, bool, Seen* seen) { return Interval(s, SQL_C_CHAR, seen, "1234567890", SQL_INTERVAL_DAY); },
     SQL_ERROR, "22015", "", kOdbc3Only},
    {"a wide text parameter", "",
     [](SQLHSTMT s, bool,
        Seen* seen) { return Interval(s, SQL_C_INTERVAL_DAY_TO_SECOND, seen, "5", SQL_INTERVAL_DAY, SQL_C_WCHAR); },
     SQL_SUCCESS, "", "10 0 5 0 0 0 0", kOdbc3Only, true},
    {"a whole number parameter", "",
     [](SQLHSTMT s, bool,
        Seen* seen) { return Interval(s, SQL_C_INTERVAL_DAY_TO_SECOND, seen, "-3", SQL_INTERVAL_MINUTE, SQL_C_SLONG); },
     SQL_SUCCESS, "", "10 1 0 0 3 0 0", kOdbc3Only, true},
    {"a whole number parameter overflows", "",
     [](SQLHSTMT s, bool,
        Seen* seen) { return Interval(s, SQL_C_CHAR, seen, "1234567890", SQL_INTERVAL_DAY, SQL_C_SBIGINT); },
     SQL_ERROR, "22015", "", kOdbc3Only},
};

class FetchFamily : public Conformance {};

TEST_P(FetchFamily, CallsKeepTheirContract) {
  for (const FetchCase& row : kFetch) {
    if (!lib().Holds(row.libraries) || (row.postgresOnly && !OnPostgres())) continue;
    SCOPED_TRACE(row.name);
    if (row.sql[0] != '\0') {
      ASSERT_TRUE(SQL_SUCCEEDED(Exec(row.sql))) << Diag(SQL_HANDLE_STMT, s);
    }
    Seen seen;
    EXPECT_EQ(row.rc, row.call(s, lib().odbc3, &seen));
    EXPECT_EQ(row.state[0] ? lib().State(row.state) : "", FirstState(SQL_HANDLE_STMT, s));
    EXPECT_EQ(row.seen, seen);
    SQLFreeHandle(SQL_HANDLE_STMT, s);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &s));
  }
}

VEL_CONFORMANCE_SUITE(FetchFamily);

}  // namespace
