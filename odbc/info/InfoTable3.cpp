// The information types the ODBC 3.x library answers otherwise than the
// ODBC 2.0 one, and the ODBC 3 types, one row each. The answers hold for
// both storages of the server (SQLite and PostgreSQL): what either lacks is
// left out.
#include <sqlext.h>

#include "odbc/info/InfoTable.h"

namespace {

constexpr InfoRow Short(uint16_t type, const char* name, uint32_t value) {
  return {type, name, InfoKind::kShort, InfoSource::kFixed, value, nullptr, nullptr};
}
constexpr InfoRow Long(uint16_t type, const char* name, uint32_t value) {
  return {type, name, InfoKind::kLong, InfoSource::kFixed, value, nullptr, nullptr};
}
constexpr InfoRow Results(uint16_t type, const char* name, uint32_t value,
                          InfoSource source = InfoSource::kResults) {
  return {type, name, InfoKind::kLong, source, value, nullptr, nullptr};
}
constexpr InfoRow Editing(uint16_t type, const char* name, uint32_t value) {
  return {type, name, InfoKind::kLong, InfoSource::kEditing, value, nullptr, nullptr};
}
constexpr InfoRow Text(uint16_t type, const char* name, const char* value) {
  return {type, name, InfoKind::kText, InfoSource::kFixed, 0, value, nullptr};
}

// The library's file, and the ODBC version it implements: 3.51 on Windows
// and in the library for iODBC, whose headers (mingw-w64's, iODBC's) stop
// there.
#if defined(_WIN64)
constexpr char kDriverFile3[] = "VELDRVW64.DLL", kOdbcVersion3[] = "03.51";
#elif defined(_WIN32)
constexpr char kDriverFile3[] = "VELDRVW32.DLL", kOdbcVersion3[] = "03.51";
#elif defined(_IODBCUNIX_H)
constexpr char kDriverFile3[] = "libvelodbcw-iodbc.so", kOdbcVersion3[] = "03.51";
#else
constexpr char kDriverFile3[] = "libvelodbcw.so", kOdbcVersion3[] = "03.80";
#endif

// The data source's keywords without ODBC's own (SQL_ODBC_KEYWORDS and the
// escape clauses' words), as ODBC 3 asks: the 2.0 library's list keeps them.
constexpr char kKeywords3[] =
    "ABS,ACOS,ASCII,ASIN,ATAN,ATAN2,CEIL,CONCAT,COS,COT,CURDATE,CURTIME,DATABASE,DAYOFMONTH,"
    "DAYOFWEEK,DAYOFYEAR,"
    "EXP,FIELD,FLOOR,FORMAT,IFNULL,LCASE,LENGTH,LOCATE,LOG,LTRIM,MOD,NOW,PI,QUARTER,RAND,REPEAT,"
    "REPLACE,RTRIM,"
    "SIGN,SIN,SQRT,SUBSTR,TAN,UCASE,WEEK,XOR";

// clang-format off
constexpr InfoRow kInfoRows3[] = {
    Text(SQL_DRIVER_NAME, "DRIVER_NAME", kDriverFile3),
    Text(SQL_KEYWORDS, "KEYWORDS", kKeywords3),
    Text(SQL_DRIVER_ODBC_VER, "DRIVER_ODBC_VER", kOdbcVersion3),
    Long(SQL_ODBC_INTERFACE_CONFORMANCE, "ODBC_INTERFACE_CONFORMANCE", SQL_OIC_CORE),
    Long(SQL_SQL_CONFORMANCE, "SQL_CONFORMANCE", SQL_SC_SQL92_ENTRY),
    // Cursors are forward-only or static (every direction,
    // bookmarks, SQLSetPos positions); SQL_ATTR_MAX_ROWS holds. unixODBC
    // puts its cursor library in only without SQL_CA1_ABSOLUTE here.
    Long(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, "FORWARD_ONLY_CURSOR_ATTRIBUTES1", SQL_CA1_NEXT),
    Long(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, "FORWARD_ONLY_CURSOR_ATTRIBUTES2",
         SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_MAX_ROWS_SELECT),
    Editing(SQL_SCROLL_CONCURRENCY, "SCROLL_CONCURRENCY", SQL_SCCO_READ_ONLY),
    Editing(SQL_POS_OPERATIONS, "POS_OPERATIONS", SQL_POS_POSITION | SQL_POS_REFRESH),
    Editing(SQL_BOOKMARK_PERSISTENCE, "BOOKMARK_PERSISTENCE", SQL_BP_SCROLL),
    Editing(SQL_POSITIONED_STATEMENTS, "POSITIONED_STATEMENTS", 0),
    Editing(SQL_STATIC_CURSOR_ATTRIBUTES1, "STATIC_CURSOR_ATTRIBUTES1",
         SQL_CA1_NEXT | SQL_CA1_ABSOLUTE | SQL_CA1_RELATIVE | SQL_CA1_BOOKMARK |
             SQL_CA1_LOCK_NO_CHANGE | SQL_CA1_POS_POSITION | SQL_CA1_POS_REFRESH),
    Editing(SQL_STATIC_CURSOR_ATTRIBUTES2, "STATIC_CURSOR_ATTRIBUTES2",
         SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_MAX_ROWS_SELECT | SQL_CA2_CRC_EXACT),
    Editing(SQL_KEYSET_CURSOR_ATTRIBUTES1, "KEYSET_CURSOR_ATTRIBUTES1", 0),
    Editing(SQL_KEYSET_CURSOR_ATTRIBUTES2, "KEYSET_CURSOR_ATTRIBUTES2", 0),
    Editing(SQL_SCROLL_OPTIONS, "SCROLL_OPTIONS", SQL_SO_FORWARD_ONLY | SQL_SO_STATIC),
    Long(SQL_DYNAMIC_CURSOR_ATTRIBUTES1, "DYNAMIC_CURSOR_ATTRIBUTES1", 0),
    Long(SQL_DYNAMIC_CURSOR_ATTRIBUTES2, "DYNAMIC_CURSOR_ATTRIBUTES2", 0),
    Long(SQL_CURSOR_SENSITIVITY, "CURSOR_SENSITIVITY", SQL_UNSPECIFIED),
    Long(SQL_PARAM_ARRAY_ROW_COUNTS, "PARAM_ARRAY_ROW_COUNTS", SQL_PARC_NO_BATCH),
    // A text of several statements gives each one's result set or count
    // (not a procedure's: there are none), a query's array a result set
    // per set; both through SQLMoreResults, with a server that offers it.
    Results(SQL_PARAM_ARRAY_SELECTS, "PARAM_ARRAY_SELECTS", 0, InfoSource::kArraySelects),
    Results(SQL_BATCH_SUPPORT, "BATCH_SUPPORT", SQL_BS_SELECT_EXPLICIT | SQL_BS_ROW_COUNT_EXPLICIT),
    Results(SQL_BATCH_ROW_COUNT, "BATCH_ROW_COUNT", SQL_BRC_EXPLICIT),
    Long(SQL_ASYNC_MODE, "ASYNC_MODE", SQL_AM_NONE),
    Long(SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, "MAX_ASYNC_CONCURRENT_STATEMENTS", 0),
#ifdef SQL_ASYNC_DBC_FUNCTIONS
    Long(SQL_ASYNC_DBC_FUNCTIONS, "ASYNC_DBC_FUNCTIONS", SQL_ASYNC_DBC_NOT_CAPABLE),
    Long(SQL_DRIVER_AWARE_POOLING_SUPPORTED, "DRIVER_AWARE_POOLING_SUPPORTED",
         SQL_DRIVER_AWARE_POOLING_NOT_CAPABLE),
    Long(SQL_ASYNC_NOTIFICATION, "ASYNC_NOTIFICATION", SQL_ASYNC_NOTIFICATION_NOT_CAPABLE),
#endif
    Long(SQL_DTC_TRANSITION_COST, "DTC_TRANSITION_COST", 0),
    Short(SQL_ACTIVE_ENVIRONMENTS, "ACTIVE_ENVIRONMENTS", 0),
    Short(SQL_MAX_IDENTIFIER_LEN, "MAX_IDENTIFIER_LEN", 0),
    // No catalogs (SQL_CATALOG_NAME is "N"): nothing names or places one.
    Text(SQL_CATALOG_NAME_SEPARATOR, "CATALOG_NAME_SEPARATOR", ""),
    Text(SQL_CATALOG_TERM, "CATALOG_TERM", ""),
    // No schemas either (SQL_SCHEMA_USAGE is 0, SQLTables lists none): a
    // term would have a browser show a level with nothing in it. The 2.0
    // library keeps its owner term.
    Text(SQL_SCHEMA_TERM, "SCHEMA_TERM", ""),
    Short(SQL_CATALOG_LOCATION, "CATALOG_LOCATION", 0),
    Long(SQL_CATALOG_USAGE, "CATALOG_USAGE", 0),
    Short(SQL_MAX_CATALOG_NAME_LEN, "MAX_CATALOG_NAME_LEN", 0),
    Text(SQL_COLLATION_SEQ, "COLLATION_SEQ", ""),
    Long(SQL_OJ_CAPABILITIES, "OJ_CAPABILITIES", SQL_OJ_LEFT | SQL_OJ_INNER),
    Long(SQL_UNION, "UNION", SQL_U_UNION | SQL_U_UNION_ALL),
    Long(SQL_SUBQUERIES, "SUBQUERIES",
         SQL_SQ_COMPARISON | SQL_SQ_EXISTS | SQL_SQ_IN | SQL_SQ_CORRELATED_SUBQUERIES),
    Long(SQL_AGGREGATE_FUNCTIONS, "AGGREGATE_FUNCTIONS",
         SQL_AF_AVG | SQL_AF_COUNT | SQL_AF_MAX | SQL_AF_MIN | SQL_AF_SUM | SQL_AF_DISTINCT | SQL_AF_ALL),
    Long(SQL_SQL92_PREDICATES, "SQL92_PREDICATES",
         SQL_SP_EXISTS | SQL_SP_ISNOTNULL | SQL_SP_ISNULL | SQL_SP_LIKE | SQL_SP_IN | SQL_SP_BETWEEN |
             SQL_SP_COMPARISON),
    Long(SQL_SQL92_RELATIONAL_JOIN_OPERATORS, "SQL92_RELATIONAL_JOIN_OPERATORS",
         SQL_SRJO_CROSS_JOIN | SQL_SRJO_INNER_JOIN | SQL_SRJO_LEFT_OUTER_JOIN | SQL_SRJO_NATURAL_JOIN),
    Long(SQL_SQL92_VALUE_EXPRESSIONS, "SQL92_VALUE_EXPRESSIONS",
         SQL_SVE_CASE | SQL_SVE_CAST | SQL_SVE_COALESCE | SQL_SVE_NULLIF),
    Long(SQL_SQL92_STRING_FUNCTIONS, "SQL92_STRING_FUNCTIONS", SQL_SSF_LOWER | SQL_SSF_UPPER),
    Long(SQL_SQL92_NUMERIC_VALUE_FUNCTIONS, "SQL92_NUMERIC_VALUE_FUNCTIONS", 0),
    Long(SQL_SQL92_DATETIME_FUNCTIONS, "SQL92_DATETIME_FUNCTIONS",
         SQL_SDF_CURRENT_DATE | SQL_SDF_CURRENT_TIME | SQL_SDF_CURRENT_TIMESTAMP),
    Long(SQL_SQL92_FOREIGN_KEY_DELETE_RULE, "SQL92_FOREIGN_KEY_DELETE_RULE", 0),
    Long(SQL_SQL92_FOREIGN_KEY_UPDATE_RULE, "SQL92_FOREIGN_KEY_UPDATE_RULE", 0),
    Long(SQL_SQL92_GRANT, "SQL92_GRANT", 0),
    Long(SQL_SQL92_REVOKE, "SQL92_REVOKE", 0),
    Long(SQL_SQL92_ROW_VALUE_CONSTRUCTOR, "SQL92_ROW_VALUE_CONSTRUCTOR",
         SQL_SRVC_VALUE_EXPRESSION | SQL_SRVC_NULL),
    Long(SQL_DATETIME_LITERALS, "DATETIME_LITERALS", 0),
    Long(SQL_INDEX_KEYWORDS, "INDEX_KEYWORDS", SQL_IK_ASC | SQL_IK_DESC),
    Long(SQL_INFO_SCHEMA_VIEWS, "INFO_SCHEMA_VIEWS", 0),
    Long(SQL_INSERT_STATEMENT, "INSERT_STATEMENT", SQL_IS_INSERT_LITERALS | SQL_IS_INSERT_SEARCHED),
    Long(SQL_CREATE_TABLE, "CREATE_TABLE", SQL_CT_CREATE_TABLE),
    Long(SQL_DROP_TABLE, "DROP_TABLE", SQL_DT_DROP_TABLE),
    Long(SQL_CREATE_VIEW, "CREATE_VIEW", SQL_CV_CREATE_VIEW),
    Long(SQL_DROP_VIEW, "DROP_VIEW", SQL_DV_DROP_VIEW),
    // What one of the storages lacks (schemas, domains, assertions,
    // character sets, collations, translations) is none.
    Long(SQL_ALTER_DOMAIN, "ALTER_DOMAIN", 0),
    Long(SQL_CREATE_ASSERTION, "CREATE_ASSERTION", 0),
    Long(SQL_CREATE_CHARACTER_SET, "CREATE_CHARACTER_SET", 0),
    Long(SQL_CREATE_COLLATION, "CREATE_COLLATION", 0),
    Long(SQL_CREATE_DOMAIN, "CREATE_DOMAIN", 0),
    Long(SQL_CREATE_SCHEMA, "CREATE_SCHEMA", 0),
    Long(SQL_CREATE_TRANSLATION, "CREATE_TRANSLATION", 0),
    Long(SQL_DROP_ASSERTION, "DROP_ASSERTION", 0),
    Long(SQL_DROP_CHARACTER_SET, "DROP_CHARACTER_SET", 0),
    Long(SQL_DROP_COLLATION, "DROP_COLLATION", 0),
    Long(SQL_DROP_DOMAIN, "DROP_DOMAIN", 0),
    Long(SQL_DROP_SCHEMA, "DROP_SCHEMA", 0),
    Long(SQL_DROP_TRANSLATION, "DROP_TRANSLATION", 0),
    // {fn CONVERT} of intervals: the server says (PostgreSQL only).
    Long(SQL_CONVERT_INTERVAL_YEAR_MONTH, "CONVERT_INTERVAL_YEAR_MONTH", 0),
    Long(SQL_CONVERT_INTERVAL_DAY_TIME, "CONVERT_INTERVAL_DAY_TIME", 0),
    Text(SQL_XOPEN_CLI_YEAR, "XOPEN_CLI_YEAR", "1995"),
    Long(SQL_DDL_INDEX, "DDL_INDEX", SQL_DI_CREATE_INDEX | SQL_DI_DROP_INDEX),
    Long(SQL_STANDARD_CLI_CONFORMANCE, "STANDARD_CLI_CONFORMANCE", 0),
    Long(SQL_CONVERT_WCHAR, "CONVERT_WCHAR", 0),
    Long(SQL_CONVERT_WVARCHAR, "CONVERT_WVARCHAR", 0),
    Long(SQL_CONVERT_WLONGVARCHAR, "CONVERT_WLONGVARCHAR", 0),
    Long(SQL_CONVERT_GUID, "CONVERT_GUID", 0),
};
// clang-format on

}  // namespace

const InfoRow* FindInfoRow3(uint16_t type) {
  for (const InfoRow& row : kInfoRows3) {
    if (row.type == type) return &row;
  }
  return nullptr;
}
