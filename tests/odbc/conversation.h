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
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "odbc/frames.h"
#include "platform/MessageBox.h"
#include "support/socket_io.h"

enum class PeerEnd { kClose, kReset, kSilent };

class ScriptedPeer {
 public:
  // Plays stream as the server's side of every connection, then ends as told.
  ScriptedPeer(std::string stream, PeerEnd end) : stream_(std::move(stream)), end_(end) { Start(); }
  // Answers every request as the fake database; Sent() is all it wrote.
  ScriptedPeer() : answering_(true) { Start(); }
  ~ScriptedPeer() {
    stop_ = true;
    thread_.join();
    close(listener_);
  }
  std::string Port() const { return std::to_string(port_); }
  std::string Sent() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
  }

 private:
  void Start() {
    listener_ = LoopbackSocket(&port_);
    thread_ = std::thread([this] {
      while (!stop_) {
        if (!WaitReadable(listener_, 20)) continue;
        const int fd = accept(listener_, nullptr, nullptr);
        if (fd >= 0) answering_ ? Answer(fd) : Play(fd);
        if (fd >= 0) close(fd);
      }
    });
  }
  void Play(int fd) {
    std::string rest;
    WriteAll(fd, stream_);
    if (end_ == PeerEnd::kReset) {
      const linger abort{1, 0};
      setsockopt(fd, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
      return;
    }
    if (end_ == PeerEnd::kClose) shutdown(fd, SHUT_WR);
    ReadToEnd(fd, &rest);  // until the driver lets go
  }
  void Answer(int fd) {
    std::string got, body;
    if (!ReadExactly(fd, 80, &got) || !Write(fd, U16(0))) return;
    while (ReadExactly(fd, 6, &got) && ReadExactly(fd, FromLE(got), &body) &&
           Write(fd, ReplyFrame(Reply(uint16_t(uint8_t(got[4]) | uint8_t(got[5]) << 8), body)))) {
    }
  }
  static uint32_t FromLE(const std::string& b) {
    return uint8_t(b[0]) | uint8_t(b[1]) << 8 | uint8_t(b[2]) << 16 | uint32_t(uint8_t(b[3])) << 24;
  }
  bool Write(int fd, const std::string& bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    sent_ += bytes;
    return WriteAll(fd, bytes);
  }
  // One column of every SQL type with its value on row r.
  struct Kind {
    int type;
    uint32_t length;
    std::string (*value)(int r);
  };
  static const std::vector<Kind>& Cells() {
    static const std::vector<Kind> cells = {
        {SQL_CHAR, 8, [](int r) { return Z("ch" + std::to_string(r)); }},
        {SQL_VARCHAR, 20, [](int r) { return Z("varchar " + std::to_string(r)); }},
        {SQL_LONGVARCHAR, 100, [](int r) { return Z("a long text on row " + std::to_string(r)); }},
        {SQL_BINARY, 2,
         [](int r) {
           return Bytes({r, 2});
         }},
        {SQL_VARBINARY, 8,
         [](int r) {
           return Bytes({2, r, 3});
         }},
        {SQL_LONGVARBINARY, 100,
         [](int r) {
           return U32(3) + Bytes({r, 4, 5});
         }},
        {SQL_BIT, 1, [](int r) { return Bytes({r & 1}); }},
        {SQL_TINYINT, 1, [](int r) { return Bytes({r}); }},
        {SQL_SMALLINT, 2, [](int r) { return U16(uint16_t(300 + r)); }},
        {SQL_INTEGER, 4, [](int r) { return U32(uint32_t(70000 + r)); }},
        {SQL_BIGINT, 20, [](int r) { return U16(uint16_t(r)) + U16(0) + U16(1) + U16(0) + U16(0); }},
        {SQL_REAL, 4, [](int r) { return Raw(1.5f * float(r)); }},
        {SQL_FLOAT, 8, [](int r) { return Raw(2.25 * r); }},
        {SQL_NUMERIC, 10,
         [](int r) {
           return Bytes({0, 2, 0x12, 0x34, r}) + std::string(5, '\0');
         }},
        {SQL_DATE, 10, [](int r) { return U16(2024) + U16(uint16_t(r)) + U16(9); }},
        {SQL_TIME, 8, [](int r) { return U16(uint16_t(r)) + U16(30) + U16(59); }},
        {SQL_TIMESTAMP, 26, [](int r) { return U16(2024) + U16(2) + U16(29) + U16(uint16_t(r)) + U32(0) + U32(5); }},
    };
    return cells;
  }
  std::string Columns() {
    std::string d = U16(uint16_t(Cells().size()));
    for (size_t i = 0; i < Cells().size(); ++i)
      d += Column("c" + std::to_string(i + 1), Cells()[i].length, 1, Cells()[i].type, Cells()[i].length);
    return d;
  }
  std::string Cell(uint16_t column) {
    if (column < 1 || column > Cells().size()) return Value(column, "");
    return Value(column, Cells()[column - 1].value(row_));
  }
  // A statement text with "FAIL" fails at the server; the fetch gives two
  // rows, then the end.
  std::string Reply(uint16_t code, const std::string& body) {
    switch (code) {
      case 5:
        return ConnectBody();
      case 0:
        return U16(0) + U32(7);
      case 10:
      case 23:
        row_ = 0;
        if (body.find("FAIL") != std::string::npos) return U16(uint16_t(SQL_ERROR));
        return U16(0) + (body.find("SELECT") != std::string::npos ? Columns() : U16(0));
      case 4:
      case 19:
      case 40:
      case 41:
      case 43:
        return row_ = 0, U16(0) + Columns();
      case 13: {
        if (++row_ > 2) return U16(SQL_NO_DATA_FOUND);
        const uint8_t count = uint8_t(body[4]);
        std::string reply = U16(0) + U16(count);
        for (size_t i = 0; i < count; ++i) reply += Cell(uint8_t(body[6 + 2 * i]));
        return reply;
      }
      case 17:
        return U16(0) + Cell(uint8_t(body[4]));
      case 9:
        return U16(0) + Text16("42S02") + U16(208) + Text16("no such table") + Text16("fake") + U16(1);
      case 16:
        return U16(0) + Text16("SQL_CUR1");
      case 18:
      case 25:
        return U16(0) + U32(2);
      default:
        return U16(0);
    }
  }

  std::string stream_;
  PeerEnd end_ = PeerEnd::kClose;
  bool answering_ = false;
  int row_ = 0;
  int listener_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::string sent_;
  std::thread thread_;
};

