// Row arrays, parameter arrays and descriptors at the worker level (the
// driver linked statically) against a server that answers every request:
// rowsets in both binding kinds with statuses and a bind offset, arrays of
// parameter sets with a failing set, descriptor fields read back as set,
// and an explicit descriptor associated with a statement.
#include <cstring>
#include <mutex>

#include "handles/Connection.h"
#include "handles/Statement.h"
#include "odbc/descriptors/ArrayAttributes.h"
#include "odbc/descriptors/Descriptors.h"
#include "odbc/fetch/Fetch.h"
#include "odbc/session.h"

namespace {

// Columns a INTEGER, b VARCHAR(20) of rows 1..5 (a is 300 in row 3, which
// no SQL_C_STINYINT takes); an execution whose parameters hold "bad"
// fails, an INSERT has no result set; every row count is 1.
class ArraysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.Expect(Greeting()).Send(U16(0)).Answer([this](uint16_t code, const std::string& body) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (code == 10) sets_ += body.find("bad") != std::string::npos ? "bad " : "ok ";
      return Reply(code, body);
    });
    server_.Start();
    setenv("VELODBC_DIALOG", "none", 1);
    ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&henv_));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(henv_, &hdbc_));
    const std::string in = "DSN=Sales;Server=127.0.0.1;Service=" + server_.Port();
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(hdbc_, nullptr, M(in.c_str()), SQL_NTS, nullptr, 0, nullptr, 0)));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocStmt(hdbc_, &hstmt_));
    s_ = static_cast<Statement*>(hstmt_);
  }
  void TearDown() override {
    SQLFreeConnect(hdbc_);
    SQLFreeEnv(henv_);
    EXPECT_TRUE(server_.Finish()) << server_.Error();
  }
  std::string Reply(uint16_t code, const std::string& body) {
    switch (code) {
      case 5:
        return ConnectBody();
      case 0:
        return U16(0) + U32(7);
      case 10:
        row_ = 0;
        if (body.find("bad") != std::string::npos) return U16(uint16_t(SQL_ERROR));
        if (body.find("INSERT") != std::string::npos) return U16(0) + U16(0);
        return U16(0) + U16(2) + Column("a", 4, 1, SQL_INTEGER, 4) + Column("b", 20, 1, SQL_VARCHAR, 20);
      case 13: {
        if (++row_ > 5) return U16(SQL_NO_DATA_FOUND);
        std::string reply = U16(0) + U16(uint8_t(body[4]));
        for (size_t i = 0; i < uint8_t(body[4]); ++i) {
          const uint16_t column = uint8_t(body[6 + 2 * i]);
          reply += column == 1 ? Value(1, U32(row_ == 3 ? 300u : uint32_t(row_)))
                               : Value(2, "b-" + std::to_string(row_) + std::string(1, '\0'));
        }
        return reply;
      }
      case 25:
        return U16(0) + U32(1);
      case 9:
        return U16(0) + Text16("23000") + U16(5) + Text16("constraint") + Text16("fake") + U16(1);
      default:
        return U16(0);
    }
  }
  std::string Sets() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sets_;
  }
  int SetAttr(SQLINTEGER attribute, SQLPOINTER value) {
    bool handled = false;
    const int rc = SetArrayAttrWorker(s_, attribute, value, &handled);
    EXPECT_TRUE(handled) << attribute;
    return rc;
  }
  std::string State() { return Diag(nullptr, hstmt_).substr(0, 5); }

  FakeServer server_;
  std::mutex mutex_;
  std::string sets_;
  int row_ = 0;
  SQLHENV henv_ = nullptr;
  SQLHDBC hdbc_ = nullptr;
  SQLHSTMT hstmt_ = nullptr;
  Statement* s_ = nullptr;
};

// Per call: return code, rows fetched, statuses (0 success, 6 with info,
// 5 error, 3 no row), then a and b of each row ("-" untouched).
// offset: bound one row further on, the bind offset moving back
// clang-format off
struct RowCase { SQLSMALLINT aType; bool rowWise; bool offset; std::string calls; };
// clang-format on
const RowCase kRowCases[] = {
    {SQL_C_SLONG, false, false, "0 2 00 1 2 b-1 b-2; 0 2 00 300 4 b-3 b-4; 0 1 03 5 - b-5 -; 100"},
    {SQL_C_SLONG, true, false, "0 2 00 1 2 b-1 b-2; 0 2 00 300 4 b-3 b-4; 0 1 03 5 - b-5 -; 100"},
    {SQL_C_SLONG, true, true, "0 2 00 1 2 b-1 b-2; 0 2 00 300 4 b-3 b-4; 0 1 03 5 - b-5 -; 100"},
    {SQL_C_STINYINT, false, true, "0 2 00 1 2 b-1 b-2; 1 2 50 - 4 - b-4; 0 1 03 5 - b-5 -; 100"},
};

