// Random but well-formed sequences of ODBC calls, as applications make
// them, through unixODBC's driver manager into both libraries against a
// real server. An input is a string of bytes; each call takes its
// function, handle and arguments from the next bytes. Checks after every
// call: no crash and no hang (an alarm), a return code the function may
// give, a diagnostic record behind SQL_ERROR and SQL_SUCCESS_WITH_INFO,
// and no byte written outside a buffer the application declared: every
// output buffer (bound ones too, checked after each call while bound)
// sits between guard bytes. Leaks are the sanitizer build's to find.
//
//   callseq_fuzz FILE...                replays inputs
//   callseq_fuzz --seed S --count N     N generated inputs from seed S
//   callseq_fuzz --seed S --seconds T   generated inputs for T seconds
// A failing generated input is written to callseq-<seed>-<n>.bin for the
// corpus (tests/callseq/corpus/).
#include <dirent.h>
#include <signal.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "support/velora_server.h"

namespace {

constexpr size_t kGuard = 16;
constexpr unsigned char kFill = 0xA5;

// A buffer of size bytes between guard bytes, and the length the
// application declares for it.
struct Buffer {
  explicit Buffer(size_t n) : size(n), bytes(n + 2 * kGuard, kFill) {}
  unsigned char* data() { return bytes.data() + kGuard; }
  bool Intact() const {
    for (size_t i = 0; i < kGuard; ++i)
      if (bytes[i] != kFill || bytes[kGuard + size + i] != kFill) return false;
    return true;
  }
  size_t size;
  std::vector<unsigned char> bytes;
};

// The input as a stream of choices; 0 once it runs out.
struct Input {
  const unsigned char* p;
  size_t left;
  unsigned Next() { return left ? (--left, *p++) : 0; }
  template <class T, size_t N>
  const T& Pick(const T (&list)[N]) {
    return list[Next() % N];
  }
  bool Done() const { return left == 0; }
};

const SQLLEN kLengths[] = {0, 1, 2, 3, 5, 7, 8, 16, 17, 64, 255, 256, 1024, -1};
const char* const kSql[] = {"SELECT i, t, d, b, ts FROM cs ORDER BY i",
                            "SELECT t FROM cs WHERE i = ?",
                            "SELECT 1",
                            "SELECT NULL",
                            "INSERT INTO cs (i, t) VALUES (?, ?)",
                            "UPDATE cs SET d = d + 1 WHERE i = 2",
                            "SELEC nothing",
                            "SELECT * FROM no_such_table",
                            "",
                            "SELECT {fn UCASE(t)}, {d '2024-01-02'} FROM cs",
                            "SELECT 'h\xc3\xa9\xf0\x9f\x98\x80', 123.45, X'00ff'",
                            "DELETE FROM cs WHERE i > 100",
                            "SELECT ?, ?"};
// C types with their fixed size (0: as the buffer length says).
// clang-format off
struct CType { SQLSMALLINT type; size_t size; };
// clang-format on
const CType kCTypes[] = {{SQL_C_CHAR, 0},
                         {SQL_C_WCHAR, 0},
                         {SQL_C_BINARY, 0},
                         {SQL_C_SLONG, 4},
                         {SQL_C_SSHORT, 2},
                         {SQL_C_DOUBLE, 8},
                         {SQL_C_SBIGINT, 8},
                         {SQL_C_BIT, 1},
                         {SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT)},
                         {SQL_C_NUMERIC, sizeof(SQL_NUMERIC_STRUCT)},
                         {SQL_C_DEFAULT, 0},
                         {SQL_C_GUID, sizeof(SQLGUID)}};
// The bytes a value of C type c may take with a buffer length of room:
// a fixed-size type ignores the length; so may SQL_C_DEFAULT.
template <class C>
size_t SizeOf(const C& c, size_t room) {
  return c.size ? c.size : c.type == SQL_C_DEFAULT ? std::max<size_t>(room, 32) : room;
}
// Information types with the size of an integer answer (0: text).
// clang-format off
struct Info { SQLUSMALLINT type; size_t size; };
// clang-format on
const Info kInfo[] = {{SQL_DRIVER_NAME, 0},
                      {SQL_DBMS_VER, 0},
                      {SQL_IDENTIFIER_QUOTE_CHAR, 0},
                      {SQL_KEYWORDS, 0},
                      {SQL_SEARCH_PATTERN_ESCAPE, 0},
                      {SQL_MAX_COLUMN_NAME_LEN, 2},
                      {SQL_TXN_CAPABLE, 2},
                      {SQL_GETDATA_EXTENSIONS, 4},
                      {SQL_STRING_FUNCTIONS, 4},
                      {SQL_CONVERT_VARCHAR, 4},
                      {SQL_DEFAULT_TXN_ISOLATION, 4},
                      {SQL_CURSOR_COMMIT_BEHAVIOR, 2},
                      {SQL_DATA_SOURCE_READ_ONLY, 0},
                      {SQL_DRIVER_ODBC_VER, 0},
                      {SQL_STATIC_CURSOR_ATTRIBUTES1, 4},
                      {SQL_ASYNC_MODE, 4},
                      {SQL_DTC_TRANSITION_COST, 4},
                      {9999, 0}};
