// The protocol-aware scripted server of the fetch tests.
#include "frame_server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Waits until fd is readable; false when the wake descriptor fires first
// (the test is over) or polling fails.
bool WaitReadable(int fd, int wake) {
  for (;;) {
    pollfd p[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    int n = poll(p, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || p[1].revents != 0) return false;
    if (p[0].revents != 0) return true;
  }
}

bool ReadExactly(int fd, int wake, size_t count, std::string* out) {
  out->clear();
  while (out->size() < count) {
    if (!WaitReadable(fd, wake)) return false;
    char buffer[65536];
    size_t want = count - out->size();
    ssize_t n = recv(fd, buffer, want < sizeof buffer ? want : sizeof buffer, 0);
    if (n <= 0) return false;
    out->append(buffer, static_cast<size_t>(n));
  }
  return true;
}

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

uint32_t ReadLe32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

}  // namespace

FrameServer::FrameServer(Handler handler) : handler_(std::move(handler)) {
  if (pipe(wake_) != 0) wake_[0] = wake_[1] = -1;
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      listen(listener_, 1) == 0 &&
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port_ = ntohs(address.sin_port);
  }
  thread_ = std::thread([this] { Run(); });
}

FrameServer::~FrameServer() {
  char stop = 1;
  if (write(wake_[1], &stop, 1) != 1) shutdown(listener_, SHUT_RDWR);
  thread_.join();
  close(listener_);
  close(wake_[0]);
  close(wake_[1]);
}

std::vector<Frame> FrameServer::Requests() {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::vector<Frame> FrameServer::Requests(uint16_t code) {
  std::vector<Frame> out;
  for (const Frame& f : Requests()) {
    if (f.code == code) out.push_back(f);
  }
  return out;
}

void FrameServer::Run() {
  if (listener_ < 0 || wake_[0] < 0 || !WaitReadable(listener_, wake_[0])) return;
  int fd = accept(listener_, nullptr, nullptr);
  if (fd < 0) return;
  std::string greeting;
  if (ReadExactly(fd, wake_[0], 80, &greeting) && WriteAll(fd, U16(0))) {
    std::string header, body;
    while (ReadExactly(fd, wake_[0], 6, &header)) {
      uint32_t length = ReadLe32(header, 0);
      uint16_t code = static_cast<uint16_t>(static_cast<uint8_t>(header[4]) |
                                            static_cast<uint8_t>(header[5]) << 8);
      if (!ReadExactly(fd, wake_[0], length, &body)) break;
      Frame frame{code, body};
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(frame);
      }
      std::string reply = handler_(frame);
      if (!WriteAll(fd, U32(static_cast<uint32_t>(reply.size())) + reply)) break;
    }
  }
  close(fd);
}

std::string Value(uint16_t column, const std::string& bytes, bool isNull) {
  std::string b = isNull ? std::string() : bytes;
  return U16(column) + std::string(1, isNull ? 1 : 0) + U32(static_cast<uint32_t>(b.size())) + b;
}

std::string ColumnDesc(const std::string& name, int16_t sqlType, uint32_t length) {
  // name, length, nullability, owner, precision, scale, table, type, updatable
  return Text16(name) + U32(length) + U16(1) + Text16("") + U32(length) + U16(0) + Text16("t") +
         U16(sqlType) + U16(0);
}
