// Socket I/O for tests: whole reads and writes, every wait bounded.
#ifndef VELORA_TESTS_SUPPORT_SOCKET_IO_H
#define VELORA_TESTS_SUPPORT_SOCKET_IO_H

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <string>

// True once fd is readable (or at its end); false after millis (-1: no
// limit), on a poll failure, or when wake (if >= 0) becomes readable first.
inline bool WaitReadable(int fd, int millis = 10000, int wake = -1) {
  for (;;) {
    pollfd p[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    int n = poll(p, wake >= 0 ? 2 : 1, millis);
    if (n < 0 && errno == EINTR) continue;
    return n > 0 && (wake < 0 || p[1].revents == 0);
  }
}

// Reads exactly count bytes into *out; false at the end of the stream, on
// an error or when a wait fails (*out keeps what did arrive).
inline bool ReadExactly(int fd, size_t count, std::string* out, int millis = 10000, int wake = -1) {
  out->clear();
  char buffer[65536];
  while (out->size() < count) {
    if (!WaitReadable(fd, millis, wake)) return false;
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