// Statement attributes: a value to set, and whether it is a pointer the
// driver writes through (set to a guarded buffer of the statement's).
// clang-format off
struct StmtAttr { SQLINTEGER attr; SQLULEN value; };
// clang-format on
const StmtAttr kStmtAttrs[] = {{SQL_ATTR_ROW_ARRAY_SIZE, 3},
                               {SQL_ATTR_ROW_ARRAY_SIZE, 1},
                               {SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC},
                               {SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_FORWARD_ONLY},
                               {SQL_ATTR_MAX_ROWS, 2},
                               {SQL_ATTR_QUERY_TIMEOUT, 1},
                               {SQL_ATTR_CONCURRENCY, SQL_CONCUR_LOCK},
                               {SQL_ATTR_NOSCAN, SQL_NOSCAN_ON},
                               {SQL_ATTR_MAX_LENGTH, 4},
                               {SQL_ATTR_RETRIEVE_DATA, SQL_RD_OFF},
                               {SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE},
                               {SQL_ATTR_PARAMSET_SIZE, 2},
                               {SQL_ATTR_ROWS_FETCHED_PTR, 1},
                               {SQL_ATTR_ROW_STATUS_PTR, 1},
                               {SQL_ATTR_PARAMS_PROCESSED_PTR, 1},
                               {SQL_ATTR_ROW_BIND_TYPE, 0},
                               {SQL_ATTR_ASYNC_ENABLE, 1},
                               {SQL_ATTR_METADATA_ID, 1},
                               {12345, 1}};
const SQLINTEGER kConnAttrs[] = {SQL_ATTR_AUTOCOMMIT,  SQL_ATTR_TXN_ISOLATION,   SQL_ATTR_CURRENT_CATALOG,
                                 SQL_ATTR_ACCESS_MODE, SQL_ATTR_CONNECTION_DEAD, SQL_ATTR_LOGIN_TIMEOUT,
                                 SQL_ATTR_PACKET_SIZE, SQL_ATTR_ODBC_CURSORS,    4321};
const SQLUSMALLINT kColFields[] = {SQL_DESC_NAME,
                                   SQL_DESC_TYPE_NAME,
                                   SQL_DESC_LABEL,
                                   SQL_DESC_TABLE_NAME,
                                   SQL_DESC_CONCISE_TYPE,
                                   SQL_DESC_LENGTH,
                                   SQL_DESC_OCTET_LENGTH,
                                   SQL_DESC_NULLABLE,
                                   SQL_DESC_COUNT,
                                   SQL_DESC_BASE_COLUMN_NAME,
                                   7777};
bool TextField(SQLUSMALLINT f) {
  return f == SQL_DESC_NAME || f == SQL_DESC_TYPE_NAME || f == SQL_DESC_LABEL || f == SQL_DESC_TABLE_NAME ||
         f == SQL_DESC_BASE_COLUMN_NAME;
}

constexpr int kRows = 3;  // the largest row array the input sets

// A statement with the buffers the driver may write later: bound columns
// (kRows rows each) with their indicators, and the attribute pointers.
struct Stmt {
  SQLHSTMT h = SQL_NULL_HSTMT;
  std::vector<std::unique_ptr<Buffer>> kept;  // alive while the statement is
  // Two parameters' values for up to kRows parameter sets (column-wise).
  char params[2][kRows][32] = {{"1", "2", "3"}, {"x", "y", "z"}};
  SQLLEN paramLengths[2][kRows] = {{SQL_NTS, SQL_NTS, SQL_NTS}, {SQL_NTS, SQL_NTS, SQL_NTS}};
};

const char* g_call = "";                                       // the call in progress, for the alarm
const bool g_trace = std::getenv("CALLSEQ_TRACE") != nullptr;  // each call to standard error
void OnAlarm(int) {
  const char text[] = "callseq: a call did not return: ";
  (void)!write(2, text, sizeof text - 1);
  (void)!write(2, g_call, std::strlen(g_call));
  (void)!write(2, "\n", 1);
  abort();
}

