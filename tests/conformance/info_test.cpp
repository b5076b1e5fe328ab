// SQLGetInfo and SQLGetFunctions: every information type answers, texts
// obey the buffer rules, numbers ignore the length, unknown types are
// "HY096"; the answers are true of what the library and server do, and
// what SQLGetFunctions claims can be called.
#include <cstring>
#include <functional>
#include <vector>

#include "conformance.h"

namespace {

SQLCHAR* T(const char* text) { return (SQLCHAR*)text; }

// Every information type of ODBC 3.80 a driver answers, numbers and texts.
// The ones unixODBC answers itself are left out: SQL_ODBC_VER, SQL_DM_VER,
// SQL_DATA_SOURCE_NAME, SQL_XOPEN_CLI_YEAR and the handles.
struct InfoType {
  SQLUSMALLINT type;
  bool text;
};
const SQLUSMALLINT kNumbers[] = {
    // Conversions.
    SQL_CONVERT_BIGINT, SQL_CONVERT_BINARY, SQL_CONVERT_BIT, SQL_CONVERT_CHAR, SQL_CONVERT_GUID, SQL_CONVERT_DATE,
    SQL_CONVERT_DECIMAL, SQL_CONVERT_DOUBLE, SQL_CONVERT_FLOAT, SQL_CONVERT_INTEGER, SQL_CONVERT_INTERVAL_YEAR_MONTH,
    SQL_CONVERT_INTERVAL_DAY_TIME, SQL_CONVERT_LONGVARBINARY, SQL_CONVERT_LONGVARCHAR, SQL_CONVERT_NUMERIC,
    SQL_CONVERT_REAL, SQL_CONVERT_SMALLINT, SQL_CONVERT_TIME, SQL_CONVERT_TIMESTAMP, SQL_CONVERT_TINYINT,
    SQL_CONVERT_VARBINARY, SQL_CONVERT_VARCHAR, SQL_CONVERT_WCHAR, SQL_CONVERT_WLONGVARCHAR, SQL_CONVERT_WVARCHAR,
    SQL_CONVERT_FUNCTIONS,
    // Data definition.
    SQL_ALTER_DOMAIN, SQL_ALTER_TABLE, SQL_CREATE_ASSERTION, SQL_CREATE_CHARACTER_SET, SQL_CREATE_COLLATION,
    SQL_CREATE_DOMAIN, SQL_CREATE_SCHEMA, SQL_CREATE_TABLE, SQL_CREATE_TRANSLATION, SQL_CREATE_VIEW, SQL_DROP_ASSERTION,
    SQL_DROP_CHARACTER_SET, SQL_DROP_COLLATION, SQL_DROP_DOMAIN, SQL_DROP_SCHEMA, SQL_DROP_TABLE, SQL_DROP_TRANSLATION,
    SQL_DROP_VIEW,
    // Cursor attributes.
    SQL_DYNAMIC_CURSOR_ATTRIBUTES1, SQL_DYNAMIC_CURSOR_ATTRIBUTES2, SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1,
    SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, SQL_KEYSET_CURSOR_ATTRIBUTES1, SQL_KEYSET_CURSOR_ATTRIBUTES2,
    SQL_STATIC_CURSOR_ATTRIBUTES1, SQL_STATIC_CURSOR_ATTRIBUTES2,
    // Limits.
    SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, SQL_MAX_BINARY_LITERAL_LEN, SQL_MAX_CATALOG_NAME_LEN, SQL_MAX_CHAR_LITERAL_LEN,
    SQL_MAX_COLUMN_NAME_LEN, SQL_MAX_COLUMNS_IN_GROUP_BY, SQL_MAX_COLUMNS_IN_INDEX, SQL_MAX_COLUMNS_IN_ORDER_BY,
    SQL_MAX_COLUMNS_IN_SELECT, SQL_MAX_COLUMNS_IN_TABLE, SQL_MAX_CONCURRENT_ACTIVITIES, SQL_MAX_CURSOR_NAME_LEN,
    SQL_MAX_DRIVER_CONNECTIONS, SQL_MAX_IDENTIFIER_LEN, SQL_MAX_INDEX_SIZE, SQL_MAX_PROCEDURE_NAME_LEN,
    SQL_MAX_ROW_SIZE, SQL_MAX_SCHEMA_NAME_LEN, SQL_MAX_STATEMENT_LEN, SQL_MAX_TABLE_NAME_LEN, SQL_MAX_TABLES_IN_SELECT,
    SQL_MAX_USER_NAME_LEN,
    // SQL-92 features.
    SQL_SQL92_DATETIME_FUNCTIONS, SQL_SQL92_FOREIGN_KEY_DELETE_RULE, SQL_SQL92_FOREIGN_KEY_UPDATE_RULE, SQL_SQL92_GRANT,
    SQL_SQL92_NUMERIC_VALUE_FUNCTIONS, SQL_SQL92_PREDICATES, SQL_SQL92_RELATIONAL_JOIN_OPERATORS, SQL_SQL92_REVOKE,
    SQL_SQL92_ROW_VALUE_CONSTRUCTOR, SQL_SQL92_STRING_FUNCTIONS, SQL_SQL92_VALUE_EXPRESSIONS,
    // The rest.
    SQL_ACTIVE_ENVIRONMENTS, SQL_AGGREGATE_FUNCTIONS, SQL_ASYNC_MODE, SQL_BATCH_ROW_COUNT, SQL_BATCH_SUPPORT,
    SQL_BOOKMARK_PERSISTENCE, SQL_CATALOG_LOCATION, SQL_CATALOG_USAGE, SQL_CONCAT_NULL_BEHAVIOR, SQL_CORRELATION_NAME,
    SQL_CURSOR_COMMIT_BEHAVIOR, SQL_CURSOR_ROLLBACK_BEHAVIOR, SQL_CURSOR_SENSITIVITY, SQL_DATETIME_LITERALS,
    SQL_DDL_INDEX, SQL_DEFAULT_TXN_ISOLATION, SQL_FILE_USAGE, SQL_GETDATA_EXTENSIONS, SQL_GROUP_BY, SQL_IDENTIFIER_CASE,
    SQL_INDEX_KEYWORDS, SQL_INFO_SCHEMA_VIEWS, SQL_INSERT_STATEMENT, SQL_NON_NULLABLE_COLUMNS, SQL_NULL_COLLATION,
    SQL_NUMERIC_FUNCTIONS, SQL_ODBC_INTERFACE_CONFORMANCE, SQL_OJ_CAPABILITIES, SQL_PARAM_ARRAY_ROW_COUNTS,
    SQL_PARAM_ARRAY_SELECTS, SQL_POS_OPERATIONS, SQL_QUOTED_IDENTIFIER_CASE, SQL_SCHEMA_USAGE, SQL_SCROLL_OPTIONS,
    SQL_SQL_CONFORMANCE, SQL_STANDARD_CLI_CONFORMANCE, SQL_STRING_FUNCTIONS, SQL_SUBQUERIES, SQL_SYSTEM_FUNCTIONS,
    SQL_TIMEDATE_ADD_INTERVALS, SQL_TIMEDATE_DIFF_INTERVALS, SQL_TIMEDATE_FUNCTIONS, SQL_TXN_CAPABLE,
    SQL_TXN_ISOLATION_OPTION, SQL_UNION, SQL_ASYNC_DBC_FUNCTIONS, SQL_DRIVER_AWARE_POOLING_SUPPORTED,
    SQL_ASYNC_NOTIFICATION};
const SQLUSMALLINT kTexts[] = {
    // "Y" or "N".
    SQL_ACCESSIBLE_PROCEDURES, SQL_ACCESSIBLE_TABLES, SQL_CATALOG_NAME, SQL_COLUMN_ALIAS, SQL_DATA_SOURCE_READ_ONLY,
    SQL_DESCRIBE_PARAMETER, SQL_EXPRESSIONS_IN_ORDERBY, SQL_INTEGRITY, SQL_LIKE_ESCAPE_CLAUSE,
    SQL_MAX_ROW_SIZE_INCLUDES_LONG, SQL_MULT_RESULT_SETS, SQL_MULTIPLE_ACTIVE_TXN, SQL_NEED_LONG_DATA_LEN,
    SQL_ORDER_BY_COLUMNS_IN_SELECT, SQL_PROCEDURES, SQL_ROW_UPDATES,
    // Names, terms and lists.
    SQL_CATALOG_NAME_SEPARATOR, SQL_CATALOG_TERM, SQL_COLLATION_SEQ, SQL_DATABASE_NAME, SQL_DBMS_NAME, SQL_DBMS_VER,
    SQL_DRIVER_NAME, SQL_DRIVER_ODBC_VER, SQL_DRIVER_VER, SQL_IDENTIFIER_QUOTE_CHAR, SQL_KEYWORDS, SQL_PROCEDURE_TERM,
    SQL_SCHEMA_TERM, SQL_SEARCH_PATTERN_ESCAPE, SQL_SERVER_NAME, SQL_SPECIAL_CHARACTERS, SQL_TABLE_TERM, SQL_USER_NAME};

// Answers that must be true of the library and the server.
struct Fact {
  SQLUSMALLINT type;
  SQLUINTEGER number;  // for numbers
  const char* text;    // for texts; null for a number
  Libraries libraries;
};
const Fact kFacts[] = {
    // Both storages quote identifiers with SQL's double quote.
    {SQL_IDENTIFIER_QUOTE_CHAR, 0, "\"", kBoth},
    // The data source is writable: the test user is not read-only.
    {SQL_DATA_SOURCE_READ_ONLY, 0, "N", kBoth},
    // Both storages have transactions, data definition included.
    {SQL_TXN_CAPABLE, SQL_TC_ALL, nullptr, kBoth},
    // The end of a transaction closes the cursors (24000 at the next fetch).
    {SQL_CURSOR_COMMIT_BEHAVIOR, SQL_CB_CLOSE, nullptr, kBoth},
    {SQL_CURSOR_ROLLBACK_BEHAVIOR, SQL_CB_CLOSE, nullptr, kBoth},
    {SQL_BOOKMARK_PERSISTENCE, SQL_BP_SCROLL | SQL_BP_UPDATE | SQL_BP_DELETE, nullptr, kBoth},
    {SQL_ASYNC_MODE, SQL_AM_NONE, nullptr, kBoth},
    {SQL_ASYNC_DBC_FUNCTIONS, SQL_ASYNC_DBC_NOT_CAPABLE, nullptr, kOdbc3Only},
    {SQL_DRIVER_AWARE_POOLING_SUPPORTED, SQL_DRIVER_AWARE_POOLING_NOT_CAPABLE, nullptr, kOdbc3Only},
    {SQL_ASYNC_NOTIFICATION, SQL_ASYNC_NOTIFICATION_NOT_CAPABLE, nullptr, kOdbc3Only},
    {SQL_PROCEDURES, 0, "N", kOdbc2Only},
    {SQL_DESCRIBE_PARAMETER, 0, "N", kBoth},
    // A text of several statements, a query's array: results in turn.
    {SQL_MULT_RESULT_SETS, 0, "Y", kBoth},
    {SQL_BATCH_SUPPORT, SQL_BS_SELECT_EXPLICIT | SQL_BS_ROW_COUNT_EXPLICIT, nullptr, kBoth},
    {SQL_BATCH_ROW_COUNT, SQL_BRC_EXPLICIT, nullptr, kBoth},
    {SQL_PARAM_ARRAY_SELECTS, SQL_PAS_BATCH, nullptr, kBoth},
    // Static cursors write back through SQLSetPos, optimistically, and see none of their own changes.
    {SQL_POS_OPERATIONS, SQL_POS_POSITION | SQL_POS_REFRESH | SQL_POS_UPDATE | SQL_POS_DELETE | SQL_POS_ADD, nullptr,
     kBoth},
    {SQL_LOCK_TYPES, SQL_LCK_NO_CHANGE, nullptr, kBoth},
    {SQL_STATIC_SENSITIVITY, 0, nullptr, kBoth},
    // Locking cursors where the storage locks rows (PostgreSQL).
    {SQL_SCROLL_CONCURRENCY,
     SQLUINTEGER(SQL_SCCO_READ_ONLY | SQL_SCCO_OPT_ROWVER | SQL_SCCO_OPT_VALUES | (OnPostgres() ? SQL_SCCO_LOCK : 0)),
     nullptr, kBoth},
    {SQL_STATIC_CURSOR_ATTRIBUTES2,
     SQLUINTEGER(SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_MAX_ROWS_SELECT | SQL_CA2_CRC_EXACT |
                 SQL_CA2_OPT_ROWVER_CONCURRENCY | SQL_CA2_OPT_VALUES_CONCURRENCY |
                 (OnPostgres() ? SQL_CA2_LOCK_CONCURRENCY : 0)),
     nullptr, kOdbc3Only},
    {SQL_POSITIONED_STATEMENTS, SQL_PS_POSITIONED_UPDATE | SQL_PS_POSITIONED_DELETE, nullptr, kBoth},
    {SQL_SCROLL_OPTIONS, SQL_SO_FORWARD_ONLY | SQL_SO_STATIC | SQL_SO_KEYSET_DRIVEN, nullptr, kBoth},
};

class Info : public Conformance {
 protected:
  // A text answer in a buffer of size characters through the library's
  // own form: narrow for the 2.0 library, UTF-16 for the 3.x one (unixODBC
  // converts a narrow call to a Unicode driver itself, lengths and
  // truncation included). *out is what the buffer holds up to its NUL, or
  // "#" when nothing was written; *length in characters.
  SQLRETURN Text(SQLUSMALLINT type, std::string* out, SQLSMALLINT size, SQLSMALLINT* length) {
    SQLRETURN rc;
    std::vector<SQLWCHAR> wide(size + 8, '#');
    std::string narrow(size + 8, '#');
    if (lib().odbc3) {
      rc = SQLGetInfoW(c.dbc, type, out ? wide.data() : nullptr, SQLSMALLINT(size * 2), length);
      *length = SQLSMALLINT(*length / 2);
      for (size_t i = 0; i < wide.size(); ++i) narrow[i] = static_cast<char>(wide[i]);
    } else {
      rc = SQLGetInfo(c.dbc, type, out ? &narrow[0] : nullptr, size, length);
    }
    if (out) *out = narrow.substr(0, narrow[0] == '#' ? 1 : narrow.find('\0'));
    return rc;
  }
  // The answer as a text (numbers in decimal) and its reported length.
  std::string Ask(const InfoType& t, SQLSMALLINT* length, SQLRETURN* rc) {
    char buffer[4096] = {0};
    *length = -99;
    *rc = SQLGetInfo(c.dbc, t.type, buffer, sizeof buffer, length);
    if (t.text) return buffer;
    SQLUINTEGER number = 0;
    std::memcpy(&number, buffer, *length == 2 ? 2 : 4);
    return std::to_string(*length == 2 ? number & 0xFFFF : number);
  }
};

TEST_P(Info, EveryTypeAnswersAndTextsObeyTheBuffer) {
  std::vector<InfoType> types;
  for (SQLUSMALLINT type : kNumbers) types.push_back({type, false});
  for (SQLUSMALLINT type : kTexts) types.push_back({type, true});
  for (const InfoType& t : types) {
    SCOPED_TRACE(t.type);
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQL_ERROR;
    const std::string answer = Ask(t, &length, &rc);
    ASSERT_EQ(SQL_SUCCESS, rc) << FirstState(SQL_HANDLE_DBC, c.dbc);
    if (!t.text) {
      // A number ignores the buffer length, 0 included.
      SQLULEN number = 0;
      SQLSMALLINT size = 0;
      EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(c.dbc, t.type, &number, 0, &size));
      EXPECT_EQ(length, size);
      EXPECT_EQ(answer, std::to_string(size == 2 ? number & 0xFFFF : number & 0xFFFFFFFF));
      continue;
    }
    EXPECT_EQ(static_cast<SQLSMALLINT>(answer.size()), length);
    // No buffer: the length alone.
    std::string text;
    SQLSMALLINT total = -1;
    EXPECT_TRUE(SQL_SUCCEEDED(Text(t.type, nullptr, 0, &total)));
    EXPECT_EQ(length, total);
    // Buffers of 0, 1, one short of the NUL and exactly enough (characters).
    for (SQLSMALLINT size : {0, 1, static_cast<int>(length), static_cast<int>(length) + 1}) {
      total = -1;
      rc = Text(t.type, &text, size, &total);
      const bool whole = size > length;
      EXPECT_EQ(whole ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO, rc) << size;
      EXPECT_EQ(whole ? "" : "01004", FirstState(SQL_HANDLE_DBC, c.dbc)) << size;
      EXPECT_EQ(length, total) << size;
      EXPECT_EQ(size == 0 ? "#" : answer.substr(0, size - 1), text) << size;
    }
  }
}

