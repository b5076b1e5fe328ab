// The handler-driven scripted server of the odbc tests.
#include "frame_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/socket_io.h"

namespace {

uint32_t ReadLe32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<uint8_t>(b[at])) |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

}  // namespace

FrameServer::FrameServer(std::function<std::string(const Request&)> handler) : handler_(std::move(handler)) {
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

std::string FrameServer::Sent(uint16_t code) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string all;
  for (const Request& f : requests_)
    if (f.code == code) all += f.body;
  return all;
}

void FrameServer::Run() {
  if (listener_ < 0 || wake_[0] < 0 || !WaitReadable(listener_, -1, wake_[0])) return;
  int fd = accept(listener_, nullptr, nullptr);
  if (fd < 0) return;
  std::string greeting;
  if (ReadExactly(fd, 80, &greeting, -1, wake_[0]) && WriteAll(fd, U16(0))) {
    std::string header, body;
    while (ReadExactly(fd, 6, &header, -1, wake_[0])) {
      uint32_t length = ReadLe32(header, 0);
      uint16_t code = static_cast<uint16_t>(static_cast<uint8_t>(header[4]) |
                                            static_cast<uint8_t>(header[5]) << 8);
      if (!ReadExactly(fd, length, &body, -1, wake_[0])) break;
      Request frame{code, body};
      {
        std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back(frame);
      }
      if (!WriteAll(fd, ReplyFrame(handler_(frame)))) break;
    }
  }
  close(fd);
}
