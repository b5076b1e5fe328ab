// The metrics endpoint's thread: one poll loop over its listening socket
// and its connections, all non-blocking.
#include "server/metrics/MetricsHttp.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "server/metrics/Metrics.h"

namespace velsrv {

namespace {

using Clock = std::chrono::steady_clock;

std::string Reply(const char* status, const std::string& body, const char* extra = "") {
  return std::string("HTTP/1.1 ") + status + "\r\n" + extra +
         "Content-Type: text/plain; version=0.0.4; charset=utf-8\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

size_t HeadEnd(const std::string& in) {
  size_t a = in.find("\r\n\r\n"), b = in.find("\n\n");
  if (a != std::string::npos) a += 4;
  if (b != std::string::npos) b += 2;
  return std::min(a, b);
}

// Reads what the peer sent beyond its request (a little): closing a
// socket with unread input resets the connection, and the peer might
// lose the reply.
void Discard(int fd) {
  char buffer[4096];
  for (int i = 0; i < 16 && recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0; ++i) {
  }
}

struct Connection {
  int fd = -1;
  std::string in, out;
  size_t sent = 0;
  bool answering = false;
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(kMetricsClientSeconds);
};

}  // namespace

bool SplitEndpoint(const std::string& text, std::string* host, std::string* port,
                   std::string* error) {
  size_t colon = text.rfind(':');
  if (colon == std::string::npos) {
    *host = "127.0.0.1";
    *port = text;
  } else {
    *host = text.substr(0, colon);
    *port = text.substr(colon + 1);
    if (host->size() >= 2 && (*host)[0] == '[' && host->back() == ']')
      *host = host->substr(1, host->size() - 2);
    else if (host->find(':') != std::string::npos)
      host->clear();  // an IPv6 address needs its brackets
  }
  char* end = nullptr;
  long n = port->empty() ? -1 : std::strtol(port->c_str(), &end, 10);
  if (host->empty() || n < 0 || n > 65535 || *end != '\0') {
    *error = "needs ADDRESS:PORT, [IPV6]:PORT or PORT, not \"" + text + "\"";
    return false;
  }
  return true;
}

std::string MetricsAnswer(const std::string& head) {
  std::string line = head.substr(0, head.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const size_t a = line.find(' '), b = line.find(' ', a + 1);
  if (a == std::string::npos || b == std::string::npos || a == 0 || b == a + 1 ||
      line.find(' ', b + 1) != std::string::npos || line.compare(b + 1, 7, "HTTP/1.") != 0)
    return Reply("400 Bad Request", "bad request\n");
  const std::string method = line.substr(0, a), target = line.substr(a + 1, b - a - 1);
  if (method != "GET") return Reply("405 Method Not Allowed", "only GET\n", "Allow: GET\r\n");
  if (target.substr(0, target.find('?')) != "/metrics")
    return Reply("404 Not Found", "not found: the metrics are at /metrics\n");
  return Reply("200 OK", MetricsText());
}

bool MetricsEndpoint::Start(const std::string& address, std::string* bound, std::string* error) {
  std::string host, port;
  if (!SplitEndpoint(address, &host, &port, error)) return false;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
  if (rc != 0) return *error = "cannot resolve " + host + ": " + gai_strerror(rc), false;
  std::unique_ptr<addrinfo, void (*)(addrinfo*)> guard(found, freeaddrinfo);
  *error = "cannot listen on " + address;
  for (addrinfo* a = found; a && listenFd_ < 0; a = a->ai_next) {
    int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) continue;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(fd, a->ai_addr, a->ai_addrlen) == 0 && listen(fd, 16) == 0) {
      listenFd_ = fd;
      break;
    }
    *error = "cannot listen on " + address + ": " + std::strerror(errno);
    close(fd);
  }
  if (listenFd_ < 0) return false;
  if (pipe2(stopPipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    *error = std::string("cannot create a pipe: ") + std::strerror(errno);
    close(listenFd_);
    listenFd_ = -1;
    return false;
  }
  sockaddr_storage at{};
  socklen_t len = sizeof at;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&at), &len);
  char h[NI_MAXHOST] = "?", p[NI_MAXSERV] = "?";
  getnameinfo(reinterpret_cast<sockaddr*>(&at), len, h, sizeof h, p, sizeof p,
              NI_NUMERICHOST | NI_NUMERICSERV);
  *bound = (at.ss_family == AF_INET6 ? "[" + std::string(h) + "]" : std::string(h)) + ":" + p;
  thread_ = std::thread(&MetricsEndpoint::Run, this);
  return true;
}

