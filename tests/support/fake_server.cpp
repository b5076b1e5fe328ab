// The scripted loopback server of the exchange tests.
#include "support/fake_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

bool WaitReadable(int fd) {
  pollfd p{fd, POLLIN, 0};
  int rc;
  do {
    rc = poll(&p, 1, FakeServer::kWaitMillis);
  } while (rc < 0 && errno == EINTR);
  return rc > 0;
}

}  // namespace

FakeServer::FakeServer() {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      listen(listener_, 1) != 0) {
    error_ = "cannot listen on loopback";
    return;
  }
  socklen_t size = sizeof a;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size);
  port_ = ntohs(a.sin_port);
}

FakeServer::~FakeServer() {
  Finish();
  if (peer_ >= 0) close(peer_);
  if (listener_ >= 0) close(listener_);
}

FakeServer& FakeServer::Expect(const std::string& bytes) {
  steps_.push_back({Step::kExpect, bytes, bytes.size()});
  return *this;
}
FakeServer& FakeServer::ExpectAny(size_t count) {
  steps_.push_back({Step::kExpectAny, std::string(), count});
  return *this;
}
FakeServer& FakeServer::Send(const std::string& bytes) {
  steps_.push_back({Step::kSend, bytes, bytes.size()});
  return *this;
}
FakeServer& FakeServer::Close() {
  steps_.push_back({Step::kClose, std::string(), 0});
  return *this;
}
FakeServer& FakeServer::ExpectEnd() {
  steps_.push_back({Step::kExpectEnd, std::string(), 0});
  return *this;
}

void FakeServer::Start() { thread_ = std::thread(&FakeServer::Run, this); }

bool FakeServer::Finish() {
  if (thread_.joinable()) thread_.join();
  return error_.empty();
}

void FakeServer::Fail(const std::string& text) {
  if (error_.empty()) error_ = text;
  if (peer_ >= 0) {
    close(peer_);
    peer_ = -1;
  }
}

bool FakeServer::ReadExactly(size_t count, std::string* out) {
  out->clear();
  char buffer[4096];
  while (out->size() < count) {
    if (!WaitReadable(peer_)) return false;
    size_t want = count - out->size();
    ssize_t n = recv(peer_, buffer, want < sizeof buffer ? want : sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out->append(buffer, static_cast<size_t>(n));
  }
  return true;
}

void FakeServer::Run() {
  if (listener_ < 0) return;
  if (!WaitReadable(listener_)) return Fail("no connection arrived");
  peer_ = accept(listener_, nullptr, nullptr);
  if (peer_ < 0) return Fail("accept failed");
  for (size_t i = 0; i < steps_.size(); ++i) {
    const Step& step = steps_[i];
    std::string got;
    switch (step.kind) {
      case Step::kExpect:
      case Step::kExpectAny: {
        bool complete = ReadExactly(step.count, &got);
        received_.push_back(got);
        if (!complete) return Fail("step " + std::to_string(i) + ": short request: " + Hex(got));
        if (step.kind == Step::kExpect && got != step.bytes) {
          return Fail("step " + std::to_string(i) + ": expected " + Hex(step.bytes) + ", got " +
                      Hex(got));
        }
        break;
      }
      case Step::kSend: {
        size_t sent = 0;
        while (sent < step.bytes.size()) {
          ssize_t n = send(peer_, step.bytes.data() + sent, step.bytes.size() - sent,
                           MSG_NOSIGNAL);
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) return Fail("send failed");
          sent += static_cast<size_t>(n);
        }
        break;
      }
      case Step::kClose:
        close(peer_);
        peer_ = -1;
        return;
      case Step::kExpectEnd: {
        char buffer[4096];
        for (;;) {
          if (!WaitReadable(peer_)) return Fail("client did not close");
          ssize_t n = recv(peer_, buffer, sizeof buffer, 0);
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) break;
          got.append(buffer, static_cast<size_t>(n));
        }
        received_.push_back(got);
        break;
      }
    }
  }
  // The script is over: a client waiting for more sees the end at once.
  close(peer_);
  peer_ = -1;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char b[4];
  for (unsigned char c : bytes) {
    std::snprintf(b, sizeof b, "%02x ", c);
    out += b;
  }
  if (!out.empty()) out.pop_back();
  return out;
}
