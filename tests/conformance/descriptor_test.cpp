// The descriptor functions (ODBC 3 only): SQLGetDescField, SQLSetDescField,
// SQLGetDescRec, SQLSetDescRec and SQLCopyDesc on a statement's four
// descriptors, and SQLColAttribute, which reads the implementation row
// descriptor. Each case is a program of steps on one statement.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "conformance.h"

namespace {

enum Desc { kArd, kApd, kIrd, kIpd, kExplicit };
const SQLINTEGER kDescAttr[] = {SQL_ATTR_APP_ROW_DESC, SQL_ATTR_APP_PARAM_DESC, SQL_ATTR_IMP_ROW_DESC,
                                SQL_ATTR_IMP_PARAM_DESC};

// A step's value naming one of the case's buffers (set or expected as a
// pointer field).
constexpr SQLLEN kLen = -1001, kInd = -1002, kBuf = -1003;

enum Op : char {
  kSet = 's',        // SQLSetDescField(rec, field, value)
  kGet = 'g',        // SQLGetDescField(rec, field) == value (a number or a buffer)
  kGetText = 't',    // SQLGetDescField(rec, field) == text
  kSetRec = 'r',     // SQLSetDescRec(rec, type field, length value, buf, len, ind)
  kGetRec = 'R',     // SQLGetDescRec(rec): "name type sub length precision scale nullable" == text
  kColAttr = 'c',    // SQLColAttribute(rec, field) == value, or text when given
  kCopy = 'y',       // SQLCopyDesc(the step's descriptor, the one named by value)
  kRun = 'x',        // SQLExecute and SQLFetch of the prepared text
  kLength = 'L',     // len == value
  kIndicator = 'I',  // ind == value
  kPutLen = 'l',     // len = value
  kPutInd = 'i',     // ind = value
  kColumn = 'd',     // SQLGetData(rec, SQL_C_CHAR) == text ("-" for NULL)
  kBindCol = 'b',    // SQLBindCol(rec, type field, buf, length value, len)
  kBindParam = 'p',  // SQLBindParameter(rec, input, type field, VARCHAR, buf, length value, len)
  kNumeric = 'n',    // SQLGetData(rec, SQL_C_NUMERIC) == "precision scale magnitude"
};

struct Step {
  Op op;
  Desc desc;
  SQLSMALLINT rec;
  SQLSMALLINT field;
  SQLLEN value;
  SQLRETURN rc = SQL_SUCCESS;
  const char* state = "";  // ODBC 3's form; "" for none
  const char* text = nullptr;
};

struct DescCase {
  const char* what;
  const char* sql;  // prepared before the steps
  std::vector<Step> steps;
};

const SQLRETURN ok = SQL_SUCCESS, err = SQL_ERROR, none = SQL_NO_DATA;
const char* const kTable = "SELECT v, t, n FROM conformance_desc";

const DescCase kCases[] = {
    // Argument and state rules of SQLGetDescField and SQLSetDescField.
    {"unknown field", "SELECT 1", {{kGet, kArd, 1, 9999, 0, err, "HY091"}, {kSet, kArd, 1, 9999, 0, err, "HY091"}}},
    {"read-only fields",
     "SELECT 1",
     {{kSet, kArd, 0, SQL_DESC_ALLOC_TYPE, SQL_DESC_ALLOC_USER, err, "HY091"},
      {kSet, kIpd, 1, SQL_DESC_DATA_PTR, kBuf, err, "HY091"},
      {kGet, kIpd, 0, SQL_DESC_ALLOC_TYPE, SQL_DESC_ALLOC_AUTO}}},
    {"the implementation row descriptor is read-only",
     "SELECT 1",
     {{kSet, kIrd, 1, SQL_DESC_TYPE, SQL_INTEGER, err, "HY016"},
      {kSet, kIrd, 0, SQL_DESC_COUNT, 3, err, "HY016"},
      {kSetRec, kIrd, 1, SQL_C_CHAR, 8, err, "HY016"},
      {kCopy, kArd, 0, 0, kIrd, err, "HY016"},
      {kSet, kIrd, 0, SQL_DESC_ARRAY_STATUS_PTR, 0}}},
    {"record numbers",
     "SELECT 1",
     {{kGet, kIrd, 0, SQL_DESC_TYPE, 0, err, "07009"},
      {kGet, kArd, -1, SQL_DESC_TYPE, 0, err, "07009"},
      {kSet, kIpd, 0, SQL_DESC_TYPE, SQL_INTEGER, err, "07009"},
      {kSet, kApd, 0, SQL_DESC_TYPE, SQL_C_LONG, err, "07009"},
      {kSet, kArd, -1, SQL_DESC_TYPE, SQL_C_LONG, err, "07009"},
      {kGet, kIrd, 2, SQL_DESC_TYPE, 0, none},
      {kGet, kArd, 0, SQL_DESC_COUNT, 0}}},
    {"text fields: negative buffer lengths",
     "SELECT 1 AS one",
     {{kGetText, kIrd, 1, SQL_DESC_NAME, -1, err, "HY090"}, {kGetText, kIrd, 1, SQL_DESC_NAME, 0, ok, "", "one"}}},
    // The consistency rules.
    {"setting a record field unbinds the record",
     "SELECT 1",
     {{kSetRec, kArd, 1, SQL_C_CHAR, 64},
      {kGet, kArd, 1, SQL_DESC_DATA_PTR, kBuf},
      {kSet, kArd, 1, SQL_DESC_TYPE, SQL_C_LONG},
      {kGet, kArd, 1, SQL_DESC_DATA_PTR, 0},
      {kGet, kArd, 1, SQL_DESC_INDICATOR_PTR, kInd}}},
    {"an inconsistent record cannot be bound",
     "SELECT 1",
     {{kSet, kArd, 1, SQL_DESC_TYPE, SQL_C_NUMERIC},
      {kSet, kArd, 1, SQL_DESC_PRECISION, 60},
      {kSet, kArd, 1, SQL_DESC_DATA_PTR, kBuf, err, "HY021"},
      {kSet, kArd, 2, SQL_DESC_TYPE, 9999},
      {kSet, kArd, 2, SQL_DESC_DATA_PTR, kBuf, err, "HY021"}}},
    {"SQL_DESC_COUNT adds and removes records",
     "SELECT 1",
     {{kSet, kArd, 0, SQL_DESC_COUNT, 3},
      {kGet, kArd, 0, SQL_DESC_COUNT, 3},
      {kGet, kArd, 3, SQL_DESC_TYPE, SQL_C_DEFAULT},
      {kSet, kApd, 0, SQL_DESC_COUNT, 2},
      {kGet, kApd, 0, SQL_DESC_COUNT, 2},
      {kSet, kArd, 0, SQL_DESC_COUNT, 1},
      {kGet, kArd, 0, SQL_DESC_COUNT, 1}}},
    {"a date type's code and verbose type",
     "SELECT 1",
     {{kSet, kArd, 1, SQL_DESC_CONCISE_TYPE, SQL_C_TYPE_DATE},
      {kGet, kArd, 1, SQL_DESC_TYPE, SQL_DATETIME},
      {kGet, kArd, 1, SQL_DESC_DATETIME_INTERVAL_CODE, SQL_CODE_DATE}}},
    // The indicator and the length are two fields.
    {"a NULL goes to the indicator alone",
     "SELECT NULL",
     {{kSetRec, kArd, 1, SQL_C_CHAR, 64},
      {kRun, kArd, 0, 0, 0},
      {kIndicator, kArd, 0, 0, SQL_NULL_DATA},
      {kLength, kArd, 0, 0, 99}}},
    {"a value's length to the length, 0 to the indicator",
     "SELECT 'ab'",
     {{kSetRec, kArd, 1, SQL_C_CHAR, 64},
      {kRun, kArd, 0, 0, 0},
      {kIndicator, kArd, 0, 0, 0},
      {kLength, kArd, 0, 0, 2}}},
    {"the length pointer cleared keeps the indicator",
     "SELECT NULL",
     {{kSetRec, kArd, 1, SQL_C_CHAR, 64},
      {kSet, kArd, 1, SQL_DESC_OCTET_LENGTH_PTR, 0},
      {kGet, kArd, 1, SQL_DESC_INDICATOR_PTR, kInd},
      {kGet, kArd, 1, SQL_DESC_OCTET_LENGTH_PTR, 0},
      {kRun, kArd, 0, 0, 0},
      {kIndicator, kArd, 0, 0, SQL_NULL_DATA}}},
    {"a parameter's NULL comes from its indicator",
     "SELECT ?",
     {{kSetRec, kApd, 1, SQL_C_CHAR, 64},
      {kPutLen, kApd, 0, 0, SQL_NTS},
      {kPutInd, kApd, 0, 0, SQL_NULL_DATA},
      {kRun, kApd, 0, 0, 0},
      {kColumn, kApd, 1, 0, 0, ok, "", "-"}}},
    {"SQLBindCol and SQLBindParameter set both pointers",
     "SELECT ?",
     {{kBindCol, kArd, 1, SQL_C_CHAR, 64},
      {kGet, kArd, 1, SQL_DESC_INDICATOR_PTR, kLen},
      {kGet, kArd, 1, SQL_DESC_OCTET_LENGTH_PTR, kLen},
      {kBindParam, kApd, 1, SQL_C_CHAR, 64},
      {kGet, kApd, 1, SQL_DESC_INDICATOR_PTR, kLen},
      {kGet, kApd, 1, SQL_DESC_OCTET_LENGTH_PTR, kLen}}},
    {"SQLGetDescRec of an application record",
     "SELECT 1",
     {{kSetRec, kArd, 1, SQL_C_CHAR, 64},
      {kGetRec, kArd, 1, 0, 0, ok, "", " 1 0 64 0 0"},
      {kGetRec, kArd, 2, 0, 0, none},
      {kGetRec, kArd, -1, 0, 0, err, "07009"}}},
    {"SQLCopyDesc copies the records",
     "SELECT 1",
     {{kSetRec, kArd, 2, SQL_C_CHAR, 64},
      {kCopy, kArd, 0, 0, kExplicit},
      {kGet, kExplicit, 0, SQL_DESC_COUNT, 2},
      {kGet, kExplicit, 2, SQL_DESC_OCTET_LENGTH, 64},
      {kGet, kExplicit, 2, SQL_DESC_INDICATOR_PTR, kInd},
      {kGet, kExplicit, 2, SQL_DESC_OCTET_LENGTH_PTR, kLen},
      {kGet, kExplicit, 2, SQL_DESC_DATA_PTR, kBuf}}},
    // The implementation row descriptor answers what SQLColAttribute does.
    {"result column fields",
     kTable,
     {{kGetText, kIrd, 1, SQL_DESC_TYPE_NAME, 64, ok, "", "VARCHAR"},
      {kGetText, kIrd, 1, SQL_DESC_LABEL, 64, ok, "", "v"},
      {kGetText, kIrd, 1, SQL_DESC_BASE_COLUMN_NAME, 64, ok, "", "v"},
      {kGetText, kIrd, 1, SQL_DESC_TABLE_NAME, 64, ok, "", "conformance_desc"},
      {kGetText, kIrd, 1, SQL_DESC_BASE_TABLE_NAME, 64, ok, "", "conformance_desc"},
      {kGetText, kIrd, 1, SQL_DESC_LITERAL_PREFIX, 64, ok, "", "'"},
      {kGetText, kIrd, 1, SQL_DESC_LITERAL_SUFFIX, 64, ok, "", "'"},
      {kGet, kIrd, 1, SQL_DESC_DISPLAY_SIZE, 10},
      {kGet, kIrd, 1, SQL_DESC_LENGTH, 10},
      {kGet, kIrd, 1, SQL_DESC_OCTET_LENGTH, 40},
      {kGet, kIrd, 1, SQL_DESC_UNSIGNED, SQL_TRUE},
      {kGet, kIrd, 1, SQL_DESC_SEARCHABLE, SQL_PRED_SEARCHABLE},
      {kGet, kIrd, 1, SQL_DESC_CASE_SENSITIVE, SQL_TRUE},
      {kGet, kIrd, 1, SQL_DESC_NUM_PREC_RADIX, 0},
      {kGet, kIrd, 1, SQL_DESC_FIXED_PREC_SCALE, SQL_FALSE},
      {kGet, kIrd, 1, SQL_DESC_AUTO_UNIQUE_VALUE, SQL_FALSE},
      {kGet, kIrd, 3, SQL_DESC_NUM_PREC_RADIX, 10},
      {kGet, kIrd, 3, SQL_DESC_UNSIGNED, SQL_FALSE},
      {kGet, kIrd, 3, SQL_DESC_PRECISION, 5},
      {kGet, kIrd, 3, SQL_DESC_SCALE, 2},
      {kGetRec, kIrd, 1, 0, 0, ok, "", "v 12 0 40 10 0 1"}}},
    // The implementation parameter descriptor answers them of a parameter's type.
    {"parameter type fields",
     "SELECT ?",
     {{kBindParam, kApd, 1, SQL_C_CHAR, 64},
      {kGetText, kIpd, 1, SQL_DESC_TYPE_NAME, 64, ok, "", "VARCHAR"},
      {kGet, kIpd, 1, SQL_DESC_UNSIGNED, SQL_TRUE},
      {kGet, kIpd, 1, SQL_DESC_CASE_SENSITIVE, SQL_TRUE},
      {kSet, kIpd, 1, SQL_DESC_TYPE, SQL_INTEGER},
      {kGetText, kIpd, 1, SQL_DESC_LOCAL_TYPE_NAME, 64, ok, "", "INTEGER"},
      {kGet, kIpd, 1, SQL_DESC_UNSIGNED, SQL_FALSE},
      {kGet, kIpd, 1, SQL_DESC_NUM_PREC_RADIX, 10},
      {kGet, kIpd, 1, SQL_DESC_FIXED_PREC_SCALE, SQL_FALSE}}},
    {"SQLColAttribute: every field",
     kTable,
     {{kColAttr, kIrd, 1, SQL_DESC_COUNT, 3},
      {kColAttr, kIrd, 1, SQL_DESC_TYPE, SQL_VARCHAR},
      {kColAttr, kIrd, 1, SQL_DESC_CONCISE_TYPE, SQL_VARCHAR},
      {kColAttr, kIrd, 1, SQL_DESC_LENGTH, 10},
      {kColAttr, kIrd, 1, SQL_DESC_OCTET_LENGTH, 40},
      {kColAttr, kIrd, 1, SQL_DESC_DISPLAY_SIZE, 10},
      {kColAttr, kIrd, 1, SQL_DESC_NULLABLE, SQL_NULLABLE},
      {kColAttr, kIrd, 1, SQL_DESC_UNNAMED, SQL_NAMED},
      {kColAttr, kIrd, 1, SQL_DESC_NAME, 0, ok, "", "v"},
      {kColAttr, kIrd, 1, SQL_DESC_LOCAL_TYPE_NAME, 0, ok, "", "VARCHAR"},
      {kColAttr, kIrd, 1, SQL_DESC_CATALOG_NAME, 0, ok, "", ""},
      {kColAttr, kIrd, 2, SQL_DESC_TYPE, SQL_DATETIME},
      {kColAttr, kIrd, 2, SQL_DESC_CONCISE_TYPE, SQL_TYPE_TIMESTAMP},
      // Values keep nine digits of a second's fraction.
      {kColAttr, kIrd, 2, SQL_DESC_LENGTH, 29},
      {kColAttr, kIrd, 2, SQL_DESC_DISPLAY_SIZE, 29},
      {kColAttr, kIrd, 2, SQL_DESC_OCTET_LENGTH, 16},
      {kColAttr, kIrd, 2, SQL_COLUMN_LENGTH, 16},
      {kColAttr, kIrd, 3, SQL_DESC_PRECISION, 5},
      {kColAttr, kIrd, 3, SQL_DESC_SCALE, 2},
      {kColAttr, kIrd, 3, SQL_DESC_DISPLAY_SIZE, 7},
      {kColAttr, kIrd, 3, SQL_DESC_FIXED_PREC_SCALE, SQL_FALSE},
      {kColAttr, kIrd, 4, SQL_DESC_TYPE, 0, err, "07009"},
      {kColAttr, kIrd, 1, 9999, 0, err, "HY091"}}},
    // Nine leading digits; the seconds PostgreSQL's modifier declares.
    {"an interval's precisions",
     "/* PostgreSQL */ SELECT CAST('1 2:3:4.5' AS interval day to second(3)), CAST('5' AS interval minute)",
     {{kColAttr, kIrd, 1, SQL_DESC_LENGTH, 22},
      {kColAttr, kIrd, 1, SQL_DESC_PRECISION, 3},
      {kColAttr, kIrd, 1, SQL_DESC_DATETIME_INTERVAL_PRECISION, 9},
      {kGet, kIrd, 1, SQL_DESC_PRECISION, 3},
      {kGet, kIrd, 2, SQL_DESC_DATETIME_INTERVAL_PRECISION, 9},
      {kGet, kIrd, 2, SQL_DESC_PRECISION, 0}}},
    // Described with all the digits values have (16) and six after the point.
    {"a numeric without declared digits",
     "/* PostgreSQL */ SELECT 123.45, 1.2345678",
     {{kColAttr, kIrd, 1, SQL_DESC_PRECISION, 16},
      {kColAttr, kIrd, 1, SQL_DESC_SCALE, 6},
      {kRun, kArd, 0, 0, 0},
      {kNumeric, kArd, 1, 0, 0, ok, "", "16 6 123450000"},
      {kNumeric, kArd, 2, 0, 0, SQL_SUCCESS_WITH_INFO, "01S07", "16 6 1234567"}}},
};

class Descriptors : public Conformance {
 protected:
  void SetUp() override {
    Conformance::SetUp();
    if (!lib().odbc3) GTEST_SKIP() << "descriptors are ODBC 3's";
    SQLHSTMT t = c.Statement();
    Exec(t, "DROP TABLE IF EXISTS conformance_desc");
    ASSERT_EQ(SQL_SUCCESS, Exec(t, "CREATE TABLE conformance_desc (v VARCHAR(10), t TIMESTAMP, n NUMERIC(5,2))"));
    SQLFreeHandle(SQL_HANDLE_STMT, t);
  }
  SQLHDESC Handle(Desc which) {
    if (which == kExplicit) {
      if (explicit_ == SQL_NULL_HDESC) SQLAllocHandle(SQL_HANDLE_DESC, c.dbc, &explicit_);
      return explicit_;
    }
    SQLHDESC d = SQL_NULL_HDESC;
    SQLGetStmtAttr(s, kDescAttr[which], &d, SQL_IS_POINTER, nullptr);
    return d;
  }
  SQLLEN Pointer(SQLLEN token) {
    if (token == kLen) return reinterpret_cast<SQLLEN>(&len);
    if (token == kInd) return reinterpret_cast<SQLLEN>(&ind);
    if (token == kBuf) return reinterpret_cast<SQLLEN>(buf);
    return token;
  }
  // Runs the step; its return code, and the answer in *got when it reads one.
  SQLRETURN Run(const Step& step, std::string* got, SQLHDESC* posted) {
    SQLHDESC d = Handle(step.desc);
    *posted = d;
    switch (step.op) {
      case kSet:
        return SQLSetDescField(d, step.rec, step.field, reinterpret_cast<SQLPOINTER>(Pointer(step.value)),
                               SQL_IS_INTEGER);
      case kGet: {
        SQLLEN v = 0;
        const SQLRETURN rc = SQLGetDescField(d, step.rec, step.field, &v, sizeof v, nullptr);
        *got = std::to_string(v == Pointer(step.value) ? step.value : v);
        return rc;
      }
      case kGetText: {
        char text[64] = {0};
        SQLINTEGER length = 0;
        const SQLRETURN rc =
            SQLGetDescField(d, step.rec, step.field, text, static_cast<SQLINTEGER>(step.value), &length);
        *got = text;
        return rc;
      }
      case kSetRec:
        return SQLSetDescRec(d, step.rec, step.field, 0, step.value, 0, 0, buf, &len, &ind);
      case kGetRec: {
        SQLCHAR name[64] = {0};
        SQLSMALLINT n = 0, type = 0, sub = 0, precision = 0, scale = 0, nullable = 0;
        SQLLEN length = 0;
        const SQLRETURN rc =
            SQLGetDescRec(d, step.rec, name, sizeof name, &n, &type, &sub, &length, &precision, &scale, &nullable);
        // Nullability is the implementation descriptors' alone.
        *got = std::string(reinterpret_cast<char*>(name)) + " " + std::to_string(type) + " " + std::to_string(sub) +
               " " + std::to_string(length) + " " + std::to_string(precision) + " " + std::to_string(scale) +
               (step.desc == kIrd || step.desc == kIpd ? " " + std::to_string(nullable) : "");
        return rc;
      }
      case kColAttr: {
        *posted = s;
        char text[64] = {0};
        SQLSMALLINT length = 0;
        SQLLEN number = 0;
        const SQLRETURN rc = SQLColAttribute(s, step.rec, step.field, text, sizeof text, &length, &number);
        *got = step.text != nullptr ? std::string(text) : std::to_string(number);
        return rc;
      }
      case kCopy:
        *posted = Handle(static_cast<Desc>(step.value));
        return SQLCopyDesc(d, *posted);
      case kRun: {
        *posted = s;
        SQLRETURN rc = SQLExecute(s);
        if (SQL_SUCCEEDED(rc)) rc = SQLFetch(s);
        return rc;
      }
      case kColumn: {
        *posted = s;
        char text[64] = {0};
        SQLLEN length = 0;
        const SQLRETURN rc = SQLGetData(s, step.rec, SQL_C_CHAR, text, sizeof text, &length);
        *got = length == SQL_NULL_DATA ? "-" : text;
        return rc;
      }
      case kNumeric: {
        *posted = s;
        SQL_NUMERIC_STRUCT n = {};
        const SQLRETURN rc = SQLGetData(s, step.rec, SQL_C_NUMERIC, &n, sizeof n, nullptr);
        unsigned long long magnitude = 0;
        for (int i = 7; i >= 0; --i) magnitude = magnitude << 8 | n.val[i];
        *got = std::to_string(n.precision) + " " + std::to_string(n.scale) + " " + std::to_string(magnitude);
        return rc;
      }
      case kBindCol:
        *posted = s;
        return SQLBindCol(s, static_cast<SQLUSMALLINT>(step.rec), step.field, buf, step.value, &len);
      case kBindParam:
        *posted = s;
        return SQLBindParameter(s, static_cast<SQLUSMALLINT>(step.rec), SQL_PARAM_INPUT, step.field, SQL_VARCHAR, 10, 0,
                                buf, step.value, &len);
      case kLength:
        *got = std::to_string(len);
        return SQL_SUCCESS;
      case kIndicator:
        *got = std::to_string(ind);
        return SQL_SUCCESS;
      case kPutLen:
        len = step.value;
        return SQL_SUCCESS;
      case kPutInd:
        ind = step.value;
        return SQL_SUCCESS;
    }
    return SQL_ERROR;
  }
  void TearDown() override {
    if (explicit_ != SQL_NULL_HDESC) SQLFreeHandle(SQL_HANDLE_DESC, explicit_);
    Conformance::TearDown();
  }
  SQLHDESC explicit_ = SQL_NULL_HDESC;
  char buf[64] = {0};
  SQLLEN len = 99, ind = 99;
};

TEST_P(Descriptors, FieldsRecordsAndCopies) {
  for (const DescCase& row : kCases) {
    SCOPED_TRACE(row.what);
    const std::string sql = ForStorage(row.sql);
    if (sql.compare(0, 16, "/* PostgreSQL */") == 0 && !OnPostgres()) continue;
    ASSERT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, s));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, c.dbc, &s));
    len = ind = 99;
    std::memset(buf, 0, sizeof buf);
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(s, (SQLCHAR*)sql.c_str(), SQL_NTS)) << FirstState(SQL_HANDLE_STMT, s);
    int number = 0;
    for (const Step& step : row.steps) {
      SCOPED_TRACE("step " + std::to_string(++number));
      std::string got;
      SQLHANDLE posted = SQL_NULL_HANDLE;
      const SQLRETURN rc = Run(step, &got, &posted);
      const SQLSMALLINT type = posted == s ? SQL_HANDLE_STMT : SQL_HANDLE_DESC;
      EXPECT_EQ(step.rc, rc) << FirstState(type, posted);
      if (step.rc != SQL_SUCCESS) {
        EXPECT_EQ(step.state, FirstState(type, posted));
      }
      if (!SQL_SUCCEEDED(rc) || got.empty()) continue;
      const bool text = step.op == kGetText || step.op == kGetRec || step.op == kColumn || step.op == kNumeric ||
                        (step.op == kColAttr && step.text != nullptr);
      EXPECT_EQ(text ? std::string(step.text ? step.text : "") : std::to_string(step.value), got);
    }
    if (explicit_ != SQL_NULL_HDESC) SQLFreeHandle(SQL_HANDLE_DESC, explicit_);
    explicit_ = SQL_NULL_HDESC;
  }
}

// Copies between two connections' descriptors, both ways at once, end.
// (unixODBC copies across connections field by field; a caller of the
// library itself reaches its copy, which takes the two connections' locks
// in one order.)
TEST_P(Descriptors, CopiesBothWaysBetweenConnectionsEnd) {
  OdbcConnection other(lib().version);
  ASSERT_TRUE(SQL_SUCCEEDED(other.DriverConnect(std::string("DSN=") + lib().dsn)));
  SQLHDESC a = Handle(kExplicit), b = SQL_NULL_HDESC;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, other.dbc, &b));
  std::atomic<int> done{0};
  auto copies = [&done](SQLHDESC from, SQLHDESC to) {
    for (int i = 0; i < 3000; ++i) SQLCopyDesc(from, to);
    ++done;
  };
  std::thread(copies, a, b).detach();
  std::thread(copies, b, a).detach();
  for (int waited = 0; done < 2 && waited < 600; ++waited) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  if (done < 2) {
    ADD_FAILURE() << "the copies wait for each other";
    std::_Exit(1);  // their connections cannot be closed
  }
  SQLFreeHandle(SQL_HANDLE_DESC, b);
}

VEL_CONFORMANCE_SUITE(Descriptors);

}  // namespace
