// Socket I/O for tests: a loopback socket, whole reads and writes, every
// wait bounded.
#ifndef VELORA_TESTS_SUPPORT_SOCKET_IO_H
#define VELORA_TESTS_SUPPORT_SOCKET_IO_H

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

// A TCP socket bound to 127.0.0.1 on a port of the system's choice (in
// *port), listening unless asked not to (then connections to it are
// refused); -1 when that fails.
inline int LoopbackSocket(uint16_t* port, bool listening = true) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof a;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), size) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) != 0 || (listening && listen(fd, 4) != 0)) {
    if (fd >= 0) close(fd);
    return -1;
  }
  *port = ntohs(a.sin_port);
  return fd;
}

// Binds a socket (never listening) to [::1]:port, so that while a test
// uses the port on 127.0.0.1 no other program can listen on it there: a
// client given "localhost" may try ::1 first and must be refused there, not
// answered by another test's server. The descriptor, or -1 (errno
// EADDRINUSE when the port is taken on ::1; anything else when the machine
// has no IPv6 loopback, and then nothing can listen there either).
inline int ReserveIpv6Loopback(uint16_t port) {
  int fd = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in6 a{};
  a.sin6_family = AF_INET6;
  a.sin6_addr = in6addr_loopback;
  a.sin6_port = htons(port);
  if (fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
  const int error = errno;
  if (fd >= 0) close(fd);
  errno = error;
  return -1;
}

// True once fd is readable (or at its end); false after millis or on a
// poll failure.
inline bool WaitReadable(int fd, int millis = 10000) {
  pollfd p = {fd, POLLIN, 0};
  int n;
  while ((n = poll(&p, 1, millis)) < 0 && errno == EINTR) continue;
  return n > 0;
}

// Reads exactly count bytes into *out; false at the end of the stream, on
// an error or when a wait fails (*out keeps what did arrive).
inline bool ReadExactly(int fd, size_t count, std::string* out, int millis = 10000) {
  out->clear();
  char buffer[65536];
  while (out->size() < count) {
    if (!WaitReadable(fd, millis)) return false;
    size_t want = count - out->size();
    ssize_t n = recv(fd, buffer, want < sizeof buffer ? want : sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out->append(buffer, static_cast<size_t>(n));
  }
  return true;
}

// Reads until the peer closes; false when a wait fails first.
inline bool ReadToEnd(int fd, std::string* out, int millis = 10000) {
  char buffer[4096];
  for (;;) {
    if (!WaitReadable(fd, millis)) return false;
    ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return true;
    out->append(buffer, static_cast<size_t>(n));
  }
}

// Writes all of bytes (no SIGPIPE); false when the peer is gone.
inline bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

#endif
