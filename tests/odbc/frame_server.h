// A protocol-aware scripted server for the fetch tests: it answers the
// login greeting and every request frame on loopback with the reply of a
// handler, and records each request so that tests see exactly what went.
#ifndef VELORA_TESTS_FETCH_FRAME_SERVER_H
#define VELORA_TESTS_FETCH_FRAME_SERVER_H

#include <sql.h>
#include <sqlext.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/bytes.h"

struct Frame { uint16_t code; std::string body; };

class FrameServer {
 public:
  // Builds the reply body (return code first) for a request frame.
  explicit FrameServer(std::function<std::string(const Frame&)> handler);
  ~FrameServer();  // ends the server's waits (never a clock) and joins it
  int Port() const { return port_; }
  // The requests of one message code so far, in order.
  std::vector<Frame> Requests(uint16_t code);

 private:
  void Run();
  std::function<std::string(const Frame&)> handler_;
  int listener_ = -1, port_ = 0, wake_[2] = {-1, -1};
  std::mutex mutex_;
  std::vector<Frame> requests_;
  std::thread thread_;
};

// One fetchData element; one column of a resultSetDescription.
std::string Value(uint16_t column, const std::string& bytes, bool isNull = false);
std::string ColumnDesc(const std::string& name, int16_t sqlType, uint32_t length);

// Columns a INTEGER, b VARCHAR(20), c VARCHAR(20); row r holds r, "b-r",
// "c-r". Statement 7. A get-data request off the rows fails.
class FakeResultSet {
 public:
  explicit FakeResultSet(int rows) : rows_(rows) {}
  std::string Reply(const Frame& f) {
    switch (f.code) {
      case 5: return U16(0) + Text16("fake server") + std::string(26, '\0');  // connect
      case 0: return U16(0) + U32(7);                                          // allocate statement
      case 10:                                                                 // execute directly
        row_ = 0;
        return U16(0) + U16(3) + ColumnDesc("a", SQL_INTEGER, 4) + ColumnDesc("b", SQL_VARCHAR, 20) +
               ColumnDesc("c", SQL_VARCHAR, 20);
      case 13: {  // fetch: the requested columns of the next row
        if (++row_ > rows_) return U16(SQL_NO_DATA_FOUND);
        const uint8_t count = uint8_t(f.body[4]);
        std::string reply = U16(0) + U16(count);
        for (size_t i = 0; i < count; ++i) reply += Cell(uint8_t(f.body[6 + 2 * i]));
        return reply;
      }
      case 17:  // get data: one column of the current row
        return row_ < 1 || row_ > rows_ ? U16(SQL_ERROR) : U16(0) + Cell(uint8_t(f.body[4]));
      case 9:  // get error
        return U16(0) + Text16("24000") + U16(1) + Text16("invalid cursor state") + Text16("fake") + U16(1);
      default: return U16(0);
    }
  }

 private:
  std::string Cell(uint16_t column) const {
    if (column == 1) return Value(1, U32(uint32_t(row_)));
    return Value(column, (column == 2 ? "b-" : "c-") + std::to_string(row_) + std::string(1, '\0'));
  }
  int rows_, row_ = 0;
};

#endif
