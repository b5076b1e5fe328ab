// A scripted server on loopback for exchange tests: binds 127.0.0.1 on a
// port of the system's choice, accepts one connection on its own thread
// and runs a script of steps (expect exact request bytes, send reply
// bytes, close). Every wait is bounded, so a broken client cannot hang a
// test: on a mismatch or time-out the server records the error and closes,
// and it closes the connection when the script is over.
#ifndef VELORA_TESTS_SUPPORT_FAKE_SERVER_H
#define VELORA_TESTS_SUPPORT_FAKE_SERVER_H

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/bytes.h"

class FakeServer {
 public:
  FakeServer();
  // Joins the script thread (closing first if it still runs).
  ~FakeServer();
  FakeServer(const FakeServer&) = delete;
  FakeServer& operator=(const FakeServer&) = delete;

  // Script steps, run in order after the connection is accepted: Expect
  // reads exactly these bytes, Send writes them, Close closes.
  FakeServer& Expect(const std::string& bytes) { return Add({Step::kExpect, bytes}); }
  FakeServer& Send(const std::string& bytes) { return Add({Step::kSend, bytes}); }
  FakeServer& Close() { return Add({Step::kClose, ""}); }
  // Waits (bounded) for the client to close; what arrives is recorded.
  FakeServer& ExpectEnd() { return Add({Step::kExpectEnd, ""}); }
  // Accepts the next connection and runs the steps after it there, until
  // Resume closes it (reset: with a reset) and goes back to the connection
  // before.
  FakeServer& Accept() { return Add({Step::kAccept, ""}); }
  FakeServer& Resume(bool reset = false) { return Add({reset ? Step::kReset : Step::kResume, ""}); }
  using Answerer = std::function<std::string(uint16_t code, const std::string& body)>;
  // Until the client closes, reads each request frame (length, code, body)
  // and sends the reply frame holding answer's body; an empty answer
  // closes the connection instead.
  FakeServer& Answer(Answerer answer) { return Add({Step::kAnswer, "", std::move(answer)}); }

  // Starts the script thread; call after the steps are given.
  void Start();
  // Waits for the script to end; true when every step succeeded.
  bool Finish();

  std::string Port() const { return std::to_string(port_); }
  // Bytes read by Expect/ExpectEnd steps, one entry per step.
  const std::vector<std::string>& Received() const { return received_; }
  const std::string& Error() const { return error_; }

 private:
  // The limit of each wait: only a broken client reaches it, so it is
  // generous enough that a loaded machine (a sanitizer build, parallel
  // tests) never does.
  static const int kWaitMillis = 60000;
  struct Step {
    enum Kind { kExpect, kSend, kClose, kExpectEnd, kAnswer, kAccept, kResume, kReset } kind;
    std::string bytes;
    Answerer answer = nullptr;
  };
  FakeServer& Add(Step step) { return steps_.push_back(std::move(step)), *this; }
  void Run();
  void Fail(const std::string& text);

  int listener_ = -1;
  int peer_ = -1;
  std::vector<int> held_;  // connections before the accepted one
  uint16_t port_ = 0;
  std::vector<Step> steps_;
  std::vector<std::string> received_;
  std::string error_;
  std::thread thread_;
};

std::string Hex(const std::string& bytes);  // "0a 1b ..." for messages

#endif