TEST_F(ArraysTest, RowArraysInBothBindingKinds) {
  for (const RowCase& c : kRowCases) {
    // clang-format off
    struct Row { SQLINTEGER a; SQLLEN aLength; char b[8]; SQLLEN bLength; } rows[3];
    // clang-format on
    SQLINTEGER a[3];
    char b[3][8];
    SQLLEN lengths[2][3], shift = c.offset ? -SQLLEN(c.rowWise ? sizeof(Row) : sizeof(SQLLEN)) : 0;
    SQLULEN fetched = 99;
    SQLUSMALLINT status[2];
    ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(hstmt_, M("SELECT a, b FROM t"), SQL_NTS));
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)2));
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_ROW_BIND_TYPE, (SQLPOINTER)(c.rowWise ? sizeof(Row) : 0)));
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_ROW_STATUS_PTR, status));
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_ROWS_FETCHED_PTR, &fetched));
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_ROW_BIND_OFFSET_PTR, c.offset ? &shift : nullptr));
    // Column-wise, an offset moves every array by one element of its
    // own: the values' by one of theirs, which here is the lengths' too.
    char* base = c.rowWise ? reinterpret_cast<char*>(&rows[c.offset ? 1 : 0]) : nullptr;
    SQLPOINTER aAt = c.rowWise ? (SQLPOINTER)(base + offsetof(Row, a)) : (SQLPOINTER)((char*)a - shift);
    SQLLEN* aLen = c.rowWise ? (SQLLEN*)(base + offsetof(Row, aLength)) : (SQLLEN*)((char*)lengths[0] - shift);
    SQLPOINTER bAt = c.rowWise ? (SQLPOINTER)(base + offsetof(Row, b)) : (SQLPOINTER)((char*)b[0] - shift);
    SQLLEN* bLen = c.rowWise ? (SQLLEN*)(base + offsetof(Row, bLength)) : (SQLLEN*)((char*)lengths[1] - shift);
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt_, 1, c.aType, aAt, 0, aLen));
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt_, 2, SQL_C_CHAR, bAt, 8, bLen));
    std::string calls;
    for (int call = 0; call < 5; ++call) {
      for (int i = 0; i < 3; ++i) rows[i] = {-1, 0, "-", 0}, a[i] = -1, std::strcpy(b[i], "-");
      const SQLRETURN rc = FetchScrollWorker(s_, SQL_FETCH_NEXT, 0);
      if (rc == SQL_NO_DATA_FOUND) {
        calls += "100";
        break;
      }
      std::string line = std::to_string(rc) + " " + std::to_string(fetched) + " ", values, texts;
      for (int i = 0; i < 2; ++i) {
        const int v = c.rowWise ? rows[i].a : c.aType == SQL_C_STINYINT ? ((signed char*)a)[i] : a[i];
        line += std::to_string(status[i]);
        values += " " + (v == -1 ? "-" : std::to_string(v));
        texts += std::string(" ") + (c.rowWise ? rows[i].b : b[i]);
      }
      calls += line + values + texts + "; ";
    }
    EXPECT_EQ(c.calls, calls) << c.rowWise << c.offset;
    SQLFreeStmt(hstmt_, SQL_UNBIND);
    SQLFreeStmt(hstmt_, SQL_CLOSE);
  }
}

// Four sets of one SQL_C_CHAR parameter, the second failing on the server.
// clang-format off
struct SetCase { bool statuses, ignoreThird, rowWise; SQLRETURN rc; std::string sent, status; SQLULEN processed;
    SQLLEN rows; };
// clang-format on
const SetCase kSetCases[] = {
    {true, false, false, SQL_SUCCESS_WITH_INFO, "ok bad ok ok ", "0 5 0 0", 4, 3},
    {true, false, true, SQL_SUCCESS_WITH_INFO, "ok bad ok ok ", "0 5 0 0", 4, 3},
    {true, true, false, SQL_SUCCESS_WITH_INFO, "ok bad ok ", "0 5 7 0", 4, 2},
    {false, false, false, SQL_ERROR, "ok bad ", "", 2, 1},
};