TEST_P(Info, UnknownTypesAreRefused) {
  for (SQLUSMALLINT type : {SQLUSMALLINT(174), SQLUSMALLINT(999), SQLUSMALLINT(9999), SQLUSMALLINT(20000)}) {
    SCOPED_TRACE(type);
    char buffer[64];
    EXPECT_EQ(SQL_ERROR, SQLGetInfo(c.dbc, type, buffer, sizeof buffer, nullptr));
    EXPECT_EQ(lib().State("HY096"), FirstState(SQL_HANDLE_DBC, c.dbc));
  }
}

TEST_P(Info, AnswersAreTrue) {
  for (const Fact& f : kFacts) {
    if (!lib().Holds(f.libraries)) continue;
    SCOPED_TRACE(f.type);
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQL_ERROR;
    const std::string answer = Ask({f.type, f.text != nullptr}, &length, &rc);
    EXPECT_EQ(SQL_SUCCESS, rc);
    EXPECT_EQ(f.text ? f.text : std::to_string(f.number), answer);
  }
  // SQL_DBMS_VER begins "##.##.####".
  SQLSMALLINT length = 0;
  SQLRETURN rc = SQL_ERROR;
  // ODBC 3's SQL_KEYWORDS leaves ODBC's own keywords out (the 2.0 list is fixed).
  const std::string keywords = "," + Ask({SQL_KEYWORDS, true}, &length, &rc) + ",", odbc = SQL_ODBC_KEYWORDS ",";
  for (size_t at = 0, end = 0; lib().odbc3 && (end = odbc.find(',', at)) != odbc.npos; at = end + 1)
    EXPECT_EQ(keywords.npos, keywords.find("," + odbc.substr(at, end - at + 1))) << odbc.substr(at, end - at);
  const std::string version = Ask({SQL_DBMS_VER, true}, &length, &rc);
  ASSERT_GE(version.size(), 10u);
  for (size_t i = 0; i < 10; ++i) EXPECT_EQ(i == 2 || i == 5 ? '.' : 'd', isdigit(version[i]) ? 'd' : version[i]);
  // The quote character quotes a name the server takes.
  const std::string quote = Ask({SQL_IDENTIFIER_QUOTE_CHAR, true}, &length, &rc);
  EXPECT_EQ(SQL_SUCCESS, Exec("SELECT 1 AS " + quote + "Mixed Name" + quote)) << Diag(SQL_HANDLE_STMT, s);
  SQLFreeStmt(s, SQL_CLOSE);
  // The longest statement runs (no limit: a long one).
  SQLUINTEGER longest = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(c.dbc, SQL_MAX_STATEMENT_LEN, &longest, sizeof longest, nullptr));
  EXPECT_EQ(SQL_SUCCESS, Exec("SELECT 1" + std::string(longest ? longest - 8 : 100000, ' ')));
  SQLFreeStmt(s, SQL_CLOSE);
  // Names and NULLs as the storage keeps and sorts them.
  SQLUSMALLINT answer = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(c.dbc, SQL_IDENTIFIER_CASE, &answer, sizeof answer, nullptr));
  EXPECT_EQ(OnPostgres() ? SQL_IC_LOWER : SQL_IC_MIXED, answer);
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(c.dbc, SQL_QUOTED_IDENTIFIER_CASE, &answer, sizeof answer, nullptr));
  EXPECT_EQ(OnPostgres() ? SQL_IC_SENSITIVE : SQL_IC_MIXED, answer);
  // Procedures {call ...} runs: PostgreSQL's, through the 3.x library.
  char procedures[2] = {};
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(c.dbc, SQL_PROCEDURES, procedures, sizeof procedures, nullptr));
  EXPECT_STREQ(OnPostgres() && lib().odbc3 ? "Y" : "N", procedures);
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(c.dbc, SQL_NULL_COLLATION, &answer, sizeof answer, nullptr));
  ASSERT_EQ(SQL_SUCCESS, Exec("SELECT x FROM (SELECT NULL AS x UNION ALL SELECT 1) q ORDER BY x"));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(s));
  SQLINTEGER first = 0;
  SQLLEN indicator = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(s, 1, SQL_C_SLONG, &first, 0, &indicator));
  EXPECT_EQ(indicator == SQL_NULL_DATA ? SQL_NC_LOW : SQL_NC_HIGH, answer);
  SQLFreeStmt(s, SQL_CLOSE);
  // A session starts at the storage's default level, as answered.
  SQLUINTEGER level = 0, current = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(c.dbc, SQL_DEFAULT_TXN_ISOLATION, &level, sizeof level, nullptr));
  EXPECT_EQ(OnPostgres() ? SQL_TXN_READ_COMMITTED : SQL_TXN_SERIALIZABLE, level);
  ASSERT_EQ(SQL_SUCCESS, SQLGetConnectOption(c.dbc, SQL_TXN_ISOLATION, &current));
  EXPECT_EQ(level, current);
  // Isolation: the levels offered are the levels the server runs as asked.
  SQLUINTEGER levels = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(c.dbc, SQL_TXN_ISOLATION_OPTION, &levels, sizeof levels, nullptr));
  EXPECT_EQ(
      OnPostgres() ? SQL_TXN_READ_COMMITTED | SQL_TXN_REPEATABLE_READ | SQL_TXN_SERIALIZABLE : SQL_TXN_SERIALIZABLE,
      levels);
}

