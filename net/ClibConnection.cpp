// The TCP connection to the server on POSIX sockets. Failures are reported
// with the Windows Sockets error numbers and texts (net/SocketErrors.h), in
// the trace (category N) and in message boxes.
#include "net/ClibConnection.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "base/Trace.h"
#include "net/SocketErrors.h"
#include "base/Settings.h"

namespace {

// The keep-alive switch is traced at the first construction after each
// reading of the settings (whichever thread constructs first).
std::atomic<unsigned> g_keepAliveTraced{0};

const uint32_t kDumpLimit = 16384;

#ifdef MSG_NOSIGNAL
const int kSendFlags = MSG_NOSIGNAL;  // a dropped peer must not raise SIGPIPE
#else
const int kSendFlags = 0;  // SO_NOSIGPIPE is set on the socket instead
#endif

// Records the socket error for the current errno and returns its number.
// With a time limit set, a call that ran out of time (EAGAIN from a receive
// or send, EINPROGRESS from a connect) is a timed-out connection.
int TakeErrno(bool timed = false) {
  int number = timed && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINPROGRESS)
                   ? VEL_WSAETIMEDOUT
                   : SocketErrorFromErrno(errno);
  SetLastSocketError(number);
  return number;
}

// The text of number, as LoadErrorText gives it; the texts are constant,
// so no buffer is shared between threads.
const char* ErrorText(int number) {
  if (number == 0) number = VEL_WSA_NO_ERROR;
  const char* text = number < VEL_WSA_NO_ERROR ? nullptr : SocketErrorText(number);
  return text != nullptr ? text : "";
}

// Writes the failing call's line and the " errno %d: %s" line (N, 0).
void TraceFailure(const char* line, int number) {
  Trace('N', 0, "%s", line);
  Trace('N', 0, " errno %d: %s", number, ErrorText(number));
}

bool IsDroppedConnection(int number) {
  return number == VEL_WSAENETRESET || number == VEL_WSAECONNABORTED || number == VEL_WSAECONNRESET;
}

void CloseTraced(int fd) {
  if (close(fd) != 0) TraceFailure("closesocket() failed.", TakeErrno());
}

// Waits for a connect that a signal interrupted, at most timeoutSeconds
// when that is not 0; returns 0 or an errno.
int FinishInterruptedConnect(int fd, int timeoutSeconds) {
  pollfd p{fd, POLLOUT, 0};
  int rc;
  do {
    rc = poll(&p, 1, timeoutSeconds > 0 ? timeoutSeconds * 1000 : -1);
  } while (rc < 0 && errno == EINTR);
  if (rc < 0) return errno;
  if (rc == 0) return EINPROGRESS;
  int error = 0;
  socklen_t size = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return errno;
  return error;
}

// What the Windows socket library reports about itself, for the trace.
void TraceSocketLibrary() {
  if (!TraceEnabled('N', 2)) return;
  rlimit limit{};
  unsigned maxSockets = 0xFFFF;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 0xFFFF) {
    maxSockets = static_cast<unsigned>(limit.rlim_cur);
  }
  Trace('N', 2, " Version=0x%04x, HighVersion=0x%04x", 0x0101u, 0x0101u);
  Trace('N', 2, " Description=\"%s\"", "POSIX sockets");
  Trace('N', 2, " SystemStatus=\"%s\"", "Running");
  Trace('N', 2, " MaxSockets=%u", maxSockets);
}

// Parses the leading decimal digits of service as a port. Returns 0 for a
// number outside 1..65535: such a number is refused rather than wrapped
// round to an unrelated port.
uint16_t ParsePort(const char* service) {
  unsigned long value = 0;
  for (const char* p = service; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + static_cast<unsigned long>(*p - '0');
    if (value > 65535) return 0;
  }
  return static_cast<uint16_t>(value);
}

}  // namespace

ClibConnection::ClibConnection() {
  Trace('N', 2, "ClibConnection::ClibConnection");
  const DriverSettings& settings = Settings();
  if (g_keepAliveTraced.exchange(settings.reading) != settings.reading) {
    Trace('N', 2, " UseKeepAlive = %d", settings.useKeepAlive);
  }
}

ClibConnection::~ClibConnection() {
  Trace('N', 2, "ClibConnection::~ClibConnection");
  EndTls(tls_, false);
  tls_ = nullptr;
  if (socket_ >= 0) {
    // Reset at once instead of lingering: the server learns of the end
    // from the reset.
    linger off{1, 0};
    setsockopt(socket_, SOL_SOCKET, SO_LINGER, &off, sizeof off);
    close(socket_);
    socket_ = -1;
  }
  state_ = SocketState::kClosed;  // nothing to stop: POSIX sockets need no library start-up
}

