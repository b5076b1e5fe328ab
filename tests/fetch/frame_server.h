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

struct Frame {
  uint16_t code;
  std::string body;
};

class FrameServer {
 public:
  // Builds the reply body (return code first) for a request frame.
  using Handler = std::function<std::string(const Frame&)>;

  explicit FrameServer(Handler handler);
  // Closes the listener and the connection and joins the thread.
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
  int peer_ = -1;
  int port_ = 0;
  std::mutex mutex_;
  std::vector<Frame> requests_;
  std::thread thread_;
};

// Little-endian pieces of reply bodies.
std::string Le16(int v);
std::string Le32(uint32_t v);
std::string Str(const std::string& text);  // StringElement: 16-bit length, bytes
// One fetchData element.
std::string Value(uint16_t column, const std::string& bytes, bool isNull = false);
// One column of a resultSetDescription.
std::string ColumnDesc(const std::string& name, int16_t sqlType, uint32_t length);

#endif