// The search-pattern escape makes '_' a plain character in catalog
// function patterns.
TEST_P(Info, SearchPatternEscapeIsHonoured) {
  char escape[4] = {0};
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(c.dbc, SQL_SEARCH_PATTERN_ESCAPE, escape, sizeof escape, nullptr));
  for (const char* table : {"info_e", "infoxe"}) {
    Exec(std::string("DROP TABLE ") + table);
    ASSERT_EQ(SQL_SUCCESS, Exec(std::string("CREATE TABLE ") + table + " (a INTEGER)"));
  }
  const std::string pattern = std::string("info") + escape + "_e";
  ASSERT_EQ(SQL_SUCCESS, SQLTables(s, nullptr, 0, nullptr, 0, T(pattern.c_str()), SQL_NTS, nullptr, 0));
  EXPECT_EQ("info_e", Rows(s, SQL_SUCCESS, {3}));
  for (const char* table : {"info_e", "infoxe"}) Exec(std::string("DROP TABLE ") + table);
}

// A commit closes the cursors, as SQL_CURSOR_COMMIT_BEHAVIOR says.
TEST_P(Info, CommitClosesCursorsAsAnswered) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectOption(c.dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF));
  ASSERT_EQ(SQL_SUCCESS, Exec("SELECT 1 UNION ALL SELECT 2"));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(s));
  ASSERT_EQ(SQL_SUCCESS, SQLTransact(SQL_NULL_HENV, c.dbc, SQL_COMMIT));
  EXPECT_EQ(SQL_ERROR, SQLFetch(s));
  SQLFreeStmt(s, SQL_CLOSE);
  SQLSetConnectOption(c.dbc, SQL_AUTOCOMMIT, SQL_AUTOCOMMIT_ON);
}

