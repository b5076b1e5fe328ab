// A whole application conversation with the driver (its exported functions,
// linked statically) against a scripted peer on loopback: the peer either
// answers every request as a small database would (every SQL type in its
// result sets) and records what it sent, or plays a given byte stream as
// the server's whole side and then closes, resets or falls silent. The
// reliability sweeps, the fault tests and the conversation fuzz target
// share it.
#ifndef VELORA_TESTS_ODBC_CONVERSATION_H
#define VELORA_TESTS_ODBC_CONVERSATION_H

#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "base/Alloc.h"
#include "handles/Connection.h"
#include "odbc/frames.h"
#include "platform/MessageBox.h"
#include "support/socket_io.h"

enum class PeerEnd { kClose, kReset, kSilent };

inline uint32_t FromLE(const std::string& b) { return *reinterpret_cast<const uint32_t*>(b.data()); }

class ScriptedPeer {
 public:
  // Plays stream as the server's side of every connection, then ends as told.
  ScriptedPeer(std::string stream, PeerEnd end) : stream_(std::move(stream)), end_(end) { Start(); }
  // Answers every request as the fake database.
  ScriptedPeer() : answering_(true) { Start(); }
  ~ScriptedPeer() { Stop(), close(listener_); }
  std::string Port() const { return std::to_string(port_); }
  // Where the first reply to a request code starts in what it sent.
  size_t ReplyStart(uint16_t code) const { return starts_.at(code); }
  // The parameter sets it has answered as run.
  int RanSets() const { return ranSets_; }
  // Ends the peer (waiting for the connection it serves to end); returns
  // all it sent.
  std::string Stop() {
    stop_ = true;
    shutdown(listener_, SHUT_RDWR);  // wakes the wait for a connection
    if (thread_.joinable()) thread_.join();
    return sent_;
  }