bool ClibConnection::InitiateConnection(const char* server, const char* service) {
  if (server == nullptr) server = "";
  if (service == nullptr) service = "";
  Trace('N', 2, "ClibConnection::InitiateConnection: server=\"%s\", service=\"%s\"", server,
        service);
  // The socket library needs no start-up here; a socket left from an
  // earlier connection is closed first so that it cannot leak.
  EndTls(tls_, false);
  tls_ = nullptr;
  if (socket_ >= 0) {
    CloseTraced(socket_);
    socket_ = -1;
  }
  state_ = SocketState::kOpen;
  TraceSocketLibrary();

  int flags = SOCK_STREAM;
#ifdef SOCK_CLOEXEC
  flags |= SOCK_CLOEXEC;
#endif
  socket_ = socket(AF_INET, flags, IPPROTO_TCP);
  if (socket_ < 0) {
    int number = TakeErrno();
    TraceFailure("socket() failed.", number);
    Report("Unable to create communication socket.\n errno %d: %s", number, ErrorText(number));
    socket_ = -1;
    return false;
  }
#ifdef SO_NOSIGPIPE
  int one = 1;
  setsockopt(socket_, SOL_SOCKET, SO_NOSIGPIPE, &one, sizeof one);
#endif
  ApplyTimeout();

  sockaddr_in address{};
  address.sin_family = AF_INET;
  bool resolved = false;
  if (service[0] >= '0' && service[0] <= '9') {
    uint16_t port = ParsePort(service);
    if (port == 0) {
      SetLastSocketError(VEL_WSAEINVAL);
      Trace('N', 0, "%s: Invalid port number.", service);
      Report("%s: Invalid port number.", service);
    } else {
      address.sin_port = htons(port);
      resolved = true;
    }
  } else {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    int rc = getaddrinfo(nullptr, service, &hints, &found);
    if (rc == 0 && found != nullptr) {
      address.sin_port = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_port;
      resolved = true;
    } else {
      SetLastSocketError(SocketErrorFromResolver(rc != 0 ? rc : EAI_SERVICE, errno));
      Trace('N', 0, "getservbyname() failed.");
      Report("Unable to resolve service name:\nService %s/tcp not found in your SERVICES file.",
             service);
    }
    if (found != nullptr) freeaddrinfo(found);
  }

  if (resolved) {
    resolved = false;
    if (server[0] >= '0' && server[0] <= '9') {
      in_addr_t host = inet_addr(server);
      if (host == INADDR_NONE) {
        SetLastSocketError(VEL_WSAEINVAL);
        Trace('N', 0, "%s: Invalid host address.", server);
        Report("%s: Invalid host address.", server);
      } else {
        address.sin_addr.s_addr = host;
        resolved = true;
      }
    } else {
      addrinfo hints{};
      hints.ai_family = AF_INET;
      hints.ai_socktype = SOCK_STREAM;
      addrinfo* found = nullptr;
      int rc = getaddrinfo(server, nullptr, &hints, &found);
      if (rc == 0 && found != nullptr) {
        address.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
        resolved = true;
      } else {
        SetLastSocketError(SocketErrorFromResolver(rc != 0 ? rc : EAI_NONAME, errno));
        Trace('N', 0, "gethostbyname() failed.");
        Report("Unable to resolve host name:\nHost %s not found in your HOSTS file.", server);
      }
      if (found != nullptr) freeaddrinfo(found);
    }
  }

  if (!resolved) {
    CloseTraced(socket_);
    socket_ = -1;
    return false;
  }

  int rc = connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  if (rc != 0 && errno == EINTR) {
    // The connection attempt goes on after a signal; wait for its outcome.
    int error = FinishInterruptedConnect(socket_, timeoutSeconds_);
    if (error != 0) errno = error;
    rc = error == 0 ? 0 : -1;
  }
  if (rc != 0) {
    int number = TakeErrno(timeoutSeconds_ > 0);
    TraceFailure("connect() failed.", number);
    Report("Unable to connect to host.\nHost %s, Service %s\nerrno %d: %s", server, service, number,
           ErrorText(number));
    CloseTraced(socket_);
    socket_ = -1;
    return false;
  }

  if (TraceEnabled('N', 2)) {
    sockaddr_in local{};
    socklen_t size = sizeof local;
    if (getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &size) == 0) {
      Trace('N', 0, "Connected to %s on port %u", server,
            static_cast<unsigned>(ntohs(local.sin_port)));
    } else {
      TraceFailure("getsockname() failed.", TakeErrno());
    }
  }

  int on = 1;
  if (setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) {
    TraceFailure("setsockopt(TCP_NODELAY) failed.", TakeErrno());
  }
  if (Settings().useKeepAlive != 0 &&
      setsockopt(socket_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on) != 0) {
    TraceFailure("setsockopt(SO_KEEPALIVE) failed.", TakeErrno());
  }
  return true;
}

