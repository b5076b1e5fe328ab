// The protocol-aware scripted server of the fetch tests.
#include "frame_server.h"

#include <arpa/inet.h>
#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Reads count bytes; false when the wake descriptor fires first (the test
// is over) or the peer is gone.
bool ReadExactly(int fd, int wake, size_t count, std::string* out) {
  out->clear();
  while (out->size() < count) {
    pollfd p[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
    int n = poll(p, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || p[1].revents != 0) return false;
    char buffer[65536];
    ssize_t got = recv(fd, buffer, std::min(sizeof buffer, count - out->size()), 0);
    if (got <= 0) return false;
    out->append(buffer, size_t(got));
  }
  return true;
}

bool WriteAll(int fd, const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

}  // namespace

FrameServer::FrameServer(std::function<std::string(const Frame&)> handler) : handler_(std::move(handler)) {
  if (pipe(wake_) != 0) wake_[0] = wake_[1] = -1;
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(listener_, 1) == 0 &&
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port_ = ntohs(address.sin_port);
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

std::vector<Frame> FrameServer::Requests(uint16_t code) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Frame> out;
  for (const Frame& f : requests_)
    if (f.code == code) out.push_back(f);
  return out;
}

void FrameServer::Run() {
  pollfd p[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
  if (listener_ < 0 || wake_[0] < 0 || poll(p, 2, -1) <= 0 || p[1].revents != 0) return;
  int fd = accept(listener_, nullptr, nullptr);
  if (fd < 0) return;
  std::string header, body;
  if (ReadExactly(fd, wake_[0], 80, &header) && WriteAll(fd, U16(0))) {
    while (ReadExactly(fd, wake_[0], 6, &header)) {
      auto byte = [&](int i) { return uint32_t(uint8_t(header[size_t(i)])); };
      if (!ReadExactly(fd, wake_[0], byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24, &body)) break;
      Frame frame{uint16_t(byte(4) | byte(5) << 8), body};
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(frame);
      }
      if (!WriteAll(fd, ReplyFrame(handler_(frame)))) break;
    }
  }
  close(fd);
}

std::string Value(uint16_t column, const std::string& bytes, bool isNull) {
  std::string b = isNull ? std::string() : bytes;
  return U16(column) + std::string(1, isNull ? 1 : 0) + U32(uint32_t(b.size())) + b;
}

std::string ColumnDesc(const std::string& name, int16_t sqlType, uint32_t length) {
  // name, length, nullability, owner, precision, scale, table, type, updatable
  return Text16(name) + U32(length) + U16(1) + Text16("") + U32(length) + U16(0) + Text16("t") + U16(sqlType) + U16(0);
}