 private:
  void Start() {
    listener_ = LoopbackSocket(&port_);
    thread_ = std::thread([this] {
      while (!stop_) {
        if (!WaitReadable(listener_, 1000)) continue;
        const int fd = accept(listener_, nullptr, nullptr);
        if (fd >= 0) answering_ ? Answer(fd) : Play(fd), close(fd);
      }
    });
  }
  void Play(int fd) {
    std::string rest;
    WriteAll(fd, stream_);
    const linger abort{1, 0};
    if (end_ == PeerEnd::kReset) return void(setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort));
    if (end_ == PeerEnd::kClose) shutdown(fd, SHUT_WR);
    ReadToEnd(fd, &rest);  // until the driver lets go
  }
  void Answer(int fd) {
    std::string got, body;
    if (!ReadExactly(fd, 80, &got) || !Write(fd, U16(0))) return;
    for (uint16_t code = 0; ReadExactly(fd, 6, &got) && ReadExactly(fd, FromLE(got), &body);) {
      code = uint16_t(uint8_t(got[4]) | uint8_t(got[5]) << 8);
      starts_.emplace(code, sent_.size());
      if (!Write(fd, ReplyFrame(Reply(code, body)))) break;
    }
  }
  bool Write(int fd, const std::string& bytes) { return sent_ += bytes, WriteAll(fd, bytes); }
  std::string Columns() {
    std::string d = U16(uint16_t(kinds_.size()));
    for (const auto& k : kinds_) d += Column("c", uint32_t(k.second.size()), 1, k.first, uint32_t(k.second.size()));
    return d;
  }
  std::string Cell(uint16_t column) {
    return Value(column, column >= 1 && column <= kinds_.size() ? kinds_[column - 1].second : "");
  }
  // A login with a warning; a statement text with "FAIL" fails at the
  // server; a fetch gives two rows, then the end.
  std::string Reply(uint16_t code, const std::string& body) {
    const bool executes = code == 10 || code == 23;
    if (code == 10 && body.find("VALUES (?)") != std::string::npos) ++ranSets_;  // the array's set alone
    if (code == 5) {  // batches and cursors that write back (EDIT_ROWS) offered
      return ConnectBody(SQL_SUCCESS_WITH_INFO) + U16(0) + U16(0) + U16(1) + U16(0) + U16(0) + U32(0) + U32(0) +
             std::string(12, '\0') + U16(1);
    }
    if (code == 45) {                                                        // every set changes a row
      const size_t at = 6 + (uint8_t(body[4]) | uint8_t(body[5]) << 8) + 2;  // id, text, mode
      const uint16_t sets = uint16_t(uint8_t(body[at]) | uint8_t(body[at + 1]) << 8);
      ranSets_ += sets;
      std::string reply = U16(0) + U16(sets);
      for (uint16_t i = 0; i < sets; ++i) reply += U16(0) + U32(1);
      return reply;
    }
    if (code == 0) return U16(0) + U32(7);
    if (code == 51) return U16(0) + U32(1) + U16(0);  // edit row: one row written
    if (executes && body.find("FAIL") != std::string::npos) return U16(uint16_t(SQL_ERROR));
    if (executes || code == 4 || code == 19 || code == 40 || code == 41 || code == 43) {
      row_ = 0;
      return U16(0) + (!executes || body.find("SELECT") != std::string::npos ? Columns() : U16(0));
    }
    if (code == 13 && ++row_ > 2) return U16(SQL_NO_DATA_FOUND);
    if (code == 13) {
      std::string reply = U16(0) + U16(uint8_t(body[4]));
      for (size_t i = 0; i < uint8_t(body[4]); ++i) reply += Cell(uint8_t(body[6 + 2 * i]));
      return reply;
    }
    if (code == 17) return U16(0) + Cell(uint8_t(body[4]));
    if (code == 9) return U16(0) + Text16("42S02") + U16(208) + Text16("no such table") + Text16("fake") + U16(1);
    if (code == 16) return U16(0) + Text16("SQL_CUR1");
    return U16(0) + U32(2);  // the row number and count; more than an empty reply needs
  }

  // One column of every SQL type, with its value.
  // clang-format off
  const std::vector<std::pair<int, std::string>> kinds_ = {
      {SQL_CHAR, Z("ch")}, {SQL_VARCHAR, Z("varchar")},
      {SQL_LONGVARCHAR, Z("a long text, longer than the buffer it is read into in pieces")},
      {SQL_BINARY, Bytes({1, 2})}, {SQL_VARBINARY, Bytes({2, 1, 3})}, {SQL_LONGVARBINARY, U32(3) + Bytes({1, 4, 5})},
      {SQL_BIT, Bytes({1})}, {SQL_TINYINT, Bytes({7})}, {SQL_SMALLINT, U16(300)}, {SQL_INTEGER, U32(70000)},
      {SQL_BIGINT, U16(0) + U16(1) + U16(0) + U16(1) + U16(0)}, {SQL_REAL, Raw(1.5f)}, {SQL_FLOAT, Raw(2.25)},
      {SQL_NUMERIC, Bytes({0, 2, 0x12, 0x34, 1, 0, 0, 0, 0, 0})}, {SQL_DATE, U16(2024) + U16(2) + U16(9)},
      {SQL_TIME, U16(1) + U16(30) + U16(59)}, {SQL_TIMESTAMP, U16(2024) + U16(2) + U16(29) + U16(1) + U32(0) + U32(5)}};
  // clang-format on

  std::string stream_;
  PeerEnd end_ = PeerEnd::kClose;
  bool answering_ = false;
  int row_ = 0, listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> ranSets_{0};
  std::string sent_;
  std::map<uint16_t, size_t> starts_;
  std::thread thread_;
};

// A conversation line's return code; true for the codes ODBC defines.
inline int LineCode(const std::string& line) { return std::atoi(line.c_str() + line.find(' ') + 1); }
inline bool IsOdbcCode(int rc) {
  for (int code : {SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_ERROR, SQL_INVALID_HANDLE, SQL_STILL_EXECUTING,
                   SQL_NEED_DATA, SQL_NO_DATA_FOUND})
    if (rc == code) return true;
  return false;
}

// The application: one line per call, "name rc STATE:native" from its
// first record (each handle's records are all read). With a reference the
// conversation leaves at the first line that differs from it (and ends
// any allocation failure a sweep set); without one it runs to the end.
// Having left, with probe, it shows the handles still work ("probe"
// lines); then every handle is freed ("drop", "disc", "freec", "freee").
struct Conversation {
  std::vector<std::string> lines;
  const std::vector<std::string>* reference = nullptr;
  bool probe = false;
  int queryTimeout = 0;
  std::string extra;  // appended to the connection string
  // Through the ODBC 3.x calls of an application that declared ODBC 3
  // (SQLAllocHandle, the attributes, SQLFetchScroll, SQLCloseCursor,
  // SQLEndTran, SQLGetDiagRec, SQLFreeHandle) where they exist.
  bool odbc3 = false;
  bool array = true;  // ends with an array of parameter sets, then writes through a cursor
  // Closes each catalog result before the next call, as a real server
  // asks (24000 over unread rows); scripted replies follow the old order.
  bool closeCatalogs = false;

  int left = -1;  // the line where it left the reference or stopped
  std::string Text() const {
    std::string all;
    for (const std::string& l : lines) all += l + "|";
    return all;
  }