// The application: one line per call, "name rc STATE:native" from its
// first record (each handle's records are all read). With a reference the
// conversation leaves at the first line that differs from it, without one
// at the first SQL_ERROR (stop) or never. Having left, it calls onLeave
// and, with probe, shows the handles still work ("probe" lines); then
// every handle is freed ("drop", "disc", "freec", "freee" lines).
struct Conversation {
  std::vector<std::string> lines;
  const std::vector<std::string>* reference = nullptr;
  bool stop = true;
  bool probe = false;
  int queryTimeout = 0;
  std::function<void()> onLeave = [] {};

  std::string Text() const {
    std::string all;
    for (const std::string& l : lines) all += l + "|";
    return all;
  }
  // The line (index) where it left the reference or stopped, or -1.
  int Left() const { return left_; }

  void Run(const std::string& port) {
    setenv("VELODBC_DIALOG", "none", 1);
    setenv("ODBCINI", "/dev/null", 0);
    setenv("ODBCSYSINI", "/nonexistent", 0);
    SetMessageBoxSink([](void*, const char*, const char*, unsigned) {}, nullptr);
    left_ = -1;
    lines.clear();
    cleaning_ = false;
    Script(port);
    cleaning_ = true;
    if (left_ >= 0 && probe && connected_ && stmt_ == nullptr) Note("probe", SQLAllocStmt(dbc_, &stmt_));
    if (left_ >= 0 && probe && stmt_ != nullptr) {
      SQLCancel(stmt_);
      Note("probe", SQLExecDirect(stmt_, M("SELECT * FROM t"), SQL_NTS));
    }
    if (stmt_ != nullptr) Note("drop", SQLFreeStmt(stmt_, SQL_DROP));
    stmt_ = nullptr;  // gone with the disconnection at the latest
    if (dbc_ != nullptr) Note("disc", SQLDisconnect(dbc_));
    if (dbc_ != nullptr) Note("freec", SQLFreeConnect(dbc_));
    if (env_ != nullptr) Note("freee", SQLFreeEnv(env_));
    stmt_ = dbc_ = env_ = nullptr;
    connected_ = false;
    SetMessageBoxSink(nullptr, nullptr);
  }

