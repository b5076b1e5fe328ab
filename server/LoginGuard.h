// Slows password guessing down per client address. After a failed login
// every later attempt from the same address waits its turn: turns are
// spaced by a delay that doubles with each failure (kFirstDelay up to
// kLongestDelay); an attempt whose turn lies further ahead than
// kLongestDelay is refused at once without looking at its password, so a
// burst from one address holds no thread for long and never delays other
// addresses. An address's failures are forgotten kForgetAfter after its
// last one.
#ifndef VELORA_SERVER_LOGINGUARD_H
#define VELORA_SERVER_LOGINGUARD_H

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>

namespace velsrv {

class LoginGuard {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kFirstDelay{100};
  static constexpr std::chrono::milliseconds kLongestDelay{2000};
  static constexpr std::chrono::minutes kForgetAfter{10};

  // stop (may be null) cuts a wait short.
  explicit LoginGuard(const std::atomic<bool>* stop = nullptr) : stop_(stop) {}

  // Waits for the turn of an attempt from address; false (at once) when
  // it would have to wait longer than kLongestDelay.
  bool Admit(const std::string& address);
  // Records a failed attempt; returns the number of failures of address.
  int Failed(const std::string& address);

  // The client address of a peer text "host:port#serial" ("[v6]:port#n").
  static std::string AddressOf(const std::string& peer);

 private:
  struct Record {
    int failures = 0;
    Clock::time_point nextTurn, lastFailure;
  };
  void Forget(Clock::time_point now);

  const std::atomic<bool>* stop_;
  std::mutex mutex_;
  std::map<std::string, Record> records_;
};

}  // namespace velsrv

#endif