// Each claimed function answers something other than "not implemented";
// the three ways of asking agree.
struct Claim {
  SQLUSMALLINT id;
  std::function<SQLRETURN(SQLHDBC, SQLHSTMT)> call;
};
const Claim kClaims[] = {
    {SQL_API_SQLNATIVESQL,
     [](SQLHDBC d, SQLHSTMT) {
       SQLCHAR out[64];
       SQLINTEGER n = 0;
       return SQLNativeSql(d, T("SELECT 1"), SQL_NTS, out, sizeof out, &n);
     }},
    {SQL_API_SQLPROCEDURES,
     [](SQLHDBC, SQLHSTMT h) { return SQLProcedures(h, nullptr, 0, nullptr, 0, T("%"), SQL_NTS); }},
    {SQL_API_SQLPROCEDURECOLUMNS,
     [](SQLHDBC, SQLHSTMT h) {
       return SQLProcedureColumns(h, nullptr, 0, nullptr, 0, T("%"), SQL_NTS, T("%"), SQL_NTS);
     }},
    {SQL_API_SQLTABLEPRIVILEGES,
     [](SQLHDBC, SQLHSTMT h) { return SQLTablePrivileges(h, nullptr, 0, nullptr, 0, T("%"), SQL_NTS); }},
    {SQL_API_SQLCOLUMNPRIVILEGES,
     [](SQLHDBC, SQLHSTMT h) {
       return SQLColumnPrivileges(h, nullptr, 0, nullptr, 0, T("info_t"), SQL_NTS, T("%"), SQL_NTS);
     }},
    {SQL_API_SQLPRIMARYKEYS,
     [](SQLHDBC, SQLHSTMT h) { return SQLPrimaryKeys(h, nullptr, 0, nullptr, 0, T("info_t"), SQL_NTS); }},
    {SQL_API_SQLFOREIGNKEYS,
     [](SQLHDBC, SQLHSTMT h) {
       return SQLForeignKeys(h, nullptr, 0, nullptr, 0, T("info_t"), SQL_NTS, nullptr, 0, nullptr, 0, nullptr, 0);
     }},
    {SQL_API_SQLTABLES,
     [](SQLHDBC, SQLHSTMT h) { return SQLTables(h, nullptr, 0, nullptr, 0, T("%"), SQL_NTS, nullptr, 0); }},
    {SQL_API_SQLCOLUMNS,
     [](SQLHDBC, SQLHSTMT h) { return SQLColumns(h, nullptr, 0, nullptr, 0, T("info_t"), SQL_NTS, nullptr, 0); }},
    {SQL_API_SQLSTATISTICS,
     [](SQLHDBC, SQLHSTMT h) {
       return SQLStatistics(h, nullptr, 0, nullptr, 0, T("info_t"), SQL_NTS, SQL_INDEX_ALL, SQL_QUICK);
     }},
    {SQL_API_SQLSPECIALCOLUMNS,
     [](SQLHDBC, SQLHSTMT h) {
       return SQLSpecialColumns(h, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, T("info_t"), SQL_NTS, SQL_SCOPE_CURROW,
                                SQL_NULLABLE);
     }},
    {SQL_API_SQLGETTYPEINFO, [](SQLHDBC, SQLHSTMT h) { return SQLGetTypeInfo(h, SQL_ALL_TYPES); }},
    {SQL_API_SQLBULKOPERATIONS,
     [](SQLHDBC, SQLHSTMT h) {
       SQLINTEGER a = 1;
       SQLSetStmtAttr(h, SQL_ATTR_CONCURRENCY, (SQLPOINTER)SQL_CONCUR_ROWVER, 0);
       SQLExecDirect(h, T("SELECT a FROM info_t"), SQL_NTS);
       SQLBindCol(h, 1, SQL_C_SLONG, &a, 0, nullptr);
       return SQLBulkOperations(h, SQL_ADD);
     }},
    {SQL_API_SQLBROWSECONNECT,
     [](SQLHDBC, SQLHSTMT) {
       SQLHENV e;
       SQLHDBC other;
       SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &e);
       SQLSetEnvAttr(e, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
       SQLAllocHandle(SQL_HANDLE_DBC, e, &other);
       SQLCHAR out[256];
       SQLSMALLINT n = 0;
       const SQLRETURN rc = SQLBrowseConnect(other, T("DSN=VelWide"), SQL_NTS, out, sizeof out, &n);
       const std::string state = FirstState(SQL_HANDLE_DBC, other);
       SQLDisconnect(other);
       SQLFreeHandle(SQL_HANDLE_DBC, other);
       SQLFreeHandle(SQL_HANDLE_ENV, e);
       return state == "HYC00" || state == "S1C00" || state == "IM001" ? SQL_ERROR : rc;
     }},
};