 private:
  // False once the conversation is to stop.
  bool Note(const char* name, SQLRETURN rc) {
    SQLCHAR state[6] = {0}, text[300];
    SQLINTEGER native = 0;
    std::string line = std::string(name) + " " + std::to_string(rc);
    const SQLHANDLE handles[3][3] = {{nullptr, nullptr, stmt_}, {nullptr, dbc_, nullptr}, {env_, nullptr, nullptr}};
    for (const auto& h : handles) {
      while ((h[0] || h[1] || h[2]) && SQLError(h[0], h[1], h[2], state, &native, text, sizeof text, nullptr) == 0) {
        if (line.find(':') == std::string::npos) line += " " + std::string((char*)state) + ":" + std::to_string(native);
      }
    }
    lines.push_back(line);
    if (!std::strcmp(name, "connect")) connected_ = SQL_SUCCEEDED(rc);
    if (cleaning_) return true;
    const bool off = reference ? lines.size() > reference->size() || line != (*reference)[lines.size() - 1]
                               : stop && rc == SQL_ERROR;
    if (off && left_ < 0) {
      left_ = int(lines.size()) - 1;
      onLeave();
    }
    return !off || (!reference && !stop);
  }
  void Script(const std::string& port) {
    char buffer[64];
    SQLLEN length;
    SQLSMALLINT columns = 0;
    SQLINTEGER number = 5;
    SQLLEN atExec = SQL_DATA_AT_EXEC;
    SQLPOINTER token;
    SQLUSMALLINT exists;
    const std::string in = "DSN=Fake;Server=127.0.0.1;Service=" + port;
    std::vector<char> bound(64 * 20);
    // Odd columns bound and even ones read in pieces, then the other way.
    auto Row = [&](int bind) {
      bool ok = Note("unbind", SQLFreeStmt(stmt_, SQL_UNBIND));
      for (int c = 1; ok && c <= columns && c <= 20; ++c) {
        if (c % 2 == bind) {
          ok = Note("bind", SQLBindCol(stmt_, c, bind ? SQL_C_CHAR : SQL_C_DEFAULT, &bound[64 * c - 64], 64, &length));
        }
      }
      ok = ok && Note("fetch", SQLFetch(stmt_));
      for (int c = 1 + bind; ok && c <= columns && c <= 20; c += 2) {
        SQLRETURN rc = SQL_SUCCESS_WITH_INFO;
        for (int piece = 0; ok && rc == SQL_SUCCESS_WITH_INFO && piece < 4; ++piece) {
          ok = Note("get", rc = SQLGetData(stmt_, c, SQL_C_CHAR, buffer, 12, &length));
        }
      }
      return ok;
    };
    const char* const catalog[] = {"tables", "columns", "statistics", "special", "types"};
    bool ok = Note("env", SQLAllocEnv(&env_)) && Note("dbc", SQLAllocConnect(env_, &dbc_)) &&
              Note("connect", SQLDriverConnect(dbc_, nullptr, M(in.c_str()), SQL_NTS, nullptr, 0, nullptr, 0)) &&
              Note("alloc", SQLAllocStmt(dbc_, &stmt_)) &&
              Note("timeout", SQLSetStmtOption(stmt_, SQL_QUERY_TIMEOUT, SQLULEN(queryTimeout))) &&
              Note("exec", SQLExecDirect(stmt_, M("SELECT * FROM t"), SQL_NTS)) &&
              Note("cols", SQLNumResultCols(stmt_, &columns));
    for (int c = 1; ok && c <= columns && c <= 20; ++c) {
      ok = Note("describe", SQLDescribeCol(stmt_, c, M(buffer), 12, nullptr, nullptr, nullptr, nullptr, nullptr));
    }
    ok = ok && Row(1) && Row(0) && Note("fetch", SQLFetch(stmt_)) && Note("close", SQLFreeStmt(stmt_, SQL_CLOSE));
    for (int i = 0; ok && i < 5; ++i) {
      const SQLCHAR* t = M("t");
      ok = Note(catalog[i], i == 0   ? SQLTables(stmt_, nullptr, 0, nullptr, 0, M("t"), SQL_NTS, nullptr, 0)
                            : i == 1 ? SQLColumns(stmt_, nullptr, 0, nullptr, 0, M("t"), SQL_NTS, nullptr, 0)
                            : i == 2 ? SQLStatistics(stmt_, nullptr, 0, nullptr, 0, (SQLCHAR*)t, 1, SQL_INDEX_ALL, 0)
                            : i == 3 ? SQLSpecialColumns(stmt_, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, (SQLCHAR*)t, 1,
                                                         SQL_SCOPE_CURROW, SQL_NULLABLE)
                                     : SQLGetTypeInfo(stmt_, SQL_ALL_TYPES)) &&
           Note("close", SQLFreeStmt(stmt_, SQL_CLOSE));
    }
    // Parameters: one converted at execution, one given in two pieces.
    ok =
        ok &&
        Note("param",
             SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &number, 0, nullptr)) &&
        Note("param", SQLBindParameter(stmt_, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 9, 0, buffer, 0, &atExec)) &&
        Note("prepare", SQLPrepare(stmt_, M("INSERT INTO t VALUES (?, ?)"), SQL_NTS)) &&
        Note("execute", SQLExecute(stmt_)) && Note("paramdata", SQLParamData(stmt_, &token)) &&
        Note("put", SQLPutData(stmt_, M("abc"), 3)) && Note("put", SQLPutData(stmt_, M("def"), SQL_NTS)) &&
        Note("paramdata", SQLParamData(stmt_, &token)) && Note("reset", SQLFreeStmt(stmt_, SQL_RESET_PARAMS)) &&
        Note("rowcount", SQLRowCount(stmt_, &length)) &&
        Note("cursor", SQLGetCursorName(stmt_, M(buffer), sizeof buffer, nullptr)) &&
        Note("maxrows", SQLSetStmtOption(stmt_, SQL_MAX_ROWS, 4)) &&
        Note("autocommit", SQLSetConnectOption(dbc_, SQL_AUTOCOMMIT, 0)) &&
        Note("commit", SQLTransact(env_, dbc_, SQL_COMMIT)) &&
        Note("info", SQLGetInfo(dbc_, SQL_DBMS_VER, buffer, sizeof buffer, nullptr)) &&
        Note("info", SQLGetInfo(dbc_, SQL_DATABASE_NAME, buffer, sizeof buffer, nullptr)) &&
        Note("functions", SQLGetFunctions(dbc_, SQL_API_SQLFETCH, &exists)) &&
        Note("fail", SQLExecDirect(stmt_, M("FAIL"), SQL_NTS));
  }

  int left_ = -1;
  bool connected_ = false, cleaning_ = false;
  SQLHANDLE env_ = nullptr, dbc_ = nullptr, stmt_ = nullptr;
};

#endif