class Run {
 public:
  // unicode: the library has the wide entry points of its own (else the
  // driver manager converts, and unixODBC 2.3.11 writes past the buffer
  // it is given when it widens a text answer: not ours to test).
  Run(const char* dsn, SQLULEN version, bool unicode) : dsn_(dsn), unicode_(unicode) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(version), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
  }
  ~Run() {
    for (auto& s : stmts_) SQLFreeHandle(SQL_HANDLE_STMT, s->h);
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  // Empty when every call kept the rules; else what broke them.
  std::string Play(Input in);

 private:
  template <class F>
  SQLRETURN Call(const char* name, SQLSMALLINT type, SQLHANDLE h, F f, std::vector<Buffer*> outs = {});
  // A C type; for a library without wide entry points unixODBC widens
  // SQL_C_WCHAR itself (past a short buffer): such runs read text narrow.
  decltype(kCTypes[0]) CType(Input& in) {
    const auto& c = in.Pick(kCTypes);
    return c.type == SQL_C_WCHAR && !unicode_ ? kCTypes[0] : c;
  }
  Stmt* PickStmt(Input& in) { return stmts_.empty() ? nullptr : stmts_[in.Next() % stmts_.size()].get(); }
  Buffer* Keep(Stmt* s, size_t n) {
    s->kept.push_back(std::make_unique<Buffer>(n));
    return s->kept.back().get();
  }
  void Step(Input& in);

  const char* dsn_;
  bool unicode_;
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  std::vector<std::unique_ptr<Stmt>> stmts_;
  std::string broken_;
};

// SQL_NO_DATA and SQL_NEED_DATA are allowed where ODBC lists them; the
// rest may always come (this harness runs nothing asynchronously).
template <class F>
SQLRETURN Run::Call(const char* name, SQLSMALLINT type, SQLHANDLE h, F f, std::vector<Buffer*> outs) {
  g_call = name;
  alarm(30);
  const SQLRETURN rc = f();
  alarm(0);
  if (g_trace) {
    SQLCHAR state[6] = "", text[300] = "";
    if (rc == SQL_ERROR) SQLGetDiagRec(type, h, 1, state, nullptr, text, sizeof text, nullptr);
    std::fprintf(stderr, "%s %p -> %d %s %s\n", name, h, rc, state, text);
  }
  const bool mayNoData =
      std::strstr(
          "SQLFetch SQLFetchScroll SQLGetData SQLMoreResults SQLGetDiagRec SQLExecute "
          "SQLExecDirect SQLExecDirectW SQLGetDiagRecW SQLParamData SQLGetDescField SQLSetPos SQLGetDiagField",
          name) != nullptr;
  const bool mayNeedData =
      std::strstr("SQLExecute SQLExecDirect SQLExecDirectW SQLParamData SQLSetPos", name) != nullptr;
  if (!broken_.empty()) return rc;
  if (!(rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_ERROR || rc == SQL_INVALID_HANDLE ||
        (rc == SQL_NO_DATA && mayNoData) || (rc == SQL_NEED_DATA && mayNeedData)))
    broken_ = std::string(name) + " returned " + std::to_string(rc);
  if ((rc == SQL_ERROR || rc == SQL_SUCCESS_WITH_INFO) && h != SQL_NULL_HANDLE &&
      std::strncmp(name, "SQLGetDiag", 10) != 0 && std::strcmp(name, "SQLFreeHandle") != 0) {
    SQLCHAR state[6];
    SQLCHAR text[SQL_MAX_MESSAGE_LENGTH];
    SQLINTEGER native = 0;
    if (!SQL_SUCCEEDED(SQLGetDiagRec(type, h, 1, state, &native, text, sizeof text, nullptr)))
      broken_ = std::string(name) + " returned " + std::to_string(rc) + " without a diagnostic record";
  }
  for (size_t i = 0; i < outs.size(); ++i)
    if (!outs[i]->Intact())
      broken_ = std::string(name) + " wrote outside its output buffer " + std::to_string(i + 1) + " of " +
                std::to_string(outs[i]->size) + " bytes";
  for (auto& s : stmts_)
    for (auto& b : s->kept)
      if (!b->Intact()) broken_ = std::string(name) + " wrote outside a bound buffer";
  return rc;
}