  // Once per object.
  void Run(const std::string& port) {
    setenv("VELODBC_DIALOG", "none", 1);
    setenv("ODBCINI", "/dev/null", 0);
    setenv("ODBCSYSINI", "/nonexistent", 0);
    SetMessageBoxSink([](void*, const char*, const char*, unsigned) {}, nullptr);
    Script(port);
    cleaning_ = true;
    if (left >= 0 && probe && connected_ && stmt_ == nullptr) Note("probe", AllocStmt());
    if (left >= 0 && probe && stmt_ != nullptr) {
      SQLCancel(stmt_);
      SQLFreeStmt(stmt_, SQL_UNBIND);  // the buffers were the script's
      SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
      Note("probe", SQLGetTypeInfo(stmt_, SQL_ALL_TYPES));  // a result set any server gives
    }
    if (stmt_ != nullptr) {  // else gone with the session
      Note("drop", odbc3 ? SQLFreeHandle(SQL_HANDLE_STMT, stmt_) : SQLFreeStmt(stmt_, SQL_DROP)), stmt_ = nullptr;
    }
    if (dbc_ != nullptr) {
      Note("disc", SQLDisconnect(dbc_));
      Note("freec", odbc3 ? SQLFreeHandle(SQL_HANDLE_DBC, dbc_) : SQLFreeConnect(dbc_));
    }
    if (env_ != nullptr) Note("freee", odbc3 ? SQLFreeHandle(SQL_HANDLE_ENV, env_) : SQLFreeEnv(env_));
  }