TEST_F(ArraysTest, ParameterArraysGoOnAfterAFailingSetOnlyWithStatuses) {
  for (const SetCase& c : kSetCases) {
    // clang-format off
    struct Set { char v[8]; SQLLEN length; } sets[4] = {{"a", SQL_NTS}, {"bad", SQL_NTS}, {"c", SQL_NTS}, {"d", SQL_NTS}};
    // clang-format on
    char values[4][8] = {"a", "bad", "c", "d"};
    SQLLEN lengths[4] = {SQL_NTS, SQL_NTS, SQL_NTS, SQL_NTS};
    SQLUSMALLINT status[4] = {9, 9, 9, 9}, operations[4] = {0, 0, SQL_PARAM_IGNORE, 0};
    SQLULEN processed = 99;
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)4));
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_PARAM_BIND_TYPE, (SQLPOINTER)(c.rowWise ? sizeof(Set) : 0)));
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_PARAM_STATUS_PTR, c.statuses ? status : nullptr));
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_PARAM_OPERATION_PTR, c.ignoreThird ? operations : nullptr));
    ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_PARAMS_PROCESSED_PTR, &processed));
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(hstmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 8, 0,
                                            c.rowWise ? (SQLPOINTER)sets[0].v : (SQLPOINTER)values, 8,
                                            c.rowWise ? &sets[0].length : lengths));
    {
      std::lock_guard<std::mutex> lock(mutex_);
      sets_.clear();
    }
    EXPECT_EQ(c.rc, SQLExecDirect(hstmt_, M("INSERT INTO t VALUES (?)"), SQL_NTS));
    EXPECT_EQ("23000", State());
    EXPECT_EQ(c.sent, Sets());
    std::string got;
    for (int i = 0; c.statuses && i < 4; ++i) got += (i ? " " : "") + std::to_string(status[i]);
    EXPECT_EQ(c.status, got);
    EXPECT_EQ(c.processed, processed);
    SQLLEN rows = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLRowCount(hstmt_, &rows));
    EXPECT_EQ(c.rows, rows);
  }
}

// A field set on record 1 (or the header) of a statement's descriptor and
// read back with its width.
// attribute: the descriptor's handle attribute
// read: what reads back
// clang-format off
struct FieldCase { SQLINTEGER attribute; SQLSMALLINT field; SQLLEN value; SQLLEN read; };
// clang-format on
SQLLEN Address(const void* p) { return reinterpret_cast<SQLLEN>(p); }
SQLLEN g_cell;
const FieldCase kFields[] = {
    {SQL_ATTR_APP_ROW_DESC, SQL_DESC_ARRAY_SIZE, 100, 100},
    {SQL_ATTR_APP_ROW_DESC, SQL_DESC_BIND_TYPE, 24, 24},
    {SQL_ATTR_APP_ROW_DESC, SQL_DESC_BIND_OFFSET_PTR, Address(&g_cell), Address(&g_cell)},
    {SQL_ATTR_APP_ROW_DESC, SQL_DESC_CONCISE_TYPE, SQL_C_SLONG, SQL_C_SLONG},
    {SQL_ATTR_APP_ROW_DESC, SQL_DESC_TYPE, SQL_C_TYPE_DATE, SQL_DATETIME},
    {SQL_ATTR_APP_ROW_DESC, SQL_DESC_DATETIME_INTERVAL_CODE, SQL_CODE_TIMESTAMP, SQL_CODE_TIMESTAMP},
    {SQL_ATTR_APP_ROW_DESC, SQL_DESC_DATA_PTR, Address(&g_cell), Address(&g_cell)},
    {SQL_ATTR_APP_ROW_DESC, SQL_DESC_INDICATOR_PTR, Address(&g_cell), Address(&g_cell)},
    {SQL_ATTR_APP_ROW_DESC, SQL_DESC_OCTET_LENGTH, 64, 64},
    {SQL_ATTR_APP_ROW_DESC, SQL_DESC_PRECISION, 12, 12},
    {SQL_ATTR_APP_ROW_DESC, SQL_DESC_SCALE, 3, 3},
    {SQL_ATTR_APP_ROW_DESC, SQL_DESC_COUNT, 1, 1},
    {SQL_ATTR_APP_PARAM_DESC, SQL_DESC_ARRAY_SIZE, 7, 7},
    {SQL_ATTR_APP_PARAM_DESC, SQL_DESC_ARRAY_STATUS_PTR, Address(&g_cell), Address(&g_cell)},
    {SQL_ATTR_APP_PARAM_DESC, SQL_DESC_CONCISE_TYPE, SQL_C_DOUBLE, SQL_C_DOUBLE},
    {SQL_ATTR_APP_PARAM_DESC, SQL_DESC_OCTET_LENGTH_PTR, Address(&g_cell), Address(&g_cell)},
    {SQL_ATTR_APP_PARAM_DESC, SQL_DESC_PRECISION, 10, 10},
    {SQL_ATTR_IMP_PARAM_DESC, SQL_DESC_ROWS_PROCESSED_PTR, Address(&g_cell), Address(&g_cell)},
    {SQL_ATTR_IMP_PARAM_DESC, SQL_DESC_CONCISE_TYPE, SQL_DECIMAL, SQL_DECIMAL},
    {SQL_ATTR_IMP_PARAM_DESC, SQL_DESC_PRECISION, 15, 15},
    {SQL_ATTR_IMP_PARAM_DESC, SQL_DESC_SCALE, 2, 2},
    {SQL_ATTR_IMP_PARAM_DESC, SQL_DESC_PARAMETER_TYPE, SQL_PARAM_INPUT_OUTPUT, SQL_PARAM_INPUT_OUTPUT},
    {SQL_ATTR_IMP_PARAM_DESC, SQL_DESC_TYPE, SQL_TYPE_TIME, SQL_DATETIME},
    {SQL_ATTR_IMP_ROW_DESC, SQL_DESC_ARRAY_STATUS_PTR, Address(&g_cell), Address(&g_cell)},
};

