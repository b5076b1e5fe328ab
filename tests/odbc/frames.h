// The scripted-server helpers of the odbc tests: the frames of the wire
// protocol for FakeServer scripts, and a result set that answers fetches,
// whose request sequence a fixed script cannot foresee.
#ifndef VELORA_TESTS_ODBC_FRAMES_H
#define VELORA_TESTS_ODBC_FRAMES_H

#include <sql.h>
#include <sqlext.h>

#include <map>
#include <mutex>
#include <string>

#include "support/fake_server.h"

// A text with its NUL; the bytes of a value as the machine holds it.
inline std::string Z(const std::string& text) { return text + '\0'; }
template <typename T>
std::string Raw(T v) {
  return std::string(reinterpret_cast<const char*>(&v), sizeof v);
}

inline SQLCHAR* M(const char* text) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text)); }

// A request frame: length, code, body.
inline std::string Frame(uint16_t code, const std::string& body) {
  return U32(static_cast<uint32_t>(body.size())) + U16(code) + body;
}
inline std::string ReturnOnly(int rc) { return ReplyFrame(U16(static_cast<uint16_t>(rc))); }
// Each request frame expected in turn and answered by its reply.
inline FakeServer& Talk(FakeServer& s, std::initializer_list<std::pair<std::string, std::string>> steps) {
  for (const auto& step : steps) s.Expect(step.first).Send(step.second);
  return s;
}
// A get-error reply carrying one record.
inline std::string ErrorReply(const std::string& state, int native, const std::string& text) {
  return ReplyFrame(U16(0) + Text16(state) + U16(static_cast<uint16_t>(native)) + Text16(text) + Text16("server.cpp") +
                    U16(12));
}
// The 80-byte greeting block.
inline std::string Greeting() { return ("L\x06 WIN32 iso8859-1" + std::string(80, '\0')).substr(0, 80); }
inline std::string ConnectFrame(const std::string& user, const std::string& password,
                                const std::string& dsn = "Sales") {
  return Frame(5, Text16(dsn) + Text16(user) + Text16(password));
}
// The connect reply's body: return code, version text and the server's
// thirteen value sizes.
inline std::string ConnectBody(int rc = 0) {
  std::string body = U16(static_cast<uint16_t>(rc)) + Text16("Velora 1.0");
  for (int size : {10, 1, 6, 12, 8, 8, 4, 12, 4, 2, 6, 16, 1}) body += U16(static_cast<uint16_t>(size));
  return body;
}
inline std::string ConnectReply(int rc = 0) { return ReplyFrame(ConnectBody(rc)); }
// One column of a result-set description; one fetchData element.
inline std::string Column(const std::string& name, uint32_t length, int nullable, int sqlType, uint32_t precision = 10,
                          int16_t scale = 0, int updatable = 0) {
  return Text16(name) + U32(length) + U16(static_cast<uint16_t>(nullable)) + Text16("dbo") + U32(precision) +
         U16(static_cast<uint16_t>(scale)) + Text16("SALES") + U16(static_cast<uint16_t>(sqlType)) +
         U16(static_cast<uint16_t>(updatable));
}
inline std::string Value(uint16_t column, const std::string& bytes) {
  return U16(column) + std::string(1, '\0') + U32(uint32_t(bytes.size())) + bytes;
}

// Columns a INTEGER, b VARCHAR(20), c VARCHAR(20); row r holds r (but row
// 2 holds 300, which no SQL_C_STINYINT takes), "b-r", "c-r". Statement 7.
// A get-data request off the rows fails.
class FakeResultSet {
 public:
  explicit FakeResultSet(int rows) : rows_(rows) {}
  // Scripts and starts server: the greeting, then every request answered.
  void Serve(FakeServer& server) {
    server.Expect(Greeting()).Send(U16(0)).Answer([this](uint16_t code, const std::string& body) {
      std::lock_guard<std::mutex> lock(mutex_);
      sent_[code] += body;
      return Reply(code, body);
    });
    server.Start();
  }
  // From the fetch of row `row` on, the server hangs up.
  void HangUpAt(int row) { hangUp_ = row; }
  // The connect reply offers cursors that write back (and nothing else).
  void OfferEdits(uint16_t code = 1) { edits_ = code; }
  // The bodies of the requests of one code so far, concatenated.
  std::string Sent(uint16_t code) {
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_[code];
  }

 private:
  std::string Reply(uint16_t code, const std::string& body) {
    switch (code) {
      case 5:  // the offers up to editType: only it, when asked
        return edits_ ? ConnectBody() + U16(0) + U16(0) + U16(0) + U16(0) + U16(0) + U32(0) + U32(0) + U16(0) + U16(0) +
                            U16(0) + U16(0) + U16(0) + U16(0) + U16(edits_)
                      : ConnectBody();
      case 51:  // edit row: one row written
        return U16(0) + U32(1) + U16(0);
      case 0:
        return U16(0) + U32(7);  // allocate statement
      case 10:                   // execute directly
        row_ = 0;
        return U16(0) + U16(3) + Column("a", 4, 1, SQL_INTEGER, 4) + Column("b", 20, 1, SQL_VARCHAR, 20) +
               Column("c", 20, 1, SQL_VARCHAR, 20);
      case 13: {  // fetch: the requested columns of the next row
        if (++row_ >= hangUp_) return std::string();
        if (row_ > rows_) return U16(SQL_NO_DATA_FOUND);
        const uint8_t count = uint8_t(body[4]);
        std::string reply = U16(0) + U16(count);
        for (size_t i = 0; i < count; ++i) reply += Cell(uint8_t(body[6 + 2 * i]));
        return reply;
      }
      case 17:  // get data: one column of the current row
        return row_ < 1 || row_ > rows_ ? U16(SQL_ERROR) : U16(0) + Cell(uint8_t(body[4]));
      case 9:  // get error
        return U16(0) + Text16("24000") + U16(1) + Text16("invalid cursor state") + Text16("fake") + U16(1);
      default:
        return U16(0);
    }
  }

  std::string Cell(uint16_t column) const {
    if (column == 1) return Value(1, U32(row_ == 2 ? 300u : uint32_t(row_)));
    return Value(column, (column == 2 ? "b-" : "c-") + std::to_string(row_) + std::string(1, '\0'));
  }
  int rows_, row_ = 0, hangUp_ = 1 << 30;
  uint16_t edits_ = 0;
  std::mutex mutex_;
  std::map<uint16_t, std::string> sent_;
};

#endif
