// The information types SQLGetInfo answers, one row each.
#include "odbc/info/InfoTable.h"

#include <sqlext.h>

namespace {

constexpr InfoRow Short(uint16_t type, const char* name, uint32_t value,
                        const char* trace = nullptr) {
  return {type, name, InfoKind::kShort, InfoSource::kFixed, value, nullptr, trace};
}
constexpr InfoRow Long(uint16_t type, const char* name, uint32_t value,
                       const char* trace = nullptr) {
  return {type, name, InfoKind::kLong, InfoSource::kFixed, value, nullptr, trace};
}
// A read-only cursor's answer; cursors that write back add theirs.
constexpr InfoRow Editing(uint16_t type, const char* name, uint32_t value,
                          const char* trace = nullptr) {
  return {type, name, InfoKind::kLong, InfoSource::kEditing, value, nullptr, trace};
}
constexpr InfoRow Text(uint16_t type, const char* name, const char* value,
                       const char* trace = nullptr) {
  return {type, name, InfoKind::kText, InfoSource::kFixed, 0, value, trace};
}
// SQL_CONVERT_<type> of sqlType, derived from what {fn CONVERT} does
// (convert/SqlTypeTable.cpp).
constexpr InfoRow Convert(uint16_t type, const char* name, int16_t sqlType) {
  return {type,
          name,
          InfoKind::kLong,
          InfoSource::kConvertFunction,
          static_cast<uint32_t>(sqlType),
          nullptr,
          nullptr};
}
constexpr InfoRow From(uint16_t type, const char* name, InfoKind kind, InfoSource source) {
  return {type, name, kind, source, 0, nullptr, nullptr};
}

constexpr const char kKeywords[] =
    "ABS,ACOS,ALL,ALTER,AND,ANY,AS,ASC,ASCII,ASIN,ATAN,ATAN2,AVG,BETWEEN,BY,CASCADE,CEIL,"
    "CHAR,CHECK,CONCAT,CONVERT,COS,COT,COUNT,CREATE,CURDATE,CURRENT,CURTIME,DATABASE,"
    "DATE,DAYOFMONTH,DAYOFWEEK,DAYOFYEAR,DEFAULT,DELETE,DESC,DESCRIBE,DISTINCT,DOUBLE,"
    "DROP,ESCAPE,EXISTS,EXP,FIELD,FLOAT,FLOOR,FN,FOR,FORMAT,FOREIGN,FROM,GRANT,GROUP,"
    "HAVING,HOUR,IFNULL,IN,INDEX,INSERT,INTEGER,INT,INTO,IS,JOIN,KEY,LCASE,LEFT,LENGTH,"
    "LIKE,LOCATE,LOG,LTRIM,MAX,MICROSOFT,MIN,MINUTE,MOD,MONTH,NOT,NOW,NULL,ODBC,OF,ON,"
    "OPTION,OR,ORDER,OUTER,PI,PRIMARY,PRODUCT,PUBLIC,QUARTER,RAND,REFERENCES,REPEAT,"
    "REPLACE,RESTRICT,REVOKE,RIGHT,RTRIM,SECOND,SELECT,SET,SIGN,SIN,SMALLINT,SQRT,SUBSTR,"
    "SUM,TABLE,TAN,TIME,TIMESTAMP,TO,UCASE,UNION,UNIQUE,UPDATE,USER,VALUES,VENDOR,VIEW,"
    "WEEK,WHERE,WITH,XOR,YEAR";

// Several trace lines name another value than the one answered; the
// answers are the ones applications have always been given.
// The file name of this library; the 64-bit Windows build is VELDRV64.DLL.
#ifdef _WIN64
constexpr char kDriverFile[] = "VELDRV64.DLL";
#else
constexpr char kDriverFile[] = "VELDRV32.DLL";
#endif

constexpr InfoRow kInfoRows[] = {
    Short(0, "ACTIVE_CONNECTIONS", 32),
    Short(1, "ACTIVE_STATEMENTS", 16),
    From(2, "DATA_SOURCE_NAME", InfoKind::kText, InfoSource::kDataSourceName),
    From(3, "DRIVER_HDBC", InfoKind::kHandle, InfoSource::kConnectionHandle),
    From(4, "DRIVER_HENV", InfoKind::kHandle, InfoSource::kEnvironmentHandle),
    From(5, "DRIVER_HSTMT", InfoKind::kHandle, InfoSource::kStatementHandle),
    Text(6, "DRIVER_NAME", kDriverFile),
    Text(7, "DRIVER_VER", "01.05.0001"),
    // Static cursors scroll every way (bookmarks too); unixODBC puts its
    // cursor library in for an ODBC 2 driver only without FD_FETCH_PRIOR.
    Long(8, "FETCH_DIRECTION", 0xBF, "    FETCH_DIRECTION=FD_FETCH_NEXT"),
    Short(9, "ODBC_API_CONFORMANCE", 2, "    ODBC_API_CONFORMANCE=OAC_LEVEL1"),
    From(10, "ODBC_VER", InfoKind::kText, InfoSource::kOdbcVersion),
    Text(11, "ROW_UPDATES", "N"),
    Short(12, "ODBC_SAG_CLI_CONFORMANCE", 0, "    ODBC_SAG_CLI_CONFORMANCE=OSCC_NOT_COMPLIANT"),
    From(13, "SERVER_NAME", InfoKind::kText, InfoSource::kServerName),
    Text(14, "SEARCH_PATTERN_ESCAPE", "\\"),
    Short(15, "ODBC_SQL_CONFORMANCE", 1, "    ODBC_SQL_CONFORMANCE=OSC_CORE"),
    From(16, "DATABASE_NAME", InfoKind::kText, InfoSource::kDatabaseName),
    Text(17, "DBMS_NAME", "Velora"),
    From(18, "DBMS_VER", InfoKind::kText, InfoSource::kDbmsVersion),
    Text(19, "ACCESSIBLE_TABLES", "Y"),
    Text(20, "ACCESSIBLE_PROCEDURES", "N"),
    From(21, "PROCEDURES", InfoKind::kText, InfoSource::kProcedures),
    Short(22, "CONCAT_NULL_BEHAVIOR", 0),
    // The server closes its cursors when a transaction ends; prepared
    // statements stay. A static cursor keeps the rows it holds (more than
    // SQL_CB_CLOSE promises), a forward-only one is gone.
    Short(23, "CURSOR_COMMIT_BEHAVIOR", 1, "    CURSOR_COMMIT_BEHAVIOR=CB_CLOSE"),
    Short(24, "CURSOR_ROLLBACK_BEHAVIOR", 1, "    CURSOR_ROLLBACK_BEHAVIOR=CB_CLOSE"),
    From(25, "DATA_SOURCE_READ_ONLY", InfoKind::kText, InfoSource::kReadOnly),
    From(26, "DEFAULT_TXN_ISOLATION", InfoKind::kLong, InfoSource::kDefaultIsolation),
    Text(27, "EXPRESSIONS_IN_ORDERBY", "N"),
    From(28, "IDENTIFIER_CASE", InfoKind::kShort, InfoSource::kIdentifierCase),
    From(29, "IDENTIFIER_QUOTE_CHAR", InfoKind::kText, InfoSource::kQuoteChar),
    Short(30, "MAX_COLUMN_NAME_LEN", 0),
    Short(31, "MAX_CURSOR_NAME_LEN", 0),
    // The storages' tables are named without owner or qualifier: the
    // catalogue functions answer none, and no statement takes one.
    Short(32, "MAX_OWNER_NAME_LEN", 0),
    Short(33, "MAX_PROCEDURE_NAME_LEN", 0),
    Short(34, "MAX_QUALIFIER_NAME_LEN", 0),
    Short(35, "MAX_TABLE_NAME_LEN", 0),
    From(36, "MULT_RESULT_SETS", InfoKind::kText, InfoSource::kResults),
    Text(37, "MULTIPLE_ACTIVE_TXN", "N"),
    Text(38, "OUTER_JOINS", "Y"),
    Text(39, "OWNER_TERM", "Database"),
    Text(40, "PROCEDURE_TERM", "", "    PROCEDURE_TERM=empty"),
    Text(41, "QUALIFIER_NAME_SEPARATOR", ""),
    Text(42, "QUALIFIER_TERM", "No Qualifier"),
    Editing(43, "SCROLL_CONCURRENCY", 1, "    SCROLL_CONCURRENCY=SCCO_READ_ONLY"),
    Editing(44, "SCROLL_OPTIONS", 0x11, "    SCROLL_OPTIONS=SO_FORWARD_ONLY"),
    Text(45, "TABLE_TERM", "Table"),
    // Both storages run data definition inside transactions too.
    Short(46, "TXN_CAPABLE", 2, "    TXN_CAPABLE=TC_ALL"),
    From(47, "USER_NAME", InfoKind::kText, InfoSource::kUserName),
    // The scalar functions whose escapes run on both storages: the ones
    // the server translates and the ones both know by ODBC's name.
    Long(48, "CONVERT_FUNCTIONS", 3, "    CONVERT_FUNCTIONS=FN_CVT_CONVERT | FN_CVT_CAST"),
    Long(49, "NUMERIC_FUNCTIONS", 1, "    NUMERIC_FUNCTIONS=FN_NUM_ABS"),
    // CONCAT, LCASE, LENGTH, LTRIM, RTRIM, UCASE.
    Long(50, "STRING_FUNCTIONS", 0x1459),
    Long(51, "SYSTEM_FUNCTIONS", 0),
    // NOW, CURDATE, DAYOFMONTH, MONTH, YEAR, CURTIME, HOUR, MINUTE, SECOND.
    Long(52, "TIMEDATE_FUNCTIONS", 0x1F27),
    Convert(53, "CONVERT_BIGINT", SQL_BIGINT),
    Convert(54, "CONVERT_BINARY", SQL_BINARY),
    Convert(55, "CONVERT_BIT", SQL_BIT),
    Convert(56, "CONVERT_CHAR", SQL_CHAR),
    Convert(57, "CONVERT_DATE", SQL_DATE),
    Convert(58, "CONVERT_DECIMAL", SQL_DECIMAL),
    Convert(59, "CONVERT_DOUBLE", SQL_DOUBLE),
    Convert(60, "CONVERT_FLOAT", SQL_FLOAT),
    Convert(61, "CONVERT_INTEGER", SQL_INTEGER),
    Convert(62, "CONVERT_LONGVARCHAR", SQL_LONGVARCHAR),
    Convert(63, "CONVERT_NUMERIC", SQL_NUMERIC),
    Convert(64, "CONVERT_REAL", SQL_REAL),
    Convert(65, "CONVERT_SMALLINT", SQL_SMALLINT),
    Convert(66, "CONVERT_TIME", SQL_TIME),
    Convert(67, "CONVERT_TIMESTAMP", SQL_TIMESTAMP),
    Convert(68, "CONVERT_TINYINT", SQL_TINYINT),
    Convert(69, "CONVERT_VARBINARY", SQL_VARBINARY),
    Convert(70, "CONVERT_VARCHAR", SQL_VARCHAR),
    Convert(71, "CONVERT_LONGVARBINARY", SQL_LONGVARBINARY),
    From(72, "TXN_ISOLATION_OPTION", InfoKind::kLong, InfoSource::kIsolationOptions),
    Text(73, "ODBC_SQL_OPT_IEF", "N"),
    Short(74, "CORRELATION_NAME", 2, "    CORRELATION_NAME=CN_ANY"),
    Short(75, "NON_NULLABLE_COLUMNS", 0, "    NON_NULLABLE_COLUMNS=NCC_NULL"),
    From(76, "DRIVER_HLIB", InfoKind::kHandle, InfoSource::kModuleHandle),
    Text(77, "DRIVER_ODBC_VER", "02.00"),
    Long(78, "LOCK_TYPES", 1, "    LOCK_TYPES=NO_CHANGE"),
    Editing(79, "POS_OPERATIONS", 1),  // SQL_POS_POSITION
    Editing(80, "POSITIONED_STATEMENTS", 0),
    Long(81, "GETDATA_EXTENSIONS", 11, "    GETDATA_EXTENSIONS=GD_ANY_COLUMN | GD_ANY_ORDER"),
    // Bookmarks (row numbers) hold while the cursor scrolls.
    Editing(82, "BOOKMARK_PERSISTENCE", 0x40),
    Long(83, "STATIC_SENSITIVITY", 0),
    Short(84, "FILE_USAGE", 0, "    FILE_USAGE=FILE_NOT_SUPPORTED"),
    From(85, "NULL_COLLATION", InfoKind::kShort, InfoSource::kNullCollation),
    Long(86, "ALTER_TABLE", 0),
    Text(87, "COLUMN_ALIAS", "Y"),
    Short(88, "GROUP_BY", 2, "    GROUP_BY=GB_GROUP_BY_CONTAINS_SELECT"),
    Text(89, "KEYWORDS", kKeywords, "    KEYWORDS"),
    Text(90, "ORDER_BY_COLUMNS_IN_SELECT", "Y", "    ORDER_BY_COLUMNC_IN_SELECT=Yes"),
    Long(91, "OWNER_USAGE", 0),
    Long(92, "QUALIFIER_USAGE", 0),
    From(93, "QUOTED_IDENTIFIER_CASE", InfoKind::kShort, InfoSource::kQuotedCase),
    Text(94, "SPECIAL_CHARACTERS", "", "    SPECIAL_CHARACTERS=not defined"),
    Long(95, "SUBQUERIES", 0),
    Long(96, "UNION", 0),
    Short(97, "MAX_COLUMNS_IN_GROUP_BY", 0),
    Short(98, "MAX_COLUMNS_IN_INDEX", 0),
    Short(99, "MAX_COLUMNS_IN_ORDER_BY", 0),
    Short(100, "MAX_COLUMNS_IN_SELECT", 0),
    Short(101, "MAX_COLUMNS_IN_TABLE", 0),
    Long(102, "MAX_INDEX_SIZE", 0),
    Text(103, "MAX_ROW_SIZE_INCLUDES_LONG", "Y"),
    Long(104, "MAX_ROW_SIZE", 0),
    Long(105, "MAX_STATEMENT_LEN", 0),  // none but a request's
    Short(106, "MAX_TABLES_IN_SELECT", 0),
    Short(107, "MAX_USER_NAME_LEN", 0),
    Long(108, "MAX_CHAR_LITERAL_LEN", 0),  // none but the statement's
    // No TIMESTAMPADD or TIMESTAMPDIFF escape.
    Long(109, "TIMEDATE_ADD_INTERVALS", 0),
    Long(110, "TIMEDATE_DIFF_INTERVALS", 0),
    Text(111, "NEED_LONG_DATA_LEN", "Y"),
    Long(112, "MAX_BINARY_LITERAL_LEN", 0),
    Text(113, "LIKE_ESCAPE_CLAUSE", "Y"),
    Short(114, "QUALIFIER_LOCATION", 0),
    Long(65003, "OJ_CAPABILITIES", 33, "    OJ_CAPABILITIES=OJ_LEFT|OJ_INNER"),
    // ODBC 3 types that the driver manager and common clients ask of every
    // driver at connect: answered instead of leaving an error behind.
    Text(10002, "DESCRIBE_PARAMETER", "N"),
    Text(10003, "CATALOG_NAME", "N"),
};

}  // namespace

const InfoRow* FindInfoRow(uint16_t type) {
  for (const InfoRow& row : kInfoRows) {
    if (row.type == type) return &row;
  }
  return nullptr;
}

const InfoRow* FindAnyInfoRow(uint16_t type, bool odbc3) {
  const InfoRow* row = odbc3 ? FindInfoRow3(type) : FindInfoRow(type);
  return row != nullptr ? row : odbc3 ? FindInfoRow(type) : FindInfoRow3(type);
}