bool ClibConnection::Write(const void* buffer, uint32_t length) {
  if (TraceEnabled('N', 3)) {
    TraceDump("ClibConnection::Write()", buffer, length < kDumpLimit ? length : kDumpLimit);
  }
  const char* bytes = static_cast<const char*>(buffer);
  uint32_t sent = 0;
  while (sent < length) {
    ssize_t n = tls_ ? TlsSend(tls_, bytes + sent, length - sent)
                     : send(socket_, bytes + sent, length - sent, kSendFlags);
    if (n < 0) {
      if (errno == EINTR) continue;
      int number = TakeErrno(timeoutSeconds_ > 0);
      TraceFailure("send() failed.", number);
      if (state_ != SocketState::kDropped)
        Report("Send failed.\nerrno %d: %s", number, ErrorText(number));
      if (IsDroppedConnection(number)) state_ = SocketState::kDropped;
      return false;
    }
    if (n == 0) {
      // A stream socket that accepts nothing for a non-empty block.
      Trace('N', 0, "send() failed: Truncation.");
      return false;
    }
    sent += static_cast<uint32_t>(n);
  }
  return true;
}

bool ClibConnection::Read(void* buffer, uint32_t length) {
  Trace('N', 3, "ClibConnection::Read(len=%u)", length);
  if (length == 0) return true;  // nothing to wait for; the socket is not touched
  char* bytes = static_cast<char*>(buffer);
  uint32_t received = 0;
  while (received < length) {
    if (inboxStart_ < inboxEnd_) {
      uint32_t take = inboxEnd_ - inboxStart_;
      if (take > length - received) take = length - received;
      std::memcpy(bytes + received, inbox_ + inboxStart_, take);
      inboxStart_ += take;
      received += take;
      continue;
    }
    const bool ahead = tls_ == nullptr && length - received < sizeof inbox_;
    ssize_t n = tls_    ? TlsReceive(tls_, bytes + received, length - received)
                : ahead ? recv(socket_, inbox_, sizeof inbox_, 0)
                        : recv(socket_, bytes + received, length - received, 0);
    if (ahead && n > 0) {
      inboxStart_ = 0;
      inboxEnd_ = static_cast<uint32_t>(n);
      continue;
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      int number = TakeErrno(timeoutSeconds_ > 0);
      TraceFailure("recv() failed.", number);
      if (state_ != SocketState::kDropped)
        Report("Receive failed.\nerrno %d: %s", number, ErrorText(number));
      if (IsDroppedConnection(number)) state_ = SocketState::kDropped;
      return false;
    }
    if (n == 0) break;
    received += static_cast<uint32_t>(n);
  }
  if (received == 0) {
    Trace('N', 0, "recv() returned EOF.");
    return false;
  }
  if (TraceEnabled('N', 3)) {
    TraceDump("ClibConnection::Read()", buffer, received < kDumpLimit ? received : kDumpLimit);
  }
  if (received == length) return true;
  Trace('N', 0, "recv() failed: Truncation.");
  return false;
}

void ClibConnection::SetTimeout(int seconds) {
  timeoutSeconds_ = seconds > 0 ? seconds : 0;
  ApplyTimeout();
}

// A blocking connect, send and receive on Linux all honour the socket's
// send and receive time limits.
void ClibConnection::ApplyTimeout() {
  if (socket_ < 0) return;
  timeval limit{};
  limit.tv_sec = timeoutSeconds_;
  if (setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit) != 0 ||
      setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0) {
    TraceFailure("setsockopt(SO_RCVTIMEO) failed.", TakeErrno());
  }
}

void ClibConnection::ReleaseConnection() {
  Trace('N', 2, "ClibConnection::ReleaseConnection");
  inboxStart_ = inboxEnd_ = 0;
  EndTls(tls_, true);
  tls_ = nullptr;
  if (socket_ >= 0) {
    CloseTraced(socket_);
    socket_ = -1;
  }
  state_ = SocketState::kClosed;
}

TlsStart ClibConnection::Encrypt(TlsMode mode, const char* caFile, const char* host, char* reason,
                                 int size) {
  if (socket_ < 0) {
    std::snprintf(reason, static_cast<size_t>(size), "%s", "not connected");
    return TlsStart::kFailed;
  }
  // The server speaks in the handshake only after the client: nothing can
  // have been read ahead of it.
  if (inboxStart_ != inboxEnd_) {
    std::snprintf(reason, static_cast<size_t>(size), "%s", "bytes before the handshake");
    return TlsStart::kFailed;
  }
  return StartTls(socket_, mode, caFile, host, &tls_, reason, size);
}

void ClibConnection::LoadErrorText(int number, char* buffer, int size) {
  if (buffer == nullptr || size <= 0) return;
  std::memset(buffer, 0, static_cast<size_t>(size));
  if (number == 0) number = VEL_WSA_NO_ERROR;
  if (number < VEL_WSA_NO_ERROR) return;
  const char* text = SocketErrorText(number);
  if (text == nullptr) return;
  std::snprintf(buffer, static_cast<size_t>(size), "%s", text);
}

void ClibConnection::Report(const char* format, ...) {
  if (reporter_ == nullptr) return;
  char text[1024];  // server and service names are cut at its end
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  reporter_(text);
}
