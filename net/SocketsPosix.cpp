// The socket calls over POSIX sockets.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "net/SocketErrors.h"
#include "net/Sockets.h"

namespace {

#ifdef MSG_NOSIGNAL
const int kSendFlags = MSG_NOSIGNAL;  // a dropped peer must not raise SIGPIPE
#else
const int kSendFlags = 0;  // SO_NOSIGPIPE is set on the socket instead
#endif

// Records the socket error for errno. A blocking call only gives EAGAIN
// (a receive or send) or EINPROGRESS (a connect) when it ran out of time.
void TakeErrno() {
  SetLastSocketError(errno == EAGAIN || errno == EWOULDBLOCK || errno == EINPROGRESS
                         ? kWsaeTimedOut
                         : SocketErrorFromErrno(errno));
}

bool Check(int rc) {
  if (rc == 0) return true;
  TakeErrno();
  return false;
}

bool SetFlag(int socket, int level, int option) {
  int on = 1;
  return Check(setsockopt(socket, level, option, &on, sizeof on));
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

}  // namespace

bool StartSocketLibrary() { return true; }
void StopSocketLibrary() {}

void DescribeSocketLibrary(SocketLibraryInfo* info) {
  rlimit limit{};
  info->version = info->highVersion = 0x0101;
  std::snprintf(info->description, sizeof info->description, "POSIX sockets");
  std::snprintf(info->systemStatus, sizeof info->systemStatus, "Running");
  info->maxSockets = 0xFFFF;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < 0xFFFF)
    info->maxSockets = static_cast<unsigned>(limit.rlim_cur);
}

int OpenStreamSocket(int family) {
  int flags = SOCK_STREAM;
#ifdef SOCK_CLOEXEC
  flags |= SOCK_CLOEXEC;
#endif
  int fd = socket(family, flags, IPPROTO_TCP);
  if (fd < 0) {
    TakeErrno();
    return -1;
  }
#ifdef SO_NOSIGPIPE
  SetFlag(fd, SOL_SOCKET, SO_NOSIGPIPE);
#endif
  return fd;
}

bool CloseSocket(int socket) { return Check(close(socket)); }

void ResetSocket(int socket) {
  linger off{1, 0};
  setsockopt(socket, SOL_SOCKET, SO_LINGER, &off, sizeof off);
  close(socket);
}

bool ConnectSocket(int socket, const SocketAddress& address, int timeoutSeconds) {
  int rc = connect(socket, reinterpret_cast<const sockaddr*>(address.bytes), address.length);
  if (rc != 0 && errno == EINTR) {
    // The connection attempt goes on after a signal; wait for its outcome.
    int error = FinishInterruptedConnect(socket, timeoutSeconds);
    if (error != 0) errno = error;
    rc = error == 0 ? 0 : -1;
  }
  return Check(rc);
}

long SendSome(int socket, const char* bytes, uint32_t length) {
  ssize_t n;
  do {
    n = send(socket, bytes, length, kSendFlags);
  } while (n < 0 && errno == EINTR);
  if (n < 0) TakeErrno();
  return static_cast<long>(n);
}

long ReceiveSome(int socket, char* bytes, uint32_t length) {
  ssize_t n;
  do {
    n = recv(socket, bytes, length, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) TakeErrno();
  return static_cast<long>(n);
}

long ReceiveSoon(int socket, char* bytes, uint32_t length, int micros) {
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    const ssize_t n = recv(socket, bytes, length, MSG_DONTWAIT);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      TakeErrno();
      return -1;
    }
    // Between two looks the processor goes to whatever else is ready to
    // run on it (on a busy machine, perhaps the server itself): polling
    // must not delay the reply it waits for.
    sched_yield();
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long waited =
        (now.tv_sec - start.tv_sec) * 1000000LL + (now.tv_nsec - start.tv_nsec) / 1000;
    if (waited >= micros) return kNothingYet;
  }
}

bool PollingPays() { return sysconf(_SC_NPROCESSORS_ONLN) > 1; }

PeerWord PeekPeer(int socket) {
  char byte;
  ssize_t n;
  do {
    n = recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  } while (n < 0 && errno == EINTR);
  if (n > 0) return PeerWord::kBytes;
  return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) ? PeerWord::kNothing
                                                            : PeerWord::kClosed;
}

bool SetNoDelay(int socket) { return SetFlag(socket, IPPROTO_TCP, TCP_NODELAY); }
bool SetKeepAlive(int socket) { return SetFlag(socket, SOL_SOCKET, SO_KEEPALIVE); }

// A blocking connect, send and receive on Linux all honour the socket's
// send and receive time limits.
bool SetSocketTimeout(int socket, int seconds) {
  timeval limit{};
  limit.tv_sec = seconds;
  return Check(setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit)) &&
         Check(setsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit));
}

bool LocalPort(int socket, unsigned* port) {
  sockaddr_storage local{};
  socklen_t size = sizeof local;
  if (!Check(getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size))) return false;
  *port = ntohs(local.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&local)->sin6_port
                                            : reinterpret_cast<sockaddr_in*>(&local)->sin_port);
  return true;
}

bool LookUpService(const char* service, uint16_t* port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(nullptr, service, &hints, &found);
  const bool ok = rc == 0 && found != nullptr;
  if (ok) {
    *port = ntohs(reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_port);
  } else {
    SetLastSocketError(SocketErrorFromResolver(rc != 0 ? rc : EAI_SERVICE, errno));
  }
  if (found != nullptr) freeaddrinfo(found);
  return ok;
}

int LookUpHost(const char* host, uint16_t port, SocketAddress* out, int max) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(host, nullptr, &hints, &found);
  int count = 0;
  for (addrinfo* a = rc == 0 ? found : nullptr; a && count < max; a = a->ai_next) {
    if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) ||
        a->ai_addrlen > sizeof out->bytes) {
      continue;
    }
    SocketAddress& to = out[count++];
    to.family = a->ai_family;
    to.length = static_cast<unsigned>(a->ai_addrlen);
    std::memcpy(to.bytes, a->ai_addr, a->ai_addrlen);
    if (a->ai_family == AF_INET6) {
      reinterpret_cast<sockaddr_in6*>(to.bytes)->sin6_port = htons(port);
    } else {
      reinterpret_cast<sockaddr_in*>(to.bytes)->sin_port = htons(port);
    }
  }
  if (count == 0) SetLastSocketError(SocketErrorFromResolver(rc != 0 ? rc : EAI_NONAME, errno));
  if (found != nullptr) freeaddrinfo(found);
  return count;
}

bool ParseDottedAddress(const char* text, uint16_t port, SocketAddress* out) {
  const in_addr_t address = inet_addr(text);
  if (address == INADDR_NONE) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address;
  to.sin_port = htons(port);
  out->family = AF_INET;
  out->length = sizeof to;
  std::memcpy(out->bytes, &to, sizeof to);
  return true;
}

void AddressText(const SocketAddress& address, char* buffer, int size) {
  if (getnameinfo(reinterpret_cast<const sockaddr*>(address.bytes), address.length, buffer,
                  static_cast<socklen_t>(size), nullptr, 0, NI_NUMERICHOST) != 0) {
    std::snprintf(buffer, static_cast<size_t>(size), "?");
  }
}

void TakeTlsError() { TakeErrno(); }

void LoadSocketErrorText(int number, char* buffer, int size) {
  const char* text = SocketErrorText(number);
  if (text != nullptr) std::snprintf(buffer, static_cast<size_t>(size), "%s", text);
}
