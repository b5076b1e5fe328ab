// A protocol-aware scripted server for fetch tests: it answers the login
// greeting and every request frame on loopback with a reply made by a
// handler, and records each request (message code and body) so that tests
// can see exactly which columns travelled.
#ifndef VELORA_TESTS_FETCH_FRAME_SERVER_H
#define VELORA_TESTS_FETCH_FRAME_SERVER_H

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/bytes.h"

struct Frame {
  uint16_t code;
  std::string body;
};

class FrameServer {
 public:
  // Builds the reply body (return code first) for a request frame.
  using Handler = std::function<std::string(const Frame&)>;

  explicit FrameServer(Handler handler);
  // Ends the server's waits, joins the thread, closes the sockets.
  ~FrameServer();

  int Port() const { return port_; }
  // The requests received so far (the login's connect request included).
  std::vector<Frame> Requests();
  // Requests of one message code, in order.
  std::vector<Frame> Requests(uint16_t code);

 private:
  void Run();

  Handler handler_;
  int listener_ = -1;
  int port_ = 0;
  // Written by the destructor: the server's waits end with the test, never
  // on a clock, so a client slowed down by a loaded machine still finds
  // the server there.
  int wake_[2] = {-1, -1};
  std::mutex mutex_;
  std::vector<Frame> requests_;
  std::thread thread_;
};

// Little-endian pieces of reply bodies.
// One fetchData element.
std::string Value(uint16_t column, const std::string& bytes, bool isNull = false);
// One column of a resultSetDescription.
std::string ColumnDesc(const std::string& name, int16_t sqlType, uint32_t length);


#include <sql.h>
#include <sqlext.h>

// Three columns: a INTEGER, b VARCHAR(20), c VARCHAR(20); row r holds r,
// "b-r", "c-r". A request about a row that does not exist fails with 24000.
class FakeResultSet {
 public:
  explicit FakeResultSet(int rows) : rows_(rows) {}

  std::string Reply(const Frame& f) {
    switch (f.code) {
      case 5:  // connect: version and the thirteen type sizes
        return U16(0) + Text16("fake server") + std::string(26, '\0');
      case 0:  // allocate statement
        return U16(0) + U32(7);
      case 10:  // execute directly: the result set's description
        row_ = 0;
        return U16(0) + U16(3) + ColumnDesc("a", SQL_INTEGER, 4) +
               ColumnDesc("b", SQL_VARCHAR, 20) + ColumnDesc("c", SQL_VARCHAR, 20);
      case 13: {  // fetch: the requested columns of the next row
        if (++row_ > rows_) return U16(SQL_NO_DATA_FOUND);
        std::vector<uint16_t> columns = Columns(f);
        std::string reply = U16(0) + U16(static_cast<int>(columns.size()));
        for (uint16_t c : columns) reply += Cell(c);
        return reply;
      }
      case 17: {  // get data: one column of the current row
        uint16_t column = static_cast<uint16_t>(static_cast<uint8_t>(f.body[4]) |
                                                static_cast<uint8_t>(f.body[5]) << 8);
        if (row_ < 1 || row_ > rows_) return U16(SQL_ERROR);
        return U16(0) + Cell(column);
      }
      case 9:  // get error
        return U16(0) + Text16(row_ > rows_ ? "01000" : "24000") + U16(1) +
               Text16(row_ > rows_ ? "no more rows" : "invalid cursor state") + Text16("fake") +
               U16(1);
      default:
        return U16(0);
    }
  }

  // The column numbers of a fetch request.
  static std::vector<uint16_t> Columns(const Frame& f) {
    std::vector<uint16_t> out;
    size_t count = static_cast<uint8_t>(f.body[4]) | static_cast<uint8_t>(f.body[5]) << 8;
    for (size_t i = 0; i < count; ++i) {
      out.push_back(static_cast<uint16_t>(static_cast<uint8_t>(f.body[6 + 2 * i]) |
                                          static_cast<uint8_t>(f.body[7 + 2 * i]) << 8));
    }
    return out;
  }

 private:
  std::string Cell(uint16_t column) const {
    if (column == 1) return Value(1, U32(static_cast<uint32_t>(row_)));
    std::string text = std::string(column == 2 ? "b-" : "c-") + std::to_string(row_);
    return Value(column, text + std::string(1, '\0'));
  }

  int rows_;
  int row_ = 0;
};

#endif
