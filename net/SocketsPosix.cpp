// The socket calls over POSIX sockets.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

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
                         ? VEL_WSAETIMEDOUT
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

int OpenStreamSocket() {
  int flags = SOCK_STREAM;
#ifdef SOCK_CLOEXEC
  flags |= SOCK_CLOEXEC;
#endif
  int fd = socket(AF_INET, flags, IPPROTO_TCP);
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

bool ConnectSocket(int socket, uint32_t address, uint16_t port, int timeoutSeconds) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = address;
  to.sin_port = htons(port);
  int rc = connect(socket, reinterpret_cast<sockaddr*>(&to), sizeof to);
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
  sockaddr_in local{};
  socklen_t size = sizeof local;
  if (!Check(getsockname(socket, reinterpret_cast<sockaddr*>(&local), &size))) return false;
  *port = ntohs(local.sin_port);
  return true;
}

// The first IPv4 address getaddrinfo gives for host or service; a failure
// sets the last socket error (fallback when the resolver gives no code).
static bool Resolve(const char* host, const char* service, int protocol, int fallback,
                    sockaddr_in* out) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = protocol;
  addrinfo* found = nullptr;
  int rc = getaddrinfo(host, service, &hints, &found);
  bool ok = rc == 0 && found != nullptr;
  if (ok) {
    *out = *reinterpret_cast<sockaddr_in*>(found->ai_addr);
  } else {
    SetLastSocketError(SocketErrorFromResolver(rc != 0 ? rc : fallback, errno));
  }
  if (found != nullptr) freeaddrinfo(found);
  return ok;
}

bool LookUpService(const char* service, uint16_t* port) {
  sockaddr_in a{};
  if (!Resolve(nullptr, service, IPPROTO_TCP, EAI_SERVICE, &a)) return false;
  *port = ntohs(a.sin_port);
  return true;
}

bool LookUpHost(const char* host, uint32_t* address) {
  sockaddr_in a{};
  if (!Resolve(host, nullptr, 0, EAI_NONAME, &a)) return false;
  *address = a.sin_addr.s_addr;
  return true;
}

uint32_t ParseDottedAddress(const char* text) { return inet_addr(text); }

void TakeTlsError() { TakeErrno(); }

void LoadSocketErrorText(int number, char* buffer, int size) {
  const char* text = SocketErrorText(number);
  if (text != nullptr) std::snprintf(buffer, static_cast<size_t>(size), "%s", text);
}