 private:
  // False once the conversation is to stop.
  bool Note(const char* name, SQLRETURN rc) {
    SQLCHAR state[6] = {0}, text[300];
    SQLINTEGER native = 0;
    std::string line = name + (" " + std::to_string(rc));
    const SQLHANDLE handles[3][3] = {{nullptr, nullptr, stmt_}, {nullptr, dbc_, nullptr}, {env_, nullptr, nullptr}};
    for (const auto& h : handles) {
      const SQLSMALLINT type = h[2] ? SQL_HANDLE_STMT : h[1] ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
      for (SQLSMALLINT i = 1; (h[0] || h[1] || h[2]) && i < 100; ++i) {
        if ((odbc3 ? SQLGetDiagRec(type,
                                   h[0]   ? h[0]
                                   : h[1] ? h[1]
                                          : h[2],
                                   i, state, &native, text, sizeof text, nullptr)
                   : SQLError(h[0], h[1], h[2], state, &native, text, sizeof text, nullptr)) != 0) {
          break;
        }
        if (line.find(':') == std::string::npos) line += " " + std::string((char*)state) + ":" + std::to_string(native);
      }
    }
    for (const auto& made : {std::make_pair("env", env_), std::make_pair("dbc", dbc_), std::make_pair("alloc", stmt_)})
      if (rc == SQL_ERROR && made.second != nullptr && !std::strcmp(name, made.first)) line += " (handle left)";
    if (!std::strcmp(name, "connect") && (connected_ = static_cast<Connection*>(dbc_)->LoggedIn()) != SQL_SUCCEEDED(rc))
      line += " (login state disagrees)";
    lines.push_back(line);
    if (cleaning_) return true;
    const bool off = reference && (lines.size() > reference->size() || line != (*reference)[lines.size() - 1]);
    if (off && left < 0) {
      left = int(lines.size()) - 1;
      ResetAllocFailure();  // a sweep's failure has done its work
    }
    return !off;
  }
  SQLRETURN AllocStmt() { return odbc3 ? SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_) : SQLAllocStmt(dbc_, &stmt_); }
  SQLRETURN Fetch() { return odbc3 ? SQLFetchScroll(stmt_, SQL_FETCH_NEXT, 0) : SQLFetch(stmt_); }
  SQLRETURN Close() { return odbc3 ? SQLCloseCursor(stmt_) : SQLFreeStmt(stmt_, SQL_CLOSE); }
  SQLRETURN SetConnect(SQLUSMALLINT option, SQLULEN value) {
    return odbc3 ? SQLSetConnectAttr(dbc_, option, SQLPOINTER(value), 0) : SQLSetConnectOption(dbc_, option, value);
  }
  SQLRETURN SetStmt(SQLUSMALLINT option, SQLULEN value) {
    return odbc3 ? SQLSetStmtAttr(stmt_, option, SQLPOINTER(value), 0) : SQLSetStmtOption(stmt_, option, value);
  }
  bool Begin() {
    if (!odbc3) return Note("env", SQLAllocEnv(&env_)) && Note("dbc", SQLAllocConnect(env_, &dbc_));
    return Note("env", SQLAllocHandle(SQL_HANDLE_ENV, nullptr, &env_)) &&
           Note("version", SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, SQLPOINTER(SQL_OV_ODBC3), 0)) &&
           Note("dbc", SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_));
  }
  void Script(const std::string& port) {
    char buffer[64];
    SQLSMALLINT columns = 0;
    SQLINTEGER number = 5;
    SQLLEN length, atExec = SQL_DATA_AT_EXEC;
    SQLPOINTER token;
    SQLUSMALLINT exists;
    const std::string in = "DSN=Fake;Server=127.0.0.1;Service=" + port + extra;
    std::vector<char> bound(64 * 20);
    // Odd columns bound and even ones read in pieces, then the other way.
    auto Row = [&](int bind) {
      bool ok = Note("unbind", SQLFreeStmt(stmt_, SQL_UNBIND));
      for (int c = 2 - bind; ok && c <= columns && c <= 20; c += 2)
        ok = Note("bind", SQLBindCol(stmt_, c, bind ? SQL_C_CHAR : SQL_C_DEFAULT, &bound[64 * c - 64], 64, &length));
      ok = ok && Note("fetch", Fetch());
      for (int c = 1 + bind; ok && c <= columns && c <= 20; c += 2) {
        SQLRETURN rc = SQL_SUCCESS_WITH_INFO;
        for (int piece = 0; ok && rc == SQL_SUCCESS_WITH_INFO && piece < 4; ++piece)
          ok = Note("get", rc = SQLGetData(stmt_, c, SQL_C_CHAR, buffer, 40, &length));
      }
      return ok;
    };
    bool ok = Begin() &&
              Note("connect", SQLDriverConnect(dbc_, nullptr, M(in.c_str()), SQL_NTS, nullptr, 0, nullptr, 0)) &&
              Note("timeout", SetConnect(SQL_QUERY_TIMEOUT, SQLULEN(queryTimeout))) && Note("alloc", AllocStmt()) &&
              Note("timeout", SetStmt(SQL_QUERY_TIMEOUT, SQLULEN(queryTimeout))) &&
              Note("exec", SQLExecDirect(stmt_, M("SELECT * FROM t"), SQL_NTS)) &&
              Note("cols", SQLNumResultCols(stmt_, &columns));
    for (int c = 1; ok && c <= columns && c <= 20; ++c)
      ok = Note("describe", SQLDescribeCol(stmt_, c, M(buffer), 12, nullptr, nullptr, nullptr, nullptr, nullptr));
    ok = ok && Row(1) && Row(0) && Note("fetch", Fetch()) && Note("close", Close());
    SQLCHAR* t = M("t");
    const auto next = [&] { return !closeCatalogs || Note("close", Close()); };
    ok = ok && Note("tables", SQLTables(stmt_, nullptr, 0, nullptr, 0, t, 1, nullptr, 0)) && next() &&
         Note("columns", SQLColumns(stmt_, nullptr, 0, nullptr, 0, t, 1, nullptr, 0)) && next() &&
         Note("statistics", SQLStatistics(stmt_, nullptr, 0, nullptr, 0, t, 1, SQL_INDEX_ALL, 0)) && next() &&
         Note("special", SQLSpecialColumns(stmt_, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, t, 1, 0, 1)) && next() &&
         Note("types", SQLGetTypeInfo(stmt_, SQL_ALL_TYPES)) && Note("close", Close());
    // Parameters: one converted at execution, one given in two pieces.
    ok = ok && Note("param", SQLBindParameter(stmt_, 1, 1, SQL_C_SLONG, SQL_INTEGER, 0, 0, &number, 0, nullptr)) &&
         Note("param", SQLBindParameter(stmt_, 2, 1, SQL_C_CHAR, SQL_VARCHAR, 9, 0, buffer, 0, &atExec)) &&
         Note("prepare", SQLPrepare(stmt_, M("INSERT INTO t VALUES (?, ?)"), SQL_NTS)) &&
         Note("execute", SQLExecute(stmt_)) && Note("paramdata", SQLParamData(stmt_, &token)) &&
         Note("put", SQLPutData(stmt_, M("abc"), 3)) && Note("put", SQLPutData(stmt_, M("def"), SQL_NTS)) &&
         Note("paramdata", SQLParamData(stmt_, &token)) && Note("reset", SQLFreeStmt(stmt_, SQL_RESET_PARAMS)) &&
         Note("rowcount", SQLRowCount(stmt_, &length)) &&
         Note("cursor", SQLGetCursorName(stmt_, M(buffer), sizeof buffer, nullptr)) &&
         Note("maxrows", SetStmt(SQL_MAX_ROWS, 4)) && Note("autocommit", SetConnect(SQL_AUTOCOMMIT, 0)) &&
         Note("commit", odbc3 ? SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT) : SQLTransact(env_, dbc_, SQL_COMMIT)) &&
         Note("info", SQLGetInfo(dbc_, SQL_DBMS_VER, buffer, sizeof buffer, nullptr)) &&
         Note("info", SQLGetInfo(dbc_, SQL_DATABASE_NAME, buffer, sizeof buffer, nullptr)) &&
         Note("functions", SQLGetFunctions(dbc_, SQL_API_SQLFETCH, &exists)) &&
         Note("fail", SQLExecDirect(stmt_, M("FAIL"), SQL_NTS));
    // An array of three sets, with a status array through the ODBC 3.x
    // calls; its line's name holds the sets processed and the statuses
    // ("array/3/000"; 9: not written).
    SQLINTEGER ids[3] = {1, 2, 3};
    SQLUSMALLINT statuses[3] = {9, 9, 9};
    SQLULEN processed = 9;
    ok = ok && array && Note("reset", SQLFreeStmt(stmt_, SQL_RESET_PARAMS)) &&
         Note("param", SQLBindParameter(stmt_, 1, 1, SQL_C_SLONG, SQL_INTEGER, 0, 0, ids, 0, nullptr)) &&
         Note("sets", odbc3 ? SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMSET_SIZE, SQLPOINTER(3), 0)
                            : SQLParamOptions(stmt_, 3, &processed));
    ok = ok && (!odbc3 || (Note("statuses", SQLSetStmtAttr(stmt_, SQL_ATTR_PARAM_STATUS_PTR, statuses, 0)) &&
                           Note("processed", SQLSetStmtAttr(stmt_, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0))));
    if (ok) {
      const SQLRETURN rc = SQLExecDirect(stmt_, M("INSERT INTO t VALUES (?)"), SQL_NTS);
      std::string name = "array/" + std::to_string(processed) + "/";
      for (SQLUSMALLINT status : statuses) name += std::to_string(status);
      ok = Note(name.c_str(), rc);
    }
    // A static cursor with optimistic concurrency over e (id, a, b), rowsets of two rows: the second row's a and
    // b updated ("new"), then rows added from the buffers: the first ("add0"), by SQLBulkOperations both ("add1").
    SQLLEN lengths[4];
    const auto put = [&](int row, const char* value) {
      for (int at : {row, 2 + row}) std::strcpy(&bound[16 * at], value), lengths[at] = SQL_NTS;
    };
    ok = ok && array && Note("unbind", SQLFreeStmt(stmt_, SQL_UNBIND)) &&
         Note("sets", odbc3 ? SetStmt(SQL_ATTR_PARAMSET_SIZE, 1) : SQLParamOptions(stmt_, 1, &processed)) &&
         Note("static", SetStmt(SQL_CURSOR_TYPE, SQL_CURSOR_STATIC)) &&
         Note("concurrency", SetStmt(SQL_CONCURRENCY, SQL_CONCUR_VALUES)) &&
         Note("rowset", SetStmt(odbc3 ? SQL_ATTR_ROW_ARRAY_SIZE : SQL_ROWSET_SIZE, 2)) &&
         Note("bind", SQLBindCol(stmt_, 2, SQL_C_CHAR, &bound[0], 16, lengths)) &&
         Note("bind", SQLBindCol(stmt_, 3, SQL_C_CHAR, &bound[32], 16, lengths + 2)) &&
         Note("select", SQLExecDirect(stmt_, M("SELECT id, a, b FROM e ORDER BY id"), SQL_NTS)) &&
         Note("fetch", odbc3 ? Fetch() : SQLExtendedFetch(stmt_, SQL_FETCH_NEXT, 0, &processed, statuses)) &&
         (put(1, "new"), true) && Note("update", SQLSetPos(stmt_, 2, SQL_UPDATE, SQL_LOCK_NO_CHANGE)) &&
         (put(0, "add0"), put(1, "add1"), true) &&
         Note("add", odbc3 ? SQLBulkOperations(stmt_, SQL_ADD) : SQLSetPos(stmt_, 1, SQL_ADD, SQL_LOCK_NO_CHANGE)) &&
         Note("close", Close()) &&
         Note("commit", odbc3 ? SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT) : SQLTransact(env_, dbc_, SQL_COMMIT));
  }

  bool connected_ = false, cleaning_ = false;
  SQLHANDLE env_ = nullptr, dbc_ = nullptr, stmt_ = nullptr;
};

#endif