void MetricsEndpoint::Stop() {
  if (!thread_.joinable()) return;
  char c = 0;
  ssize_t ignored = write(stopPipe_[1], &c, 1);
  (void)ignored;
  thread_.join();
  close(listenFd_);
  close(stopPipe_[0]);
  close(stopPipe_[1]);
  listenFd_ = stopPipe_[0] = stopPipe_[1] = -1;
}

void MetricsEndpoint::Run() {
  std::vector<Connection> conns;
  std::vector<pollfd> fds;
  for (;;) {
    fds.assign({{stopPipe_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}});
    auto wake = Clock::now() + std::chrono::seconds(1);
    for (const Connection& c : conns) {
      fds.push_back({c.fd, static_cast<short>(c.answering ? POLLOUT : POLLIN), 0});
      wake = std::min(wake, c.deadline);
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now()).count();
    int n = poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(ms, 0) + 1));
    if (n < 0 && errno != EINTR) break;
    if (fds[0].revents) break;
    for (size_t i = 0; i < conns.size(); ++i) {
      Connection& c = conns[i];
      const short events = fds[i + 2].revents;
      if (!c.answering && (events & (POLLIN | POLLHUP | POLLERR))) {
        char buffer[4096];
        ssize_t got = recv(c.fd, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
          c.deadline = Clock::time_point::min();  // gone: closed below
          continue;
        }
        if (got > 0) c.in.append(buffer, static_cast<size_t>(got));
        const size_t end = HeadEnd(c.in);
        if (end <= kMetricsRequestBytes) {
          c.out = MetricsAnswer(c.in.substr(0, end));
          c.answering = true;
        } else if (c.in.size() >= kMetricsRequestBytes) {
          c.out = Reply("431 Request Header Fields Too Large", "request too large\n");
          c.answering = true;
        }
      } else if (c.answering && (events & (POLLOUT | POLLHUP | POLLERR))) {
        ssize_t put = send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
        if (put > 0) c.sent += static_cast<size_t>(put);
        if (c.sent == c.out.size() || (put < 0 && errno != EAGAIN && errno != EINTR))
          c.deadline = Clock::time_point::min();
      }
    }
    // Finished, gone and slow connections close; answered ones first shut
    // down their side, so that the reply is not cut by a reset.
    const auto now = Clock::now();
    conns.erase(std::remove_if(conns.begin(), conns.end(),
                               [&](const Connection& c) {
                                 if (c.deadline > now) return false;
                                 if (c.answering) shutdown(c.fd, SHUT_WR);
                                 Discard(c.fd);
                                 close(c.fd);
                                 return true;
                               }),
                conns.end());
    if (!(fds[1].revents & POLLIN)) continue;
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    if (conns.size() >= static_cast<size_t>(kMetricsConnections)) {
      // Refused at once; the answer fits any socket buffer.
      const std::string busy = Reply("503 Service Unavailable", "too many connections\n");
      ssize_t ignored = send(fd, busy.data(), busy.size(), MSG_NOSIGNAL);
      (void)ignored;
      shutdown(fd, SHUT_WR);
      Discard(fd);
      close(fd);
      continue;
    }
    Connection c;
    c.fd = fd;
    conns.push_back(std::move(c));
  }
  for (const Connection& c : conns) close(c.fd);
}

}  // namespace velsrv
