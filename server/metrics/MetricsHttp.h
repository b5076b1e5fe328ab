// The metrics endpoint: GET /metrics over plain HTTP, answered by a thread
// of its own that holds no lock a session takes (the counters are read as
// they stand). It serves a few connections at once, each for a few
// seconds and with a small request, so that a stuck or hostile scraper
// costs the server little.
#ifndef VELORA_SERVER_METRICS_METRICSHTTP_H
#define VELORA_SERVER_METRICS_METRICSHTTP_H

#include <cstddef>
#include <string>
#include <thread>

namespace velsrv {

constexpr int kMetricsConnections = 8;         // more get 503 at once
constexpr size_t kMetricsRequestBytes = 8192;  // request line and headers; more: 431
constexpr int kMetricsClientSeconds = 5;       // a connection's whole life

// Splits "HOST:PORT", "[IPV6]:PORT" or "PORT" (loopback, 127.0.0.1) into
// *host and *port. False, with *error, for anything else or a port out of
// range.
bool SplitEndpoint(const std::string& text, std::string* host, std::string* port,
                   std::string* error);

// The reply (status line, headers, body) to a complete request: its head
// up to the blank line.
std::string MetricsAnswer(const std::string& head);

class MetricsEndpoint {
 public:
  MetricsEndpoint() = default;
  MetricsEndpoint(const MetricsEndpoint&) = delete;
  MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;
  ~MetricsEndpoint() { Stop(); }

  // Listens on address (SplitEndpoint's forms) and starts the thread.
  // True with the address listened on in *bound ("127.0.0.1:9480");
  // false with *error.
  bool Start(const std::string& address, std::string* bound, std::string* error);
  // Ends the thread and closes every connection; nothing when not started.
  void Stop();

 private:
  void Run();

  int listenFd_ = -1;
  int stopPipe_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace velsrv

#endif
