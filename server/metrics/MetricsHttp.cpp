// The metrics endpoint's thread: one poll loop over its listening socket
// and its connections, all non-blocking (TLS included).
#include "server/metrics/MetricsHttp.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "server/TlsServer.h"
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

// Where a connection stands: handshaking (TLS), reading its request,
// answering it; gone once the peer left or it failed.
struct Connection {
  int fd = -1;
  SSL* ssl = nullptr;
  std::string peer;  // its address without the port
  bool handshaking = false, started = false, heard = false, answering = false, gone = false;
  short wants = POLLIN;  // what the next step waits for
  std::string in, out;
  size_t sent = 0;
  Clock::time_point opened = Clock::now();
  Clock::time_point deadline = opened + std::chrono::seconds(kMetricsClientSeconds);
};

// What an OpenSSL call on a non-blocking socket waits for; 0 when the
// connection failed.
short Wants(SSL* ssl, int rc) {
  switch (SSL_get_error(ssl, rc)) {
    case SSL_ERROR_WANT_READ:
      return POLLIN;
    case SSL_ERROR_WANT_WRITE:
      return POLLOUT;
    default:
      ERR_clear_error();
      return 0;
  }
}

// Answered connections first shut down their side, so that the reply is
// not cut by a reset.
void Close(Connection& c) {
  const bool answered = c.answering && c.sent == c.out.size();
  if (c.ssl) {
    if (answered) SSL_shutdown(c.ssl);
    SSL_free(c.ssl);
    ERR_clear_error();
  }
  if (c.answering) shutdown(c.fd, SHUT_WR);
  Discard(c.fd);
  close(c.fd);
}

// Reads what has come, up to the end of the request's head or its bound;
// false when the peer is gone. TLS may hold decrypted bytes that poll does
// not announce: the reading goes on until the socket has no more.
bool Receive(Connection& c) {
  char buffer[4096];
  for (;;) {
    size_t got = 0;
    if (c.ssl) {
      ERR_clear_error();
      const int rc = SSL_read_ex(c.ssl, buffer, sizeof buffer, &got);
      if (rc != 1) return (c.wants = Wants(c.ssl, rc)) != 0;
    } else {
      const ssize_t n = recv(c.fd, buffer, sizeof buffer, 0);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
      if (n <= 0) return false;
      got = static_cast<size_t>(n);
    }
    c.in.append(buffer, got);
    c.heard = true;
    if (c.in.size() >= kMetricsRequestBytes || HeadEnd(c.in) != std::string::npos) return true;
  }
}

// Sends what the socket takes; false when the peer is gone.
bool SendSome(Connection& c) {
  size_t put = 0;
  if (c.ssl) {
    ERR_clear_error();
    const int rc = SSL_write_ex(c.ssl, c.out.data() + c.sent, c.out.size() - c.sent, &put);
    if (rc != 1) return (c.wants = Wants(c.ssl, rc)) != 0;
    c.wants = POLLOUT;
  } else {
    const ssize_t n = send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    if (n <= 0) return false;
    put = static_cast<size_t>(n);
  }
  c.sent += put;
  return true;
}

