// The metrics endpoint: GET /metrics over HTTP or HTTPS, answered by a
// thread of its own that holds no lock a session takes (the counters are
// read as they stand). It serves a few connections at once, each for a few
// seconds and with a small request, so that a stuck or hostile scraper
// costs the server little; and it cannot be held shut by idle
// connections: a new connection takes the place of one that has not sent
// its request yet, from its own address first.
#ifndef VELORA_SERVER_METRICS_METRICSHTTP_H
#define VELORA_SERVER_METRICS_METRICSHTTP_H

#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

#include "server/metrics/MetricsAuth.h"

namespace velsrv {

// At once; when all are taken, a new connection takes the place of the
// one that has waited longest without a complete request (one that has
// sent nothing first). Only when every one is being answered does it get
// 503: a scraper that sends its request at once always finds a slot.
constexpr int kMetricsConnections = 8;
// At once from one address; its next connection takes the place of its
// own oldest waiting one, so one address cannot displace the others.
constexpr int kMetricsPerAddress = 4;
constexpr size_t kMetricsRequestBytes = 8192;  // request line and headers; more: 431
constexpr int kMetricsClientSeconds = 5;       // a connection's whole life

// Splits "HOST:PORT", "[IPV6]:PORT" or "PORT" (loopback, 127.0.0.1) into
// *host and *port. False, with *error, for anything else or a port out of
// range.
bool SplitEndpoint(const std::string& text, std::string* host, std::string* port,
                   std::string* error);

// The reply (status line, headers, body) to a complete request: its head
// up to the blank line. A request without the credentials asked for gets
// 401 with their challenge.
std::string MetricsAnswer(const std::string& head, const MetricsCredentials& asked);

class TlsContext;

class MetricsEndpoint {
 public:
  MetricsEndpoint() = default;
  MetricsEndpoint(const MetricsEndpoint&) = delete;
  MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;
  ~MetricsEndpoint() { Stop(); }

  // Listens on address (SplitEndpoint's forms) and starts the thread,
  // serving HTTPS with tls's certificate (it outlives the endpoint; a
  // reload applies to the connections that follow), or HTTP when tls is
  // null. True with the address listened on in *bound ("127.0.0.1:9480");
  // false with *error.
  bool Start(const std::string& address, const TlsContext* tls, std::string* bound,
             std::string* error);
  // The credentials asked of the requests that follow (none at first).
  void Ask(const MetricsCredentials& credentials);
  // Ends the thread and closes every connection; nothing when not started.
  void Stop();

 private:
  void Run();

  const TlsContext* tls_ = nullptr;
  std::mutex mutex_;  // guards asked_
  MetricsCredentials asked_;
  int listenFd_ = -1;
  int stopPipe_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace velsrv

#endif