Descriptor* Desc(Statement* s, SQLINTEGER attribute) {
  SQLHDESC d = nullptr;
  bool handled = false;
  EXPECT_EQ(SQL_SUCCESS, GetArrayAttrWorker(s, attribute, &d, nullptr, &handled));
  return static_cast<Descriptor*>(d);
}

TEST_F(ArraysTest, DescriptorFieldsReadBackAsSet) {
  for (const FieldCase& c : kFields) {
    Descriptor* d = Desc(s_, c.attribute);
    ASSERT_EQ(SQL_SUCCESS, SetDescFieldWorker(d, 1, c.field, reinterpret_cast<SQLPOINTER>(c.value), 0))
        << c.field << " " << Diag(nullptr, nullptr);
    SQLLEN read = 0;  // small fields fill its low bytes
    SQLINTEGER length = 0;
    ASSERT_EQ(SQL_SUCCESS, GetDescFieldWorker(d, 1, c.field, &read, sizeof read, &length));
    SQLSMALLINT two = 0;
    SQLINTEGER four = 0;
    std::memcpy(&two, &read, sizeof two), std::memcpy(&four, &read, sizeof four);
    EXPECT_EQ(c.read, length == 2 ? two : length == 4 ? four : read) << c.attribute << " " << c.field;
  }
  // The statement attributes and SQLBindCol/SQLBindParameter are the same
  // fields.
  SQLULEN size = 0;
  bool handled = false;
  GetArrayAttrWorker(s_, SQL_ATTR_ROW_ARRAY_SIZE, &size, nullptr, &handled);
  EXPECT_EQ(100u, size);
  SQLINTEGER cell = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt_, 2, SQL_C_SLONG, &cell, 4, nullptr));
  SQLSMALLINT count = 0, type = 0;
  GetDescFieldWorker(Desc(s_, SQL_ATTR_APP_ROW_DESC), 0, SQL_DESC_COUNT, &count, 0, nullptr);
  GetDescFieldWorker(Desc(s_, SQL_ATTR_APP_ROW_DESC), 2, SQL_DESC_CONCISE_TYPE, &type, 0, nullptr);
  EXPECT_EQ(2, count);
  EXPECT_EQ(SQL_C_SLONG, type);
  GetDescFieldWorker(Desc(s_, SQL_ATTR_IMP_PARAM_DESC), 1, SQL_DESC_SCALE, &type, 0, nullptr);
  EXPECT_EQ(2, type);
}