// One step of a connection that poll found ready; answer(head) makes the
// reply to a complete request.
template <typename Answer>
void Step(Connection& c, const Answer& answer) {
  if (c.handshaking && !c.started) {
    // The first byte tells a handshake from plain HTTP, which is told in
    // plain HTTP that this endpoint speaks HTTPS. Nothing is read before
    // it has come.
    unsigned char first = 0;
    const ssize_t n = recv(c.fd, &first, 1, MSG_PEEK);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
      c.gone = true;
      return;
    }
    c.started = c.heard = true;
    if (first != kTlsHandshakeByte) {
      SSL_free(c.ssl);
      c.ssl = nullptr;
      c.handshaking = false;
      c.answering = true;
      c.wants = POLLOUT;
      c.out = Reply("400 Bad Request", "this endpoint speaks HTTPS\n");
      return;
    }
  }
  if (c.handshaking) {
    ERR_clear_error();
    const int rc = SSL_accept(c.ssl);
    if (rc != 1) {
      c.gone = (c.wants = Wants(c.ssl, rc)) == 0;
      return;
    }
    c.handshaking = false;
    c.wants = POLLIN;
  }
  if (!c.answering) {
    if (!Receive(c)) {
      c.gone = true;
      return;
    }
    const size_t end = HeadEnd(c.in);
    if (end <= kMetricsRequestBytes) {
      c.out = answer(c.in.substr(0, end));
    } else if (c.in.size() >= kMetricsRequestBytes) {
      c.out = Reply("431 Request Header Fields Too Large", "request too large\n");
    } else {
      return;
    }
    c.answering = true;
    c.wants = POLLOUT;
    return;
  }
  if (!SendSome(c)) c.gone = true;
  if (c.sent == c.out.size()) c.gone = true;  // done: closed below
}

// The connection whose place a new one from peer takes: the oldest of
// those still waiting for their request (from peer only, when peer is not
// empty), one that has sent nothing before one that has; npos if none.
size_t Displaced(const std::vector<Connection>& conns, const std::string& peer) {
  size_t found = std::string::npos;
  for (size_t i = 0; i < conns.size(); ++i) {
    const Connection& c = conns[i];
    if (c.answering || c.gone || (!peer.empty() && c.peer != peer)) continue;
    if (found == std::string::npos || c.heard < conns[found].heard ||
        (c.heard == conns[found].heard && c.opened < conns[found].opened))
      found = i;
  }
  return found;
}

std::string HeaderValue(const std::string& head, const char* name) {
  for (size_t at = head.find('\n'); at != std::string::npos; at = head.find('\n', at + 1)) {
    std::string line = head.substr(at + 1, head.find('\n', at + 1) - at - 1);
    const size_t colon = line.find(':');
    if (colon == std::string::npos || strcasecmp(line.substr(0, colon).c_str(), name) != 0)
      continue;
    const size_t a = line.find_first_not_of(" \t", colon + 1);
    const size_t b = line.find_last_not_of(" \t\r");
    return a == std::string::npos || b < a ? "" : line.substr(a, b - a + 1);
  }
  return "";
}

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