void Run::Step(Input& in) {
  Stmt* s = PickStmt(in);
  SQLHSTMT h = s ? s->h : SQL_NULL_HSTMT;
  const SQLLEN len = in.Pick(kLengths);
  const size_t room = len > 0 ? static_cast<size_t>(len) : 0;
  const char* sql = in.Pick(kSql);
  Buffer out(room), small(sizeof(SQLLEN)), count(sizeof(SQLSMALLINT));
  auto* text = out.data();
  auto* length = reinterpret_cast<SQLSMALLINT*>(count.data());
  auto* lengthLong = reinterpret_cast<SQLLEN*>(small.data());
  const unsigned col = in.Next() % 7;  // 0 (a bookmark) to 6 (past the last)
  switch (in.Next() % 30) {
    case 0:
      if (stmts_.size() < 3) {
        SQLHSTMT made = SQL_NULL_HSTMT;
        if (SQL_SUCCEEDED(Call("SQLAllocHandle", SQL_HANDLE_DBC, dbc_,
                               [&] { return SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &made); })))
          stmts_.push_back(std::make_unique<Stmt>()), stmts_.back()->h = made;
      }
      break;
    case 1:
      if (s) {
        if (Call("SQLFreeHandle", SQL_HANDLE_STMT, h, [&] { return SQLFreeHandle(SQL_HANDLE_STMT, h); }) == SQL_SUCCESS)
          for (size_t i = 0; i < stmts_.size(); ++i)
            if (stmts_[i].get() == s) stmts_.erase(stmts_.begin() + static_cast<long>(i));
      }
      break;
    case 2:
    case 3:
      if (s) Call("SQLExecDirect", SQL_HANDLE_STMT, h, [&] { return SQLExecDirect(h, (SQLCHAR*)sql, SQL_NTS); });
      break;
    case 4:
      if (s) Call("SQLPrepare", SQL_HANDLE_STMT, h, [&] { return SQLPrepare(h, (SQLCHAR*)sql, SQL_NTS); });
      break;
    case 5:
      if (s) Call("SQLExecute", SQL_HANDLE_STMT, h, [&] { return SQLExecute(h); });
      break;
    case 6:
    case 7:
      if (s) Call("SQLFetch", SQL_HANDLE_STMT, h, [&] { return SQLFetch(h); });
      break;
    case 8: {
      const SQLSMALLINT orientation[] = {
          SQL_FETCH_NEXT, SQL_FETCH_FIRST, SQL_FETCH_LAST, SQL_FETCH_ABSOLUTE, SQL_FETCH_RELATIVE, SQL_FETCH_PRIOR, 99};
      const SQLSMALLINT o = in.Pick(orientation);
      const SQLLEN offset = static_cast<SQLLEN>(in.Next() % 5) - 2;
      if (s) Call("SQLFetchScroll", SQL_HANDLE_STMT, h, [&] { return SQLFetchScroll(h, o, offset); });
      break;
    }
    case 9:
    case 10: {
      const auto& c = CType(in);
      Buffer value(SizeOf(c, room));
      const SQLLEN declared = c.size ? static_cast<SQLLEN>(c.size) : len;
      const bool noIndicator = in.Next() % 4 == 0;
      if (s)
        Call("SQLGetData", SQL_HANDLE_STMT, h,
             [&] { return SQLGetData(h, col, c.type, value.data(), declared, noIndicator ? nullptr : lengthLong); },
             {&value, &small});
      break;
    }
    case 11: {
      if (!s) break;
      const auto& c = CType(in);
      const size_t each = SizeOf(c, room);
      Buffer* value = Keep(s, each * kRows);
      Buffer* indicator = Keep(s, sizeof(SQLLEN) * kRows);
      const bool unbind = in.Next() % 5 == 0;
      Call("SQLBindCol", SQL_HANDLE_STMT, h, [&] {
        return SQLBindCol(h, col, c.type, unbind ? nullptr : value->data(), c.size ? 0 : len,
                          unbind ? nullptr : reinterpret_cast<SQLLEN*>(indicator->data()));
      });
      break;
    }
    case 12: {
      if (!s) break;
      const int n = static_cast<int>(in.Next() % 2);
      const bool atExec = in.Next() % 4 == 0;
      for (SQLLEN& l : s->paramLengths[n]) l = atExec ? SQL_LEN_DATA_AT_EXEC(0) : SQL_NTS;
      Call("SQLBindParameter", SQL_HANDLE_STMT, h, [&] {
        return SQLBindParameter(h, static_cast<SQLUSMALLINT>(n + 1 + (in.Next() % 8 == 0 ? 5 : 0)), SQL_PARAM_INPUT,
                                SQL_C_CHAR, in.Next() % 2 ? SQL_INTEGER : SQL_VARCHAR, 30, 0, s->params[n][0], 32,
                                s->paramLengths[n]);
      });
      break;
    }
    case 13: {
      SQLPOINTER token = nullptr;
      if (s) Call("SQLParamData", SQL_HANDLE_STMT, h, [&] { return SQLParamData(h, &token); });
      if (s && in.Next() % 2)
        Call("SQLPutData", SQL_HANDLE_STMT, h, [&] { return SQLPutData(h, (SQLPOINTER) "42", SQL_NTS); });
      break;
    }
    case 14: {
      const SQLUSMALLINT options[] = {SQL_CLOSE, SQL_UNBIND, SQL_RESET_PARAMS};
      const SQLUSMALLINT o = in.Pick(options);
      if (s) Call("SQLFreeStmt", SQL_HANDLE_STMT, h, [&] { return SQLFreeStmt(h, o); });
      break;
    }
    case 15:
      if (s) Call("SQLCloseCursor", SQL_HANDLE_STMT, h, [&] { return SQLCloseCursor(h); });
      break;
    case 16: {
      SQLSMALLINT type = 0, scale = 0, nullable = 0;
      SQLULEN size = 0;
      if (s)
        Call("SQLDescribeCol", SQL_HANDLE_STMT, h,
             [&] {
               return SQLDescribeCol(h, col, text, static_cast<SQLSMALLINT>(len), length, &type, &size, &scale,
                                     &nullable);
             },
             {&out, &count});
      break;
    }
    case 17: {
      const SQLUSMALLINT field = in.Pick(kColFields);
      Buffer number(sizeof(SQLLEN));
      if (s)
        Call("SQLColAttribute", SQL_HANDLE_STMT, h,
             [&] {
               return SQLColAttribute(h, col, field, TextField(field) ? text : nullptr, static_cast<SQLSMALLINT>(len),
                                      length, reinterpret_cast<SQLLEN*>(number.data()));
             },
             {&out, &count, &number});
      break;
    }
    case 18: {
      if (s) Call("SQLRowCount", SQL_HANDLE_STMT, h, [&] { return SQLRowCount(h, lengthLong); }, {&small});
      if (s) Call("SQLNumResultCols", SQL_HANDLE_STMT, h, [&] { return SQLNumResultCols(h, length); }, {&count});
      if (s) Call("SQLMoreResults", SQL_HANDLE_STMT, h, [&] { return SQLMoreResults(h); });
      break;
    }
    case 19: {
      const auto& info = in.Pick(kInfo);
      Buffer answer(info.size ? info.size : room);
      const bool wide = in.Next() % 2 && unicode_;
      Call(wide ? "SQLGetInfoW" : "SQLGetInfo", SQL_HANDLE_DBC, dbc_,
           [&] {
             return wide ? SQLGetInfoW(dbc_, info.type, answer.data(), static_cast<SQLSMALLINT>(len), length)
                         : SQLGetInfo(dbc_, info.type, answer.data(), static_cast<SQLSMALLINT>(len), length);
           },
           {&answer, &count});
      break;
    }
    case 20: {
      if (!s) break;
      const auto& a = in.Pick(kStmtAttrs);
      const bool pointer = a.attr == SQL_ATTR_ROWS_FETCHED_PTR || a.attr == SQL_ATTR_ROW_STATUS_PTR ||
                           a.attr == SQL_ATTR_PARAMS_PROCESSED_PTR;
      SQLPOINTER value = reinterpret_cast<SQLPOINTER>(a.value);
      if (pointer) value = Keep(s, a.attr == SQL_ATTR_ROW_STATUS_PTR ? kRows * 2 : sizeof(SQLULEN))->data();
      Call("SQLSetStmtAttr", SQL_HANDLE_STMT, h, [&] { return SQLSetStmtAttr(h, a.attr, value, 0); });
      // Read back with each width an application may declare. An ODBC 2
      // driver's SQLGetStmtOption has no width: the driver manager hands it
      // the buffer, which must hold a SQLULEN.
      const SQLINTEGER widths[] = {0, static_cast<SQLINTEGER>(sizeof(SQLULEN)), SQL_IS_UINTEGER, SQL_IS_INTEGER};
      const SQLINTEGER w = pointer ? SQL_IS_POINTER : widths[in.Next() % (unicode_ ? 4 : 2)];
      Buffer back(w == SQL_IS_UINTEGER || w == SQL_IS_INTEGER ? 4 : sizeof(SQLULEN));
      Call("SQLGetStmtAttr", SQL_HANDLE_STMT, h, [&] { return SQLGetStmtAttr(h, a.attr, back.data(), w, nullptr); },
           {&back});
      break;
    }
    case 21: {
      const SQLINTEGER attr = in.Pick(kConnAttrs);
      const bool textual = attr == SQL_ATTR_CURRENT_CATALOG;
      const SQLINTEGER widths[] = {SQL_IS_UINTEGER, SQL_IS_INTEGER, 0};
      // unixODBC answers SQL_ATTR_ODBC_CURSORS itself, a SQLULEN whatever
      // the width.
      const SQLINTEGER w = textual ? static_cast<SQLINTEGER>(len) : attr == SQL_ATTR_ODBC_CURSORS ? 0 : in.Pick(widths);
      // SQLGetConnectOption has no length either: a text answer needs
      // SQL_MAX_OPTION_STRING_LENGTH bytes and its NUL.
      Buffer back(textual ? (unicode_ ? room : SQL_MAX_OPTION_STRING_LENGTH + 1) : w == 0 ? sizeof(SQLULEN) : 4);
      Buffer got(sizeof(SQLINTEGER));
      Call("SQLGetConnectAttr", SQL_HANDLE_DBC, dbc_,
           [&] { return SQLGetConnectAttr(dbc_, attr, back.data(), w, reinterpret_cast<SQLINTEGER*>(got.data())); },
           {&back, &got});
      if (in.Next() % 3 == 0 && !textual && attr != SQL_ATTR_LOGIN_TIMEOUT)
        Call("SQLSetConnectAttr", SQL_HANDLE_DBC, dbc_,
             [&] { return SQLSetConnectAttr(dbc_, attr, reinterpret_cast<SQLPOINTER>(in.Next() % 3), 0); });
      break;
    }
    case 22: {
      const SQLSMALLINT types[] = {SQL_HANDLE_STMT, SQL_HANDLE_DBC, SQL_HANDLE_ENV};
      const SQLSMALLINT type = in.Pick(types);
      SQLHANDLE owner = type == SQL_HANDLE_STMT ? h : type == SQL_HANDLE_DBC ? dbc_ : env_;
      const SQLSMALLINT record = static_cast<SQLSMALLINT>(in.Next() % 4);
      Buffer state(12), native(sizeof(SQLINTEGER));
      const bool wide = in.Next() % 2 && unicode_;
      if (owner != SQL_NULL_HANDLE && len / (wide ? 2 : 1) > 0)
        Call(wide ? "SQLGetDiagRecW" : "SQLGetDiagRec", type, owner,
             [&] {
               return wide
                          ? SQLGetDiagRecW(type, owner, record, reinterpret_cast<SQLWCHAR*>(state.data()),
                                           reinterpret_cast<SQLINTEGER*>(native.data()),
                                           reinterpret_cast<SQLWCHAR*>(text), static_cast<SQLSMALLINT>(len / 2), length)
                          : SQLGetDiagRec(type, owner, record, state.data(),
                                          reinterpret_cast<SQLINTEGER*>(native.data()), text,
                                          static_cast<SQLSMALLINT>(len), length);
             },
             {&state, &native, &out, &count});
      break;
    }
    case 23: {
      const SQLSMALLINT fields[] = {SQL_DIAG_MESSAGE_TEXT, SQL_DIAG_SQLSTATE,     SQL_DIAG_NUMBER,
                                    SQL_DIAG_ROW_COUNT,    SQL_DIAG_CLASS_ORIGIN, SQL_DIAG_COLUMN_NUMBER,
                                    SQL_DIAG_ROW_NUMBER};
      const SQLSMALLINT field = in.Pick(fields);
      const bool textual =
          field == SQL_DIAG_MESSAGE_TEXT || field == SQL_DIAG_SQLSTATE || field == SQL_DIAG_CLASS_ORIGIN;
      // Header fields (record 0) and the row and column numbers: SQLLEN or
      // SQLINTEGER; a buffer of a SQLLEN holds either.
      Buffer value(textual ? room : sizeof(SQLLEN));
      // unixODBC keeps the records and answers these calls from its own
      // copies; with a length of 0 (or below) version 2.3.11 writes past (a field) or
      // before (a record's message) the buffer: not ours to test.
      if (textual && len <= 0) break;
      const SQLSMALLINT record = field == SQL_DIAG_NUMBER || field == SQL_DIAG_ROW_COUNT ? 0 : 1;
      if (s)
        Call("SQLGetDiagField", SQL_HANDLE_STMT, h,
             [&] {
               return SQLGetDiagField(SQL_HANDLE_STMT, h, record, field, value.data(),
                                      textual ? static_cast<SQLSMALLINT>(len) : 0, length);
             },
             {&value, &count});
      break;
    }
    case 24: {
      const SQLCHAR* table = in.Next() % 2 ? (SQLCHAR*)"cs" : (SQLCHAR*)"%";
      const int which = static_cast<int>(in.Next() % 6);
      const char* names[] = {"SQLTables",     "SQLColumns",        "SQLPrimaryKeys",
                             "SQLStatistics", "SQLSpecialColumns", "SQLGetTypeInfo"};
      if (s)
        Call(names[which], SQL_HANDLE_STMT, h, [&] {
          switch (which) {
            case 0:
              return SQLTables(h, nullptr, 0, nullptr, 0, (SQLCHAR*)table, SQL_NTS, nullptr, 0);
            case 1:
              return SQLColumns(h, nullptr, 0, nullptr, 0, (SQLCHAR*)table, SQL_NTS, nullptr, 0);
            case 2:
              return SQLPrimaryKeys(h, nullptr, 0, nullptr, 0, (SQLCHAR*)table, SQL_NTS);
            case 3:
              return SQLStatistics(h, nullptr, 0, nullptr, 0, (SQLCHAR*)table, SQL_NTS, SQL_INDEX_ALL, 0);
            case 4:
              return SQLSpecialColumns(h, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, (SQLCHAR*)table, SQL_NTS,
                                       SQL_SCOPE_SESSION, SQL_NULLABLE);
            default:
              return SQLGetTypeInfo(h, SQL_ALL_TYPES);
          }
        });
      break;
    }
    case 25: {
      Buffer got(sizeof(SQLINTEGER));
      Call("SQLNativeSql", SQL_HANDLE_DBC, dbc_,
           [&] {
             return SQLNativeSql(dbc_, (SQLCHAR*)sql, SQL_NTS, text, static_cast<SQLINTEGER>(len),
                                 reinterpret_cast<SQLINTEGER*>(got.data()));
           },
           {&out, &got});
      if (s)
        Call("SQLGetCursorName", SQL_HANDLE_STMT, h,
             [&] { return SQLGetCursorName(h, text, static_cast<SQLSMALLINT>(len), length); }, {&out, &count});
      break;
    }
    case 26: {
      const SQLSMALLINT ops[] = {SQL_POSITION, SQL_REFRESH, SQL_UPDATE, SQL_DELETE, SQL_ADD};
      const SQLSMALLINT op = in.Pick(ops);
      const SQLSETPOSIROW row = in.Next() % 4;
      if (s) Call("SQLSetPos", SQL_HANDLE_STMT, h, [&] { return SQLSetPos(h, row, op, SQL_LOCK_NO_CHANGE); });
      break;
    }
    case 27: {
      const SQLSMALLINT kind = in.Next() % 2 ? SQL_COMMIT : SQL_ROLLBACK;
      Call("SQLEndTran", SQL_HANDLE_DBC, dbc_, [&] { return SQLEndTran(SQL_HANDLE_DBC, dbc_, kind); });
      break;
    }
    case 28: {
      SQLSMALLINT count2 = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      if (s) Call("SQLNumParams", SQL_HANDLE_STMT, h, [&] { return SQLNumParams(h, &count2); });
      if (s)
        Call("SQLDescribeParam", SQL_HANDLE_STMT, h,
             [&] { return SQLDescribeParam(h, static_cast<SQLUSMALLINT>(col), &type, &size, &digits, &nullable); });
      break;
    }
    default: {
      std::u16string wide;
      for (const char* p = sql; *p; ++p) wide += static_cast<char16_t>(static_cast<unsigned char>(*p));
      if (s)
        Call("SQLExecDirectW", SQL_HANDLE_STMT, h, [&] { return SQLExecDirectW(h, (SQLWCHAR*)wide.c_str(), SQL_NTS); });
      break;
    }
  }
}