// Refusals, posted on the descriptor (those of ODBC 3's states through the
// driver manager: tests/conformance/descriptor_test.cpp).
// clang-format off
struct RefusalCase { SQLINTEGER attribute; SQLSMALLINT rec, field; bool set; SQLRETURN rc; std::string state; };
// clang-format on
const RefusalCase kRefusals[] = {
    {SQL_ATTR_IMP_ROW_DESC, 1, SQL_DESC_CONCISE_TYPE, true, SQL_ERROR, "HY016"},
    {SQL_ATTR_APP_ROW_DESC, 1, SQL_DESC_NAME, false, SQL_ERROR, "S1091"},
    {SQL_ATTR_APP_ROW_DESC, 0, SQL_DESC_ROWS_PROCESSED_PTR, false, SQL_ERROR, "S1091"},
    {SQL_ATTR_APP_ROW_DESC, -1, SQL_DESC_DATA_PTR, true, SQL_ERROR, "S1002"},
    {SQL_ATTR_APP_ROW_DESC, 0, SQL_DESC_ARRAY_SIZE, true, SQL_ERROR, "S1009"},  // 0 rows
    {SQL_ATTR_APP_ROW_DESC, 3, SQL_DESC_DATA_PTR, false, SQL_NO_DATA_FOUND, ""},
    {SQL_ATTR_IMP_ROW_DESC, 1, SQL_DESC_TYPE, false, SQL_NO_DATA_FOUND, ""},  // no result set
};

TEST_F(ArraysTest, DescriptorRefusals) {
  for (const RefusalCase& c : kRefusals) {
    Descriptor* d = Desc(s_, c.attribute);
    SQLLEN value = 0;
    const SQLRETURN rc = c.set ? SetDescFieldWorker(d, c.rec, c.field, nullptr, 0)
                               : GetDescFieldWorker(d, c.rec, c.field, &value, sizeof value, nullptr);
    EXPECT_EQ(c.rc, rc) << c.field;
    ErrorData* record = d->errors.TakeLast();
    EXPECT_EQ(c.state, record ? record->sqlstate.TextOrEmpty() : "") << c.field;
    delete record;
    d->ClearErrors();
  }
  bool handled = false;
  EXPECT_EQ(SQL_ERROR, SetArrayAttrWorker(s_, SQL_ATTR_IMP_ROW_DESC, nullptr, &handled));
  EXPECT_EQ("HY017", State());
}

// An explicit descriptor as the row descriptor: bound through it, filled
// by the fetch, read from it after SQLBindCol; freed, the statement's own
// bindings are back.
TEST_F(ArraysTest, ExplicitRowDescriptor) {
  SQLHDESC h = nullptr;
  ASSERT_EQ(SQL_SUCCESS, AllocDescWorker(static_cast<Connection*>(hdbc_), &h));
  Descriptor* d = static_cast<Descriptor*>(h);
  SQLINTEGER own = -1, a[2] = {-1, -1};
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt_, 1, SQL_C_SLONG, &own, 0, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SetDescRecWorker(d, 1, SQL_C_SLONG, 0, 4, 0, 0, a, nullptr, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SetDescFieldWorker(d, 0, SQL_DESC_ARRAY_SIZE, (SQLPOINTER)2, 0));
  ASSERT_EQ(SQL_SUCCESS, SetAttr(SQL_ATTR_APP_ROW_DESC, h));
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(hstmt_, M("SELECT a, b FROM t"), SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, FetchScrollWorker(s_, SQL_FETCH_NEXT, 0));
  EXPECT_EQ(1, a[0]);
  EXPECT_EQ(2, a[1]);
  EXPECT_EQ(-1, own);
  char b[2][4];
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(hstmt_, 2, SQL_C_CHAR, b, 4, nullptr));
  SQLSMALLINT type = 0, name = 0;
  SQLLEN length = 0;
  ASSERT_EQ(SQL_SUCCESS, GetDescRecWorker(d, 2, nullptr, 0, &name, &type, nullptr, &length, nullptr, nullptr, nullptr));
  EXPECT_EQ(SQL_C_CHAR, type);
  EXPECT_EQ(4, length);
  ASSERT_EQ(SQL_SUCCESS, FreeDescWorker(d));
  ASSERT_EQ(SQL_SUCCESS, FetchScrollWorker(s_, SQL_FETCH_NEXT, 0));
  EXPECT_EQ(300, own);  // row 3 into the statement's own binding
  EXPECT_EQ(1, a[0]);
  // A statement's own descriptor cannot be freed, nor another's taken.
  EXPECT_EQ(SQL_ERROR, FreeDescWorker(Desc(s_, SQL_ATTR_APP_ROW_DESC)));
}

}  // namespace