std::string MetricsAnswer(const std::string& head, const MetricsCredentials& asked) {
  std::string line = head.substr(0, head.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const size_t a = line.find(' '), b = line.find(' ', a + 1);
  if (a == std::string::npos || b == std::string::npos || a == 0 || b == a + 1 ||
      line.find(' ', b + 1) != std::string::npos || line.compare(b + 1, 7, "HTTP/1.") != 0)
    return Reply("400 Bad Request", "bad request\n");
  // Before anything else: who has not the secret learns nothing more.
  if (!asked.Accepts(HeaderValue(head, "Authorization")))
    return Reply("401 Unauthorized", "credentials needed\n",
                 ("WWW-Authenticate: " + asked.Challenge() + "\r\n").c_str());
  const std::string method = line.substr(0, a), target = line.substr(a + 1, b - a - 1);
  if (method != "GET") return Reply("405 Method Not Allowed", "only GET\n", "Allow: GET\r\n");
  if (target.substr(0, target.find('?')) != "/metrics")
    return Reply("404 Not Found", "not found: the metrics are at /metrics\n");
  return Reply("200 OK", MetricsText());
}

void MetricsEndpoint::Ask(const MetricsCredentials& credentials) {
  std::lock_guard<std::mutex> lock(mutex_);
  asked_ = credentials;
}

bool MetricsEndpoint::Start(const std::string& address, const TlsContext* tls, std::string* bound,
                            std::string* error) {
  tls_ = tls;
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
    // A connection is accepted once its first bytes have come (or a second
    // or so later): idle ones wait in the kernel, not in a slot, and a
    // scraper's connection comes with its request or handshake.
    setsockopt(fd, IPPROTO_TCP, TCP_DEFER_ACCEPT, &one, sizeof one);
    if (bind(fd, a->ai_addr, a->ai_addrlen) == 0 && listen(fd, 64) == 0) {
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
  auto answer = [this](const std::string& head) {
    MetricsCredentials asked;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      asked = asked_;
    }
    return MetricsAnswer(head, asked);
  };
  // A new connection takes its slot, displacing a waiting one if need be.
  auto admit = [&](int fd, const sockaddr_storage& from, socklen_t fromLen) {
    char host[NI_MAXHOST] = "";
    getnameinfo(reinterpret_cast<const sockaddr*>(&from), fromLen, host, sizeof host, nullptr, 0,
                NI_NUMERICHOST);
    Connection c;
    c.fd = fd;
    c.peer = host;
    // A request that came since the last poll is read first: its
    // connection is no more one that waits.
    int waiting = 0;
    for (Connection& o : conns) {
      if (!o.answering && !o.gone) Step(o, answer);
      waiting += !o.answering && !o.gone && o.peer == c.peer;
    }
    const size_t displaced = waiting >= kMetricsPerAddress ? Displaced(conns, c.peer)
                             : conns.size() >= static_cast<size_t>(kMetricsConnections)
                                 ? Displaced(conns, "")
                                 : std::string::npos;
    if (displaced != std::string::npos) {
      Close(conns[displaced]);
      conns.erase(conns.begin() + static_cast<std::ptrdiff_t>(displaced));
    }
    if (conns.size() >= static_cast<size_t>(kMetricsConnections)) {
      // Every slot is answering: refused at once (over HTTP; the answer
      // fits any socket buffer).
      const std::string busy = Reply("503 Service Unavailable", "too many connections\n");
      ssize_t ignored = tls_ ? 0 : send(fd, busy.data(), busy.size(), MSG_NOSIGNAL);
      (void)ignored;
      shutdown(fd, SHUT_WR);
      Discard(fd);
      close(fd);
      return;
    }
    if (tls_) {
      c.ssl = tls_->NewConnection();
      if (!c.ssl || SSL_set_fd(c.ssl, fd) != 1) {
        c.gone = true;  // closed at the next turn
      } else {
        SSL_set_mode(c.ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        c.handshaking = true;
      }
    }
    if (!c.gone) Step(c, answer);
    conns.push_back(std::move(c));
  };
  for (;;) {
    fds.assign({{stopPipe_[0], POLLIN, 0}, {listenFd_, POLLIN, 0}});
    auto wake = Clock::now() + std::chrono::seconds(1);
    for (const Connection& c : conns) {
      fds.push_back({c.fd, c.wants, 0});
      wake = std::min(wake, c.deadline);
    }
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(wake - Clock::now()).count();
    int n = poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(ms, 0) + 1));
    if (n < 0 && errno != EINTR) break;
    if (fds[0].revents) break;
    for (size_t i = 0; i < conns.size(); ++i) {
      const short events = fds[i + 2].revents;
      if (events & POLLIN) conns[i].heard = true;
      if (events & (conns[i].wants | POLLHUP | POLLERR)) Step(conns[i], answer);
    }
    // Finished, gone and slow connections close.
    const auto now = Clock::now();
    conns.erase(std::remove_if(conns.begin(), conns.end(),
                               [&](Connection& c) {
                                 if (!c.gone && c.deadline > now) return false;
                                 Close(c);
                                 return true;
                               }),
                conns.end());
    // A few at a time, each read at once: a scraper's request, already
    // there, makes its connection one that is answered, which no newer
    // connection displaces.
    for (int accepted = 0; accepted < 16 && (fds[1].revents & POLLIN); ++accepted) {
      sockaddr_storage from{};
      socklen_t fromLen = sizeof from;
      int fd = accept4(listenFd_, reinterpret_cast<sockaddr*>(&from), &fromLen,
                       SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd < 0) break;
      admit(fd, from, fromLen);
    }
  }
  for (Connection& c : conns) {
    if (c.ssl) SSL_free(c.ssl);
    close(c.fd);
  }
}

}  // namespace velsrv
