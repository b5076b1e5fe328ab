// The scripted loopback server of the exchange tests.
#include "support/fake_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>

#include "support/socket_io.h"

FakeServer::FakeServer() {
  listener_ = LoopbackSocket(&port_);
  if (listener_ < 0) error_ = "cannot listen on loopback";
}

FakeServer::~FakeServer() {
  Finish();
  for (int fd : held_) close(fd);
  if (peer_ >= 0) close(peer_);
  if (listener_ >= 0) close(listener_);
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

void FakeServer::Run() {
  if (listener_ < 0) return;
  if (!WaitReadable(listener_, kWaitMillis)) return Fail("no connection arrived");
  peer_ = accept(listener_, nullptr, nullptr);
  if (peer_ < 0) return Fail("accept failed");
  for (size_t i = 0; i < steps_.size(); ++i) {
    const Step& step = steps_[i];
    std::string got;
    switch (step.kind) {
      case Step::kExpect: {
        bool complete = ReadExactly(peer_, step.bytes.size(), &got, kWaitMillis);
        received_.push_back(got);
        if (!complete) return Fail("step " + std::to_string(i) + ": short request: " + Hex(got));
        if (got != step.bytes)
          return Fail("step " + std::to_string(i) + ": expected " + Hex(step.bytes) + ", got " + Hex(got));
        break;
      }
      case Step::kSend:
        if (!WriteAll(peer_, step.bytes)) return Fail("send failed");
        break;
      case Step::kAccept:
        if (!WaitReadable(listener_, kWaitMillis)) return Fail("no second connection arrived");
        held_.push_back(peer_);
        peer_ = accept(listener_, nullptr, nullptr);
        if (peer_ < 0) return Fail("accept failed");
        break;
      case Step::kReset:
      case Step::kResume:
        if (step.kind == Step::kReset) {
          linger off{1, 0};
          setsockopt(peer_, SOL_SOCKET, SO_LINGER, &off, sizeof off);
        }
        close(peer_);
        peer_ = held_.back();
        held_.pop_back();
        break;
      case Step::kClose:
        close(peer_);
        peer_ = -1;
        return;
      case Step::kExpectEnd: {
        bool ended = ReadToEnd(peer_, &got, kWaitMillis);
        received_.push_back(got);
        if (!ended) return Fail("client did not close");
        break;
      }
      case Step::kAnswer:
        for (std::string head, body; ReadExactly(peer_, 6, &head, kWaitMillis) || !head.empty();) {
          const uint8_t* h = reinterpret_cast<const uint8_t*>(head.data());
          const uint32_t length = h[0] | h[1] << 8 | h[2] << 16 | uint32_t(h[3]) << 24;
          if (head.size() < 6 || !ReadExactly(peer_, length, &body, kWaitMillis))
            return Fail("step " + std::to_string(i) + ": request cut short: " + Hex(head));
          const std::string answer = step.answer(static_cast<uint16_t>(h[4] | h[5] << 8), body);
          if (answer.empty()) break;  // hang up
          if (!WriteAll(peer_, ReplyFrame(answer))) return Fail("step " + std::to_string(i) + ": reply not sent");
        }
        break;
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