std::string Run::Play(Input in) {
  const std::string connect = std::string("DSN=") + dsn_;
  if (!SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)connect.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                      SQL_DRIVER_NOPROMPT)))
    return "cannot connect to " + connect;
  for (int i = 0; i < 200 && !in.Done() && broken_.empty(); ++i) Step(in);
  // An application ends as it should: data at execution cancelled,
  // statements freed, the transaction rolled back; then the session ends.
  for (auto& s : stmts_) SQLCancel(s->h), SQLFreeHandle(SQL_HANDLE_STMT, s->h);
  stmts_.clear();
  SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
  if (!SQL_SUCCEEDED(Call("SQLDisconnect", SQL_HANDLE_DBC, dbc_, [&] { return SQLDisconnect(dbc_); })) &&
      broken_.empty())
    broken_ = "SQLDisconnect failed at the end";
  return broken_;
}

// The descriptors the process has open (sockets among them).
int OpenDescriptors() {
  int n = 0;
  if (DIR* dir = opendir("/proc/self/fd")) {
    while (readdir(dir)) ++n;
    closedir(dir);
  }
  return n;
}

std::string ReadFile(const char* path) {
  std::ifstream f(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

// Each input runs once per library (an ODBC 3 application on Velora, an
// ODBC 2 one on Velora ANSI); the text of the first rule broken, if any.
std::string PlayBoth(const std::string& input) {
  // clang-format off
  struct Library { const char* dsn; SQLULEN version; bool unicode; };
  // clang-format on
  const Library libraries[] = {
      {"CallWide", SQL_OV_ODBC3, true}, {"CallAnsi", SQL_OV_ODBC2, false}, {"CallAnsi", SQL_OV_ODBC3, false}};
  for (const auto& l : libraries) {
    std::string broken;
    const int before = OpenDescriptors();
    {
      Run run(l.dsn, l.version, l.unicode);
      broken = run.Play({reinterpret_cast<const unsigned char*>(input.data()), input.size()});
    }
    if (broken.empty() && OpenDescriptors() > before) broken = "descriptors left open after the session";
    if (!broken.empty()) return std::string(l.dsn) + ": " + broken;
  }
  return "";
}

bool Prepare(VeloraServer& server) {
  if (!server.Start()) return std::fprintf(stderr, "no server: %s\n", server.Error().c_str()), false;
  const std::string ini = VEL_ODBC_DIR "/callseq" + std::string(OnPostgres() ? ".pg" : "") + ".odbc.ini";
  std::ofstream(ini) << "[CallWide]\nDriver = Velora\nServer = 127.0.0.1\nService = " << server.Port()
                     << "\n\n[CallAnsi]\nDriver = Velora ANSI\nServer = 127.0.0.1\nService = " << server.Port() << "\n";
  setenv("ODBCSYSINI", VEL_ODBC_DIR, 1);
  setenv("ODBCINI", ini.c_str(), 1);
  setenv("HOME", VEL_ODBC_DIR "/home", 1);
  setenv("VELODBC_DIALOG", "none", 1);
  SQLHENV env;
  SQLHDBC dbc;
  SQLHSTMT s;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  bool ok = SQL_SUCCEEDED(
      SQLDriverConnect(dbc, nullptr, (SQLCHAR*)"DSN=CallWide", SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &s);
  for (const char* sql : {"CREATE TABLE cs (i INTEGER PRIMARY KEY, t VARCHAR(40), d DOUBLE PRECISION, "
                          "b VARBINARY(8), ts TIMESTAMP)",
                          "INSERT INTO cs VALUES (1, 'one', 1.5, X'0102', '2024-01-02 03:04:05.5')",
                          "INSERT INTO cs VALUES (2, 'h\xc3\xa9\xf0\x9f\x98\x80', NULL, NULL, NULL)",
                          "INSERT INTO cs VALUES (3, NULL, -2, X'', '1999-12-31 23:59:59')"})
    ok = ok && SQL_SUCCEEDED(SQLExecDirect(s, (SQLCHAR*)ForStorage(sql).c_str(), SQL_NTS));
  SQLFreeHandle(SQL_HANDLE_STMT, s);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  if (!ok) std::fprintf(stderr, "cannot make the table\n");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  signal(SIGALRM, OnAlarm);
  signal(SIGPIPE, SIG_IGN);
  VeloraServer server;
  if (!Prepare(server)) return 1;
  uint64_t seed = 0;
  long count = 0, seconds = 0;
  std::vector<const char*> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--seed" && i + 1 < argc)
      seed = std::strtoull(argv[++i], nullptr, 10);
    else if (a == "--count" && i + 1 < argc)
      count = std::strtol(argv[++i], nullptr, 10);
    else if (a == "--seconds" && i + 1 < argc)
      seconds = std::strtol(argv[++i], nullptr, 10);
    else
      files.push_back(argv[i]);
  }
  int failures = 0;
  for (const char* file : files) {
    const std::string broken = PlayBoth(ReadFile(file));
    if (!broken.empty()) std::fprintf(stderr, "%s: %s\n", file, broken.c_str()), ++failures;
  }
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
  long n = 0;
  for (; failures < 10 && (n < count || (seconds > 0 && std::chrono::steady_clock::now() < end)); ++n) {
    std::string input(400, '\0');
    for (char& c : input) {
      state ^= state << 13, state ^= state >> 7, state ^= state << 17;
      c = static_cast<char>(state >> 56);
    }
    const std::string broken = PlayBoth(input);
    if (broken.empty()) continue;
    const std::string name = "callseq-" + std::to_string(seed) + "-" + std::to_string(n) + ".bin";
    std::ofstream(name, std::ios::binary) << input;
    std::fprintf(stderr, "input %ld of seed %llu (%s): %s\n", n, static_cast<unsigned long long>(seed), name.c_str(),
                 broken.c_str());
    ++failures;
  }
  std::printf("callseq: %zu files and %ld generated inputs, %d broke a rule\n", files.size(), n, failures);
  return failures ? 1 : 0;
}