TEST_P(Info, ClaimedFunctionsAreCallable) {
  SQLUSMALLINT all[100] = {0};
  ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(c.dbc, SQL_API_ALL_FUNCTIONS, all));
  SQLUSMALLINT bits[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {0};
  const bool bitmap = SQL_SUCCEEDED(SQLGetFunctions(c.dbc, SQL_API_ODBC3_ALL_FUNCTIONS, bits));
  for (SQLUSMALLINT id = 1; id < 100; ++id) {
    SQLUSMALLINT one = 7;
    if (!SQL_SUCCEEDED(SQLGetFunctions(c.dbc, id, &one))) continue;  // not a function number
    EXPECT_EQ(all[id], one) << id;
    EXPECT_TRUE(!bitmap || one == SQL_FUNC_EXISTS(bits, id)) << id;
  }
  Exec("DROP TABLE info_t");
  ASSERT_EQ(SQL_SUCCESS, Exec("CREATE TABLE info_t (a INTEGER PRIMARY KEY)"));
  for (const Claim& claim : kClaims) {
    SCOPED_TRACE(claim.id);
    SQLUSMALLINT exists = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(c.dbc, claim.id, &exists));
    SQLHSTMT h = SQL_NULL_HSTMT;
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &h));
    const SQLRETURN rc = claim.call(c.dbc, h);
    const std::string state = FirstState(SQL_HANDLE_STMT, h) + FirstState(SQL_HANDLE_DBC, c.dbc);
    SQLFreeHandle(SQL_HANDLE_STMT, h);
    if (!exists) continue;
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << state;
  }
  Exec("DROP TABLE info_t");
}

VEL_CONFORMANCE_SUITE(Info);

}  // namespace
